// /allusers: the profiles whose users are not logged on, loaded around the
// sweep, cleaned as a logged-on user's, and unloaded on every way out.
#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "platform/hives.h"
#include "platform/memory/machine.h"
#include "run/program.h"

namespace {

constexpr char16_t kAnn[] = u"C:\\Users\\ann\\NTUSER.DAT";
constexpr char16_t kAnnClasses[] = u"C:\\Users\\ann\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
constexpr char16_t kAnnHive[] =
    u"[Software\\Korvex for Windows]\n\"InstallDir\"=\"C:\\\\Program Files\\\\Korvex\"\n"
    u"[Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n\"KorvexTray\"=\"Korvex for Windows tray\"\n"
    u"\"Other\"=\"C:\\\\other.exe\"\n";

// The logged-on user (kCurrentUserSid), Ann who is not, with the backup of
// her entry that Windows keeps beside it and a second entry that names her
// folder by another path, a stale profile whose folder is gone, Dan, who is
// not logged on either, and Bob's hive, which another process holds open
// unless bobsFile says what the file holds instead.
void Machine(const char* bobsFile = nullptr) {
  memory::ResetMachine();
  memory::SetEnvironmentVariable(u"SystemDrive", u"C:");
  memory::LoadReg(
      uR"(
[HKCU\Software\Korvex for Windows]
[HKLM\System\CurrentControlSet\Services\Tarnvol]
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1001]
"ProfileImagePath"=raw(2):"C:\\Users\\me"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1002]
"ProfileImagePath"=raw(2):"%SystemDrive%\\Users\\ann"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1002.bak]
"ProfileImagePath"=raw(2):"%SystemDrive%\\Users\\ann"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1003]
"ProfileImagePath"=raw(2):"C:\\Users\\old"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1004]
"ProfileImagePath"=raw(2):"C:\\Users\\bob"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1005]
"ProfileImagePath"=raw(2):"C:\\Users\\dan"
[HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1000-1006]
"ProfileImagePath"=raw(2):"C:\\Profiles\\ann"
)");
  memory::AddFileAlias(u"C:\\Users\\ann", u"C:\\Profiles\\ann");  // the same folder by another name
  memory::CreateHiveFile(u"C:\\Users\\dan\\NTUSER.DAT", u"[Software\\Korvex for Windows]\n");
  memory::CreateHiveFile(kAnn, kAnnHive);
  memory::CreateHiveFile(kAnnClasses, u"[CLSID\\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}]\n[.txt]\n");
  memory::CreateHiveFile(u"C:\\Users\\bob\\NTUSER.DAT", u"[Software]\n");
  if (bobsFile) memory::CreateFile(u"C:\\Users\\bob\\NTUSER.DAT", bobsFile);
  else memory::FailFileOpen(u"C:\\Users\\bob\\NTUSER.DAT", platform::kSharingViolation);
}

int RunWith(std::u16string_view commandLine) {
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

bool Has(const std::u16string& text, std::u16string_view part) { return text.find(part) != std::u16string::npos; }

TEST(AllUsers, ProfilesNotLoggedOnAreCleanedAroundTheSweepAndWrittenBack) {
  Machine();
  // Held for the sweep alone: not yet loaded while the class filters are
  // read, unloaded again by the restart question.
  bool loadedBeforeSweep = true, loadedAtQuestion = true;
  memory::LoadReg(u"[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]\n");
  memory::BeforeCall(u"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}",
                     "RegQueryValueExW", [&] { loadedBeforeSweep = !memory::LoadedHiveFiles().empty(); });
  memory::WhileMessageBoxShown([&] { loadedAtQuestion = !memory::LoadedHiveFiles().empty(); });
  // Each profile held for its own sweep alone: none while HKEY_USERS is
  // walked, and never two at once.
  bool loadedInUsersWalk = false, twoAtOnce = false;
  memory::BeforeEveryCall([&](std::string_view function, std::u16string_view key) {
    const auto& hives = memory::LoadedHiveFiles();
    if (function == "RegEnumKeyExW" && key == u"HKEY_USERS" && !hives.empty()) loadedInUsersWalk = true;
    for (const auto& hive : hives)
      if (hive.keyPath.compare(0, 29, hives[0].keyPath, 0, 29) != 0) twoAtOnce = true;
  });
  EXPECT_EQ(RunWith(u"k.exe /allusers /log C:\\l.log /backup C:\\undo.reg"), 1603);  // Bob's hive stays
  EXPECT_FALSE(loadedInUsersWalk);
  EXPECT_FALSE(twoAtOnce);
  EXPECT_FALSE(loadedBeforeSweep);
  EXPECT_FALSE(loadedAtQuestion);
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
  EXPECT_TRUE(memory::HivePrivilegesEnabled());

  const std::u16string out = memory::Output();
  EXPECT_TRUE(Has(out, u"[S-1-5-21-1000-1002_Classes\\CLSID\\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}]: DELETED\n\n"));
  EXPECT_TRUE(Has(out, u"[Software\\Korvex for Windows]: DELETED\n\n"));  // the logged-on user, through HKCU
  EXPECT_TRUE(Has(out, u"[S-1-5-21-1000-1002\\Software\\Korvex for Windows]: DELETED\n\n"));
  EXPECT_TRUE(
      Has(out, u"[S-1-5-21-1000-1002\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]:KorvexTray: DELETED\n\n"));
  EXPECT_TRUE(
      Has(out, u"[HKEY_USERS\\S-1-5-21-1000-1004]: NOT LOADED from C:\\Users\\bob\\NTUSER.DAT, ERR = 0x20\n\n"));
  EXPECT_TRUE(Has(out, u"[S-1-5-21-1000-1005\\Software\\Korvex for Windows]: DELETED\n\n"));
  EXPECT_FALSE(Has(out, u"S-1-5-21-1000-1003"));
  EXPECT_FALSE(Has(out, u"S-1-5-21-1000-1006"));  // Ann's hive, loaded once, by her own entry
  EXPECT_FALSE(Has(out, u"S-1-5-21-1000-1001"));  // logged on: not loaded again, nor missing

  // The stale profile is one line of the log.
  const std::string log = memory::FileContent(u"C:\\l.log").value_or("");
  EXPECT_NE(log.find("Profile S-1-5-21-1000-1003 not cleaned: C:\\Users\\old\\NTUSER.DAT is missing\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("S-1-5-21-1000-1001"), std::string::npos);
  // A backup entry, which Windows never loads at logon, is passed over too,
  // rather than failing on the hive its profile's own entry just loaded.
  EXPECT_NE(log.find("Profile S-1-5-21-1000-1002.bak not cleaned: a backup of a profile's entry, which Windows "
                     "does not load\r\n"),
            std::string::npos);
  EXPECT_FALSE(Has(out, u".bak"));
  EXPECT_NE(log.find("Profile S-1-5-21-1000-1006 not cleaned: C:\\Profiles\\ann\\NTUSER.DAT is the hive of profile "
                     "S-1-5-21-1000-1002, cleaned with it\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Profile S-1-5-21-1000-1002 held 0 ms: loaded in 0 ms, swept in 0 ms, unloaded in 0 ms\r\n"),
            std::string::npos);

  // Written back at the unload: the product gone, the bystanders kept.
  EXPECT_EQ(memory::HiveFileText(kAnn).value_or(u"(none)"),
            u"[]\n\n[Software]\n\n[Software\\Microsoft]\n\n[Software\\Microsoft\\Windows]\n\n"
            u"[Software\\Microsoft\\Windows\\CurrentVersion]\n\n[Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
            u"\"Other\"=\"C:\\\\other.exe\"\n\n");
  EXPECT_EQ(memory::HiveFileText(kAnnClasses).value_or(u"(none)"), u"[]\n\n[.txt]\n\n[CLSID]\n\n");
  // The undo file names Ann's keys under their real place.
  std::string undo;
  for (char byte : memory::FileContent(u"C:\\undo.reg").value_or(""))
    if (byte) undo += byte;
  EXPECT_NE(undo.find("[HKEY_USERS\\S-1-5-21-1000-1002\\Software\\Korvex for Windows]"), std::string::npos);
}

TEST(AllUsers, EveryWayOutUnloadsAndAHiveThatStaysMakesTheRunFail) {
  // A preview loads and unloads too, and changes nothing in the file.
  Machine();
  EXPECT_EQ(RunWith(u"k.exe /scan /allusers"), 1);
  EXPECT_TRUE(Has(memory::Output(), u"[S-1-5-21-1000-1002\\Software\\Korvex for Windows]: FOUND\n\n"));
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  const std::u16string kept = memory::HiveFileText(kAnn).value_or(u"");
  EXPECT_TRUE(Has(kept, u"[Software\\Korvex for Windows]\n") && Has(kept, u"\"KorvexTray\""));

  // A hive that does not load may hold the product: it counts as something there.
  Machine();
  memory::LoadReg(u"[-HKCU\\Software\\Korvex for Windows]\n[-HKLM\\System\\CurrentControlSet\\Services\\Tarnvol]\n");
  memory::CreateHiveFile(kAnn, u"[Software]\n");
  memory::CreateHiveFile(kAnnClasses, u"[.txt]\n");
  memory::CreateHiveFile(u"C:\\Users\\dan\\NTUSER.DAT", u"[Software]\n");
  EXPECT_EQ(RunWith(u"k.exe /scan /allusers"), 1);
  EXPECT_EQ(memory::Output(),
            u"[HKEY_USERS\\S-1-5-21-1000-1004]: NOT LOADED from C:\\Users\\bob\\NTUSER.DAT, ERR = 0x20\n\n");

  // Without the switch, and with a refused one, nothing is loaded.
  Machine();
  EXPECT_EQ(RunWith(u"k.exe /quiet /allusers /reboot"), 1639);
  EXPECT_EQ(RunWith(u"k.exe /quiet"), 3010);
  EXPECT_FALSE(Has(memory::Output(), u"S-1-5-21-1000-1002"));
  EXPECT_FALSE(memory::HivePrivilegesEnabled());

  // A hive that does not unload is reported, and fails the run and the
  // preview, where nothing else would.
  for (const bool scan : {false, true}) {
    for (const bool stays : {false, true}) {
      Machine();
      memory::LoadReg(
          u"[-HKCU\\Software\\Korvex for Windows]\n[-HKLM\\System\\CurrentControlSet\\Services\\Tarnvol]\n");
      memory::CreateHiveFile(kAnn, u"[Software]\n");
      memory::CreateHiveFile(kAnnClasses, u"[.txt]\n");
      memory::CreateHiveFile(u"C:\\Users\\dan\\NTUSER.DAT", u"[Software]\n");
      memory::CreateHiveFile(u"C:\\Users\\bob\\NTUSER.DAT", u"[Software]\n");
      memory::FailFileOpen(u"C:\\Users\\bob\\NTUSER.DAT", 0);  // no longer held by another process
      if (stays) memory::FailHiveUnload(u"HKEY_USERS\\S-1-5-21-1000-1002_Classes", platform::kAccessDenied);
      const int code = RunWith(scan ? u"k.exe /scan /allusers" : u"k.exe /quiet /allusers");
      EXPECT_EQ(code, stays ? (scan ? 1 : 1603) : 0) << scan;
      const std::u16string out = memory::Output();
      EXPECT_EQ(Has(out, u"[HKEY_USERS\\S-1-5-21-1000-1002_Classes]: NOT UNLOADED, ERR = 0x5\n\n"), stays);
      EXPECT_EQ(Has(out, u"FOUND") || Has(out, u": DELETED") || Has(out, u"NOT LOADED"), false);
      ASSERT_EQ(memory::LoadedHiveFiles().size(), stays ? 1u : 0u);  // left to the system; Ann's own hive went
      if (stays) {
        EXPECT_EQ(memory::LoadedHiveFiles()[0].file, kAnnClasses);
      }
    }
  }
  Machine("");  // Bob's file holds no hive
  EXPECT_EQ(RunWith(u"k.exe /quiet /allusers"), 1603);
  EXPECT_TRUE(Has(memory::Output(),
                  u"[HKEY_USERS\\S-1-5-21-1000-1004]: NOT LOADED from "
                  u"C:\\Users\\bob\\NTUSER.DAT, ERR = 0x3F1\n\n"));

  // A failure that ends the process still unloads, and writes back what went
  // before it: where the exception is caught below the hives' owner, while
  // the owner is still there, not by its destructor as the stack unwinds,
  // which an exception that nothing catches does not do.
  Machine();
  std::vector<int> uncaughtAtUnload;
  memory::BeforeEveryCall([&](std::string_view function, std::u16string_view key) {
    if (function == "RegUnLoadKeyW") uncaughtAtUnload.push_back(std::uncaught_exceptions());
    if (function == "RegDeleteValueW" && key.find(u"1002") != std::u16string_view::npos) throw std::bad_alloc();
  });
  EXPECT_THROW(RunWith(u"k.exe /quiet /allusers"), std::bad_alloc);
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  EXPECT_EQ(uncaughtAtUnload, (std::vector<int>{0, 0}));
  const std::u16string half = memory::HiveFileText(kAnn).value_or(u"");
  EXPECT_TRUE(!Has(half, u"Korvex for Windows]") && Has(half, u"\"KorvexTray\""));
}

}  // namespace
