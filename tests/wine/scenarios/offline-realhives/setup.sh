# The offline Windows: its SYSTEM hive the real one (../shared/realhives) with
# the product added to its control set and class lists, a small SOFTWARE hive
# whose ProfileList names one profile, and that profile's NTUSER.DAT the real
# user's hive with the product's entries; all in Wine's own hive format
# (real_hives.py convert), on both sides, so that only the runs differ. Each
# file is then loaded by Wine and read back (hive_walk.exe dump) and must hold
# exactly the real hive's keys and values with the product's beside them.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../real-hives.sh"
config=$WINEPREFIX/drive_c/offline/Windows/System32/config
mkdir -p "$config" "$WINEPREFIX/drive_c/users/winscp"
real_hive "$WINEPREFIX" "$REAL_HIVES/SYSTEM_B.xz" "$SCENARIO_DIR/system-product.reg" \
  'C:\offline\Windows\System32\config\SYSTEM'
real_hive "$WINEPREFIX" - "$SCENARIO_DIR/software.reg" 'C:\offline\Windows\System32\config\SOFTWARE'
real_hive "$WINEPREFIX" "$REAL_HIVES/NTUSER_with_winscp.DAT.xz" "$SCENARIO_DIR/ntuser-product.reg" \
  'C:\users\winscp\NTUSER.DAT'
