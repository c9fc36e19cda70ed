#include "sweep/found_entry_removal.h"

#include <gtest/gtest.h>

#include "platform/memory/machine.h"
#include "product/tables.h"
#include "sweep/registry_search.h"

namespace {

using sweep::EntryKind;
using sweep::FoundList;

FoundList Entries(std::initializer_list<sweep::FoundEntry> entries) { return FoundList(entries); }

// Runs the removal over HKEY_CURRENT_USER and returns the console text.
std::string Remove(FoundList list) {
  memory::ClearOutput();
  sweep::RemoveFoundEntries(platform::kCurrentUser, list, product::WholeKeyMarkerTable);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(memory::OpenKeyCount(), 0u) << "a handle was left open";
  return memory::Narrow(memory::Output());
}

class RemoveFoundEntries : public ::testing::Test {
 protected:
  void SetUp() override { memory::ResetMachine(); }
};

TEST_F(RemoveFoundEntries, FourEntryExampleDeletesInListOrder) {
  memory::LoadReg(
      uR"(
[HKCU]
"A"="1"
"keep"="1"
[HKCU\K1]
"B"="2"
[HKCU\K2\K3]
)");
  auto out = Remove(Entries({{u"", u"A", u"", EntryKind::ValueName},
                             {u"K1", u"", u"", EntryKind::Key},
                             {u"K1", u"B", u"2", EntryKind::ValueData},
                             {u"K2\\K3", u"", u"", EntryKind::Key}}));
  EXPECT_EQ(out, "[]:A: DELETED\n\n[K1]: DELETED\n\n[K2\\K3]: DELETED\n\n");
  EXPECT_EQ(memory::DumpReg(u"HKCU"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001]\n\"keep\"=\"1\"\n\n"
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\K2]\n\n");
}

TEST_F(RemoveFoundEntries, EntriesInsideAKeyDeletedEarlier) {
  memory::LoadReg(u"[HKCU\\Outer\\Inner]\n\"v\"=\"x\"\n");
  auto out = Remove(Entries({{u"Outer", u"", u"", EntryKind::Key},
                             {u"Outer\\Inner", u"", u"", EntryKind::Key},
                             {u"Outer\\Inner", u"v", u"", EntryKind::ValueName}}));
  EXPECT_EQ(out, "[Outer]: DELETED\n\n[Outer\\Inner]: NOT DELETED, ERR = 0x2\n\n");
}

TEST_F(RemoveFoundEntries, ValueFoundByNameAndByData) {
  memory::LoadReg(u"[HKCU\\k]\n\"Korvex for Windows\"=\"Korvex for Windows\"\n\"other\"=\"1\"\n");
  auto out = Remove(Entries({{u"k", u"Korvex for Windows", u"", EntryKind::ValueName},
                             {u"k", u"Korvex for Windows", u"Korvex for Windows", EntryKind::ValueData}}));
  EXPECT_EQ(out,
            "[k]:Korvex for Windows: DELETED\n\n"
            "[k]:Korvex for Windows: NOT DELETED, ERR = 0x2\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\k"));
}

TEST_F(RemoveFoundEntries, InstallerMarkersTakeTheWholeKey) {
  memory::LoadReg(
      uR"(
[HKCU\Software\Microsoft\Windows\CurrentVersion\UNINSTALL\{P}\Sub]
[HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall]
"Own"="Korvex for Windows"
"Other"="1"
[HKCU\Software\Classes\installer\products\ABC\SourceList\Media]
"m"="1"
[HKCU\Software\Classes\Installer\Features\ABC]
[HKCU\Software\MyUninstall\X]
"d"="1"
[HKCU\Software\Plain]
@="Korvex for Windows"
"kept"="1"
)");
  auto out = Remove(Entries({
      {u"Software\\Microsoft\\Windows\\CurrentVersion\\UNINSTALL\\{P}", u"DisplayName", u"", EntryKind::ValueData},
      {u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", u"Own", u"", EntryKind::ValueData},
      {u"Software\\Classes\\installer\\products\\ABC\\SourceList", u"x", u"", EntryKind::ValueData},
      {u"Software\\Classes\\Installer\\Features\\ABC", u"f", u"", EntryKind::ValueData},
      {u"Software\\MyUninstall\\X", u"d", u"", EntryKind::ValueData},
      {u"Software\\Plain", u"", u"", EntryKind::ValueData},
  }));
  EXPECT_EQ(out,
            "[Software\\Microsoft\\Windows\\CurrentVersion\\UNINSTALL\\{P}]: DELETED\n\n"
            "[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]:Own: DELETED\n\n"
            "[Software\\Classes\\installer\\products\\ABC\\SourceList]: DELETED\n\n"
            "[Software\\Classes\\Installer\\Features\\ABC]: DELETED\n\n"
            "[Software\\MyUninstall\\X]: DELETED\n\n"
            "[Software\\Plain]:: DELETED\n\n");
  // The product key above the deeper installer key stays, and so does everything else.
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Classes\\installer\\products\\ABC"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\MyUninstall"));
  EXPECT_EQ(memory::DumpReg(u"HKCU\\Software\\Plain"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Plain]\n\"kept\"=\"1\"\n\n");
}

// Windows opens a predefined root with no subkey name without a look at its
// rights: it hands the same handle back. So a root's own rights never make
// a whole-key deletion silent; the rights of the key deleted decide.
TEST_F(RemoveFoundEntries, RootsOwnRightsDoNotStopAWholeKeyDeletion) {
  memory::LoadReg(u"[HKCU\\k]\n\"v\"=\"1\"\n[HKCU\\locked]\n");
  memory::RefuseAccess(u"HKCU", platform::kDelete);
  memory::RefuseAccess(u"HKCU\\locked", platform::kDelete);
  auto out = Remove(Entries({{u"k", u"v", u"", EntryKind::ValueName},
                             {u"k", u"", u"", EntryKind::Key},
                             {u"locked", u"", u"", EntryKind::Key}}));
  EXPECT_EQ(out, "[k]:v: DELETED\n\n[k]: DELETED\n\n[locked]: NOT DELETED, ERR = 0x5\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\k"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\locked"));
}

TEST_F(RemoveFoundEntries, RefusedDeletionIsReportedAndTheNextEntryProcessed) {
  memory::LoadReg(u"[HKCU\\a\\locked]\n[HKCU\\b]\n\"v\"=\"1\"\n[HKCU\\c]\n");
  memory::RefuseAccess(u"HKCU\\a\\locked", platform::kDelete);
  memory::RefuseAccess(u"HKCU\\b", platform::kKeySetValue);  // the value's key will not open for 0x30006
  auto out = Remove(Entries({{u"a", u"", u"", EntryKind::Key},
                             {u"b", u"v", u"", EntryKind::ValueName},
                             {u"c", u"", u"", EntryKind::Key},
                             {u"c", u"", u"", static_cast<EntryKind>(8)}}));
  EXPECT_EQ(out, "[a]: NOT DELETED, ERR = 0x5\n\n[c]: DELETED\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\a\\locked"));
}

TEST_F(RemoveFoundEntries, UsesTheDocumentedMasks) {
  memory::LoadReg(u"[HKCU\\k]\n\"v\"=\"1\"\n");
  Remove(Entries({{u"k", u"v", u"", EntryKind::ValueName}, {u"k", u"", u"", EntryKind::Key}}));
  const auto& calls = memory::RegistryCalls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0], "RegOpenKeyExW HKEY_CURRENT_USER [k] 0x30006 -> 0");
  EXPECT_EQ(calls[2], "RegOpenKeyExW HKEY_CURRENT_USER [null] 0x3000F -> 0");
  EXPECT_EQ(calls[3], "RegOpenKeyExW HKEY_CURRENT_USER [k] 0x30019 -> 0");
  EXPECT_EQ(calls[5], "DeleteOpenKey HKEY_USERS\\S-1-5-21-1000-1001\\k -> 0");
}

TEST_F(RemoveFoundEntries, EmptyListPrintsNothing) {
  EXPECT_EQ(Remove({}), "");
  EXPECT_EQ(memory::OutputCallCount(), 0u);
}

// Registry codes are printed in upper-case hexadecimal: 1018 (a key deleted
// under an open handle) is 0x3FA, for a key and for a value.
TEST_F(RemoveFoundEntries, FailureCodesAreUpperCaseHexadecimal) {
  memory::LoadReg(u"[HKCU\\gone]\n\"v\"=\"1\"\n[HKCU\\k]\n");
  memory::BeforeCall(u"HKCU\\gone", "RegDeleteValueW", [] { memory::DeleteKey(u"HKCU\\gone"); });
  memory::BeforeCall(u"HKCU\\k", "RegEnumKeyExW", [] { memory::DeleteKey(u"HKCU\\k"); });
  auto out = Remove(Entries({{u"gone", u"v", u"", EntryKind::ValueName}, {u"k", u"", u"", EntryKind::Key}}));
  EXPECT_EQ(out, "[gone]:v: NOT DELETED, ERR = 0x3FA\n\n[k]: NOT DELETED, ERR = 0x3FA\n\n");
}

// When the key's own name cannot be had, the path alone decides whether a
// value's text takes its whole installer-record key along.
TEST_F(RemoveFoundEntries, MarkerPathDecidesWhenTheKeysOwnNameIsUnknown) {
  memory::LoadReg(
      uR"(
[HKCU\Software\Uninstall\P]
"DisplayName"="Korvex for Windows"
"Other"="1"
[HKCU\Software\Uninstall\P\Sub]
)");
  memory::HideKeyName(u"HKCU\\Software\\Uninstall\\P");
  auto out = Remove(
      Entries({{u"Software\\Uninstall\\P", u"DisplayName", u"Korvex for Windows", EntryKind::ValueData}}));
  EXPECT_EQ(out, "[Software\\Uninstall\\P]: DELETED\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Uninstall\\P"));
}

}  // namespace
