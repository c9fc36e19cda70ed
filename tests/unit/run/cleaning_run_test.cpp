#include "run/cleaning_run.h"

#include <gtest/gtest.h>

#include "platform/memory/machine.h"

namespace {

// The sweep's reports are the last thing the run writes; the phases before
// it have their own tests.
std::string SweepReports(const std::string& output, const std::string& expectedTail) {
  if (output.size() >= expectedTail.size() &&
      output.compare(output.size() - expectedTail.size(), std::string::npos, expectedTail) == 0)
    return expectedTail;
  return output;
}

TEST(CleaningRun, SweepsPatternByPatternAndRootByRoot) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKLM\Software\Classes\CLSID\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}]
[HKLM\Software\Vendor]
"Id 6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18"="1"
"Name"="Korvex for Windows"
[HKCU\Software\Korvex for Windows]
"Tarnvol"="1"
[HKCU\Software\Settings]
"Path"="C:\\Tarnvol"
[HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{X}]
"DisplayName"="Korvex for Windows"
[HKLM\Software\Leftover\TarnVolRec]
[HKU\.DEFAULT\Tarnvo]
)");
  run::CleaningRun();
  const std::string expected =
      // Identifier: the classes key through HKEY_CLASSES_ROOT, and not again through HKEY_LOCAL_MACHINE.
      "[CLSID\\{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}]: DELETED\n\n"
      "[Software\\Vendor]:Id 6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18: DELETED\n\n"
      // Display name: HKEY_CURRENT_USER first, then the users' root finds nothing more.
      "[Software\\Korvex for Windows]: DELETED\n\n"
      "[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{X}]: DELETED\n\n"
      "[Software\\Vendor]:Name: DELETED\n\n"
      // Service name: only names are compared, so the Path value's text stays.
      "[Software\\Leftover\\TarnVolRec]: DELETED\n\n";
  EXPECT_EQ(SweepReports(memory::Narrow(memory::Output()), expected), expected);
  EXPECT_TRUE(memory::KeyExists(u"HKCU\\Software\\Settings"));
  EXPECT_TRUE(memory::KeyExists(u"HKU\\.DEFAULT\\Tarnvo"));
  EXPECT_TRUE(memory::KeyExists(u"HKLM\\Software\\Vendor"));
  EXPECT_EQ(memory::OpenKeyCount(), 0u);

  // A second run finds nothing more to sweep, under any name: it says what
  // the first said before its sweep, and nothing else.
  const std::string first = memory::Narrow(memory::Output());
  memory::ClearOutput();
  run::CleaningRun();
  EXPECT_EQ(memory::Narrow(memory::Output()) + expected, first);
}

}  // namespace
