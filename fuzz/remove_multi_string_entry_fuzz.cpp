// The in-place list edit on arbitrary data, in a heap block of exactly the
// list's length so that AddressSanitizer stops any access past it.
//
// Input: one control byte, an optional name, then the list.
//   control bits 0-2: the name; 0-6 pick a fixed one, 7 reads it from the
//                     input (a length byte, then one unit per byte)
//   control bit 3:    the list's units are two bytes each (little-endian,
//                     an odd last byte dropped) instead of one byte each, so
//                     that both NUL-dense lists and any unit value are reached
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "driverreg/class_filter_removal.h"
#include "fuzz/multi_string_model.h"

namespace {

constexpr const char16_t* kNames[] = {u"tessaid", u"vornpart", u"meskdrv", u"TESSAID", u"a", u"Ab", u""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = input[0];
  std::size_t at = 1;
  std::u16string name;
  if ((control & 7) < 7) {
    name = kNames[control & 7];
  } else {
    if (at == size) return 0;
    std::size_t nameLength = input[at++] % 16;
    for (; nameLength > 0 && at < size; --nameLength) name += static_cast<char16_t>(input[at++]);
    name.resize(std::char_traits<char16_t>::length(name.c_str()));  // a NUL ends the name
  }
  std::u16string list;
  if (control & 8) {
    for (; at + 1 < size; at += 2) list += static_cast<char16_t>(input[at] | (input[at + 1] << 8));
  } else {
    for (; at < size; ++at) list += static_cast<char16_t>(input[at]);
  }

  const std::size_t length = list.size();
  std::unique_ptr<char16_t[]> buffer(new char16_t[length]);
  list.copy(buffer.get(), length);
  const std::size_t newLength = driverreg::RemoveMultiStringEntry(buffer.get(), name.c_str(), length);

  model::Check(newLength <= length, "the list grew");
  const std::u16string edited(buffer.get(), newLength);
  model::Check(edited == model::Remove(list, name), "differs from the model");
  model::Check(!model::HoldsElement(edited, name), "an equal element is left");
  if (newLength == length) model::Check(edited == list, "same length but changed content");
  // A second pass has nothing left to remove.
  model::Check(driverreg::RemoveMultiStringEntry(buffer.get(), name.c_str(), newLength) == newLength,
               "a second pass removed more");
  model::Check(std::u16string(buffer.get(), newLength) == edited, "a second pass changed the list");
  return 0;
}
