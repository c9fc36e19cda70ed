// The sweep that walks each root once against the literal sweep, one walk per
// (pattern, root) pair: the same report and the same registry afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/memory/machine.h"
#include "tests/support/sweep_differential.h"

namespace {

TEST(OneWalkSweep, GivesTheLiteralSweepsReportAndRegistryOnGeneratedRegistries) {
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    sweep_differential::Compare([seed] {
      return [generator = std::mt19937(seed)](std::uint32_t n) mutable { return n <= 1 ? 0u : generator() % n; };
    });
  }
}

std::size_t CallsOf(const std::string& function) {
  const auto& calls = memory::RegistryCalls();
  return static_cast<std::size_t>(std::count_if(
      calls.begin(), calls.end(), [&](const std::string& call) { return call.rfind(function + " ", 0) == 0; }));
}

// Every value is read once, whatever the number of patterns: the literal
// sweep reads each three times. Matches found by the walk for a later pattern
// cost a check each, not a walk.
TEST(OneWalkSweep, ReadsEachValueOnce) {
  const auto valuesReadBy = [](void (*sweep)()) {
    memory::ResetMachine();
    memory::LoadReg(
        u"[HKLM\\Software\\Plain]\n\"a\"=\"x\"\n\"b\"=dword:00000001\n"
        u"[HKLM\\Software\\Plain\\Deeper]\n\"c\"=\"y\"\n"
        u"[HKLM\\Software\\Products\\Tarnvol]\n\"d\"=\"z\"\n");
    memory::ClearRegistryCalls();
    sweep();
    EXPECT_EQ(memory::Output(), u"[Software\\Products\\Tarnvol]: DELETED\n\n");
    return CallsOf("RegEnumValueW");
  };
  EXPECT_EQ(valuesReadBy(sweep_differential::OneWalkSweep), 4u);
  EXPECT_EQ(valuesReadBy(sweep_differential::LiteralSweep), 3u * 4u);
}

// A match kept for a later pattern is deleted only if still there: a value
// the first pattern's deletion took along is not reported, a key deleted
// through HKEY_CLASSES_ROOT is not found again through HKEY_LOCAL_MACHINE,
// and a key still there but refusing to be read is still tried.
TEST(OneWalkSweep, DeletesWhatLaterPatternsFoundOnlyWhileItIsThere) {
  memory::ResetMachine();
  memory::LoadReg(
      u"[HKLM\\Software\\Classes\\6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18]\n\"Tarnvol\"=\"x\"\n"
      u"[HKLM\\Software\\Classes\\6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18\\Korvex for Windows]\n"
      u"[HKCU\\Software\\Shut\\Tarnvol]\n");
  memory::RefuseAccess(u"HKCU\\Software\\Shut\\Tarnvol", platform::kKeyRead | platform::kDelete);
  sweep_differential::OneWalkSweep();
  EXPECT_EQ(memory::Output(),
            u"[6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18]: DELETED\n\n"
            u"[Software\\Shut\\Tarnvol]: NOT DELETED, ERR = 0x5\n\n"
            u"[S-1-5-21-1000-1001\\Software\\Shut\\Tarnvol]: NOT DELETED, ERR = 0x5\n\n");
}

}  // namespace

namespace {

// On Windows HKEY_CLASSES_ROOT shows the user's classes over the machine's.
// Deleting the user's installer record (its text names the product) uncovers
// the machine's record of the same path, whose value only the service name
// matches: the walk never saw it, so the classes root is walked again, and
// the value goes through HKEY_CLASSES_ROOT, as a fresh search finds it there.
TEST(OneWalkSweep, WalksTheClassesRootAgainWhenDeletingTheUsersKeyUncoversTheMachines) {
  for (auto sweep : {sweep_differential::LiteralSweep, sweep_differential::OneWalkSweep}) {
    memory::ResetMachine();
    memory::MergeUserClasses(true);
    memory::LoadReg(
        u"[HKCU\\Software\\Classes\\Installer\\Products\\A1]\n\"ProductName\"=\"Korvex for Windows\"\n"
        u"[HKLM\\Software\\Classes\\Installer\\Products\\A1]\n\"Tarnvol\"=dword:00000001\n");
    sweep();
    EXPECT_EQ(memory::Output(),
              u"[Installer\\Products\\A1]: DELETED\n\n"
              u"[Installer\\Products\\A1]:Tarnvol: DELETED\n\n");
    EXPECT_TRUE(memory::KeyExists(u"HKLM\\Software\\Classes\\Installer\\Products\\A1"));
    EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Classes\\Installer\\Products\\A1"));
  }
}

}  // namespace
