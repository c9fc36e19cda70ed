// Stands in for a cleaner that is running: owns the cleaner's machine-wide
// mutex until told to let go. Usage:
//   hold_mutex.exe NAME READY_FILE RELEASE_FILE SECONDS [FALLBACK]
// creates the mutex NAME owned, then READY_FILE, and holds the mutex until
// RELEASE_FILE exists (the scenario runner creates it once the cleaner has
// exited), then exits with 0. A NAME "prefix\name" is taken in the
// administrators' private namespace prefix, as the cleaner takes its own;
// where the system has no private namespaces (Wine), FALLBACK is taken
// instead, again as the cleaner does. It gives up after SECONDS with 1; 2
// when the mutex could not be had.
//   hold_mutex.exe --event NAME READY_FILE RELEASE_FILE SECONDS
// holds an event of that name instead, as any user may make one first.
#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/environment.h"

namespace {

constexpr DWORD kPollMs = 100;

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool event = argc > 1 && std::wcscmp(argv[1], L"--event") == 0;
  if (event) {
    --argc;
    ++argv;
  }
  if (argc != 5 && argc != 6) return 2;
  const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[4], nullptr, 10);
  const std::wstring name = argv[1];
  const wchar_t* taken = argv[1];
  const std::size_t slash = name.find(L'\\');
  if (slash != std::wstring::npos && name.compare(0, slash, L"Global") != 0) {
    platform::NamespaceHandle place{};
    const std::u16string prefix(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(slash));
    const std::uint32_t status = platform::OpenAdministratorsNamespace(prefix.c_str(), &place);
    if (status == platform::kErrorCallNotImplemented && argc == 6) taken = argv[5];
    else if (status != 0) return 2;
  }
  HANDLE mutex = event ? ::CreateEventW(nullptr, TRUE, FALSE, taken) : ::CreateMutexW(nullptr, TRUE, taken);
  if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS) return 2;
  HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 2;
  ::CloseHandle(ready);
  bool released = Exists(argv[3]);
  while (!released && ::GetTickCount64() < deadline) {
    ::Sleep(kPollMs);
    released = Exists(argv[3]);
  }
  if (!event) ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  return released ? 0 : 1;
}
