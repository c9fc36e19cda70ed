// Another Windows installation, one that is not running: its folder on a disk
// this system sees (from WinPE or the recovery environment, "D:\Windows"), its
// hive files, its profiles' folders and its control sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hives/profile_list.h"
#include "platform/registry.h"

namespace offline {

// Why a folder cannot be cleaned as another Windows.
enum class FolderCheck {
  Usable,
  NoSystemHive,          // folder\System32\config\SYSTEM is not there
  SystemHiveUnreadable,  // it may be there, but Windows would not open it
  RunningSystem,         // the folder is the running system's own Windows folder
};

struct FolderState {
  FolderCheck check = FolderCheck::Usable;
  std::uint32_t error = 0;  // for SystemHiveUnreadable, what the open answered
};

// Whether folder holds a Windows that is not the one running. Its SYSTEM
// hive is missing when opening it answers ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND; any other error (ERROR_ACCESS_DENIED from a volume
// that BitLocker keeps locked, ERROR_NOT_READY from a drive without its
// medium) is a file that cannot be read, and the state carries the code.
// The running
// system's folder is recognised by the file system's identity of the folder
// (platform::IdentityOfPath), not by its name, so "C:\WINDOWS\.", a second
// drive letter or a junction to it is refused as well. When the running
// system's own folder cannot be identified, every folder is refused: a
// Windows that may be the running one is never cleaned as another.
FolderState CheckFolder(const std::u16string& folder);

// folder\System32\config\<name>: SYSTEM, SOFTWARE, DEFAULT.
std::u16string SystemHiveFile(const std::u16string& folder, const char16_t* name);

// A profile's folder as this system reaches it. The offline list names the
// offline system's own drive ("C:\Users\ann", "%SystemDrive%\Users\ann"),
// which is the folder's drive here: %SystemDrive% and a leading drive letter
// become the folder's drive, %SystemRoot% and %windir% the folder itself.
// Other variables are expanded as this process has them.
std::u16string ProfileFolder(const std::u16string& folder, const hives::Profile& profile);

// The control sets of a SYSTEM hive loaded at root, each by its name
// ("ControlSet001"): the one Select\Current names first, when it is there,
// then every other subkey named ControlSet and three digits, in enumeration
// order. A hive that is not running has no CurrentControlSet link, and
// "last known good" may start from any of them.
std::vector<std::u16string> ControlSets(platform::RegKey root);

// path, a key path that begins "...CurrentControlSet\", with that beginning
// replaced by controlSet ("ControlSet001\Control\Class\{...}").
std::u16string InControlSet(const std::u16string& path, const std::u16string& controlSet);

}  // namespace offline
