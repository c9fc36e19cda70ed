#include "text/text_matching.h"

namespace text {

// The plain scan: every start position in turn, compared unit by unit until
// the pattern ends or a unit differs. A position too close to the end for the
// whole pattern cannot begin a match, so the scan stops before it. Only the
// unit itself and, for a small letter, its capital fold to the pattern's
// first unit, and setting bit 0x20 maps exactly that pair onto the small
// letter; inside a match no NUL needs looking for, since only a NUL folds to
// a NUL.
std::optional<std::size_t> ContainsNoCase(std::u16string_view text, std::u16string_view pattern) {
  const std::size_t length = pattern.size();
  if (length == 0) return 0;
  if (length > text.size()) return std::nullopt;
  const char16_t first = FoldCase(pattern[0]);
  const char16_t caseBit = first >= u'a' && first <= u'z' ? 0x20 : 0;
  const char16_t* const last = text.data() + (text.size() - length);
  for (const char16_t* at = text.data(); at <= last; ++at) {
    if ((*at | caseBit) != first) {
      if (*at == 0) break;
      continue;
    }
    std::size_t k = 1;
    while (k < length && FoldCase(at[k]) == FoldCase(pattern[k])) ++k;
    if (k == length) return static_cast<std::size_t>(at - text.data());
  }
  return std::nullopt;
}

std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern) {
  return ContainsNoCase(std::u16string_view(text), std::u16string_view(pattern));
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (std::size_t i = 0;; ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace text
