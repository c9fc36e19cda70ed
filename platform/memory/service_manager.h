// Test controls of the in-memory service control manager: install services
// in the states and with the habits the cleaner has to cope with, bend the
// manager the way a real machine can be bent, and read back what was called
// and how long the cleaner would have slept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/services.h"

namespace memory {

// pollsToStop: no accepted stop ever completes; the service stays stop pending.
inline constexpr std::uint32_t kNeverStops = 0xFFFFFFFFu;

struct ServiceModel {
  std::u16string name;
  std::uint32_t state = platform::kServiceRunning;
  // Status queries after an accepted stop request that still read stop
  // pending, counting the one that reads stopped: 3 means two queries read
  // stop pending and the third reads stopped; 0 means the reply to the stop
  // request itself reads stopped.
  std::uint32_t pollsToStop = 0;
  // Nonzero: the stop request is refused and the thread's last error is this
  // code (1052 a control the service does not accept, 1051 dependents running).
  std::uint32_t stopError = 0;
  // Nonzero: every status query fails with this code and leaves the caller's
  // record as it was.
  std::uint32_t queryError = 0;
  // A deletion was already requested; another one fails with 1072.
  bool markedForDelete = false;
  // Asking OpenServiceW for any of these rights fails with 5, as a service's
  // security descriptor that withholds them would.
  std::uint32_t refusedRights = 0;
  // Once marked for deletion, OpenServiceW of it fails with 1072 whatever
  // the rights asked, as Windows' manager can answer ("[SC] OpenService
  // FAILED 1072" from sc.exe); otherwise it opens, and only the deletion
  // fails.
  bool openRefusedWhenMarked = false;
};

// A manager with no services that opens for everyone; also clears the call
// log, the recorded sleeps and the thread's last error. Leaves the registry
// and the console alone.
void ResetServiceManager();

void AddService(const ServiceModel& service);

// OpenSCManagerW fails with this code (5 when the caller is not an
// administrator) until the next reset.
void FailManagerOpen(std::uint32_t error);

// The thread's last error, as another platform call of the fake leaves it.
void SetLastError(std::uint32_t error);

// The manager removes a service once it is marked for deletion, stopped and
// no handle to it is open; with it goes its key under
// HKLM\System\CurrentControlSet\Services, as on Windows.
bool ServiceExists(std::u16string_view name);
std::uint32_t ServiceState(std::u16string_view name);   // 0 when missing
bool ServiceMarkedForDelete(std::u16string_view name);  // also DeleteFlag = 1 in its key, when it has one

// Every service control manager call and every Sleep since the reset, one line
// each, e.g. "OpenServiceW [Tarnvol] 0x34 -> ok", "Sleep 500",
// "CloseServiceHandle Tarnvol".
const std::vector<std::string>& ServiceCalls();

// Runs after every logged call with its log line, until the next reset: lets
// a test see what had been written to the console by the time of a call.
void ObserveServiceCalls(std::function<void(const std::string& call)> observer);

// The intervals passed to Sleep, in order; nothing actually sleeps.
const std::vector<std::uint32_t>& Sleeps();

// Manager and service handles opened and not yet closed.
std::size_t OpenServiceHandleCount();

}  // namespace memory
