// The in-memory machine the cleaner runs on in unit tests, benchmarks and
// fuzz targets: the one header that drives it. Reset it whole, build its
// registry from .reg text or value by value, bend it as a real machine can be
// bent (refused rights, failing calls, links, changes under a call, Windows'
// merged HKEY_CLASSES_ROOT in place of Wine's), and read back what the
// cleaner did: the registry, the console, the call logs, the services and the
// restart request. Its internals stay in platform/memory/.
//
// Registry paths name a root as "HKEY_LOCAL_MACHINE" or "HKLM" and the rest
// with single backslashes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/environment.h"
#include "platform/memory/service_manager.h"
#include "platform/memory/session.h"

namespace memory {

// A fresh machine: the registry as ResetRegistry makes it, an empty console
// with the starting title and clock (ResetConsoleTitle), a fresh session, an
// empty service manager and a fresh environment (ResetEnvironment).
void ResetMachine();

// A fresh registry: HKLM\Software\Classes (shown as HKEY_CLASSES_ROOT),
// HKLM\System\CurrentControlSet\Hardware Profiles\Current (HKEY_CURRENT_CONFIG)
// and the current user's key under HKEY_USERS (HKEY_CURRENT_USER), nothing else.
// Also closes every handle and clears the call log, and forgets every loaded
// hive (below); the process token holds SeBackupPrivilege and
// SeRestorePrivilege again, disabled, as an administrator's does.
void ResetRegistry();

// The current user's key name under HKEY_USERS.
inline constexpr std::u16string_view kCurrentUserSid = u"S-1-5-21-1000-1001";

// Applies text in the .reg format: "[path]" creates a key, "[-path]" deletes
// it, then value lines: @= or "name"= followed by "text" (REG_SZ with its
// NUL), dword:XXXXXXXX, hex:.., hex(N):.. (raw bytes of type N; "\" at a line
// end continues), - (delete), or two shorthands of this tool's own:
// multi:"a","b" (REG_MULTI_SZ, each element and the list closed by a NUL) and
// raw(N):"text" (the UTF-16 units of text as type N, no NUL added).
void LoadReg(std::u16string_view text);

// The subtree at path in the same format, keys in enumeration order, values
// in creation order as Windows keeps them. Strings that are exactly one
// NUL-terminated text are written "text"; all other data as hex(N):.
std::u16string DumpReg(std::u16string_view path);

bool KeyExists(std::u16string_view path);

// Creates the key, and those above it, when missing.
void CreateKey(std::u16string_view keyPath);

struct StoredValue {
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};
// The value as the registry keeps it; none when the key or value is missing.
std::optional<StoredValue> ReadValue(std::u16string_view keyPath, std::u16string_view name);

// The key's full path as the registry spells it ("HKEY_LOCAL_MACHINE\...");
// empty when the key is missing.
std::u16string StoredPath(std::u16string_view keyPath);

// Builds a large tree quickly: each value goes into the key made last.
class TreeBuilder {
 public:
  void Key(std::u16string_view keyPath);
  void Value(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data);

 private:
  void* current_ = nullptr;
};

// An open asking for any of these rights fails with ERROR_ACCESS_DENIED, as
// an ACL that denies them would.
void RefuseAccess(std::u16string_view path, std::uint32_t rights);

// The same for the link key at path itself rather than the key it points at.
// Refusing KEY_QUERY_VALUE to a key as itself (RefuseAccess on a key that is
// no link, this on a link) makes its link flag unreadable, as on Windows:
// platform::IsLinkKey then answers true.
void RefuseAccessToLink(std::u16string_view path, std::uint32_t rights);

// KeyObjectName on this key finds nothing, as when NtQueryKey fails.
void HideKeyName(std::u16string_view path);

// RegQueryInfoKeyW on this key returns status.
void FailQueryInfo(std::u16string_view path, std::int32_t status);
// RegEnumKeyExW / RegEnumValueW at this index return status.
void FailEnumKey(std::u16string_view path, std::uint32_t index, std::int32_t status);
void FailEnumValue(std::u16string_view path, std::uint32_t index, std::int32_t status);

// Makes path a symbolic link key whose target is an absolute registry path,
// "\Registry\Machine\..." or "\Registry\User\...". Opens follow it.
void MakeLink(std::u16string_view path, std::u16string_view target);

// Runs once, just before the next registry call on the key at path whose
// name is function ("RegEnumKeyExW", ...). Lets a test change the registry
// under a walk.
void BeforeCall(std::u16string_view path, std::string_view function, std::function<void()> action);

// Runs before every registry call from then on (until the next reset), with
// the call's name and the full path of the key it is made on
// ("HKEY_USERS\S-1-5-...\Software"), RegUnLoadKeyW's among them with the
// hive's key: lets a randomized test change the
// registry under any call. The action must change the registry through the
// controls here, not through calls.
void BeforeEveryCall(std::function<void(std::string_view function, std::u16string_view keyPath)> action);

// Direct changes, as another program would make them between two calls.
// SetValue creates the key (and those above it) when missing; the others do
// nothing when there is nothing to delete. DeleteKey never follows a link.
void SetValue(std::u16string_view keyPath, std::u16string_view name, std::uint32_t type,
              std::vector<std::uint8_t> data);
void DeleteValue(std::u16string_view keyPath, std::u16string_view name);
void DeleteKey(std::u16string_view keyPath);

// Every value that RegEnumValueW returned successfully since the reset, as
// it returned it, while calls are recorded.
struct ReturnedValue {
  std::u16string name;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};
const std::vector<ReturnedValue>& ValuesReturned();

// Every registry call made since the reset, one line each, e.g.
// "RegOpenKeyExW HKEY_LOCAL_MACHINE [System\CurrentControlSet\Services] 0x3000F -> 0".
const std::vector<std::string>& RegistryCalls();
void ClearRegistryCalls();

// Whether registry calls are written to that log; on after every reset.
// Off, no call formats any text, so a timed walk pays only for the registry.
void RecordCalls(bool on);

// HKEY_CLASSES_ROOT as Windows shows it (on) or as Wine does (off, after
// every reset). Off, it is HKLM\Software\Classes alone. On, it is the merged
// view of the current user's classes, HKEY_USERS\<user>\Software\Classes,
// over the machine's, HKLM\Software\Classes: the root and every key opened
// through it, by path or from a handle so obtained, stands for the user's key
// and the machine's key at that path, either one missing, and exists when
// either does. The user's key wins when it exists, else the machine's: its
// values alone are enumerated, queried, set and deleted, its rights granted
// or refused, its name given by KeyObjectName, and DeleteOpenKey deletes it
// alone. RegOpenLinkKeyW and IsLinkKey take the winner among the two keys of
// that name, links not followed. Subkeys are the union of both keys' names,
// sorted, one entry per name in the user's spelling where both hold it, and
// RegQueryInfoKeyW counts them so; opening one gives the merged key of that
// name, so a key only the machine holds is reached through a user's key
// above it. Once the user's key is gone, the machine's shows through at the
// same path. A handle keeps the two keys it was opened with. The controls
// here, and the .reg text, still take HKEY_CLASSES_ROOT in a path as
// HKLM\Software\Classes, the side where Windows also creates a new key; name
// the user's side through HKEY_CURRENT_USER\Software\Classes.
void MergeUserClasses(bool on);

// Hive files (platform/hives.h). A hive file is a file of the in-memory file
// system (environment.h) that holds .reg text in LoadReg's form whose key
// paths are relative to the hive's own root: "[]" is the root, "[Software]" a
// key below it. Any other bytes (CreateFile) make a file that holds no hive
// (ERROR_BADDB), and FailFileOpen on it a file that another process holds
// (ERROR_SHARING_VIOLATION) or that refuses the account (ERROR_ACCESS_DENIED).
// RegLoadKeyW copies the file's keys and values in; RegUnLoadKeyW writes the
// hive back to the file, as DumpReg writes it, and detaches it. Links are not
// kept in a file. Loads and unloads need the privileges enabled
// (EnableHivePrivileges).
void CreateHiveFile(std::u16string_view path, std::u16string_view regText);
// What the hive file holds now, in the same relative form; none when the file
// is missing or holds no hive. A hive still loaded shows what it held at the load.
std::optional<std::u16string> HiveFileText(std::u16string_view path);
// From now on RegLoadKeyW of this file, or RegUnLoadKeyW of the hive at this
// key ("HKEY_USERS\S-1-5-..."), returns status.
void FailHiveLoad(std::u16string_view file, std::int32_t status);
void FailHiveUnload(std::u16string_view keyPath, std::int32_t status);
// The hives loaded now, in the order they were loaded.
struct LoadedHiveFile {
  std::u16string keyPath;  // "HKEY_USERS\S-1-5-21-..."
  std::u16string file;
};
const std::vector<LoadedHiveFile>& LoadedHiveFiles();
// The process token lacks SeBackupPrivilege and SeRestorePrivilege, as a
// token that is not an administrator's: EnableHivePrivileges fails with
// ERROR_NOT_ALL_ASSIGNED.
void TokenWithoutHivePrivileges();
bool HivePrivilegesEnabled();

// Handles opened by the code under test and not yet closed.
std::size_t OpenKeyCount();

// Console title and clock. After a reset the process has a console titled
// kStartingConsoleTitle, SetConsoleTitleW succeeds, and the clock reads
// kStartingTick and stands still until a test moves it.
inline constexpr std::u16string_view kStartingConsoleTitle = u"C:\\Windows\\system32\\cmd.exe";
inline constexpr std::uint64_t kStartingTick = 5'000'000;
void ResetConsoleTitle();
void SetStartingConsoleTitle(std::u16string_view title);
// From now on the process has no console, as one whose output is redirected
// and that has none attached: GetConsoleTitleW and SetConsoleTitleW fail.
void DetachConsole();
// From now on SetConsoleTitleW fails and leaves the title as it is, while
// GetConsoleTitleW still reads it.
void FailSetConsoleTitle();
std::u16string ConsoleTitle();
// Every SetConsoleTitleW call since the reset, refused ones included.
struct TitleSet {
  std::u16string title;
  bool accepted;  // the call's result
};
const std::vector<TitleSet>& ConsoleTitleSets();
// Moves the clock on by milliseconds after each GetTickCount64 from now on
// (0, the start, keeps it still).
void SetClockStep(std::uint64_t milliseconds);
// GetTickCount64 calls since the reset.
std::size_t TickCallCount();

// Console: every message written since the last reset, concatenated, with
// "\n" as written (before the platform's "\r\n").
std::u16string Output();
std::size_t OutputCallCount();
void ClearOutput();

// UTF-16 to UTF-8 for messages in test failures.
std::string Narrow(std::u16string_view text);

}  // namespace memory
