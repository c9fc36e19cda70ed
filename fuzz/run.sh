#!/bin/sh
# Builds every fuzz target in this directory (each *_fuzz.cpp, registered by
# fuzz/CMakeLists.txt) with the "fuzz" preset: clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer. Then runs each one for a
# bounded time, starting from its seed corpus in corpus/<target>/ and its
# dictionary <target>.dict when there is one.
#
# Usage: fuzz/run.sh [seconds per target, default 60] [target ...]
# With targets named (command_line_fuzz, ...), only those run.
# FUZZ_BUILD_DIR chooses where the build, the working corpora and any crash
# inputs go (default: $TMPDIR/korvex-fuzz). The seed corpora in the
# repository are only read. Exits non-zero when any target finds a fault.
set -eu

seconds="${1:-60}"
[ $# -gt 0 ] && shift
here=$(cd "$(dirname "$0")" && pwd)
out="${FUZZ_BUILD_DIR:-${TMPDIR:-/tmp}/korvex-fuzz}"

if ! command -v clang++ >/dev/null 2>&1 ||
   [ ! -e "$(clang++ -print-runtime-dir 2>/dev/null)/libclang_rt.fuzzer-x86_64.a" ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq clang libclang-rt-14-dev
fi

(cd "$here/.." && cmake --preset fuzz -B "$out" >/dev/null)
targets="${*:-fuzz_targets}"
# shellcheck disable=SC2086  # one word a target
cmake --build "$out" --target $targets --parallel 2 >"$out/build.log" 2>&1 || {
  cat "$out/build.log"
  exit 1
}

# AddressSanitizer keeps 256 MB of freed blocks by default to catch late
# uses, and with inputs of many sizes its free lists kept growing: the
# differential sweep target reached 1 GB in 60 s, growing still, against
# libFuzzer's limit of 2 GB, so a faster machine could stop it for memory
# alone. A quarantine of 64 MB still catches a use soon after a free, and
# 60 s runs of that target then peaked at 360 to 430 MB, levelling off after
# a few hundred inputs.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"

failed=""
for target_source in "$here"/*_fuzz.cpp; do
  target=$(basename "$target_source" .cpp)
  if [ $# -gt 0 ]; then
    case " $* " in *" $target "*) ;; *) continue ;; esac
  fi
  mkdir -p "$out/corpus/$target" "$here/corpus/$target"
  dict=""
  [ -f "$here/$target.dict" ] && dict="-dict=$here/$target.dict"
  echo "== $target: $seconds s"
  if ! "$out/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$out/$target-" $dict "$out/corpus/$target" "$here/corpus/$target" \
      >"$out/$target.log" 2>&1; then
    failed="$failed $target"
    tail -n 40 "$out/$target.log"
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$out/$target.log" || true
  echo "cov/features: $(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$out/$target.log" | tail -n 1)"
done

if [ -n "$failed" ]; then
  echo "fuzz targets that found a fault:$failed (inputs in $out)"
  exit 1
fi
