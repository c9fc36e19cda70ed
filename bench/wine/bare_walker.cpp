// The least walk of the five roots: one query per key, then its values and
// subkeys, and nothing else: no path, no matching, no list. The Wine
// benchmark times the cleaner beside it. Prints the number of keys
// visited in each root.
#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

// One query per key for its counts and sizes, then its values and its
// subkeys enumerated: the floor any walk of the registry pays.
unsigned long WalkKey(HKEY key) {
  unsigned long visited = 1;
  DWORD subKeys = 0, longestSubKey = 0, values = 0, longestValueName = 0, largestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestValueName,
                       &largestData, nullptr, nullptr) != ERROR_SUCCESS)
    return visited;
  if (values > 0) {
    std::unique_ptr<wchar_t[]> name(new wchar_t[longestValueName + 1]);
    std::unique_ptr<wchar_t[]> data;
    if (largestData > 0) data.reset(new wchar_t[(largestData + 1) / 2]);
    for (DWORD index = 0; index < values; ++index) {
      DWORD capacity = longestValueName + 1;
      DWORD dataBytes = largestData;
      DWORD type = 0;
      RegEnumValueW(key, index, name.get(), &capacity, nullptr, &type, reinterpret_cast<BYTE*>(data.get()),
                    &dataBytes);
    }
  }
  std::unique_ptr<wchar_t[]> name(new wchar_t[longestSubKey + 1]);
  for (DWORD index = 0; index < subKeys; ++index) {
    DWORD capacity = longestSubKey + 1;
    if (RegEnumKeyExW(key, index, name.get(), &capacity, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      continue;
    HKEY subKey = nullptr;
    if (RegOpenKeyExW(key, name.get(), 0, KEY_READ, &subKey) != ERROR_SUCCESS) continue;
    visited += WalkKey(subKey);
    RegCloseKey(subKey);
  }
  return visited;
}

}  // namespace

int main() {
  const struct {
    const char* name;
    HKEY key;
  } roots[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
               {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
               {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
               {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
               {"HKEY_USERS", HKEY_USERS}};
  for (const auto& root : roots) std::printf("%s %lu\n", root.name, WalkKey(root.key));
  return 0;
}
