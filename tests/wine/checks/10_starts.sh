#!/usr/bin/env bash
# The installer starts under Wine and answers an unknown keyword with exit code 6.
source "$(dirname "$0")/../lib.sh"
wine_new_prefix 10_starts
trap wine_end EXIT
wine_install_package
wine_run "$PACKAGE_IN_PREFIX/drv/zqvinst64.exe" nosuchmode
expect_eq $? 6 "unknown keyword"
