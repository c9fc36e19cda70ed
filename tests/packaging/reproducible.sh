#!/usr/bin/env bash
# Builds the release archive twice, from two copies of the source tree in
# different folders, with a different umask, time zone and clock, and checks
# that both executables and the archive come out byte for byte the same.
#   reproducible.sh [SOURCE_DIR]   (default: this checkout)
# The copies hold the files git tracks or would track, as they are now, and no
# build folder. KORVEX_REPRO_KEEP=1 keeps them for a look afterwards.
set -euo pipefail

source_dir=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-repro.XXXXXX")
[ "${KORVEX_REPRO_KEEP:-}" = 1 ] && echo "keeping $work" || trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

copy_tree() {
  mkdir -p "$2"
  if git -C "$1" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$1" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      tar --null -T - -cf -) | tar -xf - -C "$2"
  else
    (cd "$1" && tar --exclude=./build -cf - .) | tar -xf - -C "$2"
  fi
}

# The second build differs from the first in everything that must not matter.
build() {
  local tree=$1 mask=$2 zone=$3
  echo "== building in $tree (umask $mask, TZ=$zone)"
  (
    cd "$tree"
    umask "$mask"
    unset SOURCE_DATE_EPOCH
    export TZ=$zone
    cmake --workflow --preset release >"$tree.log" 2>&1 || { cat "$tree.log"; exit 1; }
  )
}

first=$work/one/korvex-cleaner
second=$work/two/a/much/longer/folder/name/korvex-cleaner
copy_tree "$source_dir" "$first"
copy_tree "$source_dir" "$second"
build "$first" 022 UTC
# A later start, so that every file of the second build is newer.
sleep 1
build "$second" 077 America/Los_Angeles

status=0
for file in build/win-x86/korvex-cleaner.exe build/win-x64/korvex-cleaner.exe \
            build/release/korvex-cleaner-*-windows.zip; do
  a=$(cd "$first" && ls $file) b=$(cd "$second" && ls $file)
  [ "$a" = "$b" ] || fail "the builds made $a and $b"
  if cmp -s "$first/$a" "$second/$b"; then
    echo "same: $a $(sha256sum <"$first/$a" | cut -d' ' -f1)"
  else
    echo "DIFFERENT: $a"
    cmp -l "$first/$a" "$second/$b" | head -n 20
    status=1
  fi
done
exit $status
