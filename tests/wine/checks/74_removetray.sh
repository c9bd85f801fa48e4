#!/usr/bin/env bash
# "removetray" with the companion running and registered: exit 6, no window, the companion has
# quit, its file and the Run value are gone.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 74_removetray
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
spool_inspect run-value 'C:\vexa\vextray.exe' + start 'C:\vexa\vextray.exe' ||
  fail "staging the companion failed"
read_state
expect_line "tray|mutex=1|window=1" "staged companion"

run_installer removetray
expect_run 6 "removetray"
read_state
expect_line "tray|mutex=0|window=0" "companion"
expect_line "run|-" "Run value"
expect_files absent "removetray" vexa/vextray.exe
echo "removetray: ok"
