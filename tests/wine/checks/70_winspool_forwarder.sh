#!/usr/bin/env bash
# The test-only winspool.drv forwarder: it exports every ordinal and name of Wine's builtin, and in
# a prefix it is the one loaded (its marker answers, ordinals 203/204 still reach Wine's default
# printer) and gives the three calls their Windows outcomes, where Wine's own spooler fails
# them: a null data type becomes "RAW" (Wine: 1801), a purge succeeds (Wine: 124),
# DPD_DELETE_ALL_FILES refuses a driver in use with 3001 and then removes it with its files
# while another driver's files stay (Wine: 87).
source "$(dirname "$0")/../lib.sh"
wine_new_prefix 70_winspool_forwarder
trap wine_end EXIT
wine_start_session
wine_install_package
wine_install_tools

exports() {  # ordinal and name (or "-") of every export of a PE file
  x86_64-w64-mingw32-objdump -p "$1" | awk '
    /^Export Address Table -- Ordinal Base/ { base = $NF }
    /\+base\[/ { gsub(/[][+]/, " "); ordinal[$3] = 1 }
    /\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && /^[ \t]*\[ *[0-9]+\] [A-Za-z_]/ { gsub(/[][]/, " "); name[$1 + base] = $2 }
    names && /^$/ { names = 0 }
    END { for (o in ordinal) print o, (o in name ? name[o] : "-") }' | sort
}
builtin=$WINE_BUILTIN_DIR/winspool.drv
[ -f "$builtin" ] || builtin=$WINEPREFIX/drive_c/windows/system32/winspool.drv
missing=$(comm -23 <(exports "$builtin") <(exports "$TOOLS_DIR/winspool.drv"))
[ -z "$missing" ] || fail "exports of Wine's winspool.drv missing from the forwarder:
$missing"
echo "forwarder exports: all $(exports "$builtin" | wc -l) of Wine's"

drivers=(add-driver "vexaWriter printer" 'C:\vexa\drv\zqvdrv64.dll' 'C:\vexa\drv\zqvui64.dll'
  'C:\vexa\drv\zqvhelp.chm')
mkdir -p "$WINEPREFIX/drive_c/other"
cp "$PACKAGE_IN_PREFIX/drv/zqvdrv64.dll" "$WINEPREFIX/drive_c/other/othdrv.dll"
cp "$PACKAGE_IN_PREFIX/drv/zqvui64.dll" "$WINEPREFIX/drive_c/other/othui.dll"
spool_inspect "${drivers[@]}" + add-driver "Other printer" 'C:\other\othdrv.dll' \
  'C:\other\othui.dll' + add-printer Office LPT1: "Other printer" >/dev/null ||
  fail "staging the drivers failed"

# Wine's own spooler.
expect_eq "$(spool_inspect add-printer Broken LPT1: "Other printer" nulltype 2>&1)" \
  "error: AddPrinterW 1801" "Wine: null data type"
expect_eq "$(spool_inspect purge Office + delete-driver "vexaWriter printer" 4)" \
  "purge error 124
delete-driver error 87" "Wine: purge and DPD_DELETE_ALL_FILES"
read_state
expect_line "forwarder|0" "Wine's own winspool.drv"

wine_use_forwarder
out=$(spool_inspect add-printer Typed LPT1: "vexaWriter printer" nulltype + purge Typed \
  + delete-driver "vexaWriter printer" 4 + set-default Typed) || fail "forwarder probes failed"
expect_eq "$out" "purge ok
delete-driver error 3001" "forwarder: purge and a driver in use"
read_state
expect_line "forwarder|1" "the forwarder is loaded"
expect_line "printer|Typed|LPT1:|vexaWriter printer|||RAW||" "forwarder: null data type"
expect_line "default|Typed" "forwarder: ordinals 203 and 204"

expect_eq "$(spool_inspect delete-printer Typed + delete-driver "vexaWriter printer" 4)" \
  "delete-driver ok" "forwarder: a driver no printer uses"
read_state
expect_no_line "^driver|vexaWriter printer|" "the driver was deleted"
expect_line "driver|Other printer|C:\\windows\\system32\\spool\\drivers\\x64\\3\\othdrv.dll|C:\\windows\\system32\\spool\\drivers\\x64\\3\\othui.dll|" \
  "the other driver stays"
expect_files absent "the deleted driver's files" "${PRODUCT_FILES[@]:1}"
expect_files present "the other driver's files" windows/system32/spool/drivers/x64/3/othdrv.dll \
  windows/system32/spool/drivers/x64/3/othui.dll
echo "winspool forwarder: ok"
