# Holds the session of each run and, once the cleaner has exited, writes down
# whether the profile's hive is still loaded: a hive left loaded is gone with
# the session, so only a process of that session can tell (after-run.sh reads
# it).
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
run=${KORVEX_RUN:-1}
programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
ready=$WINEPREFIX/drive_c/korvex-watch-ready
rm -f "$ready" "$WINEPREFIX/drive_c/korvex-hive-$run.txt"
(WINEPREFIX=$WINEPREFIX timeout -k 10 960 wine "$programs/hive_file.exe" watch 'C:\korvex-watch-ready' \
   'C:\korvex-run-done' HKU S-1-5-21-0-0-0-1001 "C:\\korvex-hive-$run.txt" 900 >/dev/null 2>&1 &)
until_true "$KORVEX_WINE_TIMEOUT" test -f "$ready" || die "hive_file.exe watch did not start within $KORVEX_WINE_TIMEOUT s"
