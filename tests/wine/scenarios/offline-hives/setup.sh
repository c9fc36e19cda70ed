# The offline Windows' SYSTEM and SOFTWARE hives, in Wine's own format
# (RegSaveKeyW), where /offline C:\offline\Windows looks for them; on both
# sides, so that only the runs differ. The live registry holds the whole
# footprint too, which the runs must leave as it is.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
mkdir -p "$WINEPREFIX/drive_c/offline/Windows/System32/config"
save_hives "$WINEPREFIX" "$SCENARIO_DIR/offline-hives.reg" SYSTEM 'C:\offline\Windows\System32\config\SYSTEM' \
  SOFTWARE 'C:\offline\Windows\System32\config\SOFTWARE'
