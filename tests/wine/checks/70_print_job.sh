#!/usr/bin/env bash
# The installed printer prints: after an install, a RAW job sent to "vexaWriter" from another
# process reaches the port monitor, which writes its bytes to
# C:\ProgramData\vexaWriter\jobs\job-0001.prn; the uninstall then removes the printer and
# leaves the printed file.
source "$(dirname "$0")/../lib.sh"
unset DISPLAY
TOOLS_DIR=${TOOLS_DIR:-$WINE_ROOT/build/win64/wine-tools}
[ -f "$TOOLS_DIR/print_job.exe" ] || fail "print_job.exe not built"
wine_new_prefix 70_print_job
trap wine_end EXIT
wine_install_package
mkdir -p "$WINEPREFIX/drive_c/tools"
cp "$TOOLS_DIR/print_job.exe" "$WINEPREFIX/drive_c/tools/"
printers='HKLM\System\CurrentControlSet\Control\Print\Printers\vexaWriter'

timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' in_notray 2>/dev/null
code=$?
echo "install -> $code"
# Wine's own spooler refuses the printer's null data type (exit 100, the printer's key left
# without "Datatype"); give it the data type Windows would have chosen, "RAW".
if ! wine reg query "$printers" /v Datatype >/dev/null 2>&1; then
  [ "$code" = 100 ] || fail "install: got $code with no data type on the printer"
  wine reg add "$printers" /v Datatype /d RAW /f >/dev/null 2>&1 || fail "staging the data type"
else
  expect_eq "$code" 1 "install"
fi
# Wine finds a port's monitor only by this key, which a monitor registers itself on Windows.
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\vexaWriter:\Ports\vexaWriter:' \
  /f >/dev/null 2>&1 || fail "staging the port key"

text="vexaWriter job $$ $(date +%s)"
timeout 60 wine 'C:\tools\print_job.exe' vexaWriter "$text" 2>/dev/null ||
  fail "print_job exited with $?"
job="$WINEPREFIX/drive_c/ProgramData/vexaWriter/jobs/job-0001.prn"
[ -f "$job" ] || fail "no job file at $job"
expect_eq "$(cat "$job")" "$text" "the printed bytes"
echo "printed: $(cat "$job")"

timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' un 2>/dev/null
code=$?
echo "uninstall -> $code"
case "$code" in 2 | 100 | 101) ;; *) fail "uninstall: got $code" ;; esac
wine reg query "$printers" >/dev/null 2>&1 && fail "the printer is still there"
[ -f "$job" ] || fail "the uninstall removed the printed file"
echo "ok"
