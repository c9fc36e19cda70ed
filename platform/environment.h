// What a run with arguments learns about the process and the machine around
// it: its command line, whether it is a 32-bit process on 64-bit Windows,
// whether another cleaner runs, and the computer, the account and the time
// that its log records.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// GetCommandLineW: the whole command line, the program's own name first, as
// the process received it.
std::u16string CommandLine();

// ExpandEnvironmentStringsW: each %NAME% of a variable in this process's
// environment replaced by its value, without regard to the case of NAME; any
// other text, and %NAME% of a variable not set, kept as it stands. The text
// itself when the call fails.
std::u16string ExpandEnvironmentStringsW(const std::u16string& text);

// IsWow64Process on this process: true when it is a 32-bit process on 64-bit
// Windows (WOW64), whose registry calls without a view flag reach the 32-bit
// view; false for a 64-bit process, on 32-bit Windows, and when the call
// fails. On ARM64 Windows an x86 process is WOW64 too.
bool IsWow64Process();

enum class MutexHandle : std::uintptr_t {};

constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitAbandoned = 0x80;
constexpr std::uint32_t kWaitTimeout = 0x102;

enum class NamespaceHandle : std::uintptr_t {};

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorCallNotImplemented = 120;

// A private object namespace named prefix whose boundary is the
// Administrators group (CreateBoundaryDescriptorW and
// AddSIDToBoundaryDescriptor with BUILTIN\Administrators): created with
// CreatePrivateNamespaceW, with a DACL that lets only Administrators and
// SYSTEM in, or opened with OpenPrivateNamespaceW when it exists already
// (made again, a few times at most, when it is gone in between). Only a
// process whose token holds the Administrators group enabled can create it,
// so no standard user can make an object that a name "prefix\name" finds
// while the handle is open. Not bound to a session: every session's process
// finds the same namespace. Returns 0 and the handle, or the error;
// ERROR_CALL_NOT_IMPLEMENTED, and only then, where the system lacks private
// namespaces: a call missing from kernel32 (Wine up to at least 8.0), or a
// boundary descriptor that fails without an error (Wine's stub of
// CreateBoundaryDescriptorW). Any other code is a system that has private
// namespaces and would not give this one.
std::uint32_t OpenAdministratorsNamespace(const char16_t* prefix, NamespaceHandle* handle);
// ClosePrivateNamespace without destroying it: it lives on while others use it.
int ClosePrivateNamespace(NamespaceHandle handle);

// CreateMutexW with no security attributes, not owned: opens the named mutex,
// creating it when no process holds a handle to it. Returns 0 and the handle,
// or the error: ERROR_ACCESS_DENIED when a process of another account made it
// and this one may not open it, or when its DACL refuses everyone;
// ERROR_INVALID_HANDLE when an object of another type (an event, a
// semaphore) has the name.
std::uint32_t CreateMutexW(const char16_t* name, MutexHandle* mutex);
// WaitForSingleObject on the mutex: kWaitObject0 or kWaitAbandoned when this
// process now owns it, kWaitTimeout when another owns it still.
std::uint32_t WaitForSingleObject(MutexHandle mutex, std::uint32_t milliseconds);
int ReleaseMutex(MutexHandle mutex);
int CloseHandle(MutexHandle mutex);

// GetSystemWindowsDirectoryW: the running system's own Windows folder
// ("C:\Windows", %SystemRoot%), which no environment variable can change;
// empty when the call fails.
std::u16string SystemWindowsDirectory();

// GetComputerNameW and GetUserNameW; empty when the call fails.
std::u16string ComputerName();
std::u16string UserName();

// The time now on the local clock, with how far that clock is from UTC
// (local minus UTC, in minutes), both from one reading of the system time.
struct LocalTime {
  std::uint16_t year;
  std::uint16_t month;
  std::uint16_t day;
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::int32_t utcOffsetMinutes;
};
LocalTime LocalTimeNow();

}  // namespace platform
