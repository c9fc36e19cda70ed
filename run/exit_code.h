// The exit code of a run with arguments, in Windows Installer's numbers, which
// deployment tools (Intune, Configuration Manager, Ansible's win_package)
// already know: the one place where the run's record becomes a code, and
// where each code's meaning is written. A run without arguments exits with 0
// whatever happened.
#pragma once

#include <cstddef>

#include "report/outcome.h"

namespace run {

inline constexpr int kExitDone = 0;                   // ERROR_SUCCESS
inline constexpr int kExitRestartRequired = 3010;     // ERROR_SUCCESS_REBOOT_REQUIRED
inline constexpr int kExitRestartInitiated = 1641;    // ERROR_SUCCESS_REBOOT_INITIATED
inline constexpr int kExitFailure = 1603;             // ERROR_INSTALL_FAILURE
inline constexpr int kExitAlreadyRunning = 1618;      // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr int kExitLogFailure = 1622;          // ERROR_INSTALL_LOG_FAILURE
inline constexpr int kExitInvalidCommandLine = 1639;  // ERROR_INVALID_COMMAND_LINE
inline constexpr int kExitFound = 1;                  // /scan: the product is there, as remediation scripts take 1

struct ExitCodeRow {
  int code = 0;
  const char16_t* meaning = nullptr;
  bool scan = false;  // the meaning of the code after /scan
};

// In the order the usage text lists them.
inline constexpr ExitCodeRow ExitCodeTable[] = {
    {kExitDone, u"done, and no restart is needed"},
    {kExitDone, u"/scan: nothing of the product is there", true},
    {kExitFound, u"/scan: something of the product is there", true},
    {kExitRestartRequired, u"done; a restart is needed and was not requested"},
    {kExitRestartRequired, u"/scan: nothing is left but what the next restart removes", true},
    {kExitRestartInitiated, u"done; the restart was requested and Windows accepted the request"},
    {kExitFailure, u"something of the product could not be removed"},
    {kExitAlreadyRunning, u"another cleaner is running on this computer; nothing changed"},
    {kExitLogFailure, u"the log or backup file cannot be opened or created; nothing changed"},
    {kExitInvalidCommandLine, u"the command line is invalid; nothing changed"},
};

// The closing line's meaning of a 1622 for a /backup file that could be
// opened but is refused, in place of the table's.
inline constexpr const char16_t* kNotAnUndoFileMeaning =
    u"the backup file exists and is not an undo file; nothing changed";
inline constexpr const char16_t* kUndoFileOpenToOthersMeaning =
    u"the backup file, or a folder on its way, can be changed by users other than administrators; nothing changed";

// 1603 when anything of the product could not be removed, now or by the
// restart, whatever the restart did: a deployment tool must hear of that
// first. Otherwise 1641 when a restart was requested and Windows accepted it,
// 3010 when a restart is needed and none was (not asked for, declined, or
// refused by Windows), and 0. A driver that would not stop but is marked for
// deletion needs the restart and is no failure (report/outcome.h).
int ExitCodeOf(const report::RunOutcome& outcome);

// /scan: 1 when anything of the product is there, else 3010 when services or
// keys marked for deletion are, which the next start removes by itself (a
// run before it could stop no driver), else 0.
int ScanExitCodeOf(std::size_t found, std::size_t pending);

// /offline: 1603 when anything could not be removed, else 0; the running
// system needs no restart for another Windows' registry.
int OfflineExitCodeOf(const report::RunOutcome& outcome);

// The meaning from the table, of a run's code or of a /scan's; empty for a
// code not in it.
const char16_t* MeaningOf(int code, bool scan = false);

}  // namespace run
