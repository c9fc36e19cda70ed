# The profile's hive was unloaded by each run, and the three reports (the log
# holds them) and the undo file name nothing of the real user's registry:
# every key they name is one the product added, every value in a real key is
# the product's. The real keys' end state cannot be seen here: Wine never
# writes a loaded hive back to its file, which is also why the third run lists
# everything again.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../real-hives.sh"
for run in 1 2 3; do
  result=$WINEPREFIX/drive_c/korvex-hive-$run.txt
  [ -f "$result" ] || die "run $run: hive_file.exe watch wrote no result"
  [ "$(tr -d '\r\n' < "$result")" = "not loaded" ] || die "run $run: the profile's hive was still loaded after the run"
  rm -f "$result"
done
undo=$WINEPREFIX/drive_c/realhives-undo/allusers.reg
[ -f "$undo" ] || die "the run wrote no undo file"
real=$REAL_HIVES/NTUSER_with_winscp.DAT.xz overlay=$SCENARIO_DIR/ntuser-product.reg
faults=$("$REAL_HIVES_PYTHON" "$FIXTURES_DIR/../real_hives.py" check \
  --hive 'S-1-5-21-0-0-0-1001' "$real" "$overlay" --hive 'HKEY_USERS\S-1-5-21-0-0-0-1001' "$real" "$overlay" \
  --report "$WINEPREFIX/drive_c/realhives-logs/allusers.log" --undo "$undo")
[ -z "$faults" ] || die "the real registry was named:
$faults"
rm -rf "$WINEPREFIX/drive_c/realhives-undo" "$WINEPREFIX/drive_c/realhives-logs"
