#include "driverreg/class_filter_removal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "product/tables.h"

namespace {

using driverreg::RemoveMultiStringEntry;
using driverreg::RemoveUpperFilter;
using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr char16_t kSentinel = 0xFDFD;

// A list as text, each NUL shown as "|", so that a failure shows the elements.
std::string Show(std::u16string_view units) {
  std::u16string shown(units);
  for (char16_t& unit : shown)
    if (unit == 0) unit = u'|';
  return memory::Narrow(shown);
}

// The little-endian bytes of a list, as the registry stores it.
std::vector<std::uint8_t> Bytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// Runs the edit on `before` in a buffer whose units past the length hold a
// sentinel, and checks the new list and that nothing was written past the
// length.
void ExpectEdit(int line, std::u16string_view before, const char16_t* name, std::u16string_view after) {
  testing::ScopedTrace trace(__FILE__, line, Show(before) + " without " + memory::Narrow(name));
  std::vector<char16_t> buffer(before.begin(), before.end());
  buffer.resize(before.size() + 8, kSentinel);
  std::size_t length = RemoveMultiStringEntry(buffer.data(), name, before.size());
  ASSERT_LE(length, before.size());
  EXPECT_EQ(Show({buffer.data(), length}), Show(after));
  for (std::size_t i = before.size(); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kSentinel) << "unit " << i;
}
#define EXPECT_EDIT(before, name, after) ExpectEdit(__LINE__, before, name, after)

TEST(RemoveMultiStringEntry, RemovesEveryEqualElementWithItsNul) {
  EXPECT_EDIT(u"volsnap\0tessaid\0fvevol\0\0"sv, u"tessaid", u"volsnap\0fvevol\0\0"sv);
  EXPECT_EDIT(u"tessaid\0volsnap\0\0"sv, u"tessaid", u"volsnap\0\0"sv);
  EXPECT_EDIT(u"volsnap\0tessaid\0\0"sv, u"tessaid", u"volsnap\0\0"sv);
  EXPECT_EDIT(u"tessaid\0tessaid\0tessaid\0a\0\0"sv, u"tessaid", u"a\0\0"sv);
  EXPECT_EDIT(u"tessaid\0a\0tessaid\0b\0tessaid\0\0"sv, u"tessaid", u"a\0b\0\0"sv);
  EXPECT_EDIT(u"a\0TESSAID\0TessAid\0b\0\0"sv, u"tessaid", u"a\0b\0\0"sv);
  EXPECT_EDIT(u"a\0tessaid\0\0"sv, u"TESSAID", u"a\0\0"sv);
}

TEST(RemoveMultiStringEntry, KeepsElementsThatOnlyContainTheName) {
  // Each follows a removed element directly, so it is compared from its own
  // first unit and not half copied.
  EXPECT_EDIT(u"tessaid\0tessaid2\0tessaid\0xtessaid\0tessaid\0tessai\0\0"sv, u"tessaid",
              u"tessaid2\0xtessaid\0tessai\0\0"sv);
  EXPECT_EDIT(u"vornpart\0vornpartx\0\0"sv, u"vornpart", u"vornpartx\0\0"sv);
  EXPECT_EDIT(u"tessaid\0tess\0aid\0\0"sv, u"tessaid", u"tess\0aid\0\0"sv);
  // Only the ASCII capitals fold.
  EXPECT_EDIT(u"t\u00C9st\0\0"sv, u"t\u00E9st", u"t\u00C9st\0\0"sv);
}

TEST(RemoveMultiStringEntry, TheListOfOnlyTheNameKeepsItsTerminator) {
  EXPECT_EDIT(u"tessaid\0\0"sv, u"tessaid", u"\0"sv);
  EXPECT_EDIT(u"\0"sv, u"tessaid", u"\0"sv);
  EXPECT_EDIT(u"\0\0"sv, u"tessaid", u"\0\0"sv);
}

TEST(RemoveMultiStringEntry, WalksTheWholeLengthPastEmptyElements) {
  EXPECT_EDIT(u"a\0\0tessaid\0b\0\0"sv, u"tessaid", u"a\0\0b\0\0"sv);
  EXPECT_EDIT(u"\0tessaid\0\0"sv, u"tessaid", u"\0\0"sv);
}

TEST(RemoveMultiStringEntry, EmptyNameOrEmptyListChangesNothing) {
  EXPECT_EDIT(u"a\0\0b\0\0"sv, u"", u"a\0\0b\0\0"sv);
  EXPECT_EDIT(u""sv, u"tessaid", u""sv);
  char16_t untouched[] = {kSentinel, kSentinel};
  EXPECT_EQ(RemoveMultiStringEntry(untouched, u"", 2), 2u);
  EXPECT_EQ(untouched[0], kSentinel);
}

// The registry returns data as it was stored, so the last element may stop at
// the length with no NUL. It is still compared, and removed when equal, but
// nothing is added in its place: a removal always shortens the list, even
// for a one-unit name.
TEST(RemoveMultiStringEntry, AnUnclosedLastElementIsComparedWithinTheLength) {
  EXPECT_EDIT(u"volsnap\0tessaid"sv, u"tessaid", u"volsnap\0"sv);
  EXPECT_EDIT(u"tessaid"sv, u"tessaid", u""sv);
  EXPECT_EDIT(u"TessAid"sv, u"tessaid", u""sv);
  EXPECT_EDIT(u"x\0a"sv, u"a", u"x\0"sv);
  EXPECT_EDIT(u"tessaid\0volsnap"sv, u"tessaid", u"volsnap"sv);
  EXPECT_EDIT(u"volsnap\0tess"sv, u"tessaid", u"volsnap\0tess"sv);
  EXPECT_EDIT(u"volsnap\0tessaidx"sv, u"tessaid", u"volsnap\0tessaidx"sv);
  EXPECT_EDIT(u"a\0\0tessaid"sv, u"tessaid", u"a\0\0"sv);
}

TEST(RemoveMultiStringEntry, NeverReadsPastTheLength) {
  // The units past the length complete the name; an edit that read them
  // would take "tess" for "tessaid".
  std::u16string buffer = u"volsnap\0tessaid\0\0"s;
  const std::size_t length = 12;  // "volsnap|tess"
  EXPECT_EQ(RemoveMultiStringEntry(buffer.data(), u"tessaid", length), length);
  EXPECT_EQ(Show(buffer), Show(u"volsnap\0tessaid\0\0"sv));
  // And a closed "tessaid" cut off before its NUL is the unclosed last
  // element, whatever follows it.
  buffer = u"volsnap\0tessaidx\0"s;
  EXPECT_EQ(RemoveMultiStringEntry(buffer.data(), u"tessaid", 15), 8u);
  EXPECT_EQ(Show({buffer.data(), 8}), Show(u"volsnap\0"sv));
  EXPECT_EQ(Show(buffer.substr(15)), Show(u"x\0"sv));
}

TEST(RemoveMultiStringEntry, BothDiskDriveNamesGoInEitherOrder) {
  for (auto before :
       {u"PartMgr\0vornpart\0meskdrv\0EhStorClass\0\0"sv, u"PartMgr\0meskdrv\0vornpart\0EhStorClass\0\0"sv,
        u"meskdrv\0PartMgr\0vornpart\0EhStorClass\0MESKDRV\0\0"sv}) {
    SCOPED_TRACE(Show(before));
    std::u16string buffer(before);
    std::size_t length = RemoveMultiStringEntry(buffer.data(), u"vornpart", buffer.size());
    length = RemoveMultiStringEntry(buffer.data(), u"meskdrv", length);
    EXPECT_EQ(Show({buffer.data(), length}), Show(u"PartMgr\0EhStorClass\0\0"sv));
  }
}

// The class key cycle, against the in-memory registry.
constexpr const char16_t* kVolumeKey = product::ClassFilterTable[0].classKey;
constexpr const char16_t* kDiskKey = product::ClassFilterTable[1].classKey;
const std::u16string kVolumePath = u"HKEY_LOCAL_MACHINE\\"s + kVolumeKey;
const std::u16string kDiskPath = u"HKEY_LOCAL_MACHINE\\"s + kDiskKey;

class RemoveUpperFilterTest : public testing::Test {
 protected:
  void SetUp() override { memory::ResetMachine(); }

  // Whatever happened, the key is closed again and nothing was said.
  void TearDown() override {
    EXPECT_EQ(memory::OpenKeyCount(), 0u);
    EXPECT_EQ(memory::OutputCallCount(), 0u);
  }

  static void SetFilters(const std::u16string& keyPath, std::uint32_t type, std::vector<std::uint8_t> data) {
    memory::SetValue(keyPath, u"UpperFilters", type, std::move(data));
  }

  static memory::StoredValue Filters(const std::u16string& keyPath) {
    auto value = memory::ReadValue(keyPath, u"UpperFilters");
    if (!value) throw std::logic_error("no UpperFilters");
    return *value;
  }

  static void RemoveVolumeFilter() {
    const char16_t* names[] = {u"tessaid"};
    RemoveUpperFilter(kVolumeKey, names, 1);
  }

  static void RemoveDiskFilters() {
    const char16_t* names[] = {u"vornpart", u"meskdrv"};
    RemoveUpperFilter(kDiskKey, names, 2);
  }

  static std::vector<std::string> Writes() {
    std::vector<std::string> writes;
    for (const std::string& call : memory::RegistryCalls())
      if (call.rfind("RegSetValueExW", 0) == 0) writes.push_back(call);
    return writes;
  }
};

TEST_F(RemoveUpperFilterTest, OpensQueriesTwiceAndWritesTheShortenedList) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"volsnap\0tessaid\0fvevol\0\0"sv));
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"volsnap\0fvevol\0\0"sv));
  EXPECT_EQ(Filters(kVolumePath).type, platform::kRegMultiSz);
  // Named as the registry spells the key, which the lookup ignores.
  const std::string key = memory::Narrow(memory::StoredPath(kVolumePath));
  EXPECT_EQ(memory::RegistryCalls(),
            (std::vector<std::string>{
                "RegOpenKeyExW HKEY_LOCAL_MACHINE [" + memory::Narrow(kVolumeKey) + "] 0x3 -> 0",
                "RegQueryValueExW " + key + " [UpperFilters] -> 0",
                "RegQueryValueExW " + key + " [UpperFilters] -> 0",
                "RegSetValueExW " + key + " [UpperFilters] type 7 bytes 32 -> 0",
            }));
}

TEST_F(RemoveUpperFilterTest, OnlyTheNameLeavesTheTerminatorWrittenWithSizeTwo) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0\0"sv));
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"\0"sv));
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_NE(Writes()[0].find("type 7 bytes 2 -> 0"), std::string::npos) << Writes()[0];
}

TEST_F(RemoveUpperFilterTest, DiskDriveNamesGoInEitherOrderAndOthersKeepTheirs) {
  SetFilters(kDiskPath, platform::kRegMultiSz, Bytes(u"meskdrv\0PartMgr\0VORNPART\0EhStorClass\0\0"sv));
  RemoveDiskFilters();
  EXPECT_EQ(Filters(kDiskPath).data, Bytes(u"PartMgr\0EhStorClass\0\0"sv));
  EXPECT_EQ(Writes().size(), 1u);  // one write for both names
}

TEST_F(RemoveUpperFilterTest, AListWithNothingToRemoveIsNeverWritten) {
  for (auto list : {u"volsnap\0fvevol\0\0"sv, u"\0"sv, u"tessaid2\0xtessaid\0\0"sv, u"volsnap\0tess"sv}) {
    SCOPED_TRACE(Show(list));
    memory::ResetMachine();
    SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(list));
    RemoveVolumeFilter();
    EXPECT_EQ(Filters(kVolumePath).data, Bytes(list));
    EXPECT_TRUE(Writes().empty());
  }
}

TEST_F(RemoveUpperFilterTest, AnOddLastByteIsOutsideTheListAndDroppedOnlyWhenItChanges) {
  auto changed = Bytes(u"volsnap\0tessaid\0\0"sv);
  changed.push_back(0x41);
  SetFilters(kVolumePath, platform::kRegMultiSz, changed);
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"volsnap\0\0"sv));

  memory::ResetMachine();
  auto unchanged = Bytes(u"volsnap\0\0"sv);
  unchanged.push_back(0x41);
  SetFilters(kVolumePath, platform::kRegMultiSz, unchanged);
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, unchanged);
  EXPECT_TRUE(Writes().empty());

  // One byte is a list of length 0: nothing to remove, nothing written.
  memory::ResetMachine();
  SetFilters(kVolumePath, platform::kRegMultiSz, {0x74});
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, std::vector<std::uint8_t>{0x74});
  EXPECT_TRUE(Writes().empty());
}

TEST_F(RemoveUpperFilterTest, AnUnclosedListLosesOnlyTheNameAndGainsNothing) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"volsnap\0tessaid"sv));
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"volsnap\0"sv));

  // The name alone and unclosed leaves an empty list, still a value.
  memory::ResetMachine();
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid"sv));
  RemoveVolumeFilter();
  EXPECT_TRUE(Filters(kVolumePath).data.empty());
  EXPECT_EQ(Filters(kVolumePath).type, platform::kRegMultiSz);
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_NE(Writes()[0].find("type 7 bytes 0 -> 0"), std::string::npos) << Writes()[0];

  // A kept unclosed last filter stays unclosed: the removed filter's NUL,
  // left just past the edited list, is not stored with it.
  memory::ResetMachine();
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0volsnap"sv));
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"volsnap"sv));
}

TEST_F(RemoveUpperFilterTest, ValuesOfOtherTypesOrNoDataAreLeftAlone) {
  for (std::uint32_t type : {platform::kRegSz, platform::kRegExpandSz, platform::kRegBinary}) {
    SCOPED_TRACE(type);
    memory::ResetMachine();
    SetFilters(kVolumePath, type, Bytes(u"tessaid\0"sv));
    RemoveVolumeFilter();
    EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"tessaid\0"sv));
    EXPECT_EQ(Filters(kVolumePath).type, type);
    EXPECT_TRUE(Writes().empty());
  }
  memory::ResetMachine();
  SetFilters(kVolumePath, platform::kRegMultiSz, {});
  RemoveVolumeFilter();
  EXPECT_TRUE(Filters(kVolumePath).data.empty());
  EXPECT_TRUE(Writes().empty());
}

TEST_F(RemoveUpperFilterTest, AMissingKeyOrValueOrARefusedOpenEndsTheClassSilently) {
  RemoveVolumeFilter();  // no key at all
  EXPECT_EQ(memory::RegistryCalls().size(), 1u);

  memory::ResetMachine();
  memory::CreateKey(kVolumePath);
  RemoveVolumeFilter();  // key without the value
  EXPECT_TRUE(Writes().empty());

  // Either right refused fails the open: the key holding the product's filter
  // is then not touched, and the next class is handled as usual.
  for (std::uint32_t refused : {platform::kKeyQueryValue, platform::kKeySetValue}) {
    memory::ResetMachine();
    SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0\0"sv));
    SetFilters(kDiskPath, platform::kRegMultiSz, Bytes(u"vornpart\0PartMgr\0\0"sv));
    memory::RefuseAccess(kVolumePath, refused);
    RemoveVolumeFilter();
    RemoveDiskFilters();
    EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"tessaid\0\0"sv));
    EXPECT_EQ(Filters(kDiskPath).data, Bytes(u"PartMgr\0\0"sv));
  }
}

TEST_F(RemoveUpperFilterTest, AValueThatGrowsBetweenTheQueriesIsNotWritten) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0\0"sv));
  // The first action runs before the size query and arms the second, which
  // runs before the data query.
  memory::BeforeCall(kVolumePath, "RegQueryValueExW", [] {
    memory::BeforeCall(kVolumePath, "RegQueryValueExW",
                       [] { SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0volsnap\0\0"sv)); });
  });
  RemoveVolumeFilter();
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"tessaid\0volsnap\0\0"sv));
  EXPECT_TRUE(Writes().empty());
}

TEST_F(RemoveUpperFilterTest, AFailedWriteStillClosesTheKey) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"tessaid\0\0"sv));
  memory::BeforeCall(kVolumePath, "RegSetValueExW", [] { memory::DeleteKey(kVolumePath); });
  RemoveVolumeFilter();
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_NE(Writes()[0].find("-> 1018"), std::string::npos) << Writes()[0];
}

TEST_F(RemoveUpperFilterTest, TheTableRowsLeaveOnlyWindowsOwnFilters) {
  SetFilters(kVolumePath, platform::kRegMultiSz, Bytes(u"fvevol\0tessaid\0iorate\0volsnap\0\0"sv));
  SetFilters(kDiskPath, platform::kRegMultiSz, Bytes(u"vornpart\0EhStorClass\0meskdrv\0PartMgr\0\0"sv));
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"fvevol\0iorate\0volsnap\0\0"sv));
  EXPECT_EQ(Filters(kDiskPath).data, Bytes(u"EhStorClass\0PartMgr\0\0"sv));

  // A second pass finds nothing left and writes nothing.
  memory::ClearRegistryCalls();
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(Filters(kVolumePath).data, Bytes(u"fvevol\0iorate\0volsnap\0\0"sv));
}

}  // namespace
