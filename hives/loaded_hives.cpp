#include "hives/loaded_hives.h"

#include <utility>

#include "platform/hives.h"

namespace hives {

LoadedHives::LoadedHives(LoadedHives&& other) noexcept : hives_(std::exchange(other.hives_, {})) {}

LoadedHives& LoadedHives::operator=(LoadedHives&& other) noexcept {
  if (this != &other) {
    UnloadAll();
    hives_ = std::exchange(other.hives_, {});
  }
  return *this;
}

LoadedHives::~LoadedHives() { UnloadAll(); }

std::int32_t LoadedHives::Load(platform::RegKey root, const std::u16string& subKey, const std::u16string& file) {
  const std::int32_t status = platform::RegLoadKeyW(root, subKey.c_str(), file.c_str());
  if (status == platform::kSuccess) hives_.push_back({root, subKey, file});
  return status;
}

std::vector<UnloadFailure> LoadedHives::UnloadAll() {
  std::vector<UnloadFailure> failures;
  // A user's classes hive goes before the user's own, as Windows loads them
  // the other way round.
  for (auto hive = hives_.rbegin(); hive != hives_.rend(); ++hive) {
    const std::int32_t status = platform::RegUnLoadKeyW(hive->root, hive->subKey.c_str());
    if (status != platform::kSuccess) failures.push_back({*hive, status});
  }
  hives_.clear();
  return failures;
}

}  // namespace hives
