#include "removal/whole_key_removal.h"

#include <memory>
#include <new>

#include "run/report.h"

namespace removal {
namespace {

using platform::RegKey;

constexpr std::uint32_t kSubtreeAccess = platform::kDelete | platform::kReadControl | platform::kKeyQueryValue |
                                         platform::kKeySetValue | platform::kKeyCreateSubKey |
                                         platform::kKeyEnumerateSubKeys;

constexpr std::int32_t kNotEnoughMemory = 8;

bool IsLink(RegKey opened) {
  std::uint32_t type = platform::kRegNone;
  return platform::RegQueryValueExW(opened, platform::kSymbolicLinkValue, &type, nullptr, nullptr) ==
             platform::kSuccess &&
         type == platform::kRegLink;
}

std::int32_t DeleteLink(RegKey parent, const char16_t* name) {
  RegKey link;
  std::int32_t status = platform::RegOpenLinkKeyW(parent, name, platform::kDelete, &link);
  if (status != platform::kSuccess) return status;
  status = platform::DeleteOpenKey(link);
  platform::RegCloseKey(link);
  return status;
}

// Deletes every link key below key, as a link; subkeys are opened as
// themselves, so nothing outside the subtree is ever reached. A subkey that
// cannot be read is passed over: RegDeleteTreeW cannot enter it either.
// Returns the status of a link that could not be deleted, else success.
std::int32_t DeleteLinksBelow(RegKey key) {
  std::uint32_t subKeys = 0, longestName = 0;
  if (platform::RegQueryInfoKeyW(key, &subKeys, &longestName, nullptr, nullptr, nullptr) != platform::kSuccess)
    return platform::kSuccess;
  std::unique_ptr<char16_t[]> name(new (std::nothrow) char16_t[std::size_t{longestName} + 1]);
  if (!name) return kNotEnoughMemory;  // links may lie below: no tree deletion
  for (std::uint32_t index = 0; index < subKeys;) {
    std::uint32_t capacity = longestName + 1;
    if (platform::RegEnumKeyExW(key, index, name.get(), &capacity) != platform::kSuccess) {
      ++index;
      continue;
    }
    RegKey subKey;
    if (platform::RegOpenLinkKeyW(key, name.get(), platform::kKeyRead, &subKey) != platform::kSuccess) {
      ++index;
      continue;
    }
    std::int32_t status = platform::kSuccess;
    const bool link = IsLink(subKey);
    if (!link) status = DeleteLinksBelow(subKey);
    platform::RegCloseKey(subKey);
    if (link) {
      status = DeleteLink(key, name.get());
      // The same index now names the next subkey.
      if (status == platform::kSuccess) {
        --subKeys;
        continue;
      }
    }
    if (status != platform::kSuccess) return status;
    ++index;
  }
  return platform::kSuccess;
}

std::int32_t DeleteLinksAt(RegKey base, const char16_t* path) {
  RegKey key;
  if (platform::RegOpenKeyExW(base, path, platform::kKeyRead, &key) != platform::kSuccess) return platform::kSuccess;
  const std::int32_t status = DeleteLinksBelow(key);
  platform::RegCloseKey(key);
  return status;
}

}  // namespace

void RemoveWholeKey(RegKey base, const char16_t* path) {
  RegKey handle;
  if (platform::RegOpenKeyExW(base, nullptr, kSubtreeAccess, &handle) != platform::kSuccess) return;
  std::int32_t status = DeleteLinksAt(handle, path);
  if (status == platform::kSuccess) status = platform::RegDeleteTreeW(handle, path);
  platform::RegCloseKey(handle);
  if (status == platform::kSuccess) report::KeyDeleted(path);
  else report::KeyNotDeleted(path, status);
}

}  // namespace removal
