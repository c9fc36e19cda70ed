// The two service phases as the first steps of the whole cleaning run.
#include <gtest/gtest.h>

#include <string>

#include "platform/memory/machine.h"
#include "run/cleaning_run.h"

namespace {

class ServicesInRun : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetMachine();
    memory::ResetServiceManager();
    memory::ResetSession();
    memory::LoadReg(
        uR"(
[HKLM\System\CurrentControlSet\Services\Disk]
[HKLM\System\CurrentControlSet\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]
"UpperFilters"=multi:"volsnap"
[HKLM\System\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr"
)");
  }
  void TearDown() override { memory::ResetServiceManager(); }
};

std::string Output() { return memory::Narrow(memory::Output()); }

constexpr char kNothingInstalled[] =
    "[TarnVol]: NOT DELETED, ERR = 0x2\n\n"
    "[TarnVolRec]: NOT DELETED, ERR = 0x2\n\n"
    "[vornpart]: NOT DELETED, ERR = 0x2\n\n"
    "[meskdrv]: NOT DELETED, ERR = 0x2\n\n"
    "[meskdrvsvc]: NOT DELETED, ERR = 0x2\n\n"
    "[tessaid]: NOT DELETED, ERR = 0x2\n\n"
    "[brunko]: NOT DELETED, ERR = 0x2\n\n";

TEST_F(ServicesInRun, NeverInstalledGivesOnlyTheSevenNotFoundReports) {
  run::CleaningRun();
  EXPECT_EQ(Output(), kNothingInstalled);
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\Disk"));
}

TEST_F(ServicesInRun, ServicesGoFirstAndTheManagerTakesTheirKeysWithThem) {
  memory::LoadReg(
      uR"(
[HKLM\System\CurrentControlSet\Services\Tarnvol]
[HKLM\System\CurrentControlSet\Services\TarnvolRec]
[HKLM\System\CurrentControlSet\Services\vornpart]
[HKLM\System\CurrentControlSet\Services\brunko\Parameters]
)");
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 2});
  memory::AddService({u"TarnvolRec", platform::kServiceStopped});
  run::CleaningRun();
  EXPECT_EQ(Output(),
            "Service stopped\n"
            "Service was deleted\n"
            "Service was deleted\n"
            "[TarnVol]: NOT DELETED, ERR = 0x2\n\n"
            "[TarnVolRec]: NOT DELETED, ERR = 0x2\n\n"
            "[vornpart]: DELETED\n\n"
            "[meskdrv]: NOT DELETED, ERR = 0x2\n\n"
            "[meskdrvsvc]: NOT DELETED, ERR = 0x2\n\n"
            "[tessaid]: NOT DELETED, ERR = 0x2\n\n"
            "[brunko]: DELETED\n\n");
  EXPECT_FALSE(memory::ServiceExists(u"Tarnvol"));
  EXPECT_FALSE(memory::ServiceExists(u"TarnvolRec"));
  EXPECT_EQ(memory::Sleeps().size(), 2u);

  // A second run is the never-installed run.
  memory::ClearOutput();
  run::CleaningRun();
  EXPECT_EQ(Output(), kNothingInstalled);
}

TEST_F(ServicesInRun, ServiceThatWillNotStopLeavesItsKeyToTheKeyPhase) {
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\Tarnvol\\Enum]\n");
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 1052});
  run::CleaningRun();
  std::string expected = kNothingInstalled;
  expected.replace(0, expected.find("\n\n") + 2, "[TarnVol]: DELETED\n\n");
  EXPECT_EQ(Output(), "Can't stop. Error - 1052\nService was deleted\n" + expected);
  // Marked for deletion, still running: the manager keeps it until it stops.
  EXPECT_TRUE(memory::ServiceMarkedForDelete(u"Tarnvol"));
}

TEST_F(ServicesInRun, UnavailableManagerIsReportedFourTimesAndTheRunGoesOn) {
  memory::FailManagerOpen(5);
  run::CleaningRun();
  EXPECT_EQ(Output(), std::string("Can't open SCManager\nCan't open SCManager\n"
                                  "Can't open SCManager\nCan't open SCManager\n") +
                          kNothingInstalled);
}

}  // namespace
