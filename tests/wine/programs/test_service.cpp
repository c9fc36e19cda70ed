// A service for the Wine scenarios that stands in for the product's services.
// Its command line (the service's binary path) says how it answers a stop
// request:
//   test_service.exe stop-at-once
//       reports stopped from the control handler, so the reply to the stop
//       request already reads stopped;
//   test_service.exe stop-pending MILLISECONDS
//       reports stop pending, then stopped once that time has passed;
//   test_service.exe refuse-stop
//       does not accept the stop control at all and runs until its process
//       is ended (hold_session.exe ends it once the cleaner has run).
// It reports running at once, never start pending, so that the service is
// running by the time "sc start" returns. Anything else on the command line:
// the process exits with code 2.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace {

enum class Mode { StopAtOnce, StopPending, RefuseStop };

Mode mode = Mode::StopAtOnce;
DWORD delayMs = 0;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;
DWORD checkPoint = 0;

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING && mode != Mode::RefuseStop ? SERVICE_ACCEPT_STOP : 0;
  status.dwCheckPoint = state == SERVICE_STOP_PENDING ? ++checkPoint : 0;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? delayMs + 1000 : 0;
  ::SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (mode == Mode::RefuseStop) return ERROR_CALL_NOT_IMPLEMENTED;
      // The status reported here is the one the stop request's reply carries.
      Report(mode == Mode::StopAtOnce ? SERVICE_STOPPED : SERVICE_STOP_PENDING);
      ::SetEvent(stopRequested);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  statusHandle = ::RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", Control, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(stopRequested, INFINITE);
  if (mode == Mode::StopPending) {
    ::Sleep(delayMs);
    Report(SERVICE_STOPPED);
  }
}

bool ReadMode(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"stop-at-once") == 0) mode = Mode::StopAtOnce;
  else if (argc == 2 && std::wcscmp(argv[1], L"refuse-stop") == 0) mode = Mode::RefuseStop;
  else if (argc == 3 && std::wcscmp(argv[1], L"stop-pending") == 0) mode = Mode::StopPending;
  else return false;
  if (argc == 3) delayMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!ReadMode(argc, argv)) return 2;
  stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // An own-process service: the manager ignores the name in the table.
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
