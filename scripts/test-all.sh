#!/usr/bin/env bash
# Everything CI runs: builds the three presets warning-clean and the release
# archive, then every test (unit, packaging, Wine scenarios) through CTest.
# Exits non-zero when a build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== format"
bash scripts/check-format.sh

# KORVEX_BUILD_ROOT puts the builds elsewhere than build/.
build_root=${KORVEX_BUILD_ROOT:-$(pwd)/build}
jobs=$(nproc)

# The native build registers the packaging and Wine tests, which take the
# Windows executables from the other two builds.
for preset in win-x86 win-x64 native; do
  echo "== build: $preset"
  cmake --preset "$preset" -B "$build_root/$preset" -DKORVEX_WERROR=ON \
    -DKORVEX_WIN_X86_EXE="$build_root/win-x86/korvex-cleaner.exe" \
    -DKORVEX_WIN_X64_EXE="$build_root/win-x64/korvex-cleaner.exe" \
    -DKORVEX_RELEASE_DIR="$build_root/release" >/dev/null
  cmake --build "$build_root/$preset" --parallel "$jobs"
  if [ "$preset" = win-x64 ]; then
    # The release archive of the two executables just built, which the
    # packaging tests check and whose x64 executable the Wine scenarios run.
    echo "== build: release"
    cmake --preset release -B "$build_root/release" \
      -DKORVEX_WIN_X86_BUILD="$build_root/win-x86" -DKORVEX_WIN_X64_BUILD="$build_root/win-x64" >/dev/null
    cmake --build "$build_root/release" --target package
  fi
done

# A Wine harness step that failed once and passed when made again leaves a
# note in its test's output, which CTest shows for failing tests only.
retried() { grep -h "^note: " "$build_root/native/Testing/Temporary/LastTest.log" | sed 's/^/retried: /' || true; }

echo "== tests"
ctest --test-dir "$build_root/native" --parallel "$jobs" --output-on-failure --label-exclude x86
retried
# The shipped 32-bit executable under 32-bit Wine and under WoW64, in the
# 32-bit Wine root; skipped, with the reason, where the kernel runs no 32-bit
# code.
echo "== tests: the x86 executable under 32-bit Wine and WoW64"
source tests/wine/chroot/probe.sh
kernel_runs_i386 >/dev/null || echo "skipped: $(kernel_runs_i386)"
x86_started=$SECONDS
x86_rc=0
ctest --test-dir "$build_root/native" --parallel "$jobs" --output-on-failure --label-regex x86 || x86_rc=$?
echo "the x86 stage took $((SECONDS - x86_started)) s"
retried
[ "$x86_rc" = 0 ] || exit "$x86_rc"

echo "== clang-tidy"
bash scripts/tidy.sh "$build_root/native"

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset native-sanitize -B "$build_root/native-sanitize" -DKORVEX_WERROR=ON >/dev/null
cmake --build "$build_root/native-sanitize" --parallel "$jobs" --target unit_tests
"$build_root/native-sanitize/unit_tests" --gtest_brief=1

echo "== fuzz targets, bounded"
FUZZ_BUILD_DIR="$build_root/fuzz" bash fuzz/run.sh "${KORVEX_FUZZ_SECONDS:-60}"
