#!/usr/bin/env bash
# Runs one end-to-end scenario: the cleaner under 64-bit Wine on a throwaway
# prefix, checking its console bytes, its exit code, its standard error (empty
# unless the scenario says otherwise), the log it was asked to keep, and the
# registry it leaves. How to add a scenario: tests/wine/README.md.
#
#   run-scenario.sh SCENARIO_DIR
#
# Environment:
#   KORVEX_EXE            the win-x64 korvex-cleaner.exe (required)
#   KORVEX_WINE_TEMPLATE  a prefix made by make-template.sh (required)
#   KORVEX_WINE_WORK      where the scenario's prefixes go (default: TMPDIR)
#   KORVEX_WINE_KEEP=1    keep the prefixes and outputs for a look afterwards
#   KORVEX_TITLE_WATCH    title_watch.exe: run the cleaner under it, in a console
#                         of its own, and check the titles that console showed
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

scenario=$(cd "${1:?usage: run-scenario.sh SCENARIO_DIR}" && pwd)
name=$(basename "$scenario")
exe=${KORVEX_EXE:?set KORVEX_EXE to the win-x64 korvex-cleaner.exe}
template=${KORVEX_WINE_TEMPLATE:?set KORVEX_WINE_TEMPLATE to a prefix made by make-template.sh}
[ -f "$exe" ] || die "no executable at $exe: build the win-x64 preset first"
[ -f "$template/system.reg" ] || die "no Wine prefix template at $template"
[ -f "$scenario/expected-stdout.txt" ] || die "$name has no expected-stdout.txt"
# win32 for the 32-bit prefixes of the x86 scenarios, else win64: what only
# a 64-bit prefix has is expected there alone ("@win64", expected-changes-win64.reg).
prefix_arch=win64
grep -qx '#arch=win32' "$template/system.reg" && prefix_arch=win32

work=$(make_work_dir "$name")
actual=$work/actual-prefix
expected=$work/expected-prefix

cleanup() {
  wine_kill "$actual"
  wine_kill "$expected"
  remove_work_dir "$work"
}
trap cleanup EXIT

seconds() { date +%s.%N; }
elapsed() { awk -v to="$1" -v from="$2" 'BEGIN { printf "%.1f", to - from }'; }
started=$(seconds)

# Seeding: the shared fixtures the scenario names, then its own seed*.reg,
# then its setup script.
seeds=()
if [ -f "$scenario/fixtures" ]; then
  while read -r fixture; do
    [ -n "$fixture" ] && [ "${fixture:0:1}" != "#" ] || continue
    [ -f "$here/fixtures/$fixture" ] || die "$name: no fixture $fixture in tests/wine/fixtures"
    seeds+=("$here/fixtures/$fixture")
  done < "$scenario/fixtures"
fi
for seed in "$scenario"/seed*.reg; do
  [ -f "$seed" ] && seeds+=("$seed")
done

copy_prefix "$template" "$actual"
import_reg "$actual" "${seeds[@]}"
if [ -f "$scenario/setup.sh" ]; then
  WINEPREFIX=$actual SCENARIO_DIR=$scenario FIXTURES_DIR=$here/fixtures \
    timeout -k 10 600 bash "$scenario/setup.sh" || die "$name: setup.sh failed"
fi
wine_stop "$actual" "after the seeding"

# The expected end state: the seeded prefix with expected-changes.reg applied.
# Its exports are taken in the background while the cleaner runs.
copy_prefix "$actual" "$expected"
(
  [ -s "$scenario/expected-changes.reg" ] && import_reg "$expected" "$scenario/expected-changes.reg"
  [ "$prefix_arch" != win64 ] || [ ! -s "$scenario/expected-changes-win64.reg" ] ||
    import_reg "$expected" "$scenario/expected-changes-win64.reg"
  export_roots "$expected" "$work/expected-registry"
  wine_stop "$expected" "after the expected side's export"
) > "$work/expected-side.log" 2>&1 &
expected_side=$!
seeded=$(seconds)

# A scenario that checks a /scan listing or a /backup file against the
# registry keeps the seeded registry's export, before before-run.sh plants
# what reg export could not follow.
if [ -f "$scenario/preview" ] || [ -f "$scenario/undo" ]; then
  export_roots "$actual" "$work/seeded-registry"
  wine_stop "$actual" "after the seeded export"
fi

if [ -f "$scenario/before-run.sh" ]; then
  WINEPREFIX=$actual SCENARIO_DIR=$scenario FIXTURES_DIR=$here/fixtures \
    timeout -k 10 600 bash "$scenario/before-run.sh" || die "$name: before-run.sh failed"
fi

# A run with arguments goes through exit_code.exe, which writes down the
# cleaner's whole exit code: the shell sees only its lowest 8 bits. A run
# without arguments is started as always.
exit_code_exe=$(dirname "$exe")/tests/wine/programs/exit_code.exe
exit_code_file=$actual/drive_c/korvex-exit-code.txt

# hold_run_session RUN: every run of the cleaner starts into a session that
# this runner already holds, with hold_session.exe, until end_run releases it.
# Two things follow. The run's standard error holds only what the cleaner and
# exit_code.exe wrote: Wine's own processes (services.exe, winedevice.exe)
# write to the standard error of the program that started the session, and
# one of them once reported its own crash there as the session ended, after
# the cleaner had exited with the right code. And the cleaner never meets a
# wineserver on its way out: a session that a setup step left to end by
# itself once refused the cleaner's connection ("wine client error:0: recvmsg:
# Connection reset by peer", thread 0: before any of its code ran). The
# holder, whose start meets the same, is started again once if it ended
# without saying it was ready; what Wine's own processes wrote stays in
# session-RUN.log, and a crash among them is named.
session_holder=$(dirname "$exe")/tests/wine/programs/hold_session.exe
session_ready=$actual/drive_c/korvex-session-held
holder_pid=""
holder_settled() { [ -f "$session_ready" ] || ! kill -0 "$holder_pid" 2>/dev/null; }
hold_run_session() {
  local log=$work/session-$1.log attempt
  [ -f "$session_holder" ] || die "no hold_session.exe at $session_holder: build the win-x64 preset"
  for attempt in 1 2; do
    rm -f "$session_ready"
    # Its own bound is longer than any run, and its wine call a little longer.
    (WINEPREFIX=$actual timeout -k 10 $((2 * KORVEX_WINE_TIMEOUT + 60)) wine "$(windows_path "$session_holder")" \
       'C:\korvex-session-held' 'C:\korvex-run-done' $((2 * KORVEX_WINE_TIMEOUT)) >>"$log" 2>&1) &
    holder_pid=$!
    until_true "$KORVEX_WINE_TIMEOUT" holder_settled ||
      die "hold_session.exe neither started nor ended within $KORVEX_WINE_TIMEOUT s"
    [ -f "$session_ready" ] && return 0
    [ "$attempt" = 1 ] || die "hold_session.exe did not start twice, before run $1: $(tr '\n' ' ' < "$log")"
    wine_stop "$actual" "after hold_session.exe did not start"
    echo "note: hold_session.exe did not start before run $1 ($(tr '\n' ' ' < "$log")), and started when run again"
  done
}
# release_run_session RUN: after end_run, the holder has exited; a crash that
# Wine's own processes reported in that session is named, not failed: the
# cleaner's own crash is on its standard error and changes its exit code.
release_run_session() {
  wait "$holder_pid" 2>/dev/null || true
  if grep -q "Unhandled" "$work/session-$1.log" 2>/dev/null; then
    echo "[$name] run $1: a process of Wine's own crashed in the run's session:"
    grep "Unhandled" "$work/session-$1.log" | sed 's/^/  /'
  fi
}

# run_file BASE RUN: the scenario's file for that run (BASE for run 1,
# BASE-RUN otherwise; "expected-stderr.txt" gives "expected-stderr-2.txt").
run_file() {
  local base=$1 run=$2
  if [ "$run" = 1 ]; then echo "$scenario/$base"; return; fi
  case $base in
    *.txt) echo "$scenario/${base%.txt}-$run.txt" ;;
    *) echo "$scenario/$base-$run" ;;
  esac
}

# expected-stdout.txt is written with "\n"; the console report in text mode
# has "\r\n". A line "@include NAME" stands for tests/wine/expected-parts/NAME,
# itself expanded; NAME may lead to another scenario's report
# ("../scenarios/footprint/expected-stdout.txt"), which a run with arguments
# must repeat byte for byte. A line "@win64 NAME" does the same on a 64-bit
# prefix only, for what only a 64-bit prefix has (its Wow6432Node links), and
# stands for nothing on a 32-bit one (the x86 scenarios).
expand_lines() {
  local line
  while IFS= read -r line || [ -n "$line" ]; do
    if [[ $line =~ ^@include\ (.+)$ ]] || { [ "$prefix_arch" = win64 ] && [[ $line =~ ^@win64\ (.+)$ ]]; }; then
      [ -f "$here/expected-parts/${BASH_REMATCH[1]}" ] || die "missing expected part ${BASH_REMATCH[1]}"
      expand_lines "$here/expected-parts/${BASH_REMATCH[1]}"
    elif [[ $line =~ ^@win64\  ]]; then
      continue
    else
      printf '%s\n' "$line"
    fi
  done < "$1"
}
expand_expected() { expand_lines "$1" | crlf; }

failures=0
declare -a rc_of_run args_of_run
fail() { echo "FAIL [$name] $*"; failures=$((failures + 1)); }

# windows_path PATH: the absolute Unix path as Wine's drive Z: names it.
windows_path() { local path; path=$(realpath -m "$1"); echo "Z:${path//\//\\}"; }

# check_titles FILE WHAT: the titles title_watch.exe saw, from its own starting
# title to the title after the cleaner exited: at least one progress title
# between them, nothing else, and the starting title back at the end.
check_titles() {
  local start="korvex title watch"
  local progress='^Korvex Cleaner - sweeping HKEY_(CLASSES_ROOT|CURRENT_CONFIG|CURRENT_USER|LOCAL_MACHINE|USERS): [0-9]+ keys$'
  [ -s "$1" ] || { fail "$2: title_watch.exe wrote no titles"; return; }
  echo "[$name] $2: $(grep -cE "$progress" "$1") progress titles seen, e.g. \"$(grep -E "$progress" "$1" | tail -n 1)\""
  [ "$(head -n 1 "$1")" = "$start" ] || fail "$2: the console did not start titled \"$start\""
  grep -qE "$progress" "$1" || fail "$2: no progress title was seen while the cleaner ran"
  grep -vxF "$start" "$1" | grep -vE "$progress" | sed "s/^/FAIL [$name] $2: unexpected title: /" | grep . && failures=$((failures + 1))
  [ "$(tail -n 1 "$1")" = "$start" ] || fail "$2: the title after the run is \"$(tail -n 1 "$1")\", not \"$start\""
}

run=1
expected_stdout=$scenario/expected-stdout.txt
run_times=""
while [ -f "$expected_stdout" ]; do
  out=$work/stdout-$run.txt err=$work/stderr-$run.txt want=$work/expected-stdout-$run.txt
  expand_expected "$expected_stdout" > "$want"
  run_started=$(seconds)
  # The arguments: args-RUN, else args, else none.
  args=()
  if [ -f "$(run_file args "$run")" ]; then read -r -a args < "$(run_file args "$run")"
  elif [ -f "$scenario/args" ]; then read -r -a args < "$scenario/args"
  fi
  args_of_run[$run]="${args[*]}"
  # before-run-RUN.sh, from run 2 on, as before-run.sh before the first, in
  # that run's own session; KORVEX_RUN tells it which run it is.
  if [ "$run" != 1 ] && [ -f "$scenario/before-run-$run.sh" ]; then
    WINEPREFIX=$actual SCENARIO_DIR=$scenario FIXTURES_DIR=$here/fixtures KORVEX_RUN=$run \
      timeout -k 10 600 bash "$scenario/before-run-$run.sh" || die "$name: before-run-$run.sh failed"
  fi
  want_rc=0
  [ ! -f "$(run_file expected-exit-code "$run")" ] || want_rc=$(tr -d ' \r\n' < "$(run_file expected-exit-code "$run")")
  want_err=$work/expected-stderr-$run.txt
  if [ -f "$(run_file expected-stderr.txt "$run")" ]; then crlf "$(run_file expected-stderr.txt "$run")" > "$want_err"
  else : > "$want_err"
  fi
  rc=0
  hold_run_session "$run"
  if [ -n "${KORVEX_TITLE_WATCH:-}" ]; then
    titles=$work/titles-$run.txt
    wine_in "$actual" "$KORVEX_TITLE_WATCH" "$(windows_path "$titles")" "$(windows_path "$exe")" "${args[@]}" \
      > "$out" 2> "$err" || rc=$?
  elif [ ${#args[@]} -gt 0 ]; then
    [ -f "$exit_code_exe" ] || die "no exit_code.exe at $exit_code_exe: build the win-x64 preset"
    rm -f "$exit_code_file"
    wine_in "$actual" "$exit_code_exe" 'C:\korvex-exit-code.txt' "$(windows_path "$exe")" "${args[@]}" \
      > "$out" 2> "$err" || rc=$?
    if [ -f "$exit_code_file" ]; then
      rc=$(head -n 1 "$exit_code_file" | tr -d '\r\n')
      # What exit_code.exe had to make twice, a line each after the code.
      tail -n +2 "$exit_code_file" | tr -d '\r'
    else fail "run $run: exit_code.exe wrote no exit code (its own: $rc)"; fi
  else
    wine_in "$actual" "$exe" > "$out" 2> "$err" || rc=$?
  fi
  rc_of_run[$run]=$rc
  run_times+=" $(elapsed "$(seconds)" "$run_started")"
  if [ -n "${KORVEX_TITLE_WATCH:-}" ]; then check_titles "$titles" "run $run"; fi
  if [ "$rc" != "$want_rc" ]; then fail "run $run: exit code $rc, expected $want_rc (124 or 137: timed out)"; fi
  if ! cmp -s "$want_err" "$err"; then
    fail "run $run: standard error differs (expected | actual, \\r shown):"
    stdout_diff "$want_err" "$err" | head -c 4000
  fi
  if ! cmp -s "$want" "$out"; then
    fail "run $run: standard output differs (expected | actual, \\r shown):"
    stdout_diff "$want" "$out"
  fi
  # The next run, after-run.sh and the export each start from a settled
  # prefix: whatever held this run's session (services, their holder) is
  # released and gone, and the service manager has let go of what it removed.
  end_run "$actual" "after run $run"
  release_run_session "$run"
  run=$((run + 1))
  expected_stdout=$scenario/expected-stdout-$run.txt
done
ran=$(seconds)

# The log the runs were asked to keep (the scenario's file "log" names it, as
# its args do): a byte-order mark, then for each run its header line, its
# report exactly as on standard output, the lines of the log alone that the
# run's expected-log-notes.txt holds (none when there is no such file), and
# its closing line.
if [ -f "$scenario/log" ]; then
  log_path=$(tr -d '\r\n' < "$scenario/log")
  [[ $log_path =~ ^[Cc]:\\ ]] || die "$name: the log file must be on C:, not $log_path"
  log_file=$actual/drive_c/${log_path:3}
  log_file=${log_file//\\//}
  log_runs=()
  # What each run reported: its standard output, then its standard error,
  # which is empty but for a refusal that the log keeps too (WOW64's); then
  # the lines the log alone holds.
  for ((i = 1; i < run; i++)); do
    cat "$work/stdout-$i.txt" "$work/stderr-$i.txt" > "$work/reported-$i.txt"
    notes=$work/log-notes-$i.txt
    if [ -f "$(run_file expected-log-notes.txt "$i")" ]; then crlf "$(run_file expected-log-notes.txt "$i")" > "$notes"
    else : > "$notes"
    fi
    log_runs+=("$work/reported-$i.txt" "${rc_of_run[$i]}" "${args_of_run[$i]}" "$notes")
  done
  python3 "$here/check-log.py" "$log_file" "${log_runs[@]}" | sed "s/^/FAIL [$name] log: /" | grep . &&
    failures=$((failures + 1))
fi

# Undoes, on the tested prefix, what reg export cannot take (link cycles).
if [ -f "$scenario/after-run.sh" ]; then
  WINEPREFIX=$actual SCENARIO_DIR=$scenario FIXTURES_DIR=$here/fixtures \
    timeout -k 10 600 bash "$scenario/after-run.sh" || die "$name: after-run.sh failed"
  wine_stop "$actual" "after after-run.sh"
fi
export_roots "$actual" "$work/actual-registry"
wine_stop "$actual" "after the export"
wait "$expected_side" || { cat "$work/expected-side.log"; die "$name: preparing the expected registry failed"; }
# On success that side says nothing, unless a step of it passed only when made
# again: its note joins the test's output.
cat "$work/expected-side.log" >&2
for root in $KORVEX_ROOTS; do
  if ! cmp -s "$work/expected-registry/$root.txt" "$work/actual-registry/$root.txt"; then
    fail "registry $root differs from the seeded one with expected-changes.reg applied (- expected, + actual):"
    diff -u --label "expected $root" --label "actual $root" \
      "$work/expected-registry/$root.txt" "$work/actual-registry/$root.txt" | head -n 80 || true
  fi
done

# The file "preview" names the run whose standard output is a /scan listing:
# what every run after it removed must be what it listed.
if [ -f "$scenario/preview" ]; then
  listing=$work/stdout-$(tr -d ' \r\n' < "$scenario/preview").txt
  python3 "$here/check-preview.py" "$work/seeded-registry" "$work/actual-registry" "$listing" |
    sed "s/^/FAIL [$name] preview: /" | grep . && failures=$((failures + 1))
fi
# The file "undo" names the /backup file of the runs: reg import of it must
# give back the seeded registry, but for what its comments say it cannot.
if [ -f "$scenario/undo" ]; then
  undo_path=$(tr -d '\r\n' < "$scenario/undo")
  undo_file=$actual/drive_c/${undo_path:3}
  undo_file=${undo_file//\\//}
  if [ ! -f "$undo_file" ]; then
    fail "undo: no backup file at $undo_path"
  else
    echo "[$name] undo file: $(stat -c %s "$undo_file") bytes"
    wine_retry "$actual" "reg import of the backup file" reg import "$undo_path"
    wine_stop "$actual" "after the backup's import"
    export_roots "$actual" "$work/restored-registry"
    wine_stop "$actual" "after the restored export"
    python3 "$here/check-undo.py" "$work/seeded-registry" "$work/restored-registry" "$undo_file" |
      sed "s/^/FAIL [$name] undo: /" | grep . && failures=$((failures + 1))
  fi
fi
finished=$(seconds)

echo "[$name] seeding $(elapsed "$seeded" "$started") s, cleaner runs$run_times s," \
  "registry check $(elapsed "$finished" "$ran") s, total $(elapsed "$finished" "$started") s"
if [ "$failures" -gt 0 ]; then
  echo "[$name] $failures check(s) failed"
  exit 1
fi
echo "[$name] passed"
