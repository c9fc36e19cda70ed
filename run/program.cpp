#include "run/program.h"

#include <string>
#include <vector>

#include "backup/undo_file.h"
#include "offline/offline_run.h"
#include "offline/offline_windows.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/unique_handle.h"
#include "report/outcome.h"
#include "report/report.h"
#include "report/run_log.h"
#include "run/cleaning_run.h"
#include "run/command_line.h"
#include "run/exit_code.h"

namespace run {
namespace {

// The run's mutex is "KorvexCleaner\Run" in the private namespace that only
// administrators can create (platform::OpenAdministratorsNamespace), so that
// no standard user can make the name first and block every run. A private
// namespace belongs to no session: a cleaner started by a deployment tool in
// session 0 and one started by hand in a user's session see each other.
// Where the system lacks private namespaces (ERROR_CALL_NOT_IMPLEMENTED, as
// under Wine), and only there, the name is "Global\KorvexCleaner" in the
// global namespace, as before. Any other error of the namespace refuses the
// run: the global name is one any user can take first, and a run that fell
// back to it would not see a cleaner that holds the namespace's mutex, so
// the two would run at once.
constexpr const char16_t* kRunNamespace = u"KorvexCleaner";
constexpr const char16_t* kRunMutexInNamespace = u"KorvexCleaner\\Run";
constexpr const char16_t* kRunMutexGlobal = u"Global\\KorvexCleaner";

using UniqueMutex =
    platform::Unique<platform::MutexHandle, static_cast<int (*)(platform::MutexHandle)>(platform::CloseHandle)>;
using UniqueNamespace = platform::Unique<platform::NamespaceHandle, platform::ClosePrivateNamespace>;

// The mutex, owned by this process until it is let go, with the namespace it
// is named in; running when another process owns it. A mutex that cannot be
// opened (ERROR_ACCESS_DENIED) is taken for one held by a cleaner of another
// account (SYSTEM's, which an administrator may not open), and an abandoned
// one, left by a cleaner that was killed, for free. The name held by an
// object of another type (ERROR_INVALID_HANDLE) is no cleaner's: the run goes
// on without a mutex rather than never.
struct RunMutex {
  UniqueNamespace place;
  UniqueMutex mutex;
  bool running = false;
  std::uint32_t namespaceError = 0;  // the namespace could not be had, and not for want of the calls
};

RunMutex TakeRunMutex() {
  RunMutex taken;
  platform::NamespaceHandle place{};
  const std::uint32_t opened = platform::OpenAdministratorsNamespace(kRunNamespace, &place);
  if (opened != 0 && opened != platform::kErrorCallNotImplemented) {
    taken.namespaceError = opened;
    return taken;
  }
  const bool inNamespace = opened == 0;
  if (inNamespace) taken.place = UniqueNamespace(place);
  platform::MutexHandle handle{};
  const std::uint32_t created = platform::CreateMutexW(inNamespace ? kRunMutexInNamespace : kRunMutexGlobal, &handle);
  if (created == platform::kErrorInvalidHandle) return taken;
  taken.running = created != 0;
  if (taken.running) return taken;
  taken.mutex = UniqueMutex(handle);
  const std::uint32_t waited = platform::WaitForSingleObject(handle, 0);
  taken.running = waited != platform::kWaitObject0 && waited != platform::kWaitAbandoned;
  if (taken.running) taken.mutex.reset();
  return taken;
}

int CleanWithArguments(const std::u16string& commandLine, const Switches& switches) {
  const RunMutex run = TakeRunMutex();
  if (run.namespaceError != 0) {
    report::RunLockNotMade(run.namespaceError);
    return kExitFailure;
  }
  if (run.running) {
    report::AlreadyRunning();
    return kExitAlreadyRunning;
  }
  const bool logged = !switches.log.empty();
  // The backup file's folders first, each made for administrators alone: a
  // log in one of them would make it with the security of the one above.
  const std::u16string backupPath = platform::ExpandEnvironmentStringsW(switches.backup);
  if (switches.backupGiven && !switches.scan) backup::CreateUndoFolders(backupPath.c_str());
  if (logged) {
    // Expanded here as well, for a tool that starts the cleaner without a
    // shell and hands on "%COMPUTERNAME%" as typed.
    const std::u16string logPath = platform::ExpandEnvironmentStringsW(switches.log);
    const std::uint32_t opened = report::OpenRunLog(logPath.c_str());
    if (opened != 0) {
      report::LogNotOpened(logPath, opened);
      return kExitLogFailure;
    }
  }
  // The 32-bit build on 64-bit Windows would sweep the 32-bit view only and
  // leave the 64-bit view's records while it reported success; a deployment
  // tool must hear of that as a failure, and /scan must not say "nothing".
  if (platform::IsWow64Process()) {
    if (logged) report::LogRunStart(commandLine);
    report::Wow64Refused();
    if (logged) report::LogRunEnd(kExitFailure, MeaningOf(kExitFailure));
    if (run.mutex) platform::ReleaseMutex(run.mutex.get());
    return kExitFailure;
  }
  const std::u16string offlineFolder = platform::ExpandEnvironmentStringsW(switches.offline);
  if (switches.scan) {
    if (logged) report::LogRunStart(commandLine);
    report::ResetOutcome();
    const ScanCount listed = switches.offlineGiven ? ScanCount{offline::OfflineScanRun(offlineFolder) ? 1u : 0u, 0}
                                                   : ScanRun(switches.allUsers);
    const int exitCode = ScanExitCodeOf(listed.found, listed.pending);
    if (logged) report::LogRunEnd(exitCode, MeaningOf(exitCode, true));
    if (run.mutex) platform::ReleaseMutex(run.mutex.get());
    return exitCode;
  }
  if (switches.backupGiven) {
    // Before the log's first line, so that a backup file that is the log, or
    // no backup file at all, is refused with both files as they were.
    platform::FileIdentity log{};
    backup::UndoFileRefusal refusal;
    std::uint32_t opened = logged ? report::RunLogIdentity(&log) : 0;
    if (opened == 0) opened = backup::OpenUndoFile(backupPath.c_str(), logged ? &log : nullptr, &refusal);
    if (opened == backup::kUndoFileIsTheLog) {
      report::CloseRunLog();
      report::UndoFileIsTheLog(backupPath);
      return kExitInvalidCommandLine;
    }
    if (opened != 0) {
      const char16_t* meaning = MeaningOf(kExitLogFailure);
      if (opened == backup::kNotAnUndoFile) {
        report::NotAnUndoFile(backupPath);
        meaning = kNotAnUndoFileMeaning;
      } else if (opened == backup::kUndoFileOpenToOthers) {
        report::UndoFileOpenToOthers(backupPath, refusal.path, refusal.folder, refusal.owner);
        meaning = kUndoFileOpenToOthersMeaning;
      } else {
        report::UndoFileNotOpened(backupPath, opened);
      }
      if (logged) {
        report::LogRunStart(commandLine);
        report::LogRunEnd(kExitLogFailure, meaning);
      }
      return kExitLogFailure;
    }
  }
  if (logged) report::LogRunStart(commandLine);
  report::ResetOutcome();
  if (switches.offlineGiven) offline::OfflineCleaningRun(offlineFolder);
  else CleaningRun(RestartPolicyOf(switches), switches.allUsers);
  backup::CloseUndoFile();
  const int exitCode = switches.offlineGiven ? OfflineExitCodeOf(report::Outcome()) : ExitCodeOf(report::Outcome());
  if (logged) {
    for (const std::u16string& service : report::RemovedAtRestart())
      report::RemovalFinishesAtRestart(service.c_str());
    report::LogRunEnd(exitCode, MeaningOf(exitCode));
  }
  if (run.mutex) platform::ReleaseMutex(run.mutex.get());
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
    const offline::FolderState state = offline::CheckFolder(folder);
    switch (state.check) {
      case offline::FolderCheck::Usable:
        break;
      case offline::FolderCheck::NoSystemHive:
        report::OfflineHasNoSystemHive(folder, offline::SystemHiveFile(folder, u"SYSTEM"));
        return kExitInvalidCommandLine;
      // Still a folder this command line cannot clean: 1639, as for one
      // without the file, and the code tells the two apart.
      case offline::FolderCheck::SystemHiveUnreadable:
        report::OfflineSystemHiveUnreadable(offline::SystemHiveFile(folder, u"SYSTEM"), state.error);
        return kExitInvalidCommandLine;
      case offline::FolderCheck::RunningSystem:
        report::OfflineIsRunningSystem(folder);
        return kExitInvalidCommandLine;
    }
  }
  return CleanWithArguments(commandLine, parsed.switches);
}

}  // namespace run
