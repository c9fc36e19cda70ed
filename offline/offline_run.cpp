#include "offline/offline_run.h"

#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "backup/undo_file.h"
#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
#include "hives/loaded_hives.h"
#include "hives/profile_hives.h"
#include "hives/profile_list.h"
#include "offline/offline_windows.h"
#include "platform/hives.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"
#include "preview/run_preview.h"
#include "report/outcome.h"
#include "report/progress.h"
#include "report/report.h"
#include "run/tables.h"
#include "sweep/registry_sweep.h"

namespace offline {
namespace {

using platform::RegKey;

constexpr const char16_t* kLoadPrefix = u"KorvexOffline_";
constexpr const char16_t* kMachineName = u"HKEY_LOCAL_MACHINE";
constexpr const char16_t* kSystemHives[] = {u"SYSTEM", u"SOFTWARE", u"DEFAULT"};

// The Services key of a control set, from the running system's path.
std::u16string ServicesIn(const std::u16string& controlSet) { return InControlSet(run::ServicesKeyPath, controlSet); }

// A name below HKEY_LOCAL_MACHINE that no key has: the label after the prefix,
// or with a number after it when another key (a hive an earlier run left, or
// someone's own) has that name.
std::u16string FreeName(const std::u16string& label) {
  const std::u16string name = kLoadPrefix + label;
  for (std::int32_t n = 1; n < 1000; ++n) {
    std::u16string each = n == 1 ? name : name + u"_" + platform::Decimal(n);
    platform::UniqueRegKey key;
    if (platform::RegOpenKeyExW(platform::kLocalMachine, each.c_str(), platform::kKeyRead, key.put()) ==
        platform::kFileNotFound)
      return each;
  }
  return {};
}

// Loads file under a free name; a failure is reported. True when it loaded.
bool LoadHive(hives::LoadedHives& loaded, const std::u16string& label, const std::u16string& file) {
  const std::u16string name = FreeName(label);
  const std::int32_t status = name.empty() ? platform::kAlreadyExists
                                           : loaded.Load(platform::kLocalMachine, name, file);
  if (status == platform::kSuccess) return true;
  report::HiveNotLoaded(std::u16string(kMachineName) + u"\\" + (name.empty() ? kLoadPrefix + label : name), file,
                        status);
  return false;
}

// The subkey below HKEY_LOCAL_MACHINE the hive of file was loaded at; none
// when it was not loaded.
std::optional<std::u16string> LoadedAt(const hives::LoadedHives& loaded, const std::u16string& file) {
  for (const hives::LoadedHive& hive : loaded.Hives())
    if (hive.file == file) return hive.subKey;
  return std::nullopt;
}

void LoadProfiles(const std::u16string& folder, const std::u16string& software, hives::LoadedHives& loaded) {
  const std::u16string listPath = software + u"\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  for (const hives::Profile& profile : hives::ReadProfileList(platform::kLocalMachine, listPath.c_str())) {
    const std::u16string profileFolder = ProfileFolder(folder, profile);
    const std::u16string userFile = hives::UserHiveFile(profileFolder);
    // A stale entry, common on old machines, holds nothing to clean.
    if (platform::FileStatus(userFile.c_str()) != 0) {
      report::ProfileMissing(profile.sid, userFile);
      continue;
    }
    if (!LoadHive(loaded, profile.sid, userFile)) continue;
    // A profile never logged on to interactively has no classes of its own.
    const std::u16string classesFile = hives::ClassesHiveFile(profileFolder);
    if (platform::FileStatus(classesFile.c_str()) == 0)
      LoadHive(loaded, profile.sid + hives::kClassesHiveSuffix, classesFile);
  }
}

// Every hive of the offline Windows that loads, SYSTEM first.
void LoadAll(const std::u16string& folder, hives::LoadedHives& loaded) {
  // Without the privileges every load fails with ERROR_PRIVILEGE_NOT_HELD,
  // which is reported there.
  platform::EnableHivePrivileges();
  for (const char16_t* name : kSystemHives) {
    const std::u16string file = SystemHiveFile(folder, name);
    // SYSTEM is there (offline::CheckFolder); another that is missing holds
    // nothing to clean.
    if (platform::FileStatus(file.c_str()) != 0) report::HiveMissing(file);
    else LoadHive(loaded, name, file);
  }
  if (const auto software = LoadedAt(loaded, SystemHiveFile(folder, u"SOFTWARE")))
    LoadProfiles(folder, *software, loaded);
}

void SaveImportNote(const hives::LoadedHives& loaded) {
  std::vector<std::pair<std::u16string, std::u16string>> named;
  for (const hives::LoadedHive& hive : loaded.Hives())
    named.emplace_back(std::u16string(kMachineName) + u"\\" + hive.subKey, hive.file);
  backup::SaveHiveNote(named);
}

// Each loaded hive's own key, opened, named by its file.
struct HiveRoots {
  std::vector<platform::UniqueRegKey> keys;
  std::vector<platform::RootRow> rows;
  std::optional<std::size_t> system;  // the row of the SYSTEM hive
};

HiveRoots OpenRoots(const hives::LoadedHives& loaded, const std::u16string& systemFile) {
  HiveRoots roots;
  for (const hives::LoadedHive& hive : loaded.Hives()) {
    platform::UniqueRegKey key;
    if (platform::RegOpenKeyExW(platform::kLocalMachine, hive.subKey.c_str(), platform::kKeyRead, key.put()) !=
        platform::kSuccess) {
      report::NoteFailure();
      continue;
    }
    if (hive.file == systemFile) roots.system = roots.rows.size();
    roots.rows.push_back({key.get(), hive.file.c_str()});
    roots.keys.push_back(std::move(key));
  }
  return roots;
}

void CleanControlSet(RegKey system, const char16_t* place, const std::u16string& controlSet) {
  const std::u16string services = ServicesIn(controlSet);
  driverreg::RemoveServiceKeys(services.c_str(), run::ServiceTable, std::size(run::ServiceTable), system, place);
  driverreg::RemoveServiceKeys(services.c_str(), run::ServiceKeyTable, std::size(run::ServiceKeyTable), system,
                               place);
  for (const run::ClassFilterRow& row : run::ClassFilterTable)
    driverreg::RemoveUpperFilter(InControlSet(row.classKey, controlSet).c_str(), row.filters, std::size(row.filters),
                                 system, place);
}

std::size_t PreviewControlSet(RegKey system, const char16_t* place, const std::u16string& controlSet,
                              preview::Listed& listed) {
  const std::u16string services = ServicesIn(controlSet);
  // With no service manager to finish their removal, keys marked for
  // deletion are found like any other.
  const preview::Listing serviceKeys = preview::PreviewServiceKeys(
      services.c_str(), run::ServiceTable, std::size(run::ServiceTable), listed, system, place);
  const preview::Listing driverKeys = preview::PreviewServiceKeys(
      services.c_str(), run::ServiceKeyTable, std::size(run::ServiceKeyTable), listed, system, place);
  std::size_t found = serviceKeys.found + serviceKeys.pending + driverKeys.found + driverKeys.pending;
  for (const run::ClassFilterRow& row : run::ClassFilterTable)
    found += preview::PreviewUpperFilters(InControlSet(row.classKey, controlSet).c_str(), row.filters,
                                          std::size(row.filters), system, place);
  return found;
}

// The hives loaded, what acts on them, and every hive unloaded, whatever
// the phases did, an exception among it (hives::UnloadAfter); the roots'
// handles are closed first, since a handle open inside a hive keeps it loaded.
template <typename Phases>
void WithHives(const std::u16string& folder, bool noted, const Phases& phases) {
  hives::LoadedHives loaded;
  LoadAll(folder, loaded);
  if (noted) SaveImportNote(loaded);
  hives::UnloadAfter(loaded, [&] {
    HiveRoots roots = OpenRoots(loaded, SystemHiveFile(folder, u"SYSTEM"));
    phases(roots);
  });
}

}  // namespace

void OfflineCleaningRun(const std::u16string& folder) {
  WithHives(folder, true, [](HiveRoots& roots) {
    if (roots.system) {
      const platform::RootRow& system = roots.rows[*roots.system];
      for (const std::u16string& controlSet : ControlSets(system.key))
        CleanControlSet(system.key, system.name, controlSet);
    }
    report::BeginSweepProgress();
    sweep::SweepRegistry(run::SweepTable, std::size(run::SweepTable), roots.rows.data(), roots.rows.size(),
                         run::WholeKeyMarkerTable, {/*placeNames=*/true, /*neverThroughLinks=*/true});
    report::EndSweepProgress();
  });
}

bool OfflineScanRun(const std::u16string& folder) {
  std::size_t found = 0;
  WithHives(folder, false, [&found](HiveRoots& roots) {
    preview::Listed listed;
    if (roots.system) {
      const platform::RootRow& system = roots.rows[*roots.system];
      for (const std::u16string& controlSet : ControlSets(system.key))
        found += PreviewControlSet(system.key, system.name, controlSet, listed);
    }
    report::BeginSweepProgress();
    found += preview::PreviewSweep(run::SweepTable, std::size(run::SweepTable), roots.rows.data(), roots.rows.size(),
                                   run::WholeKeyMarkerTable, listed,
                                   {/*placeNames=*/true, /*neverThroughLinks=*/true});
    report::EndSweepProgress();
  });
  return found != 0 || report::Outcome().failed;
}

}  // namespace offline
