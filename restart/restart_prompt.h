// The closing question of the cleaning run, and the reboot request on consent.
#pragma once

namespace restart {

// Asks in a message box whether to restart the computer now. On OK it enables
// the shutdown privilege in this process's own token and requests a planned
// reboot; any other answer ends the phase at once. It returns in every case,
// without waiting for the restart, and writes nothing to the console: a failed
// token, privilege or shutdown call ends the phase quietly. On a window
// station that nobody sees (no WSF_VISIBLE, as a deployment tool's SYSTEM
// session has), nothing is asked and nothing restarted.
void OfferRestart();

// The part of OfferRestart after OK, for a run told to restart without
// asking (/forcerestart): enables the shutdown privilege and requests the
// planned reboot, quietly in every case. When Windows accepts the request,
// the run's record notes that a restart was initiated (report/outcome.h).
void RequestRestart();

}  // namespace restart
