#include "driverreg/service_key_removal.h"

#include "run/report.h"

namespace driverreg {
namespace {

constexpr std::uint32_t kSubtreeAccess = 0x3000F;

}  // namespace

void RemoveServiceKey(platform::RegKey servicesKey, const char16_t* name) {
  platform::RegKey handle;
  if (platform::RegOpenKeyExW(servicesKey, nullptr, kSubtreeAccess, &handle) != platform::kSuccess) return;
  const std::int32_t status = platform::RegDeleteTreeW(handle, name);
  if (status == platform::kSuccess) report::KeyDeleted(name);
  else report::KeyNotDeleted(name, status);
  platform::RegCloseKey(handle);
}

void RemoveServiceKeys(const char16_t* const* names, std::size_t count) {
  platform::RegKey servicesKey;
  if (platform::RegOpenKeyExW(platform::kLocalMachine, kServicesKeyPath, kSubtreeAccess, &servicesKey) !=
      platform::kSuccess)
    return;
  for (std::size_t i = 0; i < count; ++i) RemoveServiceKey(servicesKey, names[i]);
  platform::RegCloseKey(servicesKey);
}

}  // namespace driverreg
