#!/usr/bin/env bash
# Shift held during an install on a clean prefix (with the forwarding winspool.drv): the log window
# shows the whole log, and it is compared block by block (a block is a heading line starting with
# "#" and the lines below it) with the log the host tests expect of the same scenario on the
# simulated Windows (tests/host/sequences/clean_install.log). The platforms agree on every block;
# the one normalisation is the letter case of the system directory, which each platform spells
# its own way ("C:\Windows\system32" in the simulation, "C:\windows\system32" in Wine).
# Then "serverinstall" with Shift held over 1,000 printers more: the window holds the whole log.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 82_shift_install_log
trap 'wine "C:\tools\log_window_probe.exe" shift up >/dev/null 2>&1; wine_end' EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder
cp "$TOOLS_DIR/log_window_probe.exe" "$WINEPREFIX/drive_c/tools/"

wine 'C:\tools\log_window_probe.exe' shift down >/dev/null 2>&1 || fail "could not press Shift"
run_installer install
wine 'C:\tools\log_window_probe.exe' shift up >/dev/null 2>&1
[ "$LOG_SHOWN" = 1 ] || fail "no log window although Shift was held"
expect_eq "$INSTALLER_RC" 1 "exit code"
expect_eq "$LOG_TITLE" "vexaWriter build 2609- Install log." "title"

normalise() { sed 's/C:\\[Ww]indows\\system32/C:\\windows\\system32/g'; }
wine_log=$(normalise <<<"$LOG_TEXT")
host_log=$(tr -d '\r' <"$WINE_ROOT/tests/host/sequences/clean_install.log" | normalise)
# Prints the blocks of a log, each as one line: its lines joined by " | ".
blocks() { awk '/^ *#/ && NR > 1 { print block; block = "" } { block = block (block == "" ? "" : " | ") $0 } END { print block }'; }
wine_blocks=$(blocks <<<"$wine_log")
host_blocks=$(blocks <<<"$host_log")
count=$(wc -l <<<"$host_blocks")
agreeing=0
while IFS=$'\t' read -r wine_block host_block; do
  if [ "$wine_block" = "$host_block" ]; then
    agreeing=$((agreeing + 1))
  else
    echo "differs: Wine [$wine_block]"
    echo "  simulation [$host_block]"
  fi
done < <(paste <(echo "$wine_blocks") <(echo "$host_blocks"))
expect_eq "$(wc -l <<<"$wine_blocks")" "$count" "number of blocks"
echo "install log with Shift held: $agreeing of $count blocks as on the simulation"
expect_eq "$agreeing" "$count" "blocks that agree"

# A print server's reinstall with Shift held: 1,000 printers of ours make a log far longer than an
# edit control holds by default, and the window shows all of it, the same as the run's entry in
# the log file (the lines between its header and its exit code).
spool_inspect add-printers 1 1000 "vexaWriter:" "vexaWriter printer" || fail "staging printers failed"
wine 'C:\tools\log_window_probe.exe' shift down >/dev/null 2>&1 || fail "could not press Shift"
run_installer serverinstall
wine 'C:\tools\log_window_probe.exe' shift up >/dev/null 2>&1
[ "$LOG_SHOWN" = 1 ] || fail "no log window for the 1,000-printer reinstall"
log_file=$(find "$WINEPREFIX/drive_c" -name vexaWriter-setup.log | head -1)
[ -n "$log_file" ] || fail "no log file"
entry=$(tr -d '\r' <"$log_file" | awk '/^==== / { entry = ""; next } { entry = entry $0 "\n" } END { printf "%s", entry }')
expect_eq "$(tail -1 <<<"$entry")" "Exit code $INSTALLER_RC" "the log file's last line"
file_text=$(sed '$d' <<<"$entry")
echo "log window with 1,000 printers: ${#LOG_TEXT} characters; log file entry: ${#file_text}"
[ "${#file_text}" -gt 32767 ] || fail "the 1,000-printer log is too short to need a larger limit"
[ "$LOG_TEXT" = "$file_text" ] || fail "the window's text differs from the log file's entry"
expect_eq "$(grep -c '^ *Error(' <<<"$LOG_TEXT")" 0 "error lines of the 1,000-printer reinstall"

