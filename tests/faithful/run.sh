#!/usr/bin/env bash
# Runs the same seeded registry call sequences on the in-memory registry and
# under 64-bit Wine, and compares the traces (compare_traces.py).
#
#   run.sh FIRST_SEED COUNT
#
# Environment:
#   KORVEX_SEQUENCES_NATIVE  the native registry_sequences (required)
#   KORVEX_SEQUENCES_EXE     the win-x64 registry_sequences.exe (required)
#   KORVEX_WINE_TEMPLATE     a prefix made by make-template.sh (required)
#   KORVEX_WINE_WORK         where the prefix copy goes (default: TMPDIR)
#   KORVEX_WINE_KEEP=1       keep the prefix and both traces afterwards
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../wine/lib.sh"

first=${1:?usage: run.sh FIRST_SEED COUNT}
count=${2:?usage: run.sh FIRST_SEED COUNT}
native=${KORVEX_SEQUENCES_NATIVE:?set KORVEX_SEQUENCES_NATIVE to the native registry_sequences}
exe=${KORVEX_SEQUENCES_EXE:?set KORVEX_SEQUENCES_EXE to the win-x64 registry_sequences.exe}
template=${KORVEX_WINE_TEMPLATE:?set KORVEX_WINE_TEMPLATE to a prefix made by make-template.sh}
[ -x "$native" ] || die "no native program at $native"
[ -f "$exe" ] || die "no Windows program at $exe: build the win-x64 preset first"
[ -f "$template/system.reg" ] || die "no Wine prefix template at $template"

work_root=$(mkdir -p "${KORVEX_WINE_WORK:-${TMPDIR:-/tmp}}" && cd "${KORVEX_WINE_WORK:-${TMPDIR:-/tmp}}" && pwd)
work=$(mktemp -d "$work_root/registry-sequences.XXXXXX")
prefix=$work/prefix
cleanup() {
  wine_kill "$prefix"
  if [ "${KORVEX_WINE_KEEP:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The kinds of call left out until known differences are fixed.
leave_out=()
while read -r word name _; do
  [ "$word" = without ] && leave_out+=("without=$name")
done < "$here/known-differences.txt"

# One native process per sequence, so that a crash of the in-memory registry
# costs only its own sequence; it shows in the trace as "crashed".
for ((seed = first; seed < first + count; seed++)); do
  if ! "$native" "$seed" 1 "${leave_out[@]}" > "$work/one.txt" 2>&1; then
    grep -q '^error:' "$work/one.txt" || echo "crashed" >> "$work/one.txt"
  fi
  if [ "$seed" = "$first" ]; then cat "$work/one.txt"; else sed 1d "$work/one.txt"; fi
done > "$work/memory.txt"

# All sequences in one Wine process: each start costs about a second.
copy_prefix "$template" "$prefix"
KORVEX_WINE_TIMEOUT=600 wine_in "$prefix" "$exe" "$first" "$count" "${leave_out[@]}" > "$work/wine.txt" 2> "$work/wine-stderr.txt" ||
  { cat "$work/wine-stderr.txt" >&2; tail -3 "$work/wine.txt" >&2; die "the sequences under Wine failed"; }

python3 "$here/compare_traces.py" "$work/memory.txt" "$work/wine.txt" "$here/known-differences.txt"
