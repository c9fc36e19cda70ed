#include "offline/offline_windows.h"

#include <cstdint>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"
#include "text/text_matching.h"

namespace offline {
namespace {

constexpr std::u16string_view kCurrentControlSet = u"CurrentControlSet\\";
constexpr std::u16string_view kControlSet = u"ControlSet";

bool StartsWithNoCase(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         text::EqualsNoCase(text.substr(0, prefix.size()).c_str(), std::u16string(prefix).c_str());
}

// "ControlSet" and three digits.
bool IsControlSetName(const std::u16string& name) {
  if (name.size() != kControlSet.size() + 3 || !StartsWithNoCase(name, kControlSet)) return false;
  for (std::size_t i = kControlSet.size(); i < name.size(); ++i)
    if (name[i] < u'0' || name[i] > u'9') return false;
  return true;
}

// Select\Current: the number of the control set the system starts from.
std::u16string CurrentControlSet(platform::RegKey root) {
  platform::UniqueRegKey select;
  if (platform::RegOpenKeyExW(root, u"Select", platform::kKeyQueryValue, select.put()) != platform::kSuccess)
    return {};
  std::uint32_t type = 0, current = 0, bytes = sizeof current;
  if (platform::RegQueryValueExW(select.get(), u"Current", &type, reinterpret_cast<std::uint8_t*>(&current),
                                 &bytes) != platform::kSuccess ||
      type != platform::kRegDword || bytes != sizeof current || current == 0 || current > 999)
    return {};
  std::u16string digits = platform::Decimal(static_cast<std::int32_t>(current));
  return std::u16string(kControlSet) + std::u16string(3 - digits.size(), u'0') + digits;
}

}  // namespace

FolderState CheckFolder(const std::u16string& folder) {
  platform::FileIdentity hive{};
  const std::uint32_t opened = platform::IdentityOfPath(SystemHiveFile(folder, u"SYSTEM").c_str(), &hive);
  if (opened == static_cast<std::uint32_t>(platform::kFileNotFound) || opened == platform::kErrorPathNotFound)
    return {FolderCheck::NoSystemHive};
  if (opened != 0) return {FolderCheck::SystemHiveUnreadable, opened};
  const std::u16string running = platform::SystemWindowsDirectory();
  platform::FileIdentity own{}, given{};
  if (running.empty() || platform::IdentityOfPath(running.c_str(), &own) != 0) return {FolderCheck::RunningSystem};
  // Its System32\config\SYSTEM is there, so the folder is too; a folder
  // that will not say who it is cannot be told apart.
  if (platform::IdentityOfPath(folder.c_str(), &given) != 0) return {FolderCheck::RunningSystem};
  return {own.volumeSerial == given.volumeSerial && own.fileIndex == given.fileIndex ? FolderCheck::RunningSystem
                                                                                     : FolderCheck::Usable};
}

std::u16string SystemHiveFile(const std::u16string& folder, const char16_t* name) {
  std::u16string path = folder;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path + u"\\System32\\config\\" + name;
}

std::u16string DriveOf(const std::u16string& folder) {
  if (folder.size() >= 2 && folder[1] == u':') return folder.substr(0, 2);
  if (folder.rfind(u"\\\\", 0) != 0) return {};
  const std::size_t server = folder.find(u'\\', 2);
  if (server == std::u16string::npos) return folder;
  const std::size_t share = folder.find(u'\\', server + 1);
  return share == std::u16string::npos ? folder : folder.substr(0, share);
}

std::u16string SystemDriveLetter(const std::u16string& software) {
  const std::u16string path = software + u"\\Microsoft\\Windows NT\\CurrentVersion";
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExW(platform::kLocalMachine, path.c_str(), platform::kKeyQueryValue, key.put()) !=
      platform::kSuccess)
    return {};
  std::uint32_t type = 0, bytes = 0;
  if (platform::RegQueryValueExW(key.get(), u"SystemRoot", &type, nullptr, &bytes) != platform::kSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz))
    return {};
  std::u16string text(bytes / 2 + 1, u'\0');
  if (platform::RegQueryValueExW(key.get(), u"SystemRoot", &type, reinterpret_cast<std::uint8_t*>(text.data()),
                                 &bytes) != platform::kSuccess)
    return {};
  const char16_t letter = static_cast<char16_t>(text[0] | 0x20);
  if (text.size() < 3 || text[1] != u':' || letter < u'a' || letter > u'z') return {};
  return text.substr(0, 2);
}

std::vector<std::u16string> ControlSets(platform::RegKey root) {
  std::vector<std::u16string> sets;
  const std::u16string current = CurrentControlSet(root);
  platform::UniqueRegKey key;
  if (!current.empty() &&
      platform::RegOpenKeyExW(root, current.c_str(), platform::kKeyRead, key.put()) == platform::kSuccess)
    sets.push_back(current);
  std::uint32_t count = 0, longest = 0;
  if (platform::RegQueryInfoKeyW(root, &count, &longest, nullptr, nullptr, nullptr) != platform::kSuccess)
    return sets;
  std::u16string name(longest + 1, u'\0');
  for (std::uint32_t index = 0; index < count; ++index) {
    std::uint32_t chars = longest + 1;
    if (platform::RegEnumKeyExW(root, index, name.data(), &chars) != platform::kSuccess) continue;
    const std::u16string each = name.substr(0, chars);
    if (IsControlSetName(each) && !(!sets.empty() && text::EqualsNoCase(each.c_str(), sets.front().c_str())))
      sets.push_back(each);
  }
  return sets;
}

std::u16string InControlSet(const std::u16string& path, const std::u16string& controlSet) {
  for (std::size_t at = 0; at + kCurrentControlSet.size() <= path.size(); ++at)
    if (text::EqualsNoCase(path.substr(at, kCurrentControlSet.size()).c_str(),
                           std::u16string(kCurrentControlSet).c_str()))
      return controlSet + u"\\" + path.substr(at + kCurrentControlSet.size());
  return controlSet + u"\\" + path;
}

}  // namespace offline
