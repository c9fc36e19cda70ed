// The sweep's progress in the console title, seen through a whole cleaning
// run: what the window shows while the registry is walked, what it shows
// afterwards, and that standard output never learns of it.
#include "report/progress.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/memory/machine.h"
#include "platform/number_text.h"
#include "run/cleaning_run.h"

namespace {

// HKEY_LOCAL_MACHINE\Software\Wide\K00..K99, each with 200 subkeys, beside
// one key the sweep deletes: some twenty looks at the clock per walk.
constexpr int kLeaves = 200;
constexpr std::uint64_t kWideKeys = 100 + 100 * kLeaves;

void ResetLargeMachine() {
  memory::ResetMachine();
  memory::RecordCalls(false);
  memory::TreeBuilder builder;
  for (int k = 0; k < 100; ++k) {
    const std::u16string parent = u"HKLM\\Software\\Wide\\K" + platform::Decimal(k);
    builder.Key(parent);
    for (int leaf = 0; leaf < kLeaves; ++leaf) builder.Key(parent + u"\\L" + platform::Decimal(leaf));
  }
  memory::LoadReg(u"[HKLM\\Software\\Korvex for Windows]\n");
}

const std::regex& ProgressTitle() {
  static const std::regex title(
      "Korvex Cleaner - sweeping "
      "(HKEY_CLASSES_ROOT|HKEY_CURRENT_CONFIG|HKEY_CURRENT_USER|HKEY_LOCAL_MACHINE|HKEY_USERS): ([1-9][0-9]*) keys");
  return title;
}

struct RunResult {
  std::u16string output;
  std::size_t writes;
};

RunResult CleanAndCapture() {
  run::CleaningRun();
  return {memory::Output(), memory::OutputCallCount()};
}

TEST(SweepProgress, ShowsTheRootAndItsKeysWhileSweepingThenGivesTheTitleBack) {
  ResetLargeMachine();
  const std::u16string ownTitle = u"Administrator: Eingabeaufforderung \u2013 korvex-cleaner.exe";
  memory::SetStartingConsoleTitle(ownTitle);
  memory::SetClockStep(100);
  std::u16string titleAtQuestion;
  memory::WhileMessageBoxShown([&] { titleAtQuestion = memory::ConsoleTitle(); });

  run::CleaningRun();

  const auto& sets = memory::ConsoleTitleSets();
  ASSERT_GE(sets.size(), 2u);
  bool sawLocalMachine = false;
  for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
    std::smatch parts;
    const std::string title = memory::Narrow(sets[i].title);
    ASSERT_TRUE(std::regex_match(title, parts, ProgressTitle())) << title;
    EXPECT_TRUE(sets[i].accepted);
    // A root's count is of the keys entered in it, never more than it holds.
    if (parts[1] == "HKEY_LOCAL_MACHINE") {
      sawLocalMachine = true;
      EXPECT_LE(std::stoull(parts[2]), kWideKeys + 100) << title;
    } else {
      EXPECT_LT(std::stoull(parts[2]), 1000u) << title;
    }
  }
  EXPECT_TRUE(sawLocalMachine);
  EXPECT_EQ(sets.back().title, ownTitle);
  EXPECT_EQ(memory::ConsoleTitle(), ownTitle);
  // Given back when the sweep ends, not when the process does.
  EXPECT_EQ(titleAtQuestion, ownTitle);
  EXPECT_EQ(memory::Narrow(memory::Output()).find("Korvex Cleaner -"), std::string::npos);
}

TEST(SweepProgress, TheClockBoundsHowOftenTheTitleChanges) {
  // A clock that stands still allows one progress title for the whole run,
  // then the restored one.
  ResetLargeMachine();
  run::CleaningRun();
  EXPECT_EQ(memory::ConsoleTitleSets().size(), 2u);

  // A clock that moves 50 ms at each look: no more than one title per 250 ms,
  // and a look only every many keys, where the run enters the large tree three
  // times (once per pattern) or fewer.
  ResetLargeMachine();
  memory::SetClockStep(50);
  run::CleaningRun();
  const std::size_t looks = memory::TickCallCount();
  const std::size_t sets = memory::ConsoleTitleSets().size();
  EXPECT_LE(looks, 3 * kWideKeys / report::kKeysPerClockLook + 15);
  EXPECT_GE(sets, 3u);
  EXPECT_LE(sets, looks * 50 / report::kMillisecondsPerTitle + 2);
  EXPECT_EQ(memory::ConsoleTitle(), memory::kStartingConsoleTitle);
}

TEST(SweepProgress, WithoutATitleToRestoreNoneIsSet) {
  // No console: output redirected and none attached.
  ResetLargeMachine();
  memory::SetClockStep(100);
  memory::DetachConsole();
  run::CleaningRun();
  EXPECT_TRUE(memory::ConsoleTitleSets().empty());

  // A console whose title is empty reads the same.
  ResetLargeMachine();
  memory::SetClockStep(100);
  memory::SetStartingConsoleTitle(u"");
  run::CleaningRun();
  EXPECT_TRUE(memory::ConsoleTitleSets().empty());
  EXPECT_EQ(memory::ConsoleTitle(), u"");

  // A registry too small to take any time leaves the title alone.
  memory::ResetMachine();
  memory::SetClockStep(100);
  memory::LoadReg(u"[HKLM\\Software\\Korvex for Windows]\n");
  run::CleaningRun();
  EXPECT_TRUE(memory::ConsoleTitleSets().empty());
}

TEST(SweepProgress, StandardOutputIsTheSameWithOrWithoutATitle) {
  ResetLargeMachine();
  memory::SetClockStep(100);
  const RunResult withTitle = CleanAndCapture();
  ASSERT_GE(memory::ConsoleTitleSets().size(), 2u);
  ASSERT_NE(memory::Narrow(withTitle.output).find("[Software\\Korvex for Windows]: DELETED\n\n"), std::string::npos);

  ResetLargeMachine();
  memory::SetClockStep(100);
  memory::DetachConsole();
  const RunResult withoutConsole = CleanAndCapture();
  EXPECT_EQ(withoutConsole.output, withTitle.output);
  EXPECT_EQ(withoutConsole.writes, withTitle.writes);

  // A title that cannot be set changes nothing else, and stays as it was.
  ResetLargeMachine();
  memory::SetClockStep(100);
  memory::FailSetConsoleTitle();
  const RunResult titleRefused = CleanAndCapture();
  EXPECT_EQ(titleRefused.output, withTitle.output);
  EXPECT_EQ(titleRefused.writes, withTitle.writes);
  EXPECT_FALSE(memory::ConsoleTitleSets().empty());
  EXPECT_EQ(memory::ConsoleTitle(), memory::kStartingConsoleTitle);
}

}  // namespace
