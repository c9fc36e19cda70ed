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
// keyPath is key's path relative to the root ("" for the root itself). The
// caller's handle is neither opened nor closed here.
//
// Whatever fails only narrows what is found: a key whose information cannot
// be queried, an index whose enumeration fails, a subkey that refuses
// KEY_READ, and a buffer that cannot be allocated (a key whose maxima are
// larger than the memory left) each skip just what they concern.
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
  // The entry's own name, the key's last part or the value's name, held a
  // NUL and is kept up to it, as every call that takes a name reads it: a
  // name that opens nothing, or another key or value than the one found.
  bool nameCut = false;
};
using TaggedList = std::vector<TaggedEntry>;

// ScanKey for several patterns in one walk: every key visited and every value
// read once, each name and text tested against each of the patterns in wanted
// (bit i: patterns[i], at most 31). The entries of any one pattern appear in
// the list in the very order, and with the very contents, that ScanKey with
// that pattern alone would give them over the same registry; how the
// patterns' entries interleave is not promised.
//
// True when the link guard left something out of the walk (a key met again
// through a cycle, one reached by more paths than it allows, or one deeper
// than any hive nests keys): which paths it leaves out depends on the order
// in which the walk met the keys, which a registry changed since may not
// repeat.
bool ScanKeyForPatterns(platform::RegKey key, const std::u16string& keyPath, const SweepPattern* patterns,
                        std::size_t count, std::uint32_t wanted, TaggedList& list);

// The first string of one string value's data (dataBytes as returned) that
// contains pattern; none when none does. The data is read as a run of
// NUL-terminated strings from the start, ended by an empty string or by the
// data's end: a last string without its NUL ends with the last whole
// character, and nothing beyond the data is read.
std::optional<std::u16string> FirstStringHolding(const char16_t* data, std::uint32_t dataBytes,
                                                 std::u16string_view pattern);

}  // namespace sweep
