#!/usr/bin/env bash
# Every program and DLL of the package imports system DLLs only (static runtime, no mingw DLLs).
# The installer, which runs elevated from a folder others may write to, imports at start only
# DLLs the system always takes from its own directory; the rest it loads later, from there.
# Each, the MSI's custom-action DLL too, carries in its PE header the flags for randomised 64-bit
# addresses (high entropy), DEP, and for a program the terminal-server flag.
source "$(dirname "$0")/../lib.sh"
system_dlls='^(kernel32|user32|advapi32|shell32|winspool\.drv|version|gdi32|comctl32|msvcrt|ntdll|ole32|oleaut32|shlwapi|comdlg32|spoolss)\.dll$|^winspool\.drv$'
installer_dlls='^(kernel32|user32|advapi32|shell32|msvcrt)\.dll$|^api-ms-win-.*\.dll$'
found=0
while IFS= read -r -d '' binary; do
  found=$((found + 1))
  allowed=$system_dlls
  [ "$(basename "$binary")" = zqvinst64.exe ] && allowed=$installer_dlls
  while read -r dll; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    [[ "$lower" =~ $allowed ]] || fail "$(basename "$binary") imports $dll"
  done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
  echo "$(basename "$binary"): system DLLs only"
done < <(find "$PACKAGE_DIR" \( -name '*.exe' -o -name '*.dll' \) -print0)
while IFS= read -r -d '' binary; do
  header=$(x86_64-w64-mingw32-objdump -p "$binary")
  wanted="HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT"
  [[ $binary == *.exe ]] && wanted+=" TERMINAL_SERVICE_AWARE"
  for flag in $wanted; do
    grep -qw "$flag" <<<"$header" || fail "$(basename "$binary") lacks $flag"
  done
  echo "$(basename "$binary"): $wanted"
done < <(find "$PACKAGE_DIR" "$PACKAGE_DIR/../setup/msi_actions" -maxdepth 2 \
  \( -name '*.exe' -o -name '*.dll' \) -print0)
# A system without SetDefaultDllDirectories must still start the installer: it is looked up.
x86_64-w64-mingw32-objdump -p "$PACKAGE_DIR/drv/zqvinst64.exe" | grep -q SetDefaultDllDirectories &&
  fail "zqvinst64.exe imports SetDefaultDllDirectories"
[ "$found" -gt 0 ] || fail "no binaries in $PACKAGE_DIR"
