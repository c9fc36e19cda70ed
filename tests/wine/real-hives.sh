# The real Windows hive files (../shared/realhives beside the project, or
# KORVEX_REAL_HIVES) as hive files in a prefix, for the real-hive scenarios.
# Sourced after lib.sh, not run.

REAL_HIVES=${KORVEX_REAL_HIVES:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/realhives}
[ -f "$REAL_HIVES/SYSTEM_B.xz" ] ||
  die "no real hive files in $REAL_HIVES: they lie in ../shared/realhives beside the project (or set KORVEX_REAL_HIVES)"
# Debian's python3-hivex belongs to Debian's own Python, whichever python3
# comes first in PATH.
REAL_HIVES_PYTHON=/usr/bin/python3

# real_hive PREFIX REAL|- OVERLAY FILE: REAL (xz-compressed; "-" for none)
# with OVERLAY's keys and values as the hive file FILE (a Windows path on C:,
# its folder made beforehand) in Wine's own format; then loaded by Wine,
# read back whole (bench/wine/hive_walk.exe dump) and compared with REAL and
# OVERLAY, so that a conversion that lost or changed anything fails here.
real_hive() {
  local prefix=$1 real=$2 overlay=$3 file=$4 unix faults
  unix=$prefix/drive_c/${file:3}
  unix=${unix//\\//}
  "$REAL_HIVES_PYTHON" "$(dirname "${BASH_SOURCE[0]}")/real_hives.py" convert "$real" "$overlay" "$unix"
  wine_in "$prefix" "$(dirname "$KORVEX_EXE")/bench/wine/hive_walk.exe" dump HKLM KorvexConversionCheck "$file" \
    'C:\korvex-hive-dump.txt' || die "Wine did not load the converted $file"
  faults=$("$REAL_HIVES_PYTHON" "$(dirname "${BASH_SOURCE[0]}")/real_hives.py" same "$real" "$overlay" \
    "$prefix/drive_c/korvex-hive-dump.txt" 2>/dev/null)
  rm -f "$prefix/drive_c/korvex-hive-dump.txt"
  [ -z "$faults" ] || die "the converted $file is not what Wine loads:
$faults"
}
