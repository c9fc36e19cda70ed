// The files a run with arguments writes: its log, appended to and created,
// with its folder, when missing, and its undo file, which is read before it
// is appended to and cut back when an entry is not written whole; and which
// file or folder a path names.
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

// CreateFileW with GENERIC_READ and GENERIC_WRITE, sharing reading and
// writing, OPEN_ALWAYS: a file that is read, written at the offsets given and
// cut back. Returns as OpenFileForAppend does.
std::uint32_t OpenFileForUpdate(const char16_t* path, FileHandle* file);

// GetFileSizeEx; nonzero on success.
int GetFileSizeEx(FileHandle file, std::uint64_t* size);

// ReadFile from the file's current position (its start, on a handle just
// opened) of up to length bytes; nonzero on success, with the count read.
int ReadFile(FileHandle file, void* data, std::size_t length, std::size_t* read);

// WriteFile of all length bytes, straight to the system with no buffer in
// this process; nonzero when all were written. WriteFileAt writes them from
// offset on (an OVERLAPPED offset); a write that fails may leave part of the
// bytes in the file, as a disk that fills up under it does.
int WriteFile(FileHandle file, const void* data, std::size_t length);
int WriteFileAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t length);

// FlushFileBuffers: what the system still holds of the file's writes goes to
// the disk (or the share's server); nonzero when it did.
int FlushFileBuffers(FileHandle file);

// SetFilePointerEx to size, then SetEndOfFile: the file ends there. Needs
// GENERIC_WRITE (OpenFileForUpdate); nonzero on success.
int SetEndOfFile(FileHandle file, std::uint64_t size);

int CloseHandle(FileHandle file);

// Which file a handle or a path stands for, whatever name led to it: two
// handles are on the same file when both numbers are equal, however its name
// was spelled (case, "." and "..", a short 8.3 name) and through whichever
// hard link. From GetFileInformationByHandle: the volume's serial number and
// the file's index on it. A file system that has no stable 64-bit index (ReFS
// gives 128-bit ids, a share's server may give none) can break the promise.
struct FileIdentity {
  std::uint32_t volumeSerial;
  std::uint64_t fileIndex;
};
// 0, or the error of GetFileInformationByHandle.
std::uint32_t IdentityOfFile(FileHandle file, FileIdentity* identity);
// The same for a path, opened for it alone with FILE_READ_ATTRIBUTES, sharing
// everything, and FILE_FLAG_BACKUP_SEMANTICS so that a folder opens too; 0 or
// the error of the open or of the query.
std::uint32_t IdentityOfPath(const char16_t* path, FileIdentity* identity);

inline bool SameFile(const FileIdentity& one, const FileIdentity& other) {
  return one.volumeSerial == other.volumeSerial && one.fileIndex == other.fileIndex;
}

// CreateDirectoryW with no security attributes; nonzero on success.
// ERROR_ALREADY_EXISTS when there is one.
int CreateDirectoryW(const char16_t* path);

// open (OpenFileForAppend or OpenFileForUpdate), and when the folder is
// missing, CreateDirectoryW on every folder on the way from the top (each
// that fails, a drive, a share's server or one that exists, is passed over)
// and the open once more, which tells whether the way is there now. Returns 0
// or the last open's error.
inline std::uint32_t OpenFileCreatingFolders(const char16_t* path, FileHandle* file,
                                             std::uint32_t (*open)(const char16_t*,
                                                                   FileHandle*) = OpenFileForAppend) {
  std::uint32_t status = open(path, file);
  if (status != kErrorPathNotFound) return status;
  const std::u16string text(path);
  for (std::size_t end = 1; end < text.size(); ++end)
    if (text[end] == u'\\' || text[end] == u'/') CreateDirectoryW(text.substr(0, end).c_str());
  return open(path, file);
}

}  // namespace platform
