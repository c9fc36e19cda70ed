#include "sweep/registry_search.h"

#include <memory>
#include <new>

#include "text/text_matching.h"

namespace sweep {
namespace {

using platform::RegKey;

bool IsStringType(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
}

// A buffer the walk can do without: on exhausted memory it is simply absent.
template <typename Unit>
std::unique_ptr<Unit[]> TryAllocate(std::size_t count) {
  return std::unique_ptr<Unit[]>(new (std::nothrow) Unit[count]);
}

// Reads the returned data as a run of NUL-terminated strings and appends one
// ValueData entry for the first string that contains the pattern. Only the
// whole characters within dataBytes are read.
void ScanValueData(const char16_t* data, std::uint32_t dataBytes, const std::u16string& keyPath,
                   const char16_t* valueName, const std::u16string& pattern, FoundList& list) {
  const std::size_t units = dataBytes / 2;
  std::size_t start = 0;
  while (data[start] != 0) {
    std::size_t end = start;
    while (end < units && data[end] != 0) ++end;
    if (end < units) {
      if (text::ContainsNoCase(data + start, pattern.c_str())) {
        list.push_back({keyPath, valueName, std::u16string(data + start, end - start), EntryKind::ValueData});
        return;
      }
    } else {
      // The last string has no NUL within the data: compare a terminated copy.
      std::u16string tail(data + start, end - start);
      if (text::ContainsNoCase(tail.c_str(), pattern.c_str()))
        list.push_back({keyPath, valueName, std::move(tail), EntryKind::ValueData});
      return;
    }
    start = end + 1;
    if (2 * start + 1 >= dataBytes) return;
  }
}

// One walk of one root. The path of the key being visited is kept in a single
// buffer, extended on the way down and cut back on the way up.
struct Walk {
  const std::u16string& pattern;
  FoundList& list;
  SearchFlags flags;
  std::u16string path;

  void Key(RegKey key) {
    std::uint32_t subKeys = 0, longestName = 0, values = 0;
    if (platform::RegQueryInfoKeyW(key, &subKeys, &longestName, &values, nullptr, nullptr) != platform::kSuccess)
      return;
    if (values > 0) ScanValues(key, path, pattern, list, flags);
    auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
    if (!name) return;
    const std::size_t parentLength = path.size();
    for (std::uint32_t index = 0; index < subKeys; ++index) {
      std::uint32_t capacity = longestName + 1;
      if (platform::RegEnumKeyExW(key, index, name.get(), &capacity) != platform::kSuccess) continue;
      if (parentLength) path += u'\\';
      path += name.get();
      if ((flags & MatchKeyNames) && text::ContainsNoCase(name.get(), pattern.c_str()))
        list.push_back({path, {}, {}, EntryKind::Key});
      RegKey subKey;
      if (platform::RegOpenKeyExW(key, name.get(), platform::kKeyRead, &subKey) == platform::kSuccess) {
        Key(subKey);
        platform::RegCloseKey(subKey);
      }
      path.resize(parentLength);
    }
  }
};

}  // namespace

void ScanKey(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags) {
  Walk walk{pattern, list, flags, keyPath};
  walk.Key(key);
}

void ScanValues(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
                SearchFlags flags) {
  if (!(flags & (MatchValueNames | MatchValueData))) return;
  std::uint32_t values = 0, longestName = 0, largestData = 0;
  if (platform::RegQueryInfoKeyW(key, nullptr, nullptr, &values, &longestName, &largestData) != platform::kSuccess)
    return;
  auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
  // Held as whole characters so that the data walk reads them in place; an
  // odd size rounds up by the one byte that is never read.
  std::unique_ptr<char16_t[]> data;
  if (largestData > 0) data = TryAllocate<char16_t>((std::size_t{largestData} + 1) / 2);
  if (!name || (largestData > 0 && !data)) return;
  for (std::uint32_t index = 0; index < values; ++index) {
    std::uint32_t capacity = longestName + 1;
    std::uint32_t dataBytes = largestData;
    std::uint32_t type = 0;
    if (platform::RegEnumValueW(key, index, name.get(), &capacity, &type, reinterpret_cast<std::uint8_t*>(data.get()),
                                &dataBytes) != platform::kSuccess)
      continue;
    bool dataCandidate = (flags & MatchValueData) && dataBytes > 0 && IsStringType(type);
    if ((flags & MatchValueNames) && text::ContainsNoCase(name.get(), pattern.c_str()))
      list.push_back({keyPath, name.get(), {}, EntryKind::ValueName});
    if (dataCandidate && dataBytes >= 2) ScanValueData(data.get(), dataBytes, keyPath, name.get(), pattern, list);
  }
}

}  // namespace sweep
