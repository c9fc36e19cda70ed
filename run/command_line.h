// The command line of a run with arguments, in the style of Windows
// Installer's standard options, so that an administrator types what they
// already type for msiexec. The switch table in command_line.cpp holds each
// switch's names, what it sets and its line of the usage text; a new switch
// is one more row there (and, when it excludes another, one more row of the
// conflict table).
//
// A switch starts with "/", "-" or "--" and its name is matched without
// regard to the case of its letters ("/QUIET", "-quiet" and "--quiet" are
// one switch). A switch that takes a file name takes the next argument,
// whatever it is, unless that argument is itself a switch of the table: then
// the file name is missing. Anything else is an error: an argument that is
// not a switch, an unknown switch, a file name missing or given twice, two
// switches that exclude each other. The first error met is the one reported.
//
// msiexec's forms are taken as the switches they stand for: /l followed by
// any of msiexec's log letters and marks (i w e a r u c m o p v x + ! *), as
// in "/l*v" or "/L*V", is /log; /passive, and /q followed by any of n b r f
// and the marks + - ! ("/qn", "/qb-!"), are /quiet; the properties
// REBOOT=ReallySuppress and REBOOT=Force, without regard to case, are
// /norestart and /forcerestart.
//
// A help switch (/?, /h, /help, --help) alone asks for the usage text; beside
// any other argument it is an error, so that "/quiet /?" does not end as
// "done, nothing changed" (0) in a deployment tool.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/cleaning_run.h"

namespace run {

// Splits a whole command line into its arguments as the Microsoft C runtime
// does for main's argv, so that quoting works as every Windows program's: the
// program's name comes first, taken up to the first space or tab outside
// double quotes, with its quotes dropped and backslashes as they are. Then
// arguments are separated by spaces and tabs outside double quotes; 2n
// backslashes before a double quote give n backslashes and the quote opens
// or closes a quoted part, 2n + 1 give n backslashes and a literal quote; a
// doubled quote inside a quoted part gives one literal quote; other
// backslashes stay as they are. An empty quoted part ("") is an argument.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// What the switches given set.
struct Switches {
  bool quiet = false;
  bool noRestart = false;
  bool forceRestart = false;
  bool promptRestart = false;
  bool help = false;
  bool scan = false;
  bool backupGiven = false;
  bool allUsers = false;
  bool offlineGiven = false;
  std::u16string log;      // the file after /log; empty when not given
  std::u16string backup;   // the file after /backup
  std::u16string offline;  // the Windows folder after /offline
};

struct ParsedArguments {
  Switches switches;
  std::u16string error;  // why the command line is invalid; empty when it is valid
};

// Reads the arguments that follow the program's name.
ParsedArguments ParseArguments(const std::vector<std::u16string>& arguments);

// The restart step that the switches ask for: /forcerestart requests one
// without asking, even with /quiet; /quiet and /norestart never ask and never
// restart; otherwise, and with /promptrestart, the question is asked only
// when a restart is needed (and only where someone can see it).
RestartPolicy RestartPolicyOf(const Switches& switches);

// The usage text (/?): the switches from the table, then the exit codes; it
// ends in "\n".
std::u16string Usage();

}  // namespace run
