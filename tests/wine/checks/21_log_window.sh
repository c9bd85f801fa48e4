#!/usr/bin/env bash
# A run that reports an error shows the log window: with the "spooler" service deleted, the
# spooler check cannot open it (error 2). The probe reads the window's title, log text and
# layout, a screenshot is saved, and the window is closed with IDCANCEL; the run exits 100.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 21_log_window
trap wine_end EXIT
wine_install_package
cp "$WINE_ROOT/build/win64/wine-tools/log_window_probe.exe" "$WINEPREFIX/drive_c/"
out=$WINEPREFIX/drive_c/out
mkdir -p "$out"

wine sc delete spooler >/dev/null 2>&1 || fail "could not delete the spooler service"
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' install 2>/dev/null &
installer=$!
wine 'C:\log_window_probe.exe' wait 'C:\out' 60 || fail "no log window"
import -window root "$ARTIFACTS/21_log_window.png" || fail "no screenshot"
wine 'C:\log_window_probe.exe' close || fail "could not close the log window"
wait $installer
expect_eq $? 100 "exit code of a run with an error"

expect_eq "$(cat "$out/title.txt")" "vexaWriter build 2609- Install error log!" "title"
text=$(tr -d '\r' <"$out/text.txt")
echo "$text"
expect_eq "$(sed -n 1p <<<"$text")" "vexaWriter 2609" "first log line"
expect_eq "$(sed -n 2p <<<"$text")" "#Check Spooler" "second log line"
case "$(sed -n 3p <<<"$text")" in
  "  Error(2): Can't open the spooler - ("*")") ;;
  *) fail "third log line: $(sed -n 3p <<<"$text")" ;;
esac
grep -qxF 'PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\' <<<"$text" ||
  fail "no printer-driver directory line"
grep -qx '##0010' <<<"$text" || fail "no start marker"
grep -q '##0020' <<<"$text" && fail "the end marker is written only after the window closed"
[ "$(grep -c . "$out/text.txt")" -eq "$(grep -c $'\r$' "$out/text.txt")" ] ||
  fail "log lines must end in CR LF"

expect_eq "$(cat "$out/layout.txt")" "button=Close
button_default=1
edit_multiline=1
edit_readonly=1
edit_vscroll=1
dialog_caption=1
dialog_sysmenu=1" "dialog layout"
