#!/usr/bin/env bash
# "uninstall" over the same installation with Wine's own spooler, which rejects
# DPD_DELETE_ALL_FILES with 87: the driver cannot be removed before or after the spooler restart,
# so the run reports error 14, shows the log window (read back here) and exits 100; everything
# else is removed as on Windows, and the driver and its files stay.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 73_uninstall_wine_spooler
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
stage_installation "vexaWriter vexaWriter: 'vexaWriter printer' subkey=key-one" \
  "'vexaWriter 2' LPT1:,vexaWriter: 'vexaWriter printer' default"

run_installer uninstall
expect_error_run "Error(14): Can\`t remove the printer-driver 'vexaWriter printer' - (.*)" \
  "uninstall on Wine's own spooler"
grep -qx " *Can't delete driver. Trying to restart spooler" <<<"$LOG_TEXT" ||
  fail "no restart line before the second attempt"

read_state
expect_no_line "^printer|vexaWriter" "our printers are deleted"
expect_no_line "^monitor|vexaWriter:" "the monitor is deleted"
expect_line "driver|vexaWriter printer|C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvdrv64.dll|C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvui64.dll|C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvhelp.chm" \
  "Wine keeps the driver"
expect_line "run|-" "Run value"
expect_line "tray|mutex=0|window=0" "companion"
expect_files absent "uninstall" windows/system32/zqvmon64.dll vexa/vextray.exe
echo "uninstall with Wine's spooler: ok"
