// The command line of a run with arguments: how it is split, what each
// switch sets, what is refused, and which exit code a run's record gives.
#include "run/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/machine.h"
#include "run/exit_code.h"

namespace {

using Arguments = std::vector<std::u16string>;

std::string Joined(const Arguments& arguments) {
  std::string joined;
  for (const std::u16string& argument : arguments) joined += "<" + memory::Narrow(argument) + ">";
  return joined;
}

// As the C runtime splits them for argv; the first is the program's name.
TEST(CommandLine, SplitsAsTheCRuntimeDoes) {
  struct Case {
    std::u16string_view line;
    const char* expected;
  };
  const Case cases[] = {
      {u"korvex-cleaner.exe", "<korvex-cleaner.exe>"},
      {u"korvex-cleaner.exe  \t ", "<korvex-cleaner.exe>"},
      // The program's name: quotes drop, backslashes stay, even before a quote.
      {uR"("C:\Program Files\k.exe" /quiet)", R"(<C:\Program Files\k.exe></quiet>)"},
      {uR"(C:\a\"b c"\k.exe /q)", R"(<C:\a\b c\k.exe></q>)"},
      {u"k.exe /log \"C:\\My Logs\\run.log\"\t/q", R"(<k.exe></log><C:\My Logs\run.log></q>)"},
      // 2n backslashes and a quote: n backslashes, the quote opens or closes.
      {uR"(k.exe "C:\logs\\" /q)", R"(<k.exe><C:\logs\></q>)"},
      // 2n + 1: n backslashes and a literal quote; other backslashes stay.
      {uR"(k.exe a\\\"b c\\d)", R"(<k.exe><a\"b><c\\d>)"},
      // A doubled quote inside a quoted part is one quote; "" alone is an argument.
      {uR"(k.exe "a""b" "" x)", R"(<k.exe><a"b><><x>)"},
      {uR"(k.exe ab"c d"e)", R"(<k.exe><abc de>)"},
  };
  for (const Case& each : cases)
    EXPECT_EQ(Joined(run::SplitCommandLine(each.line)), each.expected) << memory::Narrow(each.line);
}

std::string Described(const run::ParsedArguments& parsed) {
  const run::Switches& s = parsed.switches;
  if (!parsed.error.empty()) return "error: " + memory::Narrow(parsed.error);
  std::string described;
  if (s.help) described += " help";
  if (s.quiet) described += " quiet";
  if (s.noRestart) described += " norestart";
  if (s.forceRestart) described += " forcerestart";
  if (s.promptRestart) described += " promptrestart";
  if (!s.log.empty()) described += " log=" + memory::Narrow(s.log);
  if (s.scan) described += " scan";
  if (!s.backup.empty()) described += " backup=" + memory::Narrow(s.backup);
  if (s.offlineGiven) described += " offline=" + memory::Narrow(s.offline);
  return described;
}

TEST(CommandLine, EachSwitchByEveryNameAndEveryRefusal) {
  struct Case {
    Arguments arguments;
    const char* expected;
  };
  const Case cases[] = {
      {{u"/quiet", u"/norestart", u"/log", u"C:\\l.log"}, " quiet norestart log=C:\\l.log"},
      // Names without regard to case, after "/", "-" or "--"; aliases.
      {{u"-Q"}, " quiet"},
      {{u"/QN", u"--NoRestart"}, " quiet norestart"},
      {{u"/forcerestart", u"/quiet"}, " quiet forcerestart"},
      {{u"-PromptRestart"}, " promptrestart"},
      {{u"/quiet", u"/quiet"}, " quiet"},
      // The file name is the next argument unless that is a switch.
      {{u"/log", u"-run.log"}, " log=-run.log"},
      {{u"/log"}, "error: /log needs a file name"},
      {{u"/log", u"/quiet"}, "error: /log needs a file name"},
      {{u"/log", u""}, "error: /log needs a file name"},
      {{u"/log", u"a", u"-LOG", u"b"}, "error: /log is given twice"},
      {{u"/quite"}, "error: Unknown switch: /quite"},
      {{u"/"}, "error: Unknown switch: /"},
      {{u"quiet"}, "error: Not a switch: quiet"},
      {{u"/quiet", u""}, "error: Not a switch: "},
      // The first error met is the one reported.
      {{u"/x", u"/log"}, "error: Unknown switch: /x"},
      {{u"/quiet", u"/promptrestart"}, "error: /quiet and /promptrestart cannot be combined"},
      {{u"/forcerestart", u"/norestart"}, "error: /norestart and /forcerestart cannot be combined"},
      {{u"/promptrestart", u"/norestart"}, "error: /norestart and /promptrestart cannot be combined"},
      {{u"/promptrestart", u"/forcerestart"}, "error: /forcerestart and /promptrestart cannot be combined"},
      // A preview changes nothing: it takes no backup and makes no restart.
      {{u"/SCAN", u"/quiet", u"/norestart", u"/log", u"s.log"}, " quiet norestart log=s.log scan"},
      {{u"-backup", u"C:\\undo.reg", u"/quiet"}, " quiet backup=C:\\undo.reg"},
      {{u"/backup"}, "error: /backup needs a file name"},
      {{u"/scan", u"/backup", u"u.reg"}, "error: /scan and /backup cannot be combined"},
      {{u"/forcerestart", u"/scan"}, "error: /scan and /forcerestart cannot be combined"},
      // msiexec's forms: log letters and marks, quiet letters and marks, the REBOOT property.
      {{u"/qn", u"/l*v", u"C:\\logs\\k.log"}, " quiet log=C:\\logs\\k.log"},
      {{u"/QB-!", u"/L*V", u"C:\\My Logs\\k.log", u"reboot=reallysuppress"},
       " quiet norestart log=C:\\My Logs\\k.log"},
      {{u"/passive", u"/liwearucmopvx+!*", u"k.log", u"REBOOT=Force"}, " quiet forcerestart log=k.log"},
      {{u"/qf", u"/qr", u"/qn+", u"-lv", u"k.log"}, " quiet log=k.log"},
      {{u"/qx"}, "error: Unknown switch: /qx"},
      {{u"/l*z", u"k.log"}, "error: Unknown switch: /l*z"},
      {{u"REBOOT=Suppress"}, "error: Not a switch: REBOOT=Suppress"},
      {{u"REBOOT=Force", u"/norestart"}, "error: /norestart and /forcerestart cannot be combined"},
      // Another Windows: a folder, and no restart of this one.
      {{u"/Offline", u"D:\\Windows", u"/quiet", u"/norestart"}, " quiet norestart offline=D:\\Windows"},
      {{u"/offline", u"/scan"}, "error: /offline needs a folder"},
      {{u"/offline", u"D:\\Windows", u"/forcerestart"}, "error: /offline and /forcerestart cannot be combined"},
      // Help alone; beside anything else it would end a run as "done".
      {{u"/?"}, " help"},
      {{u"--help"}, " help"},
      {{u"/HELP"}, " help"},
      {{u"/quiet", u"-h"}, "error: /? cannot be combined with other arguments"},
      {{u"/log", u"/?"}, "error: /log needs a file name"},
      {{u"/log", u"-help.log"}, " log=-help.log"},
  };
  for (const Case& each : cases)
    EXPECT_EQ(Described(run::ParseArguments(each.arguments)), each.expected) << Joined(each.arguments);
}

TEST(CommandLine, RestartPolicyOfTheSwitches) {
  const auto policy = [](const Arguments& arguments) {
    return run::RestartPolicyOf(run::ParseArguments(arguments).switches);
  };
  EXPECT_EQ(policy({u"/log", u"x"}), run::RestartPolicy::AskWhenNeeded);
  EXPECT_EQ(policy({u"/promptrestart"}), run::RestartPolicy::AskWhenNeeded);
  EXPECT_EQ(policy({u"/quiet"}), run::RestartPolicy::Never);
  EXPECT_EQ(policy({u"/norestart"}), run::RestartPolicy::Never);
  EXPECT_EQ(policy({u"/quiet", u"/forcerestart"}), run::RestartPolicy::Force);
}

TEST(ExitCode, FailureFirstThenTheRestart) {
  struct Case {
    report::RunOutcome outcome;
    int expected = 0;
  };
  const Case cases[] = {
      {{false, false, false}, 0},   {{true, false, false}, 3010}, {{true, false, true}, 1641},
      {{false, false, true}, 1641}, {{true, true, true}, 1603},   {{false, true, false}, 1603},
  };
  for (const Case& each : cases) {
    const int code = run::ExitCodeOf(each.outcome);
    EXPECT_EQ(code, each.expected) << each.outcome.restartNeeded << each.outcome.failed
                                   << each.outcome.restartInitiated;
    EXPECT_NE(std::u16string(run::MeaningOf(code)), u"");
  }
  EXPECT_EQ(std::u16string(run::MeaningOf(2)), u"");
  // The usage lists every switch's names and every code.
  const std::string usage = memory::Narrow(run::Usage());
  for (const char* shown :
       {"/quiet, /passive, /q", "/norestart", "/forcerestart", "/promptrestart", "/log, /l <file>", "/scan",
        "/backup <file>", "/offline <folder>", "/?, /h, /help", "/q followed by any of nbrf+-! is /quiet",
        "REBOOT=Force is /forcerestart", "\n  1     ", "\n  3010  /scan: nothing is left", "\n  1641  ", "\n  1603  ",
        "\n  1618  ", "\n  1622  ", "\n  1639  "})
    EXPECT_NE(usage.find(shown), std::string::npos) << shown;
}

}  // namespace
