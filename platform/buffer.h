// A buffer a step can do without: on exhausted memory it is simply absent,
// and the step skips what the buffer was for instead of ending the run.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace platform {

template <typename Unit>
std::unique_ptr<Unit[]> TryAllocate(std::size_t count) {
  return std::unique_ptr<Unit[]>(new (std::nothrow) Unit[count]);
}

}  // namespace platform
