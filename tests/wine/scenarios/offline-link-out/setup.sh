# The offline Windows' SYSTEM and SOFTWARE hives, in Wine's own format
# (RegSaveKeyW), each holding a link into the running system's registry;
# on both sides, so that only the runs differ. Wine keeps a link in a saved
# hive ("#link" in the file), and a link in a loaded hive resolves in the
# running registry, as on Windows.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
[ -f "$programs/link_keys.exe" ] || die "no link_keys.exe in $programs: build the win-x64 preset"
[ -f "$programs/hive_file.exe" ] || die "no hive_file.exe in $programs: build the win-x64 preset"
hive='Software\KorvexTestHive'
classes="$hive\\SOFTWARE\\Wow6432Node\\Classes"
volumes="$hive\\SYSTEM\\ControlSet001\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}"
mkdir -p "$WINEPREFIX/drive_c/offline/Windows/System32/config"
import_reg "$WINEPREFIX" "$SCENARIO_DIR/offline-link-out.reg"
wine_in "$WINEPREFIX" "$programs/link_keys.exe" link HKLM "$classes" 'Software\Classes\Wow6432Node' \
  "$volumes" 'Software\KorvexLive\VolumeClass'
for name in SYSTEM SOFTWARE; do
  wine_in "$WINEPREFIX" "$programs/hive_file.exe" save HKLM "$hive\\$name" "C:\\offline\\Windows\\System32\\config\\$name"
done
# The links go by themselves before the rest, which reg delete would follow.
wine_in "$WINEPREFIX" "$programs/link_keys.exe" unlink HKLM "$classes" "$volumes"
wine_retry "$WINEPREFIX" "the hive keys' deletion" reg delete 'HKLM\Software\KorvexTestHive' /f
for name in SYSTEM SOFTWARE; do
  grep -qa '^#link' "$WINEPREFIX/drive_c/offline/Windows/System32/config/$name" ||
    die "the saved $name hive keeps no link"
done
