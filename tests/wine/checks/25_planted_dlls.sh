#!/usr/bin/env bash
# DLLs planted beside the installer under the names of system DLLs it uses (version.dll,
# winspool.drv), with the load order that makes Wine prefer such copies, are never loaded by
# it, while every mode answers with the exit code it gives without them.
#
# Two prefixes run the same sequence of modes, one clean and one with the planted DLLs; the
# exit codes must match and no planted DLL may leave its marker. A probe that loads the names
# without care first shows that the planted copies are in effect.
source "$(dirname "$0")/../lib.sh"
unset DISPLAY
TOOLS_DIR=${TOOLS_DIR:-$WINE_ROOT/build/win64/wine-tools}
planted_names=(version.dll winspool.drv)
for name in "${planted_names[@]}"; do
  [ -f "$TOOLS_DIR/planted/$name" ] || fail "planted $name not built"
done

# Neither name is imported at start: the loader would take it before the program's first line.
imports=$(x86_64-w64-mingw32-objdump -p "$PACKAGE_DIR/drv/zqvinst64.exe" |
  sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
for name in "${planted_names[@]}"; do
  grep -qx "$name" <<<"$imports" && fail "zqvinst64.exe imports $name at start"
done

modes=(nosuchmode def.set onChkDrv OnInit Un in_notray onChkDrv def.set OnInit removetray
       install uninstall)
overrides="$WINEDLLOVERRIDES;version,winspool.drv=native,builtin"

markers() {  # markers folder: the marker files the planted DLLs left there
  find "$1" -maxdepth 1 -iname '*.loaded' -printf '%f\n'
}

run_modes() {  # run_modes prefix-name planted(0|1): prints one exit code per mode
  wine_new_prefix "$1"
  wine_install_package
  local drv=$PACKAGE_IN_PREFIX/drv
  if [ "$2" = 1 ]; then
    for name in "${planted_names[@]}"; do cp "$TOOLS_DIR/planted/$name" "$drv/"; done
    cp "$TOOLS_DIR/planted_probe.exe" "$drv/"
    WINEDLLOVERRIDES=$overrides wine "$drv/planted_probe.exe" "${planted_names[@]}" 2>/dev/null
    [ $? -eq 0 ] || fail "the probe could not load the planted DLLs"
    [ "$(markers "$drv" | wc -l)" -eq ${#planted_names[@]} ] ||
      fail "the planted DLLs are not in effect: $(markers "$drv" | paste -sd' ')"
    rm -f "$drv"/*.loaded "$drv"/*.LOADED "$drv/planted_probe.exe"
  fi
  local mode code
  for mode in "${modes[@]}"; do
    WINEDLLOVERRIDES=$overrides timeout 120 wine "$drv/zqvinst64.exe" "$mode" >/dev/null 2>&1
    code=$?
    [ -z "$(markers "$drv")" ] ||
      fail "zqvinst64 $mode loaded the planted $(markers "$drv" | paste -sd' ')"
    echo "$mode=$code"
  done
  wine_end
}

trap wine_end EXIT
clean=$(run_modes 25_planted_dlls_clean 0) || exit 1
planted=$(run_modes 25_planted_dlls 1) || exit 1
echo "without planted DLLs: $(paste -sd' ' <<<"$clean")"
echo "with planted DLLs:    $(paste -sd' ' <<<"$planted")"
[ "$clean" = "$planted" ] || fail "the planted DLLs changed the exit codes"
