// The message box, the process token and the reboot request, passed straight
// to user32, advapi32 and kernel32.
#include <windows.h>

#include "platform/session.h"

namespace platform {
namespace {

HANDLE Native(ProcessHandle process) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(process)); }
HANDLE Native(TokenHandle token) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(token)); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

static_assert(sizeof(Luid) == sizeof(LUID));
static_assert(sizeof(UserObjectFlags) == sizeof(USEROBJECTFLAGS));
static_assert(sizeof(TokenPrivileges) == sizeof(TOKEN_PRIVILEGES));

}  // namespace

WindowStationHandle GetProcessWindowStation() {
  return WindowStationHandle(reinterpret_cast<std::uintptr_t>(::GetProcessWindowStation()));
}

int GetUserObjectInformationW(WindowStationHandle object, int index, void* info, std::uint32_t length,
                              std::uint32_t* lengthNeeded) {
  DWORD needed = 0;
  BOOL ok = ::GetUserObjectInformationW(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(object)), index, info,
                                        length, &needed);
  if (lengthNeeded) *lengthNeeded = needed;
  return ok;
}

int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) {
  return ::MessageBoxW(nullptr, Wide(text), Wide(caption), style);
}

ProcessHandle GetCurrentProcess() { return ProcessHandle(reinterpret_cast<std::uintptr_t>(::GetCurrentProcess())); }

int OpenProcessToken(ProcessHandle process, std::uint32_t access, TokenHandle* token) {
  HANDLE opened = nullptr;
  BOOL ok = ::OpenProcessToken(Native(process), access, &opened);
  if (ok) *token = TokenHandle(reinterpret_cast<std::uintptr_t>(opened));
  return ok;
}

int LookupPrivilegeValueW(const char16_t* name, Luid* luid) {
  LUID found{};
  BOOL ok = ::LookupPrivilegeValueW(nullptr, Wide(name), &found);
  if (ok) *luid = Luid{found.LowPart, found.HighPart};
  return ok;
}

int AdjustTokenPrivileges(TokenHandle token, int disableAllPrivileges, const TokenPrivileges* newState) {
  TOKEN_PRIVILEGES record{};
  record.PrivilegeCount = newState->PrivilegeCount;
  record.Privileges[0].Luid.LowPart = newState->PrivilegeLuid.LowPart;
  record.Privileges[0].Luid.HighPart = newState->PrivilegeLuid.HighPart;
  record.Privileges[0].Attributes = newState->Attributes;
  return ::AdjustTokenPrivileges(Native(token), disableAllPrivileges, &record, 0, nullptr, nullptr);
}

int ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) { return ::ExitWindowsEx(flags, reason); }

int CloseHandle(TokenHandle token) { return ::CloseHandle(Native(token)); }

}  // namespace platform
