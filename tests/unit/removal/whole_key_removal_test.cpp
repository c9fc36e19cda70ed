// A key deleted whole must take its own subtree and nothing else, even when a
// symbolic link below it points at someone else's key.
#include <gtest/gtest.h>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "removal/whole_key_removal.h"
#include "tests/unit/safety/safety_support.h"

namespace {

const std::u16string kUserRoot = u"\\Registry\\User\\" + std::u16string(memory::kCurrentUserSid);

class WholeKeyRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    safety::FreshMachine();
    memory::LoadReg(
        uR"(
[HKLM\Software\Korvex for Windows]
"Version"="2.1"
[HKLM\Software\Other Vendor\Tool]
"Path"="C:\\Tool"
[HKLM\Software\Other Vendor\Tool\Plugins]
"p"=dword:00000001
[HKCU\Software\Tarnvol settings]
"x"="1"
[HKCU\Software\Other Vendor]
"kept"="yes"
[HKCU\Software\Other Vendor\Deeper]
)");
    memory::MakeLink(u"HKLM\\Software\\Korvex for Windows\\Shared", u"\\Registry\\Machine\\Software\\Other Vendor");
    memory::MakeLink(u"HKCU\\Software\\Tarnvol settings\\Sub\\Up", kUserRoot + u"\\Software\\Other Vendor");
    vendorBefore = memory::DumpReg(u"HKLM\\Software\\Other Vendor") +
                   memory::DumpReg(u"HKCU\\Software\\Other Vendor");
  }

  std::u16string Vendors() {
    return memory::DumpReg(u"HKLM\\Software\\Other Vendor") + memory::DumpReg(u"HKCU\\Software\\Other Vendor");
  }

  std::u16string vendorBefore;
};

TEST_F(WholeKeyRemoval, LinksBelowTheKeyGoAsLinksAndTheirTargetsStay) {
  removal::RemoveWholeKey(platform::kLocalMachine, u"Software\\Korvex for Windows");
  removal::RemoveWholeKey(platform::kCurrentUser, u"Software\\Tarnvol settings");
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[Software\\Korvex for Windows]: DELETED\n\n[Software\\Tarnvol settings]: DELETED\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\Software\\Korvex for Windows"));
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Tarnvol settings"));
  EXPECT_EQ(Vendors(), vendorBefore);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

TEST_F(WholeKeyRemoval, ALinkThatCannotBeDeletedStopsTheTreeDeletion) {
  memory::RefuseAccessToLink(u"HKCU\\Software\\Tarnvol settings\\Sub\\Up", platform::kDelete);
  removal::RemoveWholeKey(platform::kCurrentUser, u"Software\\Tarnvol settings");
  EXPECT_EQ(memory::Narrow(memory::Output()), "[Software\\Tarnvol settings]: NOT DELETED, ERR = 0x5\n\n");
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Tarnvol settings"));
  EXPECT_EQ(Vendors(), vendorBefore);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

TEST_F(WholeKeyRemoval, ServiceKeyWithALinkBelowLeavesTheTargetWhole) {
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\tessaid\\Parameters]\n\"a\"=\"b\"\n");
  memory::MakeLink(u"HKLM\\System\\CurrentControlSet\\Services\\tessaid\\Parameters\\Vendor",
                   u"\\Registry\\Machine\\Software\\Other Vendor");
  auto services = memory::DumpReg(u"HKLM\\System\\CurrentControlSet\\Services");
  platform::RegKey servicesKey;
  ASSERT_EQ(
      platform::RegOpenKeyExW(platform::kLocalMachine, u"System\\CurrentControlSet\\Services", 0x3000F, &servicesKey),
      0);
  removal::RemoveWholeKey(servicesKey, u"tessaid");
  platform::RegCloseKey(servicesKey);
  EXPECT_EQ(memory::Narrow(memory::Output()), "[tessaid]: DELETED\n\n");
  EXPECT_EQ(Vendors(), vendorBefore);
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\tessaid"));
}

}  // namespace
