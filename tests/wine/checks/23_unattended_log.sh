#!/usr/bin/env bash
# The log on disk (%TEMP%\vexaWriter-setup.log): a hard link there is not written through; an
# earlier log over 1 MiB is renamed to vexaWriter-setup.old.log; an uninstall with Shift held
# still shows its window; an install follows (on plain Wine 8.0 it reports an error and shows
# its window too). Each entry in the file holds a header, exactly what the window showed, and
# the exit code. The install's standard output, redirected to a file, receives the bytes of its
# entry.
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
# A log file that is a hard link (planted in a shared folder) is never written through.
echo planted >"$WINEPREFIX/drive_c/target.txt"
ln "$WINEPREFIX/drive_c/target.txt" "$temp/vexaWriter-setup.log"
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' uninstall 2>/dev/null
expect_eq $? 2 "exit code of an uninstall beside a planted link"
expect_eq "$(cat "$WINEPREFIX/drive_c/target.txt")" planted "file behind a planted link"
rm "$temp/vexaWriter-setup.log"
head -c 1048577 /dev/zero | tr '\0' '.' >"$temp/vexaWriter-setup.log"
echo older >"$temp/vexaWriter-setup.old.log"

probe shift down || fail "could not press Shift"
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' uninstall 2>/dev/null &
installer=$!
probe wait 'C:\out1' 60 || fail "no log window although Shift was held"
probe shift up
probe close || fail "could not close the uninstall's log window"
wait $installer
expect_eq $? 2 "exit code of the uninstall"
expect_eq "$(stat -c %s "$temp/vexaWriter-setup.old.log")" 1048577 "size of the renamed log"

# With a spooler library that behaves as Windows does, the install succeeds and shows no window.
captured=$WINEPREFIX/drive_c/captured.log
timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' install >"$captured" 2>/dev/null &
installer=$!
shown=0
while [ $shown -eq 0 ] && kill -0 $installer 2>/dev/null; do
  probe wait 'C:\out2' 1 2>/dev/null && shown=1 && { probe close || fail "could not close"; }
done
wait $installer
code=$?
echo "install: exit code $code, log window shown: $shown"
[ $shown -eq 1 ] || [ $code -ne 100 ] || fail "an install with errors showed no window"

log=$temp/vexaWriter-setup.log
[ "$(grep -c '' "$log")" -eq "$(grep -c $'\r$' "$log")" ] || fail "log lines must end in CR LF"
file=$(tr -d '\r' <"$log")
echo "$file"
stamp='==== [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
headers=$(grep -E "^$stamp " <<<"$file" | sed -E "s/^$stamp //")
expect_eq "$headers" $'uninstall - vexaWriter build 2609 ====\ninstall - vexaWriter build 2609 ====' \
  "headers"
entry() { awk -v n="$1" '/^==== /{k++; next} k==n' <<<"$file"; }
expect_eq "$(entry 1)" "$(tr -d '\r' <"$WINEPREFIX/drive_c/out1/text.txt")"$'\nExit code 2' \
  "uninstall entry"
[ $shown -eq 0 ] || expect_eq "$(entry 2)" \
  "$(tr -d '\r' <"$WINEPREFIX/drive_c/out2/text.txt")"$'\nExit code '$code "install entry"
expect_eq "$(entry 2 | tail -n 1)" "Exit code $code" "last line of the install"
awk '/^==== /{e=""} {e=e $0 "\n"} END{printf "%s", e}' "$log" >"$WINEPREFIX/drive_c/entry.log"
cmp "$WINEPREFIX/drive_c/entry.log" "$captured" || fail "standard output is not the install's entry"
