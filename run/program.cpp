#include "run/program.h"

#include <string>
#include <vector>

#include "backup/undo_file.h"
#include "offline/offline_run.h"
#include "offline/offline_windows.h"
#include "platform/environment.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"
#include "report/report.h"
#include "report/run_log.h"
#include "run/cleaning_run.h"
#include "run/command_line.h"
#include "run/exit_code.h"

namespace run {
namespace {

// In the global namespace, so that a cleaner started by a deployment tool in
// session 0 and one started by hand in a user's session see each other.
constexpr const char16_t* kRunMutexName = u"Global\\KorvexCleaner";

using UniqueMutex =
    platform::Unique<platform::MutexHandle, static_cast<int (*)(platform::MutexHandle)>(platform::CloseHandle)>;

// The mutex, owned by this process until it is let go; empty when another
// process owns it. A mutex that cannot be opened is taken for one held by a
// cleaner of another account (SYSTEM's, which an administrator may not open),
// and an abandoned one, left by a cleaner that was killed, for free.
UniqueMutex TakeRunMutex() {
  platform::MutexHandle handle{};
  if (platform::CreateMutexW(kRunMutexName, &handle) != 0) return {};
  UniqueMutex mutex(handle);
  const std::uint32_t waited = platform::WaitForSingleObject(mutex.get(), 0);
  if (waited != platform::kWaitObject0 && waited != platform::kWaitAbandoned) return {};
  return mutex;
}

int CleanWithArguments(const std::u16string& commandLine, const Switches& switches) {
  UniqueMutex mutex = TakeRunMutex();
  if (!mutex) {
    report::AlreadyRunning();
    return kExitAlreadyRunning;
  }
  if (!switches.log.empty()) {
    // Expanded here as well, for a tool that starts the cleaner without a
    // shell and hands on "%COMPUTERNAME%" as typed.
    const std::u16string logPath = platform::ExpandEnvironmentStringsW(switches.log);
    const std::uint32_t opened = report::OpenRunLog(logPath.c_str());
    if (opened != 0) {
      report::LogNotOpened(logPath, opened);
      return kExitLogFailure;
    }
    report::LogRunStart(commandLine);
  }
  const std::u16string offlineFolder = platform::ExpandEnvironmentStringsW(switches.offline);
  if (switches.scan) {
    report::ResetOutcome();
    const bool found = switches.offlineGiven ? offline::OfflineScanRun(offlineFolder) : ScanRun(switches.allUsers);
    if (!switches.log.empty())
      report::LogRunEnd(found ? kExitFound : kExitDone,
                        found ? MeaningOf(kExitFound) : u"/scan: nothing of the product is there");
    platform::ReleaseMutex(mutex.get());
    return found ? kExitFound : kExitDone;
  }
  if (switches.backupGiven) {
    const std::u16string backupPath = platform::ExpandEnvironmentStringsW(switches.backup);
    const std::uint32_t opened = backup::OpenUndoFile(backupPath.c_str());
    if (opened != 0) {
      report::UndoFileNotOpened(backupPath, opened);
      if (!switches.log.empty()) report::LogRunEnd(kExitLogFailure, MeaningOf(kExitLogFailure));
      return kExitLogFailure;
    }
  }
  report::ResetOutcome();
  if (switches.offlineGiven) offline::OfflineCleaningRun(offlineFolder);
  else CleaningRun(RestartPolicyOf(switches), switches.allUsers);
  backup::CloseUndoFile();
  const int exitCode = switches.offlineGiven ? OfflineExitCodeOf(report::Outcome()) : ExitCodeOf(report::Outcome());
  if (!switches.log.empty()) report::LogRunEnd(exitCode, MeaningOf(exitCode));
  platform::ReleaseMutex(mutex.get());
  return exitCode;
}

}  // namespace

int RunProgram() {
  const std::u16string commandLine = platform::CommandLine();
  std::vector<std::u16string> arguments = SplitCommandLine(commandLine);
  arguments.erase(arguments.begin());  // the program's own name
  if (arguments.empty()) {
    CleaningRun();
    return kExitDone;
  }
  const ParsedArguments parsed = ParseArguments(arguments);
  if (parsed.switches.help) {
    report::Usage(Usage());
    return kExitDone;
  }
  if (!parsed.error.empty()) {
    report::InvalidCommandLine(parsed.error, Usage());
    return kExitInvalidCommandLine;
  }
  if (parsed.switches.offlineGiven) {
    // Expanded as the log's name is, for a tool that hands on %VARIABLES%.
    const std::u16string folder = platform::ExpandEnvironmentStringsW(parsed.switches.offline);
    switch (offline::CheckFolder(folder)) {
      case offline::FolderCheck::Usable:
        break;
      case offline::FolderCheck::NoSystemHive:
        report::OfflineHasNoSystemHive(folder, offline::SystemHiveFile(folder, u"SYSTEM"));
        return kExitInvalidCommandLine;
      case offline::FolderCheck::RunningSystem:
        report::OfflineIsRunningSystem(folder);
        return kExitInvalidCommandLine;
    }
  }
  return CleanWithArguments(commandLine, parsed.switches);
}

}  // namespace run
