// Finds the next unit of interest in a run of UTF-16 units. The texts of
// string values are the bulk of what the sweep reads, and most of their units
// interest it not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {

// A unit the scan stops at: u with (u | caseBit) == unit. With case bit 0x20
// and a small letter, that is the letter in either case and nothing else;
// with 0, the unit itself.
struct ScanStop {
  char16_t unit;
  char16_t caseBit;
};

// The stop for where pattern may begin: its first unit, in either case for
// a letter A to Z.
inline ScanStop PatternStart(const char16_t* pattern) {
  char16_t first = pattern[0];
  if (first >= u'A' && first <= u'Z') first = static_cast<char16_t>(first + 0x20);
  return {first, static_cast<char16_t>(first >= u'a' && first <= u'z' ? 0x20 : 0)};
}

// The stop for a NUL, which ends a string.
inline constexpr ScanStop kNulStop{0, 0};

// Stops at any of kSlots units. Where the processor has SSE2 it tests eight
// units at a time; elsewhere, and for a short run, one at a time through a
// table.
template <std::size_t kSlots>
class UnitScan {
 public:
  explicit UnitScan(const ScanStop (&stops)[kSlots]) {
    for (std::size_t i = 0; i < kSlots; ++i) {
      stops_[i] = stops[i];
      for (char16_t unit = 0; unit < 128; ++unit)
        if (static_cast<char16_t>(unit | stops[i].caseBit) == stops[i].unit) asciiStops_[unit] = 1;
      if (stops[i].unit >= 128) wide_ = true;
#if defined(__SSE2__)
      unitLanes_[i] = _mm_set1_epi16(static_cast<short>(stops[i].unit));
      caseLanes_[i] = _mm_set1_epi16(static_cast<short>(stops[i].caseBit));
#endif
    }
  }

  // The first index from at on, below end, of a unit the scan stops at; end
  // when there is none. Reads data[at] to data[end - 1], and, in a run long
  // enough for it, units before at, but nothing at or past end.
  std::size_t Next(const char16_t* data, std::size_t at, std::size_t end) const {
#if defined(__SSE2__)
    for (; at + kLanes <= end; at += kLanes) {
      const unsigned hits = Hits(data + at);
      if (hits != 0) return at + static_cast<std::size_t>(__builtin_ctz(hits)) / 2;
    }
    if (at < end && end >= kLanes) {
      // The last eight units of the run, less those before at.
      const std::size_t from = end - kLanes;
      const unsigned hits = Hits(data + from) & (~0u << (2 * (at - from)));
      return hits != 0 ? from + static_cast<std::size_t>(__builtin_ctz(hits)) / 2 : end;
    }
#endif
    for (; at < end; ++at)
      if (Stops(data[at])) return at;
    return end;
  }

 private:
  static constexpr std::size_t kLanes = 8;

  bool Stops(char16_t unit) const {
    if (unit < 128) return asciiStops_[unit] != 0;
    if (!wide_) return false;
    for (const ScanStop& stop : stops_)
      if (static_cast<char16_t>(unit | stop.caseBit) == stop.unit) return true;
    return false;
  }

#if defined(__SSE2__)
  // Two mask bits for each of the eight units from at on that stop the scan.
  unsigned Hits(const char16_t* at) const {
    __m128i units;
    std::memcpy(&units, at, sizeof units);
    __m128i hit = _mm_setzero_si128();
    for (std::size_t i = 0; i < kSlots; ++i)
      hit = _mm_or_si128(hit, _mm_cmpeq_epi16(_mm_or_si128(units, caseLanes_[i]), unitLanes_[i]));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
  }

  __m128i unitLanes_[kSlots]{};
  __m128i caseLanes_[kSlots]{};
#endif
  ScanStop stops_[kSlots]{};
  bool wide_ = false;                  // a stop beyond ASCII, which the table does not hold
  std::uint8_t asciiStops_[128] = {};  // ASCII units the scan stops at
};

}  // namespace text
