# Ann's hives were unloaded by each run, and the undo file names both users'
# keys under their real place. Its import is not tried here: it would need
# Ann's hive loaded (reg load, reg import, reg unload), which Wine's reg lacks.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
for run in 1 2; do
  for key in S-1-5-21-0-0-0-1001 S-1-5-21-0-0-0-1001_Classes; do
    result=$WINEPREFIX/drive_c/korvex-hive-$run-$key.txt
    [ -f "$result" ] || die "run $run: hive_file.exe watch of $key wrote no result"
    [ "$(tr -d '\r\n' < "$result")" = "not loaded" ] || die "run $run: HKU\\$key was still loaded after the run"
    rm -f "$result"
  done
done
undo=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/undo/allusers.reg" | tr -d '\r')
for key in 'HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Korvex for Windows' \
  'HKEY_USERS\S-1-5-21-0-0-0-1001\Software\Korvex for Windows' \
  'HKEY_USERS\S-1-5-21-0-0-0-1001\Software\Microsoft\Windows\CurrentVersion\Run' \
  'HKEY_USERS\S-1-5-21-0-0-0-1001_Classes\CLSID\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}'; do
  grep -qxF "[$key]" <<< "$undo" || die "the undo file has no [$key]"
done
grep -qxF '"KorvexTray"="Korvex for Windows tray"' <<< "$undo" || die "the undo file lacks Ann's KorvexTray value"
rm -rf "$WINEPREFIX/drive_c/undo"
# The log lines of the second run that standard output does not have, which
# check-log.py lets stand but does not ask for: the stale profile, and how
# long Ann's profile was held.
log=$(tr -d '\r' < "$WINEPREFIX/drive_c/allusers.log")
grep -qxF 'Profile S-1-5-21-0-0-0-1002 not cleaned: C:\users\gone\NTUSER.DAT is missing' <<< "$log" ||
  die "the log lacks the stale profile's line"
grep -qxE 'Profile S-1-5-21-0-0-0-1001 held [0-9]+ ms: loaded in [0-9]+ ms, swept in [0-9]+ ms, unloaded in [0-9]+ ms' \
  <<< "$log" || die "the log lacks how long Ann's profile was held"
