#include "services/service_removal.h"
#include "product/tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/machine.h"

namespace {

using memory::ServiceModel;
using Calls = std::vector<std::string>;

// Leaves no service behind for the tests of the whole run.
class ServiceRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetMachine();
    memory::ResetServiceManager();
  }
  void TearDown() override { memory::ResetServiceManager(); }
};

std::string Output() { return memory::Narrow(memory::Output()); }

// What the run does for one service.
void StopAndDelete(const char16_t* name) {
  services::StopService(name);
  services::DeleteServiceByName(name, product::ServicesKeyPath);
}

struct StateCase {
  const char* what;
  ServiceModel service;
  std::string expected;
  std::size_t sleeps;
  bool removed;  // gone from the manager once the last handle is closed
};

TEST_F(ServiceRemoval, EachStateGivesItsMessages) {
  const StateCase cases[] = {
      {"running, stops in the reply", {u"Tarnvol"}, "Service stopped\nService was deleted\n", 0, true},
      {"already stopped", {u"Tarnvol", platform::kServiceStopped}, "Service was deleted\n", 0, true},
      {"stop pending for three polls",
       {u"Tarnvol", platform::kServiceRunning, 3},
       "Service stopped\nService was deleted\n",
       3,
       true},
      {"start pending",
       {u"Tarnvol", platform::kServiceStartPending, 1},
       "Service stopped\nService was deleted\n",
       1,
       true},
      {"does not accept the control",
       {u"Tarnvol", platform::kServiceRunning, 0, 1052},
       "Can't stop. Error - 1052\nService was deleted\n",
       0,
       false},
      {"dependents still running",
       {u"Tarnvol", platform::kServiceRunning, 0, 1051},
       "Can't stop. Error - 1051\nService was deleted\n",
       0,
       false},
      // A service already stopping accepts no control; the manager says so.
      {"already stop pending",
       {u"Tarnvol", platform::kServiceStopPending, memory::kNeverStops},
       "Can't stop. Error - 1061\nService was deleted\n",
       0,
       false},
      {"already marked for deletion",
       {u"Tarnvol", platform::kServiceRunning, 0, 0, 0, true},
       "Service stopped\n",
       0,
       true},
      {"stopped and marked for deletion", {u"Tarnvol", platform::kServiceStopped, 0, 0, 0, true}, "", 0, true},
      // The zeroed record does not read as stopped, so the stop request is sent.
      {"status query fails",
       {u"Tarnvol", platform::kServiceStopped, 0, 0, 1},
       "Can't stop. Error - 1062\nService was deleted\n",
       0,
       true},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    memory::AddService(c.service);
    StopAndDelete(u"Tarnvol");
    EXPECT_EQ(Output(), c.expected);
    EXPECT_EQ(memory::Sleeps(), std::vector<std::uint32_t>(c.sleeps, 500u));
    EXPECT_EQ(memory::ServiceExists(u"Tarnvol"), !c.removed);
    EXPECT_EQ(memory::OpenServiceHandleCount(), 0u);
  }
}

TEST_F(ServiceRemoval, StopWaitsPollByPollOnTheStatusOfTheReply) {
  memory::AddService({u"TARNVOL", platform::kServiceRunning, 3});
  services::StopService(u"Tarnvol");
  const Calls expected = {
      "OpenSCManagerW 0x1 -> ok",
      "OpenServiceW [Tarnvol] 0x34 -> ok",
      "QueryServiceStatus TARNVOL -> ok",
      "ControlService TARNVOL 1 -> ok",
      "Sleep 500",
      "QueryServiceStatus TARNVOL -> ok",
      "Sleep 500",
      "QueryServiceStatus TARNVOL -> ok",
      "Sleep 500",
      "QueryServiceStatus TARNVOL -> ok",
      "CloseServiceHandle TARNVOL -> ok",
      "CloseServiceHandle SCManager -> ok",
  };
  EXPECT_EQ(memory::ServiceCalls(), expected);
  EXPECT_EQ(Output(), "Service stopped\n");
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceStopped);
}

TEST_F(ServiceRemoval, RefusalReportsTheStopRequestsErrorThenClosesTheManagerFirst) {
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 1052});
  services::StopService(u"Tarnvol");
  const Calls expected = {
      "OpenSCManagerW 0x1 -> ok",           "OpenServiceW [Tarnvol] 0x34 -> ok",
      "QueryServiceStatus Tarnvol -> ok",   "ControlService Tarnvol 1 -> error 1052",
      "CloseServiceHandle SCManager -> ok", "CloseServiceHandle Tarnvol -> ok",
  };
  EXPECT_EQ(memory::ServiceCalls(), expected);
  EXPECT_EQ(Output(), "Can't stop. Error - 1052\n");
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceRunning);
}

TEST_F(ServiceRemoval, MessagesFallBetweenTheClosesInTheirPlaces) {
  Calls seen;  // each close, with what the console held at that moment
  memory::ObserveServiceCalls([&](const std::string& call) {
    if (call.rfind("CloseServiceHandle", 0) == 0) seen.push_back(call + " after [" + Output() + "]");
  });
  memory::AddService({u"Tarnvol"});
  memory::AddService({u"TarnvolRec", platform::kServiceRunning, 0, 1052});
  StopAndDelete(u"Tarnvol");
  StopAndDelete(u"TarnvolRec");
  const std::string all = "Service stopped\nService was deleted\nCan't stop. Error - 1052\nService was deleted\n";
  const Calls expected = {
      "CloseServiceHandle Tarnvol -> ok after []",
      "CloseServiceHandle SCManager -> ok after [Service stopped\n]",
      "CloseServiceHandle Tarnvol -> ok after [Service stopped\nService was deleted\n]",
      "CloseServiceHandle SCManager -> ok after [Service stopped\nService was deleted\n]",
      "CloseServiceHandle SCManager -> ok after [Service stopped\nService was deleted\nCan't stop. Error - 1052\n]",
      "CloseServiceHandle TarnvolRec -> ok after [Service stopped\nService was deleted\nCan't stop. Error - 1052\n]",
      "CloseServiceHandle TarnvolRec -> ok after [" + all + "]",
      "CloseServiceHandle SCManager -> ok after [" + all + "]",
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(ServiceRemoval, DeleteAsksForDeleteWithStopStartAndQuery) {
  memory::AddService({u"Tarnvol", platform::kServiceRunning});
  services::DeleteServiceByName(u"Tarnvol", product::ServicesKeyPath);
  const Calls expected = {
      "OpenSCManagerW 0x1 -> ok",
      "OpenServiceW [Tarnvol] 0x10034 -> ok",
      "DeleteService Tarnvol -> ok",
      // Whether the manager can remove it now or the restart will.
      "QueryServiceStatus Tarnvol -> ok",
      "CloseServiceHandle Tarnvol -> ok",
      "CloseServiceHandle SCManager -> ok",
  };
  EXPECT_EQ(memory::ServiceCalls(), expected);
  EXPECT_EQ(Output(), "Service was deleted\n");
  // Still running, so only marked; a second request is refused in silence.
  EXPECT_TRUE(memory::ServiceMarkedForDelete(u"Tarnvol"));
  memory::ClearOutput();
  services::DeleteServiceByName(u"Tarnvol", product::ServicesKeyPath);
  EXPECT_EQ(Output(), "");
  EXPECT_TRUE(memory::ServiceExists(u"Tarnvol"));
}

TEST_F(ServiceRemoval, MissingServiceIsSilentAndEachStepConnectsOnItsOwn) {
  memory::AddService({u"Tarnvol2"});  // a near name is not the service
  StopAndDelete(u"Tarnvol");
  const Calls expected = {
      "OpenSCManagerW 0x1 -> ok",
      "OpenServiceW [Tarnvol] 0x34 -> error 1060",
      "CloseServiceHandle SCManager -> ok",
      "OpenSCManagerW 0x1 -> ok",
      "OpenServiceW [Tarnvol] 0x10034 -> error 1060",
      "CloseServiceHandle SCManager -> ok",
  };
  EXPECT_EQ(memory::ServiceCalls(), expected);
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(memory::ServiceState(u"Tarnvol2"), platform::kServiceRunning);
}

TEST_F(ServiceRemoval, RightsRefusedAtTheOpenSilenceThatStep) {
  // Without the delete right the service still stops, and stays.
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 0, 0, false, 0x10000});
  // Only the right to delete: both opens ask for more, so both are refused.
  memory::AddService({u"TarnvolRec", platform::kServiceRunning, 0, 0, 0, false, platform::kServiceStop});
  StopAndDelete(u"Tarnvol");
  StopAndDelete(u"TarnvolRec");
  EXPECT_EQ(Output(), "Service stopped\n");
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceStopped);
  EXPECT_FALSE(memory::ServiceMarkedForDelete(u"Tarnvol"));
  EXPECT_EQ(memory::ServiceState(u"TarnvolRec"), platform::kServiceRunning);
  EXPECT_EQ(memory::OpenServiceHandleCount(), 0u);
}

TEST_F(ServiceRemoval, WaitEndsAtItsBoundWithTheTimeoutCode) {
  memory::AddService({u"Tarnvol", platform::kServiceRunning, memory::kNeverStops});
  StopAndDelete(u"Tarnvol");
  EXPECT_EQ(memory::Sleeps(), std::vector<std::uint32_t>(60, 500u));  // thirty seconds
  EXPECT_EQ(Output(), "Can't stop. Error - 1053\nService was deleted\n");
  // The manager finishes the deletion whenever the service does stop.
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceStopPending);
  EXPECT_TRUE(memory::ServiceMarkedForDelete(u"Tarnvol"));
  EXPECT_EQ(memory::OpenServiceHandleCount(), 0u);
}

TEST_F(ServiceRemoval, ServiceThatStopsOnTheLastAllowedPollIsNotCutShort) {
  memory::AddService({u"Tarnvol", platform::kServiceRunning, services::kStopPollLimit});
  services::StopService(u"Tarnvol");
  EXPECT_EQ(memory::Sleeps().size(), services::kStopPollLimit);
  EXPECT_EQ(Output(), "Service stopped\n");

  SetUp();
  memory::AddService({u"Tarnvol", platform::kServiceRunning, services::kStopPollLimit + 1});
  services::StopService(u"Tarnvol");
  EXPECT_EQ(memory::Sleeps().size(), services::kStopPollLimit);
  EXPECT_EQ(Output(), "Can't stop. Error - 1053\n");
}

TEST_F(ServiceRemoval, StatusQueriesThatKeepFailingEndAtTheBound) {
  // The reply says stop pending; every query after it fails and leaves that.
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 2, 0, 31});
  services::StopService(u"Tarnvol");
  EXPECT_EQ(memory::Sleeps().size(), services::kStopPollLimit);
  EXPECT_EQ(Output(), "Can't stop. Error - 1053\n");
}

}  // namespace
