# Tarnvol runs and does not accept the stop control: the manager refuses the
# stop request with 1052, the deletion only marks the still running service,
# and its key is left to the key phase. TarnvolRec is a kernel driver that was
# never started: no stop request, and the manager removes it with its key as
# soon as the deletion's handle is closed. The second run finds neither
# service, which shows that the manager let go of Tarnvol once its process
# had ended.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../service-helpers.sh"
install_test_programs
create_test_service Tarnvol refuse-stop
create_driver_service TarnvolRec
