// The least walk of a registry tree: one query per key, then its values and
// its subkeys enumerated, with buffers sized from that query, and nothing
// else. Timing it beside the search shows what the search costs above the
// floor that any walk pays.
#pragma once

#include <cstddef>

#include "platform/registry.h"

namespace bench {

struct BareWalkCounts {
  std::size_t keys = 0;     // visited keys, the root included
  std::size_t buffers = 0;  // name and data buffers allocated
};

// Walks key and its subtree, reading every value.
void BareWalk(platform::RegKey key, BareWalkCounts& counts);

}  // namespace bench
