# Removes the two links themselves, never the keys they point at, so that the
# export can be compared with the expected side.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
wine_in "$WINEPREFIX" "$link_keys" unlink HKCU 'Software\Cycle\A\ToB'
wine_in "$WINEPREFIX" "$link_keys" unlink HKCU 'Software\Cycle\B\ToA'
