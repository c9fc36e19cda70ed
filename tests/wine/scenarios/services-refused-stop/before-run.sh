set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../service-helpers.sh"
start_services Tarnvol
