#include "backup/undo_file.h"

#include <string>

#include "backup/reg_file.h"
#include "backup/registry_export.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/unique_handle.h"

namespace backup {
namespace {

constexpr std::int32_t kInvalidName = 123;  // ERROR_INVALID_NAME
constexpr std::int32_t kWriteFault = 29;    // ERROR_WRITE_FAULT, when the system gives no code

platform::UniqueFile& File() {
  static platform::UniqueFile file;
  return file;
}

// UTF-16LE, low byte first whatever the machine.
std::int32_t Write(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  if (platform::WriteFile(File().get(), bytes.data(), bytes.size())) return 0;
  const auto error = static_cast<std::int32_t>(platform::GetLastError());
  return error != 0 ? error : kWriteFault;
}

// The real place of an open key; empty when it cannot be had.
std::u16string PlaceOf(platform::RegKey key) { return RealPlace(platform::KeyObjectName(key)); }

template <typename Export>
std::int32_t Save(platform::RegKey key, const Export& entryOf) {
  if (!File()) return 0;
  const std::u16string place = PlaceOf(key);
  if (place.empty()) return kInvalidName;
  std::u16string entry;
  if (const std::int32_t status = entryOf(place, entry); status != platform::kSuccess) return status;
  return Write(entry);
}

}  // namespace

std::uint32_t OpenUndoFile(const char16_t* path) {
  platform::FileHandle file{};
  const std::uint32_t status = platform::OpenFileCreatingFolders(path, &file);
  if (status != 0) return status;
  File() = platform::UniqueFile(file);
  std::uint64_t size = 0;
  if (!platform::GetFileSizeEx(file, &size) || size != 0) return 0;
  const std::int32_t written = Write(std::u16string(1, kByteOrderMark) + FileHeader());
  if (written != 0) CloseUndoFile();
  return static_cast<std::uint32_t>(written);
}

void CloseUndoFile() { File().reset(); }

std::int32_t SaveKey(platform::RegKey key) {
  return Save(key,
              [key](const std::u16string& place, std::u16string& entry) { return ExportKeyTree(key, place, entry); });
}

std::int32_t SaveValue(platform::RegKey key, const char16_t* name) {
  return Save(key, [key, name](const std::u16string& place, std::u16string& entry) {
    return ExportValue(key, place, name, entry);
  });
}

std::int32_t SaveHiveNote(const std::vector<std::pair<std::u16string, std::u16string>>& hives) {
  if (!File() || hives.empty()) return 0;
  // reg names HKEY_LOCAL_MACHINE HKLM.
  const auto shortName = [](const std::u16string& key) {
    const std::size_t slash = key.find(u'\\');
    return u"HKLM" + (slash == std::u16string::npos ? std::u16string() : key.substr(slash));
  };
  std::u16string note = CommentLine(u"The keys below are in hives of a Windows that was not running, loaded by");
  note += CommentLine(u"Korvex Cleaner /offline. To put them back, from an elevated console:");
  for (const auto& [key, file] : hives) note += CommentLine(u"  reg load " + shortName(key) + u" \"" + file + u"\"");
  note += CommentLine(u"  reg import <this file>");
  for (const auto& [key, file] : hives) note += CommentLine(u"  reg unload " + shortName(key));
  note += CommentLine(u"The drive letter of the files may differ when the disk is seen from another system.");
  return Write(note + u"\r\n");
}

std::int32_t SaveValueAt(platform::RegKey root, const char16_t* path, const char16_t* name) {
  if (!File()) return 0;
  platform::UniqueRegKey key;
  const std::int32_t opened = platform::RegOpenKeyExW(root, path, platform::kKeyRead, key.put());
  return opened != platform::kSuccess ? opened : SaveValue(key.get(), name);
}

}  // namespace backup
