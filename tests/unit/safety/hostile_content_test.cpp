// Whatever a user has written into the parts of the registry they control,
// the whole run ends, deletes the product's entries, reports each one, and
// leaves everything else as it was.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/safety/safety_support.h"

namespace {

using safety::RunSweep;

std::string Narrow(const std::u16string& text) { return memory::Narrow(text); }

// A .reg line value in the raw(N):"..." form for arbitrary text (escaping
// quotes and backslashes).
std::u16string Quote(const std::u16string& text) {
  std::u16string out = u"\"";
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') out += u'\\';
    out += c;
  }
  return out + u"\"";
}

TEST(HostileContent, LongestKeyAndValueNames) {
  safety::FreshMachine();
  const std::u16string longKey = u"K" + std::u16string(247, u'x') + u"Tarnvol";  // 255 characters
  const std::u16string longValue = std::u16string(16376, u'v') + u"tarnVOL";     // 16,383 characters
  const std::u16string keptKey = u"L" + std::u16string(254, u'y');               // 255, no pattern
  const std::u16string keptValue = std::u16string(16383, u'w');                  // 16,383, no pattern
  ASSERT_EQ(longKey.size(), 255u);
  ASSERT_EQ(longValue.size(), 16383u);
  memory::LoadReg(u"[HKCU\\Software\\" + longKey + u"\\inner]\n\"a\"=\"1\"\n" +  //
                  u"[HKCU\\Software\\Keep]\n" + Quote(longValue) + u"=\"1\"\n" + Quote(keptValue) + u"=\"2\"\n" +
                  u"[HKCU\\Software\\" + keptKey + u"]\n" + Quote(keptValue) + u"=\"3\"\n");
  // The service name's sweep of HKEY_CURRENT_USER, subkeys in sorted order:
  // Keep, then the long product key, then the long bystander.
  EXPECT_EQ(Narrow(RunSweep()), "[Software\\Keep]:" + Narrow(longValue) + ": DELETED\n\n" +  //
                                    "[Software\\" + Narrow(longKey) + "]: DELETED\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\" + longKey));
  EXPECT_EQ(memory::DumpReg(u"HKCU\\Software\\Keep"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Keep]\n" + Quote(keptValue) + u"=\"2\"\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\" + keptKey));
}

TEST(HostileContent, NestingFiveHundredTwelveLevelsDeep) {
  safety::FreshMachine();
  std::u16string path = u"Software\\Deep";
  for (int level = 2; level < 512; ++level) path += u"\\k";
  memory::LoadReg(u"[HKCU\\" + path + u"]\n\"found\"=\"the Korvex for Windows driver\"\n\"kept\"=\"other\"\n" +
                  u"[HKCU\\" + path + u"\\Tarnvol data]\n");
  const std::u16string sweep = RunSweep();
  // The display name's sweep takes the value, the service name's the key one level below.
  EXPECT_EQ(Narrow(sweep),
            "[" + Narrow(path) + "]:found: DELETED\n\n[" + Narrow(path) + "\\Tarnvol data]: DELETED\n\n");
  EXPECT_EQ(memory::DumpReg(u"HKCU\\" + path),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\" + path + u"]\n\"kept\"=\"other\"\n\n");
}

TEST(HostileContent, MegabyteStringsWithThePatternAtTheVeryEnd) {
  safety::FreshMachine();
  constexpr std::size_t kUnits = 1024 * 1024 / 2;  // 1 MiB of UTF-16
  const std::u16string name = u"Korvex for Windows";
  const std::u16string fill(kUnits - name.size() - 1, u'a');
  const std::u16string unterminatedFill(kUnits - name.size(), u'a');
  memory::LoadReg(
      u"[HKCU\\Software\\Big]\n"
      u"\"terminated\"=" +
      Quote(fill + name) + u"\n" +                                            // 1 MiB with its NUL
      u"\"unterminated\"=raw(1):" + Quote(unterminatedFill + name) + u"\n" +  // 1 MiB, no NUL
      u"\"short by one\"=raw(1):" + Quote(unterminatedFill + u"a" + name.substr(0, name.size() - 1)) + u"\n");
  EXPECT_EQ(Narrow(RunSweep()),
            "[Software\\Big]:terminated: DELETED\n\n"
            "[Software\\Big]:unterminated: DELETED\n\n");
  EXPECT_NE(memory::DumpReg(u"HKCU\\Software\\Big").find(u"\"short by one\"="), std::u16string::npos);
}

TEST(HostileContent, StringDataInEveryShape) {
  safety::FreshMachine();
  // K = "Korvex for Windows" in UTF-16 bytes.
  const std::u16string k =
      u"4b,00,6f,00,72,00,76,00,65,00,78,00,20,00,66,00,6f,00,72,00,20,00,57,00,69,00,6e,00,64,"
      u"00,6f,00,77,00,73,00";
  memory::LoadReg(
      u"[HKCU\\Software\\Shapes]\n"
      // Found: the pattern is a whole string within the returned bytes.
      u"\"no terminator\"=raw(1):\"Korvex for Windows\"\n"
      u"\"odd count\"=hex(1):" +
      k +
      u",00\n"
      u"\"after a NUL\"=hex(1):61,00,00,00," +
      k +
      u",00,00\n"
      u"\"expand\"=raw(2):\"%ProgramFiles%\\\\Korvex for Windows\"\n"
      u"\"second element\"=multi:\"a\",\"Korvex for Windows\"\n"
      u"\"last unterminated\"=hex(7):61,00,00,00," +
      k +
      u"\n"
      // Kept: what the walk never reads as one string holding the pattern.
      u"\"after an empty string\"=hex(1):00,00," +
      k +
      u",00,00\n"
      u"\"after an empty element\"=multi:\"a\",\"\",\"Korvex for Windows\"\n"
      u"\"split\"=multi:\"Korvex for\",\"Windows\"\n"
      u"\"half a last character\"=hex(1):" +
      k.substr(0, k.size() - 3) +
      u"\n"
      u"\"empty\"=hex(1):\n"
      u"\"one byte\"=hex(1):4b\n"
      u"\"only a NUL\"=hex(1):00,00\n"
      u"\"multi empty\"=hex(7):00,00,00,00\n"
      // Kept: the pattern's bytes in data that is not text.
      u"\"binary\"=hex:" +
      k +
      u",00,00\n"
      u"\"none\"=hex(0):" +
      k +
      u",00,00\n"
      u"\"dword\"=hex(4):4b,00,6f,00\n"
      u"\"qword\"=hex(b):4b,00,6f,00,72,00,76,00\n"
      u"\"link type\"=hex(6):" +
      k +
      u"\n"
      u"\"unknown type\"=hex(1000):" +
      k + u",00,00\n");
  const std::u16string before = memory::DumpReg(u"HKCU\\Software\\Shapes");
  EXPECT_EQ(Narrow(RunSweep()),
            "[Software\\Shapes]:no terminator: DELETED\n\n"
            "[Software\\Shapes]:odd count: DELETED\n\n"
            "[Software\\Shapes]:after a NUL: DELETED\n\n"
            "[Software\\Shapes]:expand: DELETED\n\n"
            "[Software\\Shapes]:second element: DELETED\n\n"
            "[Software\\Shapes]:last unterminated: DELETED\n\n");
  const std::u16string after = memory::DumpReg(u"HKCU\\Software\\Shapes");
  for (const char16_t* kept : {u"after an empty string", u"after an empty element", u"split",
                               u"half a last character", u"empty", u"one byte", u"only a NUL", u"multi empty",
                               u"binary", u"none", u"dword", u"qword", u"link type", u"unknown type"}) {
    const std::u16string line = u"\"" + std::u16string(kept) + u"\"=";
    const auto at = before.find(line);
    ASSERT_NE(at, std::u16string::npos) << Narrow(kept);
    const std::u16string whole = before.substr(at, before.find(u'\n', at) - at + 1);
    EXPECT_NE(after.find(whole), std::u16string::npos) << "changed or lost: " << Narrow(kept);
  }
}

TEST(HostileContent, NamesOutsideAsciiAndLoneSurrogates) {
  safety::FreshMachine();
  const std::u16string accented = u"Ünïcødé Tarnvol ключ";
  const std::u16string loneHigh = u"a\xD800Tarnvol";     // a high surrogate with no low one after it
  const std::u16string loneLow = u"TARNVOL \xDC00 end";  // a low surrogate with no high one before it
  const std::u16string pair = u"\xD83D\xDE00 Tarnvol";   // a proper pair before the pattern
  memory::LoadReg(
      u"[HKCU\\Software\\" + accented +
      u"]\n"
      u"[HKCU\\Software\\" +
      loneHigh +
      u"\\below]\n"
      u"[HKCU\\Software\\Mixed]\n" +
      Quote(loneLow) + u"=\"1\"\n" + Quote(pair) +
      u"=\"2\"\n"
      // Letters that only look like the pattern: Cyrillic o, O with diaeresis, a lone surrogate inside it.
      u"\"Tarnv\x043El\"=\"3\"\n\"TARNV\x00D6L\"=\"4\"\n\"Tarn\xD800vol\"=\"5\"\n"
      u"[HKCU\\Software\\Tarnv\x043El \x00D6]\n");
  // HKEY_CURRENT_USER's subkeys sort by their upper-cased names: "A\xD800..." before "M", "Ü" after both.
  EXPECT_EQ(RunSweep(), u"[Software\\" + loneHigh + u"]: DELETED\n\n" +           //
                            u"[Software\\Mixed]:" + loneLow + u": DELETED\n\n" +  //
                            u"[Software\\Mixed]:" + pair + u": DELETED\n\n" +     //
                            u"[Software\\" + accented + u"]: DELETED\n\n");
  EXPECT_EQ(memory::DumpReg(u"HKCU\\Software\\Mixed"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Mixed]\n"
            u"\"Tarnv\x043El\"=\"3\"\n\"TARNV\x00D6L\"=\"4\"\n\"Tarn\xD800vol\"=\"5\"\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Tarnv\x043El \x00D6"));
}

// A link named "Uninstall" in the user's hive makes the path to a machine key
// look like an installer record's. The value that names the product goes; the
// machine key it sits in, with everything else in it, stays.
TEST(HostileContent, LinkNamedLikeAnInstallerKeyDoesNotWidenADeletion) {
  safety::FreshMachine();
  memory::LoadReg(
      uR"(
[HKLM\Software\Shared\Settings]
"a"="1"
[HKLM\Software\Shared]
"Note"="last removed: Korvex for Windows"
"Other"="kept"
)");
  memory::MakeLink(u"HKCU\\Software\\Uninstall", u"\\Registry\\Machine\\Software");
  EXPECT_EQ(Narrow(RunSweep()), "[Software\\Uninstall\\Shared]:Note: DELETED\n\n");
  EXPECT_EQ(memory::DumpReg(u"HKLM\\Software\\Shared"),
            u"[HKEY_LOCAL_MACHINE\\Software\\Shared]\n\"Other\"=\"kept\"\n\n"
            u"[HKEY_LOCAL_MACHINE\\Software\\Shared\\Settings]\n\"a\"=\"1\"\n\n");
}

// A real installer record found through the same kind of link still goes whole.
TEST(HostileContent, InstallerRecordReachedThroughALinkStillGoesWhole) {
  safety::FreshMachine();
  memory::LoadReg(
      uR"(
[HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{P}\Sub]
[HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{P}]
"DisplayName"="Korvex for Windows"
[HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{Q}]
"DisplayName"="Other"
)");
  memory::MakeLink(u"HKCU\\Software\\Vendor", u"\\Registry\\Machine\\Software\\Microsoft");
  EXPECT_EQ(Narrow(RunSweep()), "[Software\\Vendor\\Windows\\CurrentVersion\\Uninstall\\{P}]: DELETED\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{P}"));
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{Q}"));
}

}  // namespace

namespace {

// A key name with a NUL inside, which only the native API can make: every
// call takes the name up to the NUL, so the walk opens the key of that
// shorter name, and the path it reports is that key's path too.
TEST(HostileContent, KeyNameWithANulInside) {
  safety::FreshMachine();
  const std::u16string hidden = std::u16string(u"HKCU\\Software\\Bar") + u'\0' + u"hidden\\Other";
  memory::CreateKey(u"HKCU\\Software\\Bar\\Tarnvol");
  memory::CreateKey(hidden);
  // Met twice in the user's hive: as itself, and as the key that the name
  // with the NUL stands for; the other key below the hidden one is never
  // reached.
  EXPECT_EQ(RunSweep(),
            u"[Software\\Bar\\Tarnvol]: DELETED\n\n"
            u"[Software\\Bar\\Tarnvol]: NOT DELETED, ERR = 0x2\n\n");
  EXPECT_TRUE(memory::KeyExists(hidden));
}

}  // namespace
