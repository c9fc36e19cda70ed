// Plants and removes symbolic link keys, which reg.exe cannot make, for the
// scenarios that check the cleaner against a hostile user's hive.
//
//   link_keys link ROOT PATH TARGET [PATH TARGET ...]
//                                     makes each ROOT\PATH a link to
//                                     ROOT\TARGET, which must exist
//   link_keys unlink ROOT PATH [PATH ...]
//                                     deletes each link key ROOT\PATH itself,
//                                     never the key it points at
//   link_keys chain ROOT PATH COUNT   makes COUNT keys ROOT\PATH\C<n>, each
//                                     holding a link L to the next
//   link_keys unchain ROOT PATH COUNT deletes those links and keys again
//
// ROOT is HKCU, HKLM or HKU. Prints one line per failure on standard error;
// exit code 0 on success, 1 on a failure, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using NtQueryKeyCall = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using NtDeleteKeyCall = LONG(WINAPI*)(HANDLE);

FARPROC Ntdll(const char* name) { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name); }

HKEY RootNamed(const wchar_t* name) {
  if (!std::wcscmp(name, L"HKCU")) return HKEY_CURRENT_USER;
  if (!std::wcscmp(name, L"HKLM")) return HKEY_LOCAL_MACHINE;
  if (!std::wcscmp(name, L"HKU")) return HKEY_USERS;
  return nullptr;
}

int Fail(const wchar_t* what, LONG status) {
  std::fwprintf(stderr, L"%ls failed: %ld\n", what, status);
  return 1;
}

// The kernel's name of a key, "\REGISTRY\USER\<sid>\...", which is what a
// link's SymbolicLinkValue must hold.
std::wstring KernelName(HKEY key) {
  auto query = reinterpret_cast<NtQueryKeyCall>(reinterpret_cast<void*>(Ntdll("NtQueryKey")));
  std::vector<ULONG> buffer(8192);
  ULONG needed = 0;
  constexpr int kKeyNameInformation = 3;
  if (!query || query(key, kKeyNameInformation, buffer.data(), buffer.size() * sizeof(ULONG), &needed) != 0)
    return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), buffer[0] / sizeof(wchar_t));
}

int Link(HKEY root, const wchar_t* path, const wchar_t* target) {
  HKEY targetKey = nullptr;
  LONG status = ::RegOpenKeyExW(root, target, 0, KEY_READ, &targetKey);
  if (status != ERROR_SUCCESS) return Fail(L"opening the target", status);
  std::wstring name = KernelName(targetKey);
  ::RegCloseKey(targetKey);
  if (name.empty()) return Fail(L"NtQueryKey on the target", 0);

  HKEY link = nullptr;
  status = ::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr, &link, nullptr);
  if (status != ERROR_SUCCESS) return Fail(L"creating the link key", status);
  // The target's name without a terminator, as the kernel expects it.
  status = ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.data()),
                            static_cast<DWORD>(name.size() * sizeof(wchar_t)));
  ::RegCloseKey(link);
  if (status != ERROR_SUCCESS) return Fail(L"setting SymbolicLinkValue", status);
  return 0;
}

int Unlink(HKEY root, const wchar_t* path) {
  auto deleteKey = reinterpret_cast<NtDeleteKeyCall>(reinterpret_cast<void*>(Ntdll("NtDeleteKey")));
  HKEY link = nullptr;
  LONG status = ::RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, DELETE | KEY_QUERY_VALUE, &link);
  if (status != ERROR_SUCCESS) return Fail(L"opening the link key", status);
  // RegDeleteKeyW would follow the link and delete its target.
  status = deleteKey ? deleteKey(link) : -1;
  ::RegCloseKey(link);
  if (status != 0) return Fail(L"NtDeleteKey", status);
  return 0;
}

// The chain's n-th key, with five digits so that they enumerate in order.
std::wstring ChainKey(const wchar_t* path, int n) {
  wchar_t digits[16];
  std::swprintf(digits, 16, L"%05d", n);
  return std::wstring(path) + L"\\C" + digits;
}

int Chain(HKEY root, const wchar_t* path, int count) {
  for (int n = 0; n < count; ++n) {
    HKEY key = nullptr;
    const LONG status = ::RegCreateKeyExW(root, ChainKey(path, n).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                          &key, nullptr);
    if (status != ERROR_SUCCESS) return Fail(L"creating a chain key", status);
    ::RegCloseKey(key);
  }
  for (int n = 0; n + 1 < count; ++n)
    if (Link(root, (ChainKey(path, n) + L"\\L").c_str(), ChainKey(path, n + 1).c_str())) return 1;
  return 0;
}

int Unchain(HKEY root, const wchar_t* path, int count) {
  for (int n = 0; n + 1 < count; ++n)
    if (Unlink(root, (ChainKey(path, n) + L"\\L").c_str())) return 1;
  for (int n = 0; n < count; ++n) {
    const LONG status = ::RegDeleteKeyW(root, ChainKey(path, n).c_str());
    if (status != ERROR_SUCCESS) return Fail(L"deleting a chain key", status);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HKEY root = argc > 2 ? RootNamed(argv[2]) : nullptr;
  int failures = 0;
  if (root && argc >= 5 && argc % 2 == 1 && !std::wcscmp(argv[1], L"link")) {
    for (int i = 3; i < argc; i += 2) failures += Link(root, argv[i], argv[i + 1]);
    return failures ? 1 : 0;
  }
  if (root && argc >= 4 && !std::wcscmp(argv[1], L"unlink")) {
    for (int i = 3; i < argc; ++i) failures += Unlink(root, argv[i]);
    return failures ? 1 : 0;
  }
  if (root && argc == 5 && !std::wcscmp(argv[1], L"chain"))
    return Chain(root, argv[3], std::wcstol(argv[4], nullptr, 10));
  if (root && argc == 5 && !std::wcscmp(argv[1], L"unchain"))
    return Unchain(root, argv[3], std::wcstol(argv[4], nullptr, 10));
  std::fwprintf(stderr,
                L"usage: link_keys link ROOT PATH TARGET [PATH TARGET ...] | unlink ROOT PATH [PATH ...] |"
                L" chain ROOT PATH COUNT | unchain ROOT PATH COUNT\n");
  return 2;
}
