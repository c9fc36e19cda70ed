#include "text/text_matching.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

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

TEST(EqualsNoCase, DemandsTheWholeText) {
  EXPECT_TRUE(EqualsNoCase(u"TESSAID", u"tessaid"));
  EXPECT_TRUE(EqualsNoCase(u"", u""));
  EXPECT_FALSE(EqualsNoCase(u"", u"a"));
  EXPECT_FALSE(EqualsNoCase(u"tessaid", u"tessaid2"));
  EXPECT_FALSE(EqualsNoCase(u"tessaid", u"tessai"));
  EXPECT_FALSE(EqualsNoCase(u"\u00C4", u"\u00E4"));
}

}  // namespace

namespace {

std::uint32_t Find(const text::PatternSet& set, const char16_t* text, std::uint32_t wanted) {
  return set.Find(text, std::char_traits<char16_t>::length(text), wanted);
}

// Three patterns in one pass give what each gives alone: patterns sharing a
// first letter in either case, a pattern whose first unit is not ASCII, an
// empty one, and only the patterns asked for.
TEST(PatternSet, FindsEachPatternAsContainsNoCaseDoes) {
  const char16_t* patterns[] = {u"Tarnvol", u"tessaid", u"\u00C4rger", u"", u"Korvex for Windows"};
  const text::PatternSet set(patterns, 5);
  const std::uint32_t all = 0x1F;
  EXPECT_EQ(Find(set, u"xTARNVOLRec", all), 0x1u | 0x8u);
  EXPECT_EQ(Find(set, u"teSSaid TarnvoX tarnvol", all), 0x1u | 0x2u | 0x8u);
  EXPECT_EQ(Find(set, u"\u00C4rger", all), 0x4u | 0x8u);
  EXPECT_EQ(Find(set, u"\u00E4rger", all), 0x8u);  // only A to Z fold
  EXPECT_EQ(Find(set, u"Korvex for Windows, Tarnvol", 0x11), 0x11u);
  EXPECT_EQ(Find(set, u"Korvex for Windows, Tarnvol", 0x10), 0x10u);
  EXPECT_EQ(Find(set, u"", all), 0x8u);
  EXPECT_EQ(Find(set, u"Tarnvo", 0x1), 0u);  // a pattern cut short by the text's end
  // Long enough for the eight-at-a-time scan, a match in its last units.
  EXPECT_EQ(Find(set, u"0123456789abcdefghijklmnopqrstuvwxyzTARNVOL", all), 0x1u | 0x8u);
  const char16_t name[] = u"0123456789abcdef\0Tarnvol";  // what follows a NUL is not the text's
  EXPECT_EQ(set.Find(name, std::size(name) - 1, all), 0x8u);
}

// Past four first units the set still answers, looking at every unit.
TEST(PatternSet, ManyFirstUnits) {
  const char16_t* patterns[] = {u"ab", u"cd", u"ef", u"gh", u"ij"};
  const text::PatternSet set(patterns, 5);
  EXPECT_EQ(Find(set, u"xxIJxxEFxxxxxxxxxxxAB", 0x1F), 0x1u | 0x4u | 0x10u);
}

}  // namespace
