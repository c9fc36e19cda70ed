// The sweep and the filter-list edit while the registry changes under every
// call, driven by fuzz input: see tests/support/changing_registry.h for what
// is checked. A failed check aborts, support::onFailure's default.
#include <cstddef>
#include <cstdint>

#include "tests/support/changing_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  // Each choice takes one byte; past the input's end every choice is 0.
  changing_registry::Scenario scenario([&](std::uint32_t n) -> std::uint32_t {
    if (n <= 1) return 0;
    return at < size ? data[at++] % n : 0;
  });
  // The input's first byte also picks the sweep: a walk for each (pattern,
  // root) pair, or each root walked once.
  if (size > 0 && (data[0] & 0x80) != 0) scenario.RunOneWalk();
  else scenario.Run();
  return 0;
}
