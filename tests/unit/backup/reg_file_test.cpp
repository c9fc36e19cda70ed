// The undo file must read back through reg import as the values were: each
// type in the form reg export gives it, names and text escaped, long data
// wrapped at the very column reg export wraps at, and what reg import cannot
// restore kept out of its way as comments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/reg_file.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The units of text, low byte first, as the registry keeps string data.
Bytes Units(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

Bytes Counting(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  return bytes;
}

std::string Lines(std::u16string_view name, std::uint32_t type, const Bytes& data) {
  return memory::Narrow(backup::ValueLines(name, type, data.data(), data.size()));
}

TEST(RegFile, NamesAndTextAreQuotedAndEscapedAsRegImportReadsThem) {
  EXPECT_EQ(Lines(u"", platform::kRegSz, Units(std::u16string(u"C:\\Program Files\\\"Korvex\"") + u'\0')),
            "@=\"C:\\\\Program Files\\\\\\\"Korvex\\\"\"\r\n");
  EXPECT_EQ(Lines(u"Say \"hi\"\\", platform::kRegSz, Units(std::u16string(1, u'\0'))),
            "\"Say \\\"hi\\\"\\\\\"=\"\"\r\n");
  // Non-ASCII text and names are written as they are, in UTF-16.
  EXPECT_EQ(backup::ValueLines(u"Größe €", platform::kRegSz, Units(std::u16string(u"日本語 ✓") + u'\0').data(), 12),
            u"\"Größe €\"=\"日本語 ✓\"\r\n");
  // A line break in a name would end the line under the reader.
  EXPECT_EQ(Lines(u"a\r\nb", platform::kRegBinary, {0x01}), "\"a\\r\\nb\"=hex:01\r\n");
}

TEST(RegFile, StringDataIsTextOnlyWhenTextGivesItBackExactly) {
  const std::u16string nul(1, u'\0');
  // A NUL inside, a line break inside, or nothing at all: the bytes, as hex(1).
  EXPECT_EQ(Lines(u"v", platform::kRegSz, Units(u"a" + nul + u"b" + nul)),
            "\"v\"=hex(1):61,00,00,00,62,00,00,00\r\n");
  EXPECT_EQ(Lines(u"v", platform::kRegSz, Units(u"a\nb" + nul)), "\"v\"=hex(1):61,00,0a,00,62,00,00,00\r\n");
  EXPECT_EQ(Lines(u"v", platform::kRegSz, {}), "\"v\"=hex(1):\r\n");
  // No closing NUL: reg import adds one, which the file says.
  EXPECT_EQ(Lines(u"v", platform::kRegSz, Units(u"ab")),
            "; The next value's string data does not end in a NUL; reg import adds one.\r\n"
            "\"v\"=hex(1):61,00,62,00\r\n");
  EXPECT_EQ(Lines(u"v", platform::kRegExpandSz, {0x41, 0x00, 0x42}),
            "; The next value's string data has an odd number of bytes and no closing NUL; reg import does not "
            "restore its last byte.\r\n"
            "\"v\"=hex(2):41,00,42\r\n");
  // An odd byte after a NUL unit comes back as it was.
  EXPECT_EQ(Lines(u"v", platform::kRegExpandSz, {0x00, 0x00, 0x25}), "\"v\"=hex(2):00,00,25\r\n");
  // One byte of string data, on which reg import fails: a comment only.
  EXPECT_EQ(Lines(u"v", platform::kRegMultiSz, {0x41}),
            "; reg import cannot restore string data of one byte; the value below it was:\r\n"
            "; \"v\"=hex(7):41\r\n");
  // A NUL in a name has no quoted form.
  EXPECT_EQ(Lines(std::u16string(u"a") + u'\0' + u"b", platform::kRegBinary, {0x01}),
            "; reg import cannot restore a value whose name holds a NUL; the value below it was:\r\n"
            "; \"a\\0b\"=hex:01\r\n");
}

TEST(RegFile, EachTypeInItsOwnForm) {
  EXPECT_EQ(Lines(u"d", platform::kRegDword, {0xEF, 0xBE, 0xAD, 0x0B}), "\"d\"=dword:0badbeef\r\n");
  EXPECT_EQ(Lines(u"d", platform::kRegDword, {0x01, 0x02, 0x03}), "\"d\"=hex(4):01,02,03\r\n");
  EXPECT_EQ(Lines(u"d", platform::kRegDword, {}), "\"d\"=hex(4):\r\n");
  EXPECT_EQ(Lines(u"b", platform::kRegBinary, {0xAB, 0x00}), "\"b\"=hex:ab,00\r\n");
  EXPECT_EQ(Lines(u"b", platform::kRegBinary, {}), "\"b\"=hex:\r\n");
  EXPECT_EQ(Lines(u"n", platform::kRegNone, {}), "\"n\"=hex(0):\r\n");
  EXPECT_EQ(Lines(u"n", platform::kRegNone, {0x00}), "\"n\"=hex(0):00\r\n");
  EXPECT_EQ(Lines(u"q", platform::kRegQword, Counting(8)), "\"q\"=hex(b):01,02,03,04,05,06,07,08\r\n");
  EXPECT_EQ(Lines(u"x", 0x100, {0xFF}), "\"x\"=hex(100):ff\r\n");
  EXPECT_EQ(Lines(u"x", 0xFFFFFFFF, {}), "\"x\"=hex(ffffffff):\r\n");
}

TEST(RegFile, LongDataWrapsAtTheColumnRegExportWrapsAt) {
  // reg export's own output for this value, byte for byte.
  EXPECT_EQ(
      Lines(u"Multiple strings", platform::kRegMultiSz, Units(std::u16string_view(u"Line1\0Line2\0Line3\0\0", 19))),
      "\"Multiple strings\"=hex(7):4c,00,69,00,6e,00,65,00,31,00,00,00,4c,00,69,00,6e,\\\r\n"
      "  00,65,00,32,00,00,00,4c,00,69,00,6e,00,65,00,33,00,00,00,00,00\r\n");
  // "a"=hex: is 8 columns; the 23rd comma reaches column 77 exactly and wraps.
  const std::string first23 = "01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,";
  EXPECT_EQ(Lines(u"a", platform::kRegBinary, Counting(24)), "\"a\"=hex:" + first23 + "\\\r\n  18\r\n");
  // @=hex: is 6: the 23rd comma stands at 75, and the 24th byte ends the line.
  EXPECT_EQ(Lines(u"", platform::kRegBinary, Counting(24)), "@=hex:" + first23 + "18\r\n");
  // Every further line holds 25 bytes.
  const std::string lines = Lines(u"", platform::kRegBinary, Counting(50));
  EXPECT_EQ(lines.substr(0, 6 + 24 * 3 + 3), "@=hex:" + first23 + "18,\\\r\n");
  EXPECT_EQ(lines.substr(6 + 24 * 3 + 3),
            "  19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,31,\\\r\n  32\r\n");
}

TEST(RegFile, ALongestNameWrapsAfterItsFirstByte) {
  const std::u16string name(16383, u'N');
  const std::u16string lines = backup::ValueLines(name, 0x100, Counting(3).data(), 3);
  EXPECT_EQ(lines, u"\"" + name + u"\"=hex(100):01,\\\r\n  02,03\r\n");
}

TEST(RegFile, RealPlaceIsTheMachineOrTheUsersRootElseNothing) {
  EXPECT_EQ(backup::RealPlace(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\Korvex.Document"),
            u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Korvex.Document");
  EXPECT_EQ(backup::RealPlace(u"\\Registry\\User\\S-1-5-21-1000-1001\\Software"),
            u"HKEY_USERS\\S-1-5-21-1000-1001\\Software");
  EXPECT_EQ(backup::RealPlace(u"\\REGISTRY\\MACHINE"), u"HKEY_LOCAL_MACHINE");
  EXPECT_EQ(backup::RealPlace(u"\\REGISTRY\\MACHINEX\\Software"), u"");
  EXPECT_EQ(backup::RealPlace(u"\\REGISTRY\\A\\Software"), u"");
  EXPECT_EQ(backup::RealPlace(u"HKEY_LOCAL_MACHINE\\Software"), u"");
  EXPECT_EQ(backup::RealPlace(u""), u"");
}

TEST(RegFile, AValueAloneStandsUnderItsKeyLine) {
  const Bytes filters = Units(std::u16string_view(u"tessaid\0PartMgr\0\0", 17));
  EXPECT_EQ(memory::Narrow(backup::ValueBlock(u"HKEY_LOCAL_MACHINE\\SYSTEM\\Class", u"UpperFilters",
                                              platform::kRegMultiSz, filters.data(), filters.size())),
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Class]\r\n"
            "\"UpperFilters\"=hex(7):74,00,65,00,73,00,73,00,61,00,69,00,64,00,00,00,50,00,61,\\\r\n"
            "  00,72,00,74,00,4d,00,67,00,72,00,00,00,00,00\r\n\r\n");
  // A key name with a line break cannot be a key line.
  EXPECT_FALSE(backup::CanWriteKeyLine(u"HKEY_USERS\\S\\a\nb"));
  EXPECT_EQ(memory::Narrow(backup::ValueBlock(u"HKEY_USERS\\S\\a\nb", u"v", platform::kRegBinary, filters.data(), 1)),
            "; A key whose name reg import cannot read back, with its subtree, is not in this file: "
            "[HKEY_USERS\\S\\a\\nb]\r\n\r\n");
  EXPECT_EQ(memory::Narrow(backup::FileHeader()), "Windows Registry Editor Version 5.00\r\n\r\n");
}

}  // namespace
