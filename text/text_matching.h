// Case-insensitive comparison of UTF-16 text, the one way the cleaner decides
// whether a name belongs to the product. Only the 26 ASCII capitals fold, in
// every locale: no other letter, accented or not, ever matches its small form.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace text {

// The one fold behind every comparison: 'A' to 'Z' become 'a' to 'z', every
// other unit stays itself.
constexpr char16_t FoldCase(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
}

// The index, in code units, where the leftmost occurrence of pattern in text
// begins; none when there is none. An empty pattern is found at 0 of every
// text. Both texts are NUL-terminated; nothing is copied or allocated.
std::optional<std::size_t> ContainsNoCase(const char16_t* text, const char16_t* pattern);

// The same for a text that ends at its size or at its first NUL, whichever
// comes first, and is never read beyond: a name whose length is known, or a
// string of value data, whose last one may have no NUL of its own. The
// pattern holds no NUL.
std::optional<std::size_t> ContainsNoCase(std::u16string_view text, std::u16string_view pattern);

// True when a and b have the same length and match unit by unit.
bool EqualsNoCase(const char16_t* a, const char16_t* b);

}  // namespace text
