// /offline <folder>: a Windows that is not running, cleaned through its hive
// files, in every control set, while the running system's registry, which
// holds the product too, stays as it was; every hive unloaded at the end,
// also when a hive fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hives.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "run/program.h"

namespace {

constexpr char16_t kSystem[] = u"D:\\Windows\\System32\\config\\SYSTEM";
constexpr char16_t kSoftware[] = u"D:\\Windows\\System32\\config\\SOFTWARE";
constexpr char16_t kDefault[] = u"D:\\Windows\\System32\\config\\DEFAULT";
constexpr char16_t kAnn[] = u"D:\\Users\\ann\\NTUSER.DAT";

constexpr char16_t kDisks[] = u"Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
constexpr char16_t kVolumes[] = u"Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";

// The product in the running system as well: the offline run must not touch it.
constexpr char16_t kLive[] =
    uR"(
[HKLM\System\CurrentControlSet\Services\Tarnvol]
[HKLM\System\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart"
[HKCU\Software\Korvex for Windows]
)";

// Select\Current names the second set, so it goes first. Each set holds a
// product filter whose driver key is gone, beside a bystander.
constexpr char16_t kSystemHive[] =
    uR"(
[Select]
"Current"=dword:00000002
[ControlSet001\Services\Tarnvol]
"Start"=dword:00000001
[ControlSet001\Services\vornpart]
[ControlSet001\Services\partmgr]
[ControlSet001\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"vornpart","partmgr","meskdrv"
[ControlSet001\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]
"UpperFilters"=multi:"volsnap","tessaid"
[ControlSet002\Services\TarnvolRec]
[ControlSet002\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart"
)";

constexpr char16_t kSoftwareHive[] =
    uR"(
[Korvex\Korvex for Windows]
[Microsoft\Windows NT\CurrentVersion]
"SystemRoot"="C:\\WINDOWS"
[Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-7-1001]
"ProfileImagePath"="C:\\Users\\ann"
[Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-7-1002]
"ProfileImagePath"="C:\\Users\\gone"
)";

void OfflineMachine() {
  memory::ResetMachine();
  memory::LoadReg(kLive);
  memory::AddService({u"Tarnvol", platform::kServiceRunning});
  memory::CreateFolder(u"C:\\Windows");
  memory::CreateHiveFile(kSystem, kSystemHive);
  memory::CreateHiveFile(kSoftware, kSoftwareHive);
  memory::CreateHiveFile(kDefault, u"[Software\\Tarnvol tray]\n");
  memory::CreateHiveFile(kAnn, u"[Software\\Korvex for Windows]\n[Software\\Vendor]\n\"Kept\"=\"1\"\n");
}

std::u16string Live() { return memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKU"); }

int RunWith(std::u16string_view commandLine) {
  memory::ClearOutput();
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

std::string Filters(const char16_t* controlSet, const char16_t* classKey) {
  const std::u16string text = memory::HiveFileText(kSystem).value_or(u"");
  const std::u16string key = u"[" + std::u16string(controlSet) + u"\\" + classKey + u"]\n";
  const std::size_t at = text.find(key);
  if (at == std::u16string::npos) return "(no key)";
  return memory::Narrow(text.substr(at + key.size(), text.find(u'\n', at + key.size()) - at - key.size()));
}

// multi:"a","b" as DumpReg writes it back.
std::string Multi(std::u16string_view elements) {
  std::string hex;
  for (char16_t unit : elements) {
    char byte[16];
    std::snprintf(byte, sizeof byte, "%02x,00,", unit == u'|' ? 0 : static_cast<unsigned>(unit));
    hex += byte;
  }
  return "\"UpperFilters\"=hex(7):" + hex + "00,00";
}

std::string Line(const char16_t* controlSet, const char16_t* name, const char* outcome) {
  return "[" + memory::Narrow(std::u16string(kSystem) + u"\\" + controlSet + u"\\Services\\" + name) +
         "]: " + outcome + "\n\n";
}

TEST(Offline, EveryControlSetCleanedThroughItsHivesAndTheRunningSystemLeftAlone) {
  OfflineMachine();
  const std::u16string live = Live();

  // The running system's own folder, by name or by another path to it, and
  // a folder without a SYSTEM hive: refused, nothing loaded.
  memory::CreateHiveFile(u"C:\\Windows\\System32\\config\\SYSTEM", u"[Select]\n");
  memory::AddFileAlias(u"C:", u"S:");
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline c:\\windows"), 1639);
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline S:\\Windows"), 1639);
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Users"), 1639);
  EXPECT_EQ(RunWith(u"k.exe /offline D:\\Windows /promptrestart"), 1639);
  EXPECT_EQ(memory::Narrow(memory::ErrorOutput()).substr(0, 90),
            "c:\\windows is the Windows running now. /offline cleans a Windows that is not running, from");
  EXPECT_NE(memory::ErrorOutput().find(u"D:\\Users holds no Windows to clean: D:\\Users\\System32\\config\\SYSTEM is "
                                       u"missing. Nothing was changed.\n"),
            std::u16string::npos);
  EXPECT_EQ(memory::Output(), u"");

  // The preview lists the offline entries alone, by file and path.
  const std::string system = memory::Narrow(kSystem);
  EXPECT_EQ(RunWith(u"k.exe /scan /offline D:\\Windows"), 1);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[" + system + "\\ControlSet002\\Services\\TarnvolRec]: FOUND\n\n[" + system +
                "\\ControlSet002\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]:UpperFilters: FOUND, "
                "vornpart\n\n[" +
                system + "\\ControlSet001\\Services\\Tarnvol]: FOUND\n\n[" + system +
                "\\ControlSet001\\Services\\vornpart]: FOUND\n\n[" + system +
                "\\ControlSet001\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]:UpperFilters: FOUND, "
                "tessaid\n\n[" +
                system +
                "\\ControlSet001\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]:UpperFilters: FOUND, "
                "vornpart\n\n[" +
                system +
                "\\ControlSet001\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]:UpperFilters: FOUND, "
                "meskdrv\n\n"
                "[D:\\Windows\\System32\\config\\SOFTWARE\\Korvex\\Korvex for Windows]: FOUND\n\n"
                "[D:\\Users\\ann\\NTUSER.DAT\\Software\\Korvex for Windows]: FOUND\n\n"
                "[D:\\Windows\\System32\\config\\DEFAULT\\Software\\Tarnvol tray]: FOUND\n\n");
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());

  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Windows /backup X:\\undo.reg /log X:\\clean.log"), 0);
  std::string expected;
  for (const char16_t* set : {u"ControlSet002", u"ControlSet001"}) {
    const bool first = set[12] == u'1';
    expected += Line(set, u"Tarnvol", first ? "DELETED" : "NOT DELETED, ERR = 0x2");
    expected += Line(set, u"TarnvolRec", first ? "NOT DELETED, ERR = 0x2" : "DELETED");
    for (const char16_t* key :
         {u"TarnVol", u"TarnVolRec", u"vornpart", u"meskdrv", u"meskdrvsvc", u"tessaid", u"brunko"})
      expected += Line(set, key, first && key[0] == u'v' ? "DELETED" : "NOT DELETED, ERR = 0x2");
  }
  EXPECT_EQ(memory::Narrow(memory::Output()),
            expected +
                "[D:\\Windows\\System32\\config\\SOFTWARE\\Korvex\\Korvex for Windows]: DELETED\n\n"
                "[D:\\Users\\ann\\NTUSER.DAT\\Software\\Korvex for Windows]: DELETED\n\n"
                "[D:\\Windows\\System32\\config\\DEFAULT\\Software\\Tarnvol tray]: DELETED\n\n");

  // Both sets' lists keep their bystanders in order, each written back to the file.
  EXPECT_EQ(Filters(u"ControlSet001", kDisks), Multi(u"partmgr|"));
  EXPECT_EQ(Filters(u"ControlSet001", kVolumes), Multi(u"volsnap|"));
  EXPECT_EQ(Filters(u"ControlSet002", kDisks), Multi(u"partmgr|"));
  EXPECT_EQ(memory::HiveFileText(kSystem)->find(u"vornpart]"), std::u16string::npos);
  EXPECT_NE(memory::HiveFileText(kSystem)->find(u"ControlSet001\\Services\\partmgr]"), std::u16string::npos);
  EXPECT_EQ(memory::HiveFileText(kAnn).value_or(u""), u"[]\n\n[Software]\n\n[Software\\Vendor]\n\"Kept\"=\"1\"\n\n");

  // Nothing of the running system: its registry, its service, no restart.
  EXPECT_EQ(Live(), live);
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceRunning);
  EXPECT_TRUE(memory::ShutdownRequests().empty());
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());

  // The undo file says how to load each hive for the import, under the
  // name its keys stand under.
  const std::string undo = memory::FileContent(u"X:\\undo.reg").value_or("");
  std::u16string text;
  for (std::size_t i = 2; i + 1 < undo.size(); i += 2) text += static_cast<char16_t>(undo[i] | undo[i + 1] << 8);
  EXPECT_NE(text.find(u"; The keys below are in hives of a Windows that was not running"), std::u16string::npos);
  EXPECT_NE(text.find(u";   reg load HKLM\\KorvexOffline_SYSTEM \"D:\\Windows\\System32\\config\\SYSTEM\"\r\n"),
            std::u16string::npos);
  EXPECT_NE(text.find(u";   reg unload HKLM\\KorvexOffline_S-1-5-21-7-1001\r\n"), std::u16string::npos);
  const std::size_t note = text.find(u"reg import");
  const std::size_t saved = text.find(
      u"[HKEY_LOCAL_MACHINE\\KorvexOffline_SYSTEM\\ControlSet002\\Control\\Class\\{4D36E967-E325-11CE-BFC1-"
      u"08002BE10318}]\r\n\"UpperFilters\"=hex(7):70,00,61,00");
  EXPECT_LT(note, saved);
  EXPECT_NE(saved, std::u16string::npos);
  EXPECT_NE(text.find(u"[HKEY_LOCAL_MACHINE\\KorvexOffline_SYSTEM\\ControlSet001\\Services\\Tarnvol]\r\n\"Start\""),
            std::u16string::npos);

  // The stale profile is one line of the log.
  const std::string log = memory::FileContent(u"X:\\clean.log").value_or("");
  EXPECT_NE(log.find("Profile S-1-5-21-7-1002 not cleaned: D:\\Users\\gone\\NTUSER.DAT is missing"),
            std::string::npos);
  EXPECT_NE(log.find("ended with exit code 0"), std::string::npos);

  EXPECT_EQ(RunWith(u"k.exe /scan /offline D:\\Windows"), 0);
  EXPECT_EQ(memory::Output(), u"");
}

// A hive that will not load, a key that may not be deleted and a hive that
// will not unload: each reported, 1603, and the others unloaded and cleaned.
TEST(Offline, AFailedStepFailsTheRunAndEveryOtherHiveIsStillUnloaded) {
  OfflineMachine();
  const std::u16string live = Live();
  memory::FailHiveLoad(kAnn, platform::kSharingViolation);
  memory::FailHiveUnload(u"HKEY_LOCAL_MACHINE\\KorvexOffline_DEFAULT", platform::kAccessDenied);
  constexpr char16_t kVornpart[] = u"HKLM\\KorvexOffline_SYSTEM\\ControlSet001\\Services\\vornpart";
  bool refused = false;
  memory::BeforeEveryCall([&](std::string_view, std::u16string_view) {
    if (refused || !memory::KeyExists(kVornpart)) return;
    memory::RefuseAccess(kVornpart, platform::kDelete);
    refused = true;
  });
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Windows\\"), 1603);
  const std::string report = memory::Narrow(memory::Output());
  EXPECT_EQ(report.substr(0, report.find("\n\n") + 2),
            "[HKEY_LOCAL_MACHINE\\KorvexOffline_S-1-5-21-7-1001]: NOT LOADED from D:\\Users\\ann\\NTUSER.DAT, ERR = "
            "0x20\n\n");
  EXPECT_NE(
      report.find("[" + memory::Narrow(kSystem) + "\\ControlSet001\\Services\\vornpart]: NOT DELETED, ERR = 0x5"),
      std::string::npos);
  EXPECT_NE(report.find("[HKEY_LOCAL_MACHINE\\KorvexOffline_DEFAULT]: NOT UNLOADED, ERR = 0x5\n\n"),
            std::string::npos);
  EXPECT_EQ(Filters(u"ControlSet002", kDisks), Multi(u"partmgr|"));
  ASSERT_EQ(memory::LoadedHiveFiles().size(), 1u);
  EXPECT_EQ(memory::LoadedHiveFiles()[0].file, kDefault);
  // The hive left loaded is the only thing of the run in the running registry.
  memory::BeforeEveryCall(nullptr);
  EXPECT_EQ(memory::DumpReg(u"HKU"), live.substr(live.find(u"[HKEY_USERS")));

  // A failure that ends the process still unloads every hive first: where
  // the exception is caught below the hives' owner, while it is there, not by
  // its destructor as the stack unwinds, which an exception that nothing
  // catches does not do.
  OfflineMachine();
  std::vector<int> uncaughtAtUnload;
  memory::BeforeEveryCall([&](std::string_view function, std::u16string_view key) {
    if (function == "RegUnLoadKeyW") uncaughtAtUnload.push_back(std::uncaught_exceptions());
    if (function == "DeleteOpenKey" && key.find(u"KorvexOffline_") != std::u16string_view::npos)
      throw std::bad_alloc();
  });
  EXPECT_THROW(RunWith(u"k.exe /quiet /offline D:\\Windows"), std::bad_alloc);
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());
  EXPECT_EQ(uncaughtAtUnload, (std::vector<int>{0, 0, 0, 0}));
}

// The profiles through the one loader: a backup entry, a second entry naming
// the same hive and a profile on another drive of that Windows; a hive that
// will not unload as the only failure; hives an earlier run left loaded.
TEST(Offline, ProfilesAreJudgedAsForAllUsersAndAHiveLeftByAnEarlierRunIsNamed) {
  OfflineMachine();
  memory::LoadReg(u"[HKLM\\KorvexOffline_SYSTEM]\n");  // only a key: nothing holds the file
  memory::CreateHiveFile(kSoftware, std::u16string(kSoftwareHive) +
                                        uR"(
[Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-7-1001.bak]
"ProfileImagePath"="C:\\Users\\ann"
[Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-7-1003]
"ProfileImagePath"="%SystemDrive%\\USERS\\ANN\\."
[Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-7-1004]
"ProfileImagePath"="E:\\Users\\eve"
)");
  // What the old mapping would have taken for Eve's: never looked at.
  memory::CreateHiveFile(u"D:\\Users\\eve\\NTUSER.DAT", u"[Software\\Korvex for Windows]\n");
  memory::AddFileAlias(u"D:\\Users\\ann", u"D:\\USERS\\ANN\\.");
  const std::string notReached =
      "Profile S-1-5-21-7-1004 NOT CLEANED: its folder E:\\Users\\eve is not on the system drive of the Windows "
      "cleaned, and which drive it is here cannot be told\n\n";
  EXPECT_EQ(RunWith(u"k.exe /scan /offline D:\\Windows /log X:\\scan.log"), 1);
  EXPECT_EQ(memory::Narrow(memory::Output()).substr(0, notReached.size()), notReached);
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Windows /log X:\\clean.log"), 1603);
  const std::string report = memory::Narrow(memory::Output());
  EXPECT_EQ(report.substr(0, notReached.size()), notReached);
  EXPECT_NE(report.find("[D:\\Users\\ann\\NTUSER.DAT\\Software\\Korvex for Windows]: DELETED\n\n"),
            std::string::npos);
  EXPECT_EQ(report.find("NOT LOADED"), std::string::npos);
  EXPECT_EQ(report.find("eve\\NTUSER.DAT"), std::string::npos);
  const std::string log = memory::FileContent(u"X:\\clean.log").value_or("");
  EXPECT_NE(log.find("Profile S-1-5-21-7-1001.bak not cleaned: a backup"), std::string::npos);
  EXPECT_NE(log.find("Profile S-1-5-21-7-1003 not cleaned: D:\\USERS\\ANN\\.\\NTUSER.DAT is the hive of profile "
                     "S-1-5-21-7-1001, cleaned with it\r\n"),
            std::string::npos);
  EXPECT_TRUE(memory::LoadedHiveFiles().empty());

  // Cleaned now, but for a hive that will not unload: that alone fails the run.
  std::u16string cleaned = kSoftwareHive;
  cleaned.erase(cleaned.find(u"[Korvex\\Korvex"), cleaned.find(u"[Microsoft") - cleaned.find(u"[Korvex\\Korvex"));
  memory::CreateHiveFile(kSoftware, cleaned);
  memory::FailHiveUnload(u"HKEY_LOCAL_MACHINE\\KorvexOffline_DEFAULT", platform::kAccessDenied);
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Windows"), 1603);
  EXPECT_EQ(memory::Narrow(memory::Output()).find("]: DELETED"), std::string::npos);
  EXPECT_NE(memory::Narrow(memory::Output())
                .find("[HKEY_LOCAL_MACHINE\\KorvexOffline_DEFAULT]: NOT UNLOADED, ERR = "
                      "0x5\n\n"),
            std::string::npos);

  // That hive, left loaded, holds its file: the next run says which key to
  // unload first. One whose SYSTEM does not load is refused, saying the same.
  memory::FailHiveLoad(kSystem, platform::kSharingViolation);
  EXPECT_EQ(RunWith(u"k.exe /scan /offline D:\\Windows\\"), 1);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[HKEY_LOCAL_MACHINE\\KorvexOffline_SYSTEM_2]: NOT LOADED from " + memory::Narrow(kSystem) +
                ", ERR = 0x20\n\nAn earlier run may have left its hives loaded: reg unload "
                "HKLM\\KorvexOffline_SYSTEM, then run again\n\n");
  EXPECT_NE(
      memory::Narrow(memory::ErrorOutput())
          .find("D:\\Windows\\ was not cleaned: its SYSTEM hive does not load. Nothing was changed.\nAn earlier "
                "run may have left its hives loaded: reg unload HKLM\\KorvexOffline_SYSTEM, then run again.\n"),
      std::string::npos);
  ASSERT_EQ(memory::LoadedHiveFiles().size(), 1u);  // DEFAULT, as the run before left it
  EXPECT_EQ(memory::LoadedHiveFiles()[0].file, kDefault);
}

}  // namespace
