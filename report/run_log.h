// The log of a run with arguments (/log <file>): one header line, then every
// report message exactly as written to standard output, then one closing
// line with the exit code. The file is appended to, so one log can hold the
// runs of many days; a new one starts with a UTF-8 byte-order mark, which
// Notepad, PowerShell 5 and log viewers need to read it as UTF-8. Lines end
// in "\r\n" and are UTF-8, the same bytes as standard output redirected to a
// file.
//
// Each message is written to the file by itself as it is reported, with no
// buffer in this process: the system holds it from then on, so a run that is
// killed, or a machine that restarts under it, leaves the log up to the last
// line written. A write that fails later (a full disk, a share gone) is
// passed over: the run has begun to change the machine by then, and its exit
// code says what it did, not whether its log was kept.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace report {

// Opens the log at path for appending, creating it, and the folders above it
// that are missing, when it does not exist; nothing is written to it yet.
// Returns 0, or the Windows error of the last attempt to open it; nothing is
// logged then.
std::uint32_t OpenRunLog(const char16_t* path);

// The identity of the open log's file (platform::IdentityOfFile): 0 or the
// error.
std::uint32_t RunLogIdentity(platform::FileIdentity* identity);

// Closes the log with nothing written to it, for a run refused before it
// began.
void CloseRunLog();

// The header line, after the byte-order mark when the file is empty: the
// local time with its offset from UTC, the computer, the account, the
// cleaner's version and the whole command line.
void LogRunStart(const std::u16string& commandLine);

// A report message, as written to standard output; nothing when no log is
// open.
void LogReport(const char16_t* message, std::size_t length);

// The closing line, "Korvex Cleaner ended with exit code N: meaning", and the
// log is closed.
void LogRunEnd(int exitCode, const char16_t* meaning);

}  // namespace report
