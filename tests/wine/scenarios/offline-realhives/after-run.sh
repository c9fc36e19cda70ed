# No hive was left loaded after any run; the three reports (the log holds them)
# and the undo file name nothing of the real registry: every key they name is
# one the product added, every value in a real key is the product's, and a real
# filter list is saved only as it was before the run. The real keys' end state
# cannot be seen here: Wine never writes a loaded hive back to its file, which
# is also why the third run lists everything again.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../real-hives.sh"
for run in 1 2 3; do
  for hive in SYSTEM SOFTWARE S-1-5-21-0-0-0-1001; do
    result=$WINEPREFIX/drive_c/korvex-hive-$run-$hive.txt
    [ -f "$result" ] || die "run $run: hive_file.exe watch wrote no result for $hive"
    [ "$(tr -d '\r\n' < "$result")" = "not loaded" ] || die "run $run: the $hive hive was still loaded after the run"
    rm -f "$result" "$WINEPREFIX/drive_c/korvex-watch-$hive"
  done
done
undo=$WINEPREFIX/drive_c/realhives-undo/undo.reg
[ -f "$undo" ] || die "the run wrote no undo file"
faults=$("$REAL_HIVES_PYTHON" "$FIXTURES_DIR/../real_hives.py" check \
  --hive 'C:\offline\Windows\System32\config\SYSTEM' "$REAL_HIVES/SYSTEM_B.xz" "$SCENARIO_DIR/system-product.reg" \
  --hive 'HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM' "$REAL_HIVES/SYSTEM_B.xz" "$SCENARIO_DIR/system-product.reg" \
  --hive 'C:\Users\winscp\NTUSER.DAT' "$REAL_HIVES/NTUSER_with_winscp.DAT.xz" "$SCENARIO_DIR/ntuser-product.reg" \
  --hive 'HKEY_LOCAL_MACHINE\KorvexOffline_S-1-5-21-0-0-0-1001' "$REAL_HIVES/NTUSER_with_winscp.DAT.xz" \
  "$SCENARIO_DIR/ntuser-product.reg" \
  --report "$WINEPREFIX/drive_c/realhives-logs/clean.log" --undo "$undo")
[ -z "$faults" ] || die "the real registry was named:
$faults"
grep -qxF ';   reg load HKLM\KorvexOffline_S-1-5-21-0-0-0-1001 "C:\Users\winscp\NTUSER.DAT"' \
  <(iconv -f UTF-16 -t UTF-8 "$undo" | tr -d '\r') || die "the undo file does not say how to load the profile's hive"
backups=$(tr -d '\r' < "$WINEPREFIX/drive_c/realhives-logs/clean.log" |
  grep -cxF "Profile S-1-5-21-0-0-0-1001.bak not cleaned: a backup of a profile's entry, which Windows does not load" || true)
[ "$backups" = 3 ] || die "the log names the profile's .bak entry $backups times, not once a run"
rm -rf "$WINEPREFIX/drive_c/realhives-undo" "$WINEPREFIX/drive_c/realhives-logs"
