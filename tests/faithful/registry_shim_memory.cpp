// The shim over the in-memory registry's test controls.
#include <stdexcept>

#include "platform/memory/machine.h"
#include "tests/faithful/registry_shim.h"

namespace faithful {
namespace {

std::u16string RootPath(platform::RegKey root, const std::u16string& path) {
  for (const auto& row : platform::kRootTable)
    if (row.key == root) return path.empty() ? row.name : row.name + (u"\\" + path);
  throw std::invalid_argument("not a predefined root");
}

}  // namespace

void Begin() { memory::ResetMachine(); }

std::u16string CurrentUserSid() { return std::u16string(memory::kCurrentUserSid); }

std::int32_t CreateKey(platform::RegKey root, const std::u16string& path) {
  memory::CreateKey(RootPath(root, path));
  return platform::kSuccess;
}

std::int32_t CreateLink(platform::RegKey root, const std::u16string& path, const std::u16string& target) {
  memory::MakeLink(RootPath(root, path), target);
  return platform::kSuccess;
}

std::int32_t RefuseAccess(platform::RegKey root, const std::u16string& path, std::uint32_t rights) {
  if (!memory::KeyExists(RootPath(root, path))) return platform::kFileNotFound;
  memory::RefuseAccess(RootPath(root, path), rights);
  return platform::kSuccess;
}

// A refused key stops the model's own deletion, as it should, so the scratch
// area goes with a fresh machine instead.
bool RemoveScratch(platform::RegKey root, const std::u16string& path) {
  memory::ResetMachine();
  return !memory::KeyExists(RootPath(root, path));
}

}  // namespace faithful
