// The call log can be switched off for timing; the registry must answer the
// same either way, and the log must say nothing while it is off.
#include <gtest/gtest.h>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "sweep/registry_search.h"

namespace {

using platform::kLocalMachine;

// Searches HKLM\T for "pat" with every flag and returns what was found and
// how many calls the log grew by.
std::pair<std::size_t, std::size_t> SearchAndCount() {
  const std::size_t before = memory::RegistryCalls().size();
  platform::RegKey key;
  EXPECT_EQ(platform::RegOpenKeyExW(kLocalMachine, u"T", platform::kKeyRead, &key), 0);
  sweep::FoundList list;
  sweep::ScanKey(key, u"", u"pat", list, 7);
  platform::RegCloseKey(key);
  return {list.size(), memory::RegistryCalls().size() - before};
}

TEST(RecordCalls, OffLogsNothingAndChangesNoAnswer) {
  memory::ResetMachine();
  memory::LoadReg(
      uR"(
[HKLM\T\a pat]
"v"="pat text"
[HKLM\T\b]
"pat"=dword:00000001
)");
  const auto recorded = SearchAndCount();
  EXPECT_EQ(recorded.first, 3u);
  EXPECT_GT(recorded.second, 10u);

  memory::RecordCalls(false);
  const auto quiet = SearchAndCount();
  EXPECT_EQ(quiet.first, recorded.first);
  EXPECT_EQ(quiet.second, 0u);
  // The questions about links, asked only when a key name matches, stay quiet too.
  platform::RegKey key;
  ASSERT_EQ(platform::RegOpenKeyExW(kLocalMachine, u"T", platform::kKeyRead, &key), 0);
  EXPECT_FALSE(platform::IsLinkKey(key, u"a pat"));
  EXPECT_EQ(platform::KeyObjectName(key), u"\\REGISTRY\\MACHINE\\T");
  platform::RegCloseKey(key);
  EXPECT_EQ(memory::RegistryCalls().size(), recorded.second);
  EXPECT_EQ(memory::OpenKeyCount(), 0u);

  memory::RecordCalls(true);
  EXPECT_EQ(SearchAndCount(), recorded);
}

TEST(RecordCalls, ResetTurnsRecordingBackOn) {
  memory::ResetMachine();
  memory::RecordCalls(false);
  memory::ResetMachine();
  platform::RegKey key;
  ASSERT_EQ(platform::RegOpenKeyExW(kLocalMachine, u"Software", platform::kKeyRead, &key), 0);
  platform::RegCloseKey(key);
  ASSERT_EQ(memory::RegistryCalls().size(), 1u);
  EXPECT_EQ(memory::RegistryCalls()[0], "RegOpenKeyExW HKEY_LOCAL_MACHINE [Software] 0x20019 -> 0");
}

}  // namespace
