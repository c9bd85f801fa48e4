#!/usr/bin/env bash
# The setup program made from setup/vexaWriter.nsi, run silently on a clean prefix: install,
# the same setup again (repair), then its uninstaller. After each step: the setup's own exit
# code, the installer's exit code the setup recorded, and what the spooler, the Run key, the
# Add/Remove Programs entry and the disk hold.
source "$(dirname "$0")/../lib.sh"
SETUP_EXE=${SETUP_EXE:-$WINE_ROOT/build/win64/vexaWriter-setup.exe}
if [ ! -f "$SETUP_EXE" ]; then
  command -v makensis >/dev/null && fail "vexaWriter-setup.exe not built"
  echo "skipped: makensis is not installed, so no setup program was made"
  exit 0
fi
wine_new_prefix 80_setup
trap wine_end EXIT
wine_start_session
wine_install_tools
# Wine's own spooler refuses a null data type (install error 15) and DPD_DELETE_ALL_FILES
# (uninstall error 14); the forwarding winspool.drv behaves as Windows does there.
wine_use_forwarder
mkdir -p "$WINEPREFIX/drive_c/setup"
cp "$SETUP_EXE" "$WINEPREFIX/drive_c/setup/"

program_dir='C:\Program Files\vexaWriter'
unix_dir="$WINEPREFIX/drive_c/Program Files/vexaWriter"
print_key='HKLM\System\CurrentControlSet\Control\Print'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vexaWriter'

# The names of the subkeys of one spooler registry key (and its own name), one per line.
subkeys() {
  wine reg query "$print_key\\$1" 2>/dev/null | tr -d '\r' | sed -n 's/^HKEY_LOCAL_MACHINE.*\\//p'
}
# The data of one REG_SZ value, or nothing.
reg_sz() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
# One line per piece of ours that the machine holds.
our_state() {
  subkeys Printers | grep -x 'vexaWriter' | sed 's/^/printer /'
  subkeys Monitors | grep -x 'vexaWriter:' | sed 's/^/monitor /'
  subkeys 'Environments\Windows x64\Drivers\Version-3' | grep -x 'vexaWriter printer' |
    sed 's/^/driver /'
  local tray
  tray=$(reg_sz 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' vexaWriterTray)
  [ -n "$tray" ] && echo "companion $tray"
  [ -n "$(reg_sz "$uninstall_key" UninstallString)" ] && echo "uninstall entry"
  (cd "$WINEPREFIX/drive_c" &&
    find 'Program Files/vexaWriter' windows/system32/zqvmon64.dll \
      windows/system32/spool/drivers/x64/3 -iname 'zqv*' -o -iname 'vextray.exe' \
      -o -iname 'uninstall.exe' 2>/dev/null | sort | sed 's/^/file /')
}
installed_state="printer vexaWriter
monitor vexaWriter:
driver vexaWriter printer
companion \"$program_dir\\vextray.exe\"
uninstall entry
file Program Files/vexaWriter/drv/zqvdrv64.dll
file Program Files/vexaWriter/drv/zqvhelp.chm
file Program Files/vexaWriter/drv/zqvinst64.exe
file Program Files/vexaWriter/drv/zqvmon64.dll
file Program Files/vexaWriter/drv/zqvui64.dll
file Program Files/vexaWriter/uninstall.exe
file Program Files/vexaWriter/vextray.exe
file windows/system32/spool/drivers/x64/3/zqvdrv64.dll
file windows/system32/spool/drivers/x64/3/zqvhelp.chm
file windows/system32/spool/drivers/x64/3/zqvui64.dll
file windows/system32/zqvmon64.dll"

[ -z "$(our_state)" ] || fail "the clean prefix already holds: $(our_state)"

# Started from another folder than its own: neither the setup nor the installer may care.
# The display stays: a message box shown despite /S would wait until the timeout.
for step in install repair; do
  rc=$(cd "$WINEPREFIX/drive_c/windows" && wine_exit_code 'C:\setup\vexaWriter-setup.exe /S')
  installer_rc=$(reg_sz "$uninstall_key" InstallerExitCode)
  echo "$step: setup exit code $rc, zqvinst64 install exit code ${installer_rc:-none}"
  our_state | sed 's/^/    /'
  expect_eq "$rc" 0 "setup exit code ($step)"
  expect_eq "$installer_rc" 1 "installer exit code ($step)"
  expect_eq "$(our_state)" "$installed_state" "state after the $step"
done

# The uninstaller re-launches a copy of itself from %TEMP% with "_?=<folder>" and returns at
# once; doing the same here makes the wait and the exit code those of the real uninstall.
# "_?=" must be the unquoted end of the command line.
cp "$unix_dir/uninstall.exe" "$WINEPREFIX/drive_c/windows/temp/vexaWriter-uninstall.exe"
rc=$(wine_exit_code "C:\windows\temp\vexaWriter-uninstall.exe /S _?=$program_dir")
rm -f "$WINEPREFIX/drive_c/windows/temp/vexaWriter-uninstall.exe"
echo "uninstall: uninstaller exit code $rc"
our_state | sed 's/^/    /'
expect_eq "$rc" 0 "uninstaller exit code"
expect_eq "$(our_state)" "" "what is left after the uninstall"
[ -e "$unix_dir" ] && fail "the program folder is still there"

# Protected print mode on: the setup refuses before it changes anything.
wpp='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
wine reg add "$wpp" /v WindowsProtectedPrintMode /t REG_DWORD /d 1 /f >/dev/null 2>&1
expect_eq "$(wine_exit_code 'C:\setup\vexaWriter-setup.exe /S')" 2 "setup exit code, protected"
expect_eq "$(our_state)" "" "what the refused setup left"
wine reg delete "$wpp" /f >/dev/null 2>&1

# The entry's own silent uninstall string runs in place and returns when done: only its own
# file stays, for the next restart.
expect_eq "$(wine_exit_code 'C:\setup\vexaWriter-setup.exe /S')" 0 "setup exit code, again"
rc=$(wine_exit_code "$(reg_sz "$uninstall_key" QuietUninstallString)")
expect_eq "$rc $(our_state)" "0 file Program Files/vexaWriter/uninstall.exe" "in-place uninstall"

# A failed install fails the setup with the installer's code. Without a "spooler" service the
# installer reports error 2 and shows its log window, so this run has no display.
unset DISPLAY
wine_end
wine sc delete spooler >/dev/null 2>&1 || fail "could not delete the spooler service"
wine_end
wine_start_session
rc=$(wine_exit_code 'C:\setup\vexaWriter-setup.exe /S')
installer_rc=$(reg_sz "$uninstall_key" InstallerExitCode)
echo "install without a spooler: setup exit code $rc, zqvinst64 install exit code $installer_rc"
expect_eq "$rc" 100 "setup exit code when the installer failed"
expect_eq "$installer_rc" 100 "installer exit code without a spooler"
# The log the setup's message names holds that run.
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
tr -d '\r' <"$temp/vexaWriter-setup.log" | tail -n 1 | grep -qx 'Exit code 100' ||
  fail "the last entry of %TEMP%\vexaWriter-setup.log is not the failed install"
echo "setup: ok"
