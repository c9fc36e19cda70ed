#include "driverreg/hive_path.h"

#include <utility>

#include "report/report.h"

namespace driverreg {

bool LeadsOutOfHive(platform::RegKey parent, const char16_t* name, const std::u16string& shown) {
  platform::UniqueRegKey key;
  if (platform::RegOpenLinkKeyW(parent, name, 0, key.put()) == platform::kFileNotFound) return false;
  if (!platform::IsLinkKey(parent, name)) return false;
  report::LinkNotFollowed(shown);
  return true;
}

std::int32_t OpenInHive(platform::RegKey root, const char16_t* path, std::uint32_t access,
                        platform::UniqueRegKey& result, const char16_t* place) {
  if (!place) return platform::RegOpenKeyExW(root, path, access, result.put());
  const std::u16string whole(path);
  platform::UniqueRegKey at;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = whole.find(u'\\', start);
    const bool last = slash == std::u16string::npos;
    const std::u16string name = whole.substr(start, last ? std::u16string::npos : slash - start);
    const platform::RegKey parent = at ? at.get() : root;
    if (LeadsOutOfHive(parent, name.c_str(), report::PlacedPath(place, whole.substr(0, last ? whole.size() : slash))))
      return platform::kFileNotFound;
    platform::UniqueRegKey next;
    const std::int32_t status = platform::RegOpenLinkKeyW(parent, name.c_str(), last ? access : 0, next.put());
    if (status != platform::kSuccess) return status;
    if (last) {
      result = std::move(next);
      return platform::kSuccess;
    }
    at = std::move(next);
    start = slash + 1;
  }
}

}  // namespace driverreg
