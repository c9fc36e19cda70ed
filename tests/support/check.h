// The checks of the scenarios shared by the unit tests and the fuzz targets
// (changing_registry.h, sweep_differential.h). What a failed check does is
// each side's own: a fuzz target aborts, the default, which is how libFuzzer
// learns of a fault and keeps the input; the unit tests make it a failure of
// the running test (unit_test_failure.cpp), so that one failed seed does not
// end the whole test binary.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace support {

[[noreturn]] inline void Abort(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

inline void (*onFailure)(const std::string& what) = Abort;

inline void Check(bool holds, const std::string& what) {
  if (!holds) onFailure(what);
}

}  // namespace support
