# Holds the session of run 1 and, once the cleaner has exited, writes down
# whether Ann's hives are still loaded: a hive left loaded is gone with the
# session, so only a process of that session can tell (after-run.sh reads it).
# One watcher per hive of Ann's: her own and her classes.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
run=${KORVEX_RUN:-1}
programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
for key in S-1-5-21-0-0-0-1001 S-1-5-21-0-0-0-1001_Classes; do
  ready=$WINEPREFIX/drive_c/korvex-watch-ready-$key
  rm -f "$ready" "$WINEPREFIX/drive_c/korvex-hive-$run-$key.txt"
  (WINEPREFIX=$WINEPREFIX timeout -k 10 960 wine "$programs/hive_file.exe" watch "C:\\korvex-watch-ready-$key" \
     'C:\korvex-run-done' HKU "$key" "C:\\korvex-hive-$run-$key.txt" 900 >/dev/null 2>&1 &)
  until_true "$KORVEX_WINE_TIMEOUT" test -f "$ready" ||
    die "hive_file.exe watch of $key did not start within $KORVEX_WINE_TIMEOUT s"
done
