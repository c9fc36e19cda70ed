# A restart is what ends a session, and the runner ends the session after
# each run; so the run that leaves the driver marked for deletion is made
# here, in the session the first /scan runs in: Tarnvol runs and refuses to
# stop, the cleaner deletes it (3010) and its key, and the service control
# manager keeps the still running service until its process ends. The first
# /scan then sees it marked with its key gone: pending the restart, 3010. The
# second /scan runs in a new session, as after the restart: nothing, 0.
set -euo pipefail
source "$FIXTURES_DIR/../lib.sh"
source "$FIXTURES_DIR/../service-helpers.sh"
start_services Tarnvol
exit_code_exe=$(dirname "$KORVEX_EXE")/tests/wine/programs/exit_code.exe
rm -f "$WINEPREFIX/drive_c/korvex-exit-code.txt"
wine_in "$WINEPREFIX" "$exit_code_exe" 'C:\korvex-exit-code.txt' "Z:$(realpath "$KORVEX_EXE" | tr / '\\')" \
  /quiet /norestart >/dev/null 2>&1 || true
rc=$(tr -d '\r\n' < "$WINEPREFIX/drive_c/korvex-exit-code.txt" 2>/dev/null || echo none)
[ "$rc" = 3010 ] || die "the run before the /scan exited with $rc, not 3010"
