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

PatternSet::PatternSet(const char16_t* const* patterns, std::size_t count)
    : patterns_(patterns), count_(count < 31 ? count : 31) {
  startsWith_[0] = kTextEnd;
  for (std::size_t i = 0; i < count_; ++i) {
    const std::uint32_t bit = std::uint32_t{1} << i;
    const char16_t first = Fold(patterns[i][0]);
    while (patterns[i][lengths_[i]] != 0) ++lengths_[i];
    if (first == 0) {
      empty_ |= bit;
    } else if (first >= 128) {
      beyondAscii_ |= bit;
    } else {
      for (char16_t unit = 1; unit < 128; ++unit)
        if (Fold(unit) == first) startsWith_[unit] |= bit;
    }
  }
}

// The patterns that may begin at a unit: those whose first unit folds as it does.
std::uint32_t PatternSet::Candidates(char16_t unit) const {
  if (unit < 128) return startsWith_[unit];
  std::uint32_t candidates = 0;
  for (std::uint32_t rest = beyondAscii_; rest != 0; rest &= rest - 1)
    if (patterns_[__builtin_ctz(rest)][0] == unit) candidates |= rest & (~rest + 1);
  return candidates;
}

std::uint32_t PatternSet::Find(const char16_t* text, std::size_t length, std::uint32_t wanted) const {
  std::uint32_t found = wanted & empty_;
  // A pattern longer than the text cannot be in it, and none can begin
  // closer to the text's end than the shortest one left is long.
  std::uint32_t left = 0;
  std::size_t shortest = length + 1;
  for (std::uint32_t rest = wanted & ~found; rest != 0; rest &= rest - 1) {
    const std::size_t i = static_cast<std::size_t>(__builtin_ctz(rest));
    if (lengths_[i] > length) continue;
    left |= rest & (~rest + 1);
    if (lengths_[i] < shortest) shortest = lengths_[i];
  }
  if (left == 0) return found;
  // One table lookup a unit finds both a possible beginning and the end; a
  // unit beyond ASCII is looked at only when some pattern begins with one.
  const char16_t* end = text + (length - shortest + 1);
  for (const char16_t* at = text; at < end; ++at) {
    const char16_t unit = *at;
    const std::uint32_t marks = unit < 128 ? startsWith_[unit] : beyondAscii_;
    if ((marks & (left | kTextEnd)) == 0) continue;
    if (unit == 0) break;
    for (std::uint32_t candidates = Candidates(unit) & left; candidates != 0; candidates &= candidates - 1) {
      const std::uint32_t bit = candidates & (~candidates + 1);
      if (RestMatches(at, patterns_[__builtin_ctz(bit)])) {
        found |= bit;
        left &= ~bit;
      }
    }
    if (left == 0) break;
  }
  return found;
}

bool StartsWithNoCase(const char16_t* text, const char16_t* pattern) {
  return pattern[0] == 0 || (Fold(text[0]) == Fold(pattern[0]) && RestMatches(text, pattern));
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (std::size_t i = 0;; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace text
