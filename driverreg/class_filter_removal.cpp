#include "driverreg/class_filter_removal.h"

#include "driverreg/hive_path.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "backup/undo_file.h"
#include "platform/access_masks.h"
#include "platform/buffer.h"
#include "platform/registry.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"
#include "report/report.h"
#include "text/text_matching.h"

namespace driverreg {
namespace {

using platform::RegKey;

constexpr char16_t kUpperFilters[] = u"UpperFilters";

// Whether the element that starts at data[start] equals name, n units long.
// Only units before length are looked at.
bool ElementEquals(const char16_t* data, std::size_t start, std::size_t length, const char16_t* name, std::size_t n) {
  const std::size_t left = length - start;
  if (n < left) return data[start + n] == 0 && text::EqualsNoCase(data + start, name);
  if (n > left) return false;
  // The last element, never closed: its NUL would lie beyond the length, so
  // it cannot be handed to EqualsNoCase whole.
  for (std::size_t i = 0; i < n; ++i)
    if (text::FoldCase(data[start + i]) != text::FoldCase(name[i])) return false;
  return true;
}

// The read, edit and write-back on an open class key.
void EditUpperFilters(RegKey key, const std::u16string& classKey, const char16_t* const* names, std::size_t count,
                      const char16_t* windowsFolder) {
  std::uint32_t type = 0;
  std::uint32_t bytes = 0;
  const std::int32_t sized = platform::RegQueryValueExW(key, kUpperFilters, &type, nullptr, &bytes);
  if (sized != platform::kSuccess) {
    if (sized != platform::kFileNotFound) report::NoteFailure();
    return;
  }
  if (bytes == 0 || type != platform::kRegMultiSz) return;
  // Exactly the data's size: the edit only ever shortens the list.
  auto buffer = platform::TryAllocate<std::uint8_t>(bytes);
  if (!buffer) {
    report::NoteFailure();
    return;
  }
  std::uint8_t* raw = buffer.get();
  const std::uint32_t capacity = bytes;
  if (platform::RegQueryValueExW(key, kUpperFilters, &type, raw, &bytes) != platform::kSuccess) {
    report::NoteFailure();
    return;
  }
  // Another program may have rewritten the value between the two queries:
  // only the list it still is, within the buffer, is edited.
  if (type != platform::kRegMultiSz || bytes > capacity) return;
  auto* units = reinterpret_cast<char16_t*>(raw);
  const std::size_t oldLength = bytes / 2;
  std::size_t length = oldLength;
  std::vector<std::u16string> removed;
  for (std::size_t i = 0; i < count && names[i]; ++i) {
    const std::size_t before = length;
    length = RemoveMultiStringEntry(units, names[i], length);
    if (length != before) removed.emplace_back(names[i]);
  }
  if (length == oldLength) return;
  // Windows, given string data that does not end in a NUL, looks at the unit
  // just past it and stores that too when it is a NUL: the removed filter's
  // own NUL may stand there, and a kept unclosed last filter would come back
  // closed. A unit that is not NUL there keeps the list exactly as edited.
  if (length == 0 || units[length - 1] != 0) units[length] = 0xFFFF;
  // The list as it was goes to the undo file first; without it, it stays.
  if (const std::int32_t saved = backup::SaveFilterList(key, kUpperFilters, removed, windowsFolder)) {
    report::ValueNotDeleted(classKey.c_str(), kUpperFilters, saved);
    return;
  }
  if (platform::RegSetValueExW(key, kUpperFilters, type, raw, static_cast<std::uint32_t>(length * 2)) ==
      platform::kSuccess)
    report::NoteRestartNeeded();
  else report::NoteFailure();
}

}  // namespace

std::size_t RemoveMultiStringEntry(char16_t* data, const char16_t* name, std::size_t length) {
  const std::size_t n = std::char_traits<char16_t>::length(name);
  if (n == 0) return length;
  std::size_t read = 0;
  std::size_t write = 0;
  bool elementStart = true;
  while (read < length) {
    if (elementStart && ElementEquals(data, read, length, name, n)) {
      read += n + 1;  // past the length when the element was the unclosed last one
      continue;
    }
    elementStart = data[read] == 0;
    data[write++] = data[read++];
  }
  return write;
}

void RemoveUpperFilter(const char16_t* classKey, const char16_t* const* names, std::size_t count, RegKey root,
                       const char16_t* place, const char16_t* windowsFolder) {
  platform::UniqueRegKey key;
  const std::int32_t opened = OpenInHive(root, classKey, platform::kClassKeyAccess, key, place);
  if (opened != platform::kSuccess) {
    if (opened != platform::kFileNotFound) report::NoteFailure();
    return;
  }
  EditUpperFilters(key.get(), report::PlacedPath(place, classKey), names, count, windowsFolder);
}

}  // namespace driverreg
