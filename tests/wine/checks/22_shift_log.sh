#!/usr/bin/env bash
# Shift held at the end of a run without errors shows the log window titled " log.": the probe
# presses Shift through SendInput (the installer reads the key state of the same Wine desktop),
# then an uninstall on a fresh prefix runs, shows its log without markers, and exits 2.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 22_shift_log
trap wine_end EXIT
wine_install_package
cp "$WINE_ROOT/build/win64/wine-tools/log_window_probe.exe" "$WINEPREFIX/drive_c/"
out=$WINEPREFIX/drive_c/out
mkdir -p "$out"

wine 'C:\log_window_probe.exe' shift down || fail "could not press Shift"
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' uninstall 2>/dev/null &
installer=$!
wine 'C:\log_window_probe.exe' wait 'C:\out' 60 || fail "no log window although Shift was held"
wine 'C:\log_window_probe.exe' shift up
import -window root "$ARTIFACTS/22_shift_log.png" || fail "no screenshot"
wine 'C:\log_window_probe.exe' close || fail "could not close the log window"
wait $installer
expect_eq $? 2 "exit code of an uninstall without errors"

expect_eq "$(cat "$out/title.txt")" "vexaWriter build 2609- Install log." "title"
text=$(tr -d '\r' <"$out/text.txt")
echo "$text"
expect_eq "$(sed -n 1p <<<"$text")" "vexaWriter 2609" "first log line"
expect_eq "$(sed -n 2p <<<"$text")" "#Check Spooler" "second log line"
grep -q '^Error' <<<"$text" && fail "an error in a run that should have none"
grep -q '##' <<<"$text" && fail "the uninstall writes no markers"
exit 0
