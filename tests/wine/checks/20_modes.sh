#!/usr/bin/env bash
# Keywords and exit codes of the modes that show no window, run headless: no argument and
# unknown keywords give 6, "def.set" (exact case only) 4, the queries 3 on a fresh prefix, and
# keywords in other letter cases select their modes.
source "$(dirname "$0")/../lib.sh"
unset DISPLAY
wine_new_prefix 20_modes
trap wine_end EXIT
wine_install_package
installer="$PACKAGE_IN_PREFIX/drv/zqvinst64.exe"

expect_exit() {  # expect_exit code arguments...
  local expected=$1
  shift
  timeout 120 wine "$installer" "$@" 2>/dev/null
  expect_eq $? "$expected" "zqvinst64 $*"
  echo "zqvinst64 $* -> $expected"
}

expect_exit 6
expect_exit 6 nosuchmode
expect_exit 6 removetray
expect_exit 6 REMOVETRAY
expect_exit 4 def.set
expect_exit 6 DEF.SET
expect_exit 6 "def.set "
expect_exit 3 onChkDrv
expect_exit 3 ONCHKDRV
expect_exit 3 onchkdrv 0 extra
# Nothing is installed, so an uninstall finds nothing to do and reports no error.
expect_exit 2 Un

# The post-reboot check answers 3 or 102 on a fresh prefix (whether an empty default counts as
# "not ours"); never 6, which would mean the keyword was not recognised.
timeout 120 wine "$installer" OnInit 2>/dev/null
code=$?
[ "$code" = 3 ] || [ "$code" = 102 ] || fail "zqvinst64 OnInit: got $code, expected 3 or 102"
echo "zqvinst64 OnInit -> $code"
