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

// CreateFileW with GENERIC_READ and GENERIC_WRITE, sharing reading only (no
// other handle may write the file while this one is open), OPEN_ALWAYS: a
// file that is read, written at the offsets given and cut back. A file it
// creates gets kProtectedSecurity. Returns as OpenFileForAppend does.
std::uint32_t OpenFileForUpdate(const char16_t* path, FileHandle* file);

// GetFileSizeEx; nonzero on success.
int GetFileSizeEx(FileHandle file, std::uint64_t* size);

// ReadFile from offset on (an OVERLAPPED offset) of up to length bytes;
// nonzero on success, with the count read.
int ReadFileAt(FileHandle file, std::uint64_t offset, void* data, std::size_t length, std::size_t* read);

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
// ERROR_ALREADY_EXISTS when there is one. The folder inherits from the one
// above it: below the root of C: that lets every authenticated user change
// what it holds.
int CreateDirectoryW(const char16_t* path);

// The security descriptor that the undo file and the folders made for it are
// created with, "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)": a protected DACL (it
// inherits nothing from the folder above) that gives Administrators and
// SYSTEM full control, passed on to everything created inside, and nobody
// else any right. The owner is the creator's default, Administrators for an
// elevated administrator.
//
// CreateDirectoryW with that descriptor; as CreateDirectoryW.
int CreateProtectedDirectoryW(const char16_t* path);

// Who can change a file or folder, from its owner and DACL (GetSecurityInfo
// with OWNER_SECURITY_INFORMATION and DACL_SECURITY_INFORMATION).
//
// A trusted account is Administrators (S-1-5-32-544), SYSTEM (S-1-5-18),
// TrustedInstaller (S-1-5-80-956008885-3418522649-1831038044-1853292631-
// 2271478464), and the account this process runs as when its token is a
// member of Administrators (CheckTokenMembership): an elevated administrator
// is an administrator, and Wine, which keeps a descriptor only where the file
// system holds extended attributes, gives every other file the account
// running it as its owner. ACEs for CREATOR OWNER (S-1-3-0), which no token
// holds, and OWNER RIGHTS (S-1-3-4), which stand for the owner, give nobody
// else anything.
struct FileSecurity {
  bool ownerTrusted = false;
  // The owner as "DOMAIN\name" (LookupAccountSidW), else as a SID string.
  std::u16string owner;
  // Every right that an allow ACE which applies to the object itself (not
  // inherit-only) gives anyone but a trusted account, generic rights mapped
  // to the file rights below; every right for a NULL DACL. Deny ACEs are not
  // subtracted: a right allowed anywhere counts.
  std::uint32_t othersMay = 0;
};

// The file rights FileSecurity::othersMay is made of that matter here. On a
// folder FILE_WRITE_DATA is FILE_ADD_FILE and FILE_APPEND_DATA is
// FILE_ADD_SUBDIRECTORY.
constexpr std::uint32_t kFileWriteData = 0x0002;
constexpr std::uint32_t kFileAddFile = 0x0002;
constexpr std::uint32_t kFileAppendData = 0x0004;
constexpr std::uint32_t kFileAddSubdirectory = 0x0004;
constexpr std::uint32_t kFileDeleteChild = 0x0040;
constexpr std::uint32_t kFileDelete = 0x00010000;
constexpr std::uint32_t kFileWriteDac = 0x00040000;
constexpr std::uint32_t kFileWriteOwner = 0x00080000;

// For an open file; 0 or the error.
std::uint32_t SecurityOfFile(FileHandle file, FileSecurity* security);
// For a file or folder by path (GetNamedSecurityInfoW): a drive's root is
// "C:\" with its backslash; 0 or the error (ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND when it is not there).
std::uint32_t SecurityOfPath(const char16_t* path, FileSecurity* security);

// GetFullPathNameW: the path with the current folder and drive filled in and
// "." and ".." taken out; path itself when that fails.
std::u16string FullPathName(const char16_t* path);

// CreateDirectoryW, or create, on every folder on the way from the top (each
// that fails, a drive, a share's server or one that exists, is passed over).
inline void CreateFoldersOnTheWay(const char16_t* path, int (*create)(const char16_t*) = CreateDirectoryW) {
  const std::u16string text(path);
  for (std::size_t end = 1; end < text.size(); ++end)
    if (text[end] == u'\\' || text[end] == u'/') create(text.substr(0, end).c_str());
}

// open (OpenFileForAppend or OpenFileForUpdate), and when the folder is
// missing, CreateFoldersOnTheWay and the open once more, which tells whether
// the way is there now. Returns 0 or the last open's error.
inline std::uint32_t OpenFileCreatingFolders(const char16_t* path, FileHandle* file,
                                             std::uint32_t (*open)(const char16_t*,
                                                                   FileHandle*) = OpenFileForAppend) {
  std::uint32_t status = open(path, file);
  if (status != kErrorPathNotFound) return status;
  CreateFoldersOnTheWay(path);
  return open(path, file);
}

}  // namespace platform
