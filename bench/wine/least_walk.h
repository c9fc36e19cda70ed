// The least walk of a registry key: one query per key, then its values and
// subkeys, and nothing else: no path, no matching, no list. The floor any walk
// of the registry pays, which the Wine benchmarks time the cleaner beside.
#pragma once

#include <windows.h>

#include <memory>

namespace bench {

// Visits key and everything below it; returns the number of keys visited.
inline unsigned long WalkKey(HKEY key) {
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

}  // namespace bench
