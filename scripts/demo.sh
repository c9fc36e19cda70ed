#!/usr/bin/env bash
# The demo: builds the cleaner, seeds a throwaway Wine prefix with what an
# installed Korvex for Windows leaves in the registry (and with bystanders that
# only resemble it), runs the cleaner there, and shows its console report and
# what was removed, changed and kept.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
export LC_ALL=C
# KORVEX_BUILD_ROOT puts the build elsewhere than build/.
build_root=${KORVEX_BUILD_ROOT:-$repo/build}

bash scripts/install-deps.sh

echo "== building the cleaner (win-x64, run under 64-bit Wine)"
cmake --preset win-x64 -B "$build_root/win-x64" -DKORVEX_WERROR=ON >/dev/null
cmake --build "$build_root/win-x64" --parallel "$(nproc)" >/dev/null
exe=$build_root/win-x64/korvex-cleaner.exe

source "$repo/tests/wine/lib.sh"
fixtures=("$repo/tests/wine/fixtures/korvex-footprint.reg" "$repo/tests/wine/fixtures/bystanders.reg")
# The summary covers the three roots that hold data of their own in Wine;
# HKEY_CURRENT_CONFIG and HKEY_USERS only show parts of these again.
KORVEX_ROOTS="HKCR HKCU HKLM"

work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-demo.XXXXXX")
prefix=$work/prefix
cleanup() {
  wine_kill "$prefix"
  if [ "${KORVEX_DEMO_KEEP:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

echo "== making a throwaway Wine prefix and seeding it"
make_template "$prefix"
import_reg "$prefix" "${fixtures[@]}"
export_roots "$prefix" "$work/before"
# The cleaner gets a session of its own, as after a reboot: the service
# control manager reads the product's services from the registry as it starts.
wine_stop "$prefix"

echo "== korvex-cleaner.exe: console report"
rc=0
wine_in "$prefix" "$exe" > "$work/report.txt" 2> "$work/stderr.txt" || rc=$?
tr -d '\r' < "$work/report.txt"
if [ -s "$work/stderr.txt" ]; then echo "== standard error:"; cat "$work/stderr.txt"; fi
echo "== exit code: $rc"
export_roots "$prefix" "$work/after"
wine_stop "$prefix"

# One line per key ("K<TAB>key") and per value ("V<TAB>key<TAB>name<TAB>data"),
# from a reg export with its continuation lines joined. The classes appear
# once, under HKEY_CLASSES_ROOT, not again inside HKEY_LOCAL_MACHINE.
records() {
  cat "$1"/*.txt | sed -e ':a' -e '/\\$/N; s/\\\n  //; ta' | awk '
    /^\[/ { key = substr($0, 2, length($0) - 2)
            mirror = (tolower(key) ~ /^hkey_local_machine\\software\\(wow6432node\\)?classes(\\|$)/)
            if (!mirror) print "K\t" key
            next }
    mirror { next }
    /^@=/ { print "V\t" key "\t(default)\t" substr($0, 3); next }
    match($0, /^"([^"\\]|\\.)*"=/) { print "V\t" key "\t" substr($0, 2, RLENGTH - 3) "\t" substr($0, RLENGTH + 1) }
  ' | sort -u
}
records "$work/before" > "$work/before.records"
records "$work/after" > "$work/after.records"

# A REG_MULTI_SZ as its elements, when they are ASCII.
show_data() {
  awk -v data="$1" 'BEGIN {
    if (data !~ /^hex\(7\):/) { print data; exit }
    n = split(substr(data, 8), b, ",")
    for (i = 1; i + 1 <= n; i += 2) {
      if (b[i] == "00" && b[i + 1] == "00") { if (s != "") out = out (out == "" ? "" : " ") s; s = ""; continue }
      s = s sprintf("%c", index("0123456789abcdef", substr(b[i], 1, 1)) * 16 + index("0123456789abcdef", substr(b[i], 2, 1)) - 17)
    }
    print "[" out "]"
  }'
}

echo
echo "== before and after"
echo "Removed keys, each with everything below it:"
comm -23 <(grep '^K' "$work/before.records" | cut -f2) <(grep '^K' "$work/after.records" | cut -f2) |
  awk '{ for (i in gone) if (index($0, gone[i] "\\") == 1) next; gone[NR] = $0; print "  " $0 }'
echo "Removed values (their key stays):"
after_keys=$(grep '^K' "$work/after.records" | cut -f2)
comm -23 <(grep '^V' "$work/before.records" | cut -f2,3 | sort -u) <(grep '^V' "$work/after.records" | cut -f2,3 | sort -u) |
  while IFS=$'\t' read -r key name; do
    if grep -qxF "$key" <<< "$after_keys"; then echo "  $key : $name"; fi
  done
echo "Rewritten values:"
join -t $'\t' <(grep '^V' "$work/before.records" | awk -F'\t' '{ print $2 "|" $3 "\t" $4 }' | sort) \
              <(grep '^V' "$work/after.records" | awk -F'\t' '{ print $2 "|" $3 "\t" $4 }' | sort) |
  while IFS=$'\t' read -r where old new; do
    if [ "$old" = "$new" ]; then continue; fi
    echo "  ${where%%|*} : ${where#*|}"
    echo "    before: $(show_data "$old")"
    echo "    after:  $(show_data "$new")"
  done
echo "Kept: seeded keys that are still there, with their values:"
for fixture in "${fixtures[@]}"; do reg_text "$fixture"; done | grep '^\[HKEY' | tr -d '[]' | awk '!seen[tolower($0)]++' | while read -r key; do
  stored=$(grep -i -m1 -xF "K	$key" "$work/after.records" | cut -f2) || true
  if [ -z "$stored" ]; then continue; fi
  # Through the environment: awk -v would read the backslashes as escapes.
  values=$(KEY=$stored awk -F'\t' '$1 == "V" && $2 == ENVIRON["KEY"] { printf "%s%s", sep, $3; sep = ", " }' \
    "$work/after.records")
  echo "  $stored${values:+  ($values)}"
done

echo
echo "== the restart question, as a person sees it (answered with Escape: no restart)"
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null; then
  KORVEX_EXE=$exe KORVEX_BOX_READER=$build_root/win-x64/tests/wine/programs/box_reader.exe \
    KORVEX_WINE_WORK=$work KORVEX_SCREENSHOT=$build_root/demo/restart-prompt.png \
    bash tests/wine/restart-prompt.sh escape || echo "the restart question did not behave as expected (see above)"
else
  echo "skipped: no virtual display (Xvfb, xdotool and ImageMagick are needed)"
fi
