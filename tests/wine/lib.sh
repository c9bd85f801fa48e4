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

# Starts an Xvfb display on the first free number when none is set, and exports DISPLAY; the
# caller stops it with wine_stop_display.
wine_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 130); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_XVFB_PID=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
}

wine_stop_display() {
  [ -n "${WINE_XVFB_PID:-}" ] && kill "$WINE_XVFB_PID" 2>/dev/null
  return 0
}

TOOLS_DIR=${TOOLS_DIR:-$WINE_ROOT/build/win64/wine-tools}
WINE_BUILTIN_DIR=${WINE_BUILTIN_DIR:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
SPOOL_INSPECT='C:\tools\spool_inspect.exe'

# Makes Wine's spooler behave as Windows documents it where Wine 8.0 lacks a feature (null data
# type, DPD_DELETE_ALL_FILES, purge): the test-only forwarding winspool.drv goes into the prefix's
# system directory, Wine's own builtin beside it as winspool_wine.dll (the forwards' target), and
# the override makes the native one load first. Call wine_install_tools first, and the forwarder is
# also proved to be the one loaded.
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
  if [ -f "$WINEPREFIX/drive_c/tools/spool_inspect.exe" ]; then
    spool_inspect state | grep -qxF 'forwarder|1' || fail "the winspool.drv forwarder is not loaded"
  fi
}

# Starts the prefix's wineserver and Wine's own background programs with no pipe of the check
# attached, and keeps them until wine_end: a background program started by a call inside $(...)
# would hold that pipe open and make the caller wait until it quits.
wine_start_session() {
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
}

# Copies spool_inspect.exe into C:\tools, apart from the package.
wine_install_tools() {
  [ -f "$TOOLS_DIR/spool_inspect.exe" ] || fail "spool_inspect.exe is not built"
  mkdir -p "$WINEPREFIX/drive_c/tools"
  cp "$TOOLS_DIR/spool_inspect.exe" "$WINEPREFIX/drive_c/tools/"
}

# Runs spool_inspect.exe with its verbs; its output and errors with Unix line ends. Wine hands
# its standard error to every process it starts (a companion started by a verb included), so
# the errors go through a file rather than a pipe that would stay open while such a process runs.
spool_inspect() {
  local errors=$WINEPREFIX.errors status
  wine "$SPOOL_INSPECT" "$@" 2>"$errors" | tr -d '\r'
  status=${PIPESTATUS[0]}
  grep -v -e 'wine32 is missing' -e 'syswow64' -e multiarch -e 'dpkg --add-architecture' \
    -e 'apt-get install wine32' "$errors" | tr -d '\r' >&2
  return "$status"
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

# Runs the installer (C:\vexa\drv\zqvinst64.exe) with the given arguments and waits for it;
# sets INSTALLER_RC. A log window that comes up meanwhile is read (LOG_TITLE, LOG_TEXT; saved
# with a screenshot in the artifacts as $1-N) and closed, and LOG_SHOWN is 1; else LOG_SHOWN
# is 0. Needs a display.
run_installer() {
  local out=$WINEPREFIX/drive_c/out
  RUN_COUNT=$((${RUN_COUNT:-0} + 1))
  local artifact=$ARTIFACTS/$(basename "$WINEPREFIX")-$RUN_COUNT-$1
  rm -rf "$out"
  mkdir -p "$out" "$WINEPREFIX/drive_c/tools" "$ARTIFACTS"
  cp "$TOOLS_DIR/log_window_probe.exe" "$WINEPREFIX/drive_c/tools/"
  LOG_SHOWN=0
  LOG_TITLE=
  LOG_TEXT=
  timeout 300 wine 'C:\vexa\drv\zqvinst64.exe' "$@" >/dev/null 2>&1 &
  local installer=$!
  wine 'C:\tools\log_window_probe.exe' wait 'C:\out' 300 >/dev/null 2>&1 &
  local probe=$!
  local finished=
  wait -n -p finished "$installer" "$probe"
  local status=$?
  if [ "$finished" = "$probe" ] && [ "$status" = 0 ]; then
    LOG_SHOWN=1
    LOG_TITLE=$(cat "$out/title.txt")
    LOG_TEXT=$(tr -d '\r' <"$out/text.txt")
    printf '%s\n%s\n' "$LOG_TITLE" "$LOG_TEXT" >"$artifact.log.txt"
    import -window root "$artifact.png" >/dev/null 2>&1 || true
    wine 'C:\tools\log_window_probe.exe' close >/dev/null 2>&1
  elif [ "$finished" != "$probe" ]; then
    kill "$probe" 2>/dev/null
    wait "$probe" 2>/dev/null
  fi
  wait "$installer"
  INSTALLER_RC=$?
  echo "zqvinst64 $* -> $INSTALLER_RC (log window shown: $LOG_SHOWN)"
}

# Fails unless the last run ended with the exit code and without a log window; the log text of an
# unexpected window is part of the failure.
# Fails unless the last run showed its error log window, ended with 100, and reported exactly one
# error, whose line matches the pattern (a grep -x pattern after the indentation).
expect_error_run() {  # expect_error_run pattern what
  [ "$LOG_SHOWN" = 1 ] || fail "$2: no log window"
  expect_eq "$INSTALLER_RC" 100 "$2: exit code"
  expect_eq "$LOG_TITLE" "vexaWriter build 2609- Install error log!" "$2: log window title"
  echo "$LOG_TEXT"
  grep -qx " *$1" <<<"$LOG_TEXT" || fail "$2: no line '$1'"
  expect_eq "$(grep -c '^ *Error(' <<<"$LOG_TEXT")" 1 "$2: number of error lines"
}

expect_run() {  # expect_run code what
  [ "$LOG_SHOWN" = 0 ] || fail "$2: a log window came up: $LOG_TITLE
$LOG_TEXT"
  expect_eq "$INSTALLER_RC" "$1" "$2: exit code"
}

# The files of an installation, by their Unix paths in the prefix.
PRODUCT_FILES=(windows/system32/zqvmon64.dll windows/system32/spool/drivers/x64/3/zqvdrv64.dll
  windows/system32/spool/drivers/x64/3/zqvui64.dll windows/system32/spool/drivers/x64/3/zqvhelp.chm)

expect_files() {  # expect_files present|absent what files... (relative to drive_c)
  local want=$1 what=$2 file
  shift 2
  for file in "$@"; do
    if [ "$want" = present ]; then
      [ -e "$WINEPREFIX/drive_c/$file" ] || fail "$what: $file is missing"
    else
      [ -e "$WINEPREFIX/drive_c/$file" ] && fail "$what: $file is still there"
    fi
  done
  return 0
}

# Waits up to 10 s for the tray line of the state to read as given, then reads the state.
wait_for_tray() {  # wait_for_tray "tray|mutex=1|window=1"
  for _ in $(seq 1 20); do
    read_state
    grep -qxF "$1" <<<"$STATE" && return 0
    sleep 0.5
  done
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
