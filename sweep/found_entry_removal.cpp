#include "sweep/found_entry_removal.h"

#include <optional>

#include "backup/undo_file.h"
#include "platform/access_masks.h"
#include "platform/unique_handle.h"
#include "removal/whole_key_removal.h"
#include "report/outcome.h"
#include "report/report.h"
#include "text/text_matching.h"

namespace sweep {
namespace {

using platform::RegKey;

void DeleteWholeKey(RegKey root, const std::u16string& keyPath, std::vector<std::u16string>* deletedKeys,
                    const char16_t* place) {
  std::optional<std::u16string> ownName;
  removal::RemoveWholeKey(root, keyPath.c_str(), deletedKeys ? &ownName : nullptr, place);
  if (deletedKeys && ownName) deletedKeys->push_back(std::move(*ownName));
}

void DeleteValue(RegKey root, const std::u16string& keyPath, const std::u16string& valueName, const char16_t* place) {
  platform::UniqueRegKey key;
  // Silent, but a value still there that may not be deleted fails the run.
  const std::int32_t opened = platform::RegOpenKeyExW(root, keyPath.c_str(), platform::kValueKeyAccess, key.put());
  if (opened != platform::kSuccess) {
    if (opened != platform::kFileNotFound) report::NoteFailure();
    return;
  }
  std::int32_t status = backup::SaveValueAt(root, keyPath.c_str(), valueName.c_str());
  if (status == platform::kSuccess) status = platform::RegDeleteValueW(key.get(), valueName.c_str());
  const std::u16string shown = report::PlacedPath(place, keyPath);
  if (status == platform::kSuccess) report::ValueDeleted(shown.c_str(), valueName.c_str());
  else report::ValueNotDeleted(shown.c_str(), valueName.c_str(), status);
}

bool HoldsMarker(const std::u16string& path, WholeKeyMarkerList markers) {
  for (std::size_t i = 0; i < markers.count; ++i)
    if (text::ContainsNoCase(path.c_str(), markers.fragments[i])) return true;
  return false;
}

// A user can plant a link named "Uninstall" that points at any machine key,
// whose whole key would then go for one value naming the product; so the
// key's real name must hold a marker too. Without that name the path decides.
}  // namespace

bool TakesWholeKey(RegKey root, const std::u16string& keyPath, WholeKeyMarkerList markers) {
  if (!HoldsMarker(keyPath, markers)) return false;
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExW(root, keyPath.c_str(), 0, key.put()) != platform::kSuccess) return true;
  const std::u16string own = platform::KeyObjectName(key.get());
  return own.empty() || HoldsMarker(own, markers);
}

void RemoveFoundEntries(RegKey root, FoundList& list, WholeKeyMarkerList wholeKeyMarkers,
                        std::vector<std::u16string>* deletedKeys, const char16_t* place) {
  for (const FoundEntry& entry : list) {
    switch (entry.kind) {
      case EntryKind::Key:
        if (entry.linkUnknown != 0)
          report::KeyNotDeleted(report::PlacedPath(place, entry.keyPath).c_str(), entry.linkUnknown);
        else DeleteWholeKey(root, entry.keyPath, deletedKeys, place);
        break;
      case EntryKind::ValueData:
        if (TakesWholeKey(root, entry.keyPath, wholeKeyMarkers))
          DeleteWholeKey(root, entry.keyPath, deletedKeys, place);
        else DeleteValue(root, entry.keyPath, entry.valueName, place);
        break;
      case EntryKind::ValueName:
        DeleteValue(root, entry.keyPath, entry.valueName, place);
        break;
      default:
        break;
    }
  }
  list.clear();
}

}  // namespace sweep
