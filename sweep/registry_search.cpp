#include "sweep/registry_search.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/buffer.h"
#include "platform/unique_handle.h"
#include "report/progress.h"
#include "sweep/link_guard.h"
#include "text/text_matching.h"

namespace sweep {
namespace {

using platform::RegKey;
using platform::TryAllocate;

// For a subkey that IsLinkKey took for a link: the code with which it will not
// open as itself to have its flag read, or 0 when it opens, a link indeed.
std::int32_t LinkUnknown(RegKey parent, const char16_t* name) {
  platform::UniqueRegKey key;
  const std::int32_t status = platform::RegOpenLinkKeyW(parent, name, platform::kKeyQueryValue, key.put());
  return status == platform::kFileNotFound ? 0 : status;
}

// The patterns of one walk: bit i of each mask selects rows[i] for that kind
// of text.
struct Patterns {
  Patterns(const SweepPattern* rows, std::size_t count, std::uint32_t wanted)
      : rows(rows), count(std::min<std::size_t>(count, 31)) {
    for (std::size_t i = 0; i < this->count; ++i) {
      const std::uint32_t bit = std::uint32_t{1} << i;
      texts[i] = rows[i].pattern;
      if (!(wanted & bit)) continue;
      if (rows[i].flags & MatchKeyNames) keyNames |= bit;
      if (rows[i].flags & MatchValueNames) valueNames |= bit;
      if (rows[i].flags & MatchValueData) valueData |= bit;
    }
  }

  // The patterns among these bits that name contains.
  std::uint32_t In(std::u16string_view name, std::uint32_t among) const {
    std::uint32_t found = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t bit = std::uint32_t{1} << i;
      // A pattern longer than the name cannot be in it; most are.
      if ((among & bit) && texts[i].size() <= name.size() && text::ContainsNoCase(name, texts[i])) found |= bit;
    }
    return found;
  }

  const SweepPattern* rows;
  std::size_t count;
  std::u16string_view texts[31];  // the patterns, with their lengths
  std::uint32_t keyNames = 0, valueNames = 0, valueData = 0;
};

// What the one query of a key tells.
struct KeyInfo {
  std::uint32_t subKeys = 0, longestSubKey = 0, values = 0, longestValueName = 0, largestData = 0;
};

bool QueryKey(RegKey key, KeyInfo& info) {
  return platform::RegQueryInfoKeyW(key, &info.subKeys, &info.longestSubKey, &info.values, &info.longestValueName,
                                    &info.largestData) == platform::kSuccess;
}

// The values of one key, each read once and tested against every pattern; a
// pattern's ValueName entry for a value comes before its ValueData entry.
void ScanValuesFor(RegKey key, const std::u16string& keyPath, const KeyInfo& info, const Patterns& patterns,
                   TaggedList& list) {
  if (!(patterns.valueNames | patterns.valueData)) return;
  const std::uint32_t longestName = info.longestValueName, largestData = info.largestData;
  auto name = TryAllocate<char16_t>(std::size_t{longestName} + 1);
  // Held as whole characters so that the data walk reads them in place; an
  // odd size rounds up by the one byte that is never read.
  std::unique_ptr<char16_t[]> data;
  if (largestData > 0) data = TryAllocate<char16_t>((std::size_t{largestData} + 1) / 2);
  if (!name || (largestData > 0 && !data)) return;
  for (std::uint32_t index = 0; index < info.values; ++index) {
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
    const std::uint32_t nameHits = patterns.In({name.get(), nameLength}, patterns.valueNames);
    // The name as every call takes it: up to its first NUL.
    const auto found = [&](std::size_t pattern, std::u16string text, EntryKind kind) {
      const std::u16string own(name.get());
      list.push_back({{keyPath, own, std::move(text), kind}, pattern, own.size() < nameLength});
    };
    for (std::size_t i = 0; i < patterns.count; ++i) {
      const std::uint32_t bit = std::uint32_t{1} << i;
      if (nameHits & bit) found(i, {}, EntryKind::ValueName);
      if (!textToRead || !(patterns.valueData & bit)) continue;
      if (auto text = FirstStringHolding(data.get(), dataBytes, patterns.texts[i]))
        found(i, std::move(*text), EntryKind::ValueData);
    }
  }
}

// One walk of one root, depth first. The path of the key being visited is kept
// in a single buffer, extended on the way down and cut back on the way up.
class Walk {
 public:
  Walk(RegKey root, const std::u16string& rootPath, const Patterns& patterns, TaggedList& list,
       std::vector<std::u16string>* linksLeft)
      : patterns_(patterns),
        list_(list),
        linksLeft_(linksLeft),
        path_(rootPath),
        guard_(root, rootPath, list.size()) {}

  void Visit(RegKey key, std::size_t depth) {
    KeyInfo info;
    if (!QueryKey(key, info)) return;
    if (info.values > 0) ScanValuesFor(key, path_, info, patterns_, list_);
    auto name = TryAllocate<char16_t>(std::size_t{info.longestSubKey} + 1);
    if (!name) return;
    const std::size_t parentLength = path_.size();
    for (std::uint32_t index = 0; index < info.subKeys && !guard_.Abandoning(depth); ++index) {
      std::uint32_t length = info.longestSubKey + 1;
      if (platform::RegEnumKeyExW(key, index, name.get(), &length) != platform::kSuccess) continue;
      const std::size_t whole = std::min(length, info.longestSubKey);
      name[whole] = 0;
      // The name as every call takes it: up to its first NUL.
      length = static_cast<std::uint32_t>(std::char_traits<char16_t>::length(name.get()));
      if (parentLength) path_ += u'\\';
      path_.append(name.get(), length);
      VisitSubKey(key, {name.get(), length}, length < whole, depth);
      path_.resize(parentLength);
      guard_.BackAt(depth);
    }
  }

  bool LeftOut() const { return guard_.LeftOut(); }

 private:
  // The subkey's own Key entries, then its subtree.
  void VisitSubKey(RegKey key, std::u16string_view name, bool nameCut, std::size_t depth) {
    const std::size_t mark = list_.size();
    const std::uint32_t hits = patterns_.In(name, patterns_.keyNames);
    // A link key is not deleted through its name: that would delete the key it
    // points at. One that will not say whether it is a link is listed all the
    // same, marked, so that the run fails rather than passes it over.
    if (hits != 0) {
      const bool link = platform::IsLinkKey(key, name.data());
      const std::int32_t unknown = link ? LinkUnknown(key, name.data()) : 0;
      if (!link || unknown != 0)
        for (std::size_t i = 0; i < patterns_.count; ++i)
          if (hits & (std::uint32_t{1} << i)) list_.push_back({{path_, {}, {}, EntryKind::Key, unknown}, i, nameCut});
    }
    platform::UniqueRegKey subKey;
    const std::int32_t opened = linksLeft_
                                    ? platform::RegOpenLinkKeyW(key, name.data(), platform::kKeyRead, subKey.put())
                                    : platform::RegOpenKeyExW(key, name.data(), platform::kKeyRead, subKey.put());
    if (opened != platform::kSuccess) return;
    // A link below a loaded hive leads into the running system's registry.
    if (linksLeft_ && platform::IsLinkKey(subKey.get())) {
      list_.resize(mark);
      linksLeft_->push_back(path_);
      return;
    }
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
  std::vector<std::u16string>* linksLeft_;  // null: links are followed
  std::u16string path_;
  LinkGuard guard_;
};

// The entries of a one-pattern search, in order, at the back of list.
void AppendFound(TaggedList& tagged, FoundList& list) {
  for (TaggedEntry& found : tagged) list.push_back(std::move(found.entry));
}

}  // namespace

std::optional<std::u16string> FirstStringHolding(const char16_t* data, std::uint32_t dataBytes,
                                                 std::u16string_view pattern) {
  const char16_t* const end = data + dataBytes / 2;
  for (const char16_t* start = data; start < end && *start != 0;) {
    const char16_t* stop = start;
    while (stop < end && *stop != 0) ++stop;
    const std::u16string_view one(start, static_cast<std::size_t>(stop - start));
    if (text::ContainsNoCase(one, pattern)) return std::u16string(one);
    start = stop + 1;
  }
  return std::nullopt;
}

bool ScanKeyForPatterns(RegKey key, const std::u16string& keyPath, const SweepPattern* patterns, std::size_t count,
                        std::uint32_t wanted, TaggedList& list, std::vector<std::u16string>* linksLeft) {
  const Patterns matching(patterns, count, wanted);
  Walk walk(key, keyPath, matching, list, linksLeft);
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
  if (!(matching.valueNames | matching.valueData)) return;
  KeyInfo info;
  if (!QueryKey(key, info)) return;
  TaggedList tagged;
  ScanValuesFor(key, keyPath, info, matching, tagged);
  AppendFound(tagged, list);
}

}  // namespace sweep
