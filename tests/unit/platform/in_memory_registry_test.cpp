// The in-memory registry's own answers, where the cleaner depends on them
// being Windows' answers. Wider agreement with Wine is checked by the
// registry sequences in tests/faithful.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/memory/machine.h"
#include "platform/registry.h"

namespace {

using namespace std::string_view_literals;

std::vector<std::uint8_t> Bytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// The two queries rely on RegQueryValueExW as Windows answers it: no buffer
// gives type and size; a short buffer gives ERROR_MORE_DATA and the size
// needed, and its bytes are not to be used; a buffer without a size is refused.
TEST(InMemoryRegQueryValueExW, AnswersSizeQueriesAsWindowsDoes) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKEY_LOCAL_MACHINE\\K]\n\"L\"=multi:\"ab\"\n");
  platform::RegKey key;
  ASSERT_EQ(platform::RegOpenKeyExW(platform::kLocalMachine, u"K", platform::kKeyQueryValue, &key), 0);
  std::uint32_t type = 0, bytes = 0;
  EXPECT_EQ(platform::RegQueryValueExW(key, u"L", &type, nullptr, &bytes), platform::kSuccess);
  EXPECT_EQ(type, platform::kRegMultiSz);
  EXPECT_EQ(bytes, 8u);
  std::uint8_t small[4];
  bytes = sizeof small;
  type = 0;
  EXPECT_EQ(platform::RegQueryValueExW(key, u"L", &type, small, &bytes), platform::kMoreData);
  EXPECT_EQ(bytes, 8u);
  EXPECT_EQ(type, platform::kRegMultiSz);
  std::uint8_t exact[8];
  EXPECT_EQ(platform::RegQueryValueExW(key, u"L", &type, exact, nullptr), platform::kInvalidParameter);
  bytes = sizeof exact;
  EXPECT_EQ(platform::RegQueryValueExW(key, u"L", &type, exact, &bytes), platform::kSuccess);
  EXPECT_EQ(std::vector<std::uint8_t>(exact, exact + 8), Bytes(u"ab\0\0"sv));
  platform::RegCloseKey(key);
}

// What makes the links dangerous: RegDeleteTreeW itself, as Windows and Wine
// carry it out, goes through a link below the key it deletes.
TEST(InMemoryRegDeleteTreeW, GoesThroughALinkBelowTheKeyAsWindowsAndWineDo) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\Software\\Korvex for Windows]\n[HKLM\\Software\\Other Vendor\\Tool]\n");
  memory::MakeLink(u"HKLM\\Software\\Korvex for Windows\\Shared", u"\\Registry\\Machine\\Software\\Other Vendor");
  platform::RegKey root;
  ASSERT_EQ(platform::RegOpenKeyExW(platform::kLocalMachine, nullptr, 0x3000F, &root), 0);
  EXPECT_EQ(platform::RegDeleteTreeW(root, u"Software\\Korvex for Windows"), platform::kFileNotFound);
  platform::RegCloseKey(root);
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\Software\\Other Vendor"));
  // The link stays: the deletion's second look at it found nothing behind it.
  platform::RegKey product;
  ASSERT_EQ(
      platform::RegOpenKeyExW(platform::kLocalMachine, u"Software\\Korvex for Windows", platform::kKeyRead, &product),
      0);
  EXPECT_TRUE(platform::IsLinkKey(product, u"Shared"));
  platform::RegCloseKey(product);
}

}  // namespace
