// A registry that other software keeps changing while the cleaner sweeps it:
// shared by the seeded unit test and the fuzz target of the same name.
//
// A random product footprint and bystanders are built under HKCU and HKLM,
// with links from the product's keys to a bystander's key. Then, before any
// registry call, the registry may change under the sweep: values set (any
// type, any size, growing from nothing or shrinking to nothing), values and
// keys deleted, keys created. The sweep runs as the cleaner runs it, pattern
// by pattern and root by root. Checked: every entry a search appends matched
// the pattern in what the registry really returned at the time (no stale or
// foreign buffer content); the bystander reached through links is left
// whole; no handle stays open. AddressSanitizer and UndefinedBehaviorSanitizer
// check that nothing is read outside a buffer. A failed check calls
// support::onFailure (check.h).
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "driverreg/class_filter_removal.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "product/tables.h"
#include "sweep/found_entry_removal.h"
#include "sweep/registry_search.h"
#include "sweep/registry_sweep.h"
#include "tests/support/check.h"
#include "text/text_matching.h"

namespace changing_registry {

// Where the choices come from: fuzz input or a seeded generator. Below n.
using Choose = std::function<std::uint32_t(std::uint32_t n)>;

inline void Check(bool holds, const std::string& what) { support::Check(holds, "changing registry: " + what); }

inline const char16_t* Pick(const Choose& choose, std::initializer_list<const char16_t*> pool) {
  return pool.begin()[choose(static_cast<std::uint32_t>(pool.size()))];
}

inline std::vector<std::uint8_t> Bytes(const std::u16string& units, std::size_t extraByte) {
  std::vector<std::uint8_t> data(units.size() * 2 + extraByte, 0x5A);
  for (std::size_t i = 0; i < units.size(); ++i) {
    data[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    data[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return data;
}

// Value data: a few strings, product text among them or not, terminated or
// not, sometimes an odd byte longer, sometimes empty.
inline std::vector<std::uint8_t> RandomData(const Choose& choose) {
  std::u16string units;
  const std::uint32_t strings = choose(4);
  for (std::uint32_t i = 0; i < strings; ++i) {
    units += Pick(choose, {u"Korvex for Windows", u"C:\\Program Files\\Korvex for Windows\\k.exe", u"other",
                           u"korvex for", u"", u"Tarnvol"});
    if (choose(4)) units += u'\0';
  }
  return Bytes(units, choose(5) == 0 ? 1 : 0);
}

inline std::uint32_t RandomType(const Choose& choose) {
  const std::uint32_t types[] = {platform::kRegSz,     platform::kRegExpandSz, platform::kRegMultiSz,
                                 platform::kRegBinary, platform::kRegDword,    platform::kRegNone};
  return types[choose(6)];
}

inline const char16_t* RandomValueName(const Choose& choose) {
  return Pick(choose, {u"", u"v", u"Tarnvol v", u"w", u"DisplayName", u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18"});
}

class Scenario {
 public:
  explicit Scenario(Choose choose) : choose_(std::move(choose)) {}

  void Run() {
    Build();
    const std::u16string bystander = memory::DumpReg(kBystander);
    memory::BeforeEveryCall([this](std::string_view, std::u16string_view key) { MaybeChange(key); });
    for (const auto& row : product::ClassFilterTable)
      driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
    sweep::FoundList found;
    for (const auto& row : product::SweepTable)
      for (const platform::RootRow& rootRow : product::RootTable) {
        const platform::RegKey root = rootRow.key;
        memory::ClearRegistryCalls();
        sweep::ScanKey(root, u"", row.pattern, found, row.flags);
        CheckFound(found, row.pattern);
        sweep::RemoveFoundEntries(root, found, product::WholeKeyMarkerTable);
        Check(found.empty(), "the removal left entries in the list");
      }
    memory::BeforeEveryCall(nullptr);
    Check(memory::DumpReg(kBystander) == bystander, "a bystander reached through a link was changed");
    Check(memory::OpenKeyCount() == 0, "a registry handle was left open");
  }

  // The sweep as the cleaner runs it: each root walked once, and the later
  // patterns' finds checked again before they go, reading values again into
  // buffers of their own while the registry changes under every call. What
  // the passes find stays inside the sweep, so only the end is checked: the
  // bystander whole and no handle open.
  void RunOneWalk() {
    Build();
    const std::u16string bystander = memory::DumpReg(kBystander);
    memory::BeforeEveryCall([this](std::string_view, std::u16string_view key) { MaybeChange(key); });
    sweep::SweepRegistry(product::SweepTable, std::size(product::SweepTable), product::RootTable,
                         std::size(product::RootTable), product::WholeKeyMarkerTable);
    memory::BeforeEveryCall(nullptr);
    Check(memory::DumpReg(kBystander) == bystander, "a bystander reached through a link was changed");
    Check(memory::OpenKeyCount() == 0, "a registry handle was left open");
  }

 private:
  static constexpr const char16_t* kBystander = u"HKLM\\Software\\Bystander";

  void Build() {
    memory::ResetMachine();
    memory::LoadReg(
        u"[HKLM\\Software\\Bystander\\Deep]\n\"keep\"=\"me\"\n[HKLM\\System\\CurrentControlSet\\Services]\n");
    for (const auto& row : product::ClassFilterTable)
      memory::SetValue(u"HKLM\\" + std::u16string(row.classKey), u"UpperFilters", platform::kRegMultiSz,
                       Bytes(std::u16string(u"PartMgr\0tessaid\0vornpart\0meskdrv\0\0", 34), 0));
    for (const char16_t* top : {u"HKCU\\Software\\R", u"HKLM\\Software\\R"}) Grow(top, 0);
    // Links from inside the product's keys to the bystander.
    const std::uint32_t links = 1 + choose_(3);
    for (std::uint32_t i = 0; i < links && !paths_.empty(); ++i) {
      const std::u16string& at = paths_[choose_(static_cast<std::uint32_t>(paths_.size()))];
      memory::MakeLink(at + u"\\Link" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                       u"\\Registry\\Machine\\Software\\Bystander");
    }
  }

  void Grow(const std::u16string& path, int depth) {
    memory::SetValue(path, RandomValueName(choose_), RandomType(choose_), RandomData(choose_));
    paths_.push_back(path);
    if (depth == 3) return;
    const std::uint32_t children = choose_(4);
    for (std::uint32_t i = 0; i < children; ++i)
      Grow(path + u"\\" +
               Pick(choose_, {u"a", u"b", u"Tarnvol x", u"Uninstall", u"Installer\\Products", u"Korvex for Windows 2",
                              u"c 6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18"}),
           depth + 1);
  }

  // Half the changes hit the very key the next call is made on.
  void MaybeChange(std::u16string_view key) {
    if (choose_(3) != 0 || paths_.empty()) return;
    std::u16string path = paths_[choose_(static_cast<std::uint32_t>(paths_.size()))];
    if (choose_(2) && key.rfind(u"HKEY_", 0) == 0 && key.find(u"\\Software\\R") != std::u16string_view::npos)
      path = std::u16string(key);
    switch (choose_(6)) {
      case 0:
      case 1:
        memory::SetValue(path, RandomValueName(choose_), RandomType(choose_), RandomData(choose_));
        break;
      case 2:
        memory::DeleteValue(path, RandomValueName(choose_));
        break;
      case 3:
        memory::DeleteKey(path);
        break;
      case 4:
        memory::SetValue(path + u"\\new " + Pick(choose_, {u"x", u"Tarnvol"}), u"v", platform::kRegSz,
                         RandomData(choose_));
        break;
      default:
        // The filter lists change under their edit too, to any type and size.
        memory::SetValue(u"HKLM\\" + std::u16string(product::ClassFilterTable[choose_(2)].classKey), u"UpperFilters",
                         RandomType(choose_), RandomData(choose_));
        break;
    }
  }

  // Each entry holds the pattern in what the registry returned for it.
  static void CheckFound(const sweep::FoundList& found, const char16_t* pattern) {
    for (const auto& entry : found) {
      switch (entry.kind) {
        case sweep::EntryKind::Key: {
          const auto slash = entry.keyPath.rfind(u'\\');
          const std::u16string own = slash == std::u16string::npos ? entry.keyPath : entry.keyPath.substr(slash + 1);
          Check(text::ContainsNoCase(own.c_str(), pattern).has_value(), "a Key entry whose name does not match");
          break;
        }
        case sweep::EntryKind::ValueName:
          Check(text::ContainsNoCase(entry.valueName.c_str(), pattern).has_value(),
                "a ValueName entry whose name does not match");
          break;
        case sweep::EntryKind::ValueData: {
          Check(text::ContainsNoCase(entry.valueText.c_str(), pattern).has_value(),
                "a ValueData entry whose text does not match");
          bool returned = false;
          for (const auto& value : memory::ValuesReturned()) {
            if (!text::EqualsNoCase(value.name.c_str(), entry.valueName.c_str())) continue;
            std::u16string units(value.data.size() / 2, u'\0');
            for (std::size_t i = 0; i < units.size(); ++i)
              units[i] = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
            if (units.find(entry.valueText) != std::u16string::npos) returned = true;
          }
          Check(returned, "a ValueData entry whose text no value returned held");
          break;
        }
      }
    }
  }

  Choose choose_;
  std::vector<std::u16string> paths_;
};

}  // namespace changing_registry
