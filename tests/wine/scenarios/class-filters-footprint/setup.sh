# The footprint's two class keys alone: the filter lists are edited without
# the sweep's output around them.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
classes=$(mktemp --suffix=.reg)
trap 'rm -f "$classes"' EXIT
lists=$(reg_text "$FIXTURES_DIR/korvex-footprint.reg" | awk '/^\[/ { keep = ($0 ~ /\\Control\\Class\\\{/) } keep')
grep -q '^"UpperFilters"' <<<"$lists" || die "no class filter lists in korvex-footprint.reg"
# As UTF-16 with a byte-order mark: in an ANSI file reg import would widen
# each byte of a hex(7) list into a character of its own.
{
  printf '\xff\xfe'
  printf 'Windows Registry Editor Version 5.00\n\n%s\n' "$lists" | iconv -f UTF-8 -t UTF-16LE
} > "$classes"
import_reg "$WINEPREFIX" "$classes"
