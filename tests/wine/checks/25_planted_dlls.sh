#!/usr/bin/env bash
# DLLs planted beside the installer under the names of system DLLs it uses (version.dll,
# winspool.drv), with the load order that makes Wine prefer such copies, are never loaded by
# it, while every mode answers as it does without them.
#
# Two prefixes with the spooler forwarder (so that installs succeed as on Windows) run the same
# sequence of modes, one clean and one with the planted DLLs; exit codes and log windows must
# match, and no planted DLL may leave its marker. A probe that loads the names without care
# first shows that the planted copies are in effect.
source "$(dirname "$0")/../lib.sh"
[ -n "${DISPLAY:-}" ] || fail "needs a display (run.sh starts Xvfb)"
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
       install onChkDrv uninstall)
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;version,winspool.drv=native,builtin"

markers() {  # markers folder: the marker files the planted DLLs left there
  find "$1" -maxdepth 1 -iname '*.loaded' -printf '%f\n'
}

run_modes() {  # run_modes prefix-name planted(0|1) results-file
  wine_new_prefix "$1"
  wine_start_session
  wine_install_package
  wine_install_tools
  wine_use_forwarder
  local drv=$PACKAGE_IN_PREFIX/drv
  if [ "$2" = 1 ]; then
    for name in "${planted_names[@]}"; do cp "$TOOLS_DIR/planted/$name" "$drv/"; done
    cp "$TOOLS_DIR/planted_probe.exe" "$drv/"
    wine "$drv/planted_probe.exe" "${planted_names[@]}" >/dev/null 2>&1 </dev/null ||
      fail "the probe could not load the planted DLLs"
    [ "$(markers "$drv" | wc -l)" -eq ${#planted_names[@]} ] ||
      fail "the planted DLLs are not in effect: $(markers "$drv" | paste -sd' ')"
    find "$drv" -maxdepth 1 -iname '*.loaded' -delete
    rm -f "$drv/planted_probe.exe"
  fi
  : >"$3"
  local mode
  for mode in "${modes[@]}"; do
    run_installer "$mode"
    [ -z "$(markers "$drv")" ] ||
      fail "zqvinst64 $mode loaded the planted $(markers "$drv" | paste -sd' ')"
    echo "$mode=$INSTALLER_RC/$LOG_SHOWN" >>"$3"
  done
  wine_end
}

trap wine_end EXIT
results=$ARTIFACTS/25_planted_dlls
mkdir -p "$ARTIFACTS"
run_modes 25_planted_dlls_clean 0 "$results.clean.txt"
run_modes 25_planted_dlls 1 "$results.planted.txt"
echo "without planted DLLs (exit code/log window): $(paste -sd' ' "$results.clean.txt")"
echo "with planted DLLs:                           $(paste -sd' ' "$results.planted.txt")"
cmp -s "$results.clean.txt" "$results.planted.txt" || fail "the planted DLLs changed the outcomes"
grep -qx 'install=1/0' "$results.planted.txt" || fail "the install did not succeed"
