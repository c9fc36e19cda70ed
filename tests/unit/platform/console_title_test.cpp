// The in-memory console title, which the progress tests lean on, reads and
// writes as Win32's does.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/console.h"
#include "platform/memory/machine.h"

namespace {

TEST(InMemoryConsoleTitle, ReadsCutToTheBufferAndFailsWithoutAConsole) {
  memory::ResetMachine();
  memory::SetStartingConsoleTitle(u"abcdef");
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(platform::GetConsoleTitleW(buffer, 4), 3u);
  EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"abc\0#", 5));  // NUL-closed, nothing written past size
  EXPECT_EQ(platform::GetConsoleTitleW(buffer, 8), 6u);
  EXPECT_EQ(std::u16string(buffer), u"abcdef");

  EXPECT_NE(platform::SetConsoleTitleW(u"xy"), 0);
  EXPECT_EQ(memory::ConsoleTitle(), u"xy");

  memory::DetachConsole();
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(platform::GetConsoleTitleW(buffer, 8), 0u);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(platform::SetConsoleTitleW(u"z"), 0);
  ASSERT_EQ(memory::ConsoleTitleSets().size(), 2u);
  EXPECT_FALSE(memory::ConsoleTitleSets()[1].accepted);

  memory::ResetMachine();
  EXPECT_EQ(memory::ConsoleTitle(), memory::kStartingConsoleTitle);
  EXPECT_TRUE(memory::ConsoleTitleSets().empty());
}

}  // namespace
