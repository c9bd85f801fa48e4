#!/usr/bin/env bash
# The "onInit" mode on the real platform: exit 200 while one of our driver files is still waiting
# for a boot-time deletion and cannot be deleted now, even after the spooler restarts; once the
# file is free, the mode deletes it and goes on to the default-printer query (102 or 3).
source "$(dirname "$0")/../lib.sh"
wine_new_prefix 41_post_reboot_check
trap wine_end EXIT
wine_install_package
probe=$WINE_ROOT/build/win64/wine-tools/pending_renames_probe.exe
[ -f "$probe" ] || fail "pending_renames_probe.exe is not built"
installer=$PACKAGE_IN_PREFIX/drv/zqvinst64.exe
system32=$WINEPREFIX/drive_c/windows/system32
echo ui >"$system32/zqvui64.dll"

# One wineserver session until the end: a new session would carry out the deletion itself.
wineserver -p
wine_run "$installer" onInit
code=$?
[ "$code" = 102 ] || [ "$code" = 3 ] || fail "onInit without pending files: exit $code"

wine_run "$probe" schedule 'C:\windows\system32\zqvui64.dll' || fail "schedule zqvui64.dll"
holder_output=$WINE_WORK/prefixes/41_post_reboot_check.holder
wine_run "$probe" hold 'C:\windows\system32\zqvui64.dll' 8 >"$holder_output" &
holder=$!
for _ in $(seq 1 100); do
  grep -q held "$holder_output" 2>/dev/null && break
  sleep 0.1
done
grep -q held "$holder_output" || fail "zqvui64.dll could not be held open: $(cat "$holder_output")"
wine_run "$installer" onInit
expect_eq $? 200 "onInit while zqvui64.dll is held"
[ -e "$system32/zqvui64.dll" ] || fail "a held file was deleted"

wait "$holder"
wine_run "$installer" onInit
code=$?
[ "$code" = 102 ] || [ "$code" = 3 ] || fail "onInit once the file is free: exit $code"
[ -e "$system32/zqvui64.dll" ] && fail "onInit left the free pending file"
echo "post-reboot check: ok"
