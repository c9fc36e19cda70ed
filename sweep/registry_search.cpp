#include "sweep/registry_search.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/buffer.h"
#include "platform/unique_handle.h"
#include "report/progress.h"
#include "sweep/link_guard.h"
#include "text/text_matching.h"

namespace sweep {
namespace {

using platform::RegKey;
using platform::TryAllocate;

bool IsStringType(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
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

// One walk of one root, depth first. The path of the key being visited is kept
// in a single buffer, extended on the way down and cut back on the way up.
class Walk {
 public:
  Walk(RegKey root, const std::u16string& rootPath, const std::u16string& pattern, FoundList& list, SearchFlags flags)
      : pattern_(pattern), list_(list), flags_(flags), path_(rootPath), guard_(root, rootPath, list.size()) {}

  void Visit(RegKey key, std::size_t depth) {
    std::uint32_t subKeys = 0, longestName = 0, values = 0;
    if (platform::RegQueryInfoKeyW(key, &subKeys, &longestName, &values, nullptr, nullptr) != platform::kSuccess)
      return;
    if (values > 0) ScanValues(key, path_, pattern_, list_, flags_);
    auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
    if (!name) return;
    const std::size_t parentLength = path_.size();
    for (std::uint32_t index = 0; index < subKeys && !guard_.Abandoning(depth); ++index) {
      std::uint32_t length = longestName + 1;
      if (platform::RegEnumKeyExW(key, index, name.get(), &length) != platform::kSuccess) continue;
      name[std::min(length, longestName)] = 0;
      if (parentLength) path_ += u'\\';
      path_ += name.get();
      VisitSubKey(key, name.get(), depth);
      path_.resize(parentLength);
      guard_.BackAt(depth);
    }
  }

 private:
  // The subkey's own Key entry, then its subtree.
  void VisitSubKey(RegKey key, const char16_t* name, std::size_t depth) {
    const std::size_t mark = list_.size();
    // A link key is not deleted through its name: that would delete the key it points at.
    if ((flags_ & MatchKeyNames) && text::ContainsNoCase(name, pattern_.c_str()) && !platform::IsLinkKey(key, name))
      list_.push_back({path_, {}, {}, EntryKind::Key});
    platform::UniqueRegKey subKey;
    if (platform::RegOpenKeyExW(key, name, platform::kKeyRead, subKey.put()) != platform::kSuccess) return;
    report::SweepProgressKey();
    if (guard_.Enter(subKey.get(), path_, mark)) {
      Visit(subKey.get(), depth + 1);
      guard_.Leave();
    } else {
      list_.resize(std::min(list_.size(), guard_.DropFrom()));
    }
  }

  const std::u16string& pattern_;
  FoundList& list_;
  SearchFlags flags_;
  std::u16string path_;
  LinkGuard guard_;
};

}  // namespace

void ScanKey(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags) {
  Walk(key, keyPath, pattern, list, flags).Visit(key, 0);
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
    name[std::min(capacity, longestName)] = 0;
    // The data is read only where the call really wrote it: into a buffer
    // that exists and within its size. A value that grew since the key was
    // queried fails with ERROR_MORE_DATA above, but one that grew from empty
    // finds no buffer at all while the call still reports its size.
    const bool dataCandidate = (flags & MatchValueData) && dataBytes > 0 && IsStringType(type) && data &&
                               dataBytes <= largestData;
    if ((flags & MatchValueNames) && text::ContainsNoCase(name.get(), pattern.c_str()))
      list.push_back({keyPath, name.get(), {}, EntryKind::ValueName});
    if (dataCandidate && dataBytes >= 2) ScanValueData(data.get(), dataBytes, keyPath, name.get(), pattern, list);
  }
}

}  // namespace sweep
