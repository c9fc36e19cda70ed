#include "removal/whole_key_removal.h"

#include <optional>

#include "backup/undo_file.h"
#include "platform/access_masks.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"
#include "report/report.h"

namespace removal {
namespace {

using platform::RegKey;

// No key name is longer than 255 characters.
constexpr std::uint32_t kLongestKeyName = 255;

std::int32_t DeleteChildren(RegKey key, char16_t* buffer);

// Deletes the key which below parent with everything below it. A key that
// refuses DELETE but may be read loses what lies below it all the same and
// then fails with 0x5, as RegDeleteTreeW has it. buffer is one name buffer
// shared by every level: which is read only until its key is open.
std::int32_t DeleteKey(RegKey parent, const char16_t* which, bool asItself, char16_t* buffer,
                       std::optional<std::u16string>* ownName) {
  platform::UniqueRegKey key;
  // The key asked for is opened as the search reached it, through any link on
  // the way; each key below it as itself, so that a link goes as a link.
  const auto open = [&](std::uint32_t access) {
    return asItself ? platform::RegOpenLinkKeyW(parent, which, access, key.put())
                    : platform::RegOpenKeyExW(parent, which, access, key.put());
  };
  const std::int32_t status = open(platform::kKeyDeletionAccess);
  const bool deletable = status == platform::kSuccess;
  if (!deletable && (status != platform::kAccessDenied || open(platform::kKeyRead) != platform::kSuccess))
    return status;
  // Nothing goes before the undo file, when there is one, holds it or names
  // it (a link key, which the file can only name).
  if (const std::int32_t saved = asItself ? 0 : backup::SaveKey(key.get())) return saved;
  if (ownName) *ownName = platform::KeyObjectName(key.get());
  const bool link = asItself && platform::IsLinkKey(key.get());
  const std::int32_t below = link ? platform::kSuccess : DeleteChildren(key.get(), buffer);
  if (below != platform::kSuccess) return below;
  return deletable ? platform::DeleteOpenKey(key.get()) : status;
}

// Deletes every subkey of key, always the first one left.
std::int32_t DeleteChildren(RegKey key, char16_t* buffer) {
  for (;;) {
    std::uint32_t length = kLongestKeyName + 1;
    const std::int32_t status = platform::RegEnumKeyExW(key, 0, buffer, &length);
    if (status == platform::kNoMoreItems) return platform::kSuccess;
    if (status != platform::kSuccess) return status;
    const std::int32_t deleted = DeleteKey(key, buffer, true, buffer, nullptr);
    if (deleted != platform::kSuccess) return deleted;
  }
}

}  // namespace

std::int32_t RemoveWholeKey(RegKey base, const char16_t* path, std::optional<std::u16string>* ownName,
                            const char16_t* place) {
  if (ownName) ownName->reset();
  platform::UniqueRegKey handle;
  const std::int32_t opened = platform::RegOpenKeyExW(base, nullptr, platform::kSubtreeAccess, handle.put());
  if (opened != platform::kSuccess) {
    report::NoteFailure();
    return opened;
  }
  char16_t buffer[kLongestKeyName + 1];
  const std::int32_t status = DeleteKey(handle.get(), path, false, buffer, ownName);
  handle.reset();
  const std::u16string shown = report::PlacedPath(place, path);
  if (status == platform::kSuccess) report::KeyDeleted(shown.c_str());
  else report::KeyNotDeleted(shown.c_str(), status);
  return status;
}

}  // namespace removal
