// Takes one of the product's services out of the service control manager:
// first stopped and waited for, then deleted. Each step opens its own
// connection to the local manager, reports on the console and closes what it
// opened; neither tells the caller how it went.
//
// Each notes in the run's record (report/outcome.h) that a restart is needed
// when it stopped or deleted the service, and a failure when a service that
// exists could not be stopped or deleted: the manager could not be opened,
// the service could not be opened for any reason but its absence (1060),
// the stop was refused or timed out, or the deletion was refused for any
// reason but an earlier deletion (1072): a service already marked for
// deletion goes as soon as it has stopped, which is what the run asked for.
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
// not be opened (silent), or refuses the stop request ("Can't stop. Error -
// %d\n" with the thread's last error), or after the poll limit above. Writes
// "Can't open SCManager\n" when the manager cannot be opened.
void StopService(const char16_t* name);

// Asks the manager to delete the named service: "Service was deleted\n" when
// it agrees; silent when the service is missing, may not be opened with the
// delete right, or the deletion is refused (already marked for deletion).
// Writes "Can't open SCManager\n" when the manager cannot be opened.
// Before the deletion, the service's key below HKEY_LOCAL_MACHINE and
// servicesPath, which the manager deletes with it, goes to the undo file when
// there is one (backup/undo_file.h); a key that cannot be saved keeps the
// service, and "[name]: NOT DELETED, ERR = 0x%X\n\n" says why.
void DeleteServiceByName(const char16_t* name, const char16_t* servicesPath);

}  // namespace services
