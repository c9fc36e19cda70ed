// The program from its command line to its exit code: the run without
// arguments as it always was, and a run with arguments, whose exit code
// deployment tools read, whose log keeps the report, and which changes
// nothing when it refuses to start.
#include "run/program.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "korvex_version.h"
#include "platform/memory/machine.h"

namespace {

constexpr char16_t kFootprint[] =
    uR"(
[HKLM\System\CurrentControlSet\Services\Tarnvol]
[HKLM\System\CurrentControlSet\Services\vornpart]
[HKLM\System\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}]
"UpperFilters"=multi:"partmgr","vornpart"
[HKCU\Software\Korvex for Windows]
)";

void Machine(const char16_t* reg = kFootprint) {
  memory::ResetMachine();
  memory::LoadReg(reg);
  memory::AddService({u"Tarnvol", platform::kServiceRunning});
}

int RunWith(std::u16string_view commandLine) {
  memory::SetCommandLine(commandLine);
  return run::RunProgram();
}

bool Asked() {
  for (const std::string& call : memory::SessionCalls())
    if (call.rfind("MessageBoxW", 0) == 0) return true;
  return false;
}

std::string Crlf(const std::u16string& text) {
  std::string bytes;
  for (char c : memory::Narrow(text)) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
}

TEST(Program, WithoutArgumentsTheRunIsAsItWasWithArgumentsItsReportIsTheSame) {
  Machine();
  EXPECT_EQ(RunWith(u"\"C:\\Tools\\korvex-cleaner.exe\"  "), 0);
  const std::u16string report = memory::Output();
  EXPECT_TRUE(Asked());
  EXPECT_FALSE(memory::MutexOpen(u"KorvexCleaner\\Run"));
  EXPECT_EQ(memory::ErrorOutput(), u"");

  Machine();
  EXPECT_EQ(RunWith(u"k.exe /quiet /log C:\\Logs\\%ComputerName%\\%NOT_SET%.log"), 3010);
  EXPECT_EQ(memory::Output(), report);
  EXPECT_FALSE(Asked());
  EXPECT_TRUE(memory::ShutdownRequests().empty());
  EXPECT_FALSE(memory::KeyExists(u"HKCU\\Software\\Korvex for Windows"));
  EXPECT_FALSE(memory::MutexOpen(u"KorvexCleaner\\Run"));

  // Created with its folders: the byte-order mark, the header, the report as
  // standard output has it, the closing line; a second run appends.
  const std::string header = "Korvex Cleaner " + std::string(KORVEX_VERSION_TEXT) +
                             " started 2024-03-09 07:05:03 +01:00 on TESTPC-07 as SYSTEM: k.exe /quiet /log "
                             "C:\\Logs\\%ComputerName%\\%NOT_SET%.log\r\n";
  std::string log = "\xEF\xBB\xBF" + header + Crlf(report) +
                    "Korvex Cleaner ended with exit code 3010: done; a restart is needed and was not requested\r\n";
  EXPECT_EQ(memory::FileContent(u"c:/logs/testpc-07/%not_set%.LOG").value_or("(none)"), log);
  memory::ClearOutput();
  memory::SetLocalTime({2024, 11, 30, 23, 59, 9, -330});
  EXPECT_EQ(RunWith(u"k.exe /quiet /log C:\\Logs\\%ComputerName%\\%NOT_SET%.log"), 0);
  log += "Korvex Cleaner " + std::string(KORVEX_VERSION_TEXT) +
         " started 2024-11-30 23:59:09 -05:30 on TESTPC-07 as SYSTEM: k.exe /quiet /log "
         "C:\\Logs\\%ComputerName%\\%NOT_SET%.log\r\n" +
         Crlf(memory::Output()) + "Korvex Cleaner ended with exit code 0: done, and no restart is needed\r\n";
  EXPECT_EQ(memory::FileContent(u"C:\\Logs\\TESTPC-07\\%NOT_SET%.log").value_or("(none)"), log);
}

// Each refusal leaves the machine as it was, standard output empty, and no log.
TEST(Program, RefusalsChangeNothing) {
  struct Case {
    const char* name;
    std::function<void()> bend;
    std::u16string_view commandLine;
    int expected;
    std::u16string_view errorStart;
  };
  const Case cases[] = {
      {"unknown switch", [] {}, u"k.exe /quiet /log C:\\l.log /reboot", 1639, u"Unknown switch: /reboot\n\nKorvex"},
      {"conflict", [] {}, u"k.exe /q /promptrestart", 1639, u"/quiet and /promptrestart cannot be combined\n\n"},
      {"help beside a run", [] {}, u"k.exe /quiet /?", 1639, u"/? cannot be combined with other arguments\n\nKorvex"},
      {"another cleaner", [] { memory::HoldMutexElsewhere(u"KorvexCleaner\\Run"); }, u"k.exe /quiet /log C:\\l.log",
       1618, u"Another Korvex Cleaner is running on this computer."},
      {"another cleaner, no private namespaces",
       [] {
         memory::FailPrivateNamespaces(platform::kErrorCallNotImplemented);
         memory::HoldMutexElsewhere(u"Global\\KorvexCleaner");
       },
       u"k.exe /quiet /log C:\\l.log", 1618, u"Another Korvex Cleaner is running on this computer."},
      // SYSTEM's cleaner made the mutex, and an administrator may not open it.
      {"another account's cleaner", [] { memory::SquatObjectName(u"KorvexCleaner\\Run", 5); },
       u"k.exe /quiet /log C:\\l.log", 1618, u"Another Korvex Cleaner is running on this computer."},
      // The namespace is there but refused: the global name is no lock, since
      // a cleaner holding the namespace's mutex would not be seen.
      {"namespace refused", [] { memory::FailPrivateNamespaces(5); }, u"k.exe /quiet /log C:\\l.log", 1603,
       u"The lock that keeps two Korvex Cleaners from running at once cannot be made (error 5). Nothing was "
       u"changed.\n"},
      // A folder whose SYSTEM hive is not there, and one whose hive Windows
      // will not open, as on a volume BitLocker keeps locked: what it said.
      {"offline, no hive", [] { memory::CreateFolder(u"D:\\Windows"); }, u"k.exe /offline D:\\Windows /log C:\\l.log",
       1639,
       u"D:\\Windows holds no Windows to clean: D:\\Windows\\System32\\config\\SYSTEM is missing. Nothing was "
       u"changed.\n"},
      {"offline, hive locked",
       [] {
         memory::CreateHiveFile(u"D:\\Windows\\System32\\config\\SYSTEM", u"[Select]\n");
         memory::FailFileOpen(u"D:\\Windows\\System32\\config\\SYSTEM", 5);
       },
       u"k.exe /offline D:\\Windows /log C:\\l.log", 1639,
       u"D:\\Windows\\System32\\config\\SYSTEM cannot be read (error 5: access denied): a volume locked by "
       u"BitLocker must be unlocked first (manage-bde -unlock). Nothing was changed.\n"},
      {"log refused", [] { memory::FailFileOpen(u"C:\\l.log", 5); }, u"k.exe /quiet /log C:\\l.log", 1622,
       u"The log file C:\\l.log cannot be opened or created (error 5). Nothing was changed.\n"},
      {"log in a file", [] { memory::CreateFile(u"C:\\file", "x"); }, u"k.exe /log C:\\file\\l.log", 1622,
       u"The log file C:\\file\\l.log cannot be opened or created (error 3)."},
  };
  for (const Case& each : cases) {
    Machine();
    each.bend();
    const std::u16string before = memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU");
    EXPECT_EQ(RunWith(each.commandLine), each.expected) << each.name;
    EXPECT_EQ(memory::ErrorOutput().rfind(each.errorStart, 0), 0u)
        << each.name << ": " << memory::Narrow(memory::ErrorOutput());
    EXPECT_EQ(memory::Output(), u"") << each.name;
    EXPECT_EQ(memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU"), before) << each.name;
    EXPECT_TRUE(memory::ServiceExists(u"Tarnvol")) << each.name;
    EXPECT_FALSE(memory::FileContent(u"C:\\l.log")) << each.name;
    EXPECT_TRUE(memory::LoadedHiveFiles().empty()) << each.name;
  }

  Machine();
  EXPECT_EQ(RunWith(u"k.exe /?"), 0);
  EXPECT_EQ(memory::Narrow(memory::Output()).rfind("Korvex Cleaner removes Korvex for Windows", 0), 0u);
  EXPECT_TRUE(memory::RegistryCalls().empty());
  EXPECT_TRUE(memory::ServiceExists(u"Tarnvol"));
}

// A standard user may make the old global name first, as an event or as a
// mutex whose DACL refuses everyone: the run takes its mutex in the
// administrators' namespace all the same. Where there is no such namespace,
// the global name taken by another type of object is no cleaner's.
TEST(Program, NoObjectAStandardUserMakesBlocksTheRun) {
  struct Case {
    const char* name;
    std::function<void()> bend;
    const char16_t* held;
  };
  const Case cases[] = {
      {"an event", [] { memory::SquatObjectName(u"Global\\KorvexCleaner", platform::kErrorInvalidHandle); },
       u"KorvexCleaner\\Run"},
      {"a mutex nobody may open", [] { memory::SquatObjectName(u"Global\\KorvexCleaner", 5); },
       u"KorvexCleaner\\Run"},
      {"a mutex held", [] { memory::HoldMutexElsewhere(u"Global\\KorvexCleaner"); }, u"KorvexCleaner\\Run"},
      {"an event, no private namespaces",
       [] {
         memory::FailPrivateNamespaces(platform::kErrorCallNotImplemented);
         memory::SquatObjectName(u"Global\\KorvexCleaner", platform::kErrorInvalidHandle);
       },
       nullptr},
  };
  for (const Case& each : cases) {
    Machine();
    each.bend();
    bool heldDuringTheRun = false;
    memory::BeforeCall(u"HKLM\\System\\CurrentControlSet\\Services\\vornpart", "DeleteOpenKey",
                       [&] { heldDuringTheRun = each.held && memory::MutexOpen(each.held); });
    EXPECT_EQ(RunWith(u"k.exe /quiet"), 3010) << each.name;
    EXPECT_EQ(memory::ErrorOutput(), u"") << each.name;
    EXPECT_FALSE(memory::ServiceExists(u"Tarnvol")) << each.name;
    EXPECT_EQ(heldDuringTheRun, each.held != nullptr) << each.name;
  }
}

// /offline cleans another Windows, which the running one needs no restart
// for: the form the README gives, without /quiet, asks nothing and requests
// nothing, even where a person would see the question and answer OK.
TEST(Program, OfflineRunAsTheReadmeGivesItNeitherAsksNorRestarts) {
  Machine();
  memory::CreateFolder(u"C:\\Windows");
  memory::CreateHiveFile(u"D:\\Windows\\System32\\config\\SYSTEM",
                         u"[Select]\n\"Current\"=dword:00000001\n[ControlSet001\\Services\\Tarnvol]\n"
                         u"[ControlSet001\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"
                         u"\"UpperFilters\"=multi:\"partmgr\",\"vornpart\"\n");
  memory::AnswerMessageBox(platform::kIdOk);
  EXPECT_EQ(RunWith(u"k.exe /offline D:\\Windows /backup X:\\undo.reg /log X:\\clean.log"), 0);
  EXPECT_NE(memory::Narrow(memory::Output()).find("\\ControlSet001\\Services\\Tarnvol]: DELETED"), std::string::npos);
  EXPECT_FALSE(Asked());
  EXPECT_TRUE(memory::ShutdownRequests().empty());
  EXPECT_EQ(memory::ServiceState(u"Tarnvol"), platform::kServiceRunning);
}

// The 32-bit build on 64-bit Windows would clean the 32-bit view alone and
// call that success: with arguments it refuses, after the log is opened so
// that the log says why; without, it runs as it always did.
TEST(Program, UnderWow64ARunWithArgumentsRefusesAndOneWithoutCleansAsBefore) {
  Machine();
  EXPECT_EQ(RunWith(u"k.exe"), 0);
  const std::u16string report = memory::Output();
  const std::u16string registry = memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU");

  Machine();
  memory::SetWow64Process(true);
  EXPECT_EQ(RunWith(u"k.exe"), 0);
  EXPECT_EQ(memory::Output(), report);
  EXPECT_EQ(memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU"), registry);
  EXPECT_EQ(memory::ErrorOutput(), u"");
  EXPECT_TRUE(Asked());

  const std::u16string refusal =
      u"This is the 32-bit Korvex Cleaner, which on 64-bit Windows sees only the 32-bit view of the registry. "
      u"Run x64\\korvex-cleaner.exe instead. Nothing was changed.\n";
  for (std::u16string_view commandLine : {u"k.exe /quiet /log C:\\l.log", u"k.exe /scan /log C:\\l.log"}) {
    Machine();
    memory::SetWow64Process(true);
    const std::u16string before = memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU");
    EXPECT_EQ(RunWith(commandLine), 1603) << memory::Narrow(std::u16string(commandLine));
    EXPECT_EQ(memory::ErrorOutput(), refusal);
    EXPECT_EQ(memory::Output(), u"");
    EXPECT_EQ(memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKCU"), before);
    EXPECT_TRUE(memory::ServiceExists(u"Tarnvol"));
    EXPECT_FALSE(Asked());
    EXPECT_FALSE(memory::MutexOpen(u"KorvexCleaner\\Run"));
    const std::string log = "\xEF\xBB\xBFKorvex Cleaner " + std::string(KORVEX_VERSION_TEXT) +
                            " started 2024-03-09 07:05:03 +01:00 on TESTPC-07 as SYSTEM: " +
                            memory::Narrow(std::u16string(commandLine)) + "\r\n" + Crlf(refusal) +
                            "Korvex Cleaner ended with exit code 1603: something of the product could not be "
                            "removed\r\n";
    EXPECT_EQ(memory::FileContent(u"C:\\l.log").value_or("(none)"), log);
  }

  // The usage changes nothing and is what an administrator reads first.
  Machine();
  memory::SetWow64Process(true);
  EXPECT_EQ(RunWith(u"k.exe /?"), 0);
  EXPECT_EQ(memory::Narrow(memory::Output()).rfind("Korvex Cleaner removes Korvex for Windows", 0), 0u);
}

// What makes the code 1603, 1641 or 3010, and when the question is asked.
TEST(Program, ExitCodeFollowsWhatTheRunDidAndTheRestartSwitches) {
  struct Case {
    const char* name;
    const char16_t* reg;
    std::function<void()> bend;
    std::u16string_view commandLine;
    int expected;
    bool asked;
  };
  constexpr char16_t kSweepOnly[] =
      uR"(
[HKCU\Software\Korvex for Windows]
[HKLM\Software\Vendor]
"Tarnvol"="1"
)";
  constexpr char16_t kFilterOnly[] =
      uR"(
[HKLM\System\CurrentControlSet\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}]
"UpperFilters"=multi:"tessaid","volsnap"
)";
  static constexpr char16_t kVolumeClass[] =
      u"HKLM\\System\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
  const auto nothing = [] {};
  const auto noServices = [] { memory::ResetServiceManager(); };
  const Case cases[] = {
      // Sweep deletions alone need no restart; a rewritten filter list does.
      {"sweep only", kSweepOnly, noServices, u"k.exe /log C:\\l.log", 0, false},
      {"filter only", kFilterOnly, noServices, u"k.exe /quiet", 3010, false},
      // Without a restart switch the question comes only when needed, and only where it is seen.
      {"asked, cancel", kFootprint, nothing, u"k.exe /log C:\\l.log", 3010, true},
      {"asked, OK", kFootprint, [] { memory::AnswerMessageBox(platform::kIdOk); }, u"k.exe /promptrestart", 1641,
       true},
      {"nobody to ask", kFootprint, [] { memory::SetWindowStationVisible(false); }, u"k.exe /log C:\\l.log", 3010,
       false},
      {"forced though not needed", kSweepOnly, noServices, u"k.exe /quiet /forcerestart", 1641, false},
      {"forced, refused", kFootprint, [] { memory::FailSessionCall("ExitWindowsEx"); }, u"k.exe /forcerestart", 3010,
       false},
      {"no restart", kFootprint, [] { memory::AnswerMessageBox(platform::kIdOk); }, u"k.exe /norestart", 3010, false},
      // A driver that will not stop but is deleted goes with the restart.
      {"stop refused", kFootprint,
       [] {
         memory::ResetServiceManager();
         memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 1052});
       },
       u"k.exe /quiet /forcerestart", 1641, false},
      // Failures come first, whatever the restart did.
      {"stop and deletion refused", kFootprint,
       [] {
         memory::ResetServiceManager();
         memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 1052, 0, false, 0x10000});
       },
       u"k.exe /quiet /forcerestart", 1603, false},
      {"manager refused", kFootprint, [] { memory::FailManagerOpen(5); }, u"k.exe /quiet", 1603, false},
      {"service refuses deletion rights", kFootprint,
       [] {
         memory::ResetServiceManager();
         memory::AddService({u"Tarnvol", platform::kServiceStopped, 0, 0, 0, false, 0x10000});
       },
       u"k.exe /quiet", 1603, false},
      // A service already marked for deletion goes once it has stopped: not a
      // failure. A handle another program holds keeps it from going sooner.
      {"already marked for deletion", kFootprint,
       [] {
         memory::ResetServiceManager();
         memory::AddService({u"Tarnvol", platform::kServiceStopped, 0, 0, 0, true});
         platform::OpenServiceW(platform::OpenSCManagerW(platform::kScManagerConnect), u"Tarnvol",
                                platform::kServiceQueryStatus);
       },
       u"k.exe /quiet", 3010, false},
      {"driver key refused", kFootprint,
       [] { memory::RefuseAccess(u"HKLM\\System\\CurrentControlSet\\Services\\vornpart", 0x10000); }, u"k.exe /quiet",
       1603, false},
      {"class list refused", kFilterOnly,
       [] {
         memory::ResetServiceManager();
         memory::RefuseAccess(kVolumeClass, 2);
       },
       u"k.exe /quiet", 1603, false},
      {"sweep key refused", kSweepOnly,
       [] {
         memory::ResetServiceManager();
         memory::CreateKey(u"HKCU\\Software\\Korvex for Windows\\Settings");
         memory::RefuseAccess(u"HKCU\\Software\\Korvex for Windows\\Settings", 0x10000);
       },
       u"k.exe /quiet", 1603, false},
      // Silent in the report, as the key of a value to delete always was.
      {"sweep value's key refused", kSweepOnly,
       [] {
         memory::ResetServiceManager();
         memory::RefuseAccess(u"HKLM\\Software\\Vendor", 2);
       },
       u"k.exe /quiet", 1603, false},
  };
  for (const Case& each : cases) {
    Machine(each.reg);
    each.bend();
    EXPECT_EQ(RunWith(each.commandLine), each.expected) << each.name;
    EXPECT_EQ(Asked(), each.asked) << each.name;
    EXPECT_EQ(memory::ErrorOutput(), u"") << each.name;
  }
}

// A driver that will not stop, refusing the stop or stuck in stop pending, is
// deleted all the same and goes at the restart: 3010, the log says so, and
// /scan before the restart lists it as pending, with 3010 of its own.
TEST(Program, DriverThatWillNotStopIsRemovedAtTheRestart) {
  const std::string pending =
      "Service [Tarnvol]: marked for deletion, not stopped; the restart finishes its removal\r\n"
      "Korvex Cleaner ended with exit code 3010:";
  for (const memory::ServiceModel& driver :
       {memory::ServiceModel{u"Tarnvol", platform::kServiceRunning, 0, 1052},
        memory::ServiceModel{u"Tarnvol", platform::kServiceRunning, memory::kNeverStops}}) {
    Machine();
    memory::ResetServiceManager();
    memory::AddService(driver);
    EXPECT_EQ(RunWith(u"k.exe /quiet /norestart /log C:\\l.log"), 3010);
    EXPECT_NE(memory::FileContent(u"C:\\l.log").value_or("").find(pending), std::string::npos);
    EXPECT_TRUE(memory::ServiceMarkedForDelete(u"Tarnvol"));
    EXPECT_FALSE(memory::KeyExists(u"HKLM\\System\\CurrentControlSet\\Services\\Tarnvol"));

    // Before the restart: nothing left but the service the restart removes.
    memory::ClearOutput();
    EXPECT_EQ(RunWith(u"k.exe /scan"), 3010);
    EXPECT_EQ(memory::Narrow(memory::Output()), std::string("Service [Tarnvol]: PENDING RESTART, ") +
                                                    (driver.stopError ? "RUNNING\n" : "STOP PENDING\n"));
    // A second run before the restart finds it marked already (1072): 3010 again.
    EXPECT_EQ(RunWith(u"k.exe /quiet"), 3010);
  }

  // Marked, its key still there with DeleteFlag (the key phase could not
  // delete it): both pending; one more thing there makes it 1.
  Machine(u"[HKLM\\System\\CurrentControlSet\\Services\\Tarnvol]\n\"DeleteFlag\"=dword:00000001\n");
  memory::ResetServiceManager();
  memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 0, 0, true});
  EXPECT_EQ(RunWith(u"k.exe /scan /log C:\\s.log"), 3010);
  EXPECT_EQ(memory::Narrow(memory::Output()),
            "Service [Tarnvol]: PENDING RESTART, RUNNING\n[TarnVol]: PENDING RESTART\n\n");
  EXPECT_NE(memory::FileContent(u"C:\\s.log").value_or("").find("exit code 3010: /scan: nothing is left but"),
            std::string::npos);
  memory::CreateKey(u"HKLM\\System\\CurrentControlSet\\Services\\brunko");
  EXPECT_EQ(RunWith(u"k.exe /scan"), 1);
}

// A driver an earlier run marked for deletion, which the manager will not
// even open now (1072): /scan lists it pending the restart, and the run
// agrees, removed at the restart (3010, 1641 with /forcerestart), its log
// says so, and the console is what it is for a service that is gone.
TEST(Program, ServiceTheManagerWillNotOpenGoesAtTheRestart) {
  constexpr char16_t kNoKeys[] = u"[HKLM\\Software\\Vendor]\n";
  Machine(kNoKeys);
  memory::ResetServiceManager();
  EXPECT_EQ(RunWith(u"k.exe /quiet"), 0);
  const std::u16string gone = memory::Output();

  for (const char16_t* commandLine : {u"k.exe /quiet /log C:\\l.log", u"k.exe /quiet /forcerestart /log C:\\l.log"}) {
    Machine(kNoKeys);
    memory::ResetServiceManager();
    memory::AddService({u"Tarnvol", platform::kServiceRunning, 0, 0, 0, true, 0, true});
    EXPECT_EQ(RunWith(u"k.exe /scan"), 3010);
    EXPECT_EQ(memory::Narrow(memory::Output()), "Service [Tarnvol]: PENDING RESTART, STATE UNKNOWN\n");
    memory::ClearOutput();
    const bool forced = std::u16string_view(commandLine).find(u"/forcerestart") != std::u16string_view::npos;
    EXPECT_EQ(RunWith(commandLine), forced ? 1641 : 3010);
    EXPECT_EQ(memory::Output(), gone);
    EXPECT_NE(memory::FileContent(u"C:\\l.log")
                  .value_or("")
                  .find("Service [Tarnvol]: marked for deletion, not stopped; the restart finishes its removal\r\n"
                        "Korvex Cleaner ended with exit code " +
                        std::string(forced ? "1641" : "3010")),
              std::string::npos);
    EXPECT_TRUE(memory::ServiceExists(u"Tarnvol"));
  }
}

}  // namespace
