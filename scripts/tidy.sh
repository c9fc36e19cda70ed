#!/usr/bin/env bash
# Runs clang-tidy 14 with the repository's .clang-tidy over every source of
# the native build (its compile_commands.json), and fails when it finds
# anything.
#   scripts/tidy.sh [BUILD_DIR]   (default: build/native, configured if needed)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-${KORVEX_BUILD_ROOT:-$(pwd)/build}/native}
if [ ! -f "$build/compile_commands.json" ]; then
  cmake --preset native -B "$build" >/dev/null
fi
run_tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy) ||
  { echo "run-clang-tidy is missing: apt-get install clang-tidy-14" >&2; exit 1; }
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)

# Only the project's own sources, one clang-tidy per core; every warning is a
# finding.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$run_tidy" -clang-tidy-binary "$tidy" -p "$build" -j "$(nproc)" -quiet "^$(pwd)/" 2>&1 |
  sed 's/\x1b\[[0-9;]*m//g' >"$log" || status=$?
findings=$(grep -c -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' "$log" || true)
if [ "$findings" -gt 0 ] || [ "$status" -ne 0 ]; then
  grep -v -E '^([^ ]*clang-tidy[^ ]* |[0-9]+ warnings? (and [0-9]+ errors? )?generated|Suppressed [0-9]+ warnings|Use -header-filter|Running clang-tidy)' "$log" || true
  echo "clang-tidy: $findings findings, exit status $status" >&2
  exit 1
fi
echo "clang-tidy: no findings in $(grep -c '"file"' "$build/compile_commands.json") sources"
