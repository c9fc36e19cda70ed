# Each run's log names both links once, by their places, and names no other;
# the undo file holds the offline product key and nothing of the running
# system's keys the links point at.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
log=$(tr -d '\r' < "$WINEPREFIX/drive_c/offline-logs/links.log")
for link in 'C:\offline\Windows\System32\config\SOFTWARE\Wow6432Node\Classes' \
  'C:\offline\Windows\System32\config\SYSTEM\ControlSet001\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}'; do
  [ "$(grep -cxF "Link [$link]: not followed, it leads out of the hive" <<< "$log")" = 2 ] ||
    die "the log does not name the link $link once in each run"
done
[ "$(grep -c '^Link \[' <<< "$log")" = 4 ] || die "the log names other links: $(grep '^Link \[' <<< "$log")"
undo=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/offline-undo/undo.reg" | tr -d '\r')
grep -qxF '[HKEY_LOCAL_MACHINE\KorvexOffline_SOFTWARE\Korvex\Korvex for Windows]' <<< "$undo" ||
  die "the undo file lacks the offline product key"
if grep -qiE 'CLSID|VolumeClass|UpperFilters' <<< "$undo"; then
  die "the undo file holds keys from beyond a link: $(grep -iE 'CLSID|VolumeClass|UpperFilters' <<< "$undo")"
fi
rm -rf "$WINEPREFIX/drive_c/offline-undo"
