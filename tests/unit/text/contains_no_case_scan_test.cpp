// The scan tests each position against the pattern's first unit before the
// rest; these cases aim at that shortcut, and a comparison with the plain
// unit-by-unit scan over many generated texts covers what they miss.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "text/text_matching.h"

namespace {

using text::ContainsNoCase;

char16_t Folded(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit; }

// The definition, position by position, with nothing skipped.
std::optional<std::size_t> PlainScan(const std::u16string& text, const std::u16string& pattern) {
  if (pattern.empty()) return 0;
  for (std::size_t start = 0; start < text.size(); ++start) {
    std::size_t k = 0;
    while (k < pattern.size() && start + k < text.size() && Folded(text[start + k]) == Folded(pattern[k])) ++k;
    if (k == pattern.size()) return start;
  }
  return std::nullopt;
}

TEST(ContainsNoCaseFirstUnit, EitherCaseOfALetterStartsAMatch) {
  EXPECT_EQ(ContainsNoCase(u"xxtarnvol", u"Tarnvol"), 2u);
  EXPECT_EQ(ContainsNoCase(u"xxTARNVOL", u"tarnvol"), 2u);
  EXPECT_EQ(ContainsNoCase(u"{6b1f03c2}", u"6B1F03C2"), 1u);
  EXPECT_EQ(ContainsNoCase(u"Z", u"z"), 0u);
  EXPECT_EQ(ContainsNoCase(u"a", u"A"), 0u);
}

TEST(ContainsNoCaseFirstUnit, OnlyAsciiLettersHaveAnotherCase) {
  // Units 0x20 apart that are not a capital and its small letter.
  EXPECT_FALSE(ContainsNoCase(u"`bc", u"@bc"));
  EXPECT_FALSE(ContainsNoCase(u"@bc", u"`bc"));
  EXPECT_FALSE(ContainsNoCase(u"{x", u"[x"));
  EXPECT_FALSE(ContainsNoCase(u"[x", u"{x"));
  EXPECT_FALSE(ContainsNoCase(u"\u00E4rger", u"\u00C4rger"));
  EXPECT_FALSE(ContainsNoCase(u"\u00C4rger", u"\u00E4rger"));
  EXPECT_EQ(ContainsNoCase(u"x\u00C4RGER", u"\u00C4rger"), 1u);
  EXPECT_EQ(ContainsNoCase(u"Uninstall\\", u"\\"), 9u);
}

TEST(ContainsNoCaseFirstUnit, FirstUnitAtTheEndOfTheTextIsNoMatch) {
  EXPECT_FALSE(ContainsNoCase(u"abcT", u"Tarnvol"));
  EXPECT_FALSE(ContainsNoCase(u"T", u"Tarnvol"));
  EXPECT_EQ(ContainsNoCase(u"abcT", u"t"), 3u);
}

TEST(ContainsNoCaseFirstUnit, AgreesWithThePlainScan) {
  // A small alphabet makes partial matches, case pairs and near-letters common.
  const char16_t alphabet[] = {u'a', u'A', u'b', u'B',      u'z',      u'Z', u'@',
                               u'`', u'[', u'{', u'\u00C4', u'\u00E4', u'\\'};
  std::mt19937 random(12345);
  auto draw = [&](std::size_t maxLength) {
    std::u16string text(random() % (maxLength + 1), u' ');
    for (auto& unit : text) unit = alphabet[random() % std::size(alphabet)];
    return text;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::u16string text = draw(24);
    std::u16string pattern = draw(4);
    // Half the time the pattern comes from the text, with some letters' case changed.
    if (round % 2 && !text.empty()) {
      std::size_t start = random() % text.size();
      pattern = text.substr(start, 1 + random() % 4);
      for (auto& unit : pattern)
        if (random() % 2 && unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 0x20);
    }
    ASSERT_EQ(ContainsNoCase(text.c_str(), pattern.c_str()), PlainScan(text, pattern))
        << "round " << round << " text length " << text.size() << " pattern length " << pattern.size();
  }
}

}  // namespace
