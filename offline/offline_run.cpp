#include "offline/offline_run.h"

#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "backup/undo_file.h"
#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
#include "hives/hive_sweep.h"
#include "hives/loaded_hives.h"
#include "hives/profile_hives.h"
#include "hives/profile_list.h"
#include "offline/offline_windows.h"
#include "platform/hives.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"
#include "preview/run_preview.h"
#include "product/tables.h"
#include "report/outcome.h"
#include "report/progress.h"
#include "report/report.h"
#include "sweep/registry_sweep.h"

namespace offline {
namespace {

using platform::RegKey;

constexpr const char16_t* kLoadPrefix = u"KorvexOffline_";
constexpr const char16_t* kSystemHives[] = {u"SYSTEM", u"SOFTWARE", u"DEFAULT"};

// The Services key of a control set, from the running system's path.
std::u16string ServicesIn(const std::u16string& controlSet) {
  return InControlSet(product::ServicesKeyPath, controlSet);
}

// The subkey below HKEY_LOCAL_MACHINE the hive of file was loaded at; none
// when it was not loaded.
std::optional<std::u16string> LoadedAt(const hives::LoadedHives& loaded, const std::u16string& file) {
  for (const hives::LoadedHive& hive : loaded.Hives())
    if (hive.file == file) return hive.subKey;
  return std::nullopt;
}

// That Windows' profiles, through the one profile loader: its list in the
// loaded SOFTWARE, its folders mapped to this system's drives
// (hives/profile_folder.h), its hives under KorvexOffline_<SID> and
// KorvexOffline_<SID>_Classes.
hives::ProfileSource ProfilesOf(const std::u16string& folder, const std::u16string& software) {
  const std::u16string listPath = software + u"\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  return {platform::kLocalMachine,
          listPath,
          {DriveOf(folder), SystemDriveLetter(software), folder},
          platform::kLocalMachine,
          kLoadPrefix};
}

// Every hive of the offline Windows that loads, SYSTEM first, and the
// profiles' all held for the run: nobody logs on to a Windows that is not
// running. Nothing is loaded at all when SYSTEM does not load: the run is
// refused.
bool LoadAll(const std::u16string& folder, hives::LoadedHives& loaded) {
  // Without the privileges every load fails with ERROR_PRIVILEGE_NOT_HELD,
  // which is reported there.
  platform::EnableHivePrivileges();
  for (const char16_t* name : kSystemHives) {
    const std::u16string file = SystemHiveFile(folder, name);
    // SYSTEM is there (offline::CheckFolder); another that is missing holds
    // nothing to clean.
    if (platform::FileStatus(file.c_str()) != 0) {
      report::HiveMissing(file);
      continue;
    }
    std::vector<std::u16string> taken;
    if (!hives::LoadUnderFreeName(loaded, platform::kLocalMachine, kLoadPrefix, name, file, &taken) &&
        name == kSystemHives[0]) {
      report::OfflineSystemNotLoaded(folder, taken);
      return false;
    }
  }
  if (const auto software = LoadedAt(loaded, SystemHiveFile(folder, u"SOFTWARE"))) {
    const hives::ProfileSource source = ProfilesOf(folder, *software);
    const hives::ProfileSelection selection = hives::SelectProfiles(source);
    for (const hives::ProfileHives& profile : selection.profiles) hives::LoadProfile(source, profile, loaded);
  }
  return true;
}

void SaveImportNote(const hives::LoadedHives& loaded) {
  std::vector<std::pair<std::u16string, std::u16string>> named;
  for (const hives::LoadedHive& hive : loaded.Hives())
    named.emplace_back(u"HKEY_LOCAL_MACHINE\\" + hive.subKey, hive.file);
  backup::SaveHiveNote(named);
}

// The row of the SYSTEM hive among the roots; none when it did not open.
std::optional<std::size_t> SystemRow(const hives::HiveRoots& roots, const std::u16string& systemFile) {
  for (std::size_t i = 0; i < roots.names.size(); ++i)
    if (roots.names[i] == systemFile) return i;
  return std::nullopt;
}

void CleanControlSet(RegKey system, const char16_t* place, const std::u16string& controlSet,
                     const std::u16string& folder) {
  const std::u16string services = ServicesIn(controlSet);
  driverreg::RemoveServiceKeys(services.c_str(), product::ServiceTable, std::size(product::ServiceTable), system,
                               place);
  driverreg::RemoveServiceKeys(services.c_str(), product::ServiceKeyTable, std::size(product::ServiceKeyTable),
                               system, place);
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    driverreg::RemoveUpperFilter(InControlSet(row.classKey, controlSet).c_str(), row.filters, std::size(row.filters),
                                 system, place, folder.c_str());
}

std::size_t PreviewControlSet(RegKey system, const char16_t* place, const std::u16string& controlSet,
                              preview::Listed& listed) {
  const std::u16string services = ServicesIn(controlSet);
  // With no service manager to finish their removal, keys marked for
  // deletion are found like any other.
  const preview::Listing serviceKeys = preview::PreviewServiceKeys(
      services.c_str(), product::ServiceTable, std::size(product::ServiceTable), listed, system, place);
  const preview::Listing driverKeys = preview::PreviewServiceKeys(
      services.c_str(), product::ServiceKeyTable, std::size(product::ServiceKeyTable), listed, system, place);
  std::size_t found = serviceKeys.found + serviceKeys.pending + driverKeys.found + driverKeys.pending;
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    found += preview::PreviewUpperFilters(InControlSet(row.classKey, controlSet).c_str(), row.filters,
                                          std::size(row.filters), system, place);
  return found;
}

// The hives loaded, what acts on them, and every hive unloaded, whatever
// the phases did, an exception among it (hives::UnloadAfter); the roots'
// handles are closed first, since a handle open inside a hive keeps it
// loaded. False, with nothing loaded, when SYSTEM did not load.
template <typename Phases>
bool WithHives(const std::u16string& folder, bool noted, const Phases& phases) {
  hives::LoadedHives loaded;
  if (!LoadAll(folder, loaded)) return false;
  if (noted) SaveImportNote(loaded);
  hives::UnloadAfter(loaded, [&] {
    const hives::HiveRoots roots = hives::OpenHiveRoots(loaded, hives::HiveNames::ByFile);
    phases(roots, SystemRow(roots, SystemHiveFile(folder, u"SYSTEM")));
  });
  return true;
}

}  // namespace

void OfflineCleaningRun(const std::u16string& folder) {
  WithHives(folder, true, [&folder](const hives::HiveRoots& roots, std::optional<std::size_t> systemRow) {
    if (systemRow) {
      const platform::RootRow& system = roots.rows[*systemRow];
      for (const std::u16string& controlSet : ControlSets(system.key))
        CleanControlSet(system.key, system.name, controlSet, folder);
    }
    report::BeginSweepProgress();
    hives::SweepHives(roots);
    report::EndSweepProgress();
  });
}

bool OfflineScanRun(const std::u16string& folder) {
  std::size_t found = 0;
  WithHives(folder, false, [&found](const hives::HiveRoots& roots, std::optional<std::size_t> systemRow) {
    preview::Listed listed;
    if (systemRow) {
      const platform::RootRow& system = roots.rows[*systemRow];
      for (const std::u16string& controlSet : ControlSets(system.key))
        found += PreviewControlSet(system.key, system.name, controlSet, listed);
    }
    report::BeginSweepProgress();
    found += hives::PreviewHives(roots, listed);
    report::EndSweepProgress();
  });
  return found != 0 || report::Outcome().failed;
}

}  // namespace offline
