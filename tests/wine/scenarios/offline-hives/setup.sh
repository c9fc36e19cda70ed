# The offline Windows' SYSTEM and SOFTWARE hives, in Wine's own format
# (RegSaveKeyW), where /offline C:\offline\Windows looks for them; on both
# sides, so that only the runs differ. The live registry holds the whole
# footprint too, which the runs must leave as it is.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
[ -f "$programs/hive_file.exe" ] || die "no hive_file.exe in $programs: build the win-x64 preset"
import_reg "$WINEPREFIX" "$SCENARIO_DIR/offline-hives.reg"
mkdir -p "$WINEPREFIX/drive_c/offline/Windows/System32/config"
for hive in SYSTEM SOFTWARE; do
  wine_in "$WINEPREFIX" "$programs/hive_file.exe" save HKLM "Software\\KorvexTestHive\\$hive" \
    "C:\\offline\\Windows\\System32\\config\\$hive"
done
wine_retry "$WINEPREFIX" "the hive keys' deletion" reg delete 'HKLM\Software\KorvexTestHive' /f
