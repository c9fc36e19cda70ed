// Test controls of what a run with arguments meets around it in memory: the
// command line it is given, whether it is a 32-bit process on 64-bit Windows,
// standard error, the files and folders it writes, the named mutex another
// cleaner may hold, and the computer, account and clock its log records.
// Reset with the rest of the machine (ResetMachine).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/environment.h"

namespace memory {

// A fresh environment: the command line is kProgramName alone, the process
// is not WOW64, standard error is empty, the only folders are the drive roots
// ("C:", ...) and the current folder, no file exists, no mutex is held, no
// name is taken, private namespaces can be had, and the clock reads
// kStartingLocalTime.
void ResetEnvironment();

inline constexpr std::u16string_view kProgramName = u"korvex-cleaner.exe";
inline constexpr std::u16string_view kComputerName = u"TESTPC-07";
inline constexpr std::u16string_view kUserName = u"SYSTEM";
inline constexpr platform::LocalTime kStartingLocalTime{2024, 3, 9, 7, 5, 3, 60};

// What GetCommandLineW returns from now on, the program's name included.
void SetCommandLine(std::u16string_view commandLine);

// From now on IsWow64Process answers this: true for the 32-bit build on
// 64-bit Windows.
void SetWow64Process(bool wow64);

// The running system's Windows folder (SystemWindowsDirectory) is always
// C:\Windows, which exists only once a test creates it.
//
// The process's environment variables for ExpandEnvironmentStringsW: after a
// reset COMPUTERNAME (kComputerName), ProgramData ("C:\ProgramData") and
// windir ("C:\Windows"). An empty value removes the variable.
void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value);

// Everything written to standard error since the reset, with "\n" as written.
std::u16string ErrorOutput();

// The bytes of the file at path (folders split by "\" or "/", letters in any
// case); none when it does not exist.
std::optional<std::string> FileContent(std::u16string_view path);
// Creates a folder, and those above it, or a file with these bytes, as the
// machine held them before the run.
void CreateFolder(std::u16string_view path);
void CreateFile(std::u16string_view path, std::string bytes);
// From now on opening or creating the file at path fails with error, as a
// share that refuses the account, a full disk or a volume BitLocker keeps
// locked would; IdentityOfPath of it as well, but for a sharing violation.
void FailFileOpen(std::u16string_view path, std::uint32_t error);
// From now on a write that would take the file at path past bytes writes
// what fits and fails with error, as a disk that fills up would.
void FailFileWrite(std::u16string_view path, std::size_t bytes, std::uint32_t error);
// From now on FlushFileBuffers on the file at path fails with error, as a
// share that has lost its server would.
void FailFileFlush(std::u16string_view path, std::uint32_t error);
// How many times FlushFileBuffers succeeded on the file at path.
unsigned FlushCount(std::u16string_view path);
// From now on alias is another name of the file or folder at path, and every
// name below alias one below path: a hard link, a short 8.3 name, or a
// spelling with "." and ".." in it. Both names have one identity
// (IdentityOfFile, IdentityOfPath).
void AddFileAlias(std::u16string_view path, std::u16string_view alias);

// Who can change the files and folders: each belongs to Administrators and
// lets nobody else change it (as the undo file and the folders made for it
// are created, platform::CreateProtectedDirectoryW), but for a drive root, in
// which a standard user may create folders (FILE_ADD_SUBDIRECTORY, as the
// root of C: lets Authenticated Users), and a folder that CreateDirectoryW
// makes without security attributes, in which a standard user may add,
// delete and replace files, as one made below the root of C: inherits.
// From now on the file or folder at path is owned by owner, an account that
// is not an administrator ("TESTPC-07\ann").
void SetFileOwner(std::u16string_view path, std::u16string_view owner);
// From now on a standard user may write the file at path, or add, delete and
// replace files in the folder at path.
void LetUsersWrite(std::u16string_view path);
// Whether a standard user may write the file, or add and delete files in the
// folder, at path.
bool UsersMayWrite(std::u16string_view path);
// From now on SetEndOfFile on the file at path fails with error.
void FailFileCut(std::u16string_view path, std::uint32_t error);

// Another process holds the named mutex, owned, until the reset.
void HoldMutexElsewhere(std::u16string_view name);
// Whether this process holds a handle to the named mutex now.
bool MutexOpen(std::u16string_view name);
// Another user's object has the name until the reset, and CreateMutexW of it
// fails with error: ERROR_INVALID_HANDLE for an event or another type,
// ERROR_ACCESS_DENIED for a mutex whose DACL refuses everyone.
void SquatObjectName(std::u16string_view name, std::uint32_t error);
// From now on OpenAdministratorsNamespace fails with error:
// ERROR_CALL_NOT_IMPLEMENTED, as under Wine, or any other code, as a system
// that has the namespaces and refuses this one. Otherwise it succeeds, and a
// name "prefix\name" opens a mutex only while its namespace is open.
void FailPrivateNamespaces(std::uint32_t error);

// From now on LocalTimeNow reads this.
void SetLocalTime(const platform::LocalTime& time);

}  // namespace memory
