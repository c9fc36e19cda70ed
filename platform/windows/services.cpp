// The service control manager calls, passed straight to advapi32, with the
// local machine's active database; and the kernel's last error and Sleep.
#include <windows.h>

#include <cstddef>

#include "platform/services.h"

namespace platform {
namespace {

static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS), "ServiceStatus must match SERVICE_STATUS");
static_assert(offsetof(ServiceStatus, dwCurrentState) == offsetof(SERVICE_STATUS, dwCurrentState),
              "ServiceStatus must match SERVICE_STATUS");
static_assert(offsetof(ServiceStatus, dwWaitHint) == offsetof(SERVICE_STATUS, dwWaitHint),
              "ServiceStatus must match SERVICE_STATUS");

SC_HANDLE Native(ServiceHandle handle) { return reinterpret_cast<SC_HANDLE>(static_cast<std::uintptr_t>(handle)); }
ServiceHandle Wrap(SC_HANDLE handle) { return ServiceHandle(reinterpret_cast<std::uintptr_t>(handle)); }
SERVICE_STATUS* Native(ServiceStatus* status) { return reinterpret_cast<SERVICE_STATUS*>(status); }

}  // namespace

ServiceHandle OpenSCManagerW(std::uint32_t access) { return Wrap(::OpenSCManagerW(nullptr, nullptr, access)); }

ServiceHandle OpenServiceW(ServiceHandle manager, const char16_t* name, std::uint32_t access) {
  return Wrap(::OpenServiceW(Native(manager), reinterpret_cast<const wchar_t*>(name), access));
}

int QueryServiceStatus(ServiceHandle service, ServiceStatus* status) {
  return ::QueryServiceStatus(Native(service), Native(status));
}

int ControlService(ServiceHandle service, std::uint32_t control, ServiceStatus* status) {
  return ::ControlService(Native(service), control, Native(status));
}

int DeleteService(ServiceHandle service) { return ::DeleteService(Native(service)); }

int CloseServiceHandle(ServiceHandle handle) { return ::CloseServiceHandle(Native(handle)); }

std::uint32_t GetLastError() { return ::GetLastError(); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
