#!/usr/bin/env bash
# "install" over an installation with two printers of ours, each with a settings key, comment and
# location, the second the default and on "LPT1:,vexaWriter:", both per-user settings keys marked
# "deleted": both come back under their names on our port with their settings, the default stays
# where it was, the marks are gone, and the other printer is untouched. Two installs started at
# once, ten times in a row, both end with 1 and leave the same printers. Then the queries: "def.set"
# makes the first of ours in the spooler's order the default (4); "onInit" answers 3 while ours
# is the default and 102 once another printer is. With the protected print mode's policy value
# set, "install" reports error 20, exits 100 and changes nothing; "uninstall" then leaves
# nothing of ours (2).
# Between them, an install ended by force (kill -9) once it has deleted the printers and the
# driver's files: it leaves records of both printers in HKLM and its log on disk up to its last
# line, and the next install brings both back with their settings and the default, one log line
# each, and leaves no record, also of a 63-character settings key (the second printer's). The
# uninstall at the end leaves no key of the vendor's in HKLM, as there was none before.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 77_install_over
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder
vendor='HKLM\Software\Morvane Software KFT'
wine reg query "$vendor" >/dev/null 2>&1 && fail "a vendor key before the install"
key63=key-two-$(printf 'x%.0s' $(seq 55))
stage_installation \
  "vexaWriter vexaWriter: 'vexaWriter printer' comment='Front desk' location='Room 1' subkey=key-one" \
  "'vexaWriter 2' LPT1:,vexaWriter: 'vexaWriter printer' comment=Back location='Room 2' subkey=$key63 default"
spool_inspect mark key-one + mark "$key63" || fail "staging the settings keys failed"
read_state
expect_line "default|vexaWriter 2" "staged default"
office=$(spool_state printer | grep '^printer|Office|')

run_installer install
expect_run 1 "install over an installation"
wait_for_tray "tray|mutex=1|window=1"
expect_eq "$(spool_state printer)" "$office
printer|vexaWriter|vexaWriter:|vexaWriter printer|Front desk|Room 1|RAW|key-one|key-one
printer|vexaWriter 2|vexaWriter:|vexaWriter printer|Back|Room 2|RAW|$key63|$key63" \
  "printers after the install"
expect_line "default|vexaWriter 2" "default printer"
expect_eq "$(spool_state usermark)" "usermark|key-one|deleted=0
usermark|$key63|deleted=0" "per-user settings keys"
expect_line "tray|mutex=1|window=1" "companion running"
expect_line "run|\"C:\\vexa\\vextray.exe\"" "Run value"

# Two installs started at once, ten times over: the run lock lets one run at a time, so both end
# well and both printers are there once, with their settings.
ours=$(spool_state printer | grep -v '^printer|Office|')
for round in $(seq 1 10); do
  timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' install >/dev/null 2>&1 &
  first=$!
  timeout 120 wine 'C:\vexa\drv\zqvinst64.exe' install >/dev/null 2>&1 &
  second=$!
  wait "$first"
  first_rc=$?
  wait "$second"
  expect_eq "$first_rc $?" "1 1" "two installs at once, round $round: exit codes"
  read_state
  expect_eq "$(spool_state printer)" "$office
$ours" "two installs at once, round $round: printers"
done
waited=$(cat "$WINEPREFIX"/drive_c/users/*/Temp/vexaWriter-setup.log | grep -c 'Waiting up to 300 s')
echo "two installs at once: 10 rounds, both runs ended with 1 each time, $waited waited for the other"

records='HKLM\Software\Morvane Software KFT\vexaWriter\SavedPrinters'
driver_file=$WINEPREFIX/drive_c/${PRODUCT_FILES[1]}
# The driver's files are gone only for a few milliseconds, so the poll does not sleep; a run that
# ends before the kill lands (it found the moment too late) put everything back: try again.
for attempt in 1 2 3 4 5; do
  (exec wine 'C:\vexa\drv\zqvinst64.exe' install >/dev/null 2>&1) &
  killed=$!
  # Until the program has ended (a zombie: state Z) and while the files are there.
  running() { local _p _c state; read -r _p _c state _ <"/proc/$killed/stat" && [ "$state" != Z ]; }
  while running 2>/dev/null && [ -e "$driver_file" ]; do :; done
  landed=
  running 2>/dev/null && kill -9 "$killed" 2>/dev/null && landed=1
  wait "$killed" 2>/dev/null
  [ -n "$landed" ] && break
done
[ -n "$landed" ] || fail "no attempt to kill an install once its printers were gone landed"
echo "install killed once its printers were gone, at attempt $attempt"
read_state
expect_no_line "^printer|vexaWriter" "printers after the killed install"
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
last_entry() { tr -d '\r' <"$temp/vexaWriter-setup.log" | awk '/^==== /{e=""} {e=e $0 "\n"} END{printf "%s", e}'; }
entry=$(last_entry)
grep -A1 '#DeletePrinter(vexaWriter 2)' <<<"$entry" | grep -qx ' *OK' ||
  fail "the killed run's log on disk lacks its deletions: $entry"
grep -q '^Exit code' <<<"$entry" && fail "the killed run's log has an exit code: $entry"
wine reg query "$records" /s | tr -d '\r' | grep -q "SubKey.*$key63\$" || fail "no record in HKLM"
run_installer install
expect_run 1 "install after a killed install"
read_state
expect_eq "$(last_entry | grep -c 'was removed by a run that did not finish, it comes back$')" 2 \
  "recovery lines in the log of the install after the killed one"
expect_eq "$(spool_state printer)" "$office
printer|vexaWriter|vexaWriter:|vexaWriter printer|Front desk|Room 1|RAW|key-one|key-one
printer|vexaWriter 2|vexaWriter:|vexaWriter printer|Back|Room 2|RAW|$key63|$key63" \
  "printers after the install that followed a killed one"
expect_line "default|vexaWriter 2" "default printer after the killed install"
wine reg query "$records" >/dev/null 2>&1 && fail "records left after the install"

run_installer onChkDrv
expect_run 103 "onChkDrv"
run_installer def.set
expect_run 4 "def.set"
read_state
expect_line "default|vexaWriter" "default after def.set"
run_installer onInit
expect_run 3 "onInit with ours the default"
spool_inspect set-default Office || fail "could not make Office the default"
run_installer onInit
expect_run 102 "onInit with another printer the default"

# Protected print mode on by policy: an install changes nothing and says why; the uninstall
# still removes everything.
wine reg add 'HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP' \
  /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f >/dev/null 2>&1 ||
  fail "could not set the protected print policy"
read_state
before=$STATE
run_installer install
expect_error_run 'Error(20): Can`t install: Windows protected print mode is on, it admits no printer driver of other makers' \
  "install with protected print mode on"
read_state
expect_eq "$STATE" "$before" "state after the refused install"
expect_files present "refused install" "${PRODUCT_FILES[@]}"

run_installer uninstall
expect_run 2 "uninstall"
read_state
expect_no_line "^monitor|vexaWriter:\|^driver|vexaWriter\|^printer|vexaWriter" "nothing of ours"
expect_line "$office" "the other printer is untouched"
expect_line "run|-" "Run value"
expect_line "tray|mutex=0|window=0" "companion"
expect_files absent "uninstall" "${PRODUCT_FILES[@]}" vexa/vextray.exe
wine reg query "$vendor" >/dev/null 2>&1 && fail "the uninstall left the vendor's key in HKLM"
echo "install over an installation: ok"
