// What the registry search finds and the removal deletes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sweep {

// Bits that select what the search compares with the pattern; other bits are ignored.
using SearchFlags = std::uint32_t;
constexpr SearchFlags MatchKeyNames = 1;
constexpr SearchFlags MatchValueNames = 2;
constexpr SearchFlags MatchValueData = 4;  // REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ texts

// One pattern of the sweep and what it is compared with.
struct SweepPattern {
  const char16_t* pattern;
  SearchFlags flags;
};

// Each kind has the value of the flag that finds it.
enum class EntryKind : std::int32_t { Key = 1, ValueName = 2, ValueData = 4 };

struct FoundEntry {
  std::u16string keyPath;    // relative to the searched root; empty for the root's own values
  std::u16string valueName;  // empty for a Key entry and for the default value
  std::u16string valueText;  // ValueData only: the one string that held the pattern
  EntryKind kind = EntryKind::Key;
  // Key only: the code with which the key refused to open as itself, so that
  // whether it is a link cannot be told. Such a key is never deleted (through
  // its name it might take a link's target), but it is reported as not
  // deleted with that code, which fails the run: the product may be in it.
  std::int32_t linkUnknown = 0;
};

// Appended at the back by the search, read front to back and emptied as a
// whole by the removal.
using FoundList = std::vector<FoundEntry>;

}  // namespace sweep
