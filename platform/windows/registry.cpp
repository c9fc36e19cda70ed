// The registry calls, passed straight to advapi32: options 0, no class, no
// time, no registry-view flag.
#include <windows.h>

#include <vector>

#include "platform/registry.h"

namespace platform {
namespace {

HKEY Native(RegKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
DWORD* Dword(std::uint32_t* value) { return reinterpret_cast<DWORD*>(value); }

}  // namespace

std::int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, std::uint32_t access, RegKey* result) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyExW(Native(parent), Wide(subKey), 0, access, &opened);
  if (status == ERROR_SUCCESS) *result = RegKey(reinterpret_cast<std::uintptr_t>(opened));
  return status;
}

std::int32_t RegQueryInfoKeyW(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLength,
                              std::uint32_t* values, std::uint32_t* maxValueNameLength,
                              std::uint32_t* maxValueBytes) {
  return ::RegQueryInfoKeyW(Native(key), nullptr, nullptr, nullptr, Dword(subKeys), Dword(maxSubKeyLength), nullptr,
                            Dword(values), Dword(maxValueNameLength), Dword(maxValueBytes), nullptr, nullptr);
}

std::int32_t RegEnumKeyExW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars) {
  return ::RegEnumKeyExW(Native(key), index, Wide(name), Dword(nameChars), nullptr, nullptr, nullptr, nullptr);
}

std::int32_t RegEnumValueW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataBytes) {
  return ::RegEnumValueW(Native(key), index, Wide(name), Dword(nameChars), nullptr, Dword(type), data,
                         Dword(dataBytes));
}

std::int32_t RegQueryValueExW(RegKey key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataBytes) {
  return ::RegQueryValueExW(Native(key), Wide(name), nullptr, Dword(type), data, Dword(dataBytes));
}

std::int32_t RegSetValueExW(RegKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t dataBytes) {
  return ::RegSetValueExW(Native(key), Wide(name), 0, type, data, dataBytes);
}

std::int32_t RegDeleteValueW(RegKey key, const char16_t* name) { return ::RegDeleteValueW(Native(key), Wide(name)); }

std::int32_t RegCloseKey(RegKey key) { return ::RegCloseKey(Native(key)); }

std::int32_t RegOpenLinkKeyW(RegKey parent, const char16_t* name, std::uint32_t access, RegKey* result) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyExW(Native(parent), Wide(name), REG_OPTION_OPEN_LINK, access, &opened);
  if (status == ERROR_SUCCESS) *result = RegKey(reinterpret_cast<std::uintptr_t>(opened));
  return status;
}

}  // namespace platform

namespace platform {

bool IsLinkKey(RegKey parent, const char16_t* name) {
  HKEY link = nullptr;
  // A key that is there but will not open as itself cannot be told from a
  // link, and a link taken for a key is deleted through its name, target and
  // all. A name that is not there is no link.
  const LONG status = ::RegOpenKeyExW(Native(parent), Wide(name), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &link);
  if (status != ERROR_SUCCESS) return status != ERROR_FILE_NOT_FOUND;
  const bool isLink = IsLinkKey(RegKey(reinterpret_cast<std::uintptr_t>(link)));
  ::RegCloseKey(link);
  return isLink;
}

namespace {

// ntdll calls are looked up at run time in ntdll, which every process has
// loaded, so the executable's import table keeps naming only the usual system
// DLLs.
FARPROC Ntdll(const char* name) { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name); }

}  // namespace

// RegDeleteKeyW would open the key by name again and follow a link; NtDeleteKey
// deletes the very key the handle was opened on.
std::int32_t DeleteOpenKey(RegKey key) {
  using NtDeleteKeyCall = LONG(WINAPI*)(HANDLE);
  using ToDosErrorCall = ULONG(WINAPI*)(LONG);
  static const auto ntDeleteKey = reinterpret_cast<NtDeleteKeyCall>(reinterpret_cast<void*>(Ntdll("NtDeleteKey")));
  static const auto toDosError = reinterpret_cast<ToDosErrorCall>(
      reinterpret_cast<void*>(Ntdll("RtlNtStatusToDosError")));
  if (!ntDeleteKey || !toDosError) return ERROR_CALL_NOT_IMPLEMENTED;
  return static_cast<std::int32_t>(toDosError(ntDeleteKey(reinterpret_cast<HANDLE>(Native(key)))));
}

bool IsLinkKey(RegKey key) {
  using NtQueryKeyCall = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto ntQueryKey = reinterpret_cast<NtQueryKeyCall>(reinterpret_cast<void*>(Ntdll("NtQueryKey")));
  constexpr int kKeyFlagsInformation = 5;
  constexpr ULONG kKeyFlagLink = 0x2;
  // KEY_FLAGS_INFORMATION: Wow64Flags, KeyFlags, ControlFlags.
  ULONG flags[3] = {};
  ULONG needed = 0;
  if (ntQueryKey &&
      ntQueryKey(reinterpret_cast<HANDLE>(Native(key)), kKeyFlagsInformation, flags, sizeof flags, &needed) == 0)
    return (flags[1] & kKeyFlagLink) != 0;
  // Without the flag, only a key that plainly lacks the link value is no
  // link; one whose value cannot be read counts as one.
  DWORD type = REG_NONE;
  const LONG status = ::RegQueryValueExW(Native(key), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  return status != ERROR_SUCCESS || type == REG_LINK;
}

std::u16string KeyObjectName(RegKey key) {
  using NtQueryKeyCall = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto ntQueryKey = reinterpret_cast<NtQueryKeyCall>(reinterpret_cast<void*>(Ntdll("NtQueryKey")));
  constexpr int kKeyNameInformation = 3;
  if (!ntQueryKey) return {};
  std::vector<ULONG> buffer(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ULONG needed = 0;
    LONG status = ntQueryKey(reinterpret_cast<HANDLE>(Native(key)), kKeyNameInformation, buffer.data(),
                             static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &needed);
    if (status == 0) {
      // KEY_NAME_INFORMATION: the name's length in bytes, then the name.
      auto* text = reinterpret_cast<const char16_t*>(buffer.data() + 1);
      return std::u16string(text, buffer[0] / 2);
    }
    if (needed <= buffer.size() * sizeof(ULONG)) return {};
    buffer.resize(needed / sizeof(ULONG) + 1);
  }
  return {};
}

}  // namespace platform
