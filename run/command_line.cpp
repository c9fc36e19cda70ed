#include "run/command_line.h"

#include <algorithm>
#include <iterator>

#include "platform/number_text.h"
#include "run/exit_code.h"
#include "text/text_matching.h"

namespace run {
namespace {

struct SwitchRow {
  const char16_t* names[3] = {};             // without "/"; the first is the one usage and messages show
  bool Switches::*given = nullptr;           // set when the switch is given
  std::u16string Switches::*file = nullptr;  // the next argument goes here; null for a switch without one
  const char16_t* usage = nullptr;           // its line in the usage text
  // msiexec's forms of the same switch: the letters that may follow its last
  // name, any of them in any order ("/l*v", "/qb-!"), and the property that
  // says the same ("REBOOT=Force"), matched whole without regard to case.
  const char16_t* flags = nullptr;
  const char16_t* property = nullptr;
};

constexpr SwitchRow SwitchTable[] = {
    {{u"quiet", u"passive", u"q"},
     &Switches::quiet,
     nullptr,
     u"no question, no window; no restart unless /forcerestart",
     u"nbrf+-!"},
    {{u"norestart", nullptr, nullptr},
     &Switches::noRestart,
     nullptr,
     u"never ask, never restart",
     nullptr,
     u"REBOOT=ReallySuppress"},
    {{u"forcerestart", nullptr, nullptr},
     &Switches::forceRestart,
     nullptr,
     u"after the run, request the restart without asking",
     nullptr,
     u"REBOOT=Force"},
    {{u"promptrestart", nullptr, nullptr},
     &Switches::promptRestart,
     nullptr,
     u"ask whether to restart, only when a restart is needed"},
    {{u"log", u"l", nullptr},
     nullptr,
     &Switches::log,
     u"append a log of the run; creates the file and its folder",
     u"iwearucmopvx+!*"},
    {{u"scan", nullptr, nullptr}, &Switches::scan, nullptr, u"list what a run would remove, and change nothing"},
    {{u"backup", nullptr, nullptr},
     &Switches::backupGiven,
     &Switches::backup,
     u"save what the run removes to a .reg file, for reg import"},
    {{u"allusers", nullptr, nullptr},
     &Switches::allUsers,
     nullptr,
     u"also clean the profiles of users who are not logged on"},
    {{u"offline", nullptr, nullptr},
     &Switches::offlineGiven,
     &Switches::offline,
     u"clean the Windows in <folder> (from WinPE), not this one"},
    {{u"?", u"h", u"help"}, &Switches::help, nullptr, u"show this text"},
};

// Pairs of switches that say opposite things.
struct Conflict {
  bool Switches::*first;
  bool Switches::*second;
};

constexpr Conflict ConflictTable[] = {
    {&Switches::quiet, &Switches::promptRestart},
    {&Switches::noRestart, &Switches::forceRestart},
    {&Switches::noRestart, &Switches::promptRestart},
    {&Switches::forceRestart, &Switches::promptRestart},
    // A preview removes nothing, so it has nothing to save and no restart to make.
    {&Switches::scan, &Switches::backupGiven},
    {&Switches::scan, &Switches::forceRestart},
    {&Switches::scan, &Switches::promptRestart},
    // Another Windows is not the one a restart would start.
    {&Switches::offlineGiven, &Switches::forceRestart},
    {&Switches::offlineGiven, &Switches::promptRestart},
};

constexpr std::u16string_view kFileNamePlaceholder = u"<file>";
constexpr std::u16string_view kFolderPlaceholder = u"<folder>";

// Whether the next argument names a folder rather than a file.
bool TakesFolder(const SwitchRow& row) { return row.file == &Switches::offline; }

const char16_t* LastName(const SwitchRow& row) {
  return row.names[2] ? row.names[2] : row.names[1] ? row.names[1] : row.names[0];
}

// Whether name is the row's last name followed only by its msiexec letters.
bool IsFlagForm(const SwitchRow& row, const std::u16string& name) {
  if (!row.flags) return false;
  const std::u16string last = LastName(row);
  if (name.size() < last.size() || !text::EqualsNoCase(name.substr(0, last.size()).c_str(), last.c_str()))
    return false;
  const std::u16string_view flags = row.flags;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(last.size()), name.end(), [flags](char16_t unit) {
    const char16_t lower = unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    return flags.find(lower) != std::u16string_view::npos;
  });
}

// The row of a switch argument ("/quiet", "-Q", "--help", "/l*v") or of an
// msiexec property ("REBOOT=Force"); null for an argument that names none of
// the table.
const SwitchRow* FindSwitch(const std::u16string& argument) {
  for (const SwitchRow& row : SwitchTable)
    if (row.property && text::EqualsNoCase(argument.c_str(), row.property)) return &row;
  std::size_t prefix = 0;
  if (argument.rfind(u"--", 0) == 0) prefix = 2;
  else if (!argument.empty() && (argument[0] == u'/' || argument[0] == u'-')) prefix = 1;
  if (prefix == 0) return nullptr;
  const std::u16string name = argument.substr(prefix);
  for (const SwitchRow& row : SwitchTable)
    for (const char16_t* each : row.names)
      if (each && text::EqualsNoCase(name.c_str(), each)) return &row;
  for (const SwitchRow& row : SwitchTable)
    if (IsFlagForm(row, name)) return &row;
  return nullptr;
}

bool IsSwitchLike(const std::u16string& argument) {
  return !argument.empty() && (argument[0] == u'/' || argument[0] == u'-');
}

std::u16string Shown(const SwitchRow& row) { return u"/" + std::u16string(row.names[0]); }

// The row whose flag is this member, for naming it in a message.
const SwitchRow& RowOf(bool Switches::*given) {
  return *std::find_if(std::begin(SwitchTable), std::end(SwitchTable),
                       [given](const SwitchRow& row) { return row.given == given; });
}

// The first pair of given switches that exclude each other, as a message.
std::u16string ConflictIn(const Switches& switches) {
  for (const Conflict& conflict : ConflictTable)
    if (switches.*conflict.first && switches.*conflict.second)
      return Shown(RowOf(conflict.first)) + u" and " + Shown(RowOf(conflict.second)) + u" cannot be combined";
  return {};
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> arguments;
  const auto blank = [](char16_t unit) { return unit == u' ' || unit == u'\t'; };
  std::size_t at = 0;
  const std::size_t end = commandLine.size();

  // The program's name: quotes open and close, nothing is escaped.
  std::u16string program;
  bool quoted = false;
  for (; at < end && (quoted || !blank(commandLine[at])); ++at) {
    if (commandLine[at] == u'"') quoted = !quoted;
    else program += commandLine[at];
  }
  arguments.push_back(std::move(program));

  for (;;) {
    while (at < end && blank(commandLine[at])) ++at;
    if (at >= end) break;
    std::u16string argument;
    quoted = false;
    while (at < end && (quoted || !blank(commandLine[at]))) {
      std::size_t backslashes = 0;
      while (at < end && commandLine[at] == u'\\') {
        ++backslashes;
        ++at;
      }
      if (at < end && commandLine[at] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) argument += u'"';
        else if (quoted && at + 1 < end && commandLine[at + 1] == u'"') {
          argument += u'"';
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, u'\\');
        if (at < end && (quoted || !blank(commandLine[at]))) argument += commandLine[at++];
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

ParsedArguments ParseArguments(const std::vector<std::u16string>& arguments) {
  ParsedArguments parsed;
  Switches& switches = parsed.switches;
  const auto error = [&parsed](std::u16string message) {
    if (parsed.error.empty()) parsed.error = std::move(message);
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    const SwitchRow* row = FindSwitch(argument);
    if (!row) {
      error((IsSwitchLike(argument) ? u"Unknown switch: " : u"Not a switch: ") + argument);
      continue;
    }
    if (row->given) switches.*(row->given) = true;
    if (!row->file) continue;
    if (i + 1 == arguments.size() || arguments[i + 1].empty() || FindSwitch(arguments[i + 1])) {
      error(Shown(*row) + (TakesFolder(*row) ? u" needs a folder" : u" needs a file name"));
      continue;
    }
    if (!(switches.*(row->file)).empty()) error(Shown(*row) + u" is given twice");
    else switches.*(row->file) = arguments[i + 1];
    ++i;
  }
  // Help beside a run would turn the run into "done, nothing changed".
  if (switches.help && arguments.size() > 1) {
    switches.help = false;
    error(u"/? cannot be combined with other arguments");
  }
  error(ConflictIn(switches));
  return parsed;
}

RestartPolicy RestartPolicyOf(const Switches& switches) {
  if (switches.forceRestart) return RestartPolicy::Force;
  if (switches.quiet || switches.noRestart) return RestartPolicy::Never;
  return RestartPolicy::AskWhenNeeded;
}

std::u16string Usage() {
  std::vector<std::u16string> forms;
  std::size_t width = 0;
  for (const SwitchRow& row : SwitchTable) {
    std::u16string form;
    for (const char16_t* name : row.names) {
      if (!name) continue;
      if (!form.empty()) form += u", ";
      form += u"/" + std::u16string(name);
    }
    if (row.file) form += u" " + std::u16string(TakesFolder(row) ? kFolderPlaceholder : kFileNamePlaceholder);
    width = std::max(width, form.size());
    forms.push_back(std::move(form));
  }
  std::u16string usage =
      u"Korvex Cleaner removes Korvex for Windows from this computer.\n"
      u"\n"
      u"korvex-cleaner.exe [switches]\n"
      u"\n";
  for (std::size_t i = 0; i < forms.size(); ++i)
    usage += u"  " + forms[i] + std::u16string(width - forms[i].size() + 2, u' ') + SwitchTable[i].usage + u"\n";
  usage += u"\nmsiexec's forms are taken too:\n";
  for (const SwitchRow& row : SwitchTable) {
    if (row.flags)
      usage += u"  /" + std::u16string(LastName(row)) + u" followed by any of " + row.flags + u" is " + Shown(row) +
               u"\n";
    if (row.property) usage += u"  " + std::u16string(row.property) + u" is " + Shown(row) + u"\n";
  }
  usage +=
      u"\n"
      u"Switches start with / or - and may be written in any case. Without arguments\n"
      u"the cleaner reports every deletion, asks whether to restart and exits with 0.\n"
      u"\n"
      u"Exit codes with arguments:\n";
  for (const ExitCodeRow& row : ExitCodeTable) {
    const std::u16string code = platform::Decimal(row.code);
    usage += u"  " + code + std::u16string(6 - code.size(), u' ') + row.meaning + u"\n";
  }
  return usage;
}

}  // namespace run
