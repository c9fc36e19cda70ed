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

  const bool equal = text::EqualsNoCase(textCopy.get(), patternCopy.get());
  Check(equal == (Folded(text) == Folded(pattern)), "equality differs from the model");
  Check(equal == text::EqualsNoCase(patternCopy.get(), textCopy.get()), "equality is not symmetric");
  Check(text::EqualsNoCase(textCopy.get(), textCopy.get()), "a text is not equal to itself");

  // Several patterns at once, two sharing the pattern's first unit, one its
  // case-swapped last part and one fixed: the same answer for each as ContainsNoCase.
  const std::u16string tail = pattern.empty() ? pattern : Folded(pattern.substr(pattern.size() / 2));
  const std::u16string prefix = pattern.substr(0, (pattern.size() + 1) / 2);
  const auto tailCopy = Terminated(tail);
  const auto prefixCopy = Terminated(prefix);
  const char16_t* patterns[] = {patternCopy.get(), tailCopy.get(), prefixCopy.get(), u"Tarnvol"};
  const text::PatternSet set(patterns, 4);
  const std::uint32_t wanted = static_cast<std::uint32_t>(input[0] >> 4) | 1u;
  const std::uint32_t hits = set.Find(textCopy.get(), text.size(), wanted);
  for (std::uint32_t i = 0; i < 4; ++i) {
    const bool expectedHit = (wanted >> i & 1u) && text::ContainsNoCase(textCopy.get(), patterns[i]).has_value();
    Check(((hits >> i) & 1u) == (expectedHit ? 1u : 0u), "a pattern set answers otherwise than the pattern alone");
  }
  return 0;
}
