#include "services/service_removal.h"

#include "platform/services.h"
#include "run/report.h"

namespace services {
namespace {

using platform::ServiceHandle;
using platform::ServiceStatus;

constexpr std::uint32_t kStopAccess =
    platform::kServiceStop | platform::kServiceStart | platform::kServiceQueryStatus;  // 0x0034
constexpr std::uint32_t kDeleteRight = 0x00010000;
constexpr std::uint32_t kDeleteAccess = kDeleteRight | kStopAccess;  // 0x10034

enum class StopOutcome { AlreadyStopped, Stopped, NotStopped };

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

}  // namespace

void StopService(const char16_t* name) {
  const ServiceHandle manager = platform::OpenSCManagerW(platform::kScManagerConnect);
  if (manager == platform::kNullServiceHandle) {
    report::ServiceManagerUnavailable();
    return;
  }
  const ServiceHandle service = platform::OpenServiceW(manager, name, kStopAccess);
  if (service == platform::kNullServiceHandle) {
    platform::CloseServiceHandle(manager);
    return;
  }
  const StopOutcome outcome = RequestStop(service);
  if (outcome == StopOutcome::NotStopped) {
    platform::CloseServiceHandle(manager);
    platform::CloseServiceHandle(service);
    return;
  }
  platform::CloseServiceHandle(service);
  if (outcome == StopOutcome::Stopped) report::ServiceStopped();
  platform::CloseServiceHandle(manager);
}

void DeleteServiceByName(const char16_t* name) {
  const ServiceHandle manager = platform::OpenSCManagerW(platform::kScManagerConnect);
  if (manager == platform::kNullServiceHandle) {
    report::ServiceManagerUnavailable();
    return;
  }
  const ServiceHandle service = platform::OpenServiceW(manager, name, kDeleteAccess);
  if (service == platform::kNullServiceHandle) {
    platform::CloseServiceHandle(manager);
    return;
  }
  if (platform::DeleteService(service)) report::ServiceDeleted();
  platform::CloseServiceHandle(service);
  platform::CloseServiceHandle(manager);
}

}  // namespace services
