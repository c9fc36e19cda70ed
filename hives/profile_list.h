// The profiles a Windows installation knows: the ProfileList key below
// SOFTWARE\Microsoft\Windows NT\CurrentVersion, one subkey per account, named
// by its SID, whose ProfileImagePath names the profile's folder.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace hives {

// The running system's list, below HKEY_LOCAL_MACHINE.
inline constexpr const char16_t* kProfileListPath = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

struct Profile {
  std::u16string sid;        // the subkey's name
  std::u16string imagePath;  // ProfileImagePath as stored ("%SystemDrive%\Users\ann")
  std::u16string folder;     // the same with this process's environment variables expanded
};

// Every subkey of root\listPath whose ProfileImagePath is a string (REG_SZ or
// REG_EXPAND_SZ; a REG_SZ is expanded too, as Windows' own profile service
// does), in enumeration order. A subkey that cannot be read, or whose value is
// missing, empty or of another type, is left out; so is the whole list when
// root\listPath cannot be opened. The expansion uses this process's
// variables: for another installation's list (a hive loaded from its disk),
// folder names the drive as this system sees it, which the caller maps.
std::vector<Profile> ReadProfileList(platform::RegKey root, const char16_t* listPath);

// The profile's hive files, as Windows loads them at logon: its own NTUSER.DAT
// at HKEY_USERS\<SID>, and its classes, AppData\Local\Microsoft\Windows\UsrClass.dat,
// at HKEY_USERS\<SID>_Classes.
std::u16string UserHiveFile(const std::u16string& folder);
std::u16string ClassesHiveFile(const std::u16string& folder);
inline constexpr const char16_t* kClassesHiveSuffix = u"_Classes";

}  // namespace hives
