#!/usr/bin/env bash
# The main job: builds the Windows package and runs the installer in a throwaway Wine prefix,
# printing each mode's exit code and, after each one, what the spooler and the Run key hold.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" || exit 1
"$root/scripts/build.sh" win64 || exit 1
source "$root/tests/wine/lib.sh"
wine_make_template
wine_new_prefix demo
trap wine_end EXIT
wine_install_package

print_key='HKLM\System\CurrentControlSet\Control\Print'
# The names of the subkeys of one spooler registry key, one per line.
subkeys() {
  wine reg query "$print_key\\$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^HKEY_LOCAL_MACHINE.*\\\\$1\\\\//p"
}
show_state() {
  local printers monitors drivers tray
  printers=$(subkeys Printers | paste -sd, -)
  monitors=$(subkeys Monitors | grep -x 'vexaWriter:' || true)
  drivers=$(subkeys 'Environments\Windows x64\Drivers\Version-3' | grep -x 'vexaWriter printer' || true)
  tray=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v vexaWriterTray \
    2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
  echo "    printers: ${printers:-none}"
  echo "    our port monitor: ${monitors:-none}; our driver: ${drivers:-none}"
  echo "    tray companion registered: ${tray:-no}"
}

installer="$PACKAGE_IN_PREFIX/drv/zqvinst64.exe"
echo "before:"
show_state
for mode in install onChkDrv onInit def.set uninstall; do
  wine_run "$installer" "$mode"
  echo "zqvinst64 $mode -> exit code $?"
  case $mode in install | uninstall) show_state ;; esac
done
