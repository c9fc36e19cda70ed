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

// The patterns of one walk, with the patterns each kind of text is tested against.
struct Patterns {
  Patterns(const SweepPattern* rows, std::size_t count, std::uint32_t wanted)
      : rows(rows), texts(Texts(rows, count)), set(texts.data(), texts.size()) {
    for (std::size_t i = 0; i < count; ++i) valueTexts.emplace_back(rows[i].pattern);
    for (std::size_t i = 0; i < count && i < 31; ++i) {
      if (!(wanted & (std::uint32_t{1} << i))) continue;
      if (rows[i].flags & MatchKeyNames) keyNames |= std::uint32_t{1} << i;
      if (rows[i].flags & MatchValueNames) valueNames |= std::uint32_t{1} << i;
      if (rows[i].flags & MatchValueData) valueData |= std::uint32_t{1} << i;
    }
  }

  static std::vector<const char16_t*> Texts(const SweepPattern* rows, std::size_t count) {
    std::vector<const char16_t*> texts;
    for (std::size_t i = 0; i < count; ++i) texts.push_back(rows[i].pattern);
    return texts;
  }

  const SweepPattern* rows;
  std::vector<const char16_t*> texts;
  text::PatternSet set;
  std::vector<ValueTextSearch> valueTexts;  // one for each pattern
  std::uint32_t keyNames = 0, valueNames = 0, valueData = 0;
};

std::size_t LowestBit(std::uint32_t bits) { return static_cast<std::size_t>(__builtin_ctz(bits)); }

// The values of one key, each read once and tested against every pattern; a
// pattern's ValueName entry for a value comes before its ValueData entry.
void ScanValuesFor(RegKey key, const std::u16string& keyPath, const Patterns& patterns, TaggedList& list) {
  if (!(patterns.valueNames | patterns.valueData)) return;
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
    const std::uint32_t nameLength = std::min(capacity, longestName);
    name[nameLength] = 0;
    // The data is read only where the call really wrote it: into a buffer
    // that exists and within its size. A value that grew since the key was
    // queried fails with ERROR_MORE_DATA above, but one that grew from empty
    // finds no buffer at all while the call still reports its size.
    const bool textToRead = dataBytes >= 2 && platform::IsStringType(type) && data && dataBytes <= largestData;
    const std::uint32_t nameHits = patterns.valueNames
                                       ? patterns.set.Find(name.get(), nameLength, patterns.valueNames)
                                       : 0;
    const std::uint32_t dataTried = textToRead ? patterns.valueData : 0;
    for (std::uint32_t rest = nameHits | dataTried; rest != 0; rest &= rest - 1) {
      const std::size_t i = LowestBit(rest);
      const std::uint32_t bit = std::uint32_t{1} << i;
      if (nameHits & bit) list.push_back({{keyPath, name.get(), {}, EntryKind::ValueName}, i});
      if (dataTried & bit)
        if (auto text = patterns.valueTexts[i].FirstStringHolding(data.get(), dataBytes))
          list.push_back({{keyPath, name.get(), std::move(*text), EntryKind::ValueData}, i});
    }
  }
}

// One walk of one root, depth first. The path of the key being visited is kept
// in a single buffer, extended on the way down and cut back on the way up.
class Walk {
 public:
  Walk(RegKey root, const std::u16string& rootPath, const Patterns& patterns, TaggedList& list)
      : patterns_(patterns), list_(list), path_(rootPath), guard_(root, rootPath, list.size()) {}

  void Visit(RegKey key, std::size_t depth) {
    std::uint32_t subKeys = 0, longestName = 0, values = 0;
    if (platform::RegQueryInfoKeyW(key, &subKeys, &longestName, &values, nullptr, nullptr) != platform::kSuccess)
      return;
    if (values > 0) ScanValuesFor(key, path_, patterns_, list_);
    auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
    if (!name) return;
    const std::size_t parentLength = path_.size();
    for (std::uint32_t index = 0; index < subKeys && !guard_.Abandoning(depth); ++index) {
      std::uint32_t length = longestName + 1;
      if (platform::RegEnumKeyExW(key, index, name.get(), &length) != platform::kSuccess) continue;
      name[std::min(length, longestName)] = 0;
      // The name as every call takes it: up to its first NUL.
      length = static_cast<std::uint32_t>(std::char_traits<char16_t>::length(name.get()));
      if (parentLength) path_ += u'\\';
      path_.append(name.get(), length);
      VisitSubKey(key, name.get(), length, depth);
      path_.resize(parentLength);
      guard_.BackAt(depth);
    }
  }

  bool LeftOut() const { return guard_.LeftOut(); }

 private:
  // The subkey's own Key entries, then its subtree.
  void VisitSubKey(RegKey key, const char16_t* name, std::size_t length, std::size_t depth) {
    const std::size_t mark = list_.size();
    const std::uint32_t hits = patterns_.keyNames ? patterns_.set.Find(name, length, patterns_.keyNames) : 0;
    // A link key is not deleted through its name: that would delete the key it points at.
    if (hits != 0 && !platform::IsLinkKey(key, name))
      for (std::uint32_t rest = hits; rest != 0; rest &= rest - 1)
        list_.push_back({{path_, {}, {}, EntryKind::Key}, LowestBit(rest)});
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

  const Patterns& patterns_;
  TaggedList& list_;
  std::u16string path_;
  LinkGuard guard_;
};

// The entries of a one-pattern search, in order, at the back of list.
void AppendFound(TaggedList& tagged, FoundList& list) {
  for (TaggedEntry& found : tagged) list.push_back(std::move(found.entry));
}

}  // namespace

namespace {

// Stops at each NUL, which ends a string, and where the pattern may begin.
text::UnitScan<2> NulAndStart(const char16_t* pattern) {
  const text::ScanStop stops[2] = {text::kNulStop, text::PatternStart(pattern)};
  return text::UnitScan<2>(stops);
}

}  // namespace

ValueTextSearch::ValueTextSearch(const char16_t* pattern)
    : pattern_(pattern), length_(std::char_traits<char16_t>::length(pattern)), scan_(NulAndStart(pattern)) {}

std::optional<std::u16string> ValueTextSearch::FirstStringHolding(const char16_t* data,
                                                                  std::uint32_t dataBytes) const {
  const std::size_t units = dataBytes / 2;
  if (units == 0 || data[0] == 0) return std::nullopt;
  if (length_ == 0) return std::u16string(data, StringEnd(data, 0, units));  // found in any text
  // A match must end within the data, so none begins after lastStart.
  if (units < length_) return std::nullopt;
  const std::size_t lastStart = units - length_;
  std::size_t start = 0;  // where the current string begins
  for (std::size_t at = 0;; ++at) {
    at = scan_.Next(data, at, lastStart + 1);
    if (at > lastStart) return std::nullopt;
    if (data[at] == 0) {
      start = at + 1;
      if (start >= units || data[start] == 0) return std::nullopt;  // the data or the run of strings ends
      at = start - 1;
      continue;
    }
    // The string's NUL, should one come before the pattern's end, stops the
    // comparison itself.
    if (text::StartsWithNoCase(data + at, pattern_))
      return std::u16string(data + start, StringEnd(data, start, units) - start);
  }
}

bool ScanKeyForPatterns(RegKey key, const std::u16string& keyPath, const SweepPattern* patterns, std::size_t count,
                        std::uint32_t wanted, TaggedList& list) {
  const Patterns matching(patterns, count, wanted);
  Walk walk(key, keyPath, matching, list);
  walk.Visit(key, 0);
  return walk.LeftOut();
}

void ScanKey(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags) {
  const SweepPattern row{pattern.c_str(), flags};
  TaggedList tagged;
  ScanKeyForPatterns(key, keyPath, &row, 1, 1, tagged);
  AppendFound(tagged, list);
}

void ScanValues(RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
                SearchFlags flags) {
  const SweepPattern row{pattern.c_str(), flags};
  const Patterns matching(&row, 1, 1);
  TaggedList tagged;
  ScanValuesFor(key, keyPath, matching, tagged);
  AppendFound(tagged, list);
}

}  // namespace sweep
