#include "hives/profile_hives.h"

#include "platform/hives.h"
#include "platform/unique_handle.h"
#include "report/report.h"

namespace hives {
namespace {

constexpr const char16_t* kUsersName = u"HKEY_USERS";

// Whether HKEY_USERS has a key of that name; one that refuses to be read is
// there all the same.
bool UserKeyThere(const std::u16string& name) {
  platform::UniqueRegKey key;
  return platform::RegOpenKeyExW(platform::kUsers, name.c_str(), platform::kKeyRead, key.put()) !=
         platform::kFileNotFound;
}

}  // namespace

std::size_t LoadProfileHives(const std::vector<Profile>& profiles, LoadedHives& hives) {
  std::size_t notLoaded = 0;
  bool privilegesAsked = false;
  for (const Profile& profile : profiles) {
    if (UserKeyThere(profile.sid)) continue;
    const std::u16string userFile = UserHiveFile(profile.folder);
    if (platform::FileStatus(userFile.c_str()) != 0) {
      report::ProfileMissing(profile.sid, userFile);
      continue;
    }
    if (!privilegesAsked) {
      // A token without them fails each load with ERROR_PRIVILEGE_NOT_HELD,
      // which is reported there.
      platform::EnableHivePrivileges();
      privilegesAsked = true;
    }
    std::int32_t status = hives.Load(platform::kUsers, profile.sid, userFile);
    if (status != platform::kSuccess) {
      report::HiveNotLoaded(std::u16string(kUsersName) + u"\\" + profile.sid, userFile, status);
      ++notLoaded;
      continue;
    }
    const std::u16string classesKey = profile.sid + kClassesHiveSuffix;
    const std::u16string classesFile = ClassesHiveFile(profile.folder);
    // A profile that was never logged on to interactively has no classes of its own.
    if (UserKeyThere(classesKey) || platform::FileStatus(classesFile.c_str()) != 0) continue;
    status = hives.Load(platform::kUsers, classesKey, classesFile);
    if (status != platform::kSuccess) {
      report::HiveNotLoaded(std::u16string(kUsersName) + u"\\" + classesKey, classesFile, status);
      ++notLoaded;
    }
  }
  return notLoaded;
}

std::size_t UnloadHives(LoadedHives& hives) {
  const std::vector<UnloadFailure> failures = hives.UnloadAll();
  for (const UnloadFailure& failure : failures) {
    std::u16string key;
    for (const auto& root : platform::kRootTable)
      if (root.key == failure.hive.root) key = root.name;
    report::HiveNotUnloaded(key + u"\\" + failure.hive.subKey, failure.status);
  }
  return failures.size();
}

}  // namespace hives
