// Sets one registry value to exact bytes, which reg import cannot: string
// data without a closing NUL (reg import adds one).
//
//   set_value ROOT PATH NAME TYPE HEX     TYPE in hexadecimal, HEX as "41,00,42,00"
//
// ROOT is HKCU, HKLM or HKU. The unit after the data in the buffer is not a
// NUL, so that the registry stores the data as it is given. Exit code 0 on
// success, 1 on a failure, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) {
    std::fwprintf(stderr, L"usage: set_value ROOT PATH NAME TYPE HEX\n");
    return 2;
  }
  HKEY root = !std::wcscmp(argv[1], L"HKCU")   ? HKEY_CURRENT_USER
              : !std::wcscmp(argv[1], L"HKLM") ? HKEY_LOCAL_MACHINE
              : !std::wcscmp(argv[1], L"HKU")  ? HKEY_USERS
                                               : nullptr;
  if (!root) return 2;
  std::vector<BYTE> data;
  for (const wchar_t* at = argv[5]; *at;) {
    wchar_t* end = nullptr;
    data.push_back(static_cast<BYTE>(std::wcstoul(at, &end, 16)));
    at = *end == L',' ? end + 1 : end;
    if (end == at && *at) return 2;
  }
  const std::size_t size = data.size();
  data.push_back(0xFF);
  data.push_back(0xFF);
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyExW(root, argv[2], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(key, argv[3], 0, std::wcstoul(argv[4], nullptr, 16), data.data(),
                              static_cast<DWORD>(size));
    ::RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) std::fwprintf(stderr, L"set_value failed: %ld\n", status);
  return status == ERROR_SUCCESS ? 0 : 1;
}
