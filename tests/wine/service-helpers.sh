# Shared by the service scenarios' setup.sh and before-run.sh, sourced after
# lib.sh: puts the test service into the prefix, creates services with Wine's
# sc, and starts them in the session the cleaner will run in. WINEPREFIX and
# KORVEX_EXE come from run-scenario.sh; the helper programs are built beside
# the cleaner.

korvex_programs=$(dirname "$KORVEX_EXE")/tests/wine/programs

# install_test_programs: copies the helper programs to C:\korvex-test, so that
# the services' binary paths do not depend on the build tree.
install_test_programs() {
  local program
  mkdir -p "$WINEPREFIX/drive_c/korvex-test"
  for program in test_service.exe hold_session.exe; do
    [ -f "$korvex_programs/$program" ] || die "no $program in $korvex_programs: build the win-x64 preset"
    cp "$korvex_programs/$program" "$WINEPREFIX/drive_c/korvex-test/"
  done
}

# create_test_service NAME MODE [MILLISECONDS]: a service NAME run by the test
# service in MODE (see tests/wine/programs/test_service.cpp), demand start.
# Made once more when the first wine call fails, as an early call in a fresh
# session once did (a service the first call did create would make the second
# fail, and the scenario with it).
create_test_service() {
  local name=$1; shift
  wine_retry "$WINEPREFIX" "sc create $name" sc create "$name" binPath= "C:\\korvex-test\\test_service.exe $*"
}

# create_driver_service NAME: a kernel driver service, demand start, never
# started: its binary does not exist.
create_driver_service() {
  wine_retry "$WINEPREFIX" "sc create $1" sc create "$1" type= kernel binPath= "System32\\drivers\\$1.sys"
}

# start_services NAME...: holds the session open until the cleaner has run
# (Wine stops every service when the last ordinary process ends), starts each
# service and checks that each is running. The hold ends when the runner
# creates C:\korvex-run-done after the run (end_run in lib.sh); its own bound
# is longer than any run, and its wine call is bounded a little beyond that.
start_services() {
  local held=$WINEPREFIX/drive_c/korvex-test/session-held hold_seconds=900 name commands="" output running
  rm -f "$held"
  (WINEPREFIX=$WINEPREFIX timeout -k 10 $((hold_seconds + 60)) wine 'C:\korvex-test\hold_session.exe' \
     'C:\korvex-test\session-held' 'C:\korvex-run-done' "$hold_seconds" >/dev/null 2>&1 &)
  until_true "$KORVEX_WINE_TIMEOUT" test -f "$held" || die "hold_session.exe did not start within $KORVEX_WINE_TIMEOUT s"
  for name in "$@"; do commands+="sc start $name >nul & "; done
  for name in "$@"; do commands+="sc query $name & "; done
  output=$(wine_in "$WINEPREFIX" cmd /c "${commands% & }" 2>/dev/null | tr -d '\r')
  running=$(grep -c 'STATE *: 4 *RUNNING' <<< "$output" || true)
  [ "$running" -eq $# ] || die "only $running of $# services running: $output"
}
