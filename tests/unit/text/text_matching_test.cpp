#include "text/text_matching.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using text::ContainsNoCase;
using text::EqualsNoCase;

TEST(ContainsNoCase, EmptyPatternIsFoundAtZeroOfEveryText) {
  EXPECT_EQ(ContainsNoCase(u"", u""), 0u);
  EXPECT_EQ(ContainsNoCase(u"abc", u""), 0u);
  EXPECT_FALSE(ContainsNoCase(u"", u"a"));
}

TEST(ContainsNoCase, ReturnsLeftmostOccurrence) {
  EXPECT_EQ(ContainsNoCase(u"aab", u"ab"), 1u);  // a partial match overlaps the real one
  EXPECT_EQ(ContainsNoCase(u"xTarnvolTarnvol", u"tarnvol"), 1u);
  EXPECT_EQ(ContainsNoCase(u"Services\\Tarnvol", u"Tarnvol"), 9u);  // at the very end
  EXPECT_FALSE(ContainsNoCase(u"Tarn", u"Tarnvol"));                // longer than the text
  EXPECT_FALSE(ContainsNoCase(u"Tarnvo", u"Tarnvol"));
}

TEST(ContainsNoCase, FoldsOnlyAsciiCapitals) {
  EXPECT_TRUE(ContainsNoCase(u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\{X}", u"Uninstall\\"));
  EXPECT_TRUE(ContainsNoCase(u"software\\uninstall\\{x}", u"Uninstall\\"));
  EXPECT_FALSE(ContainsNoCase(u"\u00C4", u"\u00E4"));  // A and a with diaeresis
  EXPECT_FALSE(ContainsNoCase(u"\u0391", u"\u03B1"));  // Greek alpha
  EXPECT_FALSE(ContainsNoCase(u"\u0416", u"\u0436"));  // Cyrillic zhe
  EXPECT_FALSE(ContainsNoCase(u"\u212A", u"k"));       // Kelvin sign
  EXPECT_FALSE(ContainsNoCase(u"[", u"{"));            // 0x5B folds to nothing
  EXPECT_FALSE(ContainsNoCase(u"@", u"`"));
}

// A string of value data ends at its size or its first NUL; the units past
// the size (a sentinel here) are never part of it.
TEST(ContainsNoCase, ABoundedTextEndsAtItsSizeOrItsFirstNul) {
  const char16_t data[] = u"xxTarnvolTarnvol";
  EXPECT_EQ(ContainsNoCase(std::u16string_view(data, 9), u"TARNVOL"), 2u);
  EXPECT_FALSE(ContainsNoCase(std::u16string_view(data, 8), u"Tarnvol"));  // cut one unit short
  EXPECT_FALSE(ContainsNoCase(std::u16string_view(u"ab\0Tarnvol", 10), u"Tarnvol"));
  EXPECT_EQ(ContainsNoCase(std::u16string_view(), u""), 0u);
  EXPECT_FALSE(ContainsNoCase(std::u16string_view(), u"x"));
}

TEST(EqualsNoCase, DemandsTheWholeText) {
  EXPECT_TRUE(EqualsNoCase(u"TESSAID", u"tessaid"));
  EXPECT_TRUE(EqualsNoCase(u"", u""));
  EXPECT_FALSE(EqualsNoCase(u"", u"a"));
  EXPECT_FALSE(EqualsNoCase(u"tessaid", u"tessaid2"));
  EXPECT_FALSE(EqualsNoCase(u"tessaid", u"tessai"));
  EXPECT_FALSE(EqualsNoCase(u"\u00C4", u"\u00E4"));
}

}  // namespace
