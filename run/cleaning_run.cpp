#include "run/cleaning_run.h"

#include <iterator>

#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
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

}  // namespace

void CleaningRun(RestartPolicy policy) {
  for (const char16_t* service : ServiceTable) {
    services::StopService(service);
    services::DeleteServiceByName(service, ServicesKeyPath);
  }
  driverreg::RemoveServiceKeys(ServicesKeyPath, ServiceKeyTable, std::size(ServiceKeyTable));
  for (const ClassFilterRow& row : ClassFilterTable)
    driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  report::BeginSweepProgress();
  sweep::SweepRegistry(SweepTable, std::size(SweepTable), RootTable, std::size(RootTable), WholeKeyMarkerTable);
  report::EndSweepProgress();
  EndWithRestart(policy);
}

ScanCount ScanRun() {
  const preview::Listing services = preview::PreviewServices(ServicesKeyPath, ServiceTable, std::size(ServiceTable));
  preview::Listed listed;
  const preview::Listing keys = preview::PreviewServiceKeys(ServicesKeyPath, ServiceKeyTable,
                                                            std::size(ServiceKeyTable), listed);
  std::size_t found = services.found + keys.found;
  for (const ClassFilterRow& row : ClassFilterTable)
    found += preview::PreviewUpperFilters(row.classKey, row.filters, std::size(row.filters));
  report::BeginSweepProgress();
  found += preview::PreviewSweep(SweepTable, std::size(SweepTable), RootTable, std::size(RootTable),
                                 WholeKeyMarkerTable, listed);
  report::EndSweepProgress();
  return {found, services.pending + keys.pending};
}

}  // namespace run
