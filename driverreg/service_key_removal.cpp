#include "driverreg/service_key_removal.h"

#include "driverreg/hive_path.h"

#include "platform/access_masks.h"
#include "platform/unique_handle.h"
#include "removal/whole_key_removal.h"
#include "report/outcome.h"
#include "report/report.h"

namespace driverreg {

void RemoveServiceKey(platform::RegKey servicesKey, const char16_t* name, const char16_t* place) {
  const std::int32_t status = removal::RemoveWholeKey(servicesKey, name, nullptr, place);
  // A failure that was reported has noted itself; this also catches the
  // silent one, a fresh handle to the Services key that cannot be had.
  if (status == platform::kSuccess) report::NoteRestartNeeded();
  else if (status != platform::kFileNotFound) report::NoteFailure();
}

void RemoveServiceKeys(const char16_t* servicesPath, const char16_t* const* names, std::size_t count,
                       platform::RegKey root, const char16_t* place) {
  platform::UniqueRegKey servicesKey;
  const std::int32_t opened = OpenInHive(root, servicesPath, platform::kSubtreeAccess, servicesKey, place);
  if (opened != platform::kSuccess) {
    // A Services key that is there but may not be opened keeps whatever of
    // the product's keys it holds.
    if (opened != platform::kFileNotFound) report::NoteFailure();
    return;
  }
  const std::u16string servicesPlace = report::PlacedPath(place, servicesPath);
  for (std::size_t i = 0; i < count; ++i) {
    // A hive's link would be deleted through its name, target and all.
    if (place && LeadsOutOfHive(servicesKey.get(), names[i], report::PlacedPath(servicesPlace.c_str(), names[i])))
      continue;
    RemoveServiceKey(servicesKey.get(), names[i], place ? servicesPlace.c_str() : nullptr);
  }
}

}  // namespace driverreg
