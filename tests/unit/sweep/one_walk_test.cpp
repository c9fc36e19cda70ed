// The sweep that walks each root once against the literal sweep, one walk per
// (pattern, root) pair: the same report and the same registry afterwards.
#include <gtest/gtest.h>

#include <random>

#include "fuzz/sweep_differential.h"

namespace {

TEST(OneWalkSweep, GivesTheLiteralSweepsReportAndRegistryOnGeneratedRegistries) {
  for (std::uint32_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE(seed);
    sweep_differential::Compare([seed] {
      return [generator = std::mt19937(seed)](std::uint32_t n) mutable { return n <= 1 ? 0u : generator() % n; };
    });
  }
}

}  // namespace
