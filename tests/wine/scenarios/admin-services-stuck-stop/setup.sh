# Tarnvol accepts the stop request and then stays stop pending for two
# minutes, far past the cleaner's 30-second bound: "Can't stop. Error - 1053",
# the deletion only marks it, the key phase deletes its key, and the run
# exits 3010, since the restart finishes the removal. The one scenario that
# waits the whole bound.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../service-helpers.sh"
install_test_programs
create_test_service Tarnvol stop-pending 120000
