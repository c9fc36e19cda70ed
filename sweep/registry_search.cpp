#include "sweep/registry_search.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>
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

// The index of the first NUL in data from start on, or units when none comes
// before it. Value texts are the bulk of what the search reads, so it looks
// at four units at a time while four remain.
std::size_t StringEnd(const char16_t* data, std::size_t start, std::size_t units) {
  std::size_t end = start;
  for (; end + 4 <= units; end += 4) {
    std::uint64_t four;
    std::memcpy(&four, data + end, sizeof four);
    if ((four - 0x0001000100010001ull) & ~four & 0x8000800080008000ull) break;  // one of them is NUL
  }
  while (end < units && data[end] != 0) ++end;
  return end;
}

// Reads the returned data as a run of NUL-terminated strings and appends one
// ValueData entry for the first string that contains the pattern. Only the
// whole characters within dataBytes are read.
void ScanValueData(const char16_t* data, std::uint32_t dataBytes, const std::u16string& keyPath,
                   const char16_t* valueName, const std::u16string& pattern, FoundList& list) {
  const std::size_t units = dataBytes / 2;
  std::size_t start = 0;
  while (data[start] != 0) {
    const std::size_t end = StringEnd(data, start, units);
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

// No hive nests keys deeper than this; a walk that goes deeper has come round
// through a symbolic link, which a user may plant in their own hive.
constexpr std::size_t kDeepestNesting = 512;

// One walk of one root. The path of the key being visited is kept in a single
// buffer, extended on the way down and cut back on the way up.
//
// Links are followed, as they must be for CurrentControlSet, so a link to one
// of its own ancestors would send the walk round for ever. The walk counts its
// depth; once it passes kDeepestNesting it has met such a cycle, and from then
// on, for the rest of this root, it asks the kernel for each key's own name and
// does not enter a key that is already on its path. The cycle's repeated keys
// and what was found through them are dropped, so every real key is reported
// once, by its shortest path. A registry without a cycle never reaches that
// depth and pays nothing.
struct Walk {
  const std::u16string& pattern;
  FoundList& list;
  SearchFlags flags;
  std::u16string path;
  std::vector<RegKey> keys;          // the keys being visited, root first
  std::vector<std::size_t> marks;    // the list's size before each level's own Key entry
  std::vector<std::u16string> names;  // the kernel's names of those keys, once guarded
  bool guarded = false;
  std::size_t abandonFrom = SIZE_MAX;  // levels from here down are being left

  void Key(RegKey key) {
    std::uint32_t subKeys = 0, longestName = 0, values = 0;
    if (platform::RegQueryInfoKeyW(key, &subKeys, &longestName, &values, nullptr, nullptr) != platform::kSuccess)
      return;
    if (values > 0) ScanValues(key, path, pattern, list, flags);
    auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
    if (!name) return;
    const std::size_t parentLength = path.size();
    const std::size_t level = keys.size() - 1;
    for (std::uint32_t index = 0; index < subKeys && abandonFrom > level; ++index) {
      std::uint32_t capacity = longestName + 1;
      if (platform::RegEnumKeyExW(key, index, name.get(), &capacity) != platform::kSuccess) continue;
      if (parentLength) path += u'\\';
      path += name.get();
      const std::size_t mark = list.size();
      // A link key is not deleted through its name: that would delete the key it points at.
      if ((flags & MatchKeyNames) && text::ContainsNoCase(name.get(), pattern.c_str()) &&
          !platform::IsLinkKey(key, name.get()))
        list.push_back({path, {}, {}, EntryKind::Key});
      RegKey subKey;
      if (platform::RegOpenKeyExW(key, name.get(), platform::kKeyRead, &subKey) == platform::kSuccess) {
        if (Enter(subKey, mark)) {
          Key(subKey);
          Leave();
        }
        platform::RegCloseKey(subKey);
      }
      path.resize(parentLength);
      if (abandonFrom == level + 1) abandonFrom = SIZE_MAX;  // back above the cycle: go on
    }
  }

  // Takes subKey onto the path, or refuses it (and what was found for it)
  // when it is a way back to a key already on the path.
  bool Enter(RegKey subKey, std::size_t mark) {
    if (guarded) {
      auto own = platform::KeyObjectName(subKey);
      if (OnPath(own)) {
        list.resize(mark);
        return false;
      }
      names.push_back(std::move(own));
    }
    keys.push_back(subKey);
    marks.push_back(mark);
    if (!guarded && keys.size() - 1 > kDeepestNesting) {
      Guard();
      if (abandonFrom != SIZE_MAX) {
        Leave();
        return false;
      }
    }
    return true;
  }

  void Leave() {
    keys.pop_back();
    marks.pop_back();
    if (guarded) names.pop_back();
  }

  bool OnPath(const std::u16string& own) const {
    if (own.empty()) return false;
    for (const auto& ancestor : names)
      if (ancestor == own) return true;
    return false;
  }

  // The walk is deeper than any hive: name every key on the path, and leave it
  // back to just above the first key that repeats one above it.
  void Guard() {
    guarded = true;
    names.clear();
    names.push_back({});  // the caller's root handle may be a predefined one, which has no name
    for (std::size_t level = 1; level < keys.size(); ++level) {
      auto own = platform::KeyObjectName(keys[level]);
      if (OnPath(own)) {
        list.resize(marks[level]);
        abandonFrom = level;
        // The levels being left pop their names as they return.
        for (std::size_t rest = level; rest < keys.size(); ++rest) names.push_back({});
        return;
      }
      names.push_back(std::move(own));
    }
  }
};

}  // namespace

void ScanKey(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags) {
  Walk walk{pattern, list, flags, keyPath, {key}, {list.size()}, {}, false, SIZE_MAX};
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
