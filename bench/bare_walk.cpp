#include "bench/bare_walk.h"

#include <cstdint>
#include <memory>

namespace bench {

// The floor: one query per key for its counts and sizes, then its values and
// its subkeys enumerated, with buffers sized from that one query.
void BareWalk(platform::RegKey key, BareWalkCounts& counts) {
  ++counts.keys;
  std::uint32_t subKeys = 0, longestSubKey = 0, values = 0, longestValueName = 0, largestData = 0;
  if (platform::RegQueryInfoKeyW(key, &subKeys, &longestSubKey, &values, &longestValueName, &largestData) !=
      platform::kSuccess)
    return;
  if (values > 0) {
    std::unique_ptr<char16_t[]> name(new char16_t[std::size_t{longestValueName} + 1]);
    std::unique_ptr<char16_t[]> data;
    if (largestData > 0) data.reset(new char16_t[(std::size_t{largestData} + 1) / 2]);
    counts.buffers += largestData > 0 ? 2 : 1;
    for (std::uint32_t index = 0; index < values; ++index) {
      std::uint32_t capacity = longestValueName + 1;
      std::uint32_t dataBytes = largestData;
      std::uint32_t type = 0;
      platform::RegEnumValueW(key, index, name.get(), &capacity, &type, reinterpret_cast<std::uint8_t*>(data.get()),
                              &dataBytes);
    }
  }
  std::unique_ptr<char16_t[]> name(new char16_t[std::size_t{longestSubKey} + 1]);
  ++counts.buffers;
  for (std::uint32_t index = 0; index < subKeys; ++index) {
    std::uint32_t capacity = longestSubKey + 1;
    if (platform::RegEnumKeyExW(key, index, name.get(), &capacity) != platform::kSuccess) continue;
    platform::RegKey subKey;
    if (platform::RegOpenKeyExW(key, name.get(), platform::kKeyRead, &subKey) != platform::kSuccess) continue;
    BareWalk(subKey, counts);
    platform::RegCloseKey(subKey);
  }
}

}  // namespace bench
