// The whole read, edit and write-back of one class's "UpperFilters" value,
// against the in-memory registry, on arbitrary value data. The edit buffer is
// sized to the data exactly, so AddressSanitizer stops any access past it.
//
// Input: one control byte, then the value's bytes.
//   control bits 0-1: the value type; 0 and 1 REG_MULTI_SZ, 2 REG_SZ, 3 REG_BINARY
//   control bit 2:    the disk-drive class (two names) instead of the volume class
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "driverreg/class_filter_removal.h"
#include "fuzz/multi_string_model.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "product/tables.h"

namespace {

std::u16string Units(const std::vector<std::uint8_t>& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return units;
}

std::vector<std::uint8_t> Bytes(const std::u16string& units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

std::size_t WriteCount() {
  std::size_t writes = 0;
  for (const std::string& call : memory::RegistryCalls()) writes += call.rfind("RegSetValueExW", 0) == 0;
  return writes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  constexpr std::uint32_t kTypes[] = {platform::kRegMultiSz, platform::kRegMultiSz, platform::kRegSz,
                                      platform::kRegBinary};
  const std::uint32_t type = kTypes[input[0] & 3];
  const product::ClassFilterRow& row = product::ClassFilterTable[(input[0] >> 2) & 1];
  const std::vector<std::uint8_t> data(input + 1, input + size);
  const std::u16string keyPath = u"HKEY_LOCAL_MACHINE\\" + std::u16string(row.classKey);

  memory::ResetMachine();
  memory::SetValue(keyPath, u"UpperFilters", type, data);
  driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));

  std::vector<std::uint8_t> expected = data;
  if (type == platform::kRegMultiSz && !data.empty()) {
    const std::u16string list = Units(data);
    std::u16string edited = list;
    for (const char16_t* name : row.filters)
      if (name) edited = model::Remove(edited, name);
    if (edited != list) expected = Bytes(edited);
  }
  const auto stored = memory::ReadValue(keyPath, u"UpperFilters");
  model::Check(stored.has_value(), "the value went missing");
  model::Check(stored->type == type, "the type changed");
  model::Check(stored->data == expected, "the stored list differs from the model");
  model::Check(WriteCount() == (expected != data ? 1u : 0u), "written although unchanged, or not written");
  model::Check(memory::OpenKeyCount() == 0, "a key was left open");
  model::Check(memory::OutputCallCount() == 0, "something was written to the console");
  return 0;
}
