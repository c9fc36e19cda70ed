#include "driverreg/service_key_removal.h"

#include "removal/whole_key_removal.h"

namespace driverreg {
namespace {

constexpr std::uint32_t kSubtreeAccess = 0x3000F;

}  // namespace

void RemoveServiceKey(platform::RegKey servicesKey, const char16_t* name) { removal::RemoveWholeKey(servicesKey, name); }

void RemoveServiceKeys(const char16_t* const* names, std::size_t count) {
  platform::RegKey servicesKey;
  if (platform::RegOpenKeyExW(platform::kLocalMachine, kServicesKeyPath, kSubtreeAccess, &servicesKey) !=
      platform::kSuccess)
    return;
  for (std::size_t i = 0; i < count; ++i) RemoveServiceKey(servicesKey, names[i]);
  platform::RegCloseKey(servicesKey);
}

}  // namespace driverreg
