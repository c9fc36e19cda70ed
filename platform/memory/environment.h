// Test controls of what a run with arguments meets around it in memory: the
// command line it is given, standard error, the files and folders it writes,
// the named mutex another cleaner may hold, and the computer, account and
// clock its log records. Reset with the rest of the machine (ResetMachine).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/environment.h"

namespace memory {

// A fresh environment: the command line is kProgramName alone, standard
// error is empty, the only folders are the drive roots ("C:", ...) and the
// current folder, no file exists, no mutex is held, and the clock reads
// kStartingLocalTime.
void ResetEnvironment();

inline constexpr std::u16string_view kProgramName = u"korvex-cleaner.exe";
inline constexpr std::u16string_view kComputerName = u"TESTPC-07";
inline constexpr std::u16string_view kUserName = u"SYSTEM";
inline constexpr platform::LocalTime kStartingLocalTime{2024, 3, 9, 7, 5, 3, 60};

// What GetCommandLineW returns from now on, the program's name included.
void SetCommandLine(std::u16string_view commandLine);

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
// From now on the folder link names the folder target, as a junction or a
// second drive letter for the same volume does: IdentityOfPath of a path
// through it is that of the path through target.
void LinkFolder(std::u16string_view link, std::u16string_view target);
// From now on opening or creating the file at path fails with error, as a
// share that refuses the account or a full disk would.
void FailFileOpen(std::u16string_view path, std::uint32_t error);
// From now on a write that would take the file at path past bytes fails with
// error and writes nothing, as a full disk would.
void FailFileWrite(std::u16string_view path, std::size_t bytes, std::uint32_t error);

// Another process holds the named mutex, owned, until the reset.
void HoldMutexElsewhere(std::u16string_view name);
// Whether this process holds a handle to the named mutex now.
bool MutexOpen(std::u16string_view name);

// From now on LocalTimeNow reads this.
void SetLocalTime(const platform::LocalTime& time);

}  // namespace memory
