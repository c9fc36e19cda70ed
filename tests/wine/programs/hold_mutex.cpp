// Stands in for a cleaner that is running: owns the cleaner's machine-wide
// mutex until told to let go. Usage:
//   hold_mutex.exe NAME READY_FILE RELEASE_FILE SECONDS
// creates the mutex NAME owned, then READY_FILE, and holds the mutex until
// RELEASE_FILE exists (the scenario runner creates it once the cleaner has
// exited), then exits with 0. It gives up after SECONDS with 1; 2 when the
// mutex could not be had.
#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD kPollMs = 100;

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[4], nullptr, 10);
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, argv[1]);
  if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS) return 2;
  HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 2;
  ::CloseHandle(ready);
  bool released = Exists(argv[3]);
  while (!released && ::GetTickCount64() < deadline) {
    ::Sleep(kPollMs);
    released = Exists(argv[3]);
  }
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  return released ? 0 : 1;
}
