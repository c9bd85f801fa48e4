#!/usr/bin/env bash
# The product's file copy, build-number reading and the stand-ins (port monitor, tray
# companion) against Wine's own files, version resources, spooler and windows, through the
# GoogleTest runner built with the Windows package.
source "$(dirname "$0")/../lib.sh"
TOOLS_DIR=${TOOLS_DIR:-$WINE_ROOT/build/win64/wine-tools}
[ -f "$TOOLS_DIR/wine_runner.exe" ] || fail "wine_runner.exe not built"
wine_new_prefix 50_payload
trap wine_end EXIT
wine_install_package
# AddMonitorW loads the monitor DLL by its bare name from the system directory.
cp "$PACKAGE_IN_PREFIX/drv/zqvmon64.dll" "$WINEPREFIX/drive_c/windows/system32/"
# The runner lies apart from the package, so no DLL of the package sits beside it.
mkdir -p "$WINEPREFIX/drive_c/tools"
cp "$TOOLS_DIR/wine_runner.exe" "$WINEPREFIX/drive_c/tools/"
wine_run 'C:\tools\wine_runner.exe' 'C:\vexa'
rc=$?
[ $rc -eq 0 ] || fail "wine_runner exited with $rc"
