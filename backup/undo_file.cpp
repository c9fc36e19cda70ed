#include "backup/undo_file.h"

#include <string>
#include <utility>
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

std::string Bytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::int32_t LastErrorOr(std::int32_t fallback) {
  const auto error = static_cast<std::int32_t>(platform::GetLastError());
  return error != 0 ? error : fallback;
}

// UTF-16LE, low byte first whatever the machine, at the file's end, then
// flushed: the entry is on the disk when this returns 0. A write that fails
// part of the way is cut back to where the entry began.
std::int32_t Write(const std::u16string& text) {
  const platform::FileHandle file = File().get();
  std::uint64_t start = 0;
  if (!platform::GetFileSizeEx(file, &start)) return LastErrorOr(kWriteFault);
  const std::string bytes = Bytes(text);
  if (!platform::WriteFileAt(file, start, bytes.data(), bytes.size())) {
    const std::int32_t error = LastErrorOr(kWriteFault);
    platform::SetEndOfFile(file, start);
    return error;
  }
  if (!platform::FlushFileBuffers(file)) return LastErrorOr(kWriteFault);
  return 0;
}

// The mark and the version line, as this file and reg export begin, and an
// even size: UTF-16 appended to anything else would be lost to reg import.
bool BeginsAsUndoFile(platform::FileHandle file, std::uint64_t size) {
  const std::string head = Bytes(std::u16string(1, kByteOrderMark) + u"Windows Registry Editor Version 5.00");
  if (size % 2 != 0 || size < head.size()) return false;
  std::string read(head.size(), '\0');
  std::size_t got = 0;
  return platform::ReadFile(file, read.data(), read.size(), &got) && got == head.size() && read == head;
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

std::uint32_t OpenUndoFile(const char16_t* path, const platform::FileIdentity* log) {
  platform::FileHandle opened{};
  const std::uint32_t status = platform::OpenFileCreatingFolders(path, &opened, platform::OpenFileForUpdate);
  if (status != 0) return status;
  platform::UniqueFile file(opened);
  if (log) {
    platform::FileIdentity own{};
    if (const std::uint32_t error = platform::IdentityOfFile(opened, &own); error != 0) return error;
    if (platform::SameFile(own, *log)) return kUndoFileIsTheLog;
  }
  std::uint64_t size = 0;
  if (!platform::GetFileSizeEx(opened, &size)) return static_cast<std::uint32_t>(LastErrorOr(kWriteFault));
  if (size != 0 && !BeginsAsUndoFile(opened, size)) return kNotAnUndoFile;
  File() = std::move(file);
  if (size != 0) return 0;
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
