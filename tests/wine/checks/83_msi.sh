#!/usr/bin/env bash
# The MSI package under Wine's own msiexec: an older version installed, a printer given settings,
# the current version installed over it (a major upgrade), a repair, a removal; then a removal
# while the port monitor's DLL is held (a restart is asked for), and an install that fails
# because the spooler cannot start, twice (the second over what the first left). After each step:
# msiexec's exit code and what the spooler, the Run key, the Add/Remove Programs entries and the
# disk hold. First, without Wine: the package's tables against its files, and the setup authors'
# page against the package.
source "$(dirname "$0")/../lib.sh"
MSI=${MSI:-$WINE_ROOT/build/win64/vexaWriter.msi}
if [ ! -f "$MSI" ]; then
  command -v wixl >/dev/null && fail "vexaWriter.msi not built"
  echo "skipped: wixl is not installed, so no MSI package was made"
  exit 0
fi
python3 "$WINE_ROOT/tests/wine/package_facts.py" "$MSI" "$WINE_ROOT" || fail "package facts"
wine_new_prefix 83_msi
trap wine_end EXIT
wine_start_session
wine_install_tools
wine_use_forwarder
setup=$WINEPREFIX/drive_c/setup
mkdir -p "$setup"
cp "$MSI" "$setup/vexaWriter.msi"
# The older version: the same package with a lower version, hence another ProductCode.
cmake -DBUILD_DIR="$WINE_ROOT/build/win64" -DSOURCE_DIR="$WINE_ROOT" -DVERSION=1.0.2600 \
  -DACTION_DLL="$WINE_ROOT/build/win64/setup/msi_actions/vexaMsiActions.dll" \
  -DOUTPUT="$setup/older.msi" -DEPOCH=0 -P "$WINE_ROOT/cmake/msi.cmake" ||
  fail "could not build the older MSI"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# msiexec with its arguments, its verbose log in C:\setup\NAME.log; prints the exit code.
msiexec_run() {  # msiexec_run NAME ARGUMENTS
  wine_exit_code "msiexec $2 /qn /l*v C:\\setup\\$1.log"
}
msi_log() { tr -d '\r\0' <"$setup/$1.log"; }
# The Add/Remove Programs entries named vexaWriter, with their versions.
arp_entries() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {key=$0} /DisplayName +REG_SZ +vexaWriter$/ {print key}' | sed 's/.*\\//'
}
# Our files on disk, relative to drive_c.
our_files() {
  (cd "$WINEPREFIX/drive_c" && find 'Program Files/vexaWriter' windows/system32/zqvmon64.dll \
    windows/system32/spool/drivers/x64/3 -iname 'zqv*' -o -iname 'vextray.exe' 2>/dev/null |
    sort)
}
expect_installed() {  # expect_installed what
  read_state
  expect_line 'monitor|vexaWriter:|zqvmon64.dll' "$1: monitor"
  expect_line 'run|"C:\Program Files\vexaWriter\vextray.exe"' "$1: companion"
  expect_eq "$(spool_state driver | cut -d'|' -f2)" 'vexaWriter printer' "$1: driver"
  expect_eq "$(arp_entries | wc -l)" 1 "$1: Add/Remove Programs entries"
  expect_eq "$(wine reg query "$uninstall_key\\$(arp_entries)" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *\(Publisher\|InstallLocation\) *REG_SZ *//p' | sort | paste -sd'|')" \
    'C:\Program Files\vexaWriter\|Morvane Software Kft.' "$1: publisher and install location"
  expect_eq "$(our_files | wc -l)" 10 "$1: our files"
}
expect_removed() {  # expect_removed what
  read_state
  expect_no_line 'vexaWriter' "$1: spooler or Run key"
  expect_eq "$(arp_entries)" "" "$1: Add/Remove Programs entries"
  expect_eq "$(our_files)" "" "$1: our files"
}

# vexaWriter-setup.log files that another account plants where logs were once looked for, one
# growing during the run: the MSI log takes the run's log only from the installer's output.
planted=("$WINEPREFIX/drive_c/windows/temp" "$WINEPREFIX/drive_c/ProgramData/vexaWriter-logs")
mkdir -p "${planted[@]}"
while :; do
  for folder in "${planted[@]}"; do echo 'planted line' >>"$folder/vexaWriter-setup.log"; done
  sleep 0.2
done &
planter=$!
rc=$(msiexec_run older '/i C:\setup\older.msi')
kill $planter
wait $planter 2>/dev/null
rm -rf "${planted[1]}" "${planted[0]}/vexaWriter-setup.log"
echo "install of the older version: msiexec exit code $rc"
expect_eq "$rc" 0 "msiexec exit code, install"
expect_installed "install"
msi_log older | grep -q 'planted line' && fail "a planted vexaWriter-setup.log reached the MSI log"
# The MSI log holds the installer's entry of that run, taken from its standard output, as the
# log file on disk has it.
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
on_disk=$(tr -d '\r' <"$temp/vexaWriter-setup.log" | awk '/^==== /{entry=""} {entry=entry $0 "\n"}
  END {printf "%s", entry}')
in_msi_log=$(msi_log older | sed -n "/^vexaWriter: the installer's log of this run/,\$p" |
  sed -n '2,/^vexaWriter: zqvinst64.exe install exit code/p' | sed '$d')
expect_eq "$in_msi_log" "$on_disk" "the installer's log in the MSI log"
expect_eq "$(tail -n 1 <<<"$in_msi_log")" "Exit code 1" "last line of the installer's log"

spool_inspect delete-printer vexaWriter + add-printer vexaWriter vexaWriter: 'vexaWriter printer' \
  comment=Desk location=Hall subkey=settings1 >/dev/null || fail "could not give the printer settings"
read_state
printer=$(spool_state printer | grep '^printer|vexaWriter|')
echo "printer with settings: $printer"

# The upgrade, then a repair (Wine's msiexec repairs through the properties, not /f).
for step in upgrade repair; do
  args='/i C:\setup\vexaWriter.msi'
  [ $step = repair ] && args="$args REINSTALL=ALL REINSTALLMODE=vamus"
  rc=$(msiexec_run $step "$args")
  echo "$step: msiexec exit code $rc, entry $(arp_entries)"
  expect_eq "$rc" 0 "msiexec exit code, $step"
  expect_installed "$step"
  expect_line "$printer" "$step: the printer with its settings"
  msi_log $step | grep -qx 'vexaWriter: zqvinst64.exe install exit code 1' ||
    fail "$step: the installer did not run, or failed"
done
grep -q '^==== .* uninstall - ' "$temp/vexaWriter-setup.log" && fail "the upgrade ran an uninstall"

rc=$(msiexec_run remove '/x C:\setup\vexaWriter.msi')
echo "removal: msiexec exit code $rc"
expect_eq "$rc" 0 "msiexec exit code, removal"
expect_removed "removal"

# Protected print mode on: the launch condition refuses the install before anything changes.
wpp='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
wine reg add "$wpp" /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f >/dev/null 2>&1
expect_eq "$(msiexec_run wpp '/i C:\setup\vexaWriter.msi')" 1603 "msiexec exit code, protected"
# Wine logs no launch condition's message under /qn: the search's answer, and no file action.
msi_log wpp | grep -qx 'Property(S): WPPPOLICY = #1' || fail "the policy value was not found"
msi_log wpp | grep -q 'InstallFiles' && fail "the refused install went on"
expect_removed "install refused"
wine reg delete "$wpp" /f >/dev/null 2>&1

# NOTRAY=1: no companion registered or started. Then a removal while another process holds the
# monitor's DLL: it goes at the next restart.
rc=$(msiexec_run again '/i C:\setup\vexaWriter.msi NOTRAY=1')
expect_eq "$rc" 0 "msiexec exit code, install with NOTRAY=1"
msi_log again | grep -qx 'vexaWriter: zqvinst64.exe in_notray exit code 1' || fail "no in_notray"
read_state
expect_line "run|-" "Run value after NOTRAY=1"
expect_line "tray|mutex=0|window=0" "companion after NOTRAY=1"
# A repair without the property keeps it: the package remembers it.
expect_eq "$(msiexec_run kept '/i C:\setup\vexaWriter.msi REINSTALL=ALL REINSTALLMODE=vamus')" 0 \
  "msiexec exit code, repair after NOTRAY=1"
msi_log kept | grep -qx 'vexaWriter: zqvinst64.exe in_notray exit code 1' || fail "NOTRAY forgotten"
holder=$WINEPREFIX.holder
wine_run "$TOOLS_DIR/pending_renames_probe.exe" hold 'C:\windows\system32\zqvmon64.dll' 20 \
  >"$holder" &
for _ in $(seq 1 100); do
  grep -q held "$holder" 2>/dev/null && break
  sleep 0.1
done
grep -q held "$holder" || fail "zqvmon64.dll could not be held open"
rc=$(msiexec_run held '/x C:\setup\vexaWriter.msi')
wait  # for the holder to let go
echo "removal with the monitor DLL held: msiexec exit code $rc"
expect_eq "$rc" 3010 "msiexec exit code, removal with a held file"
msi_log held | grep -qx 'vexaWriter: zqvinst64.exe uninstall exit code 101' ||
  fail "the uninstall did not answer 101"
expect_eq "$(arp_entries)" "" "Add/Remove Programs entries after the removal with a held file"

# An install that fails: the spooler cannot start. The installer's log window has no display
# to come up on. msiexec rolls back: no entry stays. On Windows the rollback runs UndoInstall
# ("uninstall") before it removes the files; Wine 8.0's msiexec removes the files first, so
# UndoInstall finds no installer to run, and what the failed install put into Wine's in-process
# spooler stays (and the companion's file while the companion runs and holds it). This check
# holds Wine to exactly that.
unset DISPLAY
wine reg add 'HKLM\System\CurrentControlSet\Services\Spooler' /v Start /t REG_DWORD /d 4 /f \
  >/dev/null 2>&1 || fail "could not disable the spooler"
wine_end
wine_start_session
rc=$(msiexec_run failed '/i C:\setup\vexaWriter.msi')
echo "install without a spooler: msiexec exit code $rc"
expect_eq "$rc" 1603 "msiexec exit code, failed install"
msi_log failed | grep -qx 'vexaWriter: zqvinst64.exe install exit code 100' ||
  fail "the installer did not answer 100"
msi_log failed | grep -q '^vexaWriter: running .* uninstall$' || fail "no rollback action ran"
expect_eq "$(arp_entries)" "" "Add/Remove Programs entries after the failed install"
read_state
echo "left by Wine after the failed install:"
{
  grep vexaWriter <<<"$STATE" | cut -d'|' -f1,2
  our_files | grep -vx 'Program Files/vexaWriter/vextray.exe'
} | tee "$WINEPREFIX.left" | sed 's/^/    /'
expect_eq "$(cat "$WINEPREFIX.left")" "monitor|vexaWriter:
driver|vexaWriter printer
printer|vexaWriter
run|\"C:\Program Files\vexaWriter\vextray.exe\"
windows/system32/spool/drivers/x64/3/zqvdrv64.dll
windows/system32/spool/drivers/x64/3/zqvhelp.chm
windows/system32/spool/drivers/x64/3/zqvui64.dll
windows/system32/zqvmon64.dll" "what Wine leaves after the failed install"
# The same failed install over what is left: the rollback finds ours there before and runs no
# uninstall.
expect_eq "$(msiexec_run failed2 '/i C:\setup\vexaWriter.msi')" 1603 "msiexec exit code, again"
msi_log failed2 | grep -q '^vexaWriter: before this install: the monitor of ours' ||
  fail "the monitor left was not noticed"
msi_log failed2 | grep -q '^vexaWriter: running .* uninstall$' && fail "the rollback ran uninstall"
echo "msi: ok"
