# Ann's hives, in Wine's own format (RegSaveKeyW), where her ProfileList entry
# says her profile is; on both sides, so that only the runs differ.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
mkdir -p "$WINEPREFIX/drive_c/users/ann/AppData/Local/Microsoft/Windows"
save_hives "$WINEPREFIX" "$SCENARIO_DIR/ann-hives.reg" ann 'C:\users\ann\NTUSER.DAT' \
  ann_Classes 'C:\users\ann\AppData\Local\Microsoft\Windows\UsrClass.dat'
