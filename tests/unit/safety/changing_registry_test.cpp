// The sweep and the filter-list edit while the registry changes under every
// registry call, over a few hundred seeded registries: see
// tests/support/changing_registry.h for what is checked.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/changing_registry.h"

namespace {

TEST(ChangingRegistry, EveryCallMayChangeTheRegistry) {
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 generator(seed);
    SCOPED_TRACE(seed);
    changing_registry::Scenario([&](std::uint32_t n) { return n <= 1 ? 0u : generator() % n; }).Run();
  }
}

TEST(ChangingRegistry, EveryCallMayChangeTheRegistryUnderTheOneWalkSweep) {
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 generator(seed);
    SCOPED_TRACE(seed);
    changing_registry::Scenario([&](std::uint32_t n) { return n <= 1 ? 0u : generator() % n; }).RunOneWalk();
  }
}

// The case that crashed: a string value that grows from nothing between the
// key's query and the value's enumeration.
TEST(ChangingRegistry, ValueThatGrowsFromNothingIsNotReadThroughAMissingBuffer) {
  memory::ResetMachine();
  memory::SetValue(u"HKCU\\Software\\G", u"grows", platform::kRegSz, {});
  memory::BeforeCall(u"HKCU\\Software\\G", "RegEnumValueW", [] {
    memory::SetValue(u"HKCU\\Software\\G", u"grows", platform::kRegSz,
                     changing_registry::Bytes(std::u16string(u"Korvex for Windows\0", 19), 0));
  });
  sweep::FoundList found;
  platform::RegKey key;
  ASSERT_EQ(platform::RegOpenKeyExW(platform::kCurrentUser, u"Software\\G", platform::kKeyRead, &key), 0);
  sweep::ScanValues(key, u"Software\\G", u"Korvex for Windows", found, 7);
  platform::RegCloseKey(key);
  EXPECT_TRUE(found.empty());  // nothing was read, so nothing was found
}

}  // namespace
