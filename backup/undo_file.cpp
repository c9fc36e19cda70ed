#include "backup/undo_file.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/reg_file.h"
#include "backup/registry_export.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/hives.h"
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

// The error of a cut-back that failed, after which the file is closed with
// an entry of unknown length at its end, and every later entry refused: 0
// while none failed.
std::int32_t& Broken() {
  static std::int32_t error = 0;
  return error;
}

// Each service key saved whole, by real place, with its ImagePath as it was
// (empty when it had none): what a class list entry's note names, once the
// run has deleted the key.
std::vector<std::pair<std::u16string, std::u16string>>& SavedImagePaths() {
  static std::vector<std::pair<std::u16string, std::u16string>> paths;
  return paths;
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
// part of the way is cut back to where the entry began; a cut-back that
// fails closes the file and refuses every later entry (Broken).
std::int32_t WriteRaw(const std::u16string& text) {
  const platform::FileHandle file = File().get();
  std::uint64_t start = 0;
  if (!platform::GetFileSizeEx(file, &start)) return LastErrorOr(kWriteFault);
  const std::string bytes = Bytes(text);
  if (!platform::WriteFileAt(file, start, bytes.data(), bytes.size())) {
    const std::int32_t error = LastErrorOr(kWriteFault);
    if (!platform::SetEndOfFile(file, start)) {
      Broken() = error;
      File().reset();
    }
    return error;
  }
  if (!platform::FlushFileBuffers(file)) return LastErrorOr(kWriteFault);
  return 0;
}

// An entry, on a line of its own whatever the file ends with.
std::int32_t Write(const std::u16string& entry) { return WriteRaw(u"\r\n" + entry); }

// Whether the file ends as a whole entry does, with a blank line.
bool EndsWhole(platform::FileHandle file, std::uint64_t size) {
  const std::string blank = Bytes(u"\r\n\r\n");
  if (size < blank.size()) return false;
  std::string read(blank.size(), '\0');
  std::size_t got = 0;
  return platform::ReadFileAt(file, size - blank.size(), read.data(), read.size(), &got) && got == blank.size() &&
         read == blank;
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

// Whether the key holds an ImagePath, a string, and what it says.
bool ImagePathOf(platform::RegKey key, std::u16string& image) {
  std::uint32_t type = platform::kRegNone;
  std::uint32_t bytes = 0;
  if (platform::RegQueryValueExW(key, u"ImagePath", &type, nullptr, &bytes) != platform::kSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz))
    return false;
  std::u16string text(bytes / 2 + 1, u'\0');
  bytes = static_cast<std::uint32_t>(text.size() * 2);
  if (platform::RegQueryValueExW(key, u"ImagePath", &type, reinterpret_cast<std::uint8_t*>(text.data()), &bytes) !=
      platform::kSuccess)
    return false;
  text.resize(std::min<std::size_t>(bytes / 2, text.size()));
  image = text.substr(0, text.find(u'\0'));
  return true;
}

bool StartsNoCase(const std::u16string& text, std::u16string_view start) {
  return text.size() >= start.size() &&
         text::EqualsNoCase(text.substr(0, start.size()).c_str(), std::u16string(start).c_str());
}

// The driver file of the service name whose ImagePath is image (none:
// empty), as the boot loader finds it in the Windows folder windows.
std::u16string DriverFile(std::u16string image, const std::u16string& name, const std::u16string& windows) {
  if (image.empty()) return windows + u"\\System32\\drivers\\" + name + u".sys";
  if (StartsNoCase(image, u"\\??\\")) return image.substr(4);
  for (std::u16string_view root : {u"\\SystemRoot\\", u"%SystemRoot%\\", u"%windir%\\"})
    if (StartsNoCase(image, root)) return windows + u"\\" + image.substr(root.size());
  const bool absolute = image[0] == u'\\' || (image.size() > 1 && image[1] == u':');
  return absolute ? image : windows + u"\\" + image;
}

// The folders from the root of path (a full path) down to the one that holds
// its last name: "C:\", "C:\Undo" for "C:\Undo\korvex.reg"; a share's root
// is "\\server\share\".
std::vector<std::u16string> FoldersOf(const std::u16string& path) {
  const auto isSlash = [](char16_t unit) { return unit == u'\\' || unit == u'/'; };
  std::size_t at = path.rfind(u"\\\\?\\", 0) == 0 ? 4 : 0;
  std::size_t rootEnd = 0;
  if (path.size() >= at + 3 && path[at + 1] == u':' && isSlash(path[at + 2])) {
    rootEnd = at + 3;
  } else if (at == 0 && path.size() > 2 && isSlash(path[0]) && isSlash(path[1])) {
    // \\server\share\ : past two names.
    rootEnd = 2;
    for (int names = 0; names < 2 && rootEnd < path.size(); ++names) {
      while (rootEnd < path.size() && !isSlash(path[rootEnd])) ++rootEnd;
      if (rootEnd < path.size()) ++rootEnd;
    }
  }
  std::vector<std::u16string> folders{path.substr(0, rootEnd)};
  for (std::size_t end = rootEnd; end < path.size(); ++end)
    if (isSlash(path[end]) && end > rootEnd) folders.push_back(path.substr(0, end));
  return folders;
}

// What another account must not be able to do to the undo file: write it,
// delete or rename it, or change its permissions or owner.
constexpr std::uint32_t kFileRights = platform::kFileWriteData | platform::kFileAppendData | platform::kFileDelete |
                                      platform::kFileWriteDac | platform::kFileWriteOwner;
// To a folder on its way: delete or rename what is in it (the next folder or
// the file, to put another in its place), or change its permissions or
// owner. A folder below the root must not be deleted or renamed either; the
// file's own folder must not take new files. Creating folders is left
// allowed elsewhere: the root of C: lets every authenticated user, and a
// folder that stands where the undo file's path needs one is theirs, and
// refused by its owner.
constexpr std::uint32_t kWayRights = platform::kFileDeleteChild | platform::kFileWriteDac | platform::kFileWriteOwner;

// Whether security lets anyone but administrators change the file or folder
// at path through rights; why says who and what.
bool OpenToOthers(const platform::FileSecurity& security, std::uint32_t rights, const std::u16string& path,
                  bool folder, UndoFileRefusal& why) {
  if (security.ownerTrusted && (security.othersMay & rights) == 0) return false;
  why.path = path;
  why.folder = folder;
  // A file system that keeps no owner (FAT) keeps no permissions either.
  why.owner = security.ownerTrusted ? std::u16string() : security.owner;
  return true;
}

// whole: the entry is a key with its subtree, written once per run.
template <typename Export>
std::int32_t Save(platform::RegKey key, const Export& entryOf, bool whole = false) {
  if (Broken() != 0) return Broken();
  if (!File()) return 0;
  const std::u16string place = PlaceOf(key);
  if (place.empty()) return kInvalidName;
  if (whole && SavedAlready(place)) return 0;
  std::u16string entry;
  if (const std::int32_t status = entryOf(place, entry); status != platform::kSuccess) return status;
  const std::int32_t written = Write(entry);
  if (whole && written == 0) {
    SavedWhole().push_back(place);
    if (std::u16string image; ImagePathOf(key, image)) SavedImagePaths().emplace_back(place, image);
  }
  return written;
}

}  // namespace

std::uint32_t OpenUndoFile(const char16_t* path, const platform::FileIdentity* log, UndoFileRefusal* refusal) {
  UndoFileRefusal ignored;
  UndoFileRefusal& why = refusal ? *refusal : ignored;
  CreateUndoFolders(path);
  const std::vector<std::u16string> folders = FoldersOf(platform::FullPathName(path));
  for (std::size_t i = 0; i < folders.size(); ++i) {
    platform::FileSecurity security;
    if (const std::uint32_t error = platform::SecurityOfPath(folders[i].c_str(), &security); error != 0) return error;
    std::uint32_t rights = kWayRights;
    if (i != 0) rights |= platform::kFileDelete;
    if (i + 1 == folders.size()) rights |= platform::kFileAddFile;
    if (OpenToOthers(security, rights, folders[i], true, why)) return kUndoFileOpenToOthers;
  }
  // The log, open for writing, keeps the file from opening here; its name is
  // compared first, then the handle's file once the open has made it sure.
  if (log) {
    platform::FileIdentity named{};
    if (platform::IdentityOfPath(path, &named) == 0 && platform::SameFile(named, *log)) return kUndoFileIsTheLog;
  }
  platform::FileHandle opened{};
  const std::uint32_t status = platform::OpenFileForUpdate(path, &opened);
  if (status != 0) return status;
  platform::UniqueFile file(opened);
  platform::FileSecurity security;
  if (const std::uint32_t error = platform::SecurityOfFile(opened, &security); error != 0) return error;
  if (OpenToOthers(security, kFileRights, path, false, why)) return kUndoFileOpenToOthers;
  if (log) {
    platform::FileIdentity own{};
    if (const std::uint32_t error = platform::IdentityOfFile(opened, &own); error != 0) return error;
    if (platform::SameFile(own, *log)) return kUndoFileIsTheLog;
  }
  std::uint64_t size = 0;
  if (!platform::GetFileSizeEx(opened, &size)) return static_cast<std::uint32_t>(LastErrorOr(kWriteFault));
  if (size != 0 && !BeginsAsUndoFile(opened, size)) return kNotAnUndoFile;
  const bool torn = size != 0 && !EndsWhole(opened, size);
  File() = std::move(file);
  Broken() = 0;
  // A file whose end is not a whole entry's, left by a run that was killed
  // in the middle of one, gets its last line ended and a blank line first.
  std::int32_t written = 0;
  if (size == 0) written = WriteRaw(std::u16string(1, kByteOrderMark) + FileHeader());
  else if (torn) written = WriteRaw(u"\r\n\r\n");
  if (written != 0) CloseUndoFile();
  return static_cast<std::uint32_t>(written);
}

void CreateUndoFolders(const char16_t* path) {
  platform::CreateFoldersOnTheWay(path, platform::CreateProtectedDirectoryW);
}

void CloseUndoFile() {
  File().reset();
  Broken() = 0;
  SavedWhole().clear();
  SavedImagePaths().clear();
}

std::int32_t SaveKey(platform::RegKey key) {
  const std::int32_t saved = Save(
      key, [key](const std::u16string& place, std::u16string& entry) { return ExportKeyTree(key, place, entry); },
      true);
  return saved;
}

std::int32_t SaveKeyAt(platform::RegKey root, const char16_t* path) {
  if (Broken() != 0) return Broken();
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

std::int32_t SaveFilterList(platform::RegKey key, const char16_t* name, const std::vector<std::u16string>& filters,
                            const char16_t* windowsFolder) {
  if (Broken() != 0) return Broken();
  if (!File()) return 0;
  const std::u16string windows = windowsFolder ? windowsFolder : platform::SystemWindowsDirectory();
  return Save(key, [&](const std::u16string& place, std::u16string& entry) {
    std::u16string note;
    if (!filters.empty()) {
      note += CommentLine(u"Importing the list below puts these filter drivers of Korvex for Windows back in it. A");
      note += CommentLine(u"filter whose driver file is missing keeps the class's devices from starting: for disks");
      note += CommentLine(u"and volumes Windows stops at boot with 0x7B. Import it only where each file is there.");
    }
    // The services' keys lie beside the class keys: ...\Control\Class\{...}
    // and ...\Services\<name>.
    const auto control = text::ContainsNoCase(std::u16string_view(place), u"\\Control\\Class\\");
    const std::u16string services = control ? place.substr(0, *control) + u"\\Services\\" : std::u16string();
    for (const std::u16string& filter : filters) {
      std::u16string image;
      bool found = false;
      for (const auto& [saved, path] : SavedImagePaths())
        if (!found && text::EqualsNoCase(saved.c_str(), (services + filter).c_str())) {
          image = path;
          found = true;
        }
      if (!found && services.rfind(u"HKEY_LOCAL_MACHINE\\", 0) == 0) {
        platform::UniqueRegKey service;
        const std::u16string below = services.substr(19) + filter;
        if (platform::RegOpenKeyExW(platform::kLocalMachine, below.c_str(), platform::kKeyRead, service.put()) ==
            platform::kSuccess)
          ImagePathOf(service.get(), image);
      }
      const std::u16string file = DriverFile(image, filter, windows);
      std::u16string line = u"  " + filter;
      line += u": ";
      line += file;
      line += platform::FileStatus(file.c_str()) == 0 ? u" was there at the run" : u" was missing at the run";
      note += CommentLine(line);
    }
    const std::int32_t status = ExportValue(key, place, name, entry);
    if (status == platform::kSuccess) entry.insert(0, note);
    return status;
  });
}

std::int32_t SaveHiveNote(const std::vector<std::pair<std::u16string, std::u16string>>& hives) {
  if (Broken() != 0) return Broken();
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
  if (Broken() != 0) return Broken();
  if (!File()) return 0;
  platform::UniqueRegKey key;
  const std::int32_t opened = platform::RegOpenKeyExW(root, path, platform::kKeyRead, key.put());
  return opened != platform::kSuccess ? opened : SaveValue(key.get(), name);
}

}  // namespace backup
