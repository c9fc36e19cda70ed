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

  // What an entry cut back leaves, and what follows it: UndoFile.NoEntryIsTakenIntoATornOne.

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

std::string Utf16(std::string_view text) {
  std::string bytes;
  for (char c : text) bytes += std::string{c, '\0'};
  return bytes;
}

// Each entry reaches the disk before what it protects goes, and one that
// cannot be flushed keeps it; an existing undo file is appended to.
TEST(Backup, EachEntryIsFlushedBeforeItsDeletion) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  const std::string head = "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n\r\n");
  memory::CreateFile(u"C:\\undo.reg", head);
  memory::FailFileFlush(u"C:\\undo.reg", 59);
  const std::u16string before = Registry();
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 1603);
  EXPECT_NE(memory::Narrow(memory::Output()).find("[TarnVol]: NOT DELETED, ERR = 0x3B\n\n"), std::string::npos);
  EXPECT_EQ(Registry(), before);

  // One flush for each entry, each before the deletion it protects: the
  // service key's entry is on the disk when its deletion is asked for.
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::CreateFile(u"C:\\undo.reg", head);
  unsigned flushedBeforeDeletion = 0;
  memory::BeforeCall(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol", "DeleteOpenKey",
                     [&] { flushedBeforeDeletion = memory::FlushCount(u"C:\\undo.reg"); });
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  const std::string file = memory::FileContent(u"C:\\undo.reg").value_or("");
  EXPECT_EQ(file.rfind(head, 0), 0u);
  EXPECT_EQ(file.find(head, 1), std::string::npos);
  std::size_t entries = 0;
  for (std::size_t at = file.find(Utf16("\r\n[")); at != std::string::npos; at = file.find(Utf16("\r\n["), at + 1))
    ++entries;
  EXPECT_EQ(flushedBeforeDeletion, 1u);
  EXPECT_EQ(memory::FlushCount(u"C:\\undo.reg"), 6u);
  EXPECT_GE(entries, 6u);
}

// The undo file is neither the log, whatever its name, nor a file that holds
// something else: either is refused before anything changes, and the file
// stays byte for byte as it was.
TEST(Backup, TheLogUnderAnyNameAndAFileOfAnotherKindAreRefused) {
  const std::string notes = "Change 4711: remove the driver\r\n";
  const std::string ansi = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Kept]\r\n";
  const std::string oddSized = "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n") + "x";
  struct Case {
    const char* name;
    std::string content;  // of C:\u\k.reg before the run; none when empty
    std::u16string_view commandLine;
    int expected;
    std::u16string_view errorStart;
  };
  const Case cases[] = {
      {"case", "", u"k.exe /quiet /log C:\\u\\k.reg /backup c:\\U\\K.REG", 1639,
       u"The backup file c:\\U\\K.REG is the log file. Nothing was changed.\n"},
      {"short name", "\xEF\xBB\xBFold log\r\n", u"k.exe /quiet /log C:\\u\\k.reg /backup C:\\u\\KREG~1.REG", 1639,
       u"The backup file C:\\u\\KREG~1.REG is the log file."},
      {"dots", "", u"k.exe /quiet /backup C:\\u\\sub\\..\\.\\k.reg /log C:\\u\\k.reg", 1639,
       u"The backup file C:\\u\\sub\\..\\.\\k.reg is the log file."},
      {"hard link", "", u"k.exe /quiet /log C:\\u\\k.reg /backup C:\\other\\link.reg", 1639,
       u"The backup file C:\\other\\link.reg is the log file."},
      {"notes", notes, u"k.exe /quiet /backup C:\\u\\k.reg", 1622,
       u"The backup file C:\\u\\k.reg is not a backup file: it does not begin as \"Windows Registry Editor Version "
       u"5.00\" in Unicode. It was left as it was. Nothing was changed.\n"},
      {"odd size", oddSized, u"k.exe /quiet /backup C:\\u\\k.reg", 1622, u"The backup file C:\\u\\k.reg is not"},
      {"ANSI", ansi, u"k.exe /quiet /backup C:\\u\\k.reg /log C:\\l.log", 1622,
       u"The backup file C:\\u\\k.reg is not"},
  };
  for (const Case& each : cases) {
    memory::ResetMachine();
    memory::LoadReg(kFootprint);
    memory::AddService({u"Tarnvol", platform::kServiceRunning});
    memory::CreateFile(u"C:\\u\\k.reg", each.content);
    memory::CreateFolder(u"C:\\u\\sub");
    memory::CreateFolder(u"C:\\other");
    memory::AddFileAlias(u"C:\\u\\k.reg", u"C:\\u\\KREG~1.REG");
    memory::AddFileAlias(u"C:\\u\\k.reg", u"C:\\other\\link.reg");
    memory::AddFileAlias(u"C:\\u", u"C:\\u\\sub\\..");
    memory::AddFileAlias(u"C:\\u", u"C:\\u\\.");
    const std::u16string before = Registry();
    EXPECT_EQ(RunWith(each.commandLine), each.expected) << each.name;
    EXPECT_EQ(memory::ErrorOutput().rfind(each.errorStart, 0), 0u)
        << each.name << ": " << memory::Narrow(memory::ErrorOutput());
    EXPECT_EQ(memory::Output(), u"") << each.name;
    EXPECT_EQ(Registry(), before) << each.name;
    EXPECT_TRUE(memory::ServiceExists(u"Tarnvol")) << each.name;
    EXPECT_EQ(memory::FileContent(u"C:\\u\\k.reg"), each.content) << each.name;
  }
  // The log beside a refused backup file ends with the run's 1622, and why.
  EXPECT_NE(
      memory::FileContent(u"C:\\l.log")
          .value_or("")
          .find("ended with exit code 1622: the backup file exists and is not an undo file; nothing changed\r\n"),
      std::string::npos);
}

// A normal key that holds a REG_LINK value named SymbolicLinkValue is no link:
// the sweep finds it, the removal takes it with its subkeys, and the undo
// file holds it and its values.
TEST(Backup, AKeyHoldingALinkValueIsANormalKey) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKCU\Software\Korvex for Windows\Settings]
"SymbolicLinkValue"=hex(6):5c,00,52,00
[HKCU\Software\Korvex for Windows\Settings\Inner]
"Kept"="1"
[HKCU\Software\Vendor\Tarnvol cache]
"SymbolicLinkValue"=hex(6):5c,00,52,00
)");
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 0);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[Software\\Korvex for Windows]: DELETED\n\n[Software\\Vendor\\Tarnvol cache]: DELETED\n\n");
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows"));
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Vendor\\Tarnvol cache"));
  const std::string file = memory::FileContent(u"C:\\undo.reg").value_or("");
  for (const char* entry : {"[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Korvex for Windows\\Settings]\r\n"
                            "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\r\n",
                            "[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Korvex for Windows\\Settings\\Inner]\r\n"
                            "\"Kept\"=\"1\"\r\n",
                            "[HKEY_USERS\\S-1-5-21-1000-1001\\Software\\Vendor\\Tarnvol cache]\r\n"
                            "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\r\n"})
    EXPECT_NE(file.find(Utf16(entry)), std::string::npos) << entry;
  EXPECT_EQ(file.find(Utf16("link")), std::string::npos);
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
