// In the unit tests a failed check of a shared scenario fails the running
// test, which goes on, and the rest of the binary runs.
#include <gtest/gtest.h>

#include "tests/support/check.h"

namespace {

const bool kFailureHooked = [] {
  support::onFailure = [](const std::string& what) { ADD_FAILURE() << what; };
  return true;
}();

}  // namespace
