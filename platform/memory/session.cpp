// An in-memory message box, process token and shutdown. The token behaves as
// Windows' does where the restart depends on it: adjusting needs a handle
// opened with TOKEN_ADJUST_PRIVILEGES, an identifier the token does not hold
// changes nothing, and a reboot is refused unless the shutdown privilege is
// enabled.
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

#include "platform/memory/session.h"
#include "platform/number_text.h"
#include "platform/utf8.h"

namespace memory {
namespace {

constexpr std::uintptr_t kCurrentProcess = ~std::uintptr_t{0};  // the pseudo handle, as on Windows

struct Session {
  int answer = platform::kIdCancel;
  bool windowStationVisible = true;
  std::function<void()> whileShown;
  std::set<std::string, std::less<>> failing;
  bool shutdownPrivilegeEnabled = false;
  std::map<std::uintptr_t, std::uint32_t> tokens;  // open handle -> access it was opened with
  std::uintptr_t nextToken = 0x100;
  std::vector<std::string> calls;
  std::vector<ShutdownRequest> shutdowns;
};

Session& State() {
  static Session session;
  return session;
}

bool Failing(std::string_view function) { return State().failing.count(function) != 0; }

std::string Bracketed(const char16_t* text) {
  return "[" + (text ? platform::ToUtf8(std::u16string_view(text)) : std::string("(null)")) + "]";
}

int Log(const std::string& call, int result) {
  State().calls.push_back(call + " -> " + std::to_string(result));
  return result;
}

bool SameLuid(const platform::Luid& a, const platform::Luid& b) {
  return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

}  // namespace

void ResetSession() { State() = Session{}; }

void AnswerMessageBox(int answer) { State().answer = answer; }
void SetWindowStationVisible(bool visible) { State().windowStationVisible = visible; }
void WhileMessageBoxShown(std::function<void()> action) { State().whileShown = std::move(action); }

void FailSessionCall(std::string_view function) {
  if (function != "GetUserObjectInformationW" && function != "OpenProcessToken" &&
      function != "LookupPrivilegeValueW" && function != "AdjustTokenPrivileges" && function != "ExitWindowsEx")
    throw std::invalid_argument("no such session call: " + std::string(function));
  State().failing.emplace(function);
}

const std::vector<std::string>& SessionCalls() { return State().calls; }
const std::vector<ShutdownRequest>& ShutdownRequests() { return State().shutdowns; }
bool ShutdownPrivilegeEnabled() { return State().shutdownPrivilegeEnabled; }
std::size_t OpenTokenCount() { return State().tokens.size(); }

}  // namespace memory

namespace platform {

using memory::Bracketed;
using memory::Log;
using memory::State;

constexpr std::uintptr_t kWindowStation = 0x7E;

WindowStationHandle GetProcessWindowStation() { return WindowStationHandle(kWindowStation); }

int GetUserObjectInformationW(WindowStationHandle object, int index, void* info, std::uint32_t length,
                              std::uint32_t* lengthNeeded) {
  const std::string call = "GetUserObjectInformationW " + std::to_string(index);
  if (memory::Failing("GetUserObjectInformationW") || static_cast<std::uintptr_t>(object) != kWindowStation ||
      index != kUoiFlags)
    return Log(call, 0);
  if (lengthNeeded) *lengthNeeded = sizeof(UserObjectFlags);
  if (length < sizeof(UserObjectFlags)) return Log(call, 0);
  UserObjectFlags flags{0, 0, State().windowStationVisible ? kWsfVisible : 0};
  std::memcpy(info, &flags, sizeof flags);
  return Log(call, 1);
}

int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) {
  if (auto action = std::exchange(State().whileShown, nullptr)) action();
  return Log("MessageBoxW " + Bracketed(text) + " " + Bracketed(caption) + " 0x" + Hex<char>(style), State().answer);
}

ProcessHandle GetCurrentProcess() { return ProcessHandle(memory::kCurrentProcess); }

int OpenProcessToken(ProcessHandle process, std::uint32_t access, TokenHandle* token) {
  const std::string call = "OpenProcessToken 0x" + Hex<char>(access);
  auto& session = State();
  if (memory::Failing("OpenProcessToken") || static_cast<std::uintptr_t>(process) != memory::kCurrentProcess)
    return Log(call, 0);
  std::uintptr_t handle = session.nextToken++;
  session.tokens[handle] = access;
  *token = TokenHandle(handle);
  return Log(call, 1);
}

int LookupPrivilegeValueW(const char16_t* name, Luid* luid) {
  const std::string call = "LookupPrivilegeValueW " + Bracketed(name);
  if (memory::Failing("LookupPrivilegeValueW") || std::u16string_view(name) != u"SeShutdownPrivilege")
    return Log(call, 0);
  *luid = memory::kShutdownPrivilegeLuid;
  return Log(call, 1);
}

int AdjustTokenPrivileges(TokenHandle token, int disableAllPrivileges, const TokenPrivileges* newState) {
  const std::string call = "AdjustTokenPrivileges " + std::to_string(disableAllPrivileges) + " " +
                           std::to_string(newState->PrivilegeCount) + " {0x" +
                           Hex<char>(newState->PrivilegeLuid.LowPart) + ",0x" +
                           Hex<char>(static_cast<std::uint32_t>(newState->PrivilegeLuid.HighPart)) + "} 0x" +
                           Hex<char>(newState->Attributes);
  auto& session = State();
  auto open = session.tokens.find(static_cast<std::uintptr_t>(token));
  if (memory::Failing("AdjustTokenPrivileges") || open == session.tokens.end() ||
      !(open->second & kTokenAdjustPrivileges))
    return Log(call, 0);
  if (disableAllPrivileges) session.shutdownPrivilegeEnabled = false;
  else if (newState->PrivilegeCount == 1 && memory::SameLuid(newState->PrivilegeLuid, memory::kShutdownPrivilegeLuid))
    session.shutdownPrivilegeEnabled = (newState->Attributes & kSePrivilegeEnabled) != 0;
  return Log(call, 1);
}

int ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  auto& session = State();
  const bool accepted = session.shutdownPrivilegeEnabled && !memory::Failing("ExitWindowsEx");
  session.shutdowns.push_back({flags, reason, session.shutdownPrivilegeEnabled, accepted});
  return Log("ExitWindowsEx 0x" + Hex<char>(flags) + " 0x" + Hex<char>(reason), accepted);
}

int CloseHandle(TokenHandle token) {
  return Log("CloseHandle", State().tokens.erase(static_cast<std::uintptr_t>(token)) == 1);
}

}  // namespace platform
