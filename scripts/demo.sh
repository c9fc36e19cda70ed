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

work=$(make_work_dir korvex-demo)
prefix=$work/prefix
cleanup() {
  wine_kill "$prefix"
  KORVEX_WINE_KEEP=${KORVEX_DEMO_KEEP:-0} remove_work_dir "$work"
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
# The after picture is taken once the cleaner's session has wound down.
end_run "$prefix" "after the cleaner"
export_roots "$prefix" "$work/after"
wine_stop "$prefix"

echo
echo "== before and after"
python3 scripts/summarize.py changes "$work/before" "$work/after" "${fixtures[@]}"

echo
echo "== the restart question, as a person sees it (answered with Escape: no restart)"
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null; then
  KORVEX_EXE=$exe KORVEX_BOX_READER=$build_root/win-x64/tests/wine/programs/box_reader.exe \
    KORVEX_WINE_WORK=$work KORVEX_SCREENSHOT=$build_root/demo/restart-prompt.png \
    bash tests/wine/restart-prompt.sh escape || echo "the restart question did not behave as expected (see above)"
else
  echo "skipped: no virtual display (Xvfb, xdotool and ImageMagick are needed)"
fi
