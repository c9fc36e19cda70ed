#include "text/text_matching.h"

namespace text {
namespace {

constexpr char16_t Fold(char16_t unit) { return FoldCase(unit); }

// The rest of pattern, from its second unit, against text from its second.
inline bool RestMatches(const char16_t* text, const char16_t* pattern) {
  std::size_t k = 1;
  while (pattern[k] != 0 && Fold(text[k]) == Fold(pattern[k])) ++k;
  return pattern[k] == 0;
}

}  // namespace

// The search runs this over every name and text in the registry, so each
// position is first tested against the pattern's first unit alone. Only the
// unit itself and, for a small letter, its capital fold to that unit, and
// setting bit 0x20 maps exactly that pair onto the small letter.
std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern) {
  const char16_t first = Fold(pattern[0]);
  if (first == 0) return 0;
  const char16_t caseBit = first >= u'a' && first <= u'z' ? 0x20 : 0;
  // Two positions a round; the second is read only when the first is not the end.
  for (const char16_t* at = text;; at += 2) {
    if ((at[0] | caseBit) == first) {
      if (RestMatches(at, pattern)) return static_cast<std::size_t>(at - text);
    } else if (at[0] == 0) {
      return std::nullopt;
    }
    if ((at[1] | caseBit) == first) {
      if (RestMatches(at + 1, pattern)) return static_cast<std::size_t>(at + 1 - text);
    } else if (at[1] == 0) {
      return std::nullopt;
    }
  }
}

PatternSet::PatternSet(const char16_t* const* patterns, std::size_t count) : patterns_(patterns) {
  for (std::size_t i = 0; i < count && i < 32; ++i) {
    const std::uint32_t bit = std::uint32_t{1} << i;
    const char16_t first = patterns[i][0];
    if (first == 0) {
      empty_ |= bit;
    } else if (first >= 128) {
      beyondAscii_ |= bit;
    } else {
      for (char16_t unit = 1; unit < 128; ++unit)
        if (Fold(unit) == Fold(first)) startsWith_[unit] |= bit;
    }
  }
}

std::uint32_t PatternSet::Find(const char16_t* text, std::uint32_t wanted) const {
  std::uint32_t found = wanted & empty_;
  std::uint32_t left = wanted & ~found;
  for (const char16_t* at = text; left != 0 && *at != 0; ++at) {
    std::uint32_t candidates = *at < 128 ? startsWith_[*at] & left : beyondAscii_ & left;
    while (candidates != 0) {
      const std::uint32_t bit = candidates & (~candidates + 1);
      candidates &= candidates - 1;
      const char16_t* pattern = patterns_[__builtin_ctz(bit)];
      if (Fold(*at) == Fold(pattern[0]) && RestMatches(at, pattern)) {
        found |= bit;
        left &= ~bit;
      }
    }
  }
  return found;
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (std::size_t i = 0;; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace text
