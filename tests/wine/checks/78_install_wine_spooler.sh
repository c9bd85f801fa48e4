#!/usr/bin/env bash
# "install" on a clean prefix with Wine's own spooler, which refuses a printer with a null data
# type (1801): the run reports error 15 for "vexaWriter", shows the log window (read back here)
# and exits 100; the monitor and the driver are installed all the same.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 78_install_wine_spooler
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools

run_installer install
expect_error_run "Error(15): Can\`t add printer 'vexaWriter' - (.*)" "install on Wine's own spooler"
grep -qx '##0020' <<<"$LOG_TEXT" && fail "the end marker is written only after the window closed"

read_state
expect_line "monitor|vexaWriter:|zqvmon64.dll" "monitor"
grep -q '^driver|vexaWriter printer|' <<<"$STATE" || fail "no driver"
echo "install with Wine's spooler: ok"
