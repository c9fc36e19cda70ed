// The command line as a deployment tool or a typist hands it over: split as
// the C runtime splits it (run::SplitCommandLine), read as switches
// (run::ParseArguments), and, when refused, the whole program run on it
// against the in-memory machine. Checked, beside no crash and no hang
// (fuzz/run.sh gives each input 10 s):
// - the split gives the program's name and arguments that, quoted again as
//   the C runtime's rules want and joined with spaces, split to the same;
// - a refused line is no help request (that would exit 0), and an unknown
//   switch or stray argument is named as it was typed;
// - a file or folder taken after a switch is never itself a switch, and the
//   case of letters changes nothing but the file names;
// - a refused line changes nothing: 1639, its reason and the usage on
//   standard error, nothing on standard output, and no registry, service,
//   session or file call.
//
// Input: one control byte, then the line's units.
//   control bit 0: units are two bytes each (little-endian, an odd last byte
//                  dropped) instead of one byte each
// A NUL unit ends the line, as it ends the text GetCommandLineW gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory/machine.h"
#include "run/command_line.h"
#include "run/program.h"

namespace {

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "command line: %s\n", what);
    std::abort();
  }
}

bool Blank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// One argument as the C runtime reads it back: bare when nothing in it needs
// quoting; otherwise in quotes, each backslash run before a quote or the
// closing quote doubled, and each quote escaped.
std::u16string Quoted(const std::u16string& argument) {
  bool plain = !argument.empty();
  for (char16_t unit : argument) plain = plain && !Blank(unit) && unit != u'"';
  if (plain) return argument;
  std::u16string quoted = u"\"";
  std::size_t backslashes = 0;
  for (char16_t unit : argument) {
    if (unit == u'\\') {
      ++backslashes;
      continue;
    }
    if (unit == u'"') quoted.append(2 * backslashes + 1, u'\\');
    else quoted.append(backslashes, u'\\');
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(2 * backslashes, u'\\');
  return quoted + u"\"";
}

std::u16string Joined(const std::vector<std::u16string>& split) {
  // The program's name never holds a quote (the split drops them) and takes
  // no escapes: quotes around it are enough.
  std::u16string line = u"\"" + split[0] + u"\"";
  for (std::size_t i = 1; i < split.size(); ++i) line += u" " + Quoted(split[i]);
  return line;
}

std::u16string Upper(std::u16string text) {
  for (char16_t& unit : text)
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  return text;
}

bool Named(const std::u16string& error, std::u16string_view form, const std::vector<std::u16string>& arguments) {
  if (error.rfind(form, 0) != 0) return false;
  const std::u16string named = error.substr(form.size());
  for (const std::u16string& argument : arguments)
    if (argument == named) return true;
  return false;
}

bool SameSwitches(const run::Switches& a, const run::Switches& b) {
  return a.quiet == b.quiet && a.noRestart == b.noRestart && a.forceRestart == b.forceRestart &&
         a.promptRestart == b.promptRestart && a.help == b.help && a.scan == b.scan &&
         a.backupGiven == b.backupGiven && a.allUsers == b.allUsers && a.offlineGiven == b.offlineGiven;
}

// Each file or folder the line gave, which must not be a switch of the table:
// alone, it is refused as something other than a switch.
void CheckTaken(const std::u16string& taken) {
  if (taken.empty()) return;
  const std::u16string error = run::ParseArguments({taken}).error;
  Check(error.rfind(u"Not a switch: ", 0) == 0 || error.rfind(u"Unknown switch: ", 0) == 0,
        "a switch of the table was taken as a file or folder");
}

// The whole program on a refused line, on a machine that holds the product.
void CheckRefusalChangesNothing(const std::u16string& line, const std::u16string& error) {
  memory::ResetMachine();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services\\Tarnvol]\n[HKCU\\Software\\Korvex for Windows]\n");
  memory::AddService({u"Tarnvol", platform::kServiceRunning});
  const std::u16string before = memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU");
  memory::ClearRegistryCalls();
  memory::SetCommandLine(line);
  Check(run::RunProgram() == 1639, "a refused line did not exit with 1639");
  Check(memory::ErrorOutput() == error + u"\n\n" + run::Usage(), "a refusal is not its reason and the usage");
  Check(memory::Output().empty(), "a refusal wrote to standard output");
  Check(memory::RegistryCalls().empty(), "a refusal called the registry");
  Check(memory::ServiceCalls().empty(), "a refusal called the service manager");
  Check(memory::SessionCalls().empty(), "a refusal asked, or restarted");
  Check(memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU") == before, "a refusal changed the registry");
  Check(memory::ServiceExists(u"Tarnvol"), "a refusal removed a service");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  std::u16string line;
  if (input[0] & 1) {
    for (std::size_t at = 1; at + 1 < size; at += 2) line += static_cast<char16_t>(input[at] | (input[at + 1] << 8));
  } else {
    for (std::size_t at = 1; at < size; ++at) line += static_cast<char16_t>(input[at]);
  }
  line.resize(std::char_traits<char16_t>::length(line.c_str()));

  const std::vector<std::u16string> split = run::SplitCommandLine(line);
  Check(!split.empty(), "no program name");
  Check(run::SplitCommandLine(Joined(split)) == split, "quoted again, the arguments split otherwise");

  const std::vector<std::u16string> arguments(split.begin() + 1, split.end());
  if (arguments.empty()) return 0;  // the run without arguments: nothing to read
  const run::ParsedArguments parsed = run::ParseArguments(arguments);
  const std::u16string& error = parsed.error;

  std::vector<std::u16string> upper;
  upper.reserve(arguments.size());
  for (const std::u16string& argument : arguments) upper.push_back(Upper(argument));
  const run::ParsedArguments upperParsed = run::ParseArguments(upper);
  Check(upperParsed.error.empty() == error.empty(), "the case of letters decides whether a line is refused");
  Check(SameSwitches(upperParsed.switches, parsed.switches), "the case of letters changes a switch");

  if (error.empty()) {
    Check(!parsed.switches.help || arguments.size() == 1, "help accepted beside another argument");
    CheckTaken(parsed.switches.log);
    CheckTaken(parsed.switches.backup);
    CheckTaken(parsed.switches.offline);
    return 0;
  }
  Check(!parsed.switches.help, "a refused line asks for help, which exits with 0");
  if (error.rfind(u"Unknown switch: ", 0) == 0)
    Check(Named(error, u"Unknown switch: ", arguments), "switch misnamed");
  if (error.rfind(u"Not a switch: ", 0) == 0) Check(Named(error, u"Not a switch: ", arguments), "argument misnamed");
  CheckRefusalChangesNothing(line, error);
  return 0;
}
