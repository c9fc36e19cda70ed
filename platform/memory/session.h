// Test controls of the in-memory message box, process token and shutdown:
// script the answer a person gives, make a call fail as a real machine can,
// and read back what the cleaner asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/session.h"

namespace memory {

// The identifier the lookup gives "SeShutdownPrivilege", the same as Windows'.
inline constexpr platform::Luid kShutdownPrivilegeLuid{19, 0};

// A fresh session: the box answers Cancel, the process token holds the
// shutdown privilege disabled, every call succeeds, the log is empty and no
// token handle is open.
void ResetSession();

// What every following MessageBoxW returns: kIdOk, kIdCancel (Escape and the
// close button give the same), or 0 when no box could be shown.
void AnswerMessageBox(int answer);

// Whether the process's window station is one a person sees (WSF_VISIBLE);
// true after a reset. A deployment tool's SYSTEM session has one that is not.
void SetWindowStationVisible(bool visible);

// Runs while the next box is shown, before it is answered: lets a test see
// what the run had done by the time it asked.
void WhileMessageBoxShown(std::function<void()> action);

// From now on the named call ("GetUserObjectInformationW", "OpenProcessToken",
// "LookupPrivilegeValueW", "AdjustTokenPrivileges" or "ExitWindowsEx") fails: it returns 0 and writes
// nothing to its output arguments.
void FailSessionCall(std::string_view function);

// Every session call since the reset, one line each, for example
// "MessageBoxW [text] [caption] 0x21 -> 2", "OpenProcessToken 0x28 -> 1",
// "LookupPrivilegeValueW [SeShutdownPrivilege] -> 1",
// "AdjustTokenPrivileges 0 1 {0x13,0x0} 0x2 -> 1",
// "ExitWindowsEx 0x2 0x80030017 -> 1", "CloseHandle -> 1".
const std::vector<std::string>& SessionCalls();

struct ShutdownRequest {
  std::uint32_t flags;
  std::uint32_t reason;
  bool privilegeEnabled;  // in the process token when the request was made
  bool accepted;          // the call's result
};

// Every ExitWindowsEx call since the reset, refused ones included.
const std::vector<ShutdownRequest>& ShutdownRequests();

bool ShutdownPrivilegeEnabled();

// Token handles opened by the code under test and not yet closed.
std::size_t OpenTokenCount();

}  // namespace memory
