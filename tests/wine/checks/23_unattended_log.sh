#!/usr/bin/env bash
# The log on disk: every install and uninstall appends its log to vexaWriter-setup.log in the
# account's temporary folder. An earlier log over 1 MiB is first renamed to
# vexaWriter-setup.old.log (replacing an older one). An uninstall on the clean prefix, with Shift
# held, still shows its window; then an install runs (on plain Wine 8.0 it ends in an error,
# so its window appears too). Each entry in the file (header, log, exit code) must hold exactly
# what the window showed, the install's end marker after it.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 23_unattended_log
trap wine_end EXIT
wine_install_package
cp "$WINE_ROOT/build/win64/wine-tools/log_window_probe.exe" "$WINEPREFIX/drive_c/"
probe() { wine 'C:\log_window_probe.exe' "$@"; }
mkdir -p "$WINEPREFIX/drive_c/out1" "$WINEPREFIX/drive_c/out2"

temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
[ -d "$temp" ] || fail "no temporary folder: '$temp'"
log=$temp/vexaWriter-setup.log
old=$temp/vexaWriter-setup.old.log
head -c 1048577 /dev/zero | tr '\0' '.' >"$log"
echo older >"$old"

probe shift down || fail "could not press Shift"
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' uninstall 2>/dev/null &
installer=$!
probe wait 'C:\out1' 60 || fail "no log window although Shift was held"
probe shift up
probe close || fail "could not close the uninstall's log window"
wait $installer
uninstall_code=$?
expect_eq "$uninstall_code" 2 "exit code of the uninstall"
expect_eq "$(stat -c %s "$old")" 1048577 "size of the renamed earlier log"

# Without the forwarding spooler library the install reports an error and shows its window; with
# it the install succeeds and shows none. Either way the file must hold the run.
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' install 2>/dev/null &
installer=$!
shown=0
while kill -0 $installer 2>/dev/null; do
  if probe wait 'C:\out2' 1 2>/dev/null; then
    shown=1
    probe close || fail "could not close the install's log window"
    break
  fi
done
wait $installer
install_code=$?
echo "install: exit code $install_code, log window shown: $shown"
[ "$shown" -eq 1 ] || [ "$install_code" -ne 100 ] || fail "an install with errors showed no window"

[ "$(grep -c '' "$log")" -eq "$(grep -c $'\r$' "$log")" ] || fail "log lines must end in CR LF"
file=$(tr -d '\r' <"$log")
echo "$file"
header='^==== [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} '
expect_eq "$(grep -cE "$header" <<<"$file")" 2 "entries in the log file"
grep -qxE "${header}uninstall - vexaWriter build 2609 ====" <<<"$(sed -n 1p <<<"$file")" ||
  fail "first header: $(sed -n 1p <<<"$file")"
grep -qxE "${header}install - vexaWriter build 2609 ====" <<<"$(grep -E "$header" <<<"$file" |
  sed -n 2p)" || fail "second header"
entry() { awk -v n="$1" '/^==== /{k++; next} k==n' <<<"$file"; }
expect_eq "$(entry 1 | tail -n 1)" "Exit code 2" "last line of the uninstall"
expect_eq "$(entry 2 | tail -n 1)" "Exit code $install_code" "last line of the install"
expect_eq "$(entry 1 | sed '$d')" "$(tr -d '\r' <"$WINEPREFIX/drive_c/out1/text.txt")" \
  "uninstall log in the file and in the window"
if [ "$shown" -eq 1 ]; then
  expect_eq "$(entry 2 | sed '$d')" "$(tr -d '\r' <"$WINEPREFIX/drive_c/out2/text.txt")"$'\n##0020' \
    "install log in the file and in the window"
fi
exit 0
