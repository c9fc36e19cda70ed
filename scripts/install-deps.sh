#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12 (as root).
# Returns at once when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev                                   # native build, unit tests
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64            # Windows builds, packaging checks
  wine wine64                                                          # end-to-end scenarios, demo
  unzip git                                                            # release archive checks, its reproducibility test
  xvfb xauth xdotool imagemagick                                       # the restart question on a virtual display
  clang libclang-rt-14-dev                                             # fuzz targets
  clang-format clang-tidy                                              # format and tidy checks
  python3 procps                                                       # scenario generators, process checks
  python3-hivex                                                        # reads the real hive files of the real-hive scenarios
  mmdebstrap                                                           # the 32-bit Wine root of the x86 scenarios
  libbenchmark-dev valgrind                                            # benchmarks (built by the native preset)
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}" >&2
    echo "run this as root, or install them with apt-get" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi

# 32-bit Wine for the shipped x86 executable, in a Debian root of its own so
# that the machine's Wine stays 64-bit only; one to four minutes the first time.
bash "$(dirname "$0")/install-wine-chroot.sh"
