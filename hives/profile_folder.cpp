#include "hives/profile_folder.h"

#include <string_view>

#include "text/text_matching.h"

namespace hives {
namespace {

bool StartsWithNoCase(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         text::EqualsNoCase(text.substr(0, prefix.size()).c_str(), std::u16string(prefix).c_str());
}

// The rest of path after start, when path is start itself or goes on below it.
std::optional<std::u16string> Below(const std::u16string& path, const std::u16string& start) {
  if (start.empty() || !StartsWithNoCase(path, start)) return std::nullopt;
  const std::u16string rest = path.substr(start.size());
  if (!rest.empty() && rest[0] != u'\\') return std::nullopt;
  return rest;
}

std::u16string WithoutTrailingSlash(std::u16string folder) {
  while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
  return folder;
}

}  // namespace

std::optional<std::u16string> ProfileFolder(const FolderMap& map, const Profile& profile) {
  if (map.systemDrive.empty()) return profile.folder;
  const std::u16string& path = profile.imagePath;
  const std::u16string drive = WithoutTrailingSlash(map.systemDrive);
  if (const auto rest = Below(path, u"%SystemDrive%")) return drive + *rest;
  if (const auto rest = Below(path, map.systemLetter)) return drive + *rest;
  for (const char16_t* variable : {u"%SystemRoot%", u"%windir%"})
    if (const auto rest = Below(path, variable)) return WithoutTrailingSlash(map.windows) + *rest;
  return std::nullopt;
}

}  // namespace hives
