#!/usr/bin/env bash
# "install" on a clean prefix with the forwarder: exit 1 without a log window; the monitor with
# its DLL in the system directory, the driver with its files (the staged copies gone again), one
# printer "vexaWriter" on our port, and the companion registered and running. A second install
# ends in the same state, again with exit 1 and the companion running; "onChkDrv" then answers
# 103 (the driver file's build is above 2604). From a package folder that grants Everyone write
# (o+w, as Wine maps it) the install is refused with error 19 and changes nothing.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 75_install
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder
x64='C:\windows\system32\spool\drivers\x64'

expect_installed() {  # expect_installed what
  wait_for_tray "tray|mutex=1|window=1"
  expect_line "monitor|vexaWriter:|zqvmon64.dll" "$1: monitor"
  expect_line "driver|vexaWriter printer|$x64\\3\\zqvdrv64.dll|$x64\\3\\zqvui64.dll|$x64\\3\\zqvhelp.chm" \
    "$1: driver"
  expect_eq "$(spool_state printer)" "printer|vexaWriter|vexaWriter:|vexaWriter printer|||RAW||" \
    "$1: printers"
  expect_line "run|\"C:\\vexa\\vextray.exe\"" "$1: Run value"
  expect_line "tray|mutex=1|window=1" "$1: companion running"
  expect_files present "$1" "${PRODUCT_FILES[@]}" vexa/vextray.exe
  expect_files absent "$1: staged copies" windows/system32/spool/drivers/x64/zqvdrv64.dll \
    windows/system32/spool/drivers/x64/zqvui64.dll windows/system32/spool/drivers/x64/zqvhelp.chm
}

run_installer install
expect_run 1 "install on a clean prefix"
expect_installed "first install"
first=$STATE

run_installer install
expect_run 1 "second install"
expect_installed "second install"
expect_eq "$STATE" "$first" "state after the second install"

chmod o+w "$PACKAGE_IN_PREFIX/drv"
run_installer install
expect_error_run 'Error(19): Can`t trust the folder C:\\vexa\\drv: other accounts can change it' \
  "install from a folder others may write"
read_state
expect_eq "$STATE" "$first" "state after the refused install"
chmod o-w "$PACKAGE_IN_PREFIX/drv"

run_installer onChkDrv
expect_run 103 "onChkDrv"
echo "install: ok"
