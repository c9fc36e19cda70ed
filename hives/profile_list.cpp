#include "hives/profile_list.h"

#include <cstdint>
#include <vector>

#include "platform/environment.h"
#include "platform/unique_handle.h"

namespace hives {
namespace {

constexpr const char16_t* kProfileImagePath = u"ProfileImagePath";

// ProfileImagePath's text up to its first NUL; empty when it is missing, of
// another type or cannot be read.
std::u16string ImagePathOf(platform::RegKey profile) {
  std::uint32_t type = 0, bytes = 0;
  if (platform::RegQueryValueExW(profile, kProfileImagePath, &type, nullptr, &bytes) != platform::kSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz))
    return {};
  std::vector<char16_t> text(bytes / 2 + 1, u'\0');
  if (platform::RegQueryValueExW(profile, kProfileImagePath, &type, reinterpret_cast<std::uint8_t*>(text.data()),
                                 &bytes) != platform::kSuccess)
    return {};
  return std::u16string(text.data());
}

}  // namespace

std::vector<Profile> ReadProfileList(platform::RegKey root, const char16_t* listPath) {
  std::vector<Profile> profiles;
  platform::UniqueRegKey list;
  if (platform::RegOpenKeyExW(root, listPath, platform::kKeyRead, list.put()) != platform::kSuccess) return profiles;
  std::uint32_t count = 0, longest = 0;
  if (platform::RegQueryInfoKeyW(list.get(), &count, &longest, nullptr, nullptr, nullptr) != platform::kSuccess)
    return profiles;
  std::vector<char16_t> name(longest + 1);
  for (std::uint32_t index = 0; index < count; ++index) {
    std::uint32_t chars = longest + 1;
    if (platform::RegEnumKeyExW(list.get(), index, name.data(), &chars) != platform::kSuccess) continue;
    const std::u16string sid(name.data(), chars);
    platform::UniqueRegKey profile;
    if (platform::RegOpenKeyExW(list.get(), sid.c_str(), platform::kKeyRead, profile.put()) != platform::kSuccess)
      continue;
    std::u16string imagePath = ImagePathOf(profile.get());
    if (imagePath.empty()) continue;
    std::u16string folder = platform::ExpandEnvironmentStringsW(imagePath);
    profiles.push_back({sid, std::move(imagePath), std::move(folder)});
  }
  return profiles;
}

std::u16string UserHiveFile(const std::u16string& folder) { return folder + u"\\NTUSER.DAT"; }

std::u16string ClassesHiveFile(const std::u16string& folder) {
  return folder + u"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
}

}  // namespace hives
