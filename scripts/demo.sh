#!/usr/bin/env bash
# The main job: builds the Windows package and runs the installer in a throwaway Wine prefix,
# printing each mode's exit code.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" || exit 1
"$root/scripts/build.sh" win64 || exit 1
source "$root/tests/wine/lib.sh"
wine_make_template
wine_new_prefix demo
trap wine_end EXIT
wine_install_package
installer="$PACKAGE_IN_PREFIX/drv/zqvinst64.exe"
for mode in install onChkDrv onInit uninstall; do
  wine_run "$installer" "$mode"
  echo "zqvinst64 $mode -> exit code $?"
done
