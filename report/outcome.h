// What the run learned about itself on the way: whether the machine needs a
// restart, whether something of the product could not be removed, and
// whether a restart was requested and accepted. No phase returns a status;
// each notes here what it did, where it reports it, and a run with arguments
// turns the record into its exit code at the end.
//
// Who notes what. The report notes what its messages say: "Can't open
// SCManager", "Can't stop. Error - %d" (the service exists, since it was
// opened, and did not stop, whether it refused or did not answer in time) and
// a registry deletion that failed with a code other than 0x2 (a key or value
// already gone is no failure) are failures. The phases note what they do
// silently: a service, a service key or a class filter list changed (a
// restart is needed), and the silent failures of the services and driver
// registration phases (see each phase's header). Sweep deletions need no
// restart: nothing that loads at boot is left pointing at them.
#pragma once

namespace report {

struct RunOutcome {
  bool restartNeeded = false;     // the services, service keys or class filters were changed
  bool failed = false;            // something of the product could not be removed
  bool restartInitiated = false;  // a restart was requested and Windows accepted the request
};

// A clean record, for the start of a run.
void ResetOutcome();
const RunOutcome& Outcome();

void NoteRestartNeeded();
void NoteFailure();
void NoteRestartInitiated();

}  // namespace report
