#!/usr/bin/env bash
# Fails when a C++ source or header (*.cpp, *.h) of the repository differs
# from what clang-format 14 makes of it with the repository's .clang-format,
# and lists those files. Build folders are not looked at.
#   scripts/check-format.sh           check every file git knows (tracked or new)
#   scripts/check-format.sh FILE...   check those files only
# To format them:  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 -i
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format-14 || command -v clang-format) ||
  { echo "clang-format is missing: apt-get install clang-format-14" >&2; exit 1; }

if [ $# -gt 0 ]; then
  files=("$@")
elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' |
    grep -z -v -E '^build[^/]*/')
else
  mapfile -d '' files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0)
fi

unformatted=0
for file in "${files[@]}"; do
  [ -f "$file" ] || continue
  if ! "$format" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    unformatted=$((unformatted + 1))
  fi
done
if [ "$unformatted" -gt 0 ]; then
  echo "$unformatted of ${#files[@]} files are not formatted" >&2
  exit 1
fi
echo "all ${#files[@]} files formatted"
