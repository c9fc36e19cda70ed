#include "sweep/still_found.h"

#include <cstdint>
#include <string>

#include "platform/buffer.h"
#include "platform/unique_handle.h"
#include "sweep/registry_search.h"

namespace sweep {
namespace {

using platform::RegKey;

bool TextStillHolds(RegKey key, const char16_t* valueName, const char16_t* pattern) {
  std::uint32_t type = 0, size = 0;
  if (platform::RegQueryValueExW(key, valueName, &type, nullptr, &size) != platform::kSuccess) return false;
  if (!platform::IsStringType(type) || size < 2) return false;
  auto data = platform::TryAllocate<char16_t>((std::size_t{size} + 1) / 2);
  if (!data) return false;
  std::uint32_t read = size;
  if (platform::RegQueryValueExW(key, valueName, &type, reinterpret_cast<std::uint8_t*>(data.get()), &read) !=
      platform::kSuccess)
    return false;
  if (!platform::IsStringType(type) || read > size) return false;
  return FirstStringHolding(data.get(), read, pattern).has_value();
}

// The key that holds a Key entry: the path less its last part.
std::u16string Holder(const FoundEntry& entry) {
  if (entry.kind != EntryKind::Key) return entry.keyPath;
  const auto slash = entry.keyPath.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : entry.keyPath.substr(0, slash);
}

}  // namespace

bool StillFound(RegKey root, const FoundEntry& entry, const char16_t* pattern, bool nameCut) {
  platform::UniqueRegKey opened;
  std::int32_t status = platform::kSuccess;
  if (nameCut) {
    const std::u16string holder = Holder(entry);
    if (holder.empty()) return true;
    return platform::RegOpenKeyExW(root, holder.c_str(), platform::kKeyRead, opened.put()) == platform::kSuccess;
  }
  // The root's own values are read through the root's handle, as the walk read them.
  if (!entry.keyPath.empty())
    status = platform::RegOpenKeyExW(root, entry.keyPath.c_str(), platform::kKeyRead, opened.put());
  if (entry.kind == EntryKind::Key) return status == platform::kSuccess || status == platform::kAccessDenied;
  if (status != platform::kSuccess) return false;
  const RegKey key = entry.keyPath.empty() ? root : opened.get();
  // The walk reads a key's values only once the key has answered this query.
  std::uint32_t values = 0;
  if (platform::RegQueryInfoKeyW(key, nullptr, nullptr, &values, nullptr, nullptr) != platform::kSuccess)
    return false;
  if (entry.kind == EntryKind::ValueName) {
    std::uint32_t type = 0, size = 0;
    return platform::RegQueryValueExW(key, entry.valueName.c_str(), &type, nullptr, &size) == platform::kSuccess;
  }
  if (entry.kind == EntryKind::ValueData) return TextStillHolds(key, entry.valueName.c_str(), pattern);
  return false;
}

}  // namespace sweep
