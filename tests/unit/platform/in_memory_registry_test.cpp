// The in-memory registry's own answers, where the cleaner depends on them
// being Windows' answers. Wider agreement with Wine is checked by the
// registry sequences in tests/faithful.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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

std::vector<std::u16string> SubkeyNames(platform::RegKey key) {
  std::vector<std::u16string> names;
  char16_t name[256];
  std::uint32_t chars = 256;
  for (std::uint32_t i = 0; platform::RegEnumKeyExW(key, i, name, &chars) == platform::kSuccess; ++i, chars = 256)
    names.emplace_back(name, chars);
  return names;
}

// A REG_SZ value as text, or the status that stopped the query.
std::u16string Text(platform::RegKey key, const char16_t* name) {
  char16_t text[64] = {};
  std::uint32_t bytes = sizeof text;
  auto status = platform::RegQueryValueExW(key, name, nullptr, reinterpret_cast<std::uint8_t*>(text), &bytes);
  return status ? u"status " + std::u16string(1, static_cast<char16_t>(u'0' + status)) : std::u16string(text);
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

// Windows' HKEY_CLASSES_ROOT: the user's classes over the machine's.
constexpr std::u16string_view kMergedFixture =
    u"[HKCU\\Software\\Classes\\.kvx]\n"
    u"[HKCU\\Software\\Classes\\Korvex.Document]\n@=\"user\"\n"
    u"[HKCU\\Software\\Classes\\Korvex.Document\\shell\\open]\n@=\"user open\"\n"
    u"[HKCU\\Software\\Classes\\zeta]\n"
    u"[HKLM\\Software\\Classes\\.KVX]\n"
    u"[HKLM\\Software\\Classes\\Alpha.Longest.Name]\n"
    u"[HKLM\\Software\\Classes\\KORVEX.DOCUMENT]\n@=\"machine\"\n\"Extra\"=\"x\"\n"
    u"[HKLM\\Software\\Classes\\KORVEX.DOCUMENT\\CLSID]\n@=\"{B}\"\n"
    u"[HKLM\\Software\\Classes\\KORVEX.DOCUMENT\\Shell\\print]\n";

platform::RegKey OpenClasses(const char16_t* path, std::uint32_t access = platform::kKeyRead) {
  platform::RegKey key{};
  EXPECT_EQ(platform::RegOpenKeyExW(platform::kClassesRoot, path, access, &key), platform::kSuccess) << "open";
  return key;
}

TEST(InMemoryMergedClassesRoot, ListsBothKeysSubkeysOncePerNameSortedInTheUsersSpelling) {
  memory::ResetMachine();
  memory::MergeUserClasses(true);
  memory::LoadReg(kMergedFixture);
  EXPECT_EQ(SubkeyNames(platform::kClassesRoot),
            (std::vector<std::u16string>{u".kvx", u"Alpha.Longest.Name", u"Korvex.Document", u"zeta"}));
  std::uint32_t subkeys = 0, longest = 0;
  EXPECT_EQ(platform::RegQueryInfoKeyW(platform::kClassesRoot, &subkeys, &longest, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(subkeys, 4u);
  EXPECT_EQ(longest, 18u);
  // Below a key both hold, the machine's subkeys come in as well, and a key
  // only the machine holds is reached through the user's one above it.
  auto document = OpenClasses(u"Korvex.Document");
  EXPECT_EQ(SubkeyNames(document), (std::vector<std::u16string>{u"CLSID", u"shell"}));
  auto shell = OpenClasses(u"KORVEX.document\\Shell");
  EXPECT_EQ(SubkeyNames(shell), (std::vector<std::u16string>{u"open", u"print"}));
  platform::RegKey clsid{};
  ASSERT_EQ(platform::RegOpenKeyExW(document, u"CLSID", platform::kKeyRead, &clsid), 0);
  EXPECT_EQ(Text(clsid, nullptr), u"{B}");
  EXPECT_EQ(platform::KeyObjectName(clsid), u"\\REGISTRY\\MACHINE\\Software\\Classes\\KORVEX.DOCUMENT\\CLSID");
  platform::RegKey print{};
  EXPECT_EQ(platform::RegOpenLinkKeyW(shell, u"print", platform::kKeyRead, &print), 0);
  EXPECT_EQ(platform::KeyObjectName(print), u"\\REGISTRY\\MACHINE\\Software\\Classes\\KORVEX.DOCUMENT\\Shell\\print");
  for (auto key : {document, shell, clsid, print}) platform::RegCloseKey(key);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

// Values, rights and name belong to the user's key alone where it exists;
// the machine's key of the same path is not consulted for them.
TEST(InMemoryMergedClassesRoot, ValuesRightsAndNameComeFromTheWinningKeyOnly) {
  memory::ResetMachine();
  memory::MergeUserClasses(true);
  memory::LoadReg(kMergedFixture);
  memory::RefuseAccess(u"HKLM\\Software\\Classes\\Korvex.Document", platform::kKeySetValue);
  memory::RefuseAccess(u"HKCU\\Software\\Classes\\Korvex.Document", platform::kDelete);
  auto document = OpenClasses(u"Korvex.Document", platform::kKeyRead | platform::kKeySetValue);
  EXPECT_EQ(Text(document, nullptr), u"user");
  EXPECT_EQ(Text(document, u"Extra"), u"status 2");
  std::uint32_t values = 0;
  EXPECT_EQ(platform::RegQueryInfoKeyW(document, nullptr, nullptr, &values, nullptr, nullptr), 0);
  EXPECT_EQ(values, 1u);
  const std::uint8_t data[] = {'n', 0, 0, 0};
  EXPECT_EQ(platform::RegSetValueExW(document, u"New", platform::kRegSz, data, sizeof data), 0);
  EXPECT_EQ(platform::RegDeleteValueW(document, u"Extra"), platform::kFileNotFound);
  EXPECT_TRUE(memory::ReadValue(u"HKCU\\Software\\Classes\\Korvex.Document", u"New"));
  EXPECT_FALSE(memory::ReadValue(u"HKLM\\Software\\Classes\\Korvex.Document", u"New"));
  EXPECT_EQ(platform::KeyObjectName(document),
            u"\\REGISTRY\\USER\\S-1-5-21-1000-1001\\Software\\Classes\\Korvex.Document");
  platform::RegKey refused{};
  EXPECT_EQ(platform::RegOpenKeyExW(platform::kClassesRoot, u"Korvex.Document", platform::kDelete, &refused),
            platform::kAccessDenied);
  EXPECT_EQ(platform::RegOpenLinkKeyW(platform::kClassesRoot, u"Korvex.Document", platform::kDelete, &refused),
            platform::kAccessDenied);
  // A key only the machine holds answers with the machine's key's rights.
  memory::RefuseAccess(u"HKLM\\Software\\Classes\\Alpha.Longest.Name", platform::kKeyQueryValue);
  EXPECT_EQ(platform::RegOpenKeyExW(platform::kClassesRoot, u"Alpha.Longest.Name", platform::kKeyRead, &refused),
            platform::kAccessDenied);
  platform::RegCloseKey(document);
}

// The cleaner deletes bottom up: only the user's copy goes, and the
// machine's copy then stands at the same path with its own values and
// subkeys.
TEST(InMemoryMergedClassesRoot, DeletingTheUsersCopyRevealsTheMachines) {
  memory::ResetMachine();
  memory::LoadReg(kMergedFixture);
  const std::u16string machineBefore = memory::DumpReg(u"HKLM\\Software\\Classes\\KORVEX.DOCUMENT");
  memory::ResetMachine();
  memory::MergeUserClasses(true);
  memory::LoadReg(kMergedFixture);
  const struct {
    const char16_t *parent, *child;
  } steps[] = {{u"Korvex.Document\\shell", u"open"}, {u"Korvex.Document", u"shell"}, {u"", u"Korvex.Document"}};
  for (const auto& step : steps) {
    auto parent = *step.parent ? OpenClasses(step.parent) : platform::kClassesRoot;
    platform::RegKey doomed{};
    ASSERT_EQ(platform::RegOpenLinkKeyW(parent, step.child, platform::kDelete, &doomed), 0);
    EXPECT_EQ(platform::DeleteOpenKey(doomed), 0) << memory::Narrow(step.child);
    platform::RegCloseKey(doomed);
    platform::RegCloseKey(parent);
  }
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Classes\\Korvex.Document"));
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Classes\\zeta"));
  EXPECT_EQ(memory::DumpReg(u"HKLM\\Software\\Classes\\KORVEX.DOCUMENT"), machineBefore);
  auto document = OpenClasses(u"Korvex.Document");
  EXPECT_EQ(Text(document, u"Extra"), u"x");
  EXPECT_EQ(SubkeyNames(document), (std::vector<std::u16string>{u"CLSID", u"Shell"}));
  EXPECT_EQ(platform::KeyObjectName(document), u"\\REGISTRY\\MACHINE\\Software\\Classes\\KORVEX.DOCUMENT");
  platform::RegCloseKey(document);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

// Links are followed in the tree they sit in.
TEST(InMemoryMergedClassesRoot, FollowsALinkInTheUsersTree) {
  memory::ResetMachine();
  memory::MergeUserClasses(true);
  memory::LoadReg(u"[HKLM\\Software\\Other Vendor]\n\"Origin\"=\"other\"\n[HKLM\\Software\\Classes\\Linked]\n");
  memory::MakeLink(u"HKCU\\Software\\Classes\\Linked", u"\\Registry\\Machine\\Software\\Other Vendor");
  auto linked = OpenClasses(u"Linked");
  EXPECT_EQ(Text(linked, u"Origin"), u"other");
  platform::RegCloseKey(linked);
  EXPECT_TRUE(platform::IsLinkKey(platform::kClassesRoot, u"Linked"));
}

// Off, as after every reset, HKEY_CLASSES_ROOT is the machine's classes
// alone, as under Wine: the user's classes do not show through.
TEST(InMemoryMergedClassesRoot, IsOffByDefaultAndAfterAReset) {
  memory::ResetMachine();
  memory::MergeUserClasses(true);
  memory::ResetMachine();
  memory::LoadReg(kMergedFixture);
  EXPECT_EQ(SubkeyNames(platform::kClassesRoot),
            (std::vector<std::u16string>{u".KVX", u"Alpha.Longest.Name", u"KORVEX.DOCUMENT"}));
  platform::RegKey key{};
  EXPECT_EQ(platform::RegOpenKeyExW(platform::kClassesRoot, u"zeta", platform::kKeyRead, &key),
            platform::kFileNotFound);
  auto document = OpenClasses(u"Korvex.Document");
  EXPECT_EQ(Text(document, nullptr), u"machine");
  EXPECT_EQ(SubkeyNames(document), (std::vector<std::u16string>{u"CLSID", u"Shell"}));
  platform::RegCloseKey(document);
}

}  // namespace
