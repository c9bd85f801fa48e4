#!/usr/bin/env bash
# Runs every test: formatting, the host tests (plain and with sanitizers), the fuzz targets for
# a bounded time, the benchmark, the Windows build's checks under Wine, two package builds
# compared byte for byte, and a signed build's signatures.
# Ends with one "N passed, N failed" line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" || exit 1

passed=0
failed=0
stage() {  # stage name command...: runs one stage, counting its tests
  local name=$1
  shift
  echo "== $name"
  local log=$root/build/logs/$name.log
  mkdir -p "$root/build/logs"
  "$@" >"$log" 2>&1
  local rc=$?
  local p f
  p=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | grep -oE '[0-9]+' | head -n1)
  f=$(grep -E '^\[  FAILED  \] [0-9]+ test' "$log" | grep -oE '[0-9]+' | head -n1)
  if grep -qE '^wine: [0-9]+ passed, [0-9]+ failed' "$log"; then
    p=$(grep -E '^wine: ' "$log" | grep -oE '[0-9]+ passed' | grep -oE '[0-9]+')
    f=$(grep -E '^wine: ' "$log" | grep -oE '[0-9]+ failed' | grep -oE '[0-9]+')
  fi
  if [ -z "$p" ] && [ -z "$f" ]; then
    [ $rc -eq 0 ] && p=1 || f=1
  fi
  [ $rc -ne 0 ] && [ "${f:-0}" -eq 0 ] && f=1
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  # Summary lines some tests print for this output (the fault and kill sweeps, the conformance
  # probe, the Wine benchmark, the package checks).
  grep -E '^(fault sweep|kill sweep|msi runs|companion matrix|platform conformance|installer size: |install on Wine: |uninstall on Wine: |reinstall with [0-9]+ printers on Wine: |reproducible: |signatures: )' \
    "$log" | sed 's/^/   /'
  if [ $rc -eq 0 ]; then
    echo "   ok (${p:-0} passed)"
  else
    echo "   FAILED"
    tail -n 40 "$log" | sed 's/^/   | /'
  fi
}

format_check() {
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
}
host_tests() {
  "$root/scripts/build.sh" "$1" && "$root/build/$1/host_tests" --gtest_brief=1
}
# Each fuzz target runs FUZZ_SECONDS (12 by default: five targets, about a minute in all).
fuzz_targets() {
  "$root/scripts/build.sh" host-fuzz || return 1
  local rc=0
  for target in "$root"/build/host-fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name corpus
    name=$(basename "$target")
    corpus=$root/tests/fuzz/corpus/${name#fuzz_}
    work=$(mktemp -d)
    cp -a "$corpus/." "$work/" 2>/dev/null || true
    echo "fuzzing $name for ${FUZZ_SECONDS:-12} s"
    "$target" -max_total_time="${FUZZ_SECONDS:-12}" -print_final_stats=1 "$work" || rc=1
    rm -rf "$work"
  done
  return $rc
}
benchmarks() {
  for bench in "$root"/build/host/bench_*; do
    [ -x "$bench" ] && { "$bench" || return 1; }
  done
  return 0
}
wine_checks() {
  "$root/scripts/build.sh" win64 && bash "$root/tests/wine/run.sh"
}

stage format format_check
stage host host_tests host
stage host-asan host_tests host-asan
stage fuzz fuzz_targets
stage benchmark benchmarks
stage wine wine_checks
stage reproducible "$root/scripts/package_builds.sh" reproducible
stage signatures "$root/scripts/package_builds.sh" signatures
cat "$root/build/logs/benchmark.log" 2>/dev/null | sed 's/^/   /'
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
