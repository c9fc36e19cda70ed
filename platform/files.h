// The files a run with arguments writes: its log, appended to and created,
// with its folder, when missing; and which file or folder a path names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class FileHandle : std::uintptr_t {};

constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAlreadyExists = 183;

// CreateFileW with FILE_APPEND_DATA (every write lands at the end of the file,
// whoever else appends to it), sharing reading and writing (a log viewer may
// follow the file as it grows), OPEN_ALWAYS: the file is created when
// missing. Returns 0 and the handle, or the error (ERROR_PATH_NOT_FOUND when
// the folder is missing).
std::uint32_t OpenFileForAppend(const char16_t* path, FileHandle* file);

// GetFileSizeEx; nonzero on success.
int GetFileSizeEx(FileHandle file, std::uint64_t* size);

// WriteFile of all length bytes, straight to the system with no buffer in
// this process; nonzero when all were written.
int WriteFile(FileHandle file, const void* data, std::size_t length);

int CloseHandle(FileHandle file);

// CreateDirectoryW with no security attributes; nonzero on success.
// ERROR_ALREADY_EXISTS when there is one.
int CreateDirectoryW(const char16_t* path);

// A file or folder as the file system knows it, whatever path names it: two
// paths name the same one when both numbers agree, through a different drive
// letter, a junction or a share of the same volume alike.
struct FileIdentity {
  std::uint32_t volumeSerial;
  std::uint64_t fileIndex;
};

// CreateFileW with no access, every sharing mode and FILE_FLAG_BACKUP_SEMANTICS
// (which opens a folder too), then GetFileInformationByHandle. Returns 0 and
// the identity, or the error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND when
// a folder on the way is missing). A volume that gives its files no fixed
// index (some network file systems) may give two files one identity.
std::uint32_t IdentityOfPath(const char16_t* path, FileIdentity* identity);

// OpenFileForAppend, and when the folder is missing, CreateDirectoryW on
// every folder on the way from the top (each that fails, a drive, a share's
// server or one that exists, is passed over) and the open once more, which
// tells whether the way is there now. Returns 0 or the last open's error.
inline std::uint32_t OpenFileCreatingFolders(const char16_t* path, FileHandle* file) {
  std::uint32_t status = OpenFileForAppend(path, file);
  if (status != kErrorPathNotFound) return status;
  const std::u16string text(path);
  for (std::size_t end = 1; end < text.size(); ++end)
    if (text[end] == u'\\' || text[end] == u'/') CreateDirectoryW(text.substr(0, end).c_str());
  return OpenFileForAppend(path, file);
}

}  // namespace platform
