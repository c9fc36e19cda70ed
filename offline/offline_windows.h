// Another Windows installation, one that is not running: its folder on a disk
// this system sees (from WinPE or the recovery environment, "D:\Windows"), its
// hive files, its drives and its control sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// The drive of a folder ("D:"), or the share of a UNC one ("\\server\share");
// empty for a folder without either.
std::u16string DriveOf(const std::u16string& folder);

// That Windows' own letter of its system drive ("C:"), from the SystemRoot
// value of Microsoft\Windows NT\CurrentVersion in its SOFTWARE hive, loaded
// at HKEY_LOCAL_MACHINE\software; empty when that value is missing or names
// no drive letter.
std::u16string SystemDriveLetter(const std::u16string& software);

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
