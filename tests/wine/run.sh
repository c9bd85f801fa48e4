#!/usr/bin/env bash
# Runs every check in tests/wine/checks against the Windows build under Wine, with one Xvfb
# display for the checks that show windows. Prints a closing "N passed, N failed" line. With
# arguments, runs only the checks whose names begin with one of them (run.sh 75 80_setup).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

mkdir -p "$ARTIFACTS"
wine_start_display
trap wine_stop_display EXIT

wine_make_template
passed=0
failed=0
for check in "$here"/checks/*.sh; do
  [ -e "$check" ] || continue
  name=$(basename "$check" .sh)
  if [ $# -gt 0 ]; then
    wanted=
    for prefix in "$@"; do [[ $name == "$prefix"* ]] && wanted=1; done
    [ -n "$wanted" ] || continue
  fi
  start=$(date +%s)
  if timeout 600 bash "$check" >"$ARTIFACTS/$name.log" 2>&1; then
    passed=$((passed + 1))
    echo "wine check $name: ok ($(( $(date +%s) - start )) s)"
    # A check may end with a summary line for the test command's output.
    grep -E '^(platform conformance|installer size: |install on Wine: |uninstall on Wine: |reinstall with [0-9]+ printers on Wine: )' \
      "$ARTIFACTS/$name.log" || true
  else
    failed=$((failed + 1))
    echo "wine check $name: FAILED ($(( $(date +%s) - start )) s)"
    sed 's/^/    /' "$ARTIFACTS/$name.log" | tail -n 30
  fi
  WINEPREFIX=$WINE_WORK/prefixes/$name wineserver -k >/dev/null 2>&1 || true
  # A prefix takes about 700 MB: each check's go once it is done (its log is in the artifacts).
  if [ -z "${KEEP_PREFIXES:-}" ]; then
    for prefix in "$WINE_WORK/prefixes/$name" "$WINE_WORK/prefixes/$name".* \
      "$WINE_WORK/prefixes/${name}_"*; do
      [ -e "$prefix" ] || continue
      WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
      rm -rf "$prefix"
    done
  fi
done
[ -n "${KEEP_PREFIXES:-}" ] || rm -rf "$WINE_WORK/prefixes"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
