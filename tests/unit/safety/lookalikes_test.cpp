// Zero collateral damage: with the product installed among several hundred
// entries that only resemble it, in every root and every value type, the
// registry after a run differs from the one before by exactly the product's
// entries and its two edited filter lists. The fixtures are the ones the
// end-to-end scenarios import under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/safety/safety_support.h"

namespace {

std::string RepositoryFile(const std::string& relative) {
  std::string here = __FILE__;  // .../tests/unit/safety/lookalikes_test.cpp
  for (int up = 0; up < 4; ++up) here = here.substr(0, here.find_last_of('/'));
  return here + "/" + relative;
}

// A .reg file as reg import reads it: UTF-16 after a byte-order mark, else
// one unit per byte.
std::u16string ReadReg(const std::string& relative) {
  std::ifstream file(RepositoryFile(relative), std::ios::binary);
  EXPECT_TRUE(file.good()) << "cannot read " << relative;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    for (std::size_t at = 2; at + 1 < bytes.size(); at += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                                                << 8);
  } else {
    for (char byte : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(byte));
  }
  return text;
}

void InstallAmongLookalikes() {
  safety::FreshMachine();
  memory::LoadReg(ReadReg("tests/wine/fixtures/bystanders.reg"));
  memory::LoadReg(ReadReg("tests/wine/fixtures/lookalikes.reg"));
  memory::LoadReg(ReadReg("tests/wine/fixtures/korvex-footprint.reg"));
}

TEST(Lookalikes, RunChangesExactlyTheProductsEntries) {
  InstallAmongLookalikes();
  const std::u16string installed = safety::WholeRegistry();
  memory::LoadReg(ReadReg("tests/wine/scenarios/footprint/expected-changes.reg"));
  const std::u16string expected = safety::WholeRegistry();
  ASSERT_NE(expected, installed) << "the expected changes changed nothing";
  // The lookalikes are really there, in every root.
  for (const char16_t* root :
       {u"HKCR\\Lookalikes\\Tarnvo", u"HKCC\\Software\\Lookalikes\\Tarnv\x043El",
        u"HKCU\\Software\\Lookalikes\\Korvex for Window", u"HKLM\\Software\\Lookalikes\\Hidden data",
        u"HKU\\.DEFAULT\\Software\\Lookalikes\\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F17}"})
    EXPECT_TRUE(memory::KeyExists(root)) << memory::Narrow(root);

  InstallAmongLookalikes();
  run::CleaningRun();
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
  const std::u16string after = safety::WholeRegistry();
  if (after != expected) {
    // Show the first differing line rather than two whole registries.
    std::size_t at = 0;
    while (at < after.size() && at < expected.size() && after[at] == expected[at]) ++at;
    const std::size_t line = expected.rfind(u'\n', at) == std::u16string::npos ? 0 : expected.rfind(u'\n', at) + 1;
    ADD_FAILURE() << "expected: " << memory::Narrow(expected.substr(line, 300)) << "\n"
                  << "actual:   " << memory::Narrow(after.substr(line, 300));
  }

  // A second run changes nothing more.
  run::CleaningRun();
  EXPECT_TRUE(safety::WholeRegistry() == after);
}

}  // namespace
