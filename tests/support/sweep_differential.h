// The sweep that walks each root once, held against the literal sweep that
// searches every (pattern, root) pair with a walk of its own: shared by the
// seeded unit test and the fuzz target of the same name.
//
// One registry is generated from the choices, and built twice: the literal
// sweep runs on the first, the one-walk sweep on the second. Both runs must
// write the same console bytes and leave the same registry (every key, value
// and link under HKEY_LOCAL_MACHINE and HKEY_USERS), and neither may leave a
// handle open. A failed check calls support::onFailure (check.h).
//
// The registry is made to give the one-walk sweep every reason to differ:
// names and texts that match one, two or three patterns in any letter case;
// matches nested inside keys that an earlier pair deletes; installer-marker
// keys; values found by name and by text; the same paths under the machine's
// and the user's classes, seen through HKEY_CLASSES_ROOT (merged or not) and
// through HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS; links to
// other generated keys, into subtrees deleted earlier and back up to their
// own ancestors; keys that refuse reading or deletion; keys whose query
// fails and keys the kernel will not name.
//
// Left out on purpose: failures injected by enumeration index, which in the
// model stay with the index while deletions shift the keys and values below
// it (on a real machine no failure is tied to an index); webs of links, whose
// guard starts only past 16384 keys entered; and changes made by other
// programs during the sweep, which changing_registry.h covers.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "product/tables.h"
#include "sweep/found_entry_removal.h"
#include "sweep/registry_search.h"
#include "sweep/registry_sweep.h"
#include "tests/support/check.h"

namespace sweep_differential {

// Where the choices come from: fuzz input or a seeded generator. Below n.
using Choose = std::function<std::uint32_t(std::uint32_t n)>;

inline void Check(bool holds, const std::string& what) {
  support::Check(holds, "one walk against the literal sweep: " + what);
}

// The sweep as it was first written: for each pattern, for each root, one
// walk and then the deletion of what it found.
inline void LiteralSweep() {
  sweep::FoundList found;
  for (const product::SweepPattern& row : product::SweepTable)
    for (const platform::RootRow& rootRow : product::RootTable) {
      const platform::RegKey root = rootRow.key;
      sweep::ScanKey(root, u"", row.pattern, found, row.flags);
      sweep::RemoveFoundEntries(root, found, product::WholeKeyMarkerTable);
    }
}

inline void OneWalkSweep() {
  sweep::SweepRegistry(product::SweepTable, std::size(product::SweepTable), product::RootTable,
                       std::size(product::RootTable), product::WholeKeyMarkerTable);
}

// What a run leaves behind.
struct Outcome {
  std::u16string output;
  std::u16string registry;
  std::size_t openKeys = 0;
};

class Generator {
 public:
  explicit Generator(Choose choose) : choose_(std::move(choose)) {}

  // A fresh machine with the generated registry.
  void Build() {
    memory::ResetMachine();
    memory::MergeUserClasses(choose_(3) != 0);
    const std::uint32_t trees = 2 + choose_(5);
    for (std::uint32_t i = 0; i < trees; ++i) Grow(Pick(kTops), 0);
    // The same path under the other side's classes, with contents of its own.
    const std::uint32_t mirrors = choose_(4);
    for (std::uint32_t i = 0; i < mirrors && !keys_.empty(); ++i) Mirror(keys_[choose_(Count(keys_))]);
    const std::uint32_t links = choose_(4);
    for (std::uint32_t i = 0; i < links && !keys_.empty(); ++i) AddLink(i);
    const std::uint32_t bent = choose_(5);
    for (std::uint32_t i = 0; i < bent && !keys_.empty(); ++i) Bend(keys_[choose_(Count(keys_))]);
  }

 private:
  static constexpr const char16_t* kTops[] = {
      u"HKLM\\Software\\Classes",
      u"HKU\\S-1-5-21-1000-1001\\Software\\Classes",
      u"HKLM\\Software\\Classes\\CLSID",
      u"HKU\\S-1-5-21-1000-1001\\Software\\Classes\\CLSID",
      u"HKLM\\Software",
      u"HKU\\S-1-5-21-1000-1001\\Software",
      u"HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software",
      u"HKU\\.DEFAULT\\Software",
  };
  static constexpr const char16_t* kKeyNames[] = {
      u"Alpha",
      u"beta",
      u"Uninstall",
      u"Installer\\Products",
      u"Installer\\Features",
      u"{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}",
      u"korvex for windows",
      u"TarnVol",
      u"TarnvolRec",
      u"Tarnvol 6b1f03c2-57a9-4d8e-9c41-e2a0b7d35f18",
      u"KORVEX FOR WINDOWS Tarnvol",
      u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18 Korvex for Windows tarnVOL",
  };
  static constexpr const char16_t* kValueNames[] = {
      u"",
      u"DisplayName",
      u"Path",
      u"Tarnvol",
      u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18",
      u"Korvex for Windows tarnvol",
  };
  static constexpr const char16_t* kTexts[] = {
      u"Korvex for Windows",
      u"C:\\Program Files\\KORVEX FOR WINDOWS\\k.exe",
      u"other",
      u"Tarnvol",
      u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18",
      u"",
  };

  template <std::size_t N>
  static std::uint32_t Count(const char16_t* const (&)[N]) {
    return N;
  }
  static std::uint32_t Count(const std::vector<std::u16string>& list) {
    return static_cast<std::uint32_t>(list.size());
  }

  template <std::size_t N>
  const char16_t* Pick(const char16_t* const (&pool)[N]) {
    return pool[choose_(N)];
  }

  // Value data: a few strings, terminated or not, the last sometimes an odd
  // byte longer.
  std::vector<std::uint8_t> Data() {
    std::u16string units;
    const std::uint32_t strings = 1 + choose_(3);
    for (std::uint32_t i = 0; i < strings; ++i) {
      units += Pick(kTexts);
      if (choose_(5) != 0) units += u'\0';
    }
    std::vector<std::uint8_t> data(units.size() * 2 + (choose_(6) == 0 ? 1 : 0), 0x41);
    for (std::size_t i = 0; i < units.size(); ++i) {
      data[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
      data[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return data;
  }

  std::uint32_t Type() {
    const std::uint32_t types[] = {platform::kRegSz, platform::kRegSz, platform::kRegMultiSz, platform::kRegExpandSz,
                                   platform::kRegDword};
    return types[choose_(5)];
  }

  // A small tree of keys at path; names repeat often, so the same paths turn
  // up under the machine's and the user's classes.
  void Grow(const std::u16string& path, int depth) {
    memory::CreateKey(path);
    keys_.push_back(path);
    const std::uint32_t values = choose_(3);
    for (std::uint32_t i = 0; i < values; ++i) {
      const std::uint32_t type = Type();
      memory::SetValue(path, Pick(kValueNames), type, type == platform::kRegDword ? Data4() : Data());
    }
    if (depth == 3) return;
    const std::uint32_t children = choose_(depth == 0 ? 4 : 3);
    for (std::uint32_t i = 0; i < children; ++i) Grow(path + u"\\" + Pick(kKeyNames), depth + 1);
  }

  void Mirror(std::u16string path) {
    const std::u16string machine = u"HKLM\\Software\\Classes";
    const std::u16string user = u"HKU\\S-1-5-21-1000-1001\\Software\\Classes";
    if (path.rfind(machine, 0) == 0) path = user + path.substr(machine.size());
    else if (path.rfind(user, 0) == 0) path = machine + path.substr(user.size());
    else return;
    Grow(path, 2);
  }

  std::vector<std::uint8_t> Data4() { return {static_cast<std::uint8_t>(choose_(256)), 0, 0, 0}; }

  // A link below a generated key to another generated key: anywhere, often
  // one an earlier pair deletes, sometimes the key's own ancestor (a cycle).
  void AddLink(std::uint32_t number) {
    const std::u16string& at = keys_[choose_(Count(keys_))];
    const std::u16string& to = keys_[choose_(Count(keys_))];
    const std::u16string name = (choose_(3) == 0 ? u"Tarnvol link " : u"link ") +
                                std::u16string(1, static_cast<char16_t>(u'0' + number));
    memory::MakeLink(at + u"\\" + name, KernelName(to));
  }

  static std::u16string KernelName(const std::u16string& path) {
    if (path.rfind(u"HKLM\\", 0) == 0) return u"\\Registry\\Machine\\" + path.substr(5);
    return u"\\Registry\\User\\" + path.substr(4);
  }

  void Bend(const std::u16string& path) {
    if (!memory::KeyExists(path)) return;
    switch (choose_(6)) {
      case 0:
        memory::RefuseAccess(path, platform::kKeyRead);
        break;
      case 1:
      case 2:
        memory::RefuseAccess(path, platform::kDelete);
        break;
      case 3:
        memory::RefuseAccess(path, platform::kKeySetValue);
        break;
      case 4:
        memory::FailQueryInfo(path, platform::kAccessDenied);
        break;
      default:
        memory::HideKeyName(path);
        break;
    }
  }

  Choose choose_;
  std::vector<std::u16string> keys_;
};

template <typename Sweep>
Outcome RunOn(const std::function<Choose()>& choices, Sweep sweep) {
  Generator(choices()).Build();
  sweep();
  Outcome outcome;
  outcome.output = memory::Output();
  outcome.registry = memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKU");
  outcome.openKeys = memory::OpenKeyCount();
  return outcome;
}

// choices gives a fresh source of the same choices each time it is called.
inline void Compare(const std::function<Choose()>& choices) {
  const Outcome literal = RunOn(choices, LiteralSweep);
  const Outcome oneWalk = RunOn(choices, OneWalkSweep);
  Check(literal.openKeys == 0, "the literal sweep left a handle open");
  Check(oneWalk.openKeys == 0, "the one-walk sweep left a handle open");
  Check(oneWalk.output == literal.output, "the reports differ:\n--- literal\n" + memory::Narrow(literal.output) +
                                              "--- one walk\n" + memory::Narrow(oneWalk.output));
  Check(oneWalk.registry == literal.registry, "the registries left differ:\n--- literal\n" +
                                                  memory::Narrow(literal.registry) + "--- one walk\n" +
                                                  memory::Narrow(oneWalk.registry));
}

}  // namespace sweep_differential
