// The one loader of profile hives, for a run that cleans every user of the
// running system (/allusers) and for one that cleans another Windows
// (/offline): the profile list read, each entry judged, each profile's hives
// loaded under the names the caller's record gives and unloaded again. The
// two runs differ only by that record (ProfileSource), so a rule about which
// entries load is written once, here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hives/loaded_hives.h"
#include "hives/profile_folder.h"
#include "hives/profile_list.h"
#include "platform/console.h"
#include "platform/hives.h"
#include "platform/registry.h"
#include "report/report.h"

namespace hives {

// What differs between the callers.
struct ProfileSource {
  platform::RegKey listRoot;  // the profile list: listRoot\listPath
  std::u16string listPath;
  FolderMap folders;          // all empty for the running system (hives/profile_folder.h)
  platform::RegKey hiveRoot;  // the hives load below it: platform::kUsers or kLocalMachine
  std::u16string prefix;      // before each hive key's name: u"" or u"KorvexOffline_"
  // The running system's HKEY_USERS, where a key named by the SID is its
  // user's, loaded at logon: such a profile is never loaded again, and its
  // hives load under exactly the SID's names. Otherwise a name already taken
  // makes the load take the next free one (FreeKeyName).
  bool loggedOnUsers = false;
};

// One profile to load: its SID and its hive files (UserHiveFile,
// ClassesHiveFile of its folder as this system reaches it).
struct ProfileHives {
  std::u16string sid;
  std::u16string userFile;
  std::u16string classesFile;
};

struct ProfileSelection {
  std::vector<ProfileHives> profiles;  // to load, in list order
  std::size_t notReached = 0;          // reported, and failures of the run
};

// Every entry of the list (ReadProfileList), judged in list order:
// - "<SID>.bak", the backup Windows keeps of a profile's entry when it could
//   not load the profile and never loads at logon (its folder is most often
//   the profile's own): one line of the log (report::ProfileBackupEntry).
// - loggedOnUsers and hiveRoot\<SID> there: its user's logged on (or a
//   service account's): passed over silently.
// - a folder that cannot be told here (ProfileFolder gives none): reported
//   (report::ProfileNotReached), a failure; counted in notReached.
// - NTUSER.DAT (or the folder) missing, a stale entry: one line of the log
//   (report::ProfileMissing).
// - NTUSER.DAT the same file as an earlier entry's, by the file system's
//   identity (platform::IdentityOfPath), not by name, a logged-on user's
//   among them: one line of the log (report::ProfileSameHive); loading it
//   again would fail with a sharing violation on Windows and list every entry
//   twice under Wine.
// Every other entry is selected, with UsrClass.dat when its file is there
// (a profile never logged on to interactively has none).
ProfileSelection SelectProfiles(const ProfileSource& source);

// A name below root that no key has: base, or base and "_2", "_3", ... when
// a key (a hive an earlier run left, or someone's own) has it. Empty after
// 999 names. The names passed over are added to taken, as reg.exe writes
// them ("HKLM\base").
std::u16string FreeKeyName(platform::RegKey root, const std::u16string& base, std::vector<std::u16string>* taken);

// Loads file into loaded below root under FreeKeyName(prefix + label). A
// failure is reported (report::HiveNotLoaded), and when names were passed
// over, which of them to unload first (report::EarlierHivesThere); taken
// gets those names. True when it loaded.
bool LoadUnderFreeName(LoadedHives& loaded, platform::RegKey root, const std::u16string& prefix,
                       const std::u16string& label, const std::u16string& file,
                       std::vector<std::u16string>* taken = nullptr);

// Loads one selected profile's hives into loaded: NTUSER.DAT, then, when it
// loaded and the profile has one, UsrClass.dat. With loggedOnUsers they load
// at hiveRoot\<SID> and hiveRoot\<SID>_Classes, each checked again just
// before its load: a key there now is its user's, who logged on since the
// list was read, and is passed over. Otherwise under prefix and the same
// names, made free (LoadUnderFreeName). The privileges must be enabled
// (platform::EnableHivePrivileges): without them each load fails with
// ERROR_PRIVILEGE_NOT_HELD, which is reported. A hive that does not load is
// reported (report::HiveNotLoaded) and makes the run fail: that user's
// entries may remain. Returns how many did not load.
std::size_t LoadProfile(const ProfileSource& source, const ProfileHives& profile, LoadedHives& loaded);

// UnloadAll, each hive that would not unload reported (report::HiveNotUnloaded),
// which makes the exit code 1603. Returns how many did not unload.
std::size_t UnloadHives(LoadedHives& hives);

// work(), then UnloadHives. An exception out of work ends the process, but not
// before the hives are unloaded: caught here, while hives is alive and before
// anything of the stack above is unwound, the unload made, then thrown on
// (main also catches, and unloads what an owner could not:
// hives::UnloadLeftHives). A handle open inside a hive keeps it loaded, so
// work closes its own before it returns or throws. Returns UnloadHives' count.
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

// For each selected profile in turn, one at a time: LoadProfile, work(hives)
// on what loaded, UnloadHives (through UnloadAfter), and a line of the log
// with how long the load, the work and the unload took
// (report::ProfileHeld). So each profile is held for its own work alone,
// not while another's is done. The privileges are enabled before the first
// load, and not at all when no profile is selected. Returns how many hives
// did not load or unload, and the selection's notReached.
template <typename Work>
std::size_t WithEachProfile(const ProfileSource& source, const ProfileSelection& selection, const Work& work) {
  std::size_t failed = selection.notReached;
  // Without them every load fails with ERROR_PRIVILEGE_NOT_HELD, which is
  // reported there.
  if (!selection.profiles.empty()) platform::EnableHivePrivileges();
  for (const ProfileHives& profile : selection.profiles) {
    const std::uint64_t start = platform::GetTickCount64();
    LoadedHives loaded;
    failed += LoadProfile(source, profile, loaded);
    if (loaded.Hives().empty()) continue;
    const std::uint64_t loadedAt = platform::GetTickCount64();
    std::uint64_t workedAt = loadedAt;
    failed += UnloadAfter(loaded, [&] {
      work(loaded);
      workedAt = platform::GetTickCount64();
    });
    report::ProfileHeld(profile.sid, loadedAt - start, workedAt - loadedAt, platform::GetTickCount64() - workedAt);
  }
  return failed;
}

}  // namespace hives
