#include "backup/undo_file.h"

#include <string>
#include <vector>

#include "backup/reg_file.h"
#include "backup/registry_export.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/unique_handle.h"
#include "text/text_matching.h"

namespace backup {
namespace {

constexpr std::int32_t kInvalidName = 123;  // ERROR_INVALID_NAME
constexpr std::int32_t kWriteFault = 29;    // ERROR_WRITE_FAULT, when the system gives no code

platform::UniqueFile& File() {
  static platform::UniqueFile file;
  return file;
}

// The real places of the keys saved whole since the file was opened.
std::vector<std::u16string>& SavedWhole() {
  static std::vector<std::u16string> places;
  return places;
}

// Whether the key at place is inside an entry this run already wrote: that
// entry holds it as it was before the run changed anything, which a second
// one would not (the service manager writes DeleteFlag into a service's key
// when the service is deleted, and the key phase then saves that key again).
bool SavedAlready(const std::u16string& place) {
  for (const std::u16string& saved : SavedWhole())
    if (place.size() >= saved.size() && text::EqualsNoCase(place.substr(0, saved.size()).c_str(), saved.c_str()) &&
        (place.size() == saved.size() || place[saved.size()] == u'\\'))
      return true;
  return false;
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

// whole: the entry is a key with its subtree, written once per run.
template <typename Export>
std::int32_t Save(platform::RegKey key, const Export& entryOf, bool whole = false) {
  if (!File()) return 0;
  const std::u16string place = PlaceOf(key);
  if (place.empty()) return kInvalidName;
  if (whole && SavedAlready(place)) return 0;
  std::u16string entry;
  if (const std::int32_t status = entryOf(place, entry); status != platform::kSuccess) return status;
  const std::int32_t written = Write(entry);
  if (whole && written == 0) SavedWhole().push_back(place);
  return written;
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

void CloseUndoFile() {
  File().reset();
  SavedWhole().clear();
}

std::int32_t SaveKey(platform::RegKey key) {
  return Save(
      key, [key](const std::u16string& place, std::u16string& entry) { return ExportKeyTree(key, place, entry); },
      true);
}

std::int32_t SaveKeyAt(platform::RegKey root, const char16_t* path) {
  if (!File()) return 0;
  platform::UniqueRegKey key;
  const std::int32_t opened = platform::RegOpenKeyExW(root, path, platform::kKeyRead, key.put());
  return opened != platform::kSuccess ? opened : SaveKey(key.get());
}

std::int32_t SaveValue(platform::RegKey key, const char16_t* name) {
  return Save(key, [key, name](const std::u16string& place, std::u16string& entry) {
    return ExportValue(key, place, name, entry);
  });
}

std::int32_t SaveValueAt(platform::RegKey root, const char16_t* path, const char16_t* name) {
  if (!File()) return 0;
  platform::UniqueRegKey key;
  const std::int32_t opened = platform::RegOpenKeyExW(root, path, platform::kKeyRead, key.put());
  return opened != platform::kSuccess ? opened : SaveValue(key.get(), name);
}

}  // namespace backup
