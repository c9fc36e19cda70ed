// In-memory service control manager that behaves as Windows does where the
// cleaner depends on it: names compared without regard to case, the rights of
// each handle enforced, a stop that may take several status queries to
// complete, and a deletion that only marks the service until it has stopped
// and its last handle is closed. Marking writes DeleteFlag (REG_DWORD 1) into
// the service's key, as the manager does on Windows, so that a service still
// running when its deletion was asked goes at the next start.
#include <algorithm>
#include <map>

#include "platform/memory/machine.h"
#include "platform/memory/registry_model.h"
#include "platform/memory/service_manager.h"
#include "platform/number_text.h"
#include "platform/services.h"

namespace memory {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
constexpr std::uint32_t kErrorCannotAcceptControl = 1061;
constexpr std::uint32_t kErrorServiceNotActive = 1062;
constexpr std::uint32_t kErrorMarkedForDelete = 1072;
constexpr std::uint32_t kDeleteRight = 0x10000;
constexpr std::uint32_t kOwnProcess = 0x10;
constexpr std::uint32_t kRegDword = 4;
constexpr std::u16string_view kServicesKey = u"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\";

struct Installed {
  ServiceModel model;
  std::uint32_t pollsLeft = 0;  // while stop pending
  std::uint32_t checkPoint = 0;
};

struct Handle {
  bool isManager = false;
  std::u16string service;  // as installed; empty for the manager
  std::uint32_t access = 0;
};

struct Manager {
  std::vector<Installed> services;
  std::map<std::uintptr_t, Handle> handles;
  std::uintptr_t nextHandle = 0x5000;
  std::uint32_t openError = 0;
  std::uint32_t lastError = 0;
  std::vector<std::string> calls;
  std::vector<std::uint32_t> sleeps;
  std::function<void(const std::string&)> observer;
};

Manager& State() {
  static Manager manager;
  return manager;
}

Installed* FindService(std::u16string_view name) {
  for (auto& service : State().services)
    if (SameName(service.model.name, name)) return &service;
  return nullptr;
}

// Logs the call; a failure also becomes the thread's last error. A success
// clears it, as several advapi32 calls do, so that a caller that reads it
// after another call sees the wrong code.
int Log(const std::string& call, std::uint32_t error) {
  auto& s = State();
  s.lastError = error;
  s.calls.push_back(call + (error ? " -> error " + std::to_string(error) : std::string(" -> ok")));
  if (s.observer) s.observer(s.calls.back());
  return error ? 0 : 1;
}

// The service behind a handle that carries the right needed, or null with the
// error to report.
Installed* ResolveService(platform::ServiceHandle handle, std::uint32_t needed, std::uint32_t* error,
                          std::string* name) {
  auto& s = State();
  auto found = s.handles.find(static_cast<std::uintptr_t>(handle));
  if (found == s.handles.end() || found->second.isManager) {
    *error = kErrorInvalidHandle;
    *name = "(bad handle)";
    return nullptr;
  }
  *name = Narrow(found->second.service);
  auto* service = FindService(found->second.service);
  if ((found->second.access & needed) != needed) {
    *error = kErrorAccessDenied;
    return nullptr;
  }
  *error = service ? 0 : kErrorInvalidHandle;
  return service;
}

void FillStatus(const Installed& service, platform::ServiceStatus* status) {
  const std::uint32_t state = service.model.state;
  *status = platform::ServiceStatus{};
  status->dwServiceType = kOwnProcess;
  status->dwCurrentState = state;
  status->dwControlsAccepted = state == platform::kServiceRunning ? 1u : 0u;
  status->dwCheckPoint = state == platform::kServiceStopPending ? service.checkPoint : 0;
  status->dwWaitHint = state == platform::kServiceStopPending ? 2000 : 0;
}

bool HandleOpenTo(std::u16string_view name) {
  for (const auto& [value, handle] : State().handles)
    if (!handle.isManager && SameName(handle.service, name)) return true;
  return false;
}

void RemoveIfDone(std::u16string_view name) {
  auto* service = FindService(name);
  if (!service || !service->model.markedForDelete || service->model.state != platform::kServiceStopped) return;
  if (HandleOpenTo(name)) return;
  DeleteNode(std::u16string(kServicesKey) + service->model.name);
  auto& services = State().services;
  services.erase(services.begin() + (service - services.data()));
}

platform::ServiceHandle NewHandle(Handle handle) {
  auto& s = State();
  auto value = s.nextHandle;
  s.nextHandle += 8;
  s.handles[value] = std::move(handle);
  return platform::ServiceHandle(value);
}

}  // namespace

void ResetServiceManager() { State() = Manager{}; }

void AddService(const ServiceModel& service) { State().services.push_back(Installed{service, service.pollsToStop}); }

void SetLastError(std::uint32_t error) { State().lastError = error; }

void FailManagerOpen(std::uint32_t error) { State().openError = error; }

bool ServiceExists(std::u16string_view name) { return FindService(name) != nullptr; }

std::uint32_t ServiceState(std::u16string_view name) {
  auto* service = FindService(name);
  return service ? service->model.state : 0;
}

bool ServiceMarkedForDelete(std::u16string_view name) {
  auto* service = FindService(name);
  return service && service->model.markedForDelete;
}

const std::vector<std::string>& ServiceCalls() { return State().calls; }
void ObserveServiceCalls(std::function<void(const std::string& call)> observer) {
  State().observer = std::move(observer);
}

const std::vector<std::uint32_t>& Sleeps() { return State().sleeps; }
std::size_t OpenServiceHandleCount() { return State().handles.size(); }

}  // namespace memory

namespace platform {

ServiceHandle OpenSCManagerW(std::uint32_t access) {
  auto& s = memory::State();
  const std::string call = "OpenSCManagerW 0x" + Hex<char>(access);
  if (s.openError) {
    memory::Log(call, s.openError);
    return kNullServiceHandle;
  }
  memory::Log(call, 0);
  return memory::NewHandle({true, u"", access});
}

ServiceHandle OpenServiceW(ServiceHandle manager, const char16_t* name, std::uint32_t access) {
  auto& s = memory::State();
  const std::string call = "OpenServiceW [" + memory::Narrow(name) + "] 0x" + Hex<char>(access);
  auto found = s.handles.find(static_cast<std::uintptr_t>(manager));
  if (found == s.handles.end() || !found->second.isManager) {
    memory::Log(call, memory::kErrorInvalidHandle);
    return kNullServiceHandle;
  }
  if (!(found->second.access & kScManagerConnect)) {
    memory::Log(call, memory::kErrorAccessDenied);
    return kNullServiceHandle;
  }
  auto* service = memory::FindService(name);
  if (!service) {
    memory::Log(call, memory::kErrorServiceDoesNotExist);
    return kNullServiceHandle;
  }
  if (service->model.markedForDelete && service->model.openRefusedWhenMarked) {
    memory::Log(call, memory::kErrorMarkedForDelete);
    return kNullServiceHandle;
  }
  if (service->model.refusedRights & access) {
    memory::Log(call, memory::kErrorAccessDenied);
    return kNullServiceHandle;
  }
  memory::Log(call, 0);
  return memory::NewHandle({false, service->model.name, access});
}

int QueryServiceStatus(ServiceHandle handle, ServiceStatus* status) {
  std::uint32_t error;
  std::string name;
  auto* service = memory::ResolveService(handle, kServiceQueryStatus, &error, &name);
  const std::string call = "QueryServiceStatus " + name;
  if (!service) return memory::Log(call, error);
  if (service->model.queryError) return memory::Log(call, service->model.queryError);
  if (service->model.state == kServiceStopPending && service->model.pollsToStop != memory::kNeverStops) {
    if (service->pollsLeft > 0) --service->pollsLeft;
    if (service->pollsLeft == 0) service->model.state = kServiceStopped;
  }
  ++service->checkPoint;
  memory::FillStatus(*service, status);
  return memory::Log(call, 0);
}

int ControlService(ServiceHandle handle, std::uint32_t control, ServiceStatus* status) {
  std::uint32_t error;
  std::string name;
  auto* service = memory::ResolveService(handle, control == kServiceControlStop ? kServiceStop : 0, &error, &name);
  const std::string call = "ControlService " + name + " " + std::to_string(control);
  if (!service) return memory::Log(call, error);
  if (service->model.stopError) return memory::Log(call, service->model.stopError);
  switch (service->model.state) {
    case kServiceStopped:
      return memory::Log(call, memory::kErrorServiceNotActive);
    case kServiceStopPending:
      return memory::Log(call, memory::kErrorCannotAcceptControl);
    default:
      break;
  }
  service->pollsLeft = service->model.pollsToStop;
  service->checkPoint = 0;
  service->model.state = service->pollsLeft == 0 ? kServiceStopped : kServiceStopPending;
  memory::FillStatus(*service, status);
  return memory::Log(call, 0);
}

int DeleteService(ServiceHandle handle) {
  std::uint32_t error;
  std::string name;
  auto* service = memory::ResolveService(handle, memory::kDeleteRight, &error, &name);
  const std::string call = "DeleteService " + name;
  if (!service) return memory::Log(call, error);
  if (service->model.markedForDelete) return memory::Log(call, memory::kErrorMarkedForDelete);
  service->model.markedForDelete = true;
  if (memory::Node* key = memory::FindNode(std::u16string(memory::kServicesKey) + service->model.name))
    memory::SetNodeValue(*key, u"DeleteFlag", memory::kRegDword, {1, 0, 0, 0});
  return memory::Log(call, 0);
}

int CloseServiceHandle(ServiceHandle handle) {
  auto& handles = memory::State().handles;
  auto found = handles.find(static_cast<std::uintptr_t>(handle));
  if (found == handles.end()) return memory::Log("CloseServiceHandle (bad handle)", memory::kErrorInvalidHandle);
  const memory::Handle closed = found->second;
  handles.erase(found);
  const int result = memory::Log(
      "CloseServiceHandle " + (closed.isManager ? std::string("SCManager") : memory::Narrow(closed.service)), 0);
  if (!closed.isManager) memory::RemoveIfDone(closed.service);
  return result;
}

std::uint32_t GetLastError() { return memory::State().lastError; }

void Sleep(std::uint32_t milliseconds) {
  auto& s = memory::State();
  s.sleeps.push_back(milliseconds);
  s.calls.push_back("Sleep " + std::to_string(milliseconds));
  if (s.observer) s.observer(s.calls.back());
}

}  // namespace platform
