// Counts every operator new in the benchmark binary, and the heap it holds,
// so a benchmark can say how many allocations a walk makes per key and how
// far its memory climbs.
#pragma once

#include <cstddef>

namespace bench {

struct AllocationCounts {
  std::size_t allocations = 0;
  std::size_t liveBytes = 0;
  std::size_t peakBytes = 0;  // highest liveBytes since the last ResetPeak
};

const AllocationCounts& Allocations();

// Starts a new peak from the bytes live now.
void ResetPeak();

}  // namespace bench
