// The sweep that walks each root once against the literal sweep, one walk per
// (pattern, root) pair: the same report and the same registry afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/memory/machine.h"
#include "report/outcome.h"
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
// and a key that refuses to be read, whose link flag cannot be read either,
// is left alone but reported as not deleted, a failure of the run.
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
  EXPECT_TRUE(report::Outcome().failed);
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Shut\\Tarnvol"));
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

namespace {

// Each sweep, literal or one-walk, on a fresh machine built by seed; the
// reports must be the expected one.
void ExpectBothSweepsReport(void (*seed)(), const std::u16string& expected) {
  for (auto sweep : {sweep_differential::LiteralSweep, sweep_differential::OneWalkSweep}) {
    memory::ResetMachine();
    seed();
    sweep();
    EXPECT_EQ(memory::Narrow(memory::Output()), memory::Narrow(expected));
  }
}

// A key that may be read but not deleted loses what lies below it and then
// fails, as RegDeleteTreeW has it, so the service name's pass no longer finds
// the child that the display name's key held.
TEST(OneWalkSweep, AKeyThatRefusesDeletionLosesItsSubtreeAndIsReportedOnce) {
  ExpectBothSweepsReport(
      [] {
        memory::LoadReg(u"[HKCU\\Software\\Korvex for Windows\\Tarnvol cache]\n\"a\"=\"b\"\n");
        memory::RefuseAccess(u"HKCU\\Software\\Korvex for Windows", platform::kDelete);
      },
      u"[Software\\Korvex for Windows]: NOT DELETED, ERR = 0x5\n\n"
      u"[S-1-5-21-1000-1001\\Software\\Korvex for Windows]: NOT DELETED, ERR = 0x5\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows\\Tarnvol cache"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows"));
}

// A key and a value whose names hold a NUL are found by the name up to it,
// which opens nothing: a fresh search lists them again at the service name's
// turn, and each deletion reports 0x2.
TEST(OneWalkSweep, NamesWithANulInsideAreListedAgainAsAFreshSearchWould) {
  ExpectBothSweepsReport(
      [] {
        memory::CreateKey(std::u16string(u"HKCU\\Software\\Vendor\\Tarnvol") + u'\0' + u"x");
        memory::SetValue(u"HKCU\\Software\\Vendor", std::u16string(u"Tarnvol") + u'\0' + u"y", platform::kRegSz,
                         {0, 0});
      },
      u"[Software\\Vendor]:Tarnvol: NOT DELETED, ERR = 0x2\n\n"
      u"[Software\\Vendor\\Tarnvol]: NOT DELETED, ERR = 0x2\n\n"
      u"[S-1-5-21-1000-1001\\Software\\Vendor]:Tarnvol: NOT DELETED, ERR = 0x2\n\n"
      u"[S-1-5-21-1000-1001\\Software\\Vendor\\Tarnvol]: NOT DELETED, ERR = 0x2\n\n");
}

// Through HKEY_CLASSES_ROOT the user's installer record cannot be deleted (a
// machine key below it, first in the merged view, refuses), through
// HKEY_CURRENT_USER only in part: its child B goes, and the machine's B shows
// through with a value the classes root's walk never saw. The classes root
// is walked again, and that value goes through it.
TEST(OneWalkSweep, AUserClassesKeyDeletedInPartUncoversTheMachinesKeys) {
  ExpectBothSweepsReport(
      [] {
        memory::MergeUserClasses(true);
        memory::LoadReg(
            u"[HKCU\\Software\\Classes\\Installer\\Products\\A1]\n\"ProductName\"=\"Korvex for Windows\"\n"
            u"[HKCU\\Software\\Classes\\Installer\\Products\\A1\\B]\n"
            u"[HKCU\\Software\\Classes\\Installer\\Products\\A1\\Zlocked]\n"
            u"[HKLM\\Software\\Classes\\Installer\\Products\\A1\\Aaa]\n"
            u"[HKLM\\Software\\Classes\\Installer\\Products\\A1\\B]\n\"Tarnvol\"=dword:00000001\n");
        memory::RefuseAccess(u"HKCU\\Software\\Classes\\Installer\\Products\\A1\\Zlocked", platform::kDelete);
        memory::RefuseAccess(u"HKLM\\Software\\Classes\\Installer\\Products\\A1\\Aaa", platform::kDelete);
      },
      u"[Installer\\Products\\A1]: NOT DELETED, ERR = 0x5\n\n"
      u"[Software\\Classes\\Installer\\Products\\A1]: NOT DELETED, ERR = 0x5\n\n"
      u"[S-1-5-21-1000-1001\\Software\\Classes\\Installer\\Products\\A1]: NOT DELETED, ERR = 0x5\n\n"
      u"[Installer\\Products\\A1\\B]:Tarnvol: DELETED\n\n");
}

}  // namespace
