// Hive files for the scenarios that load a profile (/allusers).
//
//   hive_file save ROOT PATH FILE
//     saves the key ROOT\PATH with its subtree to FILE with RegSaveKeyW, in
//     Wine's own hive format, which RegLoadKeyW loads; a FILE already there is
//     replaced. SeBackupPrivilege is enabled first, which RegSaveKeyW needs.
//   hive_file watch READY_FILE RELEASE_FILE ROOT KEY RESULT_FILE SECONDS
//     holds the Wine session around one run of the cleaner, as
//     hold_session.exe does: creates READY_FILE, waits until RELEASE_FILE
//     exists (the runner creates it once the cleaner has exited), then writes
//     "loaded" or "not loaded" to RESULT_FILE: whether ROOT\KEY opens. A hive
//     the cleaner left loaded is gone with the session, so only a process of
//     that session can tell. Gives up after SECONDS with 1.
//
// ROOT is HKCU, HKLM or HKU. Exit code 0 on success, 1 on a failure, 2 on bad
// arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

HKEY RootNamed(const wchar_t* name) {
  return !std::wcscmp(name, L"HKCU")   ? HKEY_CURRENT_USER
         : !std::wcscmp(name, L"HKLM") ? HKEY_LOCAL_MACHINE
         : !std::wcscmp(name, L"HKU")  ? HKEY_USERS
                                       : nullptr;
}

bool EnableBackupPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = ::LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.Privileges[0].Luid) &&
                       ::AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr) &&
                       ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  return enabled;
}

int Save(HKEY root, const wchar_t* path, const wchar_t* file) {
  if (!EnableBackupPrivilege()) return 1;
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExW(root, path, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) {
    ::DeleteFileW(file);  // Windows refuses to save over a file
    status = ::RegSaveKeyW(key, file, nullptr);
    ::RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) std::fwprintf(stderr, L"hive_file save failed: %ld\n", status);
  return status == ERROR_SUCCESS ? 0 : 1;
}

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool WriteText(const wchar_t* path, const char* text) {
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr) != 0;
  ::CloseHandle(file);
  return ok;
}

int Watch(wchar_t** argv) {
  HKEY root = RootNamed(argv[2]);
  if (!root) return 2;
  const ULONGLONG deadline = ::GetTickCount64() + 1000ull * std::wcstoul(argv[5], nullptr, 10);
  if (!WriteText(argv[0], "")) return 1;
  while (!Exists(argv[1])) {
    if (::GetTickCount64() >= deadline) return 1;
    ::Sleep(100);
  }
  HKEY key = nullptr;
  const bool loaded = ::RegOpenKeyExW(root, argv[3], 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (loaded) ::RegCloseKey(key);
  return WriteText(argv[4], loaded ? "loaded\r\n" : "not loaded\r\n") ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && !std::wcscmp(argv[1], L"save")) {
    HKEY root = RootNamed(argv[2]);
    return root ? Save(root, argv[3], argv[4]) : 2;
  }
  if (argc == 8 && !std::wcscmp(argv[1], L"watch")) return Watch(argv + 2);
  std::fwprintf(stderr, L"usage: hive_file save ROOT PATH FILE | watch READY RELEASE ROOT KEY RESULT SECONDS\n");
  return 2;
}
