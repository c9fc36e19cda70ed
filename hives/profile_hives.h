// The hives of the profiles whose users are not logged on, loaded for a run
// that cleans every user (/allusers) and unloaded when it is done.
#pragma once

#include <cstddef>
#include <vector>

#include "hives/loaded_hives.h"
#include "hives/profile_list.h"

namespace hives {

// For each profile whose key HKEY_USERS\<SID> is not there (a logged-on user's
// is, and a service account's), in list order: NTUSER.DAT at HKEY_USERS\<SID>,
// then, when it loaded and the profile has one, UsrClass.dat at
// HKEY_USERS\<SID>_Classes, unless a key of that name is there. Both are owned
// by hives from then on. SeBackupPrivilege and SeRestorePrivilege are enabled
// in the process's own token before the first load; nothing is enabled when
// no profile needs it.
//
// An entry named "<SID>.bak", the backup Windows keeps of a profile's entry
// and never loads at logon, is one line of the log
// (report::ProfileBackupEntry) and nothing else. A profile whose NTUSER.DAT
// (or folder) is missing, a stale entry, is one
// line of the log (report::ProfileMissing) and nothing else. A hive file that
// is there but does not load (in use, not a hive, refused; also every load
// when the privileges could not be enabled) is reported with the load's code
// (report::HiveNotLoaded), which makes the run's exit code 1603: that user's
// entries may remain. Returns how many hives did not load.
std::size_t LoadProfileHives(const std::vector<Profile>& profiles, LoadedHives& hives);

// UnloadAll, each hive that would not unload reported (report::HiveNotUnloaded),
// which makes the exit code 1603. Returns how many did not unload.
std::size_t UnloadHives(LoadedHives& hives);

// work(), then UnloadHives. An exception out of work ends the process, but not
// before the hives are unloaded: caught here, so that the stack up to here is
// unwound (a handle open inside a hive keeps it loaded) and the unload made,
// then thrown on; otherwise Windows would keep them loaded until the next
// restart, and their users could not log on. Returns UnloadHives' count.
template <typename Work>
std::size_t UnloadAfter(LoadedHives& hives, const Work& work) {
  try {
    work();
  } catch (...) {
    UnloadHives(hives);
    throw;
  }
  return UnloadHives(hives);
}

}  // namespace hives
