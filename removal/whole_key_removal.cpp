#include "removal/whole_key_removal.h"

#include "platform/access_masks.h"
#include "platform/unique_handle.h"
#include "report/report.h"

namespace removal {
namespace {

using platform::RegKey;

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
    platform::UniqueRegKey subKey;
    status = platform::RegOpenLinkKeyW(key, name, platform::kKeyDeletionAccess, subKey.put());
    if (status != platform::kSuccess) return status;
    status = IsLink(subKey.get()) ? platform::DeleteOpenKey(subKey.get()) : DeleteSubtree(subKey.get(), name);
    if (status != platform::kSuccess) return status;
  }
  return platform::DeleteOpenKey(key);
}

std::int32_t DeleteKeyAt(RegKey base, const char16_t* path, std::u16string* ownName) {
  platform::UniqueRegKey key;
  const std::int32_t status = platform::RegOpenKeyExW(base, path, platform::kKeyDeletionAccess, key.put());
  if (status != platform::kSuccess) return status;
  if (ownName) *ownName = platform::KeyObjectName(key.get());
  char16_t name[kLongestKeyName + 1];
  return DeleteSubtree(key.get(), name);
}

}  // namespace

std::int32_t RemoveWholeKey(RegKey base, const char16_t* path, std::u16string* ownName) {
  if (ownName) ownName->clear();
  platform::UniqueRegKey handle;
  const std::int32_t opened = platform::RegOpenKeyExW(base, nullptr, platform::kSubtreeAccess, handle.put());
  if (opened != platform::kSuccess) return opened;
  const std::int32_t status = DeleteKeyAt(handle.get(), path, ownName);
  handle.reset();
  if (status == platform::kSuccess) report::KeyDeleted(path);
  else report::KeyNotDeleted(path, status);
  return status;
}

}  // namespace removal
