#!/usr/bin/env bash
# "uninstall" over an installation put in place piece by piece, with the forwarder giving Wine's
# spooler the Windows behaviour: exit 2 without a log window; the monitor, the driver with its
# files, both of our printers (one on "vexaWriter:", one on "LPT1:,vexaWriter:" and the default),
# the companion with its file and Run value are gone; the other driver's printer on LPT1: and the
# Local Port monitor stay as they were.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 72_uninstall
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder
stage_installation "vexaWriter vexaWriter: 'vexaWriter printer' comment=One subkey=key-one" \
  "'vexaWriter 2' LPT1:,vexaWriter: 'vexaWriter printer' subkey=key-two default"
read_state
expect_line "printer|vexaWriter 2|LPT1:,vexaWriter:|vexaWriter printer|||RAW|key-two|key-two" \
  "staged printer"
expect_line "tray|mutex=1|window=1" "staged companion"
office=$(spool_state printer | grep '^printer|Office|')

run_installer uninstall
expect_run 2 "uninstall"
read_state
expect_no_line "vexaWriter" "nothing of ours is left"
expect_line "$office" "the other printer on LPT1: is untouched"
expect_line "monitor|Local Port|localspl.dll" "Local Port monitor"
expect_line "run|-" "Run value"
expect_line "tray|mutex=0|window=0" "companion"
expect_files absent "uninstall" "${PRODUCT_FILES[@]}" vexa/vextray.exe
echo "uninstall: ok"
