// What a log file or pipe receives for names outside ASCII: UTF-8, with each
// lone surrogate (which the registry allows in names) shown as U+FFFD, so the
// rest of the report is never lost or garbled by one bad unit.
#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace {

using platform::ToUtf8;

TEST(ConsoleText, ValidTextBecomesItsUtf8Bytes) {
  EXPECT_EQ(ToUtf8(u"[Software\\Tarnvol]: DELETED\n\n"), "[Software\\Tarnvol]: DELETED\n\n");
  EXPECT_EQ(ToUtf8(u"\x00DC"), "\xC3\x9C");  // two bytes: U+0080 to U+07FF
  EXPECT_EQ(ToUtf8(u"\x007F\x0080\x07FF\x0800"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80");
  EXPECT_EQ(ToUtf8(u"\x043A\xFFFF"), "\xD0\xBA\xEF\xBF\xBF");
  EXPECT_EQ(ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // a surrogate pair: one four-byte character
  EXPECT_EQ(ToUtf8(u"\xDBFF\xDFFF"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(ToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(ConsoleText, LoneSurrogatesBecomeTheReplacementCharacter) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(ToUtf8(u"a\xD800Tarnvol"), "a" + replacement + "Tarnvol");          // high, then no low
  EXPECT_EQ(ToUtf8(u"TARNVOL \xDC00 end"), "TARNVOL " + replacement + " end");  // low without a high
  EXPECT_EQ(ToUtf8(u"x\xD800"), "x" + replacement);                             // high at the very end
  EXPECT_EQ(ToUtf8(u"\xDC00\xD800"), replacement + replacement);                // a pair the wrong way round
  EXPECT_EQ(ToUtf8(u"\xD800\xD83D\xDE00"), replacement + "\xF0\x9F\x98\x80");   // a high before a whole pair
}

TEST(ConsoleText, ReportOfAPathOutsideAscii) {
  EXPECT_EQ(ToUtf8(u"[Software\\\x00DCn\x00EF"
                   u"c\x00F8"
                   u"d\x00E9 Tarnvol \x043A\x043B\x044E\x0447]: DELETED\n\n"),
            "[Software\\\xC3\x9Cn\xC3\xAF"
            "c\xC3\xB8"
            "d\xC3\xA9 Tarnvol \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87]: DELETED\n\n");
}

}  // namespace
