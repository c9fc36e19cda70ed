// The walk the search cannot do without: the same registry calls with the
// same buffers, in the same order, and nothing else. Timing it beside the
// search shows what the search's own work costs.
#pragma once

#include <cstddef>

#include "platform/registry.h"

namespace bench {

struct BareWalkCounts {
  std::size_t keys = 0;     // visited keys, the root included
  std::size_t buffers = 0;  // name and data buffers allocated
};

// Walks key and its subtree as a search with value matching on does.
void BareWalk(platform::RegKey key, BareWalkCounts& counts);

}  // namespace bench
