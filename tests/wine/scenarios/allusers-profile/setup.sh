# Ann's hives, in Wine's own format (RegSaveKeyW), where her ProfileList entry
# says her profile is; on both sides, so that only the runs differ.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
[ -f "$programs/hive_file.exe" ] || die "no hive_file.exe in $programs: build the win-x64 preset"
import_reg "$WINEPREFIX" "$SCENARIO_DIR/ann-hives.reg"
mkdir -p "$WINEPREFIX/drive_c/users/ann/AppData/Local/Microsoft/Windows"
wine_in "$WINEPREFIX" "$programs/hive_file.exe" save HKLM 'Software\KorvexTestHive\ann' 'C:\users\ann\NTUSER.DAT'
wine_in "$WINEPREFIX" "$programs/hive_file.exe" save HKLM 'Software\KorvexTestHive\ann_Classes' \
  'C:\users\ann\AppData\Local\Microsoft\Windows\UsrClass.dat'
wine_retry "$WINEPREFIX" "the hive keys' deletion" reg delete 'HKLM\Software\KorvexTestHive' /f
