#include "text/text_matching.h"

namespace text {
namespace {

inline char16_t Fold(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit; }

}  // namespace

std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern) {
  if (pattern[0] == 0) return 0;
  for (std::size_t start = 0; text[start] != 0; ++start) {
    std::size_t k = 0;
    while (pattern[k] != 0 && Fold(text[start + k]) == Fold(pattern[k])) ++k;
    if (pattern[k] == 0) return start;
  }
  return std::nullopt;
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (std::size_t i = 0;; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace text
