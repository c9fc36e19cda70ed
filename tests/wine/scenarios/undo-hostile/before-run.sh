# A link inside the product's key, to the bystander beside it: the undo file
# names it in a comment and saves nothing through it.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
[ -f "$link_keys" ] || die "no link_keys.exe beside the cleaner's build"
wine_in "$WINEPREFIX" "$link_keys" link HKCU 'Software\Korvex for Windows Hostile\Shared' 'Software\Hostile Bystander'
