#include "text/unit_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

// Every run length across the eight-unit blocks and the overlapping last
// block, a stop at every place and from every starting index: the scan stops
// where a unit-by-unit look would. Each run is a heap block of exactly its
// length, so the sanitizer build stops any read past its end.
TEST(UnitScan, StopsWhereALookAtEachUnitWould) {
  const text::ScanStop stops[2] = {text::kNulStop, text::PatternStart(u"Korvex")};
  const text::UnitScan<2> scan(stops);
  for (std::size_t length = 0; length <= 20; ++length)
    for (std::size_t place = 0; place <= length; ++place)
      for (char16_t stop : {u'\0', u'k', u'K'}) {
        std::unique_ptr<char16_t[]> run(new char16_t[length]);
        std::fill(run.get(), run.get() + length, u'x');
        if (place < length) run[place] = stop;
        for (std::size_t from = 0; from <= length; ++from) {
          const std::size_t expected = place >= from && place < length ? place : length;
          EXPECT_EQ(scan.Next(run.get(), from, length), expected) << length << " " << place << " " << from;
        }
      }
}

TEST(UnitScan, FoldsOnlyTheLettersAToZ) {
  const text::ScanStop stops[2] = {text::kNulStop, text::PatternStart(u"\u00C4rger")};
  const text::UnitScan<2> scan(stops);
  const std::u16string run = u"kK\u00E4\u00C4 xxxxxxxxxxxxxxxx";
  EXPECT_EQ(scan.Next(run.data(), 0, run.size()), 3u);
  const text::ScanStop letters[2] = {text::kNulStop, text::PatternStart(u"korvex")};
  const text::UnitScan<2> lower(letters);
  EXPECT_EQ(lower.Next(u"\u004B", 0, 1), 0u);
  EXPECT_EQ(lower.Next(u"\u006B", 0, 1), 0u);
  EXPECT_EQ(lower.Next(u"\u000B\u002B\u00CB\u016B", 0, 4), 4u);  // the same low bits, other units
}

}  // namespace
