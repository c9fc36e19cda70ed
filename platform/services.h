// The service control manager calls the cleaner makes, one function per
// Win32 call, plus the thread's last error and the sleep of the stop poll.
#pragma once

#include <cstdint>

namespace platform {

enum class ServiceHandle : std::uintptr_t {};
constexpr ServiceHandle kNullServiceHandle = ServiceHandle(0);

// Same layout as SERVICE_STATUS.
struct ServiceStatus {
  std::uint32_t dwServiceType;
  std::uint32_t dwCurrentState;
  std::uint32_t dwControlsAccepted;
  std::uint32_t dwWin32ExitCode;
  std::uint32_t dwServiceSpecificExitCode;
  std::uint32_t dwCheckPoint;
  std::uint32_t dwWaitHint;
};

constexpr std::uint32_t kScManagerConnect = 0x0001;
constexpr std::uint32_t kServiceQueryStatus = 0x0004;
constexpr std::uint32_t kServiceStart = 0x0010;
constexpr std::uint32_t kServiceStop = 0x0020;
constexpr std::uint32_t kServiceControlStop = 1;

constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
constexpr std::uint32_t kErrorServiceNotActive = 1062;
constexpr std::uint32_t kErrorServiceMarkedForDelete = 1072;

constexpr std::uint32_t kServiceStopped = 1;
constexpr std::uint32_t kServiceStartPending = 2;
constexpr std::uint32_t kServiceStopPending = 3;
constexpr std::uint32_t kServiceRunning = 4;

// OpenSCManagerW(nullptr, nullptr, access): the local machine's active database.
ServiceHandle OpenSCManagerW(std::uint32_t access);
ServiceHandle OpenServiceW(ServiceHandle manager, const char16_t* name, std::uint32_t access);
// Results are nonzero on success, as the Win32 BOOL.
int QueryServiceStatus(ServiceHandle service, ServiceStatus* status);
int ControlService(ServiceHandle service, std::uint32_t control, ServiceStatus* status);
int DeleteService(ServiceHandle service);
int CloseServiceHandle(ServiceHandle handle);

std::uint32_t GetLastError();
void Sleep(std::uint32_t milliseconds);

}  // namespace platform
