#include "sweep/registry_search.h"

#include <gtest/gtest.h>

#include "platform/memory/machine.h"

namespace {

using platform::kLocalMachine;
using sweep::EntryKind;
using sweep::FoundEntry;
using sweep::FoundList;

std::string Describe(const FoundList& list) {
  std::string out;
  for (const FoundEntry& e : list)
    out += std::to_string(static_cast<int>(e.kind)) + " [" + memory::Narrow(e.keyPath) + "] [" +
           memory::Narrow(e.valueName) + "] [" + memory::Narrow(e.valueText) + "]\n";
  return out;
}

// Searches the test key HKLM\T as if it were a root.
std::string ScanTestKey(const std::u16string& pattern, sweep::SearchFlags flags) {
  platform::RegKey key;
  EXPECT_EQ(platform::RegOpenKeyExW(kLocalMachine, u"T", platform::kKeyRead, &key), 0);
  FoundList list;
  sweep::ScanKey(key, u"", pattern, list, flags);
  platform::RegCloseKey(key);
  EXPECT_EQ(memory::OpenKeyCount(), 0u) << "the walk leaked a handle";
  return Describe(list);
}

std::string Search(std::u16string_view reg, const std::u16string& pattern, sweep::SearchFlags flags) {
  memory::ResetMachine();
  memory::LoadReg(reg);
  return ScanTestKey(pattern, flags);
}

TEST(ScanKey, ListsInPreOrderWithValuesBeforeSubkeys) {
  // The root holds value A; K1 matches and holds B whose text matches; K2 holds K3 which matches.
  auto found = Search(
      uR"(
[HKLM\T]
"A pat"="x"
[HKLM\T\K1 PAT]
"B"="text with pat"
[HKLM\T\K2]
[HKLM\T\K2\K3pat]
)",
      u"pat", 7);
  EXPECT_EQ(found,
            "2 [] [A pat] []\n"
            "1 [K1 PAT] [] []\n"
            "4 [K1 PAT] [B] [text with pat]\n"
            "1 [K2\\K3pat] [] []\n");
}

TEST(ScanKey, NestedMatchesAndCaseAndSortedSubkeys) {
  auto found = Search(
      uR"(
[HKLM\T\zz tarnvol]
[HKLM\T\Aa TARNVOL\inner tarnVol]
[HKLM\T\Aa TARNVOL\other]
)",
      u"Tarnvol", 1);
  EXPECT_EQ(found,
            "1 [Aa TARNVOL] [] []\n"
            "1 [Aa TARNVOL\\inner tarnVol] [] []\n"
            "1 [zz tarnvol] [] []\n");
  EXPECT_EQ(Search(u"[HKLM\\T]\n", u"x", 7), "");
}

TEST(ScanKey, FlagsSelectWhatIsCompared) {
  const auto reg =
      uR"(
[HKLM\T\k]
"name pat"="pat in text"
"other"="pat only in text"
)";
  EXPECT_EQ(Search(reg, u"pat", 1), "");
  EXPECT_EQ(Search(reg, u"pat", 3), "2 [k] [name pat] []\n");
  EXPECT_EQ(Search(reg, u"pat", 7),
            "2 [k] [name pat] []\n"
            "4 [k] [name pat] [pat in text]\n"
            "4 [k] [other] [pat only in text]\n");
  // Bits other than the three are ignored.
  EXPECT_EQ(Search(reg, u"pat", 0x103), "2 [k] [name pat] []\n");
}

TEST(ScanKey, FlagsOneNeverEnumeratesValues) {
  Search(u"[HKLM\\T\\k]\n\"v\"=\"x\"\n", u"x", 1);
  for (const auto& call : memory::RegistryCalls()) EXPECT_EQ(call.find("RegEnumValueW"), std::string::npos) << call;
}

TEST(ScanKey, DataWalkOfMultiStrings) {
  // Second and third strings match: one entry, the second string alone.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"m\"=multi:\"a\",\"b pat\",\"c pat\"\n", u"pat", 7), "4 [] [m] [b pat]\n");
  // An empty first element ends the walk; so does one in the middle.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"m\"=multi:\"\",\"pat\"\n", u"pat", 7), "");
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"m\"=multi:\"a\",\"\",\"pat\"\n", u"pat", 7), "");
  // An embedded NUL in a REG_SZ splits it like a multi-string; REG_EXPAND_SZ is not expanded.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"s\"=hex(1):61,00,00,00,70,00,61,00,74,00,00,00\n", u"pat", 7), "4 [] [s] [pat]\n");
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"e\"=raw(2):\"%pat%\\\\x\"\n", u"PAT", 7), "4 [] [e] [%pat%\\x]\n");
}

TEST(ScanKey, DataWalkStaysWithinTheReturnedBytes) {
  // No terminator: compared up to the end of the data and no further.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"s\"=raw(1):\"the pat\"\n", u"pat", 7), "4 [] [s] [the pat]\n");
  // An odd byte count: the half character at the end is not read, so "pa" + half a "t" does not match.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"s\"=hex(1):70,00,61,00,74\n", u"pat", 7), "");
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"s\"=hex(1):70,00,61,00,74\n", u"pa", 7), "4 [] [s] [pa]\n");
  // 0 and 1 bytes are never walked; a one-byte "p" cannot match "p".
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"s\"=hex(1):70\n\"t\"=hex(1):\n", u"p", 7), "");
  // A string after the first one that ends exactly at the data's end, unterminated.
  EXPECT_EQ(Search(u"[HKLM\\T]\n\"m\"=hex(7):61,00,00,00,70,00\n", u"p", 7), "4 [] [m] [p]\n");
}

TEST(ScanKey, OnlyStringTypesAreComparedByData) {
  // "pat" as UTF-16 bytes inside binary, dword-sized, qword and none data: never matched.
  EXPECT_EQ(Search(uR"(
[HKLM\T]
"b"=hex:70,00,61,00,74,00,00,00
"n"=hex(0):70,00,61,00,74,00,00,00
"q"=hex(b):70,00,61,00,74,00,00,00
"d"=hex(4):70,00,61,00
"l"=hex(6):70,00,61,00,74,00,00,00
)",
                   u"pat", 7),
            "");
}

TEST(ScanKey, DefaultValueMatchesWithEmptyName) {
  EXPECT_EQ(Search(u"[HKLM\\T\\k]\n@=\"Korvex for Windows\"\n", u"korvex FOR windows", 7),
            "4 [k] [] [Korvex for Windows]\n");
}

// Its link flag cannot be read either, so it is taken for a link, which is
// never deleted through its name.
// Whether it is a link cannot be told: its entry stays, marked (0x5), so that
// the removal reports it without deleting through its name.
TEST(ScanKey, KeyThatRefusesReadKeepsItsEntryAndHidesItsSubtree) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\T\\locked pat\\inner pat]\n[HKLM\\T\\open]\n\"pat\"=\"\"\n");
  memory::RefuseAccess(u"HKLM\\T\\locked pat", platform::kKeyRead);
  EXPECT_EQ(ScanTestKey(u"pat", 7), "1 [locked pat] [] []\n2 [open] [pat] []\n");
}

TEST(ScanKey, FailuresOnlyNarrowWhatIsFound) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKLM\T\a pat]
[HKLM\T\b pat\deep pat]
"v pat"=""
[HKLM\T\c pat]
"v1 pat"=""
"v2 pat"=""
)");
  memory::FailEnumKey(u"HKLM\\T", 0, platform::kMoreData);           // index 0 skipped
  memory::FailQueryInfo(u"HKLM\\T\\b pat", 1);                       // b's values and subtree skipped
  memory::FailEnumValue(u"HKLM\\T\\c pat", 0, platform::kMoreData);  // only v1 skipped
  EXPECT_EQ(ScanTestKey(u"pat", 7),
            "1 [b pat] [] []\n"
            "1 [c pat] [] []\n"
            "2 [c pat] [v2 pat] []\n");
}

TEST(ScanKey, ValueThatGrowsPastTheQueriedMaximumIsSkipped) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\T]\n\"a\"=\"pat\"\n\"b\"=\"pat\"\n");
  // After the maxima are queried, a grows beyond them; b is still found.
  memory::BeforeCall(u"HKLM\\T", "RegEnumValueW",
                     [] { memory::LoadReg(u"[HKLM\\T]\n\"a\"=\"pat grown much longer\"\n"); });
  FoundList list;
  platform::RegKey key;
  platform::RegOpenKeyExW(kLocalMachine, u"T", platform::kKeyRead, &key);
  sweep::ScanValues(key, u"", u"pat", list, 7);
  platform::RegCloseKey(key);
  EXPECT_EQ(Describe(list), "4 [] [b] [pat]\n");
}

TEST(ScanKey, OpensSubkeysWithKeyReadOnly) {
  Search(u"[HKLM\\T\\a\\b]\n", u"x", 7);
  int opens = 0;
  for (const auto& call : memory::RegistryCalls())
    if (call.rfind("RegOpenKeyExW HKEY_LOCAL_MACHINE\\T", 0) == 0) {
      ++opens;
      EXPECT_NE(call.find("] 0x20019 ->"), std::string::npos) << call;
    }
  EXPECT_EQ(opens, 2);
}

}  // namespace
