// ContainsNoCase and EqualsNoCase on arbitrary text, held against a plain
// second version built on the standard library: fold both texts to copies,
// then std::u16string::find and ==. Each text sits in a heap block of exactly
// its length and its NUL, so AddressSanitizer stops any read past the end.
//
// Input: one control byte, then the units of two texts.
//   control bits 0-5: the pattern's length in units (the rest is the text)
//   control bit 6:    units are two bytes each (little-endian, an odd last
//                     byte dropped) instead of one byte each, so that both
//                     letters near the fold and any unit value are reached
// A NUL unit inside either text ends it, as it would for the cleaner.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "text/text_matching.h"

namespace {

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "text matching: %s\n", what);
    std::abort();
  }
}

std::u16string Folded(std::u16string text) {
  for (char16_t& unit : text)
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  return text;
}

std::unique_ptr<char16_t[]> Terminated(const std::u16string& text) {
  std::unique_ptr<char16_t[]> copy(new char16_t[text.size() + 1]);
  text.copy(copy.get(), text.size());
  copy[text.size()] = 0;
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t patternLength = input[0] & 0x3F;
  std::u16string units;
  if (input[0] & 0x40) {
    for (std::size_t at = 1; at + 1 < size; at += 2) units += static_cast<char16_t>(input[at] | (input[at + 1] << 8));
  } else {
    for (std::size_t at = 1; at < size; ++at) units += static_cast<char16_t>(input[at]);
  }
  std::u16string pattern = units.substr(0, patternLength);
  std::u16string text = units.substr(pattern.size());
  pattern.resize(std::char_traits<char16_t>::length(pattern.c_str()));
  text.resize(std::char_traits<char16_t>::length(text.c_str()));

  const auto textCopy = Terminated(text);
  const auto patternCopy = Terminated(pattern);
  const auto found = text::ContainsNoCase(textCopy.get(), patternCopy.get());
  const std::size_t expected = Folded(text).find(Folded(pattern));
  Check(found.has_value() == (expected != std::u16string::npos), "found where the model does not, or missed");
  if (found) Check(*found == expected, "not the leftmost occurrence");

  // The same text in a block of exactly its length, with no NUL after it:
  // the bounded search gives the same answer and reads nothing past the end.
  std::unique_ptr<char16_t[]> unclosed(new char16_t[text.size() + 1]);
  text.copy(unclosed.get() + 1, text.size());
  const auto bounded = text::ContainsNoCase(std::u16string_view(unclosed.get() + 1, text.size()), patternCopy.get());
  Check(bounded == found, "a text bounded by its size answers otherwise than the same text closed by a NUL");

  const bool equal = text::EqualsNoCase(textCopy.get(), patternCopy.get());
  Check(equal == (Folded(text) == Folded(pattern)), "equality differs from the model");
  Check(equal == text::EqualsNoCase(patternCopy.get(), textCopy.get()), "equality is not symmetric");
  Check(text::EqualsNoCase(textCopy.get(), textCopy.get()), "a text is not equal to itself");

  return 0;
}
