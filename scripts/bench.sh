#!/usr/bin/env bash
# Benchmarks of the registry sweep, all figures printed:
#   1. the search over generated in-memory registries beside a bare walk that
#      makes the same registry calls (Google Benchmark: times, allocations,
#      peak heap), then the same walks counted in instructions by callgrind;
#   2. the whole cleaner under Wine on a prefix seeded with generated keys,
#      beside one bare walk of the five roots and beside reg export of them.
#
# Usage: scripts/bench.sh [native|instructions|wine]...   (default: all three)
# Environment, all optional:
#   KORVEX_BENCH_BUILD   build directories (default build/bench)
#   KORVEX_BENCH_SIZES   in-memory registry sizes (default 10000,100000,1000000)
#   KORVEX_BENCH_REPS    Google Benchmark repetitions (default 5)
#   KORVEX_BENCH_CALLGRIND_SIZES   sizes counted by callgrind (default as above)
#   KORVEX_BENCH_WINE_KEYS   generated keys in the Wine prefix (default 20000)
#   KORVEX_BENCH_WINE_RUNS   timed runs of each program under Wine (default 5)
#   KORVEX_BENCH_WORK    scratch directory (default a new one under /tmp, removed at the end)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEX_BENCH_BUILD:-$repo/build/bench}
sizes=${KORVEX_BENCH_SIZES:-10000,100000,1000000}
reps=${KORVEX_BENCH_REPS:-5}
callgrind_sizes=${KORVEX_BENCH_CALLGRIND_SIZES:-$sizes}
wine_keys=${KORVEX_BENCH_WINE_KEYS:-20000}
wine_runs=${KORVEX_BENCH_WINE_RUNS:-5}
parts=${*:-native instructions wine}

work=${KORVEX_BENCH_WORK:-}
if [ -z "$work" ]; then
  work=$(mktemp -d /tmp/korvex-bench.XXXXXX)
  trap 'wine_kill "$work/run" 2>/dev/null || true; rm -rf "$work"' EXIT
fi
mkdir -p "$work"

# shellcheck source=../tests/wine/lib.sh
source "$repo/tests/wine/lib.sh"

heading() { printf '\n=== %s ===\n' "$*"; }

machine() {
  heading "Machine"
  echo "date:  $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "cores: $(nproc)"
  lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core|Socket)' || true
  echo "load:  $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
  echo "commit: $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)"
}

build_native() {
  cmake --preset native -B "$build/native" -DKORVEX_WERROR=ON >/dev/null
  cmake --build "$build/native" -j2 --target sweep_bench whole_sweep >/dev/null
}

native() {
  # Repetitions of all walks run in a random order, so that a change in the
  # machine's load spreads over all of them.
  heading "In-memory registry: ScanKey beside the bare walk (Google Benchmark, $reps repetitions)"
  "$build/native/bench/sweep_bench" --sizes="$sizes" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true
  heading "In-memory registry: the whole sweep beside one bare walk of the five roots ($reps repetitions)"
  local size
  for size in ${sizes//,/ }; do
    "$build/native/bench/whole_sweep" --keys="$size" --benchmark_repetitions="$reps" \
      --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true
  done
}

instructions() {
  heading "In-memory registry: instructions per walk (callgrind)"
  command -v valgrind >/dev/null || die "valgrind is not installed"
  local out=$work/callgrind
  rm -rf "$out" && mkdir -p "$out"
  valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/cg.%p" \
    "$build/native/bench/sweep_bench" --instructions --sizes="$callgrind_sizes" 2>/dev/null > "$out/sizes.txt"
  cat "$out/sizes.txt"
  python3 "$repo/scripts/summarize.py" instructions "$out"
  heading "In-memory registry: instructions of the whole sweep, beside one bare walk of the five roots (callgrind)"
  local size
  for size in ${callgrind_sizes//,/ }; do
    rm -rf "$out" && mkdir -p "$out"
    valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/cg.%p" \
      "$build/native/bench/whole_sweep" --instructions --keys="$size" 2>/dev/null > "$out/sizes.txt"
    python3 "$repo/scripts/summarize.py" instructions "$out"
  done
}

build_windows() {
  cmake --preset win-x64 -B "$build/win-x64" -DKORVEX_WERROR=ON >/dev/null
  cmake --build "$build/win-x64" -j2 --target korvex-cleaner bare_walker >/dev/null
}

# timed NAME COMMAND...: runs COMMAND and adds its wall-clock milliseconds to
# a line of $work/NAME.ms.
timed() {
  local name=$1 start
  shift
  start=$(date +%s%N)
  "$@"
  echo $(( ($(date +%s%N) - start) / 1000000 )) >> "$work/$name.ms"
}

wine_bench() {
  heading "Under Wine: the whole cleaner beside one bare walk of the five roots"
  command -v wine >/dev/null || die "wine is not installed"
  local exe=$build/win-x64/korvex-cleaner.exe walker=$build/win-x64/bench/wine/bare_walker.exe
  local template=$work/template prefix=$work/run
  "$build/native/bench/sweep_bench" --write-reg="$work/seed.reg" --keys="$wine_keys"
  make_template "$template"
  import_reg "$template" "$work/seed.reg"
  wine_stop "$template"
  rm -f "$work/seed.reg"
  rm -rf "$prefix"
  copy_prefix "$template" "$prefix"
  # One wineserver for all runs, so that each run pays only for starting its
  # own process; an untimed walk first loads the registry into it.
  WINEPREFIX=$prefix wineserver -p
  wine_in "$prefix" "$walker" > "$work/keys.txt"
  echo "keys visited by one walk (generated: $wine_keys, no product present):"
  sed 's/^/  /' "$work/keys.txt"
  local exports="" root
  for root in $KORVEX_ROOTS; do exports+="reg export $root C:\\bench-$root.reg /y >nul & "; done
  : > "$work/bare.ms"; : > "$work/cleaner.ms"; : > "$work/export.ms"; : > "$work/start.ms"
  local run
  # Interleaved rounds, so a change in the machine's load touches all alike.
  for run in $(seq "$wine_runs"); do
    timed start wine_in "$prefix" cmd /c exit
    timed bare wine_in "$prefix" "$walker" > /dev/null
    timed cleaner wine_in "$prefix" "$exe" > "$work/cleaner.out" 2>&1
    timed export wine_in "$prefix" cmd /c "${exports% & }" >/dev/null 2>&1
    rm -f "$prefix"/drive_c/bench-*.reg
    echo "  round $run: bare $(tail -1 "$work/bare.ms") ms, cleaner $(tail -1 "$work/cleaner.ms") ms," \
      "reg export $(tail -1 "$work/export.ms") ms"
  done
  # Nothing of the product is present, so the sweep must have deleted nothing.
  if grep -a -q ']: DELETED' "$work/cleaner.out"; then
    echo "warning: the cleaner deleted something; the timing is not of a clean machine"
  fi
  wine_kill "$prefix"
  python3 "$repo/scripts/summarize.py" wine-times "$work" "$wine_runs"
  echo "ratio: median over the bare walk's median; the cleaner walks each of the five roots once."
}

bash "$repo/scripts/install-deps.sh"
machine
case " $parts " in *" native "*|*" instructions "*|*" wine "*) build_native ;; esac
case " $parts " in *" wine "*) build_windows ;; esac
for part in $parts; do
  case $part in
    native) native ;;
    instructions) instructions ;;
    wine) wine_bench ;;
    *) die "unknown part $part (native, instructions, wine)" ;;
  esac
done
