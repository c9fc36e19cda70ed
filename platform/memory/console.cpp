// Captures what the cleaner writes to standard output.
#include <string>

#include "platform/console.h"
#include "platform/memory/memory.h"

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

}  // namespace

std::u16string Output() { return State().text; }
std::size_t OutputCallCount() { return State().calls; }
void ClearOutput() { State() = Console{}; }

}  // namespace memory

namespace platform {

void WriteOutput(const char16_t* text, std::size_t length) {
  auto& console = memory::State();
  console.text.append(text, length);
  ++console.calls;
}

}  // namespace platform
