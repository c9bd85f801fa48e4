#!/usr/bin/env bash
# "uninstall" on a prefix where nothing of ours is installed: exit 2, no log window, and the
# spooler, the Run key, the tray companion and the files are as they were.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
wine_new_prefix 71_uninstall_clean
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder

files() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./out -prune -o -path ./tools -prune -o \
    -path ./windows/temp -prune -o -path ./users -prune -o -print | sort)
}
read_state
before=$STATE
files_before=$(files)
run_installer uninstall
expect_run 2 "uninstall on a clean prefix"
read_state
expect_eq "$STATE" "$before" "spooler and registry state"
changed=$(diff <(echo "$files_before") <(files)) || fail "files changed:
$changed"
echo "uninstall on a clean prefix: ok"
