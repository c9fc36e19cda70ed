// An in-memory command line, standard error, file system, named mutex,
// computer, account and clock, each modelling only what the cleaner calls.
// Folders and files behave as on Windows where the log depends on it: a file
// opens only in a folder that exists, a folder is created only in one that
// exists, and names match whatever the case of their letters.
#include <algorithm>
#include <map>
#include <set>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/memory/environment.h"
#include "platform/memory/file_store.h"
#include "platform/memory/service_manager.h"

namespace memory {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;

// Names compare without regard to case, as Windows compares them.
std::u16string Folded(std::u16string_view name) {
  std::u16string folded;
  for (char16_t unit : name) folded += unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
  return folded;
}

struct Environment {
  std::u16string commandLine{kProgramName};
  bool wow64 = false;
  std::map<std::u16string, std::u16string> variables{{Folded(u"COMPUTERNAME"), std::u16string(kComputerName)},
                                                     {Folded(u"ProgramData"), u"C:\\ProgramData"},
                                                     {Folded(u"windir"), u"C:\\Windows"}};
  std::u16string errorText;
  std::set<std::u16string> folders;
  std::map<std::u16string, std::string> files;
  std::map<std::u16string, std::u16string> aliases;  // another name of a file or folder, and its own
  std::map<std::u16string, std::uint64_t> indexes;   // each file's and folder's index, once asked
  std::map<std::u16string, std::uint32_t> failingFiles;
  std::map<std::u16string, std::pair<std::size_t, std::uint32_t>> fullFiles;  // the most bytes, the error
  std::map<std::u16string, std::uint32_t> failingFlushes;
  std::map<std::u16string, std::uint32_t> failingCuts;
  struct Security {
    std::u16string owner;  // empty: Administrators
    bool usersMayWrite = false;
  };
  std::map<std::u16string, Security> security;  // of the files and folders whose security is not the default
  std::map<std::u16string, unsigned> flushes;
  struct OpenFile {
    std::u16string name;
    std::size_t position = 0;
    bool update = false;  // OpenFileForUpdate's, which shares reading only
  };
  std::map<std::uintptr_t, OpenFile> openFiles;
  std::set<std::u16string> mutexesHeldElsewhere;
  std::map<std::u16string, std::uint32_t> squattedNames;  // a name another object has, and CreateMutexW's error
  std::uint32_t namespaceError = 0;
  std::map<std::uintptr_t, std::u16string> openNamespaces;
  std::map<std::uintptr_t, std::u16string> openMutexes;
  std::set<std::u16string> mutexesOwned;
  std::uintptr_t nextHandle = 0x400;
  platform::LocalTime now = kStartingLocalTime;
};

Environment& State() {
  static Environment environment;
  return environment;
}

// One spelling for every path: "\" between folders, small letters, no
// trailing "\".
std::u16string Normal(std::u16string_view path) {
  std::u16string normal;
  for (char16_t unit : path) {
    if (unit == u'/') unit = u'\\';
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 0x20);
    normal += unit;
  }
  while (normal.size() > 1 && normal.back() == u'\\') normal.pop_back();
  // Another name of the same file, or of a folder above it, stands for it.
  std::size_t end = normal.size();
  while (end != std::u16string::npos && end > 0) {
    auto alias = State().aliases.find(normal.substr(0, end));
    if (alias != State().aliases.end()) return Normal(alias->second + normal.substr(end));
    end = normal.rfind(u'\\', end - 1);
  }
  return normal;
}

std::u16string Parent(const std::u16string& normal) {
  const std::size_t last = normal.rfind(u'\\');
  return last == std::u16string::npos ? std::u16string() : normal.substr(0, last);
}

// The current folder ("") and the drive roots always exist.
bool FolderExists(const std::u16string& normal) {
  return normal.empty() || (normal.size() == 2 && normal[1] == u':') || State().folders.count(normal) != 0;
}

}  // namespace

void ResetEnvironment() { State() = Environment{}; }

void SetCommandLine(std::u16string_view commandLine) { State().commandLine = commandLine; }

void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value) {
  if (value.empty()) State().variables.erase(Folded(name));
  else State().variables[Folded(name)] = value;
}
std::u16string ErrorOutput() { return State().errorText; }

std::optional<std::string> FileContent(std::u16string_view path) {
  auto found = State().files.find(Normal(path));
  if (found == State().files.end()) return std::nullopt;
  return found->second;
}

void CreateFolder(std::u16string_view path) {
  for (std::u16string folder = Normal(path); !FolderExists(folder); folder = Parent(folder))
    State().folders.insert(folder);
}

void CreateFile(std::u16string_view path, std::string bytes) {
  const std::u16string normal = Normal(path);
  CreateFolder(Parent(normal));
  State().files[normal] = std::move(bytes);
}

void FailFileOpen(std::u16string_view path, std::uint32_t error) { State().failingFiles[Normal(path)] = error; }

void FailFileWrite(std::u16string_view path, std::size_t bytes, std::uint32_t error) {
  State().fullFiles[Normal(path)] = {bytes, error};
}

void AddFileAlias(std::u16string_view path, std::u16string_view alias) {
  State().aliases[Normal(alias)] = Normal(path);
}

unsigned FlushCount(std::u16string_view path) {
  auto found = State().flushes.find(Normal(path));
  return found == State().flushes.end() ? 0 : found->second;
}

void FailFileFlush(std::u16string_view path, std::uint32_t error) { State().failingFlushes[Normal(path)] = error; }

void FailFileCut(std::u16string_view path, std::uint32_t error) { State().failingCuts[Normal(path)] = error; }

void SetFileOwner(std::u16string_view path, std::u16string_view owner) {
  State().security[Normal(path)].owner = owner;
}

void LetUsersWrite(std::u16string_view path) { State().security[Normal(path)].usersMayWrite = true; }

bool UsersMayWrite(std::u16string_view path) {
  auto found = State().security.find(Normal(path));
  return found != State().security.end() && found->second.usersMayWrite;
}

void SetWow64Process(bool wow64) { State().wow64 = wow64; }

void HoldMutexElsewhere(std::u16string_view name) { State().mutexesHeldElsewhere.emplace(name); }

void SquatObjectName(std::u16string_view name, std::uint32_t error) {
  State().squattedNames[std::u16string(name)] = error;
}

void FailPrivateNamespaces(std::uint32_t error) { State().namespaceError = error; }

bool MutexOpen(std::u16string_view name) {
  for (const auto& open : State().openMutexes)
    if (open.second == name) return true;
  return false;
}

void SetLocalTime(const platform::LocalTime& time) { State().now = time; }

std::uint32_t PathStatus(std::u16string_view path) {
  const std::u16string normal = Normal(path);
  if (State().files.count(normal) || FolderExists(normal)) return 0;
  return FolderExists(Parent(normal)) ? 2 : platform::kErrorPathNotFound;
}

std::optional<std::uint32_t> OpenFailure(std::u16string_view path) {
  auto failing = State().failingFiles.find(Normal(path));
  if (failing == State().failingFiles.end()) return std::nullopt;
  return failing->second;
}

void RewriteFile(std::u16string_view path, std::string bytes) { State().files[Normal(path)] = std::move(bytes); }

}  // namespace memory

namespace platform {

using memory::State;

void WriteError(const char16_t* text, std::size_t length) { State().errorText.append(text, length); }

std::u16string CommandLine() { return State().commandLine; }
bool IsWow64Process() { return State().wow64; }

std::u16string ExpandEnvironmentStringsW(const std::u16string& text) {
  std::u16string expanded;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(u'%', at);
    const std::size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    auto variable = State().variables.find(memory::Folded(text.substr(open + 1, close - open - 1)));
    if (variable == State().variables.end()) {
      // Not a variable: its first "%" stays, and the second may open one.
      expanded += text.substr(at, close - at);
      at = close;
      continue;
    }
    expanded += text.substr(at, open - at) + variable->second;
    at = close + 1;
  }
  return expanded + text.substr(at);
}

std::uint32_t OpenAdministratorsNamespace(const char16_t* prefix, NamespaceHandle* handle) {
  if (State().namespaceError != 0) return State().namespaceError;
  const std::uintptr_t opened = State().nextHandle++;
  State().openNamespaces[opened] = prefix;
  *handle = NamespaceHandle(opened);
  return 0;
}

int ClosePrivateNamespace(NamespaceHandle handle) {
  return State().openNamespaces.erase(static_cast<std::uintptr_t>(handle)) == 1;
}

std::uint32_t CreateMutexW(const char16_t* name, MutexHandle* mutex) {
  const std::u16string_view text(name);
  const std::size_t slash = text.find(u'\\');
  if (slash != std::u16string_view::npos && text.substr(0, slash) != u"Global" && text.substr(0, slash) != u"Local") {
    // "prefix\name" names an object only through an open private namespace.
    bool found = false;
    for (const auto& open : State().openNamespaces) found = found || open.second == text.substr(0, slash);
    if (!found) return kErrorPathNotFound;
  }
  auto squatted = State().squattedNames.find(std::u16string(text));
  if (squatted != State().squattedNames.end()) return squatted->second;
  const std::uintptr_t handle = State().nextHandle++;
  State().openMutexes[handle] = name;
  *mutex = MutexHandle(handle);
  return 0;
}

std::uint32_t WaitForSingleObject(MutexHandle mutex, std::uint32_t /*milliseconds*/) {
  auto& state = State();
  const std::u16string& name = state.openMutexes.at(static_cast<std::uintptr_t>(mutex));
  if (state.mutexesHeldElsewhere.count(name)) return kWaitTimeout;
  state.mutexesOwned.insert(name);
  return kWaitObject0;
}

int ReleaseMutex(MutexHandle mutex) {
  auto& state = State();
  auto open = state.openMutexes.find(static_cast<std::uintptr_t>(mutex));
  return open != state.openMutexes.end() && state.mutexesOwned.erase(open->second) == 1;
}

int CloseHandle(MutexHandle mutex) { return State().openMutexes.erase(static_cast<std::uintptr_t>(mutex)) == 1; }

std::u16string SystemWindowsDirectory() { return u"C:\\Windows"; }
std::u16string ComputerName() { return std::u16string(memory::kComputerName); }
std::u16string UserName() { return std::u16string(memory::kUserName); }
LocalTime LocalTimeNow() { return State().now; }

std::uint32_t OpenFileForAppend(const char16_t* path, FileHandle* file) {
  auto& state = State();
  const std::u16string normal = memory::Normal(path);
  auto failing = state.failingFiles.find(normal);
  if (failing != state.failingFiles.end()) return failing->second;
  if (state.folders.count(normal) || normal.empty()) return memory::kErrorAccessDenied;
  if (!memory::FolderExists(memory::Parent(normal))) return kErrorPathNotFound;
  for (const auto& open : state.openFiles)
    if (open.second.name == normal && open.second.update) return memory::kErrorSharingViolation;
  state.files[normal];  // created empty when missing
  const std::uintptr_t handle = state.nextHandle++;
  state.openFiles[handle] = {normal, 0};
  *file = FileHandle(handle);
  return 0;
}

// Reading, writing at an offset and cutting back are open to every handle
// here; Windows would refuse them on an append-only one. Both kinds of handle
// write, and this one shares reading only: it opens only a file no other
// handle holds, and then no other opens (ERROR_SHARING_VIOLATION).
std::uint32_t OpenFileForUpdate(const char16_t* path, FileHandle* file) {
  const std::u16string normal = memory::Normal(path);
  for (const auto& open : State().openFiles)
    if (open.second.name == normal) return memory::kErrorSharingViolation;
  const std::uint32_t status = OpenFileForAppend(path, file);
  if (status == 0) State().openFiles[static_cast<std::uintptr_t>(*file)].update = true;
  return status;
}

int GetFileSizeEx(FileHandle file, std::uint64_t* size) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  *size = State().files[open->second.name].size();
  return 1;
}

int ReadFileAt(FileHandle file, std::uint64_t offset, void* data, std::size_t length, std::size_t* read) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  const std::string& content = State().files[open->second.name];
  const std::size_t from = std::min(static_cast<std::size_t>(offset), content.size());
  *read = std::min(length, content.size() - from);
  content.copy(static_cast<char*>(data), *read, from);
  return 1;
}

int ReadFile(FileHandle file, void* data, std::size_t length, std::size_t* read) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  const std::string& content = State().files[open->second.name];
  const std::size_t from = std::min(open->second.position, content.size());
  *read = std::min(length, content.size() - from);
  content.copy(static_cast<char*>(data), *read, from);
  open->second.position = from + *read;
  return 1;
}

// A write that would take the file past the bytes FailFileWrite allows
// writes what fits and fails, as a disk that fills up under it does.
int WriteFileAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t length) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  std::string& content = State().files[open->second.name];
  const auto at = static_cast<std::size_t>(offset);
  if (content.size() < at) content.resize(at);
  std::size_t fits = length;
  const auto full = State().fullFiles.find(open->second.name);
  if (full != State().fullFiles.end() && at + length > full->second.first)
    fits = full->second.first > at ? full->second.first - at : 0;
  const auto* bytes = static_cast<const char*>(data);
  content.replace(at, std::min(fits, content.size() - at), bytes, fits);
  if (fits == length) return 1;
  memory::SetLastError(full->second.second);
  return 0;
}

int WriteFile(FileHandle file, const void* data, std::size_t length) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  return WriteFileAt(file, State().files[open->second.name].size(), data, length);
}

int FlushFileBuffers(FileHandle file) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  auto failing = State().failingFlushes.find(open->second.name);
  if (failing != State().failingFlushes.end()) {
    memory::SetLastError(failing->second);
    return 0;
  }
  ++State().flushes[open->second.name];
  return 1;
}

int SetEndOfFile(FileHandle file, std::uint64_t size) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 0;
  auto failing = State().failingCuts.find(open->second.name);
  if (failing != State().failingCuts.end()) {
    memory::SetLastError(failing->second);
    return 0;
  }
  State().files[open->second.name].resize(static_cast<std::size_t>(size));
  return 1;
}

int CloseHandle(FileHandle file) { return State().openFiles.erase(static_cast<std::uintptr_t>(file)) == 1; }

namespace {

// A drive's serial from its letter; the index of a file or folder given on
// first asking, and the same for every name of it.
FileIdentity IdentityOf(const std::u16string& normal) {
  auto& indexes = State().indexes;
  auto index = indexes.emplace(normal, indexes.size() + 1).first->second;
  const char16_t drive = normal.size() > 1 && normal[1] == u':' ? normal[0] : u'c';
  return {0x5EED0000u + drive, index};
}

}  // namespace

std::uint32_t IdentityOfFile(FileHandle file, FileIdentity* identity) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 6;  // ERROR_INVALID_HANDLE
  *identity = IdentityOf(open->second.name);
  return 0;
}

std::uint32_t IdentityOfPath(const char16_t* path, FileIdentity* identity) {
  const std::u16string normal = memory::Normal(path);
  // An open for attributes alone that shares everything meets no sharing
  // violation; any other refusal of the file's open refuses this one too.
  auto failing = State().failingFiles.find(normal);
  if (failing != State().failingFiles.end() && failing->second != memory::kErrorSharingViolation)
    return failing->second;
  if (!State().files.count(normal) && !memory::FolderExists(normal))
    return memory::FolderExists(memory::Parent(normal)) ? 2 : kErrorPathNotFound;
  *identity = IdentityOf(normal);
  return 0;
}

int CreateProtectedDirectoryW(const char16_t* path) {
  auto& state = State();
  const std::u16string normal = memory::Normal(path);
  if (memory::FolderExists(normal) || state.files.count(normal)) return 0;
  if (!memory::FolderExists(memory::Parent(normal))) return 0;
  state.folders.insert(normal);
  return 1;
}

int CreateDirectoryW(const char16_t* path) {
  if (!CreateProtectedDirectoryW(path)) return 0;
  State().security[memory::Normal(path)].usersMayWrite = true;
  return 1;
}

namespace {

bool IsDriveRoot(const std::u16string& normal) { return normal.size() == 2 && normal[1] == u':'; }

}  // namespace

std::uint32_t SecurityOfPath(const char16_t* path, FileSecurity* security) {
  const std::u16string normal = memory::Normal(path);
  if (!State().files.count(normal) && !memory::FolderExists(normal))
    return memory::FolderExists(memory::Parent(normal)) ? 2 : kErrorPathNotFound;
  const bool folder = !State().files.count(normal);
  auto found = State().security.find(normal);
  const memory::Environment::Security own = found == State().security.end() ? memory::Environment::Security{}
                                                                            : found->second;
  security->ownerTrusted = own.owner.empty();
  security->owner = own.owner.empty() ? u"BUILTIN\\Administrators" : own.owner;
  security->othersMay = IsDriveRoot(normal) ? kFileAddSubdirectory : 0;
  if (own.usersMayWrite)
    security->othersMay |= folder ? kFileAddFile | kFileAddSubdirectory | kFileDeleteChild
                                  : kFileWriteData | kFileAppendData;
  return 0;
}

std::uint32_t SecurityOfFile(FileHandle file, FileSecurity* security) {
  auto open = State().openFiles.find(static_cast<std::uintptr_t>(file));
  if (open == State().openFiles.end()) return 6;  // ERROR_INVALID_HANDLE
  return SecurityOfPath(open->second.name.c_str(), security);
}

std::u16string FullPathName(const char16_t* path) { return path; }

}  // namespace platform
