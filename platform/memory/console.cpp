// Captures what the cleaner writes to standard output, and keeps a console
// title and a clock that tests control.
#include <algorithm>
#include <string>

#include "platform/console.h"
#include "platform/memory/machine.h"

namespace memory {
namespace {

struct Console {
  std::u16string text;
  std::size_t calls = 0;
};

Console& State() {
  static Console console;
  return console;
}

// Kept apart from the output, which tests clear between two runs on the same
// console.
struct TitleAndClock {
  bool attached = true;
  bool setFails = false;
  std::u16string title{kStartingConsoleTitle};
  std::vector<TitleSet> sets;
  std::uint64_t now = kStartingTick;
  std::uint64_t step = 0;
  std::size_t tickCalls = 0;
};

TitleAndClock& Title() {
  static TitleAndClock title;
  return title;
}

}  // namespace

std::u16string Output() { return State().text; }
std::size_t OutputCallCount() { return State().calls; }
void ClearOutput() { State() = Console{}; }

void ResetConsoleTitle() { Title() = TitleAndClock{}; }
void SetStartingConsoleTitle(std::u16string_view title) { Title().title = title; }
void DetachConsole() { Title().attached = false; }
void FailSetConsoleTitle() { Title().setFails = true; }
std::u16string ConsoleTitle() { return Title().title; }
const std::vector<TitleSet>& ConsoleTitleSets() { return Title().sets; }

void SetClockStep(std::uint64_t milliseconds) { Title().step = milliseconds; }
std::size_t TickCallCount() { return Title().tickCalls; }

}  // namespace memory

namespace platform {

void WriteOutput(const char16_t* text, std::size_t length) {
  auto& console = memory::State();
  console.text.append(text, length);
  ++console.calls;
}

std::uint32_t GetConsoleTitleW(char16_t* buffer, std::uint32_t size) {
  const auto& state = memory::Title();
  if (!state.attached || size == 0) return 0;
  const std::size_t copied = std::min<std::size_t>(state.title.size(), size - 1);
  std::copy_n(state.title.data(), copied, buffer);
  buffer[copied] = 0;
  return static_cast<std::uint32_t>(copied);
}

int SetConsoleTitleW(const char16_t* title) {
  auto& state = memory::Title();
  const bool accepted = state.attached && !state.setFails;
  state.sets.push_back({title, accepted});
  if (accepted) state.title = title;
  return accepted ? 1 : 0;
}

std::uint64_t GetTickCount64() {
  auto& state = memory::Title();
  ++state.tickCalls;
  const std::uint64_t now = state.now;
  state.now += state.step;
  return now;
}

}  // namespace platform
