#include "driverreg/service_key_removal.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/memory/machine.h"
#include "product/tables.h"

namespace {

constexpr char16_t kServices[] = u"HKLM\\System\\CurrentControlSet\\Services";

void RemoveTable() {
  driverreg::RemoveServiceKeys(product::ServicesKeyPath, product::ServiceKeyTable,
                               std::size(product::ServiceKeyTable));
}

std::string Output() { return memory::Narrow(memory::Output()); }

// The seven reports in table order: not found unless statuses says otherwise.
std::string TableReports(const std::map<std::string, const char*>& statuses = {}) {
  std::string reports;
  for (const char* name : {"TarnVol", "TarnVolRec", "vornpart", "meskdrv", "meskdrvsvc", "tessaid", "brunko"}) {
    auto found = statuses.find(name);
    const std::string status = found == statuses.end() ? "NOT DELETED, ERR = 0x2" : found->second;
    reports += std::string("[") + name + "]: " + status + "\n\n";
  }
  return reports;
}

std::size_t CountCalls(const std::string& prefix) {
  std::size_t count = 0;
  for (const auto& call : memory::RegistryCalls()) count += call.rfind(prefix, 0) == 0;
  return count;
}

TEST(ServiceKeyRemoval, DeletesAllSevenInTableOrderAndLeavesTheirNeighbours) {
  memory::ResetMachine();
  // Stored in sorted order, which is not the table's.
  memory::LoadReg(
      uR"(
[HKLM\System\CurrentControlSet\Services\brunko]
"Start"=dword:00000003
[HKLM\System\CurrentControlSet\Services\meskdrv]
[HKLM\System\CurrentControlSet\Services\meskdrvsvc]
[HKLM\System\CurrentControlSet\Services\meskdrvsvc2]
[HKLM\System\CurrentControlSet\Services\tessaid\Parameters]
[HKLM\System\CurrentControlSet\Services\TarnVol]
"ImagePath"="system32\\drivers\\tarnvol.sys"
[HKLM\System\CurrentControlSet\Services\TarnVolRec]
[HKLM\System\CurrentControlSet\Services\Tarnvolume]
[HKLM\System\CurrentControlSet\Services\vornpart]
)");
  RemoveTable();
  EXPECT_EQ(Output(),
            "[TarnVol]: DELETED\n\n"
            "[TarnVolRec]: DELETED\n\n"
            "[vornpart]: DELETED\n\n"
            "[meskdrv]: DELETED\n\n"
            "[meskdrvsvc]: DELETED\n\n"
            "[tessaid]: DELETED\n\n"
            "[brunko]: DELETED\n\n");
  EXPECT_EQ(memory::Narrow(memory::DumpReg(kServices)),
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services]\n\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\meskdrvsvc2]\n\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tarnvolume]\n\n");
  EXPECT_EQ(memory::OpenKeyCount(), 0u);

  // A second run finds nothing, and says so for every name.
  memory::ClearOutput();
  RemoveTable();
  EXPECT_EQ(Output(), TableReports());
}

TEST(ServiceKeyRemoval, EachNameGoesThroughAFreshHandleToTheServicesKey) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\vornpart]\n");
  const char16_t* names[] = {u"vornpart", u"brunko"};
  std::size_t openWhenDeleting = 0;
  memory::BeforeCall(kServices, "RegOpenKeyExW", [&] {
    memory::BeforeCall(kServices, "RegOpenKeyExW", [&] { openWhenDeleting = memory::OpenKeyCount(); });
  });
  driverreg::RemoveServiceKeys(product::ServicesKeyPath, names, 2);
  EXPECT_EQ(openWhenDeleting, 2u);  // the Services key and its fresh twin
  const std::vector<std::string> expected = {
      "RegOpenKeyExW HKEY_LOCAL_MACHINE [System\\CurrentControlSet\\Services] 0x3000F -> 0",
      "RegOpenKeyExW HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services [null] 0x3000F -> 0",
      "RegOpenKeyExW HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services [vornpart] 0x30019 -> 0",
      "RegEnumKeyExW HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\vornpart 0 -> 259",
      "DeleteOpenKey HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\vornpart -> 0",
      "RegOpenKeyExW HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services [null] 0x3000F -> 0",
      "RegOpenKeyExW HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services [brunko] 0x30019 -> 2",
  };
  EXPECT_EQ(memory::RegistryCalls(), expected);
  EXPECT_EQ(Output(), "[vornpart]: DELETED\n\n[brunko]: NOT DELETED, ERR = 0x2\n\n");
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

TEST(ServiceKeyRemoval, NoneInstalledReportsNotFoundForEachInTableOrder) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\Other]\n");
  RemoveTable();
  EXPECT_EQ(Output(), TableReports());
  EXPECT_EQ(memory::OutputCallCount(), 7u);
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\Other"));
}

TEST(ServiceKeyRemoval, ReportUsesTheTablesLetterCase) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\TARNVOLREC]\n");
  RemoveTable();
  EXPECT_EQ(Output(), TableReports({{"TarnVolRec", "DELETED"}}));
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\TarnVolRec"));
}

TEST(ServiceKeyRemoval, DeepSubtreeGoesInOneDeletionWithOneReport) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKLM\System\CurrentControlSet\Services\tessaid]
"Type"=dword:00000001
[HKLM\System\CurrentControlSet\Services\tessaid\Parameters\Wdf]
"KmdfLibraryVersion"="1.15"
[HKLM\System\CurrentControlSet\Services\tessaid\Parameters\Wdf\A\B\C]
"Deep"=hex:01,02
[HKLM\System\CurrentControlSet\Services\tessaid\Enum]
"0"="ROOT\\LEGACY_TESSAID\\0000"
)");
  const char16_t* names[] = {u"tessaid"};
  driverreg::RemoveServiceKeys(product::ServicesKeyPath, names, 1);
  EXPECT_EQ(Output(), "[tessaid]: DELETED\n\n");
  // Bottom up, each key through its own handle: tessaid, Parameters, Wdf, A, B, C and Enum.
  EXPECT_EQ(CountCalls("DeleteOpenKey"), 7u);
  EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\tessaid"));
}

TEST(ServiceKeyRemoval, RefusedDeletionIsReportedAndTheNextNamesAreStillTried) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKLM\System\CurrentControlSet\Services\TarnVol\Enum]
[HKLM\System\CurrentControlSet\Services\brunko]
)");
  memory::RefuseAccess(u"HKLM\\System\\CurrentControlSet\\Services\\TarnVol\\Enum", platform::kDelete);
  RemoveTable();
  EXPECT_EQ(Output(), TableReports({{"TarnVol", "NOT DELETED, ERR = 0x5"}, {"brunko", "DELETED"}}));
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\TarnVol\\Enum"));
}

TEST(ServiceKeyRemoval, ServicesKeyThatCannotBeOpenedSilencesThePhase) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\brunko]\n");
  memory::RefuseAccess(kServices, platform::kDelete);
  RemoveTable();
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(CountCalls("DeleteOpenKey"), 0u);
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\brunko"));

  // A machine without the key at all behaves the same.
  memory::ResetMachine();
  RemoveTable();
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(memory::OpenKeyCount(), 0u);
}

}  // namespace
