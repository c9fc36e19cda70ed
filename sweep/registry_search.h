// The depth-first walk of one registry root that collects every key and value
// naming a pattern. It deletes nothing and writes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Searches key's values and its whole subtree, appending matches to list in
// pre-order: a key's own values first, then each subkey in enumeration order
// with its Key entry (if its name matched) before anything found inside it.
// keyPath is key's path relative to the root ("" for the root itself); the
// caller's handle is neither opened nor closed here. A failure only narrows
// what is found: a key that cannot be queried or read, an index that cannot be
// enumerated, a buffer that cannot be allocated each skip just what they concern.
void ScanKey(platform::RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags);

// Searches the values of one key; ScanKey does the same for each key with
// values, from the one query it makes of the key.
void ScanValues(platform::RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
                SearchFlags flags);

// A match and the pattern that found it, by its index in the patterns searched.
struct TaggedEntry {
  FoundEntry entry;
  std::size_t pattern = 0;
  // The entry's own name held a NUL and is kept up to it, as every call takes
  // a name: it opens nothing, or another key or value than the one found.
  bool nameCut = false;
};
using TaggedList = std::vector<TaggedEntry>;

// ScanKey for several patterns in one walk: every key visited and every value
// read once, each name and text tested against each pattern in wanted (bit i:
// patterns[i], at most 31). Each pattern's entries come in the order, and with
// the contents, that ScanKey with it alone would give; how the patterns'
// entries interleave is not promised. True when the link guard left something
// out, which depends on the order the walk met the keys in.
//
// With linksLeft, key is a loaded hive whose links name their targets in the
// running system's registry: the walk opens each subkey as itself
// (RegOpenLinkKeyW) and enters no link key (platform::IsLinkKey, which also
// takes a key whose flag cannot be read for one), appending its path instead,
// so that nothing outside the hive is found. Without it the walk follows
// links, as it must for CurrentControlSet, and never names one.
bool ScanKeyForPatterns(platform::RegKey key, const std::u16string& keyPath, const SweepPattern* patterns,
                        std::size_t count, std::uint32_t wanted, TaggedList& list,
                        std::vector<std::u16string>* linksLeft = nullptr);

// The first string of one string value's data (dataBytes as returned) that
// contains pattern; none when none does. The data is read as a run of
// NUL-terminated strings from the start, ended by an empty string or by the
// data's end: a last string without its NUL ends with the last whole
// character, and nothing beyond the data is read.
std::optional<std::u16string> FirstStringHolding(const char16_t* data, std::uint32_t dataBytes,
                                                 std::u16string_view pattern);

}  // namespace sweep
