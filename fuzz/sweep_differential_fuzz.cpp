// The one-walk sweep against the literal sweep on a registry generated from
// fuzz input: see tests/support/sweep_differential.h for what is built and
// compared. A failed check aborts, support::onFailure's default.
#include <cstddef>
#include <cstdint>

#include "tests/support/sweep_differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each run reads the same choices from the start; past the input's end
  // every choice is 0.
  sweep_differential::Compare([data, size] {
    return [data, size, at = std::size_t{0}](std::uint32_t n) mutable -> std::uint32_t {
      if (n <= 1) return 0;
      return at < size ? data[at++] % n : 0;
    };
  });
  return 0;
}
