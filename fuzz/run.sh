#!/bin/sh
# Builds every fuzz target in this directory (each *_fuzz.cpp) with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, linked against the cleaner's
# core and the in-memory platform, then runs each one for a bounded time,
# starting from its seed corpus in corpus/<target>/ and its dictionary
# <target>.dict when there is one.
#
# Usage: fuzz/run.sh [seconds per target, default 60]
# FUZZ_BUILD_DIR chooses where objects, binaries, the working corpora and any
# crash inputs go (default: $TMPDIR/korvex-fuzz). The seed corpora in the
# repository are only read. Exits non-zero when any target finds a fault.
set -eu

seconds="${1:-60}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out="${FUZZ_BUILD_DIR:-${TMPDIR:-/tmp}/korvex-fuzz}"
jobs=2

if ! command -v clang++ >/dev/null 2>&1 ||
   [ ! -e "$(clang++ -print-runtime-dir 2>/dev/null)/libclang_rt.fuzzer-x86_64.a" ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq clang libclang-rt-14-dev
fi

flags="-std=c++17 -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=all -I$root"
mkdir -p "$out/obj"

# The same sources the build puts into the core, with the in-memory platform
# in place of Windows; each target links only what it uses from the archive.
sources=$(cd "$root" && ls text/*.cpp report/*.cpp removal/*.cpp sweep/*.cpp services/*.cpp driverreg/*.cpp restart/*.cpp run/*.cpp \
  platform/utf8.cpp platform/memory/*.cpp 2>/dev/null | grep -v '^run/main\.cpp$')
echo "$sources" | (cd "$root" && xargs -P "$jobs" -I{} sh -c \
  'clang++ '"$flags"' -fsanitize=fuzzer-no-link,address,undefined -c "$1" -o "$2/obj/$(echo "$1" | tr / _).o"' \
  _ {} "$out")
rm -f "$out/libcore.a"
ar rcs "$out/libcore.a" "$out"/obj/*.o

failed=""
for target_source in "$here"/*_fuzz.cpp; do
  target=$(basename "$target_source" .cpp)
  clang++ $flags -fsanitize=fuzzer,address,undefined "$target_source" "$out/libcore.a" -o "$out/$target"
  mkdir -p "$out/corpus/$target" "$here/corpus/$target"
  dict=""
  [ -f "$here/$target.dict" ] && dict="-dict=$here/$target.dict"
  echo "== $target: $seconds s"
  if ! "$out/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
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
