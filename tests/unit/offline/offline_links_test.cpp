// /offline and links: a link stored in a hive file names its target in the
// running system's registry, so neither the driver phases nor the sweep may
// go through one, in /scan as in the cleaning run; each link is named once in
// the log.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "run/program.h"

namespace {

constexpr char16_t kSystem[] = u"D:\\Windows\\System32\\config\\SYSTEM";
constexpr char16_t kSoftware[] = u"D:\\Windows\\System32\\config\\SOFTWARE";
constexpr char16_t kVolumes[] = u"Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";

// What the links lead to: the product in the running system's own keys.
constexpr char16_t kLive[] =
    uR"(
[HKLM\Software\Classes\Wow6432Node\CLSID\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}]
@="Korvex for Windows"
[HKLM\System\CurrentControlSet\Services\Tarnvol]
"Start"=dword:00000001
[HKLM\System\CurrentControlSet\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]
"UpperFilters"=multi:"volsnap","tessaid"
)";

constexpr char16_t kSystemHive[] =
    uR"(
[Select]
"Current"=dword:00000001
[ControlSet001\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart"
[ControlSet002\Services\vornpart]
)";

constexpr char16_t kSoftwareHive[] = u"[Korvex\\Korvex for Windows]\n[Wow6432Node]\n";

// The links, planted once both hives are loaded, since a hive file keeps
// none: a whole Services key, a class key, a service's own key, and the one
// 64-bit Windows has in SOFTWARE.
void PlantLinks() {
  static bool planted;
  planted = false;
  memory::BeforeEveryCall([](std::string_view, std::u16string_view) {
    if (planted || !memory::KeyExists(u"HKLM\\KorvexOffline_SOFTWARE")) return;
    planted = true;
    const std::u16string system = u"HKLM\\KorvexOffline_SYSTEM\\";
    memory::MakeLink(system + u"ControlSet001\\Services",
                     u"\\Registry\\Machine\\System\\CurrentControlSet\\Services");
    memory::MakeLink(system + u"ControlSet001\\" + kVolumes,
                     u"\\Registry\\Machine\\System\\CurrentControlSet\\" + std::u16string(kVolumes));
    memory::MakeLink(system + u"ControlSet002\\Services\\Tarnvol",
                     u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Tarnvol");
    memory::MakeLink(u"HKLM\\KorvexOffline_SOFTWARE\\Wow6432Node\\Classes",
                     u"\\Registry\\Machine\\Software\\Classes\\Wow6432Node");
  });
}

void OfflineMachine() {
  memory::ResetMachine();
  memory::LoadReg(kLive);
  memory::CreateFolder(u"C:\\Windows");
  memory::CreateHiveFile(kSystem, kSystemHive);
  memory::CreateHiveFile(kSoftware, kSoftwareHive);
  PlantLinks();
}

std::u16string Live() { return memory::DumpReg(u"HKLM\\Software\\Classes") + memory::DumpReg(u"HKLM\\System"); }

int RunWith(std::u16string_view commandLine) {
  memory::ClearOutput();
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Each link once, by its place, and no other.
void ExpectLinksLogged(const std::string& log) {
  const std::string system = memory::Narrow(kSystem), software = memory::Narrow(kSoftware);
  for (const std::string& link :
       {system + "\\ControlSet001\\Services", system + "\\ControlSet001\\" + memory::Narrow(kVolumes),
        system + "\\ControlSet002\\Services\\Tarnvol", software + "\\Wow6432Node\\Classes"})
    EXPECT_EQ(Count(log, "Link [" + link + "]: not followed, it leads out of the hive\r\n"), 1u) << link;
  EXPECT_EQ(Count(log, "Link ["), 4u);
}

TEST(OfflineLinks, NoLinkOfAHiveLeadsTheRunIntoTheRunningSystem) {
  const std::string system = memory::Narrow(kSystem);
  const std::string disks = "\\ControlSet001\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
  OfflineMachine();
  const std::u16string live = Live();
  EXPECT_EQ(RunWith(u"k.exe /scan /offline D:\\Windows /log X:\\scan.log"), 1);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "[" + system + disks + "]:UpperFilters: FOUND, vornpart\n\n[" + system +
                "\\ControlSet002\\Services\\vornpart]: FOUND\n\n"
                "[D:\\Windows\\System32\\config\\SOFTWARE\\Korvex\\Korvex for Windows]: FOUND\n\n");
  ExpectLinksLogged(memory::FileContent(u"X:\\scan.log").value_or(""));
  EXPECT_EQ(Live(), live);

  OfflineMachine();
  EXPECT_EQ(RunWith(u"k.exe /quiet /offline D:\\Windows /backup X:\\undo.reg /log X:\\clean.log"), 0);
  std::string expected;
  for (const char* name : {"TarnvolRec", "TarnVolRec", "vornpart", "meskdrv", "meskdrvsvc", "tessaid", "brunko"})
    expected += "[" + system + "\\ControlSet002\\Services\\" + name +
                "]: " + (name[0] == 'v' ? "DELETED" : "NOT DELETED, ERR = 0x2") + "\n\n";
  EXPECT_EQ(memory::Narrow(memory::Output()),
            expected + "[D:\\Windows\\System32\\config\\SOFTWARE\\Korvex\\Korvex for Windows]: DELETED\n\n");
  ExpectLinksLogged(memory::FileContent(u"X:\\clean.log").value_or(""));

  // The running system as it was, and nothing of it in the undo file; the
  // hive's own list beside the links edited all the same.
  EXPECT_EQ(Live(), live);
  const std::string undo = memory::FileContent(u"X:\\undo.reg").value_or("");
  std::u16string text;
  for (std::size_t i = 2; i + 1 < undo.size(); i += 2) text += static_cast<char16_t>(undo[i] | undo[i + 1] << 8);
  EXPECT_EQ(text.find(u"CLSID"), std::u16string::npos);
  EXPECT_EQ(text.find(u"71A27CDD"), std::u16string::npos);
  EXPECT_EQ(text.find(u"Tarnvol]"), std::u16string::npos);
  EXPECT_NE(text.find(u"[HKEY_LOCAL_MACHINE\\KorvexOffline_SYSTEM\\ControlSet002\\Services\\vornpart]"),
            std::u16string::npos);
  EXPECT_NE(memory::HiveFileText(kSystem).value_or(u"").find(
                u"\"UpperFilters\"=hex(7):70,00,61,00,72,00,74,00,6d,00,67,00,72,00,00,00,00,00\n"),
            std::u16string::npos);
}

}  // namespace
