// Takes one of the product's services out of the service control manager:
// first stopped and waited for, then deleted. Each step opens its own
// connection to the local manager, reports on the console and closes what it
// opened; neither tells the caller how it went.
//
// What each notes in the run's record (report/outcome.h) follows what a
// restart would leave. A service stopped or deleted needs a restart. A
// service that would not stop (the stop refused, or still stop pending at
// the bound below) and is then marked for deletion, by the deletion asked
// for here or by an earlier one (1072), goes at the restart: it is noted as
// removed at the restart, no failure. So is a service that the manager will
// not even open because an earlier deletion marked it (1072 from
// OpenServiceW), as /scan lists it pending the restart. A failure is what a
// restart does not mend, a service that stays: the manager could not be
// opened, the service could not be opened for any reason but its absence
// (1060) or an earlier deletion (1072), its deletion was refused for any
// reason but an earlier deletion (1072), or its key could not be saved to
// the undo file.
#pragma once

#include <cstdint>

namespace services {

inline constexpr std::uint32_t kStopPollInterval = 500;  // milliseconds

// The wait for a stop ends after this many polls (30 seconds) even if the
// service still is not stopped: a driver stuck in stop pending, or a status
// query that keeps failing, would otherwise hold the console forever. The
// step then writes "Can't stop. Error - 1053\n", the code Windows itself uses
// for a service that did not answer a control in time, and the run goes on to
// the deletion, which the manager completes once the service has stopped.
inline constexpr std::uint32_t kStopPollLimit = 60;
inline constexpr std::uint32_t kStopTimedOut = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT

// Stops the named service unless it is already stopped, and returns once it
// reads stopped ("Service stopped\n"), or at once when it is missing or may
// not be opened (silent; one already marked for deletion is no failure), or refuses the stop request ("Can't stop.
// Error - %d\n" with the thread's last error), or after the poll limit above. Writes "Can't open SCManager\n" when
// the manager cannot be opened.
void StopService(const char16_t* name);

// Asks the manager to delete the named service: "Service was deleted\n" when
// it agrees; silent when the service is missing, may not be opened with the
// delete right or at all (already marked for deletion), or the deletion is
// refused (already marked for deletion).
// Writes "Can't open SCManager\n" when the manager cannot be opened. Once
// the service is marked, its status is asked once more (the handle holds
// SERVICE_QUERY_STATUS): anything but stopped means the restart finishes the
// removal. On Windows the manager then writes DeleteFlag (REG_DWORD 1) into
// the service's key, which is how it knows at the next start.
// Before the deletion, the service's key below HKEY_LOCAL_MACHINE and
// servicesPath, which the manager deletes with it, goes to the undo file when
// there is one (backup/undo_file.h), before DeleteFlag is written. A key
// that is there but cannot be read or saved keeps the service, and "[name]:
// NOT DELETED, ERR = 0x%X\n\n" says why; only a key that is not there has
// nothing to save.
void DeleteServiceByName(const char16_t* name, const char16_t* servicesPath);

}  // namespace services
