# Every run refused before anything changed: the log named twice is still
# empty, and the two foreign files are byte for byte as they were planted.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
u="$WINEPREFIX/drive_c/u"
[ -f "$u/k.reg" ] && [ ! -s "$u/k.reg" ] || die "C:\\u\\k.reg was written to"
cmp "$SCENARIO_DIR/foreign-notes.reg" "$u/notes.reg" || die "C:\\u\\notes.reg changed"
cmp "$SCENARIO_DIR/foreign-odd.reg" "$u/odd.reg" || die "C:\\u\\odd.reg changed"
