// Hive files loaded into the registry and unloaded again, as Windows does with
// a user's NTUSER.DAT at logon: the calls, the privileges they need, and the
// question whether a file is there at all.
#pragma once

#include <cstdint>

#include "platform/registry.h"

namespace platform {

// Status codes the hive calls return besides the registry's own.
constexpr std::int32_t kPathNotFound = 3;
constexpr std::int32_t kSharingViolation = 32;
constexpr std::int32_t kAlreadyExists = 183;
constexpr std::int32_t kBadDb = 1009;
constexpr std::int32_t kNotRegistryFile = 1017;
constexpr std::int32_t kNotAllAssigned = 1300;
constexpr std::int32_t kPrivilegeNotHeld = 1314;

// RegLoadKeyW(root, subKey, file): the hive in file attached as the key
// subKey (one key name) directly below root, kLocalMachine or kUsers. 0, or:
// ERROR_PRIVILEGE_NOT_HELD without SeBackupPrivilege and SeRestorePrivilege
// enabled (EnableHivePrivileges); ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
// for a file or folder that is missing; ERROR_SHARING_VIOLATION for a file
// another process holds open, a logged-on user's NTUSER.DAT among them, or one
// loaded already (Wine loads such a file a second time); ERROR_ALREADY_EXISTS
// for a subKey that exists (Wine's answer); ERROR_BADDB or
// ERROR_NOT_REGISTRY_FILE (Wine's) for a file that holds no hive.
std::int32_t RegLoadKeyW(RegKey root, const char16_t* subKey, const char16_t* file);

// RegUnLoadKeyW(root, subKey): the hive loaded at root\subKey detached. Windows
// writes what changed in it to its file; Wine never does. 0, or
// ERROR_ACCESS_DENIED while a handle to a key inside it is open (Wine unloads
// it anyway), ERROR_FILE_NOT_FOUND when no key of that name is there, and
// ERROR_PRIVILEGE_NOT_HELD without the privileges.
std::int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey);

// SeBackupPrivilege and SeRestorePrivilege enabled in the process's own token
// (OpenProcessToken, LookupPrivilegeValueW, AdjustTokenPrivileges): 0, or
// ERROR_NOT_ALL_ASSIGNED when the token holds only one of them or neither (an
// account that is not an administrator), or the error of the call that failed.
std::uint32_t EnableHivePrivileges();

// GetFileAttributesW: 0 when a file or folder is at path, otherwise its error,
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when a folder on the way is
// missing. Tells a profile that is gone from a hive that will not load.
std::uint32_t FileStatus(const char16_t* path);

}  // namespace platform
