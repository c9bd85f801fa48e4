#!/usr/bin/env bash
# Figures, not a test: the installer's size, and the wall time of a clean install and of its
# uninstall under Wine against bare_calls.exe, which makes the same platform calls with no log,
# no checks and only the mandated waits. Both run in copies of the same template prefix with the
# forwarding winspool.drv (so the install succeeds as on Windows), each with a warm wineserver,
# in three rounds; the medians are printed. Then "serverinstall" over an installation with 10,
# 100 and 1,000 printers of ours, each with its own settings key, comment and location, against
# bare_calls' reinstall of the same printers: three rounds at 10 and 100, one at 1,000 (each of
# its runs takes seconds). Fails only when something breaks (a tool missing, a run that does not
# end).
source "$(dirname "$0")/../lib.sh"
unset DISPLAY
[ -f "$TOOLS_DIR/bare_calls.exe" ] || fail "bare_calls.exe not built"
exe="$PACKAGE_DIR/drv/zqvinst64.exe"
bytes=$(stat -c %s "$exe") || fail "no installer at $exe"
echo "installer size: $bytes bytes ($(( (bytes + 1023) / 1024 )) KiB, limit 160 KiB)"

prefixes=()
prepare() {  # prepare NAME: a warm prefix with the package and the tools
  wine_new_prefix "$1"
  prefixes+=("$WINEPREFIX")
  wine_start_session
  wine_install_package
  wine_install_tools
  wine_use_forwarder
  cp "$TOOLS_DIR/bare_calls.exe" "$WINEPREFIX/drive_c/tools/"
  timeout 60 wine 'C:\tools\bare_calls.exe' warm-up 'C:\vexa\drv' </dev/null >/dev/null 2>&1
}
end_all() {
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
  done
}
trap end_all EXIT
elapsed_ms() {  # elapsed_ms PREFIX program arguments...: runs it, prints its wall time in ms
  local prefix=$1
  shift
  local start end
  start=$(date +%s%N)
  WINEPREFIX=$prefix timeout 120 wine "$@" </dev/null >/dev/null 2>&1
  local code=$?
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 ))"
  # 124: timed out; above 128: killed by a signal. Any exit code of the program is a figure.
  [ $code -ne 124 ] && [ $code -lt 128 ]
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

install=() bare_install=() uninstall=() bare_uninstall=()
for round in 1 2 3; do
  prepare "80_wine_bench_installer_$round"
  installer_prefix=$WINEPREFIX
  prepare "80_wine_bench_bare_$round"
  bare_prefix=$WINEPREFIX
  install+=("$(elapsed_ms "$installer_prefix" 'C:\vexa\drv\zqvinst64.exe' in_notray)") ||
    fail "the install did not end"
  bare_install+=("$(elapsed_ms "$bare_prefix" 'C:\tools\bare_calls.exe' install 'C:\vexa\drv')") ||
    fail "bare_calls install did not end"
  uninstall+=("$(elapsed_ms "$installer_prefix" 'C:\vexa\drv\zqvinst64.exe' un)") ||
    fail "the uninstall did not end"
  bare_uninstall+=("$(elapsed_ms "$bare_prefix" 'C:\tools\bare_calls.exe' uninstall 'C:\vexa\drv')") ||
    fail "bare_calls uninstall did not end"
  end_all
  prefixes=()
done
# One prefix for the installer and one for bare_calls, each with our monitor and driver; the
# printers are added as the rounds go up in size. A reinstall leaves the printers as it found
# them, so each round starts from the same state.
prepare 80_wine_bench_server_installer
installer_prefix=$WINEPREFIX
prepare 80_wine_bench_server_bare
bare_prefix=$WINEPREFIX
for prefix in "$installer_prefix" "$bare_prefix"; do
  cp "$PACKAGE_DIR/drv/zqvmon64.dll" "$prefix/drive_c/windows/system32/"
  WINEPREFIX=$prefix spool_inspect add-monitor "vexaWriter:" zqvmon64.dll \
    + add-driver "vexaWriter printer" 'C:\vexa\drv\zqvdrv64.dll' 'C:\vexa\drv\zqvui64.dll' \
    'C:\vexa\drv\zqvhelp.chm' || fail "staging the monitor and driver failed"
done
reinstall_lines=()
staged=0
for count in 10 100 1000; do
  for prefix in "$installer_prefix" "$bare_prefix"; do
    WINEPREFIX=$prefix spool_inspect add-printers $((staged + 1)) "$count" "vexaWriter:" \
      "vexaWriter printer" || fail "staging $count printers failed"
  done
  staged=$count
  rounds=3
  [ "$count" = 1000 ] && rounds=1
  reinstall=() bare_reinstall=()
  for _ in $(seq 1 "$rounds"); do
    reinstall+=("$(elapsed_ms "$installer_prefix" 'C:\vexa\drv\zqvinst64.exe' serverinstall)") ||
      fail "the reinstall over $count printers did not end"
    bare_reinstall+=("$(elapsed_ms "$bare_prefix" 'C:\tools\bare_calls.exe' reinstall 'C:\vexa\drv')") ||
      fail "bare_calls reinstall over $count printers did not end"
  done
  echo "rounds (ms) with $count printers: reinstall ${reinstall[*]}; bare ${bare_reinstall[*]}"
  ms=$(median "${reinstall[@]}")
  bare_ms=$(median "${bare_reinstall[@]}")
  reinstall_lines+=("reinstall with $count printers on Wine: $ms ms, bare calls: $bare_ms ms, ratio $(ratio "$ms" "$bare_ms")")
done
# Both leave every printer back with its settings, comment and location.
for prefix in "$installer_prefix" "$bare_prefix"; do
  state=$(WINEPREFIX=$prefix spool_inspect state)
  grep -qxF "default|vexaWriter 1" <<<"$state" || fail "the default moved in $(basename "$prefix")"
  restored=$(grep -cE <<<"$state" \
    '^printer\|vexaWriter ([0-9]+)\|vexaWriter:\|vexaWriter printer\|queue \1\|floor \1\|[^|]*\|key-\1\|key-\1$')
  expect_eq "$restored" 1000 "printers back with their settings in $(basename "$prefix")"
done
end_all
install_ms=$(median "${install[@]}")
bare_install_ms=$(median "${bare_install[@]}")
uninstall_ms=$(median "${uninstall[@]}")
bare_uninstall_ms=$(median "${bare_uninstall[@]}")
echo "rounds (ms): install ${install[*]}; bare ${bare_install[*]}; uninstall ${uninstall[*]}; bare ${bare_uninstall[*]}"
echo "install on Wine: $install_ms ms, bare calls: $bare_install_ms ms, ratio $(ratio "$install_ms" "$bare_install_ms")"
echo "uninstall on Wine: $uninstall_ms ms, bare calls: $bare_uninstall_ms ms, ratio $(ratio "$uninstall_ms" "$bare_uninstall_ms")"
printf '%s\n' "${reinstall_lines[@]}"
