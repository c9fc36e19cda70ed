// Other programs, or a hostile user, change keys while the search walks
// them. Whatever the walk meets, it skips what has gone, keeps what it
// already found, goes on with the rest, and closes every handle it opened.
#include <gtest/gtest.h>

#include <string>

#include "platform/memory/machine.h"
#include "product/tables.h"
#include "sweep/found_entry_removal.h"
#include "sweep/registry_search.h"

namespace {

using sweep::FoundList;

std::string Describe(const FoundList& list) {
  std::string out;
  for (const auto& e : list)
    out += std::to_string(static_cast<int>(e.kind)) + " [" + memory::Narrow(e.keyPath) + "] [" +
           memory::Narrow(e.valueName) + "]\n";
  return out;
}

class ChangingKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetMachine();
    memory::LoadReg(
        uR"(
[HKCU\Software\W\a Tarnvol\inner]
"Tarnvol inside"="1"
[HKCU\Software\W\b]
[HKCU\Software\W\c Tarnvol]
[HKCU\Software\X Tarnvol]
"p1 Tarnvol"="1"
"p2 Tarnvol"="2"
)");
  }

  // The service name's search of HKEY_CURRENT_USER, as the run makes it.
  std::string Scan() {
    sweep::ScanKey(platform::kCurrentUser, u"", u"Tarnvol", found, sweep::MatchKeyNames | sweep::MatchValueNames);
    EXPECT_EQ(memory::OpenKeyCount(), 0u) << "the walk leaked a handle";
    return Describe(found);
  }

  FoundList found;
};

TEST_F(ChangingKeys, NothingChangesListsEverything) {
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "2 [Software\\W\\a Tarnvol\\inner] [Tarnvol inside]\n"
            "1 [Software\\W\\c Tarnvol] []\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p1 Tarnvol]\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
}

TEST_F(ChangingKeys, KeyDeletedBetweenItsEnumerationAndItsOpen) {
  memory::BeforeCall(u"HKCU\\Software\\W", "RegOpenKeyExW",
                     [] { memory::LoadReg(u"[-HKCU\\Software\\W\\a Tarnvol]\n"); });
  // Its name had matched, so its entry stays; the indices shift, so b is
  // passed over and c is met at index 1; index 2 no longer exists.
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "1 [Software\\W\\c Tarnvol] []\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p1 Tarnvol]\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
  // The removal reports the key that had already gone with the not-found code.
  memory::ClearOutput();
  sweep::RemoveFoundEntries(platform::kCurrentUser, found, product::WholeKeyMarkerTable);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[Software\\W\\a Tarnvol]: NOT DELETED, ERR = 0x2\n\n"
            "[Software\\W\\c Tarnvol]: DELETED\n\n"
            "[Software\\X Tarnvol]: DELETED\n\n");
}

TEST_F(ChangingKeys, SubkeyCountShrinksDuringTheWalk) {
  memory::BeforeCall(u"HKCU\\Software\\W", "RegEnumKeyExW",
                     [] { memory::LoadReg(u"[-HKCU\\Software\\W\\b]\n[-HKCU\\Software\\W\\c Tarnvol]\n"); });
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "2 [Software\\W\\a Tarnvol\\inner] [Tarnvol inside]\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p1 Tarnvol]\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
}

TEST_F(ChangingKeys, SubkeyCountGrowsDuringTheWalk) {
  // A key that sorts first appears after the count was read: the indices tried
  // stay those of the count, so the last key is passed over this time. (Its
  // name fits the name buffer; a longer one would be skipped as well.)
  memory::BeforeCall(u"HKCU\\Software\\W", "RegEnumKeyExW",
                     [] { memory::LoadReg(u"[HKCU\\Software\\W\\0Tarnvol]\n"); });
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\0Tarnvol] []\n"
            "1 [Software\\W\\a Tarnvol] []\n"
            "2 [Software\\W\\a Tarnvol\\inner] [Tarnvol inside]\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p1 Tarnvol]\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
}

TEST_F(ChangingKeys, KeyDeletedWhileTheWalkIsInsideIt) {
  // a goes while the values of its subkey are read: every later call on the
  // handles into a fails with ERROR_KEY_DELETED, and the walk comes back out
  // to W, whose next index is now c.
  memory::BeforeCall(u"HKCU\\Software\\W\\a Tarnvol\\inner", "RegEnumValueW",
                     [] { memory::LoadReg(u"[-HKCU\\Software\\W\\a Tarnvol]\n"); });
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "1 [Software\\W\\c Tarnvol] []\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p1 Tarnvol]\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
  bool sawDeleted = false;
  for (const auto& call : memory::RegistryCalls()) sawDeleted |= call.find("-> 1018") != std::string::npos;
  EXPECT_TRUE(sawDeleted);
}

TEST_F(ChangingKeys, ValueNameLongerThanTheQueriedMaximum) {
  // p1 is replaced by a longer name at the end: index 0 is now p2, index 1
  // the new name, which no longer fits the name buffer and is skipped.
  memory::BeforeCall(u"HKCU\\Software\\X Tarnvol", "RegEnumValueW", [] {
    memory::LoadReg(u"[HKCU\\Software\\X Tarnvol]\n\"p1 Tarnvol\"=-\n\"p1 Tarnvol, renamed much longer\"=\"1\"\n");
  });
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "2 [Software\\W\\a Tarnvol\\inner] [Tarnvol inside]\n"
            "1 [Software\\W\\c Tarnvol] []\n"
            "1 [Software\\X Tarnvol] []\n"
            "2 [Software\\X Tarnvol] [p2 Tarnvol]\n");
}

TEST_F(ChangingKeys, EveryValueGoneBeforeTheFirstIsRead) {
  memory::BeforeCall(u"HKCU\\Software\\X Tarnvol", "RegEnumValueW",
                     [] { memory::LoadReg(u"[HKCU\\Software\\X Tarnvol]\n\"p1 Tarnvol\"=-\n\"p2 Tarnvol\"=-\n"); });
  EXPECT_EQ(Scan(),
            "1 [Software\\W\\a Tarnvol] []\n"
            "2 [Software\\W\\a Tarnvol\\inner] [Tarnvol inside]\n"
            "1 [Software\\W\\c Tarnvol] []\n"
            "1 [Software\\X Tarnvol] []\n");
}

}  // namespace
