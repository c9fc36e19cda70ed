#!/usr/bin/env bash
# Runs every Wine scenario (tests/wine/scenarios/*, and the restart question
# when a virtual display can be had) N times, each round from a freshly made
# prefix template, and prints how often each passed and failed. A scenario
# that fails now and then shows here where one test run would not.
#
#   scripts/soak-wine.sh [N]     N rounds, default 5
#
# Environment, all optional:
#   KORVEX_BUILD_ROOT   where the win-x64 build goes (default build/)
#   KORVEX_SOAK_JOBS    scenarios run at once (default: the number of cores)
#   KORVEX_SOAK_WORK    scratch directory (default a new one under /tmp);
#                       kept, with every failing scenario's log, when one fails
# Exit code 0 when every run passed, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
rounds=${1:-5}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/soak-wine.sh [N]" >&2; exit 2; }
build_root=${KORVEX_BUILD_ROOT:-$repo/build}
jobs=${KORVEX_SOAK_JOBS:-$(nproc)}

bash scripts/install-deps.sh
cmake --preset win-x64 -B "$build_root/win-x64" -DKORVEX_WERROR=ON >/dev/null
cmake --build "$build_root/win-x64" --parallel "$(nproc)" >/dev/null
exe=$build_root/win-x64/korvex-cleaner.exe
source "$repo/tests/wine/lib.sh"

work=${KORVEX_SOAK_WORK:-$(mktemp -d /tmp/korvex-soak.XXXXXX)}
mkdir -p "$work/logs"
results=$work/results.txt
: >"$results"

names=()
for dir in tests/wine/scenarios/*/; do names+=("$(basename "$dir")"); done
names+=(restart-prompt)

# run_one NAME ROUND TEMPLATE: one scenario, its log kept, its outcome
# appended to the results as "NAME passed|failed|skipped".
run_one() {
  local name=$1 round=$2 template=$3 log rc=0
  log=$work/logs/$name.$round.log
  if [ "$name" = restart-prompt ]; then
    KORVEX_EXE=$exe KORVEX_BOX_READER=$build_root/win-x64/tests/wine/programs/box_reader.exe \
      KORVEX_WINE_TEMPLATE=$template KORVEX_WINE_WORK=$work/round-$round \
      KORVEX_SCREENSHOT=$work/round-$round/restart-prompt.png \
      bash tests/wine/restart-prompt.sh >"$log" 2>&1 || rc=$?
  else
    KORVEX_EXE=$exe KORVEX_WINE_TEMPLATE=$template KORVEX_WINE_WORK=$work/round-$round \
      bash tests/wine/run-scenario.sh "tests/wine/scenarios/$name" >"$log" 2>&1 || rc=$?
  fi
  case $rc in
    0) echo "$name passed" >>"$results" ;;
    77) echo "$name skipped" >>"$results" ;;
    *) echo "$name failed" >>"$results"; echo "  round $round: $name FAILED (exit code $rc), log: $log" ;;
  esac
}

started=$SECONDS
for round in $(seq "$rounds"); do
  echo "== round $round of $rounds: a fresh template, then ${#names[@]} scenarios, $jobs at a time"
  template=$work/round-$round/template
  make_template "$template"
  running=0
  for name in "${names[@]}"; do
    if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
    run_one "$name" "$round" "$template" &
    running=$((running + 1))
  done
  wait
  rm -rf "$work/round-$round"
done

echo
echo "== $rounds round(s) in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
printf '%-28s %7s %7s %8s\n' scenario passed failed skipped
failed=0
for name in "${names[@]}"; do
  passed=$(grep -cxF "$name passed" "$results" || true)
  failures=$(grep -cxF "$name failed" "$results" || true)
  skipped=$(grep -cxF "$name skipped" "$results" || true)
  printf '%-28s %7d %7d %8d\n' "$name" "$passed" "$failures" "$skipped"
  failed=$((failed + failures))
done
if [ "$failed" -gt 0 ]; then
  echo "$failed run(s) failed; logs in $work/logs"
  exit 1
fi
[ -n "${KORVEX_SOAK_WORK:-}" ] || rm -rf "$work"
echo "every run passed"
