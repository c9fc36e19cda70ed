// The message box, the process token and the reboot request.
#pragma once

#include <cstdint>

namespace platform {

enum class ProcessHandle : std::uintptr_t {};
enum class TokenHandle : std::uintptr_t {};
enum class WindowStationHandle : std::uintptr_t {};

constexpr std::uint32_t kMbOkCancel = 0x1;
constexpr std::uint32_t kMbIconQuestion = 0x20;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

constexpr std::uint32_t kTokenQuery = 0x8;
constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
constexpr std::uint32_t kSePrivilegeEnabled = 2;

constexpr std::uint32_t kEwxReboot = 2;

constexpr int kUoiFlags = 1;
constexpr std::uint32_t kWsfVisible = 1;

// Same layout as USEROBJECTFLAGS.
struct UserObjectFlags {
  int fInherit;
  int fReserved;
  std::uint32_t dwFlags;
};

// Same layout as LUID.
struct Luid {
  std::uint32_t LowPart;
  std::int32_t HighPart;
};

// Same layout as TOKEN_PRIVILEGES with one entry.
struct TokenPrivileges {
  std::uint32_t PrivilegeCount;
  Luid PrivilegeLuid;
  std::uint32_t Attributes;
};

// The process's window station; not to be closed.
WindowStationHandle GetProcessWindowStation();
// GetUserObjectInformationW; nonzero on success.
int GetUserObjectInformationW(WindowStationHandle object, int index, void* info, std::uint32_t length,
                              std::uint32_t* lengthNeeded);

// MessageBoxW with no owner window.
int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style);

ProcessHandle GetCurrentProcess();
// Results are nonzero on success, as the Win32 BOOL.
int OpenProcessToken(ProcessHandle process, std::uint32_t access, TokenHandle* token);
// LookupPrivilegeValueW on the local system (no system name).
int LookupPrivilegeValueW(const char16_t* name, Luid* luid);
// AdjustTokenPrivileges with no previous-state buffer and no return length.
int AdjustTokenPrivileges(TokenHandle token, int disableAllPrivileges, const TokenPrivileges* newState);
int ExitWindowsEx(std::uint32_t flags, std::uint32_t reason);
int CloseHandle(TokenHandle token);

}  // namespace platform
