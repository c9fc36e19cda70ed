# Another cleaner holds the machine-wide mutex while the first run starts:
# hold_mutex.exe owns it from before that run until the runner releases the
# session after it (C:\korvex-run-done), so the later runs find it free.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
holder=$(dirname "$KORVEX_EXE")/tests/wine/programs/hold_mutex.exe
[ -f "$holder" ] || die "no hold_mutex.exe at $holder: build the win-x64 preset"
rm -f "$WINEPREFIX/drive_c/korvex-mutex-held"
(WINEPREFIX=$WINEPREFIX timeout -k 10 960 wine "$holder" 'KorvexCleaner\Run' 'C:\korvex-mutex-held' \
   'C:\korvex-run-done' 900 'Global\KorvexCleaner' >/dev/null 2>&1 &)
until_true "$KORVEX_WINE_TIMEOUT" test -f "$WINEPREFIX/drive_c/korvex-mutex-held" ||
  die "hold_mutex.exe did not take the mutex within $KORVEX_WINE_TIMEOUT s"
