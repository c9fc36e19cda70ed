// Numbers as text, for the console report and the in-memory platform's call
// logs alike; built by hand rather than by the C runtime's printf, for the
// reason report/report.cpp gives.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// "%d": decimal, with a minus sign when negative.
inline std::u16string Decimal(std::int64_t value) {
  std::uint64_t magnitude = value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) digits.insert(digits.begin(), u'-');
  return digits;
}

// "%X": upper-case hexadecimal of all 32 bits, no leading zeros; as narrow
// text (Hex<char>) for the call logs.
template <typename Char = char16_t>
std::basic_string<Char> Hex(std::uint32_t value) {
  std::basic_string<Char> digits;
  do {
    digits.insert(digits.begin(), static_cast<Char>("0123456789ABCDEF"[value & 0xF]));
    value >>= 4;
  } while (value);
  return digits;
}

}  // namespace platform
