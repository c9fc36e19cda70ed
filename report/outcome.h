// What the run learned about itself on the way: whether the machine needs a
// restart, whether something of the product could not be removed, and
// whether a restart was requested and accepted. No phase returns a status;
// each notes here what it did, where it reports it, and a run with arguments
// turns the record into its exit code at the end.
//
// Who notes what, by what a restart would leave. The report notes what its
// messages say: "Can't open SCManager" and a registry deletion that failed
// with a code other than 0x2 (a key or value already gone is no failure) are
// failures. "Can't stop. Error - %d" is none by itself: a driver that will
// not stop is deleted all the same, and the restart removes it; the services
// phase notes that, or the failure of a service that stays
// (services/service_removal.h). The phases note what they do silently: a
// service, a service key or a class filter list changed (a restart is
// needed), and the silent failures of the services and driver registration
// phases (see each phase's header). Sweep deletions need no restart: nothing
// that loads at boot is left pointing at them.
#pragma once

#include <string>
#include <vector>

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
// A restart is needed, and the service goes with it: a service marked for
// deletion that had not stopped. The names, in the order noted.
void NoteRemovedAtRestart(const char16_t* service);
const std::vector<std::u16string>& RemovedAtRestart();
void NoteFailure();
void NoteRestartInitiated();
// A link key the run left alone rather than follow it (report::LinkNotFollowed),
// by its full name; true the first time the run notes that name, in any case.
bool NoteLinkLeft(const std::u16string& key);

}  // namespace report
