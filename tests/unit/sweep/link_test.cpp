// Symbolic link keys: followed like any key, but a cycle of them must neither
// crash nor hang the walk, and a link is never deleted through its name.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/memory/machine.h"
#include "product/tables.h"
#include "sweep/found_entry_removal.h"
#include "sweep/link_guard.h"
#include "sweep/registry_search.h"

namespace {

using sweep::FoundList;

const std::u16string kUserPath = u"\\Registry\\User\\" + std::u16string(memory::kCurrentUserSid);

std::vector<std::string> Paths(const FoundList& list) {
  std::vector<std::string> out;
  for (const auto& e : list)
    out.push_back(memory::Narrow(e.keyPath) + (e.valueName.empty() ? "" : ":" + memory::Narrow(e.valueName)));
  return out;
}

FoundList ScanCurrentUser(const std::u16string& pattern, sweep::SearchFlags flags) {
  FoundList list;
  sweep::ScanKey(platform::kCurrentUser, u"", pattern, list, flags);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
  return list;
}

std::size_t CallsNamed(const std::string& prefix) {
  const auto& calls = memory::RegistryCalls();
  return std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetMachine();
    memory::LoadReg(
        uR"(
[HKCU\Software\A\Tarnvol settings]
"v"="1"
[HKCU\Software\A\Z]
"Tarnvol"="1"
[HKCU\Software\Bystander]
"x"="1"
)");
  }
};

TEST_F(Links, CycleThroughOneLinkEndsAndFindsEachKeyOnce) {
  memory::MakeLink(u"HKCU\\Software\\A\\Loop", kUserPath + u"\\Software\\A");
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"Software\\A\\Tarnvol settings", "Software\\A\\Z:Tarnvol"}));
}

TEST_F(Links, TwoBranchingLinksToAnAncestorEndPromptly) {
  // Two ways back up at every level: a walk without a guard would take 2^512 paths.
  memory::MakeLink(u"HKCU\\Software\\A\\L1", kUserPath + u"\\Software");
  memory::MakeLink(u"HKCU\\Software\\A\\L2", kUserPath + u"\\Software\\A");
  memory::MakeLink(u"HKCU\\Software\\Bystander\\Up", kUserPath);
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"Software\\A\\Tarnvol settings", "Software\\A\\Z:Tarnvol"}));
  EXPECT_LT(memory::RegistryCalls().size(), 20000u);

  // And the removal deletes the product's entries and nothing else.
  memory::ClearOutput();
  sweep::RemoveFoundEntries(platform::kCurrentUser, list, product::WholeKeyMarkerTable);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[Software\\A\\Tarnvol settings]: DELETED\n\n[Software\\A\\Z]:Tarnvol: DELETED\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\A\\Z"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Bystander"));
}

TEST_F(Links, LinkNamedLikeTheProductIsNotDeletedThroughItsName) {
  // Deleting this link by its path would delete the key it points at.
  memory::MakeLink(u"HKCU\\Software\\Tarnvol link", kUserPath + u"\\Software\\Bystander");
  memory::LoadReg(u"[HKCU\\Software\\Bystander\\Tarnvol old]\n");
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  // The bystander's own leftover is found twice, once through the link, as any
  // key reached by two paths is; the link itself is not listed.
  EXPECT_EQ(Paths(list),
            (std::vector<std::string>{"Software\\A\\Tarnvol settings", "Software\\A\\Z:Tarnvol",
                                      "Software\\Bystander\\Tarnvol old", "Software\\Tarnvol link\\Tarnvol old"}));
  sweep::RemoveFoundEntries(platform::kCurrentUser, list, product::WholeKeyMarkerTable);
  EXPECT_EQ(memory::DumpReg(u"HKCU\\Software\\Bystander"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Bystander]\n\"x\"=\"1\"\n\n");
}

TEST_F(Links, KeyWhoseLinkFlagCannotBeReadIsTakenForALink) {
  // The link refuses the open as itself that reads its flag; taken for a key,
  // it would be deleted through its name, and the bystander with it.
  memory::MakeLink(u"HKCU\\Software\\Tarnvol link", kUserPath + u"\\Software\\Bystander");
  memory::RefuseAccessToLink(u"HKCU\\Software\\Tarnvol link", platform::kKeyQueryValue);
  // It is listed, so that the run fails rather than passes it over, but
  // nothing is deleted through its name.
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"Software\\A\\Tarnvol settings", "Software\\A\\Z:Tarnvol",
                                                   "Software\\Tarnvol link"}));
  memory::ClearOutput();
  sweep::RemoveFoundEntries(platform::kCurrentUser, list, product::WholeKeyMarkerTable);
  EXPECT_NE(memory::Output().find(u"[Software\\Tarnvol link]: NOT DELETED, ERR = 0x5\n\n"), std::u16string::npos);
  EXPECT_EQ(memory::DumpReg(u"HKCU\\Software\\Bystander"),
            u"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Bystander]\n\"x\"=\"1\"\n\n");
  EXPECT_EQ(memory::StoredPath(u"HKCU\\Software\\Tarnvol link"),
            u"HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Bystander");
}

TEST_F(Links, DeepNestingWithoutLinksCostsNoExtraCall) {
  std::u16string path = u"HKCU\\Software\\Deep";
  for (int level = 3; level < 512; ++level) path += u"\\k";
  path += u"\\Tarnvol at the bottom";
  memory::LoadReg(u"[" + path + u"]\n");
  memory::ClearRegistryCalls();
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(std::count(list[0].keyPath.begin(), list[0].keyPath.end(), u'\\'), 2);
  EXPECT_EQ(std::count(list[2].keyPath.begin(), list[2].keyPath.end(), u'\\'), 511);
  EXPECT_EQ(CallsNamed("KeyObjectName"), 0u);
  // Only the two matching key names were checked for being links.
  EXPECT_EQ(CallsNamed("IsLinkKey"), 2u);
}

TEST_F(Links, LegitimateLinksAreFollowed) {
  memory::LoadReg(u"[HKLM\\System\\ControlSet001\\Services\\TarnVol]\n");
  memory::MakeLink(u"HKLM\\System\\CurrentControlSet2", u"\\Registry\\Machine\\System\\ControlSet001");
  FoundList list;
  sweep::ScanKey(platform::kLocalMachine, u"", u"Tarnvol", list, 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"System\\ControlSet001\\Services\\TarnVol",
                                                   "System\\CurrentControlSet2\\Services\\TarnVol"}));
}

TEST_F(Links, LinkToTheHiveRootReportsEachEntryOnceByItsShortestPath) {
  memory::LoadReg(u"[HKCU]\n\"Tarnvol at root\"=\"1\"\n[HKCU\\Tarnvol top]\n");
  memory::MakeLink(u"HKCU\\Software\\X\\Up", kUserPath);
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{":Tarnvol at root", "Software\\A\\Tarnvol settings",
                                                   "Software\\A\\Z:Tarnvol", "Tarnvol top"}));
}

// 2^20 paths without a cycle: twenty keys, each with two links to the next.
TEST_F(Links, WebOfLinksWithoutACycleEndsAndStillFindsTheProduct) {
  for (int level = 0; level < 20; ++level) {
    const std::u16string at = u"HKCU\\Software\\Web\\K" + std::u16string(1, static_cast<char16_t>(u'A' + level));
    const std::u16string next = kUserPath + u"\\Software\\Web\\K" +
                                std::u16string(1, static_cast<char16_t>(u'A' + level + 1));
    memory::LoadReg(u"[" + at + u"]\n\"x\"=\"1\"\n");
    memory::MakeLink(at + u"\\L1", next);
    memory::MakeLink(at + u"\\L2", next);
  }
  memory::LoadReg(u"[HKCU\\Software\\Web\\KU]\n[HKCU\\Software\\Web\\Tarnvol beside]\n");
  auto list = ScanCurrentUser(u"Tarnvol", 3);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"Software\\A\\Tarnvol settings", "Software\\A\\Z:Tarnvol",
                                                   "Software\\Web\\Tarnvol beside"}));
  // Bounded: the guard's first check, then every key entered at most twice.
  EXPECT_LT(CallsNamed("RegOpenKeyExW"), 3 * sweep::LinkGuard::kFirstWebCheck);
}

// A chain of distinct keys, each linking to the next, repeats no key: alone,
// and reached after a web has started the guard, the walk still stops at the
// deepest a hive can nest, in time linear in the keys, and finds the product
// beside it.
TEST_F(Links, ChainOfLinksDeeperThanAnyHiveEndsAtTheNestingBound) {
  for (const bool behindWeb : {false, true}) {
    SetUp();
    if (behindWeb)
      for (char16_t level = u'A'; level < u'U'; ++level) {
        const std::u16string at = u"HKCU\\Software\\B web\\K" + std::u16string(1, level);
        memory::LoadReg(u"[" + at + u"]\n");
        memory::MakeLink(at + u"\\L1", kUserPath + u"\\Software\\B web\\K" + std::u16string(1, level + 1));
        memory::MakeLink(at + u"\\L2", kUserPath + u"\\Software\\B web\\K" + std::u16string(1, level + 1));
      }
    constexpr int kKeys = 2000;
    auto chainKey = [](int i) {
      const std::string digits = std::to_string(10000 + i);
      return u"Software\\Chain\\C" + std::u16string(digits.begin(), digits.end());
    };
    for (int i = 0; i < kKeys; ++i) memory::CreateKey(u"HKCU\\" + chainKey(i));
    for (int i = 0; i + 1 < kKeys; ++i)
      memory::MakeLink(u"HKCU\\" + chainKey(i) + u"\\L", kUserPath + u"\\" + chainKey(i + 1));
    memory::LoadReg(u"[HKCU\\" + chainKey(kKeys - 1) + u"]\n\"Tarnvol\"=\"1\"\n[HKCU\\Software\\Tarnvol beside]\n");
    memory::ClearRegistryCalls();
    const auto list = ScanCurrentUser(u"Tarnvol", 3);
    const auto paths = Paths(list);
    for (const auto& entry : list)
      EXPECT_LE(std::count(entry.keyPath.begin(), entry.keyPath.end(), u'\\') + 1, sweep::LinkGuard::kDeepestWalk);
    // The chain's last key is met through the first paths that reach it.
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](const auto& e) { return e.valueName == u"Tarnvol"; }));
    EXPECT_NE(std::find(paths.begin(), paths.end(), "Software\\Tarnvol beside"), paths.end());
    EXPECT_LT(CallsNamed("RegOpenKeyExW"), 3 * sweep::LinkGuard::kFirstWebCheck);
  }
}

TEST_F(Links, LargeRegistryWithoutLinksStaysUnguarded) {
  std::u16string text;
  for (int i = 0; i < 200; ++i)
    for (int j = 0; j < 200; ++j) {
      const std::string path = std::to_string(i) + "\\" + std::to_string(j);
      text += u"[HKCU\\Software\\Many\\" + std::u16string(path.begin(), path.end()) + u"]\n";
    }
  memory::LoadReg(text);
  memory::ClearRegistryCalls();
  ScanCurrentUser(u"Tarnvol", 3);
  // One look at the root and at the key being entered, at 16384 and 32768 keys entered.
  EXPECT_EQ(CallsNamed("KeyObjectName"), 3u);
}

}  // namespace
