// The undo file as an administrator's import meets it: nobody else can have
// changed it or the folders it lies in, no entry is taken into a torn one,
// a service key comes back without DeleteFlag, a key is saved whole or not
// deleted, and a class list entry names the driver files it relies on.
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
"ImagePath"=raw(2):"\\SystemRoot\\System32\\drivers\\vornpart.sys"
[HKLM\System\CurrentControlSet\Services\meskdrv]
[HKLM\System\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart","meskdrv"
[HKCU\Software\Korvex for Windows\Settings]
"Kept"="1"
[HKCU\Software\Vendor\Tarnvol cache]
)";

std::u16string Registry() { return memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKU"); }

int RunWith(std::u16string_view commandLine) {
  memory::ClearOutput();
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

std::string Utf16(std::string_view text) {
  std::string bytes;
  for (char c : text) bytes += std::string{c, '\0'};
  return bytes;
}

// The file's text after its byte-order mark, narrowed.
std::string TextOf(std::u16string_view path) {
  const std::string file = memory::FileContent(path).value_or("");
  std::u16string text;
  for (std::size_t i = 2; i + 1 < file.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(file[i]) | static_cast<unsigned char>(file[i + 1]) << 8);
  return memory::Narrow(text);
}

const std::string kHead = "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n\r\n");

// Another account that owns, or may write, the file or a folder on its way:
// 1622 with what and why, the file as it was, nothing deleted, and the log's
// closing line saying so. The root of C:, where every user may make folders,
// and a log in the backup file's new folder refuse nothing.
TEST(UndoFile, AFileOrFolderOthersCouldChangeIsRefused) {
  struct Case {
    const char* name;
    std::u16string_view commandLine;
    void (*plant)();
    std::u16string_view error;
  };
  const Case cases[] = {
      {"file owned", u"k.exe /quiet /backup C:\\Undo\\k.reg /log C:\\l.log",
       [] { memory::SetFileOwner(u"C:\\Undo\\k.reg", u"TESTPC-07\\ann"); },
       u"The backup file C:\\Undo\\k.reg is not safe to import: it is owned by TESTPC-07\\ann, not by "
       u"administrators. It was left as it was. Nothing was changed.\n"},
      {"file writable", u"k.exe /quiet /backup C:\\Undo\\k.reg", [] { memory::LetUsersWrite(u"C:\\Undo\\k.reg"); },
       u"The backup file C:\\Undo\\k.reg is not safe to import: users other than administrators may write, delete "
       u"or replace it. It was left as it was. Nothing was changed.\n"},
      {"folder owned", u"k.exe /quiet /backup C:\\Undo\\k.reg",
       [] { memory::SetFileOwner(u"C:\\Undo", u"TESTPC-07\\ann"); },
       u"The backup file C:\\Undo\\k.reg is not safe to import: the folder C:\\Undo on its way is owned by "
       u"TESTPC-07\\ann, not by administrators. It was left as it was. Nothing was changed.\n"},
      {"new file, folder writable", u"k.exe /quiet /backup C:\\Undo\\new.reg",
       [] { memory::LetUsersWrite(u"C:\\Undo"); },
       u"The backup file C:\\Undo\\new.reg is not safe to import: users other than administrators may add, delete "
       u"or replace files in the folder C:\\Undo on its way. It was left as it was. Nothing was changed.\n"},
      {"folder above writable", u"k.exe /quiet /backup C:\\Undo\\deeper\\new.reg",
       [] { memory::LetUsersWrite(u"C:\\Undo"); },
       u"The backup file C:\\Undo\\deeper\\new.reg is not safe to import: users other than administrators may add, "
       u"delete or replace files in the folder C:\\Undo on its way."},
  };
  for (const Case& each : cases) {
    memory::ResetMachine();
    memory::LoadReg(kFootprint);
    memory::CreateFile(u"C:\\Undo\\k.reg", kHead);
    each.plant();
    const std::u16string before = Registry();
    EXPECT_EQ(RunWith(each.commandLine), 1622) << each.name;
    EXPECT_EQ(memory::ErrorOutput().rfind(each.error, 0), 0u)
        << each.name << ": " << memory::Narrow(memory::ErrorOutput());
    EXPECT_EQ(memory::Output(), u"") << each.name;
    EXPECT_EQ(Registry(), before) << each.name;
    EXPECT_EQ(memory::FileContent(u"C:\\Undo\\k.reg"), kHead) << each.name;
    EXPECT_FALSE(memory::FileContent(u"C:\\Undo\\new.reg")) << each.name;
    EXPECT_FALSE(memory::FileContent(u"C:\\Undo\\deeper\\new.reg")) << each.name;
    if (each.commandLine.find(u"/log") != std::u16string_view::npos) {
      EXPECT_NE(memory::FileContent(u"C:\\l.log")
                    .value_or("")
                    .find("ended with exit code 1622: the backup file, or a folder on its way, can be changed by "
                          "users other than administrators; nothing changed\r\n"),
                std::string::npos);
    }
  }

  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  EXPECT_EQ(RunWith(u"k.exe /quiet /norestart /log C:\\Undo\\new\\clean.log /backup C:\\Undo\\new\\k.reg"), 3010);
  EXPECT_EQ(memory::ErrorOutput(), u"");
  EXPECT_EQ(TextOf(u"C:\\Undo\\new\\k.reg").rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
  for (const char16_t* made : {u"C:\\Undo", u"C:\\Undo\\new", u"C:\\Undo\\new\\k.reg"})
    EXPECT_FALSE(memory::UsersMayWrite(made)) << memory::Narrow(made);
}

// A write that fails part of the way is cut back to its entry's start; a cut
// that fails too closes the file, and nothing is deleted from then on. Every
// entry starts on a line of its own, and a file left torn by a killed run
// gets a blank line before the first.
TEST(UndoFile, NoEntryIsTakenIntoATornOne) {
  // Where the second entry, vornpart's key, begins in a file that had room.
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  ASSERT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  const std::string whole = memory::FileContent(u"C:\\undo.reg").value_or("");
  const std::size_t second = whole.find(Utf16("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\vornpart]"));
  ASSERT_NE(second, std::string::npos);
  const std::size_t limit = second + 10;

  const std::size_t firstEnd = whole.rfind(Utf16("\r\n\r\n\r\n"), second) + 8;
  for (const bool cutFails : {false, true}) {
    memory::ResetMachine();
    memory::LoadReg(kFootprint);
    memory::FailFileWrite(u"C:\\undo.reg", limit, 112);
    if (cutFails) memory::FailFileCut(u"C:\\undo.reg", 5);
    // The disk has room again from the next key's deletion on.
    memory::BeforeEveryCall([](std::string_view, std::u16string_view key) {
      if (key.find(u"meskdrv") != std::u16string_view::npos) memory::FailFileWrite(u"C:\\undo.reg", 1 << 20, 112);
    });
    EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 1603) << cutFails;
    const std::string output = memory::Narrow(memory::Output());
    EXPECT_EQ(output.rfind("[TarnVol]: DELETED\n\n[TarnVolRec]: NOT DELETED, ERR = 0x2\n\n"
                           "[vornpart]: NOT DELETED, ERR = 0x70\n\n",
                           0),
              0u)
        << output;
    EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\TarnVol"));
    EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\vornpart"));
    const std::string file = memory::FileContent(u"C:\\undo.reg").value_or("");
    if (!cutFails) {
      // Cut back to the end of the first entry, which is there whole, and
      // the next entry follows it on a fresh line.
      EXPECT_EQ(file.substr(0, firstEnd), whole.substr(0, firstEnd));
      EXPECT_NE(whole.substr(0, firstEnd)
                    .find(Utf16("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\"
                                "Tarnvol]\r\n\"Start\"=dword:00000001\r\n\r\n")),
                std::string::npos);
      EXPECT_EQ(file.substr(firstEnd, 8), Utf16("\r\n; "));
      EXPECT_EQ(file.find(Utf16("Services\\vornpart]")), std::string::npos);
      EXPECT_NE(output.find("[meskdrv]: DELETED\n\n"), std::string::npos) << output;
    } else {
      // The torn entry stays, and every later deletion is refused with the
      // write's error: the other keys and the class list stay as they were.
      EXPECT_EQ(file.size(), limit);
      EXPECT_NE(output.find("[meskdrv]: NOT DELETED, ERR = 0x70\n\n"), std::string::npos) << output;
      EXPECT_NE(output.find("[Software\\Korvex for Windows]: NOT DELETED, ERR = 0x70\n\n"), std::string::npos);
      EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\meskdrv"));
      EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows"));
      EXPECT_EQ(memory::ReadValue(u"HKLM\\System\\CurrentControlSet\\Control\\Class\\"
                                  u"{4D36E967-E325-11CE-BFC1-08002BE10318}",
                                  u"UpperFilters")
                    ->data.size(),
                (7 + 1 + 8 + 1 + 7 + 1 + 1) * 2u);
    }
  }

  // A killed run's torn tail: its line is ended and a blank line follows
  // before the next run's first entry, which starts on a fresh line.
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  const std::string torn = kHead + Utf16("\r\n[HKEY_LOCAL_MACHINE\\Software\\Torn]\r\n\"x\"=dwo");
  memory::CreateFile(u"C:\\undo.reg", torn);
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  const std::string file = memory::FileContent(u"C:\\undo.reg").value_or("");
  EXPECT_EQ(file.rfind(torn + Utf16("\r\n\r\n\r\n; "), 0), 0u);
  // Each entry after a blank line: a line end, then its first line.
  std::size_t entries = 0;
  for (std::size_t at = file.find(Utf16("\r\n\r\n; ")); at != std::string::npos;
       at = file.find(Utf16("\r\n\r\n; "), at + 1))
    ++entries;
  EXPECT_GE(entries, 5u);
}

// DeleteFlag in a service's key, from an earlier run or an uninstaller, is
// never written: importing the file would have the service deleted again.
// A subkey gone between its enumeration and its open is read again; gone
// every time, the key is not deleted and the run fails.
TEST(UndoFile, AServiceKeyComesBackUnmarkedAndAKeyIsSavedWholeOrKept) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\Tarnvol]\n\"DeleteFlag\"=dword:00000001\n");
  memory::AddService({u"Tarnvol", platform::kServiceStopped});
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  const std::string text = TextOf(u"C:\\undo.reg");
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tarnvol]\r\n\"Start\"=dword:00000001"
                      "\r\n\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("DeleteFlag"), std::string::npos);

  static constexpr char16_t kSettings[] = u"HKCU\\Software\\Korvex for Windows\\Settings";
  for (const bool always : {false, true}) {
    memory::ResetMachine();
    memory::LoadReg(kFootprint);
    memory::BeforeEveryCall([always, done = false](std::string_view function, std::u16string_view key) mutable {
      if (done || key.find(u"\\Software\\Korvex for Windows") == std::u16string_view::npos) return;
      if (function == "RegOpenLinkKeyW" && key.size() > 6 && key.substr(key.size() - 7) == u"Windows") {
        memory::DeleteKey(kSettings);
        done = !always;
      }
      if (function == "RegEnumKeyExW" && always) memory::SetValue(kSettings, u"Kept", 1, {0x31, 0, 0, 0});
    });
    const int code = RunWith(u"k.exe /quiet /backup C:\\undo.reg");
    const std::string output = memory::Narrow(memory::Output());
    if (!always) {
      EXPECT_EQ(code, 3010);
      EXPECT_NE(output.find("[Software\\Korvex for Windows]: DELETED\n\n"), std::string::npos) << output;
      EXPECT_NE(TextOf(u"C:\\undo.reg").find("Software\\Korvex for Windows]\r\n\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(code, 1603);
      EXPECT_NE(output.find("[Software\\Korvex for Windows]: NOT DELETED, ERR = 0x3FA\n\n"), std::string::npos)
          << output;
      EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows"));
    }
  }
}

// A class list entry's note names each product filter it puts back, with its
// driver file and whether that was there: from the ImagePath of the
// service's key, deleted earlier in the run, or System32\drivers.
TEST(UndoFile, AClassListEntryNamesTheDriverFilesItsFiltersNeed) {
  memory::ResetMachine();
  memory::LoadReg(kFootprint);
  memory::CreateFile(u"C:\\Windows\\System32\\drivers\\vornpart.sys", "MZ");
  EXPECT_EQ(RunWith(u"k.exe /quiet /backup C:\\undo.reg"), 3010);
  const std::string text = TextOf(u"C:\\undo.reg");
  const std::size_t note = text.find(
      "\r\n\r\n; Importing the list below puts these filter drivers of Korvex for Windows back in it. A\r\n"
      "; filter whose driver file is missing keeps the class's devices from starting: for disks\r\n"
      "; and volumes Windows stops at boot with 0x7B. Import it only where each file is there.\r\n"
      ";   vornpart: C:\\Windows\\System32\\drivers\\vornpart.sys was there at the run\r\n"
      ";   meskdrv: C:\\Windows\\System32\\drivers\\meskdrv.sys was missing at the run\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]\r\n"
      "\"UpperFilters\"=hex(7):");
  EXPECT_NE(note, std::string::npos) << text;
  EXPECT_EQ(text.find("tessaid"), std::string::npos);
  EXPECT_LT(text.find("Services\\vornpart]"), note);
}

}  // namespace
