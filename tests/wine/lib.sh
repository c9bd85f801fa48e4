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

# Runs one Windows command line (taken as is: no quoting is added) through a batch file in the
# current prefix, waits for it, also for a program without a console, and prints its full exit
# code, which the Unix exit status would cut to 8 bits. The code goes through a file: a program
# it leaves running (the tray companion) would hold a pipe open.
wine_exit_code() {
  local drive=$WINEPREFIX/drive_c
  rm -f "$drive/exit_code.txt"
  # A digit right before ">" would name a stream, hence the word and the space.
  printf '@%s\r\n@echo code %%ERRORLEVEL%% >C:\\exit_code.txt\r\n' "$1" >"$drive/exit_code.bat"
  wine cmd /c 'C:\exit_code.bat' </dev/null >/dev/null 2>&1
  tr -d '\r' <"$drive/exit_code.txt" 2>/dev/null | sed -n 's/^code \([-0-9]*\) *$/\1/p'
}
