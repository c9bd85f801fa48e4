#!/usr/bin/env bash
# MoveFileExW(..., MOVEFILE_DELAY_UNTIL_REBOOT) writes "PendingFileRenameOperations" in the layout
# the simulation models, and the product's pending-rename table reads it back as the host tests
# expect (the same sequences are asserted by the host test MatchesTheLayoutOfTheRealPlatform).
# The sweep deletes only free files of deletion entries. A new Wine session then carries out what
# is left, which shows the platform itself reads the value as we wrote it.
source "$(dirname "$0")/../lib.sh"
wine_new_prefix 40_pending_renames
trap wine_end EXIT
probe=$WINE_ROOT/build/win64/wine-tools/pending_renames_probe.exe
[ -f "$probe" ] || fail "pending_renames_probe.exe is not built"
dir=$WINEPREFIX/drive_c/probe
mkdir -p "$dir/sub"
for name in del.dll ren.dll held.dll; do echo "$name" >"$dir/$name"; done

# One wineserver session until the end: a new session would carry out the operations.
wineserver -p
expect_eq "$(wine_run "$probe" raw)" "no value" "value before scheduling"
wine_run "$probe" schedule 'C:\probe\del.dll' || fail "schedule del.dll"
wine_run "$probe" rename 'C:\probe\ren.dll' 'C:\probe\ren2.dll' || fail "schedule a rename"
wine_run "$probe" schedule 'C:\probe\gone.dll' || fail "schedule a missing file"
wine_run "$probe" schedule 'C:\probe\held.dll' || fail "schedule held.dll"
wine_run "$probe" schedule 'C:\probe\sub' || fail "schedule a directory"

raw='type 7 bytes 260
\??\C:\probe\del.dll\0\0\??\C:\probe\ren.dll\0\??\C:\probe\ren2.dll\0\??\C:\probe\gone.dll\0\0\??\C:\probe\held.dll\0\0\??\C:\probe\sub\0\0\0'
expect_eq "$(wine_run "$probe" raw)" "$raw" "value written by MoveFileExW"
expect_eq "$(wine_run "$probe" table)" '1 \??\C:\probe\del.dll
0 -
1 \??\C:\probe\ren.dll
0 \??\C:\probe\ren2.dll
0 \??\C:\probe\gone.dll
0 -
1 \??\C:\probe\held.dll
0 -
0 \??\C:\probe\sub
0 -' "table read back"

holder_output=$WINE_WORK/prefixes/40_pending_renames.holder
wine_run "$probe" hold 'C:\probe\held.dll' >"$holder_output" &
for _ in $(seq 1 100); do
  grep -q held "$holder_output" 2>/dev/null && break
  sleep 0.1
done
grep -q held "$holder_output" || fail "held.dll could not be held open: $(cat "$holder_output")"
expect_eq "$(wine_run "$probe" sweep)" '0 \??\C:\probe\del.dll
0 -
1 \??\C:\probe\ren.dll
0 \??\C:\probe\ren2.dll
0 \??\C:\probe\gone.dll
0 -
1 \??\C:\probe\held.dll
0 -
0 \??\C:\probe\sub
0 -' "table after the sweep"
[ -e "$dir/del.dll" ] && fail "the sweep left del.dll"
[ -e "$dir/ren.dll" ] || fail "the sweep deleted the source of a rename"
[ -e "$dir/held.dll" ] || fail "the sweep deleted a held file"
expect_eq "$(wine_run "$probe" raw)" "$raw" "value after the sweep (never written back)"

# A new session carries out the operations left in the value.
wineserver -k
wineserver -w
wait
expect_eq "$(wine_run "$probe" raw)" "no value" "value after a new session"
[ -e "$dir/ren2.dll" ] || fail "the rename was not carried out at the next session"
[ -e "$dir/held.dll" ] && fail "held.dll was not deleted at the next session"
[ -e "$dir/sub" ] && fail "the directory was not removed at the next session"
echo "pending renames: ok"
