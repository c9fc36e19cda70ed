# Plants the chain on the tested prefix only: reg export, which the expected
# side is compared through, would follow it as deep as it goes.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
[ -f "$link_keys" ] || die "no link_keys.exe beside the cleaner's build"
wine_in "$WINEPREFIX" "$link_keys" chain HKCU 'Software\Chain' 12000
