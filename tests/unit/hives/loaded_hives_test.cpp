// Hive files loaded and unloaded as Windows does it, through the owner a run
// keeps them in, and the profile list that names them.
#include "hives/loaded_hives.h"

#include <gtest/gtest.h>

#include "hives/profile_list.h"
#include "platform/hives.h"
#include "platform/memory/machine.h"
#include "platform/unique_handle.h"

namespace {

using platform::kUsers;

constexpr char16_t kAnn[] = u"C:\\Users\\ann\\NTUSER.DAT";
constexpr char16_t kAnnSid[] = u"S-1-5-21-1000-1002";

TEST(Hives, UnloadWritesTheHiveBackAndWindowsRefusalsAreKept) {
  memory::ResetMachine();
  memory::CreateHiveFile(kAnn, u"[]\n\"Top\"=\"1\"\n[Software\\Korvex]\n\"v\"=\"x\"\n[Software\\Other]\n");
  memory::CreateFile(u"C:\\Users\\bad\\NTUSER.DAT", "not a hive");
  {
    hives::LoadedHives loaded;
    EXPECT_EQ(loaded.Load(kUsers, kAnnSid, kAnn), platform::kPrivilegeNotHeld);
    ASSERT_EQ(platform::EnableHivePrivileges(), 0u);
    ASSERT_EQ(loaded.Load(kUsers, kAnnSid, kAnn), 0);
    EXPECT_TRUE(memory::KeyExists(u"HKU\\S-1-5-21-1000-1002\\Software\\Korvex"));
    EXPECT_EQ(loaded.Load(kUsers, u"S-1-5-21-1000-1003", kAnn), platform::kSharingViolation);
    EXPECT_EQ(loaded.Load(kUsers, kAnnSid, u"C:\\Users\\bad\\NTUSER.DAT"), platform::kAlreadyExists);
    EXPECT_EQ(loaded.Load(kUsers, u"S-1", u"C:\\Users\\bad\\NTUSER.DAT"), platform::kBadDb);
    EXPECT_EQ(loaded.Load(kUsers, u"S-1", u"C:\\Users\\bad\\gone.dat"), platform::kFileNotFound);
    EXPECT_EQ(loaded.Load(kUsers, u"S-1", u"C:\\Users\\gone\\NTUSER.DAT"), platform::kPathNotFound);
    memory::FailFileOpen(u"C:\\Users\\bad\\NTUSER.DAT", platform::kSharingViolation);
    EXPECT_EQ(loaded.Load(kUsers, u"S-1", u"C:\\Users\\bad\\NTUSER.DAT"), platform::kSharingViolation);
    ASSERT_EQ(loaded.Hives().size(), 1u);
    EXPECT_FALSE(memory::KeyExists(u"HKU\\S-1"));

    memory::DeleteKey(u"HKU\\S-1-5-21-1000-1002\\Software\\Korvex");
    memory::SetValue(u"HKU\\S-1-5-21-1000-1002\\Software\\Other", u"new", platform::kRegDword, {1, 0, 0, 0});
    // Not yet in the file: Windows writes it at the unload.
    EXPECT_NE(memory::HiveFileText(kAnn)->find(u"Korvex"), std::u16string::npos);

    // An open handle inside keeps the hive loaded; the owner says so and lets it go.
    platform::UniqueRegKey inside;
    ASSERT_EQ(platform::RegOpenKeyExW(kUsers, u"S-1-5-21-1000-1002\\Software", platform::kKeyRead, inside.put()), 0);
    const auto failures = loaded.UnloadAll();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].status, platform::kAccessDenied);
    EXPECT_EQ(failures[0].hive.subKey, kAnnSid);
    EXPECT_TRUE(loaded.Hives().empty());
    inside.reset();
    EXPECT_EQ(platform::RegUnLoadKeyW(kUsers, kAnnSid), 0);
  }
  EXPECT_FALSE(memory::KeyExists(u"HKU\\S-1-5-21-1000-1002"));
  EXPECT_EQ(memory::HiveFileText(kAnn).value_or(u"(none)"),
            u"[]\n\"Top\"=\"1\"\n\n[Software]\n\n[Software\\Other]\n\"new\"=hex(4):01,00,00,00\n\n");

  // What is still loaded when the owner goes is unloaded then, written back too.
  {
    hives::LoadedHives loaded;
    ASSERT_EQ(loaded.Load(kUsers, kAnnSid, kAnn), 0);
    memory::DeleteKey(u"HKU\\S-1-5-21-1000-1002\\Software\\Other");
    hives::LoadedHives owner = std::move(loaded);
  }
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  EXPECT_EQ(memory::HiveFileText(kAnn).value_or(u"(none)"), u"[]\n\"Top\"=\"1\"\n\n[Software]\n\n");

  // An owner that goes while a handle further up the stack still holds its
  // hive leaves it for main, which unloads it once that handle is closed too.
  {
    platform::UniqueRegKey above;
    {
      hives::LoadedHives loaded;
      ASSERT_EQ(loaded.Load(kUsers, kAnnSid, kAnn), 0);
      ASSERT_EQ(platform::RegOpenKeyExW(kUsers, kAnnSid, platform::kKeyRead, above.put()), 0);
    }
    ASSERT_EQ(memory::LoadedHiveFiles().size(), 1u);
  }
  EXPECT_EQ(hives::UnloadLeftHives(), 0u);
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  EXPECT_EQ(hives::UnloadLeftHives(), 0u);  // each once

  memory::TokenWithoutHivePrivileges();
  EXPECT_EQ(platform::EnableHivePrivileges(), platform::kNotAllAssigned);
}

TEST(Hives, ProfileListGivesEachProfileWithAFolderExpanded) {
  memory::ResetMachine();
  memory::SetEnvironmentVariable(u"SystemDrive", u"C:");
  memory::LoadReg(
      uR"(
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-18]
"ProfileImagePath"=hex(2):25,00,73,00,79,00,73,00,74,00,65,00,6d,00,72,00,6f,00,6f,00,74,00,25,00,00,00
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1002]
"ProfileImagePath"=raw(2):"%SystemDrive%\\Users\\ann"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1003]
"ProfileImagePath"=dword:00000001
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1004]
)");
  const auto profiles = hives::ReadProfileList(platform::kLocalMachine, hives::kProfileListPath);
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].sid, u"S-1-5-18");
  EXPECT_EQ(profiles[0].folder, u"%systemroot%");  // a variable that is not set stays
  EXPECT_EQ(profiles[1].sid, u"S-1-5-21-1000-1002");
  EXPECT_EQ(profiles[1].imagePath, u"%SystemDrive%\\Users\\ann");
  EXPECT_EQ(profiles[1].folder, u"C:\\Users\\ann");
  EXPECT_EQ(hives::UserHiveFile(profiles[1].folder), kAnn);
  EXPECT_EQ(hives::ClassesHiveFile(profiles[1].folder),
            u"C:\\Users\\ann\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

}  // namespace
