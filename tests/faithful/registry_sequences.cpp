// Seeded random sequences of registry calls, made through the platform's
// registry functions, one trace line per call. Built natively against the
// in-memory registry and for Windows against the real one; run both with the
// same seeds and compare the traces (compare_traces.py, run.sh).
//
//   registry_sequences FIRST_SEED COUNT [without=NAME]...
//       sequences FIRST_SEED to FIRST_SEED + COUNT - 1
//   registry_sequences SEED sSTEP,STEP,... [without=NAME]...
//       one sequence with only those steps (narrow.py uses it)
//
// without=NAME leaves a kind of call out (kLeaveOutNames below).
//
// A sequence is drawn from its seed alone, before any call is made, so a step
// means the same on both sides whatever the calls answer, and dropping steps
// keeps the others as they were. Everything happens below a "FaithfulScratch"
// key in four places, each reachable through two roots where Windows aliases
// them; the keys are made at the start of a sequence and removed at its end.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/number_text.h"
#include "platform/registry.h"
#include "tests/faithful/registry_shim.h"

namespace {

using platform::RegKey;

constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kKeyWrite = 0x20006;

// splitmix64: the same numbers from every compiler and library.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }
};

// A place below which a sequence works, with the roots that reach it.
struct Alias {
  RegKey root;
  const char* rootName;
  const char16_t* prefix;  // "<sid>" stands for the current user's key name
};
struct Area {
  Alias aliases[2];
  int aliasCount;
  const char16_t* kernelPrefix;
};

const Area kAreas[] = {
    {{{platform::kCurrentUser, "HKCU", u"Software\\FaithfulScratch"},
      {platform::kUsers, "HKU", u"<sid>\\Software\\FaithfulScratch"}},
     2,
     u"\\REGISTRY\\USER\\<sid>\\Software\\FaithfulScratch"},
    {{{platform::kLocalMachine, "HKLM", u"Software\\FaithfulScratch"}},
     1,
     u"\\REGISTRY\\MACHINE\\Software\\FaithfulScratch"},
    {{{platform::kClassesRoot, "HKCR", u"FaithfulScratch"},
      {platform::kLocalMachine, "HKLM", u"Software\\Classes\\FaithfulScratch"}},
     2,
     u"\\REGISTRY\\MACHINE\\Software\\Classes\\FaithfulScratch"},
    {{{platform::kCurrentConfig, "HKCC", u"FaithfulScratch"},
      {platform::kLocalMachine, "HKLM", u"System\\CurrentControlSet\\Hardware Profiles\\Current\\FaithfulScratch"}},
     2,
     u"\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\FaithfulScratch"},
};
constexpr int kAreaCount = 4;
// Where links may be made and where they may point in a sequence without
// cycles: from an area to one of lower rank only.
constexpr int kLinkRank[kAreaCount] = {2, 0, 1, 0};

// Key names: case pairs inside and outside ASCII, a long one. Link keys have
// names of their own, so that no key is ever made where a link is.
const char16_t* const kKeyNames[] = {
    u"a",      u"A",      u"b",      u"Cc",
    u"\u00E9", u"\u00C9", u"\u0101", u"\u0100",
    u"\u044F", u"\u042F", u"x y",    u"k123456789012345678901234567890123456789012345678901234567890"};
const char16_t* const kLinkNames[] = {u"L0", u"L1", u"L2"};
// Value names; null stands for the default value asked for by a null name.
const char16_t* const kValueNames[] = {nullptr,   u"",       u"v",      u"V",      u"val one",
                                       u"\u00E9", u"\u00C9", u"\u0101", u"\u0100", u"w"};
const std::uint32_t kValueTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 11, 0x12345678};
const std::uint32_t kDataSizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 255, 300, 2049};
const std::uint32_t kBufferSizes[] = {0, 1, 2, 3, 4, 5, 8, 16, 300, 4096};
const std::uint32_t kNameCapacities[] = {0, 1, 2, 3, 5, 62, 300, 16384};
const std::uint32_t kOpenRights[] = {platform::kKeyRead,
                                     platform::kKeyQueryValue,
                                     platform::kKeyEnumerateSubKeys,
                                     platform::kKeySetValue,
                                     platform::kDelete,
                                     kKeyAllAccess,
                                     platform::kKeyRead | platform::kDelete,
                                     platform::kKeyQueryValue | platform::kKeySetValue,
                                     platform::kKeyEnumerateSubKeys | platform::kDelete,
                                     0,
                                     platform::kReadControl,
                                     kKeyWrite,
                                     kMaximumAllowed,
                                     kGenericRead};
const std::uint32_t kRefusableRights[] = {platform::kKeyQueryValue, platform::kKeySetValue,
                                          platform::kKeyEnumerateSubKeys, platform::kDelete};

constexpr int kSlots = 5;

// Kinds of call the sequences can leave out ("without=NAME" on the command
// line), each standing for a difference from Wine already reported and
// awaiting a fix in the in-memory registry. run.sh takes them from
// known-differences.txt; a name not listed here is refused.
const char* const kLeaveOutNames[] = {"maximum-allowed",
                                      "generic-rights",
                                      "case-beyond-latin1",
                                      "link-cycles",
                                      "enum-value-short-buffers",
                                      "enum-value-string-data",
                                      "query-value-buffer-without-size"};
std::set<std::string>& LeftOut() {
  static std::set<std::string> names;
  return names;
}
bool Without(const char* name) { return LeftOut().count(name) != 0; }

// A name whose case pair lies beyond Latin-1.
bool BeyondLatin1(const char16_t* name) {
  for (; name && *name; ++name)
    if (*name > 0xFF) return true;
  return false;
}

const char16_t* KeyName(Random& random) {
  const char16_t* name;
  do name = random.Pick(kKeyNames);
  while (Without("case-beyond-latin1") && BeyondLatin1(name));
  return name;
}

const char16_t* ValueName(Random& random) {
  const char16_t* name;
  do name = random.Pick(kValueNames);
  while (Without("case-beyond-latin1") && BeyondLatin1(name));
  return name;
}

std::uint32_t OpenRights(Random& random) {
  std::uint32_t rights;
  do rights = random.Pick(kOpenRights);
  while ((Without("maximum-allowed") && rights == kMaximumAllowed) ||
         (Without("generic-rights") && rights == kGenericRead));
  return rights;
}

enum class Op {
  CreateKey,
  CreateLink,
  RefuseAccess,
  Open,
  Close,
  SetValue,
  QueryValue,
  EnumKey,
  EnumValues,
  QueryInfo,
  DeleteValue,
  OpenLink,
  DeleteKey,
  IsLinkKey,
  KeyObjectName
};

// One step, drawn before anything runs. A key is named either from a root
// (alias of an area plus a path below the area's sequence key) or from a
// handle slot plus a relative path.
struct Step {
  Op op{};
  int area = 0, alias = 0;
  bool fromRoot = true;
  int slot = 0, target = 0;   // target: the slot an open fills
  std::u16string path;        // below the area's key, or below the slot's key
  bool nullPath = false;      // a null subkey instead of path
  std::u16string linkTarget;  // kernel name, "<sid>" not yet replaced
  const char16_t* valueName = nullptr;
  std::uint32_t type = 0, rights = 0, index = 0, capacity = 0, dataCapacity = 0;
  int mode = 0;
  std::vector<std::uint8_t> data;
};

std::u16string Join(const std::u16string& a, const std::u16string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + u"\\" + b;
}

std::u16string KeyPath(Random& random, int maxDepth) {
  std::u16string path;
  int depth = static_cast<int>(random.Below(maxDepth + 1));
  for (int i = 0; i < depth; ++i) {
    if (!path.empty()) path += u'\\';
    path += random.Chance(15) ? random.Pick(kLinkNames) : KeyName(random);
  }
  return path;
}

std::u16string PlainKeyPath(Random& random, int minDepth, int maxDepth) {
  std::u16string path;
  int depth = minDepth + static_cast<int>(random.Below(maxDepth - minDepth + 1));
  for (int i = 0; i < depth; ++i) {
    if (!path.empty()) path += u'\\';
    path += KeyName(random);
  }
  return path;
}

std::vector<std::uint8_t> ValueData(Random& random, std::uint32_t type) {
  std::uint32_t size = random.Pick(kDataSizes);
  std::vector<std::uint8_t> data(size);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random.Below(256));
  // Strings are mostly text closed by a NUL, as programs write them.
  if ((type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz) &&
      random.Chance(60)) {
    data.assign(static_cast<std::size_t>(size / 2) * 2, 0);
    for (std::size_t i = 0; i + 2 < data.size(); i += 2) data[i] = static_cast<std::uint8_t>('a' + random.Below(26));
  }
  return data;
}

// What a sequence has made so far, as far as drawing can know it: keys it
// made, link keys it made, slots an open may have filled. Steps mostly name
// these, so that most calls reach a key.
struct Drawn {
  std::vector<std::u16string> keys[kAreaCount];
  std::set<std::u16string> links[kAreaCount];
  std::vector<std::u16string> refused[kAreaCount];
  std::vector<int> slots;
};

std::u16string KnownPath(Random& random, const Drawn& drawn, int area) {
  const auto& refused = drawn.refused[area];
  if (!refused.empty() && random.Chance(30)) return refused[random.Below(static_cast<std::uint32_t>(refused.size()))];
  const auto& keys = drawn.keys[area];
  std::u16string path = keys[random.Below(static_cast<std::uint32_t>(keys.size()))];
  if (!drawn.links[area].empty() && random.Chance(20)) {
    auto link = drawn.links[area].begin();
    std::advance(link, random.Below(static_cast<std::uint32_t>(drawn.links[area].size())));
    path = *link;
    if (random.Chance(50)) path = Join(path, KeyName(random));
  } else if (random.Chance(15)) {
    path = Join(path, KeyName(random));
  }
  return path;
}

int DrawSlot(Random& random, const Drawn& drawn) {
  if (drawn.slots.empty() || random.Chance(10)) return static_cast<int>(random.Below(kSlots));
  return drawn.slots[random.Below(static_cast<std::uint32_t>(drawn.slots.size()))];
}

void AddressKey(Random& random, const Drawn& drawn, Step& step) {
  step.fromRoot = drawn.slots.empty() || random.Chance(60);
  if (step.fromRoot) {
    step.path = random.Chance(80) ? KnownPath(random, drawn, step.area) : KeyPath(random, 3);
  } else {
    step.slot = DrawSlot(random, drawn);
    step.nullPath = random.Chance(15);
    if (!step.nullPath) step.path = KeyPath(random, 2);
  }
}

std::vector<Step> Draw(std::uint64_t seed) {
  Random random{seed * 0x2545F4914F6CDD1Dull + 1};
  std::vector<Step> steps;
  Drawn drawn;
  for (auto& keys : drawn.keys) keys.push_back(u"");
  // An open through a link that leads back to itself or to an ancestor goes
  // round until the reparse limit stops it. One sequence in eight may make
  // such cycles; the others make links only from a higher-ranked area to a
  // lower one, which can never close a cycle.
  const bool cycles = seed % 8 == 0 && !Without("link-cycles");
  int count = 15 + static_cast<int>(random.Below(50));
  while (static_cast<int>(steps.size()) < count) {
    Step step;
    std::uint32_t roll = random.Below(100);
    step.area = static_cast<int>(random.Below(kAreaCount));
    step.alias = static_cast<int>(random.Below(kAreas[step.area].aliasCount));
    step.slot = DrawSlot(random, drawn);
    if (roll < 14) {
      step.op = Op::CreateKey;
      step.path =
          random.Chance(70)
              ? Join(drawn.keys[step.area][random.Below(static_cast<std::uint32_t>(drawn.keys[step.area].size()))],
                     KeyName(random))
              : PlainKeyPath(random, 1, 3);
      if (step.path.size() > 200) continue;
      drawn.keys[step.area].push_back(step.path);
    } else if (roll < 19) {
      step.op = Op::CreateLink;
      if (!cycles && !kLinkRank[step.area]) continue;
      const auto& keys = drawn.keys[step.area];
      step.path = Join(keys[random.Below(static_cast<std::uint32_t>(keys.size()))], random.Pick(kLinkNames));
      int targetArea = static_cast<int>(random.Below(kAreaCount));
      if (!cycles && kLinkRank[targetArea] >= kLinkRank[step.area]) continue;
      if (!drawn.links[step.area].insert(step.path).second) continue;
      std::u16string below;
      if (random.Chance(cycles ? 60 : 20) && !drawn.links[targetArea].empty()) {
        below = *drawn.links[targetArea].begin();  // a chain, or a cycle
      } else if (random.Chance(85)) {
        const auto& targets = drawn.keys[targetArea];
        below = targets[random.Below(static_cast<std::uint32_t>(targets.size()))];
      } else {
        below = PlainKeyPath(random, 1, 2);  // most likely dangling
      }
      step.linkTarget = Join(Join(kAreas[targetArea].kernelPrefix, u"seq"), below);
    } else if (roll < 22) {
      step.op = Op::RefuseAccess;
      const auto& keys = drawn.keys[step.area];
      step.path = keys[random.Below(static_cast<std::uint32_t>(keys.size()))];
      if (step.path.empty()) continue;
      for (auto right : kRefusableRights)
        if (random.Chance(40)) step.rights |= right;
      if (!step.rights) step.rights = random.Pick(kRefusableRights);
      drawn.refused[step.area].push_back(step.path);
    } else if (roll < 38) {
      step.op = Op::Open;
      AddressKey(random, drawn, step);
      step.target = static_cast<int>(random.Below(kSlots));
      step.rights = random.Chance(50) ? kKeyAllAccess : OpenRights(random);
      if (std::find(drawn.slots.begin(), drawn.slots.end(), step.target) == drawn.slots.end())
        drawn.slots.push_back(step.target);
    } else if (roll < 40) {
      step.op = Op::Close;
    } else if (roll < 54) {
      step.op = Op::SetValue;
      step.valueName = ValueName(random);
      step.type = random.Pick(kValueTypes);
      step.data = ValueData(random, step.type);
      // 0: data null when empty; 1: a NUL character after the data
      step.mode = static_cast<int>(random.Below(4));
      // One byte of string data would have the unit before the buffer read.
      if (step.mode == 1 && step.data.size() == 1 && platform::IsStringType(step.type)) step.mode = 2;
    } else if (roll < 63) {
      step.op = Op::QueryValue;
      step.valueName = ValueName(random);
      step.mode = static_cast<int>(random.Below(5));
      if (step.mode == 2 && Without("query-value-buffer-without-size")) step.mode = 1;
      step.dataCapacity = random.Pick(kBufferSizes);
    } else if (roll < 69) {
      step.op = Op::EnumKey;
      step.index = random.Below(4);
      step.capacity = random.Pick(kNameCapacities);
    } else if (roll < 76) {
      step.op = Op::EnumValues;
      step.capacity = random.Pick(kNameCapacities);
      step.mode = static_cast<int>(random.Below(4));
      step.dataCapacity = random.Pick(kBufferSizes);
      if (Without("enum-value-string-data") && step.mode >= 2) step.mode = 1;  // no data buffer
      if (Without("enum-value-short-buffers")) {
        step.capacity = 16384;
        step.dataCapacity = 4096;
      }
    } else if (roll < 81) {
      step.op = Op::QueryInfo;
      step.mode = random.Chance(50) ? 0 : static_cast<int>(random.Below(32));  // which outputs are null
    } else if (roll < 86) {
      step.op = Op::DeleteValue;
      step.valueName = ValueName(random);
    } else if (roll < 89) {
      // The cleaner's own ways to delete a key: the link key itself opened
      // by its name, or any key through a handle.
      step.op = Op::OpenLink;
      step.valueName = random.Chance(50) ? random.Pick(kLinkNames) : KeyName(random);
      step.target = static_cast<int>(random.Below(kSlots));
      step.rights = random.Chance(50) ? kKeyAllAccess : OpenRights(random);
      if (std::find(drawn.slots.begin(), drawn.slots.end(), step.target) == drawn.slots.end())
        drawn.slots.push_back(step.target);
    } else if (roll < 92) {
      step.op = Op::DeleteKey;
    } else if (roll < 96) {
      step.op = Op::IsLinkKey;
      step.valueName = random.Chance(50) ? random.Pick(kLinkNames) : KeyName(random);
    } else {
      step.op = Op::KeyObjectName;
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

// ---- running and tracing ----

struct Sequence {
  std::u16string sid;
  RegKey slots[kSlots] = {};
  bool open[kSlots] = {};
};

std::string Text(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out;
}

std::string Quoted(const char16_t* text) { return text ? "\"" + Text(text) + "\"" : std::string("null"); }

std::string Dump(const std::uint8_t* bytes, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out.empty() ? "-" : out;
}

std::string Number(std::uint32_t value) { return "0x" + platform::Hex<char>(value); }

std::u16string WithSid(std::u16string text, const std::u16string& sid) {
  for (auto at = text.find(u"<sid>"); at != std::u16string::npos; at = text.find(u"<sid>")) text.replace(at, 5, sid);
  return text;
}

// The full path below a root for a step that names its key from a root.
std::u16string RootPath(const Step& step) {
  return Join(Join(kAreas[step.area].aliases[step.alias].prefix, u"seq"), step.path);
}

void Emit(std::size_t index, const std::string& text) {
  std::printf("#%zu %s\n", index, text.c_str());
  std::fflush(stdout);  // a crash loses no line before it
}

// A handle from the step's slot, or why there is none.
bool SlotKey(Sequence& run, const Step& step, std::size_t index, const char* call, RegKey* key) {
  if (!run.open[step.slot]) {
    Emit(index, std::string(call) + " h" + std::to_string(step.slot) + " (no handle)");
    return false;
  }
  *key = run.slots[step.slot];
  return true;
}

void CloseSlot(Sequence& run, int slot) {
  if (run.open[slot]) platform::RegCloseKey(run.slots[slot]);
  run.open[slot] = false;
}

// The slot takes a key just opened (any key it held is closed first), and the
// trace line names the slot.
void StoreOpened(Sequence& run, const Step& step, std::int32_t status, RegKey opened, std::string& text) {
  CloseSlot(run, step.target);
  if (status != platform::kSuccess) return;
  run.open[step.target] = true;
  run.slots[step.target] = opened;
  text += " h" + std::to_string(step.target);
}

// The target slot loses its old handle whatever happens, so that it holds
// what the last open drawn for it gave, as drawing assumes.
void RunOpen(Sequence& run, const Step& step, std::size_t index) {
  RegKey parent;
  std::string where;
  std::u16string path;
  if (step.fromRoot) {
    const auto& alias = kAreas[step.area].aliases[step.alias];
    parent = alias.root;
    path = WithSid(RootPath(step), run.sid);
    where = std::string(alias.rootName) + " \"" + Text(RootPath(step)) + "\"";
  } else {
    if (!SlotKey(run, step, index, "RegOpenKeyExW", &parent)) {
      CloseSlot(run, step.target);
      return;
    }
    path = step.path;
    where = "h" + std::to_string(step.slot) + " " + (step.nullPath ? std::string("null") : Quoted(path.c_str()));
  }
  RegKey opened{};
  auto status = platform::RegOpenKeyExW(parent, step.nullPath ? nullptr : path.c_str(), step.rights, &opened);
  std::string text = "RegOpenKeyExW " + where + " " + Number(step.rights) + " -> " + std::to_string(status);
  StoreOpened(run, step, status, opened, text);
  Emit(index, text);
}

// One key name below the slot's key, a link key not followed.
void RunOpenLink(Sequence& run, const Step& step, std::size_t index) {
  RegKey parent, opened{};
  if (!SlotKey(run, step, index, "RegOpenLinkKeyW", &parent)) {
    CloseSlot(run, step.target);
    return;
  }
  auto status = platform::RegOpenLinkKeyW(parent, step.valueName, step.rights, &opened);
  std::string text = "RegOpenLinkKeyW h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " " +
                     Number(step.rights) + " -> " + std::to_string(status);
  StoreOpened(run, step, status, opened, text);
  Emit(index, text);
}

// The data lies in a buffer with four more bytes after it: for a string type
// whose data does not end in a NUL, Windows reads past the size it is given,
// and stores one character more when that character is a NUL. Mode 1 puts a
// NUL character there, the others bytes that are not.
void RunSetValue(Sequence& run, const Step& step, std::size_t index) {
  RegKey key;
  if (!SlotKey(run, step, index, "RegSetValueExW", &key)) return;
  std::vector<std::uint8_t> buffer = step.data;
  std::uint8_t after = step.mode == 1 ? 0x00 : 0xCC;
  buffer.insert(buffer.end(), {after, after, 0xCC, 0xCC});
  const std::uint8_t* data = step.data.empty() && step.mode == 0 ? nullptr : buffer.data();
  auto status = platform::RegSetValueExW(key, step.valueName, step.type, data,
                                         static_cast<std::uint32_t>(step.data.size()));
  Emit(index, "RegSetValueExW h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " type " +
                  Number(step.type) + " " + Dump(step.data.data(), step.data.size()) + " then " +
                  Dump(buffer.data() + step.data.size(), 2) + " -> " + std::to_string(status));
  // What was stored, read back at once, so that no later step is needed to
  // show it. The outputs start at 0: what a refused call leaves in them is
  // not this step's question.
  std::uint32_t type = 0, size = 0;
  status = platform::RegQueryValueExW(key, step.valueName, &type, nullptr, &size);
  Emit(index, "RegQueryValueExW h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " size -> " +
                  std::to_string(status) + " type " + Number(type) + " bytes " + std::to_string(size));
}

// Modes: 0 type and size, 1 a buffer, 2 a buffer without its size, 3 nothing
// asked, 4 a buffer and no type.
void RunQueryValue(Sequence& run, const Step& step, std::size_t index) {
  RegKey key;
  if (!SlotKey(run, step, index, "RegQueryValueExW", &key)) return;
  std::uint32_t type = 0xDEAD, size = step.mode == 0 ? 0 : step.dataCapacity;
  std::vector<std::uint8_t> buffer(step.dataCapacity + 1, 0xCC);
  bool withBuffer = step.mode == 1 || step.mode == 2 || step.mode == 4;
  bool withSize = step.mode != 2 && step.mode != 3;
  bool withType = step.mode != 3 && step.mode != 4;
  auto status = platform::RegQueryValueExW(key, step.valueName, withType ? &type : nullptr,
                                           withBuffer ? buffer.data() : nullptr, withSize ? &size : nullptr);
  std::string text = "RegQueryValueExW h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " mode " +
                     std::to_string(step.mode) + " capacity " + std::to_string(step.dataCapacity) + " -> " +
                     std::to_string(status);
  if (withType) text += " type " + Number(type);
  if (withSize) text += " bytes " + std::to_string(size);
  if (withBuffer) text += " buffer " + Dump(buffer.data(), buffer.size());
  Emit(index, text);
}

void RunEnumKey(Sequence& run, const Step& step, std::size_t index) {
  RegKey key;
  if (!SlotKey(run, step, index, "RegEnumKeyExW", &key)) return;
  std::vector<char16_t> name(step.capacity + 1, u'#');
  std::uint32_t chars = step.capacity;
  auto status = platform::RegEnumKeyExW(key, step.index, name.data(), &chars);
  std::string text = "RegEnumKeyExW h" + std::to_string(step.slot) + " " + std::to_string(step.index) + " capacity " +
                     std::to_string(step.capacity) + " -> " + std::to_string(status) + " chars " +
                     std::to_string(chars);
  if (status == platform::kSuccess) text += " " + Quoted(std::u16string(name.data(), chars).c_str());
  Emit(index, text);
}

// One RegEnumValueW per index until the values run out, all with the same
// buffers. Modes: 0 name only, 1 type and size, 2 a data buffer too, 3 a
// data buffer and no type.
void RunEnumValues(Sequence& run, const Step& step, std::size_t index) {
  RegKey key;
  if (!SlotKey(run, step, index, "RegEnumValueW", &key)) return;
  for (std::uint32_t at = 0; at < 40; ++at) {
    std::vector<char16_t> name(step.capacity + 1, u'#');
    std::vector<std::uint8_t> buffer(step.dataCapacity + 1, 0xCC);
    std::uint32_t chars = step.capacity, type = 0xDEAD, size = step.dataCapacity;
    bool withType = step.mode == 1 || step.mode == 2;
    bool withSize = step.mode != 0;
    bool withBuffer = step.mode >= 2;
    auto status = platform::RegEnumValueW(key, at, name.data(), &chars, withType ? &type : nullptr,
                                          withBuffer ? buffer.data() : nullptr, withSize ? &size : nullptr);
    std::string text = "RegEnumValueW h" + std::to_string(step.slot) + " " + std::to_string(at) + " capacity " +
                       std::to_string(step.capacity) + " mode " + std::to_string(step.mode) + " data " +
                       std::to_string(step.dataCapacity) + " -> " + std::to_string(status) + " chars " +
                       std::to_string(chars);
    if (status == platform::kSuccess || status == platform::kMoreData)
      text += " name " + Quoted(std::u16string(name.data(), std::min<std::size_t>(chars, step.capacity)).c_str());
    if (withType) text += " type " + Number(type);
    if (withSize) text += " bytes " + std::to_string(size);
    if (withBuffer) text += " buffer " + Dump(buffer.data(), buffer.size());
    Emit(index, text);
    if (status != platform::kSuccess && status != platform::kMoreData) break;
  }
}

void RunQueryInfo(Sequence& run, const Step& step, std::size_t index) {
  RegKey key;
  if (!SlotKey(run, step, index, "RegQueryInfoKeyW", &key)) return;
  std::uint32_t out[5] = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
  auto want = [&](int bit) { return (step.mode >> bit) & 1 ? nullptr : &out[bit]; };
  auto status = platform::RegQueryInfoKeyW(key, want(0), want(1), want(2), want(3), want(4));
  std::string text = "RegQueryInfoKeyW h" + std::to_string(step.slot) + " mask " + std::to_string(step.mode) +
                     " -> " + std::to_string(status);
  static const char* const names[] = {" subkeys ", " longest-subkey ", " values ", " longest-value-name ",
                                      " largest-data "};
  for (int bit = 0; bit < 5; ++bit)
    if (want(bit)) text += names[bit] + std::to_string(out[bit]);
  Emit(index, text);
}

void RunStep(Sequence& run, const Step& step, std::size_t index) {
  const auto& alias = kAreas[step.area].aliases[step.alias];
  std::string where = std::string(alias.rootName) + " \"" + Text(RootPath(step)) + "\"";
  RegKey key;
  switch (step.op) {
    case Op::CreateKey:
      Emit(index, "create " + where + " -> " +
                      std::to_string(faithful::CreateKey(alias.root, WithSid(RootPath(step), run.sid))));
      break;
    case Op::CreateLink:
      Emit(index, "link " + where + " to \"" + Text(step.linkTarget) + "\" -> " +
                      std::to_string(faithful::CreateLink(alias.root, WithSid(RootPath(step), run.sid),
                                                          WithSid(step.linkTarget, run.sid))));
      break;
    case Op::RefuseAccess:
      Emit(index,
           "refuse " + where + " " + Number(step.rights) + " -> " +
               std::to_string(faithful::RefuseAccess(alias.root, WithSid(RootPath(step), run.sid), step.rights)));
      break;
    case Op::Open:
      RunOpen(run, step, index);
      break;
    case Op::Close:
      if (SlotKey(run, step, index, "RegCloseKey", &key)) {
        run.open[step.slot] = false;
        Emit(index,
             "RegCloseKey h" + std::to_string(step.slot) + " -> " + std::to_string(platform::RegCloseKey(key)));
      }
      break;
    case Op::SetValue:
      RunSetValue(run, step, index);
      break;
    case Op::QueryValue:
      RunQueryValue(run, step, index);
      break;
    case Op::EnumKey:
      RunEnumKey(run, step, index);
      break;
    case Op::EnumValues:
      RunEnumValues(run, step, index);
      break;
    case Op::QueryInfo:
      RunQueryInfo(run, step, index);
      break;
    case Op::DeleteValue:
      if (SlotKey(run, step, index, "RegDeleteValueW", &key))
        Emit(index, "RegDeleteValueW h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " -> " +
                        std::to_string(platform::RegDeleteValueW(key, step.valueName)));
      break;
    case Op::OpenLink:
      RunOpenLink(run, step, index);
      break;
    case Op::DeleteKey:
      if (SlotKey(run, step, index, "DeleteOpenKey", &key))
        Emit(index,
             "DeleteOpenKey h" + std::to_string(step.slot) + " -> " + std::to_string(platform::DeleteOpenKey(key)));
      break;
    case Op::IsLinkKey:
      if (SlotKey(run, step, index, "IsLinkKey", &key))
        Emit(index, "IsLinkKey h" + std::to_string(step.slot) + " " + Quoted(step.valueName) + " -> " +
                        (platform::IsLinkKey(key, step.valueName) ? "yes" : "no"));
      break;
    case Op::KeyObjectName:
      if (SlotKey(run, step, index, "KeyObjectName", &key))
        Emit(index,
             "KeyObjectName h" + std::to_string(step.slot) + " -> \"" + Text(platform::KeyObjectName(key)) + "\"");
      break;
  }
}

// Makes each area's sequence key; false when the scratch area cannot be had.
bool SetUp(const std::u16string& sid) {
  for (const auto& area : kAreas) {
    const auto& alias = area.aliases[0];
    if (faithful::CreateKey(alias.root, WithSid(Join(alias.prefix, u"seq"), sid)) != platform::kSuccess) return false;
  }
  return true;
}

bool TearDown(Sequence& run) {
  for (int slot = 0; slot < kSlots; ++slot)
    if (run.open[slot]) platform::RegCloseKey(run.slots[slot]);
  bool clean = true;
  for (const auto& area : kAreas)
    clean = faithful::RemoveScratch(area.aliases[0].root, WithSid(area.aliases[0].prefix, run.sid)) && clean;
  return clean;
}

bool RunSequence(std::uint64_t seed, const std::set<std::size_t>* only, const std::u16string& sid) {
  std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
  if (!SetUp(sid)) {
    std::printf("error: cannot make the scratch keys\n");
    return false;
  }
  Sequence run;
  run.sid = sid;
  auto steps = Draw(seed);
  for (std::size_t i = 0; i < steps.size(); ++i)
    if (!only || only->count(i)) RunStep(run, steps[i], i);
  if (!TearDown(run)) {
    std::printf("error: the scratch keys stayed\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool usage = argc < 3;
  for (int i = 3; i < argc && !usage; ++i) {
    std::string option = argv[i];
    usage = true;
    for (auto name : kLeaveOutNames)
      if (option == std::string("without=") + name) usage = false;
    if (!usage) LeftOut().insert(option.substr(8));
  }
  if (usage) {
    std::fprintf(stderr, "usage: registry_sequences FIRST_SEED COUNT|STEPS [without=NAME]...\n");
    return 2;
  }
  faithful::Begin();
  auto sid = faithful::CurrentUserSid();
  std::printf("sid %s\n", Text(sid).c_str());
  std::uint64_t first = std::strtoull(argv[1], nullptr, 10);
  std::string second = argv[2];
  bool ok = true;
  if (second.find(',') != std::string::npos || (!second.empty() && second[0] == 's')) {
    // "s" alone or "sA,B,..." picks steps; the leading "s" tells it from a count.
    std::set<std::size_t> only;
    for (std::size_t at = second[0] == 's' ? 1 : 0; at < second.size();) {
      auto comma = second.find(',', at);
      auto part = second.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
      if (!part.empty()) only.insert(std::strtoul(part.c_str(), nullptr, 10));
      at = comma == std::string::npos ? second.size() : comma + 1;
    }
    ok = RunSequence(first, &only, sid);
  } else {
    auto count = std::strtoull(second.c_str(), nullptr, 10);
    for (std::uint64_t seed = first; seed < first + count; ++seed) ok = RunSequence(seed, nullptr, sid) && ok;
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}
