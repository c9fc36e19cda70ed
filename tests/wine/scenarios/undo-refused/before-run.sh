# The files the runs name: the log of the first two runs, which the second
# names again through a hard link, and two files that are not undo files.
# Planted once, before the first run; each run must leave them as they are.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
mkdir -p "$WINEPREFIX/drive_c/u"
: > "$WINEPREFIX/drive_c/u/k.reg"
ln "$WINEPREFIX/drive_c/u/k.reg" "$WINEPREFIX/drive_c/u/link.reg"
cp "$SCENARIO_DIR/foreign-notes.reg" "$WINEPREFIX/drive_c/u/notes.reg"
cp "$SCENARIO_DIR/foreign-odd.reg" "$WINEPREFIX/drive_c/u/odd.reg"
