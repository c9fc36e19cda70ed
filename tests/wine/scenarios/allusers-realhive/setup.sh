# The real user's hive (../shared/realhives) with the product's entries, in
# Wine's own hive format (real_hives.py convert, read back whole), as the
# NTUSER.DAT of the profile that the ProfileList entry names; on both sides,
# so that only the runs differ. The profile has no UsrClass.dat.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../real-hives.sh"
mkdir -p "$WINEPREFIX/drive_c/users/winscp"
real_hive "$WINEPREFIX" "$REAL_HIVES/NTUSER_with_winscp.DAT.xz" "$SCENARIO_DIR/ntuser-product.reg" \
  'C:\users\winscp\NTUSER.DAT'
