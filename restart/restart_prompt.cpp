#include "restart/restart_prompt.h"

#include "platform/access_masks.h"
#include "platform/session.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"

namespace restart {
namespace {

constexpr const char16_t* kQuestion = u"Korvex for Windows was deleted. Do You want to restart PC now?";
constexpr const char16_t* kCaption = u"Korvex Cleaner";
// No default-button flag: OK is the default, so Enter restarts.
constexpr std::uint32_t kQuestionStyle = platform::kMbOkCancel | platform::kMbIconQuestion;

constexpr const char16_t* kShutdownPrivilege = u"SeShutdownPrivilege";

// Planned, major reason software, minor reason hotfix uninstallation: the
// entry the event log shows for why the machine went down.
constexpr std::uint32_t kReasonFlagPlanned = 0x80000000;
constexpr std::uint32_t kReasonMajorSoftware = 0x00030000;
constexpr std::uint32_t kReasonMinorHotfixUninstall = 0x17;
constexpr std::uint32_t kRestartReason = kReasonFlagPlanned | kReasonMajorSoftware | kReasonMinorHotfixUninstall;

// Deployment tools run programs as SYSTEM on a window station that nobody
// sees: a question there is never answered, and the run would never end. When
// the window station cannot be asked about, the question is put as always.
bool SomeoneCanAnswer() {
  platform::UserObjectFlags flags{};
  std::uint32_t needed = 0;
  if (!platform::GetUserObjectInformationW(platform::GetProcessWindowStation(), platform::kUoiFlags, &flags,
                                           sizeof flags, &needed))
    return true;
  return (flags.dwFlags & platform::kWsfVisible) != 0;
}

}  // namespace

void OfferRestart() {
  if (!SomeoneCanAnswer()) return;
  if (platform::MessageBoxW(kQuestion, kCaption, kQuestionStyle) != platform::kIdOk) return;
  RequestRestart();
}

void RequestRestart() {
  platform::UniqueToken token;
  if (!platform::OpenProcessToken(platform::GetCurrentProcess(), platform::kTokenAccess, token.put())) return;

  // Zeroed first, so a failed lookup leaves the identifier zero; the request
  // below is made anyway and the platform refuses it for want of the privilege.
  platform::TokenPrivileges privileges{};
  platform::LookupPrivilegeValueW(kShutdownPrivilege, &privileges.PrivilegeLuid);
  privileges.PrivilegeCount = 1;
  privileges.Attributes = platform::kSePrivilegeEnabled;
  platform::AdjustTokenPrivileges(token.get(), false, &privileges);

  // No force flag: other applications may still ask to delay the restart.
  if (platform::ExitWindowsEx(platform::kEwxReboot, kRestartReason)) report::NoteRestartInitiated();
  token.reset();
}

}  // namespace restart
