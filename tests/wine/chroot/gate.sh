#!/usr/bin/env bash
# Runs one x86 Wine test (its command and arguments follow) in the 32-bit
# Wine root, once this machine is known to be able to: where the kernel does
# not run 32-bit code the test is skipped (exit code 77, which CTest reports
# as skipped) with the reason on one line, never passed. A machine that runs
# 32-bit code but has no root fails: install-deps.sh makes it.
#
# Environment: KORVEX_WINE_CHROOT (the root), KORVEX_WINE_CHROOT_BINDS.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/probe.sh"

if ! reason=$(kernel_runs_i386); then
  echo "skipped: $reason"
  exit 77
fi
root=${KORVEX_WINE_CHROOT:?set KORVEX_WINE_CHROOT to the root made by scripts/install-wine-chroot.sh}
[ -f "$root/.korvex-wine-chroot" ] || {
  echo "error: no 32-bit Wine root at $root: run scripts/install-deps.sh (as root)" >&2
  exit 2
}
exec "$@"
