# Helpers for the checks that run the Windows build under Wine. Sourced by run.sh and checks.
#
# One template prefix is made per test run; each check copies it (about a second) into its own
# throwaway prefix and ends that prefix's wineserver when it is done.

WINE_ROOT=${WINE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
PACKAGE_DIR=${PACKAGE_DIR:-$WINE_ROOT/build/win64/package}
WINE_WORK=${WINE_WORK:-$WINE_ROOT/build/wine}
ARTIFACTS=${ARTIFACTS:-$WINE_ROOT/build/artifacts}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_make_template() {
  local template=$WINE_WORK/template
  [ -f "$template/.ready" ] && return 0
  rm -rf "$template"
  mkdir -p "$WINE_WORK"
  WINEPREFIX=$template wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  touch "$template/.ready"
}

# Makes a fresh prefix for one check and exports WINEPREFIX.
wine_new_prefix() {
  local name=$1
  export WINEPREFIX=$WINE_WORK/prefixes/$name
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINE_WORK/prefixes"
  cp -a "$WINE_WORK/template" "$WINEPREFIX"
  rm -f "$WINEPREFIX/.ready"
}

# Copies the package into the prefix's C:\vexa and sets PACKAGE_IN_PREFIX (Unix path).
wine_install_package() {
  PACKAGE_IN_PREFIX=$WINEPREFIX/drive_c/vexa
  mkdir -p "$PACKAGE_IN_PREFIX"
  cp -a "$PACKAGE_DIR/." "$PACKAGE_IN_PREFIX/"
}

# Runs a Windows program in the current prefix and prints nothing of Wine's own noise;
# returns the program's exit code.
wine_run() {
  wine "$@" 2> >(grep -v -e 'wine32 is missing' -e 'syswow64' >&2)
}

wine_end() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${WINEPREFIX:-}" ] && wineserver -w >/dev/null 2>&1 || true
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

expect_eq() {  # expect_eq actual expected what
  [ "$1" = "$2" ] || fail "$3: got '$1', expected '$2'"
}

TOOLS_DIR=${TOOLS_DIR:-$WINE_ROOT/build/win64/wine-tools}
WINE_BUILTIN_DIR=${WINE_BUILTIN_DIR:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
SPOOL_INSPECT='C:\tools\spool_inspect.exe'

# Makes Wine's spooler behave as Windows documents it where Wine 8.0 lacks a feature (null data
# type, DPD_DELETE_ALL_FILES, purge): the test-only forwarding winspool.drv goes into the prefix's
# system directory, Wine's own builtin beside it as winspool_wine.dll (the forwards' target), and
# the override makes the native one load first.
wine_use_forwarder() {
  local system32=$WINEPREFIX/drive_c/windows/system32
  [ -f "$TOOLS_DIR/winspool.drv" ] || fail "the winspool.drv forwarder is not built"
  if [ -f "$WINE_BUILTIN_DIR/winspool.drv" ]; then
    cp "$WINE_BUILTIN_DIR/winspool.drv" "$system32/winspool_wine.dll"
  else
    cp "$system32/winspool.drv" "$system32/winspool_wine.dll"
  fi
  cp "$TOOLS_DIR/winspool.drv" "$system32/winspool.drv"
  wine reg add 'HKCU\Software\Wine\DllOverrides' /v winspool.drv /d native,builtin /f \
    >/dev/null 2>&1 || fail "could not set the winspool.drv override"
}

# Copies spool_inspect.exe into C:\tools, apart from the package.
wine_install_tools() {
  [ -f "$TOOLS_DIR/spool_inspect.exe" ] || fail "spool_inspect.exe is not built"
  mkdir -p "$WINEPREFIX/drive_c/tools"
  cp "$TOOLS_DIR/spool_inspect.exe" "$WINEPREFIX/drive_c/tools/"
}

# Runs spool_inspect.exe with its verbs; its output with Unix line ends.
spool_inspect() {
  wine_run "$SPOOL_INSPECT" "$@" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# The "state" lines of spool_inspect whose first field is $1, e.g. spool_state printer.
spool_state() {
  grep "^$1|" <<<"$STATE" || true
}

# Reads the state into STATE once, for several spool_state and expect_line calls.
read_state() {
  STATE=$(spool_inspect state) || fail "spool_inspect state failed"
}

expect_line() {  # expect_line line what: the state holds exactly this line
  grep -qxF -- "$1" <<<"$STATE" || fail "$2: no line '$1' in
$STATE"
}

expect_no_line() {  # expect_no_line pattern what: no state line matches the regular expression
  grep -q -- "$1" <<<"$STATE" && fail "$2: unexpected '$(grep -- "$1" <<<"$STATE")'"
  return 0
}

# Puts the pieces of an installation in place as the installer leaves them, without running it:
# the monitor "vexaWriter:" with its DLL in the system directory, the driver "vexaWriter printer"
# from the package's stand-ins, the printers given as spool_inspect add-printer arguments (each a
# single string of words, e.g. "'vexaWriter' 'vexaWriter:' subkey=a"), and the tray companion
# registered in the Run key and running. Another driver "Other printer" and its printer "Office"
# on LPT1: stand for what is not ours.
stage_installation() {
  local drive=$WINEPREFIX/drive_c
  cp "$PACKAGE_IN_PREFIX/drv/zqvmon64.dll" "$drive/windows/system32/"
  mkdir -p "$drive/other"
  cp "$PACKAGE_IN_PREFIX/drv/zqvdrv64.dll" "$drive/other/othdrv.dll"
  cp "$PACKAGE_IN_PREFIX/drv/zqvui64.dll" "$drive/other/othui.dll"
  local verbs=(add-monitor "vexaWriter:" zqvmon64.dll
    + add-driver "vexaWriter printer" 'C:\vexa\drv\zqvdrv64.dll' 'C:\vexa\drv\zqvui64.dll'
    'C:\vexa\drv\zqvhelp.chm'
    + add-driver "Other printer" 'C:\other\othdrv.dll' 'C:\other\othui.dll'
    + add-printer Office LPT1: "Other printer" comment=Desk
    + run-value 'C:\vexa\vextray.exe' + start 'C:\vexa\vextray.exe')
  local printer
  for printer in "$@"; do
    eval "verbs+=(+ add-printer $printer)"
  done
  spool_inspect "${verbs[@]}" || fail "staging the installation failed"
}
