# A standard user has made the cleaner's old global name first, as an event:
# hold_mutex.exe --event keeps it from before the run until the runner
# releases the session after it. The run must not take it for a cleaner.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
holder=$(dirname "$KORVEX_EXE")/tests/wine/programs/hold_mutex.exe
[ -f "$holder" ] || die "no hold_mutex.exe at $holder: build the win-x64 preset"
rm -f "$WINEPREFIX/drive_c/korvex-event-held"
(WINEPREFIX=$WINEPREFIX timeout -k 10 960 wine "$holder" --event 'Global\KorvexCleaner' 'C:\korvex-event-held' \
   'C:\korvex-run-done' 900 >/dev/null 2>&1 &)
until_true "$KORVEX_WINE_TIMEOUT" test -f "$WINEPREFIX/drive_c/korvex-event-held" ||
  die "hold_mutex.exe did not make the event within $KORVEX_WINE_TIMEOUT s"
