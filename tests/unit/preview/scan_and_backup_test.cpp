// /scan lists what a run would remove and changes nothing; /backup saves,
// before each deletion, what goes, and a deletion whose entry cannot be saved
// is not made.
#include <gtest/gtest.h>

#include <string>

#include "platform/memory/machine.h"
#include "run/program.h"

namespace {

constexpr char16_t kFootprint[] =
    uR"(
[HKLM\System\CurrentControlSet\Services\Tarnvol]
"Start"=dword:00000001
[HKLM\System\CurrentControlSet\Services\vornpart]
[HKLM\System\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart"
[HKCU\Software\Korvex for Windows\Tarnvol cache]
[HKCU\Software\Vendor]
"Recent"="C:\\Korvex for Windows\\x.log"
"Kept"="other"
[HKLM\Software\Classes\6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18]
)";

std::u16string Registry() { return memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKU"); }

int RunWith(std::u16string_view commandLine) {
  memory::ClearOutput();
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

// Each thing once, by its first path: the service key found again by the
// service name's pattern, the key inside a listed key, the user's key seen
// again through HKEY_USERS and the classes key through HKEY_LOCAL_MACHINE.
TEST(Scan, ListsWhatARunRemovesOnceAndChangesNothing) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::AddService({u"Tarnvol", platform::kServiceRunning});
  const std::u16string before = Registry();
  EXPECT_EQ(RunWith(u"k.exe /scan /quiet"), 1);
  EXPECT_EQ(
      memory::Narrow(memory::Output()),
      "Service [Tarnvol]: FOUND, RUNNING\n"
      "[TarnVol]: FOUND\n\n"
      "[vornpart]: FOUND\n\n"
      "[SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]:UpperFilters: FOUND, "
      "vornpart\n\n"
      "[6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18]: FOUND\n\n"
      "[Software\\Korvex for Windows]: FOUND\n\n"
      "[Software\\Vendor]:Recent: FOUND\n\n");
  EXPECT_EQ(Registry(), before);
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceRunning);

  EXPECT_EQ(RunWith(u"k.exe /quiet /norestart"), 3010);
  EXPECT_EQ(RunWith(u"k.exe /scan"), 0);
  EXPECT_EQ(memory::Output(), u"");
}

TEST(Backup, EverythingRemovedIsSavedFirstAndNothingUnsavedGoes) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\Undo\\korvex.reg"), 3010);
  const auto file = memory::FileContent(u"C:\\Undo\\korvex.reg");
  ASSERT_TRUE(file);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < file->size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>((*file)[i]) | static_cast<unsigned char>((*file)[i + 1])
                                                                               << 8);
  const std::string undo = memory::Narrow(text);
  EXPECT_EQ(undo.rfind("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
  for (const char* entry :
       {"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tarnvol]\r\n\"Start\"=dword:00000001\r\n",
        "\"UpperFilters\"=hex(7):70,00,61,00,72,00,74,00,6d,00,67,00,72,00,00,00,76,00,6f,\\\r\n  00,72,00,6e,",
        "[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Korvex for Windows\\Tarnvol cache]\r\n",
        "[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Vendor]\r\n\"Recent\"=\"C:\\\\Korvex for Windows\\\\x.log\"\r\n",
        "[HKEY_LOCAL_MACHINE\\Software\\Classes\\6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18]\r\n"})
    EXPECT_NE(undo.find(entry), std::string::npos) << entry;
  EXPECT_EQ(undo.find("\"Kept\""), std::string::npos);

  // A full disk: the first entry still fits, the next does not, and what it
  // protects stays, reported with the write's error.
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  const std::u16string before = Registry();
  memory::FailFileWrite(u"C:\\undo.reg", 200, 112);
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 1603);
  EXPECT_NE(memory::Narrow(memory::Output()).find("[TarnVol]: NOT DELETED, ERR = 0x70\n\n"), std::string::npos);
  EXPECT_EQ(Registry(), before);

  // A service key that may not be read cannot be saved: the service stays,
  // and the run says so.
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::AddService({u"Tarnvol", platform::kServiceStopped});
  memory::RefuseAccess(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol", 1);
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\unread.reg /log C:\\unread.log"), 1603);
  EXPECT_EQ(memory::Narrow(memory::Output()).rfind("[Tarnvol]: NOT DELETED, ERR = 0x5\n\n[TarnVol]: NOT DELETED", 0),
            0u);
  EXPECT_NE(memory::FileContent(u"C:\\unread.log").value_or("").find("[Tarnvol]: NOT DELETED, ERR = 0x5\r\n"),
            std::string::npos);
  EXPECT_TRUE(memory::ServiceExists(u"Tarnvol"));
  EXPECT_FALSE(memory::ServiceMarkedForDelete(u"Tarnvol"));

  memory::ResetMachine();
  memory::FailFileOpen(u"C:\\locked.reg", 5);
  EXPECT_EQ(RunWith(u"k.exe /backup C:\\locked.reg"), 1622);
  EXPECT_EQ(memory::Output(), u"");
}

// The manager writes DeleteFlag into the key of a service deleted while it
// runs; the undo file keeps the key as it was before, so the import gives the
// service back unmarked.
TEST(Backup, ImportGivesTheServiceBackWithoutTheDeleteFlagTheRunCaused) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 1052});
  const std::u16string before = memory::DumpReg(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol");
  bool flagged = false;
  memory::ObserveServiceCalls([&flagged](const std::string& call) {
    if (call == "DeleteService Tarnvol -> ok")
      flagged = memory::ReadValue(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol", u"DeleteFlag").has_value();
  });
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  EXPECT_TRUE(flagged);
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol"));
  const std::string file = memory::FileContent(u"C:\\undo.reg").value_or("");
  std::u16string text;
  for (std::size_t i = 2; i + 1 < file.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(file[i]) | static_cast<unsigned char>(file[i + 1]) << 8);
  memory::LoadReg(text.substr(text.find(u'\n') + 1));
  EXPECT_EQ(memory::DumpReg(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol"), before);
}

}  // namespace
