#include "restart/restart_prompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/machine.h"

namespace {

using Calls = std::vector<std::string>;

// Whether anyone sees the window station is asked first.
const std::string kAskStation = "GetUserObjectInformationW 1 -> 1";
const std::string kBox =
    "MessageBoxW [Korvex for Windows was deleted. Do You want to restart PC now?] [Korvex Cleaner] 0x21";

class OfferRestartTest : public testing::Test {
 protected:
  void SetUp() override {
    memory::ResetSession();
    memory::ResetMachine();
  }

  // Whatever happened, the phase leaves no handle open and says nothing.
  void TearDown() override {
    EXPECT_EQ(memory::OpenTokenCount(), 0u);
    EXPECT_EQ(memory::OutputCallCount(), 0u);
    EXPECT_TRUE(memory::RegistryCalls().empty());
  }
};

TEST_F(OfferRestartTest, AnyAnswerButOkTouchesNeitherTokenNorShutdown) {
  for (int answer : {platform::kIdCancel, 0, 3 /* IDABORT */, 7 /* IDNO */}) {
    SCOPED_TRACE(answer);
    memory::ResetSession();
    memory::AnswerMessageBox(answer);
    restart::OfferRestart();
    EXPECT_EQ(memory::SessionCalls(), (Calls{kAskStation, kBox + " -> " + std::to_string(answer)}));
    EXPECT_TRUE(memory::ShutdownRequests().empty());
    EXPECT_FALSE(memory::ShutdownPrivilegeEnabled());
  }
}

TEST_F(OfferRestartTest, OkEnablesThePrivilegeThenRequestsAPlannedReboot) {
  memory::AnswerMessageBox(platform::kIdOk);
  restart::OfferRestart();
  EXPECT_EQ(memory::SessionCalls(), (Calls{
                                        kAskStation,
                                        kBox + " -> 1",
                                        "OpenProcessToken 0x28 -> 1",
                                        "LookupPrivilegeValueW [SeShutdownPrivilege] -> 1",
                                        "AdjustTokenPrivileges 0 1 {0x13,0x0} 0x2 -> 1",
                                        "ExitWindowsEx 0x2 0x80030017 -> 1",
                                        "CloseHandle -> 1",
                                    }));
  ASSERT_EQ(memory::ShutdownRequests().size(), 1u);
  const memory::ShutdownRequest& request = memory::ShutdownRequests()[0];
  EXPECT_EQ(request.flags, 2u);  // EWX_REBOOT alone: no force flag
  EXPECT_EQ(request.reason, 0x80030017u);
  EXPECT_TRUE(request.privilegeEnabled);
  EXPECT_TRUE(request.accepted);
}

TEST_F(OfferRestartTest, FailedTokenOpenEndsThePhaseWithoutARequest) {
  memory::AnswerMessageBox(platform::kIdOk);
  memory::FailSessionCall("OpenProcessToken");
  restart::OfferRestart();
  EXPECT_EQ(memory::SessionCalls(), (Calls{kAskStation, kBox + " -> 1", "OpenProcessToken 0x28 -> 0"}));
  EXPECT_TRUE(memory::ShutdownRequests().empty());
}

TEST_F(OfferRestartTest, FailedLookupStillAdjustsWithAZeroIdentifierAndRequests) {
  memory::AnswerMessageBox(platform::kIdOk);
  memory::FailSessionCall("LookupPrivilegeValueW");
  restart::OfferRestart();
  EXPECT_EQ(memory::SessionCalls(), (Calls{
                                        kAskStation,
                                        kBox + " -> 1",
                                        "OpenProcessToken 0x28 -> 1",
                                        "LookupPrivilegeValueW [SeShutdownPrivilege] -> 0",
                                        "AdjustTokenPrivileges 0 1 {0x0,0x0} 0x2 -> 1",
                                        "ExitWindowsEx 0x2 0x80030017 -> 0",
                                        "CloseHandle -> 1",
                                    }));
  ASSERT_EQ(memory::ShutdownRequests().size(), 1u);
  EXPECT_FALSE(memory::ShutdownRequests()[0].privilegeEnabled);
  EXPECT_FALSE(memory::ShutdownRequests()[0].accepted);
}

TEST_F(OfferRestartTest, FailedAdjustmentOrRefusedRequestEndsQuietly) {
  for (const char* failing : {"AdjustTokenPrivileges", "ExitWindowsEx"}) {
    SCOPED_TRACE(failing);
    memory::ResetSession();
    memory::AnswerMessageBox(platform::kIdOk);
    memory::FailSessionCall(failing);
    restart::OfferRestart();
    ASSERT_EQ(memory::ShutdownRequests().size(), 1u);
    EXPECT_EQ(memory::ShutdownRequests()[0].flags, 2u);
    EXPECT_EQ(memory::ShutdownRequests()[0].reason, 0x80030017u);
    EXPECT_FALSE(memory::ShutdownRequests()[0].accepted);
    EXPECT_EQ(memory::SessionCalls().back(), "CloseHandle -> 1");
  }
}

// A deployment tool's SYSTEM session: nobody could answer, so nothing is asked
// and nothing restarted, whatever the box would have said. Where the window
// station cannot be asked about, the question is put as always.
TEST_F(OfferRestartTest, NoQuestionOnAWindowStationNobodySees) {
  memory::AnswerMessageBox(platform::kIdOk);
  memory::SetWindowStationVisible(false);
  restart::OfferRestart();
  EXPECT_EQ(memory::SessionCalls(), (Calls{kAskStation}));
  EXPECT_TRUE(memory::ShutdownRequests().empty());

  memory::ResetSession();
  memory::FailSessionCall("GetUserObjectInformationW");
  restart::OfferRestart();
  ASSERT_EQ(memory::SessionCalls().size(), 2u);
  EXPECT_EQ(memory::SessionCalls()[1], kBox + " -> 2");
}

}  // namespace
