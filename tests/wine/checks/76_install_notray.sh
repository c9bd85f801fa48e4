#!/usr/bin/env bash
# "in_notray" on a clean prefix with the forwarder: exit 1, the printer is installed, and no
# companion is registered or started.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 76_install_notray
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder

run_installer in_notray
expect_run 1 "in_notray"
sleep 1  # a companion started by mistake would be up by now
read_state
expect_eq "$(spool_state printer)" "printer|vexaWriter|vexaWriter:|vexaWriter printer|||RAW||" \
  "printers"
expect_line "run|-" "Run value"
expect_line "tray|mutex=0|window=0" "companion"
echo "in_notray: ok"
