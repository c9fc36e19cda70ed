#include "run/cleaning_run.h"

#include <iterator>

#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
#include "hives/profile_hives.h"
#include "preview/run_preview.h"
#include "report/outcome.h"
#include "report/progress.h"
#include "restart/restart_prompt.h"
#include "run/tables.h"
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

// The sweep, or its listing, with the hives of the users who are not logged
// on loaded around it when allUsers asks for them, and unloaded after it
// also when it ends by an exception (hives::UnloadAfter). Returns how many hives did not load or unload.
template <typename Sweep>
std::size_t WithUserHives(bool allUsers, const Sweep& sweep) {
  hives::LoadedHives loaded;
  std::size_t failed = 0;
  if (allUsers)
    failed = hives::LoadProfileHives(hives::ReadProfileList(platform::kLocalMachine, hives::kProfileListPath),
                                     loaded);
  return failed + hives::UnloadAfter(loaded, sweep);
}

}  // namespace

void CleaningRun(RestartPolicy policy, bool allUsers) {
  for (const char16_t* service : ServiceTable) {
    services::StopService(service);
    services::DeleteServiceByName(service, ServicesKeyPath);
  }
  driverreg::RemoveServiceKeys(ServicesKeyPath, ServiceKeyTable, std::size(ServiceKeyTable));
  for (const ClassFilterRow& row : ClassFilterTable)
    driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  WithUserHives(allUsers, [] {
    report::BeginSweepProgress();
    sweep::SweepRegistry(SweepTable, std::size(SweepTable), RootTable, std::size(RootTable), WholeKeyMarkerTable);
    report::EndSweepProgress();
  });
  EndWithRestart(policy);
}

ScanCount ScanRun(bool allUsers) {
  const preview::Listing services = preview::PreviewServices(ServicesKeyPath, ServiceTable, std::size(ServiceTable));
  preview::Listed listed;
  const preview::Listing keys = preview::PreviewServiceKeys(ServicesKeyPath, ServiceKeyTable,
                                                            std::size(ServiceKeyTable), listed);
  std::size_t found = services.found + keys.found;
  for (const ClassFilterRow& row : ClassFilterTable)
    found += preview::PreviewUpperFilters(row.classKey, row.filters, std::size(row.filters));
  // A hive that did not load may hold the product, as a service manager that
  // cannot be opened may: it counts as something there.
  const std::size_t hivesFailed = WithUserHives(allUsers, [&] {
    report::BeginSweepProgress();
    found += preview::PreviewSweep(SweepTable, std::size(SweepTable), RootTable, std::size(RootTable),
                                   WholeKeyMarkerTable, listed);
    report::EndSweepProgress();
  });
  return {found + hivesFailed, services.pending + keys.pending};
}

}  // namespace run
