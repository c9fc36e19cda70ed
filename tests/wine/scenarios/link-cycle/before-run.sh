# Plants the two-link cycle on the tested prefix only: reg export, which the
# expected side is compared through, would follow it without end.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
[ -f "$link_keys" ] || die "no link_keys.exe beside the cleaner's build"
wine_in "$WINEPREFIX" "$link_keys" link HKCU 'Software\Cycle\A\ToB' 'Software\Cycle\B'
wine_in "$WINEPREFIX" "$link_keys" link HKCU 'Software\Cycle\B\ToA' 'Software\Cycle\A'
