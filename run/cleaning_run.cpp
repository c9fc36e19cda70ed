#include "run/cleaning_run.h"

#include <iterator>
#include <string>

#include "driverreg/class_filter_removal.h"
#include "driverreg/service_key_removal.h"
#include "report/progress.h"
#include "restart/restart_prompt.h"
#include "run/tables.h"
#include "services/service_removal.h"
#include "sweep/found_entry_removal.h"
#include "sweep/registry_search.h"

namespace run {
namespace {

void SweepPhase() {
  report::BeginSweepProgress();
  sweep::FoundList found;
  for (const SweepPattern& row : SweepTable)
    for (std::size_t rootIndex = 0; rootIndex < std::size(RootOrder); ++rootIndex) {
      const platform::RegKey root = RootOrder[rootIndex];
      report::SweepProgressRoot(RootNames[rootIndex]);
      {
        const std::u16string pattern = row.pattern;
        const std::u16string rootPath;
        sweep::ScanKey(root, rootPath, pattern, found, row.flags);
      }
      sweep::RemoveFoundEntries(root, found, WholeKeyMarkerTable);
    }
  report::EndSweepProgress();
}

}  // namespace

void CleaningRun() {
  for (const char16_t* service : ServiceTable) {
    services::StopService(service);
    services::DeleteServiceByName(service);
  }
  driverreg::RemoveServiceKeys(ServicesKeyPath, ServiceKeyTable, std::size(ServiceKeyTable));
  for (const ClassFilterRow& row : ClassFilterTable)
    driverreg::RemoveUpperFilter(row.classKey, row.filters, std::size(row.filters));
  SweepPhase();
  restart::OfferRestart();
}

}  // namespace run
