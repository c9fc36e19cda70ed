// The program from its command line to its exit code.
#pragma once

namespace run {

// Without arguments: the cleaning run as it always was, the restart question
// whatever happened, and 0.
//
// With arguments (run/command_line.h), in this order, and nothing changed on
// the machine before the last step:
// 1. /? (or /h, /help, --help): the usage on standard output, 0.
// 2. An invalid command line: why, and the usage, on standard error; 1639.
//    /offline names a folder that holds no System32\config\SYSTEM, one whose
//    SYSTEM cannot be read (the error: a volume BitLocker keeps locked), or
//    the running system's own Windows folder: why, on standard error; 1639.
// 3. Another cleaner holds the machine-wide mutex: standard error; 1618.
//    Taken before the log is opened, so that two runs never write one log.
//    The mutex cannot be made where it belongs (the administrators' private
//    namespace fails with any error but ERROR_CALL_NOT_IMPLEMENTED): why, on
//    standard error; 1603, nothing changed.
// 4. /log names a file that cannot be opened or created: standard error;
//    1622. Environment variables in its name (%COMPUTERNAME%) are expanded
//    first, so that a tool that starts the cleaner without a shell, or a
//    shell on another machine that was told to leave them alone, still
//    names the file of the machine the cleaner runs on.
// 5. The process is the 32-bit build under WOW64 (platform::IsWow64Process):
//    that this build sees only the 32-bit view and x64\korvex-cleaner.exe is
//    the one to run, on standard error and in the log; 1603, nothing changed.
//    A run without arguments is not refused: it cleans the 32-bit view.
// 6. /scan: the preview of what a run would remove (run/cleaning_run.h) on
//    standard output and in the log; 1 when anything is there, else 0.
// 7. /backup names a file that cannot be opened or created: standard error;
//    1622, as for the log. Its name is expanded as the log's is.
// 8. The cleaning run with the restart step the switches ask for, its
//    report on standard output and in the log, and the exit code of the
//    run's record (run/exit_code.h), which the log's last line gives too;
//    before it, the log names each service that the restart finishes
//    removing (report/report.h). With /offline, steps 6 and 8 act on that
//    Windows instead (offline/offline_run.h), and 8 ends with 0 or 1603.
int RunProgram();

}  // namespace run
