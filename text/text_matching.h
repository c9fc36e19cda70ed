// Case-insensitive comparison of UTF-16 text, the one way the cleaner decides
// whether a name belongs to the product. Only the 26 ASCII capitals fold, in
// every locale: no other letter, accented or not, ever matches its small form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace text {

// The index, in code units, where the leftmost occurrence of pattern in text
// begins; none when there is none. An empty pattern is found at 0 of every
// text. Both texts are NUL-terminated; nothing is copied or allocated.
std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern);

// The one fold behind both: 'A' to 'Z' become 'a' to 'z', every other unit
// stays itself.
constexpr char16_t FoldCase(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
}

// True when text begins with pattern (reading text only as far as it
// matches, so never past its end or its first NUL). An empty pattern begins
// every text.
bool StartsWithNoCase(const char16_t* text, const char16_t* pattern);

// True when a and b have the same length and match unit by unit.
bool EqualsNoCase(const char16_t* a, const char16_t* b);

// Several patterns looked for in one pass over a text, with the answer
// ContainsNoCase gives for each. The text is scanned, eight units at a time,
// for the units the patterns begin with, and only a pattern whose first unit
// stands there is compared further; so three patterns cost little more than
// one. Holds up to 31 patterns, which must outlive it.
class PatternSet {
 public:
  PatternSet(const char16_t* const* patterns, std::size_t count);

  // Bit i is set when wanted has bit i and patterns[i] occurs in text, which
  // ends at its first NUL; text[length] must be NUL, and nothing past it is
  // read. At most 31 patterns.
  std::uint32_t Find(const char16_t* text, std::size_t length, std::uint32_t wanted) const;

 private:
  std::uint32_t Candidates(char16_t unit) const;

  const char16_t* const* patterns_;
  std::size_t count_ = 0;
  std::uint32_t empty_ = 0;  // empty patterns, found in every text
  // ASCII unit -> the patterns whose first unit folds as it does; the NUL
  // that ends a text has kTextEnd.
  std::uint32_t startsWith_[128]{};
  std::uint32_t beyondAscii_ = 0;  // the patterns whose first unit is not ASCII
  std::size_t lengths_[31] = {};   // each pattern's length in units
  static constexpr std::uint32_t kTextEnd = std::uint32_t{1} << 31;
};

}  // namespace text
