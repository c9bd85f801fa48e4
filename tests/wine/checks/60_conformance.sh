#!/usr/bin/env bash
# The platform conformance probe (tests/conformance) runs against the simulated Windows and
# under Wine from the same starting situation; every line where the transcripts differ must be
# listed, by its key, in tests/conformance/known_differences.md. Prints
# "platform conformance: N observations, K known differences, U unexplained" and fails when U
# is not 0, when the transcripts do not cover the same keys, or when there are too few lines.
source "$(dirname "$0")/../lib.sh"
set -o pipefail
wine_new_prefix 60_conformance
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

# The starting situation of tests/conformance/probe.h.
probe_dir=$WINEPREFIX/drive_c/probe
mkdir -p "$probe_dir/old"
for file in drv/zqvmon64.dll drv/zqvdrv64.dll drv/zqvui64.dll drv/zqvhelp.chm vextray.exe; do
  cp "$PACKAGE_DIR/$file" "$probe_dir/" || fail "package file $file is missing"
done
cp "$tools/vsample.dll" "$probe_dir/vsample.dll"
cp "$tools/vsample.dll" "$probe_dir/old/zqvdrv64.dll"
cp "$PACKAGE_DIR/drv/zqvmon64.dll" "$WINEPREFIX/drive_c/windows/system32/zqvmon64.dll"

mkdir -p "$ARTIFACTS"
wine_out=$ARTIFACTS/conformance.wine.txt
host_out=$ARTIFACTS/conformance.winsim.txt
wine_run "$tools/conformance_probe.exe" | tr -d '\r' >"$wine_out" || fail "the probe failed under Wine"
"$host_probe" >"$host_out" || fail "the probe failed against the simulation"

# Keys listed in the first column of the known-differences table, written as `key`.
known_keys=$(grep -oE '^\| *`[^`]+`' "$known" | sed -E 's/^\| *`([^`]+)`/\1/' | sort -u)
wine_keys=$(cut -d: -f1 "$wine_out")
host_keys=$(cut -d: -f1 "$host_out")
[ "$wine_keys" = "$host_keys" ] || {
  diff <(echo "$wine_keys") <(echo "$host_keys") | head -20
  fail "the transcripts do not observe the same keys in the same order"
}
observations=$(wc -l <"$host_out")
knowns=0
unexplained=0
while IFS=$'\t' read -r wine_line host_line; do
  [ "$wine_line" = "$host_line" ] && continue
  key=${host_line%%:*}
  if grep -qxF "$key" <<<"$known_keys"; then
    knowns=$((knowns + 1))
  else
    unexplained=$((unexplained + 1))
    echo "unexplained difference: Wine [$wine_line] winsim [$host_line]"
  fi
done < <(paste "$wine_out" "$host_out")
# A listed key whose lines agree is only noted: a Wine made to behave as Windows in places
# (a forwarding spooler library, a newer Wine) agrees where plain Wine 8.0 does not.
for key in $known_keys; do
  grep -q "^$key: " "$host_out" || fail "listed key $key is not observed"
  wine_line=$(grep -m1 "^$key: " "$wine_out")
  host_line=$(grep -m1 "^$key: " "$host_out")
  [ "$wine_line" = "$host_line" ] && echo "note: listed but agreeing now: $key"
  grep -qxF "$host_line" "$known_winsim" || {
    echo "the simulation's answer changed on a listed key: [$host_line]"
    unexplained=$((unexplained + 1))
  }
done
echo "platform conformance: $observations observations, $knowns known differences, $unexplained unexplained"
[ "$observations" -ge 60 ] || fail "only $observations observations"
[ "$unexplained" -eq 0 ] || fail "$unexplained unexplained differences"
