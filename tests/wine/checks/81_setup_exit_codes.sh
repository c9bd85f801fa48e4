#!/usr/bin/env bash
# How the setup program acts on each exit code of the installer: a setup made from the same
# script around a scripted stand-in for zqvinst64.exe (it answers what SCRIPTED_<mode> says and
# logs each mode with its working directory), run silently with the display on, so that a
# message box shown despite /S would wait until the timeout.
source "$(dirname "$0")/../lib.sh"
if ! command -v makensis >/dev/null; then
  echo "skipped: makensis is not installed"
  exit 0
fi
[ -f "$TOOLS_DIR/scripted_installer.exe" ] || fail "scripted_installer.exe not built"
package=$WINE_WORK/scripted_package
rm -rf "$package"
cp -a "$PACKAGE_DIR" "$package"
cp "$TOOLS_DIR/scripted_installer.exe" "$package/drv/zqvinst64.exe"
wine_new_prefix 81_setup_exit_codes
trap wine_end EXIT
mkdir -p "$WINEPREFIX/drive_c/setup"
makensis -V1 -DPACKAGE_DIR="$package" -DVERSION=1.0.0 -DOUTFILE="$WINEPREFIX/drive_c/setup/setup.exe" \
  "$WINE_ROOT/setup/vexaWriter.nsi" || fail "makensis failed"

unix_dir="$WINEPREFIX/drive_c/Program Files/vexaWriter"
scripted_log="$WINEPREFIX/drive_c/scripted.log"
# The modes the stand-in was run with since the last step, joined by commas.
modes() { tr -d '\r' <"$scripted_log" 2>/dev/null | cut -d' ' -f1 | paste -sd, -; }
# The working directories it was started in, without repeats.
directories() { tr -d '\r' <"$scripted_log" 2>/dev/null | cut -d' ' -f2- | sort -u; }
installed() {
  [ -f "$unix_dir/uninstall.exe" ] && [ -f "$unix_dir/vextray.exe" ] &&
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vexaWriter' \
      </dev/null >/dev/null 2>&1 && echo yes || echo no
}

# Each line: the setup or its uninstaller, the installer's answer, the setup's exit code, the
# modes run, whether the product is still in place afterwards.
while read -r step code expected_rc expected_modes expected_installed; do
  rm -f "$scripted_log"
  if [ "$step" = install ]; then
    rc=$(SCRIPTED_install=$code SCRIPTED_removetray=6 wine_exit_code 'C:\setup\setup.exe /S')
  else
    # As the uninstaller does itself: a copy outside the folder, told the folder by "_?=".
    cp "$unix_dir/uninstall.exe" "$WINEPREFIX/drive_c/windows/temp/un.exe"
    rc=$(SCRIPTED_uninstall=$code wine_exit_code \
      'C:\windows\temp\un.exe /S _?=C:\Program Files\vexaWriter')
  fi
  echo "$step answering $code: setup exit code $rc; ran $(modes); installed $(installed)"
  expect_eq "$rc" "$expected_rc" "setup exit code, $step answering $code"
  expect_eq "$(modes)" "$expected_modes" "modes run, $step answering $code"
  expect_eq "$(directories)" 'C:\Program Files\vexaWriter' "the installer's working directory"
  expect_eq "$(installed)" "$expected_installed" "installed after $step answering $code"
done <<'STEPS'
install 100 100 install yes
install 7 7 removetray,install yes
install 0 2 removetray,install yes
install 101 3010 removetray,install yes
install 1 0 removetray,install yes
uninstall 100 100 uninstall yes
uninstall 7 7 uninstall yes
uninstall 101 3010 uninstall no
install 1 0 install yes
uninstall 2 0 uninstall no
STEPS
[ -e "$unix_dir" ] && fail "the program folder is still there"
echo "setup exit codes: ok"
