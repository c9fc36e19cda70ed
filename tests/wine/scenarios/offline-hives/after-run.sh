# No hive was left loaded after either run, and the undo file says how to load
# the hives for its import and holds the offline keys and class filter lists
# under the names they were loaded at. It is not imported here: that needs the
# hives loaded (reg load, reg import, reg unload), which Wine's reg lacks, and
# Wine does not write a loaded hive back to its file, so the files' end state
# is the unit tests' (tests/unit/offline/).
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
for run in 1 2; do
  for hive in SYSTEM SOFTWARE; do
    result=$WINEPREFIX/drive_c/korvex-hive-$run-$hive.txt
    [ -f "$result" ] || die "run $run: hive_file.exe watch wrote no result for $hive"
    [ "$(tr -d '\r\n' < "$result")" = "not loaded" ] || die "run $run: the $hive hive was still loaded after the run"
    rm -f "$result" "$WINEPREFIX/drive_c/korvex-watch-$hive"
  done
done
undo=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/offline-undo/undo.reg" | tr -d '\r')
for line in \
  ';   reg load HKLM\KorvexOffline_SYSTEM "C:\offline\Windows\System32\config\SYSTEM"' \
  ';   reg load HKLM\KorvexOffline_SOFTWARE "C:\offline\Windows\System32\config\SOFTWARE"' \
  ';   reg import <this file>' \
  ';   reg unload HKLM\KorvexOffline_SYSTEM' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet001\Services\Tarnvol]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet001\Services\vornpart]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet002\Services\TarnvolRec]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet001\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet001\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet002\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SOFTWARE\Korvex\Korvex for Windows]' \
  '[HKEY_LOCAL_MACHINE\KorvexOffline_SYSTEM\ControlSet001\Enum\Root\LEGACY_TARNVOL]'; do
  grep -qxF -- "$line" <<< "$undo" || die "the undo file has no line: $line"
done
# The lists as they were, each before the edit: partmgr, vornpart, meskdrv.
grep -q '^"UpperFilters"=hex(7):70,00,61,00,72,00,74,00,6d,00,67,00,72,00,00,00,76,00,6f,' <<< "$undo" ||
  die "the undo file lacks ControlSet001's disk-drive list as it was"
[ "$(grep -c '^"UpperFilters"=' <<< "$undo")" = 3 ] || die "the undo file does not hold the three lists edited"
rm -rf "$WINEPREFIX/drive_c/offline-undo"
