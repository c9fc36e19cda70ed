#include "services/service_removal.h"

#include <string>

#include "backup/undo_file.h"
#include "platform/access_masks.h"
#include "platform/services.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"
#include "report/report.h"

namespace services {
namespace {

using platform::ServiceHandle;
using platform::ServiceStatus;

enum class StopOutcome { AlreadyStopped, Stopped, NotStopped };

// A service that is missing is what the run wants, and one that the manager
// will not open because its deletion was asked for already (1072) goes at the
// restart; one that is there but may not be opened for another reason stays.
void NoteOpenFailure(std::uint32_t error) {
  if (error != platform::kErrorServiceDoesNotExist && error != platform::kErrorServiceMarkedForDelete)
    report::NoteFailure();
}

// Polls until the record reads stopped. The first test is on the status as
// it stands, so a service whose reply to the stop request already says
// stopped is not waited for. A failed query leaves the record as it was.
bool WaitForStop(ServiceHandle service, ServiceStatus& status) {
  for (std::uint32_t polls = 0; status.dwCurrentState != platform::kServiceStopped; ++polls) {
    if (polls == kStopPollLimit) return false;
    platform::Sleep(kStopPollInterval);
    platform::QueryServiceStatus(service, &status);
  }
  return true;
}

// A refusal is reported here, straight after the stop request, so that the
// code shown is the one that request left as the thread's last error.
StopOutcome RequestStop(ServiceHandle service) {
  ServiceStatus status{};
  // A failed query leaves the record zeroed, which does not read as stopped.
  platform::QueryServiceStatus(service, &status);
  if (status.dwCurrentState == platform::kServiceStopped) return StopOutcome::AlreadyStopped;
  if (!platform::ControlService(service, platform::kServiceControlStop, &status)) {
    report::StopRefused(platform::GetLastError());
    return StopOutcome::NotStopped;
  }
  if (!WaitForStop(service, status)) {
    report::StopRefused(kStopTimedOut);
    return StopOutcome::NotStopped;
  }
  return StopOutcome::Stopped;
}

// The key HKEY_LOCAL_MACHINE\servicesPath\name to the undo file; 0 when it is
// saved, is not there, or no undo file is open. A key that is there but may
// not be read is no "nothing to save": the manager would delete it unsaved.
std::int32_t SaveServiceKey(const char16_t* servicesPath, const char16_t* name) {
  const std::u16string path = std::u16string(servicesPath) + u"\\" + name;
  const std::int32_t saved = backup::SaveKeyAt(platform::kLocalMachine, path.c_str());
  return saved == platform::kFileNotFound ? 0 : saved;
}

}  // namespace

void StopService(const char16_t* name) {
  platform::UniqueServiceHandle manager(platform::OpenSCManagerW(platform::kScManagerConnect));
  if (!manager) {
    report::ServiceManagerUnavailable();
    return;
  }
  platform::UniqueServiceHandle service(platform::OpenServiceW(manager.get(), name, platform::kServiceStopAccess));
  if (!service) {
    NoteOpenFailure(platform::GetLastError());
    return;
  }
  const StopOutcome outcome = RequestStop(service.get());
  if (outcome == StopOutcome::NotStopped) {
    // After a refusal the manager is let go first, then the service.
    manager.reset();
    service.reset();
    return;
  }
  service.reset();
  if (outcome == StopOutcome::Stopped) {
    report::NoteRestartNeeded();
    report::ServiceStopped();
  }
  manager.reset();
}

void DeleteServiceByName(const char16_t* name, const char16_t* servicesPath) {
  platform::UniqueServiceHandle manager(platform::OpenSCManagerW(platform::kScManagerConnect));
  if (!manager) {
    report::ServiceManagerUnavailable();
    return;
  }
  platform::UniqueServiceHandle service(platform::OpenServiceW(manager.get(), name, platform::kServiceDeleteAccess));
  if (!service) {
    const std::uint32_t error = platform::GetLastError();
    // Marked for deletion by an earlier request, and so not stopped yet or
    // still held open: /scan lists it as pending the restart, and so does
    // the run.
    if (error == platform::kErrorServiceMarkedForDelete) report::NoteRemovedAtRestart(name);
    NoteOpenFailure(error);
    return;
  }
  // The manager deletes the service's key with it: the undo file gets it first.
  if (const std::int32_t saved = SaveServiceKey(servicesPath, name)) {
    report::KeyNotDeleted(name, saved);
    return;
  }
  const bool deleted = platform::DeleteService(service.get()) != 0;
  if (!deleted && platform::GetLastError() != platform::kErrorServiceMarkedForDelete) {
    report::NoteFailure();
  } else {
    if (deleted) {
      report::NoteRestartNeeded();
      report::ServiceDeleted();
    }
    // Marked for deletion, by this request or an earlier one: the manager
    // removes it once it has stopped, and a driver that would not stop stops
    // with the restart. A failed query leaves the record zeroed, which does
    // not read as stopped either.
    ServiceStatus status{};
    platform::QueryServiceStatus(service.get(), &status);
    if (status.dwCurrentState != platform::kServiceStopped) report::NoteRemovedAtRestart(name);
  }
  service.reset();
  manager.reset();
}

}  // namespace services
