// The value-data walk of the registry search on one value of arbitrary type,
// size and bytes, against the in-memory registry. The walk must never read
// past the data (AddressSanitizer watches the search's own buffers), find at
// most one entry, and that entry's text must be a real string of the data
// that holds the pattern: the first one, read as a run of NUL-terminated
// strings from byte 0, within the whole characters of the data.
//
// Input: one control byte, then the value's bytes.
//   control bits 0-2: the type: REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY,
//                     REG_DWORD, REG_MULTI_SZ, REG_QWORD, or REG_SZ again
//   control bits 3-4: the pattern: the display name, "kor", "a", or one
//                     lone high surrogate
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "sweep/registry_search.h"

namespace {

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "value data walk: %s\n", what);
    std::abort();
  }
}

bool IsString(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
}

std::u16string Lower(std::u16string text) {
  for (char16_t& unit : text)
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 0x20);
  return text;
}

// The first string of the data that holds the pattern, cut from a copy of the
// whole characters; none when the walk must not find anything.
bool Expected(const std::vector<std::uint8_t>& data, const std::u16string& pattern, std::u16string* text) {
  std::u16string units;
  for (std::size_t at = 0; at + 1 < data.size(); at += 2)
    units += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  std::size_t start = 0;
  while (start < units.size() && units[start] != 0) {
    std::size_t end = units.find(u'\0', start);
    if (end == std::u16string::npos) end = units.size();
    std::u16string one = units.substr(start, end - start);
    if (Lower(one).find(Lower(pattern)) != std::u16string::npos) {
      *text = one;
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  constexpr std::uint32_t kTypes[] = {platform::kRegNone,   platform::kRegSz,    platform::kRegExpandSz,
                                      platform::kRegBinary, platform::kRegDword, platform::kRegMultiSz,
                                      platform::kRegQword,  platform::kRegSz};
  const char16_t* const kPatterns[] = {u"Korvex for Windows", u"kor", u"a", u"\xD800"};
  const std::uint32_t type = kTypes[input[0] & 7];
  const std::u16string pattern = kPatterns[(input[0] >> 3) & 3];
  const std::vector<std::uint8_t> data(input + 1, input + size);

  memory::ResetMachine();
  memory::SetValue(u"HKLM\\T", u"v", type, data);
  platform::RegKey key;
  Check(platform::RegOpenKeyExW(platform::kLocalMachine, u"T", platform::kKeyRead, &key) == platform::kSuccess,
        "the test key did not open");
  sweep::FoundList list;
  sweep::ScanValues(key, u"T", pattern, list, sweep::MatchValueNames | sweep::MatchValueData);
  platform::RegCloseKey(key);

  std::u16string text;
  const bool expected = IsString(type) && data.size() >= 2 && Expected(data, pattern, &text);
  Check(list.size() <= 1, "more than one entry for one value");
  Check(list.size() == (expected ? 1u : 0u), "found where the model does not, or missed");
  if (list.empty()) return 0;
  const sweep::FoundEntry& entry = list[0];
  Check(entry.kind == sweep::EntryKind::ValueData, "not a ValueData entry");
  Check(entry.keyPath == u"T" && entry.valueName == u"v", "the wrong key path or value name");
  Check(entry.valueText == text, "the text is not the first string holding the pattern");
  Check(entry.valueText.find(u'\0') == std::u16string::npos, "the text holds a NUL");
  Check(entry.valueText.size() * 2 <= data.size(), "the text is longer than the data");
  return 0;
}
