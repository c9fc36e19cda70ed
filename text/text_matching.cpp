#include "text/text_matching.h"

#include <limits>

namespace text {
namespace {

// The plain scan: every start position in turn, compared unit by unit until
// the pattern ends or a unit differs. The text ends at limit or at its first
// NUL.
std::optional<std::size_t> Find(const char16_t* text, std::size_t limit, const char16_t* pattern) {
  if (pattern[0] == 0) return 0;
  for (std::size_t start = 0; start < limit && text[start] != 0; ++start) {
    std::size_t k = 0;
    while (pattern[k] != 0 && start + k < limit && text[start + k] != 0 &&
           FoldCase(text[start + k]) == FoldCase(pattern[k]))
      ++k;
    if (pattern[k] == 0) return start;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern) {
  return Find(text, std::numeric_limits<std::size_t>::max(), pattern);
}

std::optional<std::size_t> ContainsNoCase(std::u16string_view text, const char16_t* pattern) {
  return Find(text.data(), text.size(), pattern);
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (std::size_t i = 0;; ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace text
