// Keeps a Wine session alive around one run of the cleaner. Wine stops every
// service once the last ordinary process of the session has ended, so the
// services a scenario starts would be gone before the cleaner could meet
// them. Usage:
//   hold_session.exe READY_FILE SECONDS
// creates READY_FILE once it is running, waits for a process named
// korvex-cleaner.exe to start and end, then ends every test_service.exe
// process still running (one that refused to stop would otherwise hold the
// prefix open) and exits with 0. It gives up after SECONDS with 1.
#include <windows.h>

// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <cstdlib>
#include <cwchar>

namespace {

// Calls visit for each running process named name.
template <typename Visit>
void ForEachProcess(const wchar_t* name, Visit visit) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
    if (::_wcsicmp(entry.szExeFile, name) == 0) visit(entry.th32ProcessID);
  ::CloseHandle(snapshot);
}

bool CleanerRunning() {
  bool found = false;
  ForEachProcess(L"korvex-cleaner.exe", [&](DWORD) { found = true; });
  return found;
}

void EndTestServices() {
  ForEachProcess(L"test_service.exe", [](DWORD id) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (!process) return;
    ::TerminateProcess(process, 0);
    ::CloseHandle(process);
  });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[2], nullptr, 10);
  HANDLE ready = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(ready);
  bool seen = false;
  while (::GetTickCount64() < deadline) {
    const bool running = CleanerRunning();
    if (seen && !running) {
      EndTestServices();
      return 0;
    }
    seen = seen || running;
    ::Sleep(100);
  }
  EndTestServices();
  return 1;
}
