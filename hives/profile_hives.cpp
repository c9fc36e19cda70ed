#include "hives/profile_hives.h"

#include <optional>
#include <string_view>

#include "platform/files.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"
#include "text/text_matching.h"

namespace hives {
namespace {

constexpr std::int32_t kMostNames = 999;

bool BackupEntry(const std::u16string& name) {
  constexpr std::u16string_view suffix = u".bak";
  return name.size() > suffix.size() &&
         text::EqualsNoCase(name.substr(name.size() - suffix.size()).c_str(), std::u16string(suffix).c_str());
}

// Whether root has a key of that name; one that refuses to be read is there
// all the same.
bool KeyThere(platform::RegKey root, const std::u16string& name) {
  platform::UniqueRegKey key;
  return platform::RegOpenKeyExW(root, name.c_str(), platform::kKeyRead, key.put()) != platform::kFileNotFound;
}

// The name reg.exe and the reports give a root ("HKLM", "HKEY_USERS").
std::u16string ShortRootName(platform::RegKey root) {
  if (root == platform::kLocalMachine) return u"HKLM";
  if (root == platform::kUsers) return u"HKU";
  return {};
}

std::u16string RootName(platform::RegKey root) {
  for (const auto& row : platform::kRootTable)
    if (row.key == root) return row.name;
  return {};
}

// A hive file judged so far, with the entry it came from.
struct SeenHive {
  platform::FileIdentity identity;
  std::u16string sid;
};

}  // namespace

ProfileSelection SelectProfiles(const ProfileSource& source) {
  ProfileSelection selection;
  std::vector<SeenHive> seen;
  for (const Profile& profile : ReadProfileList(source.listRoot, source.listPath.c_str())) {
    if (BackupEntry(profile.sid)) {
      report::ProfileBackupEntry(profile.sid);
      continue;
    }
    const bool loggedOn = source.loggedOnUsers && KeyThere(source.hiveRoot, source.prefix + profile.sid);
    const std::optional<std::u16string> folder = ProfileFolder(source.folders, profile);
    if (!folder) {
      report::ProfileNotReached(profile.sid, profile.imagePath);
      ++selection.notReached;
      continue;
    }
    const std::u16string userFile = UserHiveFile(*folder);
    if (!loggedOn && platform::FileStatus(userFile.c_str()) != 0) {
      report::ProfileMissing(profile.sid, userFile);
      continue;
    }
    platform::FileIdentity identity{};
    if (platform::IdentityOfPath(userFile.c_str(), &identity) == 0) {
      const SeenHive* first = nullptr;
      for (const SeenHive& hive : seen)
        if (platform::SameFile(hive.identity, identity)) first = &hive;
      if (first) {
        report::ProfileSameHive(profile.sid, userFile, first->sid);
        continue;
      }
      seen.push_back({identity, profile.sid});
    }
    if (loggedOn) continue;
    const std::u16string classesFile = ClassesHiveFile(*folder);
    selection.profiles.push_back(
        {profile.sid, userFile, platform::FileStatus(classesFile.c_str()) == 0 ? classesFile : std::u16string()});
  }
  return selection;
}

std::u16string FreeKeyName(platform::RegKey root, const std::u16string& base, std::vector<std::u16string>* taken) {
  for (std::int32_t n = 1; n <= kMostNames; ++n) {
    std::u16string each = n == 1 ? base : base + u"_" + platform::Decimal(n);
    if (!KeyThere(root, each)) return each;
    if (taken) taken->push_back(ShortRootName(root) + u"\\" + each);
  }
  return {};
}

bool LoadUnderFreeName(LoadedHives& loaded, platform::RegKey root, const std::u16string& prefix,
                       const std::u16string& label, const std::u16string& file, std::vector<std::u16string>* taken) {
  std::vector<std::u16string> passed;
  const std::u16string name = FreeKeyName(root, prefix + label, &passed);
  const std::int32_t status = name.empty() ? platform::kAlreadyExists : loaded.Load(root, name, file);
  if (taken) *taken = passed;
  if (status == platform::kSuccess) return true;
  report::HiveNotLoaded(RootName(root) + u"\\" + (name.empty() ? prefix + label : name), file, status);
  report::EarlierHivesThere(passed);
  return false;
}

std::size_t LoadProfile(const ProfileSource& source, const ProfileHives& profile, LoadedHives& loaded) {
  std::size_t notLoaded = 0;
  const std::u16string classesLabel = profile.sid + kClassesHiveSuffix;
  if (!source.loggedOnUsers) {
    if (!LoadUnderFreeName(loaded, source.hiveRoot, source.prefix, profile.sid, profile.userFile)) return 1;
    if (!profile.classesFile.empty() &&
        !LoadUnderFreeName(loaded, source.hiveRoot, source.prefix, classesLabel, profile.classesFile))
      ++notLoaded;
    return notLoaded;
  }
  const std::u16string root = RootName(source.hiveRoot) + u"\\";
  const std::u16string userKey = source.prefix + profile.sid;
  if (KeyThere(source.hiveRoot, userKey)) return 0;
  std::int32_t status = loaded.Load(source.hiveRoot, userKey, profile.userFile);
  if (status != platform::kSuccess) {
    report::HiveNotLoaded(root + userKey, profile.userFile, status);
    return 1;
  }
  const std::u16string classesKey = source.prefix + classesLabel;
  if (profile.classesFile.empty() || KeyThere(source.hiveRoot, classesKey)) return 0;
  status = loaded.Load(source.hiveRoot, classesKey, profile.classesFile);
  if (status == platform::kSuccess) return 0;
  report::HiveNotLoaded(root + classesKey, profile.classesFile, status);
  return 1;
}

std::size_t UnloadHives(LoadedHives& hives) {
  const std::vector<UnloadFailure> failures = hives.UnloadAll();
  for (const UnloadFailure& failure : failures)
    report::HiveNotUnloaded(RootName(failure.hive.root) + u"\\" + failure.hive.subKey, failure.status);
  return failures.size();
}

}  // namespace hives
