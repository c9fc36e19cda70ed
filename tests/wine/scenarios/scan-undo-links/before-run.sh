# Plants the links on the tested prefix only; the cleaner must delete them
# with the product's keys, as links, and leave the keys they point at whole.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
[ -f "$link_keys" ] || die "no link_keys.exe beside the cleaner's build"
wine_in "$WINEPREFIX" "$link_keys" link HKLM 'Software\Korvex for Windows Data\Shared' 'Software\Unrelated Vendor'
wine_in "$WINEPREFIX" "$link_keys" link HKCU 'Software\Tarnvol Prefs\Shared' 'Software\Unrelated Vendor'
