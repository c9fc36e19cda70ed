// In-memory hive files: RegLoadKeyW copies a file's keys into the registry,
// RegUnLoadKeyW copies them back and detaches them, as Windows keeps a hive in
// its file, so a test sees in the file what the run left in the hive. A hive
// file is a file of the in-memory file system (machine.h says its form), so a
// missing folder, a file another process holds and a file of other bytes fail
// the load as they do on Windows.
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/hives.h"
#include "platform/memory/file_store.h"
#include "platform/memory/machine.h"
#include "platform/memory/registry_model.h"

namespace memory {
namespace {

constexpr std::string_view kHiveSignature = "regf";

struct Hives {
  std::vector<LoadedHiveFile> loaded;
  std::map<std::u16string, std::int32_t> failingLoads;    // by file
  std::map<std::u16string, std::int32_t> failingUnloads;  // by key path
  bool privilegesHeld = true;
  bool privilegesEnabled = false;
};

Hives& State() {
  static Hives hives;
  return hives;
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded)
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 0x20);
  return folded;
}

std::u16string RootName(platform::RegKey root) {
  for (const auto& row : platform::kRootTable)
    if (row.key == root) return row.name;
  return {};
}

std::string FileBytes(std::u16string_view text) {
  std::string bytes(kHiveSignature);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// The hive's text in a file's bytes; none when the bytes hold no hive.
std::optional<std::u16string> TextOf(const std::string& bytes) {
  if (bytes.compare(0, kHiveSignature.size(), kHiveSignature) != 0 || (bytes.size() - kHiveSignature.size()) % 2)
    return std::nullopt;
  std::u16string text;
  for (std::size_t at = kHiveSignature.size(); at < bytes.size(); at += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                  (static_cast<unsigned char>(bytes[at + 1]) << 8));
  return text;
}

// Every key line of .reg text moved between the hive's own paths ("[]",
// "[Software]") and the registry's ("[HKEY_USERS\<SID>\Software]").
std::u16string Rebased(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
  std::u16string out;
  while (!text.empty()) {
    const auto end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line[0] == u'[') {
      const std::size_t open = line.substr(0, 2) == u"[-" ? 2 : 1;
      std::u16string_view path = line.substr(open, line.size() - open - 1);
      if (path.size() >= from.size() && SameName(path.substr(0, from.size()), from)) path.remove_prefix(from.size());
      if (!path.empty() && path[0] == u'\\') path.remove_prefix(1);
      std::u16string rebased(to);
      if (!path.empty()) rebased += (rebased.empty() ? u"" : u"\\") + std::u16string(path);
      out += std::u16string(line.substr(0, open)) + rebased + u"]";
    } else {
      out += line;
    }
    out += u'\n';
  }
  return out;
}

std::vector<LoadedHiveFile>::iterator FindLoaded(std::u16string_view keyPath) {
  auto& loaded = State().loaded;
  for (auto it = loaded.begin(); it != loaded.end(); ++it)
    if (SameName(it->keyPath, keyPath)) return it;
  return loaded.end();
}

}  // namespace

void ResetHives() { State() = Hives{}; }

void CreateHiveFile(std::u16string_view path, std::u16string_view regText) {
  const std::u16string text(regText);
  const auto slash = path.rfind(u'\\');
  if (slash != std::u16string_view::npos) CreateFolder(path.substr(0, slash));
  RewriteFile(path, FileBytes(text));
}

std::optional<std::u16string> HiveFileText(std::u16string_view path) {
  const auto bytes = FileContent(path);
  return bytes ? TextOf(*bytes) : std::nullopt;
}

void FailHiveLoad(std::u16string_view file, std::int32_t status) { State().failingLoads[Folded(file)] = status; }

void FailHiveUnload(std::u16string_view keyPath, std::int32_t status) {
  State().failingUnloads[Folded(keyPath)] = status;
}

const std::vector<LoadedHiveFile>& LoadedHiveFiles() { return State().loaded; }

void TokenWithoutHivePrivileges() { State().privilegesHeld = false; }

bool HivePrivilegesEnabled() { return State().privilegesEnabled; }

}  // namespace memory

namespace platform {

std::int32_t RegLoadKeyW(RegKey root, const char16_t* subKey, const char16_t* file) {
  auto& state = memory::State();
  if (root != kUsers && root != kLocalMachine) return kInvalidParameter;
  if (!state.privilegesEnabled) return kPrivilegeNotHeld;
  const std::u16string keyPath = memory::RootName(root) + u"\\" + subKey;
  auto failing = state.failingLoads.find(memory::Folded(file));
  if (failing != state.failingLoads.end()) return failing->second;
  if (memory::FindNode(keyPath)) return kAlreadyExists;
  if (const auto status = memory::PathStatus(file)) return static_cast<std::int32_t>(status);
  if (const auto refused = memory::OpenFailure(file); refused && *refused) return static_cast<std::int32_t>(*refused);
  for (const auto& hive : state.loaded)
    if (memory::SameName(hive.file, file)) return kSharingViolation;  // Windows holds a loaded hive's file open
  const auto text = memory::TextOf(*memory::FileContent(file));
  if (!text) return kBadDb;
  memory::CreateNode(keyPath);
  try {
    memory::LoadReg(memory::Rebased(*text, u"", keyPath));
  } catch (const std::invalid_argument&) {
    memory::DeleteNode(keyPath);
    return kBadDb;
  }
  state.loaded.push_back({keyPath, file});
  return kSuccess;
}

std::int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) {
  auto& state = memory::State();
  if (!state.privilegesEnabled) return kPrivilegeNotHeld;
  const std::u16string keyPath = memory::RootName(root) + u"\\" + subKey;
  memory::RunEveryCallAction("RegUnLoadKeyW", keyPath);
  auto failing = state.failingUnloads.find(memory::Folded(keyPath));
  if (failing != state.failingUnloads.end()) return failing->second;
  auto hive = memory::FindLoaded(keyPath);
  memory::Node* node = memory::FindNode(keyPath);
  if (!node) return kFileNotFound;
  if (hive == state.loaded.end()) return kInvalidParameter;  // a key, but no hive's root
  if (memory::HandleOpenInside(*node)) return kAccessDenied;
  memory::RewriteFile(hive->file, memory::FileBytes(memory::Rebased(memory::DumpReg(keyPath), keyPath, u"")));
  memory::DeleteNode(keyPath);
  state.loaded.erase(hive);
  return kSuccess;
}

std::uint32_t EnableHivePrivileges() {
  auto& state = memory::State();
  if (!state.privilegesHeld) return kNotAllAssigned;
  state.privilegesEnabled = true;
  return 0;
}

std::uint32_t FileStatus(const char16_t* path) { return memory::PathStatus(path); }

}  // namespace platform
