#include "run/cleaning_run.h"

#include <iterator>

#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
#include "hives/hive_sweep.h"
#include "hives/profile_hives.h"
#include "preview/run_preview.h"
#include "product/tables.h"
#include "report/outcome.h"
#include "report/progress.h"
#include "restart/restart_prompt.h"
#include "services/service_removal.h"
#include "sweep/registry_sweep.h"

namespace run {
namespace {

void EndWithRestart(RestartPolicy policy) {
  switch (policy) {
    case RestartPolicy::AskAlways:
      restart::OfferRestart();
      break;
    case RestartPolicy::AskWhenNeeded:
      if (report::Outcome().restartNeeded) restart::OfferRestart();
      break;
    case RestartPolicy::Never:
      break;
    case RestartPolicy::Force:
      restart::RequestRestart();
      break;
  }
}

// The running system's profiles, for /allusers: their list below
// HKEY_LOCAL_MACHINE, their hives at HKEY_USERS\<SID> and <SID>_Classes, the
// users logged on passed over.
hives::ProfileSource AllUsers() {
  hives::ProfileSource source{platform::kLocalMachine, hives::kProfileListPath, {}, platform::kUsers, u""};
  source.loggedOnUsers = true;
  return source;
}

// With allUsers, after the sweep of the five roots: each profile whose user is
// not logged on loaded, swept (or listed) by the sweep of loaded hives, its
// keys named as a sweep of all HKEY_USERS names them, and unloaded again
// before the next (hives::WithEachProfile). Returns how many hives did not
// load or unload, and the profiles that could not be reached.
template <typename Sweep>
std::size_t ForEachProfile(bool allUsers, const Sweep& sweep) {
  if (!allUsers) return 0;
  const hives::ProfileSource source = AllUsers();
  return hives::WithEachProfile(source, hives::SelectProfiles(source), [&](const hives::LoadedHives& loaded) {
    const hives::HiveRoots roots = hives::OpenHiveRoots(loaded, hives::HiveNames::ByKey);
    sweep(roots);
  });
}

}  // namespace

void CleaningRun(RestartPolicy policy, bool allUsers) {
  for (const char16_t* service : product::ServiceTable) {
    services::StopService(service);
    services::DeleteServiceByName(service, product::ServicesKeyPath);
  }
  driverreg::RemoveServiceKeys(product::ServicesKeyPath, product::ServiceKeyTable,
                               std::size(product::ServiceKeyTable));
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  report::BeginSweepProgress();
  sweep::SweepRegistry(product::SweepTable, std::size(product::SweepTable), product::RootTable,
                       std::size(product::RootTable), product::WholeKeyMarkerTable);
  ForEachProfile(allUsers, [](const hives::HiveRoots& roots) { hives::SweepHives(roots); });
  report::EndSweepProgress();
  EndWithRestart(policy);
}

ScanCount ScanRun(bool allUsers) {
  const preview::Listing services = preview::PreviewServices(product::ServicesKeyPath, product::ServiceTable,
                                                             std::size(product::ServiceTable));
  preview::Listed listed;
  const preview::Listing keys = preview::PreviewServiceKeys(product::ServicesKeyPath, product::ServiceKeyTable,
                                                            std::size(product::ServiceKeyTable), listed);
  std::size_t found = services.found + keys.found;
  for (const product::ClassFilterRow& row : product::ClassFilterTable)
    found += preview::PreviewUpperFilters(row.classKey, row.filters, std::size(row.filters));
  // A hive that did not load may hold the product, as a service manager that
  // cannot be opened may: it counts as something there.
  report::BeginSweepProgress();
  found += preview::PreviewSweep(product::SweepTable, std::size(product::SweepTable), product::RootTable,
                                 std::size(product::RootTable), product::WholeKeyMarkerTable, listed);
  const std::size_t hivesFailed = ForEachProfile(
      allUsers, [&](const hives::HiveRoots& roots) { found += hives::PreviewHives(roots, listed); });
  report::EndSweepProgress();
  return {found + hivesFailed, services.pending + keys.pending};
}

}  // namespace run
