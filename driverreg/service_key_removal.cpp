#include "driverreg/service_key_removal.h"

#include "platform/access_masks.h"
#include "platform/unique_handle.h"
#include "removal/whole_key_removal.h"

namespace driverreg {

void RemoveServiceKey(platform::RegKey servicesKey, const char16_t* name) {
  removal::RemoveWholeKey(servicesKey, name);
}

void RemoveServiceKeys(const char16_t* servicesPath, const char16_t* const* names, std::size_t count) {
  platform::UniqueRegKey servicesKey;
  if (platform::RegOpenKeyExW(platform::kLocalMachine, servicesPath, platform::kSubtreeAccess, servicesKey.put()) !=
      platform::kSuccess)
    return;
  for (std::size_t i = 0; i < count; ++i) RemoveServiceKey(servicesKey.get(), names[i]);
}

}  // namespace driverreg
