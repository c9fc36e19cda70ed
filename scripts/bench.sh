#!/usr/bin/env bash
# Benchmarks of the registry sweep, all figures printed:
#   1. the search over generated in-memory registries beside a bare walk that
#      makes the same registry calls (Google Benchmark: times, allocations,
#      peak heap), then the same walks counted in instructions by callgrind;
#   2. the whole cleaner under Wine on a prefix seeded with generated keys,
#      beside one bare walk of the five roots and beside reg export of them;
#   3. under Wine on the real hive files (../shared/realhives, converted by
#      tests/wine/real_hives.py): /scan /offline of the real SYSTEM and user
#      hives, and for one profile that is not logged on the load, one bare
#      walk and the unload of its hive beside the cleaner's sweep of it, and
#      how long a run holds it loaded.
#
# Usage: scripts/bench.sh [native|instructions|wine|realhives]...   (default: all four)
# Environment, all optional:
#   KORVEX_BENCH_BUILD   build directories (default build/bench)
#   KORVEX_BENCH_SIZES   in-memory registry sizes (default 10000,100000,1000000)
#   KORVEX_BENCH_REPS    Google Benchmark repetitions (default 5)
#   KORVEX_BENCH_CALLGRIND_SIZES   sizes counted by callgrind (default as above)
#   KORVEX_BENCH_WINE_KEYS   generated keys in the Wine prefix (default 20000)
#   KORVEX_BENCH_WINE_RUNS   timed runs of each program under Wine (default 5)
#   KORVEX_REAL_HIVES    the real hive files (default ../shared/realhives beside the project)
#   KORVEX_BENCH_WORK    scratch directory (default a new one under /tmp, removed at the end)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVEX_BENCH_BUILD:-$repo/build/bench}
sizes=${KORVEX_BENCH_SIZES:-10000,100000,1000000}
reps=${KORVEX_BENCH_REPS:-5}
callgrind_sizes=${KORVEX_BENCH_CALLGRIND_SIZES:-$sizes}
wine_keys=${KORVEX_BENCH_WINE_KEYS:-20000}
wine_runs=${KORVEX_BENCH_WINE_RUNS:-5}
parts=${*:-native instructions wine realhives}

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
  cmake --build "$build/win-x64" -j2 --target korvex-cleaner bare_walker hive_walk hive_file >/dev/null
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

# median FILE: the median of the numbers in FILE, one a line.
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# row LABEL FILE: LABEL, then the median, lowest and highest of FILE.
row() { printf '%-52s %9s %9s %9s\n' "$1" "$(median "$2")" "$(sort -g "$2" | head -1)" "$(sort -g "$2" | tail -1)"; }

# held NAME COMMAND...: runs COMMAND (timed as NAME) while hive_walk.exe hold
# watches the profile's hive, and adds how long the hive was loaded to
# NAME-hold.ms.
held() {
  local name=$1 prefix=$work/realhives watcher
  shift
  rm -f "$prefix/drive_c/bench-hold-ready"
  wine_in "$prefix" "$build/win-x64/bench/wine/hive_walk.exe" hold HKU "$sid" 'C:\bench-hold-ready' 600 \
    > "$work/hold.out" &
  watcher=$!
  until_true 60 test -f "$prefix/drive_c/bench-hold-ready" || die "hive_walk.exe hold did not start"
  timed "$name" "$@" > /dev/null 2>&1 || true
  wait "$watcher" || die "hive_walk.exe hold saw no load and unload of the profile's hive"
  awk '{ print $2 }' "$work/hold.out" >> "$work/$name-hold.ms"
}

real_hives_bench() {
  heading "Under Wine: the real hives, /scan /offline and one profile's load, bare walk, sweep and unload"
  command -v wine >/dev/null || die "wine is not installed"
  export KORVEX_EXE=$build/win-x64/korvex-cleaner.exe
  # shellcheck source=../tests/wine/real-hives.sh
  source "$repo/tests/wine/real-hives.sh"
  local exe=$KORVEX_EXE walker=$build/win-x64/bench/wine/hive_walk.exe prefix=$work/realhives
  local scenarios=$repo/tests/wine/scenarios profile='C:\users\winscp\NTUSER.DAT'
  local user_hive=$work/realhives/drive_c/users/winscp/NTUSER.DAT
  sid=S-1-5-21-0-0-0-1001
  make_template "$prefix"
  mkdir -p "$prefix/drive_c/offline/Windows/System32/config" "$prefix/drive_c/users/winscp"
  # The offline Windows of wine.offline-realhives, and its profile's hive as
  # the not logged-on profile of wine.allusers-realhive.
  real_hive "$prefix" "$REAL_HIVES/SYSTEM_B.xz" "$scenarios/offline-realhives/system-product.reg" \
    'C:\offline\Windows\System32\config\SYSTEM'
  real_hive "$prefix" - "$scenarios/offline-realhives/software.reg" 'C:\offline\Windows\System32\config\SOFTWARE'
  real_hive "$prefix" "$REAL_HIVES/NTUSER_with_winscp.DAT.xz" "$scenarios/offline-realhives/ntuser-product.reg" \
    "$profile"
  import_reg "$prefix" "$scenarios/allusers-realhive/seed.reg"
  wine_stop "$prefix"
  # One wineserver for all runs; an untimed walk first loads the registry.
  WINEPREFIX=$prefix wineserver -p
  wine_in "$prefix" "$build/win-x64/bench/wine/bare_walker.exe" > /dev/null
  local part
  for part in offline scan-none scan-profile allusers load walk unload scan-profile-hold allusers-hold; do
    : > "$work/$part.ms"
  done
  local run
  # Interleaved rounds. Wine never writes a loaded hive back, so every round
  # finds the product's entries again and each run does the same work.
  for run in $(seq "$wine_runs"); do
    timed offline wine_in "$prefix" "$exe" /scan /offline 'C:\offline\Windows' > /dev/null 2>&1 || true
    wine_in "$prefix" "$walker" times HKU "$sid" "$profile" 1 > "$work/times.out"
    read -r _ load _ walk _ keys _ unload < "$work/times.out"
    echo "$load" >> "$work/load.ms"; echo "$walk" >> "$work/walk.ms"; echo "$unload" >> "$work/unload.ms"
    mv "$user_hive" "$user_hive.away"
    timed scan-none wine_in "$prefix" "$exe" /scan /allusers > /dev/null 2>&1 || true
    mv "$user_hive.away" "$user_hive"
    held scan-profile wine_in "$prefix" "$exe" /scan /allusers
    held allusers wine_in "$prefix" "$exe" /quiet /norestart /allusers
    echo "  round $run: /scan /offline $(tail -1 "$work/offline.ms") ms; profile: load $load, walk $walk" \
      "($keys keys), unload $unload ms; /scan /allusers $(tail -1 "$work/scan-profile.ms") ms," \
      "without the profile $(tail -1 "$work/scan-none.ms") ms"
  done
  wine_kill "$prefix"
  printf '%-52s %9s %9s %9s\n' "($wine_runs rounds, ms)" median lowest highest
  row "/scan /offline, real SYSTEM and user hive" "$work/offline.ms"
  row "profile's hive: RegLoadKeyW" "$work/load.ms"
  row "profile's hive: one bare walk" "$work/walk.ms"
  row "profile's hive: RegUnLoadKeyW" "$work/unload.ms"
  row "/scan /allusers, the profile there" "$work/scan-profile.ms"
  row "/scan /allusers, the profile's hive gone" "$work/scan-none.ms"
  row "  hive held loaded by /scan /allusers" "$work/scan-profile-hold.ms"
  row "/quiet /norestart /allusers" "$work/allusers.ms"
  row "  hive held loaded by /allusers" "$work/allusers-hold.ms"
  paste "$work/scan-profile.ms" "$work/scan-none.ms" "$work/load.ms" "$work/unload.ms" "$work/walk.ms" | awk '
    { cost[NR] = $1 - $2; sweep[NR] = $1 - $2 - $3 - $4; ratio[NR] = sweep[NR] / $5 }
    function med(a, n,   i, j, t) {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    END {
      printf "the profile in /scan /allusers (with it minus without): median %.1f ms\n", med(cost, NR)
      printf "its sweep (that, less the load and the unload): median %.1f ms\n", med(sweep, NR)
      printf "sweep / bare walk of the profile'"'"'s hive, round by round: median %.2f\n", med(ratio, NR)
    }'
}

bash "$repo/scripts/install-deps.sh"
machine
case " $parts " in *" native "*|*" instructions "*|*" wine "*) build_native ;; esac
case " $parts " in *" wine "*|*" realhives "*) build_windows ;; esac
for part in $parts; do
  case $part in
    native) native ;;
    instructions) instructions ;;
    wine) wine_bench ;;
    realhives) real_hives_bench ;;
    *) die "unknown part $part (native, instructions, wine, realhives)" ;;
  esac
done
