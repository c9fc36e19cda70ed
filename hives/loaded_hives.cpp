#include "hives/loaded_hives.h"

#include <utility>

#include "platform/hives.h"

namespace hives {
namespace {

// The hives an owner going out of scope could not unload: only ever filled
// while an exception unwinds, and emptied by main before the process ends.
std::vector<LoadedHive>& LeftHives() {
  static std::vector<LoadedHive> left;
  return left;
}

}  // namespace

LoadedHives::LoadedHives(LoadedHives&& other) noexcept : hives_(std::exchange(other.hives_, {})) {}

LoadedHives& LoadedHives::operator=(LoadedHives&& other) noexcept {
  if (this != &other) {
    UnloadAll();
    hives_ = std::exchange(other.hives_, {});
  }
  return *this;
}

LoadedHives::~LoadedHives() {
  for (auto hive = hives_.rbegin(); hive != hives_.rend(); ++hive) {
    if (platform::RegUnLoadKeyW(hive->root, hive->subKey.c_str()) == platform::kSuccess) continue;
    try {
      LeftHives().push_back(std::move(*hive));
    } catch (...) {
      // Out of memory while unwinding: this one stays for the system, as it
      // would have without the list.
    }
  }
}

std::int32_t LoadedHives::Load(platform::RegKey root, const std::u16string& subKey, const std::u16string& file) {
  hives_.push_back({root, subKey, file});
  const std::int32_t status = platform::RegLoadKeyW(root, hives_.back().subKey.c_str(), hives_.back().file.c_str());
  if (status != platform::kSuccess) hives_.pop_back();
  return status;
}

std::vector<UnloadFailure> LoadedHives::UnloadAll() {
  std::vector<UnloadFailure> failures;
  // Before any unload, so that running out of memory leaves every hive owned.
  failures.reserve(hives_.size());
  // A user's classes hive goes before the user's own, as Windows loads them
  // the other way round.
  for (auto hive = hives_.rbegin(); hive != hives_.rend(); ++hive) {
    const std::int32_t status = platform::RegUnLoadKeyW(hive->root, hive->subKey.c_str());
    if (status != platform::kSuccess) failures.push_back({*hive, status});
  }
  hives_.clear();
  return failures;
}

std::size_t UnloadLeftHives() {
  std::size_t stayed = 0;
  for (const LoadedHive& hive : LeftHives())
    if (platform::RegUnLoadKeyW(hive.root, hive.subKey.c_str()) != platform::kSuccess) ++stayed;
  LeftHives().clear();
  return stayed;
}

}  // namespace hives
