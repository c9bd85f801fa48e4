#!/usr/bin/env bash
# Every program and DLL of the package imports system DLLs only (static runtime, no mingw DLLs).
source "$(dirname "$0")/../lib.sh"
system_dlls='^(kernel32|user32|advapi32|shell32|winspool\.drv|version|gdi32|comctl32|msvcrt|ntdll|ole32|oleaut32|shlwapi|comdlg32|spoolss)\.dll$|^winspool\.drv$'
found=0
while IFS= read -r -d '' binary; do
  found=$((found + 1))
  while read -r dll; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    [[ "$lower" =~ $system_dlls ]] || fail "$(basename "$binary") imports $dll"
  done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
  echo "$(basename "$binary"): system DLLs only"
done < <(find "$PACKAGE_DIR" \( -name '*.exe' -o -name '*.dll' \) -print0)
[ "$found" -gt 0 ] || fail "no binaries in $PACKAGE_DIR"
