// Keeps a Wine session alive around one run of the cleaner. Wine stops every
// service once the last ordinary process of the session has ended, so the
// services a scenario starts would be gone before the cleaner could meet
// them. Usage:
//   hold_session.exe READY_FILE RELEASE_FILE SECONDS
// creates READY_FILE once it is running and holds the session until
// RELEASE_FILE exists (the scenario runner creates it once the cleaner has
// exited). It then ends every test_service.exe process still running (one
// that refused to stop would otherwise hold the prefix open), waits until
// each of them is gone, and exits with 0. It gives up after SECONDS with 1.
//
// The release is told, not observed: watching the process list for the
// cleaner's end could miss a short run, or take the next run's cleaner for
// the one it waits for and hold its services into that run.
#include <windows.h>

// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

constexpr DWORD kPollMs = 100;
constexpr DWORD kProcessEndMs = 30000;

std::vector<DWORD> ProcessesNamed(const wchar_t* name) {
  std::vector<DWORD> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
    if (::_wcsicmp(entry.szExeFile, name) == 0) ids.push_back(entry.th32ProcessID);
  ::CloseHandle(snapshot);
  return ids;
}

// Ends each test service process and waits, bounded, until it has ended, so
// that the session winds down right after this program exits. False when one
// of them outlived the bound.
bool EndTestServices() {
  bool allEnded = true;
  for (DWORD id : ProcessesNamed(L"test_service.exe")) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) continue;  // already gone
    ::TerminateProcess(process, 0);
    if (::WaitForSingleObject(process, kProcessEndMs) != WAIT_OBJECT_0) allEnded = false;
    ::CloseHandle(process);
  }
  return allEnded;
}

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const wchar_t* releaseFile = argv[2];
  const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[3], nullptr, 10);
  HANDLE ready = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(ready);
  bool released = Exists(releaseFile);
  while (!released && ::GetTickCount64() < deadline) {
    ::Sleep(kPollMs);
    released = Exists(releaseFile);
  }
  const bool ended = EndTestServices();
  return released && ended ? 0 : 1;
}
