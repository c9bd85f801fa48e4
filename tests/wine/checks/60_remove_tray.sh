#!/usr/bin/env bash
# "removetray" against the package's running tray companion: it is asked to quit and ends,
# its file and its Run value are gone, and the mode exits with 6.
source "$(dirname "$0")/../lib.sh"
wine_new_prefix 60_remove_tray
trap wine_end EXIT
wine_install_package
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg add "$run_key" /v vexaWriterTray /t REG_SZ /d 'C:\vexa\vextray.exe' /f >/dev/null 2>&1 ||
  fail "cannot write the Run value"
wine 'C:\vexa\vextray.exe' 2>/dev/null &
companion=$!
sleep 3  # its mutex and window are in place

timeout 120 wine "$PACKAGE_IN_PREFIX/drv/zqvinst64.exe" removetray 2>/dev/null
expect_eq $? 6 "zqvinst64 removetray"
for _ in $(seq 50); do
  kill -0 $companion 2>/dev/null || break
  sleep 0.2
done
kill -0 $companion 2>/dev/null && fail "the companion still runs"
[ -e "$PACKAGE_IN_PREFIX/vextray.exe" ] && fail "vextray.exe was not deleted"
wine reg query "$run_key" /v vexaWriterTray >/dev/null 2>&1 && fail "the Run value is still there"
echo "removetray: companion ended, file and Run value removed"
