// Hive loading, passed straight to advapi32 and kernel32.
#include <windows.h>

#include "platform/hives.h"

namespace platform {
namespace {

HKEY Native(RegKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// TOKEN_PRIVILEGES with room for two entries.
struct TwoPrivileges {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[2];
};

}  // namespace

std::int32_t RegLoadKeyW(RegKey root, const char16_t* subKey, const char16_t* file) {
  return ::RegLoadKeyW(Native(root), Wide(subKey), Wide(file));
}

std::int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) {
  return ::RegUnLoadKeyW(Native(root), Wide(subKey));
}

std::uint32_t EnableHivePrivileges() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return ::GetLastError();
  TwoPrivileges wanted{};
  wanted.PrivilegeCount = 2;
  DWORD status = 0;
  if (!::LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.Privileges[0].Luid) ||
      !::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.Privileges[1].Luid)) {
    status = ::GetLastError();
  } else {
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    wanted.Privileges[1].Attributes = SE_PRIVILEGE_ENABLED;
    // Succeeds also when the token lacks one; only the last error tells.
    ::SetLastError(0);
    const BOOL adjusted = ::AdjustTokenPrivileges(token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), 0,
                                                  nullptr, nullptr);
    status = ::GetLastError();
    if (adjusted && status != ERROR_NOT_ALL_ASSIGNED) status = 0;
  }
  ::CloseHandle(token);
  return status;
}

std::uint32_t FileStatus(const char16_t* path) {
  return ::GetFileAttributesW(Wide(path)) == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : 0;
}

}  // namespace platform
