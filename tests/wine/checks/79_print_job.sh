#!/usr/bin/env bash
# The installed printer prints: after an install with the forwarder (exit 1, the printer on data
# type "RAW"), a RAW job sent to "vexaWriter" from another process reaches the port monitor,
# which writes its bytes to C:\ProgramData\vexaWriter\jobs\job-0001.prn; the uninstall then
# removes the printer (exit 2) and leaves the printed file.
source "$(dirname "$0")/../lib.sh"
unset DISPLAY
[ -f "$TOOLS_DIR/print_job.exe" ] || fail "print_job.exe not built"
wine_new_prefix 79_print_job
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder
cp "$TOOLS_DIR/print_job.exe" "$WINEPREFIX/drive_c/tools/"
printers='HKLM\System\CurrentControlSet\Control\Print\Printers\vexaWriter'

timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' in_notray </dev/null >/dev/null 2>&1
expect_eq $? 1 "install"
# Wine finds a port's monitor only by this key, which a monitor registers itself on Windows.
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\vexaWriter:\Ports\vexaWriter:' \
  /f >/dev/null 2>&1 || fail "staging the port key"

text="vexaWriter job $$ $(date +%s)"
timeout 60 wine 'C:\tools\print_job.exe' vexaWriter "$text" </dev/null 2>/dev/null ||
  fail "print_job exited with $?"
job="$WINEPREFIX/drive_c/ProgramData/vexaWriter/jobs/job-0001.prn"
[ -f "$job" ] || fail "no job file at $job"
expect_eq "$(cat "$job")" "$text" "the printed bytes"
echo "printed: $(cat "$job")"

timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' un </dev/null >/dev/null 2>&1
expect_eq $? 2 "uninstall"
wine reg query "$printers" >/dev/null 2>&1 && fail "the printer is still there"
[ -f "$job" ] || fail "the uninstall removed the printed file"
echo "ok"
