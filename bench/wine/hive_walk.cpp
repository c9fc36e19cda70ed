// A hive file loaded, walked and unloaded, for the benchmarks and scenarios of
// the real hives (tests/wine/real_hives.py makes the files).
//
//   hive_walk times ROOT KEY FILE ROUNDS
//     ROUNDS times: RegLoadKeyW of FILE at ROOT\KEY, one least walk of it
//     (least_walk.h), RegUnLoadKeyW; prints one line per round:
//     "load <ms> walk <ms> keys <n> unload <ms>".
//   hive_walk dump ROOT KEY FILE OUT
//     loads FILE at ROOT\KEY, writes every key and value below it to OUT
//     (real_hives.py same reads it), and unloads it again.
//   hive_walk hold ROOT KEY READY_FILE SECONDS
//     creates READY_FILE, then waits until ROOT\KEY opens and again until it
//     no longer does, polling every millisecond, and prints how long it was
//     there: "held <ms>". Gives up after SECONDS with 1.
//
// ROOT is HKLM or HKU. Exit code 0 on success, 1 on a failure, 2 on bad
// arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "bench/wine/least_walk.h"

namespace {

HKEY RootNamed(const wchar_t* name) {
  return !std::wcscmp(name, L"HKLM") ? HKEY_LOCAL_MACHINE : !std::wcscmp(name, L"HKU") ? HKEY_USERS : nullptr;
}

bool EnablePrivilege(const wchar_t* privilege) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = ::LookupPrivilegeValueW(nullptr, privilege, &wanted.Privileges[0].Luid) &&
                       ::AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr) &&
                       ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  return enabled;
}

double Milliseconds() {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Load(HKEY root, const wchar_t* key, const wchar_t* file) {
  const LONG status = ::RegLoadKeyW(root, key, file);
  if (status != ERROR_SUCCESS) std::fwprintf(stderr, L"hive_walk: RegLoadKeyW failed: %ld\n", status);
  return status == ERROR_SUCCESS;
}

bool Unload(HKEY root, const wchar_t* key) {
  const LONG status = ::RegUnLoadKeyW(root, key);
  if (status != ERROR_SUCCESS) std::fwprintf(stderr, L"hive_walk: RegUnLoadKeyW failed: %ld\n", status);
  return status == ERROR_SUCCESS;
}

int Times(HKEY root, const wchar_t* key, const wchar_t* file, unsigned long rounds) {
  for (unsigned long round = 0; round < rounds; ++round) {
    const double start = Milliseconds();
    if (!Load(root, key, file)) return 1;
    const double loaded = Milliseconds();
    HKEY hive = nullptr;
    unsigned long keys = 0;
    if (::RegOpenKeyExW(root, key, 0, KEY_READ, &hive) == ERROR_SUCCESS) {
      keys = bench::WalkKey(hive);
      ::RegCloseKey(hive);
    }
    const double walked = Milliseconds();
    if (!Unload(root, key)) return 1;
    std::printf("load %.1f walk %.1f keys %lu unload %.1f\n", loaded - start, walked - loaded, keys,
                Milliseconds() - walked);
  }
  return 0;
}

// Names and data as hexadecimal UTF-16 units and bytes, so that any name
// passes unchanged; "-" for none.
void Hex(std::FILE* out, const void* bytes, size_t count) {
  if (count == 0) std::fputs("-", out);
  const auto* byte = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < count; ++i) std::fprintf(out, "%02x", byte[i]);
}

void DumpKey(std::FILE* out, HKEY key, const std::wstring& path) {
  std::fputs("K ", out);
  Hex(out, path.data(), path.size() * sizeof(wchar_t));
  std::fputs("\n", out);
  DWORD subKeys = 0, longestSubKey = 0, values = 0, longestValueName = 0, largestData = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values,
                         &longestValueName, &largestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::wstring name(longestValueName + 1, L'\0');
  std::string data(largestData + 1, '\0');
  for (DWORD index = 0; index < values; ++index) {
    DWORD capacity = longestValueName + 1;
    DWORD dataBytes = largestData + 1;
    DWORD type = 0;
    if (::RegEnumValueW(key, index, name.data(), &capacity, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &dataBytes) != ERROR_SUCCESS)
      continue;
    std::fputs("V ", out);
    Hex(out, name.data(), capacity * sizeof(wchar_t));
    std::fprintf(out, " %lx ", type);
    Hex(out, data.data(), dataBytes);
    std::fputs("\n", out);
  }
  std::wstring subName(longestSubKey + 1, L'\0');
  for (DWORD index = 0; index < subKeys; ++index) {
    DWORD capacity = longestSubKey + 1;
    if (::RegEnumKeyExW(key, index, subName.data(), &capacity, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      continue;
    HKEY subKey = nullptr;
    if (::RegOpenKeyExW(key, subName.c_str(), 0, KEY_READ, &subKey) != ERROR_SUCCESS) continue;
    const std::wstring child(subName.data(), capacity);
    DumpKey(out, subKey, path.empty() ? child : path + L"\\" + child);
    ::RegCloseKey(subKey);
  }
}

int Dump(HKEY root, const wchar_t* key, const wchar_t* file, const wchar_t* outPath) {
  if (!Load(root, key, file)) return 1;
  std::FILE* out = _wfopen(outPath, L"wb");
  HKEY hive = nullptr;
  const bool opened = out && ::RegOpenKeyExW(root, key, 0, KEY_READ, &hive) == ERROR_SUCCESS;
  if (opened) {
    DumpKey(out, hive, L"");
    ::RegCloseKey(hive);
  }
  if (out) std::fclose(out);
  return Unload(root, key) && opened ? 0 : 1;
}

bool Opens(HKEY root, const wchar_t* key) {
  HKEY hive = nullptr;
  if (::RegOpenKeyExW(root, key, 0, KEY_READ, &hive) != ERROR_SUCCESS) return false;
  ::RegCloseKey(hive);
  return true;
}

int Hold(HKEY root, const wchar_t* key, const wchar_t* ready, unsigned long seconds) {
  const double deadline = Milliseconds() + 1000.0 * seconds;
  HANDLE file = ::CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(file);
  while (!Opens(root, key)) {
    if (Milliseconds() >= deadline) return 1;
    ::Sleep(1);
  }
  const double loaded = Milliseconds();
  while (Opens(root, key)) {
    if (Milliseconds() >= deadline) return 1;
    ::Sleep(1);
  }
  std::printf("held %.1f\n", Milliseconds() - loaded);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HKEY root = argc > 2 ? RootNamed(argv[2]) : nullptr;
  if (root && (argc == 6 || argc == 5) && !EnablePrivilege(L"SeRestorePrivilege")) return 1;
  if (root && argc == 6 && !std::wcscmp(argv[1], L"times"))
    return Times(root, argv[3], argv[4], std::wcstoul(argv[5], nullptr, 10));
  if (root && argc == 6 && !std::wcscmp(argv[1], L"dump")) return Dump(root, argv[3], argv[4], argv[5]);
  if (root && argc == 6 && !std::wcscmp(argv[1], L"hold"))
    return Hold(root, argv[3], argv[4], std::wcstoul(argv[5], nullptr, 10));
  std::fwprintf(
      stderr,
      L"usage: hive_walk times ROOT KEY FILE ROUNDS | dump ROOT KEY FILE OUT | hold ROOT KEY READY SECONDS\n");
  return 2;
}
