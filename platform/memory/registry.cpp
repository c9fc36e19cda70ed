// In-memory registry that behaves as Windows does where the cleaner depends
// on it: names compared without regard to case, subkeys enumerated in sorted
// order and values in creation order, the rights of each handle enforced, the
// predefined roots aliasing the same keys, and data returned as stored.
//
// HKEY_CLASSES_ROOT is HKLM\Software\Classes alone, as under Wine, unless a
// test asks for Windows' merged view (MergeUserClasses in machine.h, which
// says what a merged key is). A handle keeps the two keys it was opened with,
// as a Windows handle keeps its key; the root itself is looked up anew on
// every call.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include "platform/memory/machine.h"
#include "platform/memory/registry_model.h"
#include "platform/number_text.h"
#include "platform/registry.h"
#include "platform/utf8.h"

namespace memory {
namespace {

using platform::RegKey;

// Both keys behind one path of the merged HKEY_CLASSES_ROOT.
struct MergedKey {
  std::shared_ptr<Node> user, machine;

  const std::shared_ptr<Node>& Winner() const { return user ? user : machine; }
};

struct Handle {
  std::shared_ptr<Node> node;  // for a merged key, the winning one
  std::uint32_t access = 0;
  MergedKey merged;  // both keys of a merged key; none otherwise
};

struct PendingAction {
  Node* node;
  std::string function;
  std::function<void()> action;
};

struct Registry {
  std::shared_ptr<Node> machine;
  std::shared_ptr<Node> users;
  std::map<std::uintptr_t, Handle> handles;
  std::uintptr_t nextHandle = 0x1000;
  std::vector<std::string> calls;
  bool recordCalls = true;
  std::vector<PendingAction> pending;
  std::function<void(std::string_view, std::u16string_view)> everyCall;
  bool inEveryCall = false;
  std::vector<ReturnedValue> returned;
  bool mergeUserClasses = false;
  MergedKey classesRoot;  // as the current call found it
};

Registry& State() {
  static Registry registry;
  return registry;
}

char16_t Upcase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool NameLess(const std::u16string& a, const std::u16string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return Upcase(x) < Upcase(y); });
}

std::shared_ptr<Node> FindChild(const Node& node, std::u16string_view name) {
  for (const auto& child : node.subkeys)
    if (SameName(child->name, name)) return child;
  return nullptr;
}

std::shared_ptr<Node> AddChild(Node& node, std::u16string_view name) {
  if (auto existing = FindChild(node, name)) return existing;
  auto child = std::make_shared<Node>();
  child->name = std::u16string(name);
  child->parent = &node;
  auto at = std::upper_bound(node.subkeys.begin(), node.subkeys.end(), child,
                             [](const auto& a, const auto& b) { return NameLess(a->name, b->name); });
  node.subkeys.insert(at, child);
  return child;
}

std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    auto slash = path.find(u'\\');
    auto part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::u16string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

std::shared_ptr<Node> Walk(std::shared_ptr<Node> node, std::u16string_view path, bool create);
std::shared_ptr<Node> ResolveAbsoluteOnce(std::u16string_view target);

// A link's target, as the kernel names keys. A target that runs through a
// link leads back here; the kernel gives up past its reparse limit, and so
// does the model, rather than recurse without end.
std::shared_ptr<Node> ResolveAbsolute(std::u16string_view target) {
  static int depth = 0;
  if (depth > 16) return nullptr;
  ++depth;
  auto node = ResolveAbsoluteOnce(target);
  --depth;
  return node;
}

std::shared_ptr<Node> ResolveAbsoluteOnce(std::u16string_view target) {
  auto parts = SplitPath(target);
  if (parts.size() < 2 || !SameName(parts[0], u"Registry")) return nullptr;
  std::shared_ptr<Node> node;
  if (SameName(parts[1], u"Machine")) node = State().machine;
  else if (SameName(parts[1], u"User")) node = State().users;
  else return nullptr;
  for (size_t i = 2; i < parts.size() && node; ++i) node = Walk(node, parts[i], false);
  return node;
}

// Follows links as an open does; a chain that never ends fails like the kernel's
// reparse limit.
std::shared_ptr<Node> FollowLinks(std::shared_ptr<Node> node) {
  for (int hops = 0; node && node->isLink; ++hops) {
    if (hops == 16) return nullptr;
    node = ResolveAbsolute(node->linkTarget);
  }
  return node;
}

std::shared_ptr<Node> Walk(std::shared_ptr<Node> node, std::u16string_view path, bool create) {
  for (auto part : SplitPath(path)) {
    auto child = create ? AddChild(*node, part) : FindChild(*node, part);
    if (!create) child = FollowLinks(child);
    if (!child) return nullptr;
    node = child;
  }
  return node;
}

std::shared_ptr<Node> RootNode(RegKey root) {
  auto& s = State();
  if (root == platform::kLocalMachine) return s.machine;
  if (root == platform::kUsers) return s.users;
  if (root == platform::kClassesRoot) return Walk(s.machine, u"Software\\Classes", false);
  if (root == platform::kCurrentUser) return Walk(s.users, kCurrentUserSid, false);
  if (root == platform::kCurrentConfig)
    return Walk(s.machine, u"System\\CurrentControlSet\\Hardware Profiles\\Current", false);
  return nullptr;
}

// The merged HKEY_CLASSES_ROOT, looked up anew on every call.
MergedKey MergedClassesRoot() {
  auto& s = State();
  return {Walk(s.users, std::u16string(kCurrentUserSid) + u"\\Software\\Classes", false),
          Walk(s.machine, u"Software\\Classes", false)};
}

MergedKey WalkMerged(const MergedKey& key, std::u16string_view path) {
  return {key.user ? Walk(key.user, path, false) : nullptr, key.machine ? Walk(key.machine, path, false) : nullptr};
}

// Both keys' subkeys of that name, as they are, links not followed.
MergedKey MergedChild(const MergedKey& key, std::u16string_view name) {
  return {key.user ? FindChild(*key.user, name) : nullptr, key.machine ? FindChild(*key.machine, name) : nullptr};
}

// The union of both keys' subkeys in the sorted order both keep, the user's
// where both hold a name.
std::vector<const Node*> MergedSubkeys(const MergedKey& key) {
  static const std::vector<std::shared_ptr<Node>> none;
  const auto& user = key.user ? key.user->subkeys : none;
  const auto& machine = key.machine ? key.machine->subkeys : none;
  std::vector<const Node*> merged;
  std::size_t u = 0, m = 0;
  while (u < user.size() || m < machine.size()) {
    if (m == machine.size() || (u < user.size() && !NameLess(machine[m]->name, user[u]->name))) {
      if (m < machine.size() && SameName(machine[m]->name, user[u]->name)) ++m;
      merged.push_back(user[u++].get());
    } else {
      merged.push_back(machine[m++].get());
    }
  }
  return merged;
}

// RegQueryInfoKeyW's subkey count and longest subkey name of a merged key.
void CountMergedSubkeys(const MergedKey& key, std::uint32_t* count, std::uint32_t* longest) {
  const auto subkeys = MergedSubkeys(key);
  if (count) *count = subkeys.size();
  if (longest) *longest = 0;
  for (const Node* child : subkeys)
    if (longest) *longest = std::max<std::uint32_t>(*longest, child->name.size());
}

// Whether a path's first name is the root's: its own name or the short one
// Windows' tools also take, "HK" and the first letter of each later word
// ("HKLM" for "HKEY_LOCAL_MACHINE").
bool NamesRoot(std::u16string_view name, std::u16string_view rootName) {
  std::u16string initials = u"HK";
  for (auto at = rootName.find(u'_'); at != std::u16string_view::npos; at = rootName.find(u'_', at + 1))
    initials += rootName[at + 1];
  return SameName(name, rootName) || SameName(name, initials);
}

std::shared_ptr<Node> NodeAt(std::u16string_view path, bool create) {
  auto slash = path.find(u'\\');
  auto rootName = path.substr(0, slash);
  auto rest = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash + 1);
  for (const auto& root : platform::kRootTable)
    if (NamesRoot(rootName, root.name)) {
      auto node = RootNode(root.key);
      return node ? Walk(node, rest, create) : nullptr;
    }
  throw std::invalid_argument("unknown root in " + Narrow(path));
}

Node& ExistingNode(std::u16string_view path) {
  auto node = NodeAt(path, false);
  if (!node) throw std::invalid_argument("no key " + Narrow(path));
  return *node;
}

std::string HandleName(RegKey key) {
  for (const auto& root : platform::kRootTable)
    if (root.key == key) return Narrow(root.name);
  auto found = State().handles.find(static_cast<std::uintptr_t>(key));
  if (found == State().handles.end()) return "(bad handle)";
  return Narrow(PathOf(*found->second.node));
}

// describe formats the call; it runs only while calls are recorded, so a
// walk with recording off formats nothing.
template <typename Describe>
std::int32_t Log(const Describe& describe, std::int32_t status) {
  if (State().recordCalls) State().calls.push_back(describe() + " -> " + std::to_string(status));
  return status;
}

void RunPending(const Node& node, const char* function) {
  auto& pending = State().pending;
  for (auto it = pending.begin(); it != pending.end(); ++it)
    if (it->node == &node && it->function == function) {
      auto action = std::move(it->action);
      pending.erase(it);
      action();
      return;
    }
}

// The key behind a handle, with the rights it must carry; a predefined root
// carries every right unless the test has refused some on its key. merged,
// when given, points to both keys of a merged key until the next call, and
// stays null otherwise.
std::int32_t Resolve(RegKey key, std::uint32_t needed, const char* function, std::shared_ptr<Node>* node,
                     const MergedKey** merged = nullptr) {
  auto& s = State();
  std::uint32_t access;
  if (key == platform::kClassesRoot && s.mergeUserClasses) {
    s.classesRoot = MergedClassesRoot();
    if (!s.classesRoot.Winner()) return 6;  // ERROR_INVALID_HANDLE, as an unmapped root
    *node = s.classesRoot.Winner();
    access = ~(*node)->refused;
    if (merged) *merged = &s.classesRoot;
  } else if (auto root = RootNode(key)) {
    *node = root;
    access = ~root->refused;
  } else {
    auto found = s.handles.find(static_cast<std::uintptr_t>(key));
    if (found == s.handles.end()) return 6;  // ERROR_INVALID_HANDLE
    *node = found->second.node;
    access = found->second.access;
    if (merged && found->second.merged.Winner()) *merged = &found->second.merged;
  }
  RunPending(**node, function);
  RunEveryCallAction(function, PathOf(**node));
  // The handle's rights are checked first, as when Windows looks the handle up.
  if ((access & needed) != needed) return platform::kAccessDenied;
  if ((*node)->deleted) return platform::kKeyDeleted;
  return platform::kSuccess;
}

// A new handle to node with the rights asked for, unless the key refuses them.
std::int32_t OpenHandle(const std::shared_ptr<Node>& node, std::uint32_t access, RegKey* result,
                        MergedKey merged = {}) {
  if (node->refused & access) return platform::kAccessDenied;
  auto& s = State();
  const auto value = s.nextHandle;
  s.nextHandle += 4;
  s.handles.emplace_hint(s.handles.end(), value, Handle{node, access, std::move(merged)});  // handles only grow
  *result = RegKey(value);
  return platform::kSuccess;
}

// The same for a merged key, to its winner, which must exist.
std::int32_t OpenMergedHandle(const MergedKey& key, std::uint32_t access, RegKey* result) {
  return key.Winner() ? OpenHandle(key.Winner(), access, result, key) : platform::kFileNotFound;
}

std::u16string ValueNameOrDefault(const char16_t* name) { return name ? std::u16string(name) : std::u16string(); }

Value* FindValue(Node& node, std::u16string_view name) {
  for (auto& value : node.values)
    if (SameName(value.name, name)) return &value;
  return nullptr;
}

// Deletes the children and values of node without following links: how a
// test's "[-path]" clears a key, whatever a scenario planted below it.
void RemoveContents(Node& node) {
  for (auto& child : node.subkeys) {
    if (!child->isLink) RemoveContents(*child);
    child->deleted = true;
    child->parent = nullptr;  // a handle may keep it alive longer than its parent
  }
  node.subkeys.clear();
  node.values.clear();
}

void Unlink(const std::shared_ptr<Node>& node) {
  node->deleted = true;
  auto& siblings = node->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
  node->parent = nullptr;
}

}  // namespace

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Upcase(x) == Upcase(y); });
}

std::u16string PathOf(const Node& node) {
  auto& s = State();
  std::vector<const Node*> chain;
  for (const Node* at = &node; at; at = at->parent) chain.push_back(at);
  // A deleted key is cut off from the tree; a handle can still name it.
  std::u16string path = chain.back() == s.machine.get() ? u"HKEY_LOCAL_MACHINE"
                        : chain.back() == s.users.get() ? u"HKEY_USERS"
                                                        : u"(deleted)\\" + chain.back()->name;
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path += u"\\" + (*it)->name;
  return path;
}

Node* FindNode(std::u16string_view path) { return NodeAt(path, false).get(); }
Node& CreateNode(std::u16string_view path) { return *NodeAt(path, true); }

void DeleteNode(std::u16string_view path) {
  // The parent is reached as any open reaches it; the key itself is taken as
  // it is, so a link goes by itself.
  auto slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return;
  auto parent = NodeAt(path.substr(0, slash), false);
  auto node = parent ? FindChild(*parent, path.substr(slash + 1)) : nullptr;
  if (!node) return;
  RemoveContents(*node);
  Unlink(node);
}

void SetNodeValue(Node& node, std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  if (auto* value = FindValue(node, name)) {
    value->type = type;
    value->data = std::move(data);
  } else {
    node.values.push_back(Value{std::u16string(name), type, std::move(data)});
  }
}

void DeleteNodeValue(Node& node, std::u16string_view name) {
  auto& values = node.values;
  values.erase(std::remove_if(values.begin(), values.end(), [&](const Value& v) { return SameName(v.name, name); }),
               values.end());
}

bool HandleOpenInside(const Node& top) {
  for (const auto& [value, handle] : State().handles)
    for (const Node* at = handle.node.get(); at; at = at->parent)
      if (at == &top) return true;
  return false;
}

void ResetRegistry() {
  auto& s = State();
  s = Registry{};
  s.machine = std::make_shared<Node>();
  s.users = std::make_shared<Node>();
  Walk(s.machine, u"Software\\Classes", true);
  Walk(s.machine, u"System\\CurrentControlSet\\Hardware Profiles\\Current", true);
  Walk(s.users, kCurrentUserSid, true);
  ResetHives();
}

bool KeyExists(std::u16string_view path) { return FindNode(path) != nullptr; }

void RefuseAccess(std::u16string_view path, std::uint32_t rights) { ExistingNode(path).refused |= rights; }

void RefuseAccessToLink(std::u16string_view path, std::uint32_t rights) {
  auto slash = path.rfind(u'\\');
  auto link = FindChild(ExistingNode(path.substr(0, slash)), path.substr(slash + 1));
  if (!link || !link->isLink) throw std::invalid_argument("no link key " + Narrow(path));
  link->refused |= rights;
}

void HideKeyName(std::u16string_view path) { ExistingNode(path).nameHidden = true; }

void FailQueryInfo(std::u16string_view path, std::int32_t status) { ExistingNode(path).failQueryInfo = status; }

void FailEnumKey(std::u16string_view path, std::uint32_t index, std::int32_t status) {
  ExistingNode(path).failEnumKey[index] = status;
}

void FailEnumValue(std::u16string_view path, std::uint32_t index, std::int32_t status) {
  ExistingNode(path).failEnumValue[index] = status;
}

void MakeLink(std::u16string_view path, std::u16string_view target) {
  auto slash = path.rfind(u'\\');
  auto& parent = CreateNode(path.substr(0, slash));
  auto node = AddChild(parent, path.substr(slash + 1));
  node->isLink = true;
  node->linkTarget = std::u16string(target);
  // As the kernel keeps it: the target's name without a terminator.
  std::vector<std::uint8_t> data(node->linkTarget.size() * 2);
  std::memcpy(data.data(), node->linkTarget.data(), data.size());
  SetNodeValue(*node, platform::kSymbolicLinkValue, platform::kRegLink, std::move(data));
}

void BeforeCall(std::u16string_view path, std::string_view function, std::function<void()> action) {
  State().pending.push_back({&ExistingNode(path), std::string(function), std::move(action)});
}

void RunEveryCallAction(std::string_view function, std::u16string_view keyPath) {
  auto& s = State();
  if (!s.everyCall || s.inEveryCall) return;
  s.inEveryCall = true;
  try {
    s.everyCall(function, keyPath);
  } catch (...) {
    // Reset also when the action throws, as a test's does to end the run.
    s.inEveryCall = false;
    throw;
  }
  s.inEveryCall = false;
}

void BeforeEveryCall(std::function<void(std::string_view function, std::u16string_view keyPath)> action) {
  State().everyCall = std::move(action);
}

void SetValue(std::u16string_view keyPath, std::u16string_view name, std::uint32_t type,
              std::vector<std::uint8_t> data) {
  SetNodeValue(CreateNode(keyPath), name, type, std::move(data));
}

void DeleteValue(std::u16string_view keyPath, std::u16string_view name) {
  if (auto* node = FindNode(keyPath)) DeleteNodeValue(*node, name);
}

void DeleteKey(std::u16string_view keyPath) { DeleteNode(keyPath); }

const std::vector<ReturnedValue>& ValuesReturned() { return State().returned; }

const std::vector<std::string>& RegistryCalls() { return State().calls; }
void ClearRegistryCalls() {
  State().calls.clear();
  State().returned.clear();
}
void RecordCalls(bool on) { State().recordCalls = on; }
void MergeUserClasses(bool on) { State().mergeUserClasses = on; }
std::size_t OpenKeyCount() { return State().handles.size(); }

std::string Narrow(std::u16string_view text) { return platform::ToUtf8(text); }

}  // namespace memory

namespace platform {

using memory::Node;

std::int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, std::uint32_t access, RegKey* result) {
  auto call = [&] {
    return "RegOpenKeyExW " + memory::HandleName(parent) + " [" +
           (subKey ? memory::Narrow(subKey) : std::string("null")) + "] 0x" + Hex<char>(access);
  };
  std::shared_ptr<Node> node;
  const memory::MergedKey* merged = nullptr;
  auto status = memory::Resolve(parent, 0, "RegOpenKeyExW", &node, &merged);
  if (status) return memory::Log(call, status);
  // Windows hands a predefined root opened with no subkey name back as it is.
  if ((memory::RootNode(parent) || parent == kClassesRoot) && (!subKey || !*subKey)) {
    *result = parent;
    return memory::Log(call, kSuccess);
  }
  const auto path = subKey ? std::u16string_view(subKey) : std::u16string_view();
  if (merged) {
    return memory::Log(call, memory::OpenMergedHandle(memory::WalkMerged(*merged, path), access, result));
  }
  node = memory::Walk(node, path, false);
  if (!node) return memory::Log(call, kFileNotFound);
  return memory::Log(call, memory::OpenHandle(node, access, result));
}

std::int32_t RegQueryInfoKeyW(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLength,
                              std::uint32_t* values, std::uint32_t* maxValueNameLength,
                              std::uint32_t* maxValueBytes) {
  auto call = [&] { return "RegQueryInfoKeyW " + memory::HandleName(key); };
  std::shared_ptr<Node> node;
  const memory::MergedKey* merged = nullptr;
  if (auto status = memory::Resolve(key, kKeyQueryValue, "RegQueryInfoKeyW", &node, &merged))
    return memory::Log(call, status);
  if (node->failQueryInfo) return memory::Log(call, *node->failQueryInfo);
  std::uint32_t longestKey = 0, longestName = 0, largestData = 0;
  for (const auto& child : node->subkeys) longestKey = std::max<std::uint32_t>(longestKey, child->name.size());
  for (const auto& value : node->values) {
    longestName = std::max<std::uint32_t>(longestName, value.name.size());
    largestData = std::max<std::uint32_t>(largestData, value.data.size());
  }
  if (subKeys) *subKeys = node->subkeys.size();
  if (maxSubKeyLength) *maxSubKeyLength = longestKey;
  if (values) *values = node->values.size();
  if (maxValueNameLength) *maxValueNameLength = longestName;
  if (maxValueBytes) *maxValueBytes = largestData;
  if (merged) memory::CountMergedSubkeys(*merged, subKeys, maxSubKeyLength);
  return memory::Log(call, kSuccess);
}

std::int32_t RegEnumKeyExW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars) {
  auto call = [&] { return "RegEnumKeyExW " + memory::HandleName(key) + " " + std::to_string(index); };
  std::shared_ptr<Node> node;
  const memory::MergedKey* merged = nullptr;
  if (auto status = memory::Resolve(key, kKeyEnumerateSubKeys, "RegEnumKeyExW", &node, &merged))
    return memory::Log(call, status);
  auto failure = node->failEnumKey.find(index);
  if (failure != node->failEnumKey.end()) return memory::Log(call, failure->second);
  const Node* child = nullptr;
  if (merged) {
    const auto subkeys = memory::MergedSubkeys(*merged);
    if (index < subkeys.size()) child = subkeys[index];
  } else if (index < node->subkeys.size()) {
    child = node->subkeys[index].get();
  }
  if (!child) return memory::Log(call, kNoMoreItems);
  const auto& childName = child->name;
  if (childName.size() + 1 > *nameChars) return memory::Log(call, kMoreData);
  std::copy(childName.begin(), childName.end(), name);
  name[childName.size()] = 0;
  *nameChars = childName.size();
  return memory::Log(call, kSuccess);
}

std::int32_t RegEnumValueW(RegKey key, std::uint32_t index, char16_t* name, std::uint32_t* nameChars,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataBytes) {
  auto call = [&] { return "RegEnumValueW " + memory::HandleName(key) + " " + std::to_string(index); };
  std::shared_ptr<Node> node;
  if (auto status = memory::Resolve(key, kKeyQueryValue, "RegEnumValueW", &node)) return memory::Log(call, status);
  auto failure = node->failEnumValue.find(index);
  if (failure != node->failEnumValue.end()) return memory::Log(call, failure->second);
  if (index >= node->values.size()) return memory::Log(call, kNoMoreItems);
  const auto& value = node->values[index];
  if (value.name.size() + 1 > *nameChars) return memory::Log(call, kMoreData);
  if (data && dataBytes && value.data.size() > *dataBytes) {
    // Windows fills in the name and the needed size, and leaves the data alone.
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = 0;
    *dataBytes = value.data.size();
    return memory::Log(call, kMoreData);
  }
  std::copy(value.name.begin(), value.name.end(), name);
  name[value.name.size()] = 0;
  *nameChars = value.name.size();
  if (type) *type = value.type;
  if (data && dataBytes) std::copy(value.data.begin(), value.data.end(), data);
  if (dataBytes) *dataBytes = value.data.size();
  if (memory::State().recordCalls) memory::State().returned.push_back({value.name, value.type, value.data});
  return memory::Log(call, kSuccess);
}

std::int32_t RegQueryValueExW(RegKey key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataBytes) {
  auto valueName = memory::ValueNameOrDefault(name);
  auto call = [&] { return "RegQueryValueExW " + memory::HandleName(key) + " [" + memory::Narrow(valueName) + "]"; };
  std::shared_ptr<Node> node;
  if (auto status = memory::Resolve(key, kKeyQueryValue, "RegQueryValueExW", &node)) return memory::Log(call, status);
  // A buffer without its size is refused before the value is looked up.
  if (data && !dataBytes) return memory::Log(call, kInvalidParameter);
  auto* value = memory::FindValue(*node, valueName);
  if (!value) return memory::Log(call, kFileNotFound);
  if (type) *type = value->type;
  if (data && dataBytes && value->data.size() > *dataBytes) {
    *dataBytes = value->data.size();
    return memory::Log(call, kMoreData);
  }
  if (data) std::copy(value->data.begin(), value->data.end(), data);
  if (dataBytes) *dataBytes = value->data.size();
  return memory::Log(call, kSuccess);
}

std::int32_t RegSetValueExW(RegKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t dataBytes) {
  auto valueName = memory::ValueNameOrDefault(name);
  auto call = [&] {
    return "RegSetValueExW " + memory::HandleName(key) + " [" + memory::Narrow(valueName) + "] type " +
           std::to_string(type) + " bytes " + std::to_string(dataBytes);
  };
  std::shared_ptr<Node> node;
  if (auto status = memory::Resolve(key, kKeySetValue, "RegSetValueExW", &node)) return memory::Log(call, status);
  // The unit looked at is the one after the data's last whole unit, as in
  // Windows and Wine; for an odd size it holds the last byte and the one past
  // it. With a single byte they would read before the buffer: such data is
  // stored as given.
  std::uint32_t stored = dataBytes;
  const auto unit = [&](std::size_t at) { return data[2 * at] | data[2 * at + 1]; };
  if (IsStringType(type) && dataBytes >= 2 && unit(dataBytes / 2 - 1) != 0 && unit(dataBytes / 2) == 0) stored += 2;
  memory::SetNodeValue(*node, valueName, type, std::vector<std::uint8_t>(data, data + stored));
  return memory::Log(call, kSuccess);
}

std::int32_t RegDeleteValueW(RegKey key, const char16_t* name) {
  auto valueName = memory::ValueNameOrDefault(name);
  auto call = [&] { return "RegDeleteValueW " + memory::HandleName(key) + " [" + memory::Narrow(valueName) + "]"; };
  std::shared_ptr<Node> node;
  if (auto status = memory::Resolve(key, kKeySetValue, "RegDeleteValueW", &node)) return memory::Log(call, status);
  if (!memory::FindValue(*node, valueName)) return memory::Log(call, kFileNotFound);
  memory::DeleteNodeValue(*node, valueName);
  return memory::Log(call, kSuccess);
}

std::int32_t RegOpenLinkKeyW(RegKey parent, const char16_t* name, std::uint32_t access, RegKey* result) {
  auto call = [&] {
    return "RegOpenLinkKeyW " + memory::HandleName(parent) + " [" + memory::Narrow(name) + "] 0x" + Hex<char>(access);
  };
  std::shared_ptr<Node> node;
  const memory::MergedKey* merged = nullptr;
  if (auto status = memory::Resolve(parent, 0, "RegOpenLinkKeyW", &node, &merged)) return memory::Log(call, status);
  if (merged) return memory::Log(call, memory::OpenMergedHandle(memory::MergedChild(*merged, name), access, result));
  auto child = memory::FindChild(*node, name);
  if (!child) return memory::Log(call, kFileNotFound);
  return memory::Log(call, memory::OpenHandle(child, access, result));
}

std::int32_t DeleteOpenKey(RegKey key) {
  // Named before the deletion cuts the key off from the tree.
  const std::string name = memory::State().recordCalls ? memory::HandleName(key) : std::string();
  auto call = [&] { return "DeleteOpenKey " + name; };
  std::shared_ptr<Node> node;
  auto status = memory::Resolve(key, kDelete, "DeleteOpenKey", &node);
  // A key deleted already is deleted again without complaint.
  if (status == kKeyDeleted) return memory::Log(call, kSuccess);
  if (status) return memory::Log(call, status);
  if (!node->parent || !node->subkeys.empty()) return memory::Log(call, kAccessDenied);
  memory::Unlink(node);
  return memory::Log(call, kSuccess);
}

std::int32_t RegCloseKey(RegKey key) {
  auto& s = memory::State();
  auto found = s.handles.find(static_cast<std::uintptr_t>(key));
  if (found == s.handles.end()) return memory::RootNode(key) ? kSuccess : 6;
  s.handles.erase(found);
  return kSuccess;
}

}  // namespace platform

namespace platform {

bool IsLinkKey(RegKey parent, const char16_t* name) {
  std::shared_ptr<Node> node;
  const memory::MergedKey* merged = nullptr;
  if (memory::Resolve(parent, 0, "IsLinkKey", &node, &merged)) return true;
  if (memory::State().recordCalls)
    memory::State().calls.push_back("IsLinkKey " + memory::HandleName(parent) + " [" + memory::Narrow(name) + "]");
  auto child = merged ? memory::MergedChild(*merged, name).Winner() : memory::FindChild(*node, name);
  // Windows opens the key as itself for KEY_QUERY_VALUE to read its flag; a
  // key that will not open so counts as a link, a name not there as none.
  if (!child) return false;
  return child->isLink || (child->refused & kKeyQueryValue) != 0;
}

bool IsLinkKey(RegKey key) {
  std::shared_ptr<Node> node;
  // NtQueryKey needs KEY_QUERY_VALUE on the handle; a flag that cannot be
  // read counts as a link.
  if (memory::Resolve(key, kKeyQueryValue, "IsLinkKey", &node)) return true;
  if (memory::State().recordCalls) memory::State().calls.push_back("IsLinkKey " + memory::HandleName(key));
  return node->isLink;
}

std::u16string KeyObjectName(RegKey key) {
  std::shared_ptr<Node> node;
  if (memory::Resolve(key, 0, "KeyObjectName", &node)) return {};
  if (memory::State().recordCalls) memory::State().calls.push_back("KeyObjectName " + memory::HandleName(key));
  if (node->nameHidden) return {};
  // The kernel's spelling, as NtQueryKey gives it.
  std::u16string name = memory::PathOf(*node);
  for (const auto& [root, kernel] :
       {std::pair<std::u16string_view, std::u16string_view>{u"HKEY_LOCAL_MACHINE", u"\\REGISTRY\\MACHINE"},
        {u"HKEY_USERS", u"\\REGISTRY\\USER"}})
    if (name.rfind(root, 0) == 0) return std::u16string(kernel) + name.substr(root.size());
  return name;
}

}  // namespace platform
