// Where a profile's folder is, seen from this system: the running system's
// own profiles as Windows finds them at logon, or another Windows' profiles
// from the disk that Windows is on.
#pragma once

#include <optional>
#include <string>

#include "hives/profile_list.h"

namespace hives {

// What a profile list's folders stand for here. All empty for the running
// system's own list. For another Windows (/offline), what its own names mean
// here: only its system drive can be told, since the Windows folder given is
// on it; another drive letter of that Windows may be any drive here, or none
// (its SYSTEM\MountedDevices names volumes, not the drives of this system).
struct FolderMap {
  std::u16string systemDrive;   // that Windows' system drive here ("D:", or "\\server\share")
  std::u16string systemLetter;  // that Windows' own letter for it ("C:"); empty when unknown
  std::u16string windows;       // its Windows folder here ("D:\Windows"), %SystemRoot% and %windir%
};

// The running system's own list: ProfileImagePath expanded with this
// process's variables (Profile::folder), as the profile service does.
// Another Windows' list: "%SystemDrive%\rest" and "<systemLetter>\rest" are
// "<systemDrive>\rest", "%SystemRoot%\rest" and "%windir%\rest"
// "<windows>\rest" (case ignored). Any other folder, on another drive
// letter, on a share, or named through another variable, gives none: the
// caller reports it, and the profile counts as not cleaned.
std::optional<std::u16string> ProfileFolder(const FolderMap& map, const Profile& profile);

}  // namespace hives
