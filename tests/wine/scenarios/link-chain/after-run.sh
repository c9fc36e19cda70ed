# Removes the chain's links themselves, never the keys they point at, then
# its keys, so that the export can be compared with the expected side.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
wine_in "$WINEPREFIX" "$link_keys" unchain HKCU 'Software\Chain' 12000
