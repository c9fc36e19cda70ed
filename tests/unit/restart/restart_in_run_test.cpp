// The restart question as the last step of the whole cleaning run.
#include <gtest/gtest.h>

#include <cstddef>

#include "platform/memory/machine.h"
#include "run/cleaning_run.h"

namespace {

TEST(RestartInRun, AskedOnceAfterEveryRegistryCallEvenWhenNothingWasFound) {
  memory::ResetMachine();
  memory::ResetSession();
  std::size_t registryCallsWhenAsked = 0;
  std::size_t outputWhenAsked = 0;
  memory::WhileMessageBoxShown([&] {
    registryCallsWhenAsked = memory::RegistryCalls().size();
    outputWhenAsked = memory::OutputCallCount();
  });
  run::CleaningRun();

  // Cancel by default: the window station's flags, the box and nothing else.
  ASSERT_EQ(memory::SessionCalls().size(), 2u);
  EXPECT_EQ(memory::SessionCalls()[1].rfind("MessageBoxW [Korvex for Windows was deleted.", 0), 0u);
  EXPECT_GT(registryCallsWhenAsked, 0u);
  EXPECT_EQ(registryCallsWhenAsked, memory::RegistryCalls().size());
  EXPECT_EQ(outputWhenAsked, memory::OutputCallCount());
}

TEST(RestartInRun, ConsentRequestsTheRebootAndTheRunStillReturns) {
  memory::ResetMachine();
  memory::ResetSession();
  memory::AnswerMessageBox(platform::kIdOk);
  memory::LoadReg(u"[HKEY_CURRENT_USER\\Software\\Tarnvol]\n");
  run::CleaningRun();

  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Tarnvol"));
  ASSERT_EQ(memory::ShutdownRequests().size(), 1u);
  EXPECT_TRUE(memory::ShutdownRequests()[0].accepted);
  EXPECT_EQ(memory::OpenTokenCount(), 0u);
}

}  // namespace
