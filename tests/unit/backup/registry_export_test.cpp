// What a deletion is about to take, read into undo-file text: the whole
// subtree under its real place, values in enumeration order with their exact
// bytes, a link below noted and never followed, and no text at all for an
// entry that could not be read whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backup/reg_file.h"
#include "backup/registry_export.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "platform/unique_handle.h"

namespace {

constexpr char16_t kProductPath[] = u"HKEY_LOCAL_MACHINE\\Software\\Korvex for Windows";

// Text with "\n" line ends, as the file has them: "\r\n".
std::u16string Crlf(std::u16string_view text) {
  std::u16string out;
  for (char16_t unit : text) {
    if (unit == u'\n') out += u'\r';
    out += unit;
  }
  return out;
}

class RegistryExport : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetMachine();
    memory::LoadReg(
        uR"(
[HKLM\Software\Korvex for Windows]
"Version"="2.1"
@="Korvex"
"Path \"quoted\""="C:\\Korvex\\"
[HKLM\Software\Korvex for Windows\Sub]
"Flags"=dword:0000002a
[HKLM\Software\Korvex for Windows\Sub\Deeper]
[HKLM\Software\Other Vendor]
"kept"="yes"
)");
    memory::SetValue(u"HKLM\\Software\\Korvex for Windows\\Sub", u"Odd", 0x100, {0x01});
    memory::MakeLink(u"HKLM\\Software\\Korvex for Windows\\Shared", u"\\Registry\\Machine\\Software\\Other Vendor");
    ASSERT_EQ(platform::RegOpenKeyExW(platform::kLocalMachine, u"Software\\Korvex for Windows", platform::kKeyRead,
                                      product.put()),
              platform::kSuccess);
  }

  platform::UniqueRegKey product;
};

TEST_F(RegistryExport, TheSubtreeUnderItsRealPlaceWithTheLinkNotedAndNotFollowed) {
  std::u16string out = u"earlier entry\r\n";
  ASSERT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), platform::kSuccess);
  EXPECT_EQ(memory::Narrow(out), memory::Narrow(Crlf(uR"(earlier entry
; Security descriptors are not kept: a key restored from this file gets the permissions of a new key there.
[HKEY_LOCAL_MACHINE\Software\Korvex for Windows]
"Version"="2.1"
@="Korvex"
"Path \"quoted\""="C:\\Korvex\\"

; Symbolic link key, which reg import cannot make again: [HKEY_LOCAL_MACHINE\Software\Korvex for Windows\Shared]
; It points at this key, which is not followed: \Registry\Machine\Software\Other Vendor (HKEY_LOCAL_MACHINE\Software\Other Vendor)

[HKEY_LOCAL_MACHINE\Software\Korvex for Windows\Sub]
"Flags"=dword:0000002a
"Odd"=hex(100):01

[HKEY_LOCAL_MACHINE\Software\Korvex for Windows\Sub\Deeper]

)")));
  EXPECT_EQ(memory::OpenKeyCount(), 1u);  // the test's own handle

  // Read back, the file gives the subtree as it was, but for the link.
  memory::DeleteKey(u"HKLM\\Software\\Korvex for Windows\\Shared");
  const std::u16string before = memory::DumpReg(u"HKLM\\Software\\Korvex for Windows");
  memory::DeleteKey(u"HKLM\\Software\\Korvex for Windows");
  memory::LoadReg(backup::FileHeader() + out.substr(out.find(u';')));
  EXPECT_EQ(memory::DumpReg(u"HKLM\\Software\\Korvex for Windows"), before);
  EXPECT_EQ(memory::DumpReg(u"HKLM\\Software\\Other Vendor"),
            u"[HKEY_LOCAL_MACHINE\\Software\\Other Vendor]\n\"kept\"=\"yes\"\n\n");
}

TEST_F(RegistryExport, HostileValuesComeBackByteForByte) {
  const std::u16string name(16383, u'\x00e9');
  const std::u16string key = u"HKLM\\Software\\Korvex for Windows\\Hostile";
  memory::SetValue(key, name, platform::kRegBinary, std::vector<std::uint8_t>(300, 0x5A));
  memory::SetValue(key, u"no NUL", platform::kRegSz, {0x41, 0x00, 0x42, 0x00});
  memory::SetValue(key, u"\"\\", platform::kRegExpandSz, {0x25, 0x00, 0x00, 0x00});
  memory::SetValue(key, u"none", platform::kRegNone, {});
  memory::SetValue(key, u"multi", platform::kRegMultiSz, {0x61, 0x00, 0x00, 0x00, 0x00, 0x00});
  memory::SetValue(key, u"qword", platform::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
  memory::SetValue(key, u"Ä\"", platform::kRegSz, {0xC4, 0x00, 0x5C, 0x00, 0x00, 0x00});
  std::u16string out;
  ASSERT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), platform::kSuccess);
  const std::u16string before = memory::DumpReg(key);
  memory::DeleteKey(key);
  memory::LoadReg(backup::FileHeader() + out);
  EXPECT_EQ(memory::DumpReg(key), before);
}

TEST_F(RegistryExport, AnEntryThatCannotBeReadWholeAddsNothing) {
  const std::u16string earlier = u"earlier entry\r\n";
  std::u16string out = earlier;
  memory::RefuseAccess(u"HKLM\\Software\\Korvex for Windows\\Sub\\Deeper", platform::kKeyQueryValue);
  EXPECT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), platform::kAccessDenied);
  EXPECT_EQ(out, earlier);

  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\Software\\Korvex for Windows\\Sub]\n\"a\"=\"b\"\n");
  ASSERT_EQ(platform::RegOpenKeyExW(platform::kLocalMachine, u"Software\\Korvex for Windows", platform::kKeyRead,
                                    product.put()),
            platform::kSuccess);
  memory::FailEnumValue(u"HKLM\\Software\\Korvex for Windows\\Sub", 0, 1015);
  EXPECT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), 1015);
  EXPECT_EQ(out, earlier);
  memory::FailQueryInfo(u"HKLM\\Software\\Korvex for Windows", platform::kKeyDeleted);
  EXPECT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), platform::kKeyDeleted);
  EXPECT_EQ(out, earlier);
  EXPECT_EQ(backup::ExportValue(product.get(), kProductPath, u"missing", out), platform::kFileNotFound);
  EXPECT_EQ(out, earlier);
  EXPECT_EQ(memory::OpenKeyCount(), 1u);
}

TEST_F(RegistryExport, AValueThatGrowsUnderTheReadIsReadAgainWhole) {
  memory::BeforeCall(u"HKLM\\Software\\Korvex for Windows\\Sub", "RegEnumValueW", [] {
    memory::SetValue(u"HKLM\\Software\\Korvex for Windows\\Sub", u"Flags", platform::kRegBinary,
                     std::vector<std::uint8_t>(40, 0x11));
  });
  std::u16string out;
  ASSERT_EQ(backup::ExportKeyTree(product.get(), kProductPath, out), platform::kSuccess);
  EXPECT_NE(out.find(u"\"Flags\"=hex:11,11,11,"), std::u16string::npos) << memory::Narrow(out);

  // The same for a value read alone: it grows between its sizing and its read.
  out.clear();
  platform::UniqueRegKey sub;
  ASSERT_EQ(platform::RegOpenKeyExW(product.get(), u"Sub", platform::kKeyRead, sub.put()), platform::kSuccess);
  int queries = 0;
  memory::BeforeEveryCall([&queries](std::string_view function, std::u16string_view) {
    if (function == "RegQueryValueExW" && ++queries == 2)
      memory::SetValue(u"HKLM\\Software\\Korvex for Windows\\Sub", u"Flags", platform::kRegBinary,
                       std::vector<std::uint8_t>(60, 0x22));
  });
  ASSERT_EQ(backup::ExportValue(sub.get(), u"HKEY_LOCAL_MACHINE\\Sub", u"Flags", out), platform::kSuccess);
  EXPECT_EQ(queries, 3);
  const std::string text = memory::Narrow(out);
  EXPECT_EQ(text.substr(0, 41), "[HKEY_LOCAL_MACHINE\\Sub]\r\n\"Flags\"=hex:22,");
  EXPECT_EQ(std::count(text.begin(), text.end(), '2'), 120);
}

TEST_F(RegistryExport, ALinkKeyItselfIsOnlyNoted) {
  platform::UniqueRegKey link;
  ASSERT_EQ(platform::RegOpenLinkKeyW(product.get(), u"Shared", platform::kKeyRead, link.put()), platform::kSuccess);
  std::u16string out;
  ASSERT_EQ(backup::ExportKeyTree(link.get(), u"HKEY_LOCAL_MACHINE\\L", out), platform::kSuccess);
  EXPECT_EQ(memory::Narrow(out),
            "; Security descriptors are not kept: a key restored from this file gets the permissions of a new key "
            "there.\r\n"
            "; Symbolic link key, which reg import cannot make again: [HKEY_LOCAL_MACHINE\\L]\r\n"
            "; It points at this key, which is not followed: \\Registry\\Machine\\Software\\Other Vendor "
            "(HKEY_LOCAL_MACHINE\\Software\\Other Vendor)\r\n\r\n");
}

}  // namespace
