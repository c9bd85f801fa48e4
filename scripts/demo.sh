#!/usr/bin/env bash
# The main job: builds the Windows package and runs the installer in a throwaway Wine prefix as a
# user would meet it: install, the queries, "def.set", a job printed to the new printer, a
# reinstall over a printer with its own settings, and uninstall. After each step it prints the exit code and what the spooler, the Run
# key and the tray companion hold, and the log window's text where one came up.
#
# Wine 8.0's spooler lacks three features the installer relies on (a printer added without a data
# type, deleting a driver with its files, purging a queue); the test-only forwarding winspool.drv
# (tests/wine/winspool_forwarder) gives Windows' answers for those, as in the Wine checks.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" || exit 1
"$root/scripts/build.sh" win64 || exit 1
source "$root/tests/wine/lib.sh"

wine_start_display  # the log window needs a screen, even one nobody sees
finish() {
  wine_end
  [ -n "${KEEP_PREFIXES:-}" ] || rm -rf "${WINEPREFIX:-/nonexistent}"
  wine_stop_display
}
trap finish EXIT

wine_make_template
wine_new_prefix demo
wine_start_session
wine_install_package
wine_install_tools
wine_use_forwarder

# The state as a short table: our monitor and driver, every printer with its port, driver and
# settings key, the default printer and the tray companion.
show_state() {
  read_state
  local monitor driver
  monitor=$(spool_state monitor | cut -d'|' -f2 | grep -xF 'vexaWriter:' || echo none)
  driver=$(spool_state driver | cut -d'|' -f2 | grep -xF 'vexaWriter printer' || echo none)
  printf '    %-18s %s\n' "port monitor:" "$monitor" "printer driver:" "$driver"
  spool_state printer | awk -F'|' '{printf "    %-18s %s on %s (%s)%s%s\n", "printer:", $2, $3, $4,
    ($5 != "" ? ", comment \"" $5 "\"" : ""), ($8 != "" ? ", settings key " $8 : "")}'
  printf '    %-18s %s\n' "default printer:" "$(spool_state default | cut -d'|' -f2- | sed 's/^$/none/')"
  printf '    %-18s %s, %s\n' "tray companion:" \
    "$(spool_state run | cut -d'|' -f2 | sed 's/^-$/not registered/;s/^[A-Z]:/registered as &/')" \
    "$(spool_state tray | grep -q 'mutex=1' && echo running || echo not running)"
}
step() {  # step arguments...: runs the installer and shows what it did
  echo
  run_installer "$@"
  if [ "$LOG_SHOWN" = 1 ]; then
    echo "    log window \"$LOG_TITLE\":"
    sed 's/^/      | /' <<<"$LOG_TEXT"
  fi
}

echo "before:"
show_state
step install
wait_for_tray "tray|mutex=1|window=1"
show_state
step onChkDrv
step onInit
step def.set
show_state
step onInit

echo
echo "a job printed to the printer \"vexaWriter\" from another program:"
cp "$TOOLS_DIR/print_job.exe" "$WINEPREFIX/drive_c/tools/"
# Wine finds a port's monitor only by this key, which a monitor registers itself on Windows.
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\vexaWriter:\Ports\vexaWriter:' \
  /f >/dev/null 2>&1
job_text="Hello from the vexaWriter demo, $(date -u '+%Y-%m-%d %H:%M')"
wine 'C:\tools\print_job.exe' vexaWriter "$job_text" </dev/null >/dev/null 2>&1
job=$WINEPREFIX/drive_c/ProgramData/vexaWriter/jobs/job-0001.prn
if [ -f "$job" ]; then
  echo "    landed in C:\ProgramData\vexaWriter\jobs\job-0001.prn: \"$(cat "$job")\""
else
  echo "    the job did not arrive"
fi

echo
echo "the printer gets a settings key, a comment and a location, as the product's own tools give it:"
spool_inspect delete-printer vexaWriter + add-printer vexaWriter vexaWriter: 'vexaWriter printer' \
  comment='Front desk' location='Room 1' subkey=demo-key + set-default vexaWriter >/dev/null ||
  echo "    (staging the settings failed)"
show_state
step install
wait_for_tray "tray|mutex=1|window=1"
show_state
step uninstall
show_state
[ -f "${job:-}" ] && echo "the printed job stays where it landed: C:\ProgramData\vexaWriter\jobs\job-0001.prn"
