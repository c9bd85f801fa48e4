#!/usr/bin/env bash
# The platform conformance probe (tests/conformance) runs against the simulated Windows and
# under Wine from the same starting situation; every line where the transcripts differ must be
# listed, by its key, in tests/conformance/known_differences.md. Prints
# "platform conformance: N observations, K known differences, U unexplained" and fails when U
# is not 0, when the transcripts do not cover the same keys, or when there are too few lines.
# The Wine side runs twice: on plain Wine 8.0, and with the test-only forwarding winspool.drv.
source "$(dirname "$0")/../lib.sh"
set -o pipefail
trap wine_end EXIT
tools=$WINE_ROOT/build/win64/wine-tools
host_probe=$WINE_ROOT/build/host/conformance_probe
known=$WINE_ROOT/tests/conformance/known_differences.md
# What the simulation answers on each listed key: a listed difference excuses Wine's line only,
# so a change of the simulation's answer there still fails the check.
known_winsim=$WINE_ROOT/tests/conformance/known_differences.winsim.txt
[ -f "$tools/conformance_probe.exe" ] || fail "conformance_probe.exe is not built"
[ -f "$tools/vsample.dll" ] || fail "vsample.dll is not built"
[ -x "$host_probe" ] || fail "the host conformance_probe is not built (scripts/build.sh host)"

mkdir -p "$ARTIFACTS"
host_out=$ARTIFACTS/conformance.winsim.txt
"$host_probe" >"$host_out" || fail "the probe failed against the simulation"
observations=$(wc -l <"$host_out")
[ "$observations" -ge 60 ] || fail "only $observations observations"
# Keys listed in the first column of the known-differences table, written as `key`.
known_keys=$(grep -oE '^\| *`[^`]+`' "$known" | sed -E 's/^\| *`([^`]+)`/\1/' | sort -u)
for key in $known_keys; do
  host_line=$(grep -m1 "^$key: " "$host_out") || fail "listed key $key is not observed"
  grep -qxF "$host_line" "$known_winsim" ||
    fail "the simulation's answer changed on a listed key: [$host_line]"
done

# Compares one Wine transcript with the simulation's and prints the conformance line, with
# $1 naming the run when it is not plain Wine.
compare_with_wine() {
  local label=$1 wine_out=$2
  local wine_keys host_keys knowns=0 unexplained=0
  wine_keys=$(cut -d: -f1 "$wine_out")
  host_keys=$(cut -d: -f1 "$host_out")
  [ "$wine_keys" = "$host_keys" ] || {
    diff <(echo "$wine_keys") <(echo "$host_keys") | head -20
    fail "the transcripts do not observe the same keys in the same order${label:+ ($label)}"
  }
  while IFS=$'\t' read -r wine_line host_line; do
    [ "$wine_line" = "$host_line" ] && continue
    key=${host_line%%:*}
    if grep -qxF "$key" <<<"$known_keys"; then
      knowns=$((knowns + 1))
    else
      unexplained=$((unexplained + 1))
      echo "unexplained difference${label:+ ($label)}: Wine [$wine_line] winsim [$host_line]"
    fi
  done < <(paste "$wine_out" "$host_out")
  # A listed key whose lines agree is only noted: a Wine made to behave as Windows in places
  # (the forwarding spooler library, a newer Wine) agrees where plain Wine 8.0 does not.
  for key in $known_keys; do
    [ "$(grep -m1 "^$key: " "$wine_out")" = "$(grep -m1 "^$key: " "$host_out")" ] &&
      echo "note${label:+ ($label)}: listed but agreeing: $key"
  done
  echo "platform conformance${label:+ $label}: $observations observations, $knowns known differences, $unexplained unexplained"
  [ "$unexplained" -eq 0 ] || fail "$unexplained unexplained differences${label:+ ($label)}"
}

# A fresh prefix with the starting situation of tests/conformance/probe.h.
stage_probe_prefix() {
  wine_new_prefix "$1"
  local probe_dir=$WINEPREFIX/drive_c/probe
  mkdir -p "$probe_dir/old"
  for file in drv/zqvmon64.dll drv/zqvdrv64.dll drv/zqvui64.dll drv/zqvhelp.chm vextray.exe; do
    cp "$PACKAGE_DIR/$file" "$probe_dir/" || fail "package file $file is missing"
  done
  cp "$tools/vsample.dll" "$probe_dir/vsample.dll"
  cp "$tools/vsample.dll" "$probe_dir/old/zqvdrv64.dll"
  cp "$PACKAGE_DIR/drv/zqvmon64.dll" "$WINEPREFIX/drive_c/windows/system32/zqvmon64.dll"
}

stage_probe_prefix 60_conformance
wine_out=$ARTIFACTS/conformance.wine.txt
wine_run "$tools/conformance_probe.exe" | tr -d '\r' >"$wine_out" || fail "the probe failed under Wine"
compare_with_wine "" "$wine_out"
wine_end

# Once more, with Wine's spooler library behind the test-only forwarder that gives Windows'
# answers for null data types, delete flags and purging.
stage_probe_prefix 60_conformance_forwarded
wine_use_forwarder
forwarded_out=$ARTIFACTS/conformance.wine-forwarded.txt
wine_run "$tools/conformance_probe.exe" | tr -d '\r' >"$forwarded_out" ||
  fail "the probe failed under Wine with the forwarder"
compare_with_wine "with the forwarding winspool.drv" "$forwarded_out"
