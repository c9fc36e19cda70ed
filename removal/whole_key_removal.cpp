#include "removal/whole_key_removal.h"

#include "run/report.h"

namespace removal {
namespace {

using platform::RegKey;

constexpr std::uint32_t kSubtreeAccess = platform::kDelete | platform::kReadControl | platform::kKeyQueryValue |
                                         platform::kKeySetValue | platform::kKeyCreateSubKey |
                                         platform::kKeyEnumerateSubKeys;
constexpr std::uint32_t kDeleteAccess = platform::kKeyRead | platform::kDelete;

// No key name is longer than 255 characters.
constexpr std::uint32_t kLongestKeyName = 255;

bool IsLink(RegKey opened) {
  std::uint32_t type = platform::kRegNone;
  return platform::RegQueryValueExW(opened, platform::kSymbolicLinkValue, &type, nullptr, nullptr) ==
             platform::kSuccess &&
         type == platform::kRegLink;
}

// Deletes every subkey of key, always the first one left, then key itself.
// name is one buffer shared by every level: a name is needed only until its
// key is open.
std::int32_t DeleteSubtree(RegKey key, char16_t* name) {
  for (;;) {
    std::uint32_t length = kLongestKeyName + 1;
    std::int32_t status = platform::RegEnumKeyExW(key, 0, name, &length);
    if (status == platform::kNoMoreItems) break;
    if (status != platform::kSuccess) return status;
    RegKey subKey;
    status = platform::RegOpenLinkKeyW(key, name, kDeleteAccess, &subKey);
    if (status != platform::kSuccess) return status;
    status = IsLink(subKey) ? platform::DeleteOpenKey(subKey) : DeleteSubtree(subKey, name);
    platform::RegCloseKey(subKey);
    if (status != platform::kSuccess) return status;
  }
  return platform::DeleteOpenKey(key);
}

std::int32_t DeleteKeyAt(RegKey base, const char16_t* path) {
  RegKey key;
  std::int32_t status = platform::RegOpenKeyExW(base, path, kDeleteAccess, &key);
  if (status != platform::kSuccess) return status;
  char16_t name[kLongestKeyName + 1];
  status = DeleteSubtree(key, name);
  platform::RegCloseKey(key);
  return status;
}

}  // namespace

void RemoveWholeKey(RegKey base, const char16_t* path) {
  RegKey handle;
  if (platform::RegOpenKeyExW(base, nullptr, kSubtreeAccess, &handle) != platform::kSuccess) return;
  const std::int32_t status = DeleteKeyAt(handle, path);
  platform::RegCloseKey(handle);
  if (status == platform::kSuccess) report::KeyDeleted(path);
  else report::KeyNotDeleted(path, status);
}

}  // namespace removal
