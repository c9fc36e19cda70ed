#!/usr/bin/env bash
# Makes the Debian 12 root, amd64 with i386 beside it, in which the shipped
# 32-bit cleaner runs under Wine: 32-bit Wine on 32-bit prefixes, and Wine's
# WoW64 (wine64 with wine32) on 64-bit ones. The machine's own Wine, which
# runs the x64 scenarios, is left as it is: no i386 architecture is added to
# it. Called by install-deps.sh (as root); returns at once when the root is
# already there, and makes nothing where the kernel does not run 32-bit code,
# for which the x86 tests then report themselves skipped.
#
#   install-wine-chroot.sh [DIR]   DIR: KORVEX_WINE_CHROOT, else /var/cache/korvex/wine-chroot
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/wine/chroot/probe.sh"

root=${1:-${KORVEX_WINE_CHROOT:-/var/cache/korvex/wine-chroot}}
# The stamp, the root's Wine packages, is written last: a root without it is
# a half-made one.
stamp=$root/.korvex-wine-chroot

if ! reason=$(kernel_runs_i386); then
  echo "no 32-bit Wine root made: $reason"
  exit 0
fi
[ -f "$stamp" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "no 32-bit Wine root at $root: run this as root (it needs mmdebstrap and chroot)" >&2
  exit 1
fi
if ! command -v mmdebstrap >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y mmdebstrap || { apt-get update && apt-get install -y mmdebstrap; }
fi

echo "making the 32-bit Wine root in $root"
started=$SECONDS
rm -rf "$root.partial"
mkdir -p "$(dirname "$root")"
mmdebstrap --quiet --architectures=amd64,i386 --variant=apt --include=wine,wine32,wine64 \
  bookworm "$root.partial"
chroot "$root.partial" dpkg-query -W -f '${Package}:${Architecture} ${Version}\n' wine wine32 wine64 libwine \
  > "$root.partial/.korvex-wine-chroot"
rm -rf "$root"
mv "$root.partial" "$root"
version=$(KORVEX_WINE_CHROOT=$root "$here/../tests/wine/chroot/run-in-root" wine --version) || {
  rm -f "$stamp"
  echo "the 32-bit Wine root in $root does not run wine" >&2
  exit 1
}
echo "32-bit Wine root made in $((SECONDS - started)) s: $version"
