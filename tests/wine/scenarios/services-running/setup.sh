# Tarnvol answers the stop request with stop pending and stops 1.5 seconds
# later (three or four polls, far below the wait's bound); TarnvolRec reports
# stopped in its reply. Both are then deleted, and the manager removes their
# keys as the deletion's handle closes, so the key phase finds neither (nor
# any of the five drivers).
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../service-helpers.sh"
install_test_programs
create_test_service Tarnvol stop-pending 1500
create_test_service TarnvolRec stop-at-once
