#include "bench/allocation_count.h"

#include <cstdlib>
#include <new>

namespace bench {
namespace {

AllocationCounts counts;

// Each block carries its size in front, kept at the alignment new must give.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Allocate(std::size_t size) noexcept {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block) return nullptr;
  *reinterpret_cast<std::size_t*>(block) = size;
  ++counts.allocations;
  counts.liveBytes += size;
  if (counts.liveBytes > counts.peakBytes) counts.peakBytes = counts.liveBytes;
  return block + kHeader;
}

void Release(void* pointer) noexcept {
  if (!pointer) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  counts.liveBytes -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}

void* AllocateOrThrow(std::size_t size) {
  if (void* pointer = Allocate(size)) return pointer;
  throw std::bad_alloc();
}

}  // namespace

const AllocationCounts& Allocations() { return counts; }
void ResetPeak() { counts.peakBytes = counts.liveBytes; }

}  // namespace bench

void* operator new(std::size_t size) { return bench::AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return bench::AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return bench::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return bench::Allocate(size); }
void operator delete(void* pointer) noexcept { bench::Release(pointer); }
void operator delete[](void* pointer) noexcept { bench::Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { bench::Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { bench::Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { bench::Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { bench::Release(pointer); }
