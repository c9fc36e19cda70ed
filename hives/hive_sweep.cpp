#include "hives/hive_sweep.h"

#include <iterator>

#include "product/tables.h"
#include "report/outcome.h"
#include "sweep/registry_sweep.h"

namespace hives {

HiveRoots OpenHiveRoots(const LoadedHives& loaded, HiveNames naming) {
  HiveRoots roots;
  for (const LoadedHive& hive : loaded.Hives()) {
    platform::UniqueRegKey key;
    if (platform::RegOpenKeyExW(hive.root, hive.subKey.c_str(), platform::kKeyRead, key.put()) !=
        platform::kSuccess) {
      report::NoteFailure();
      continue;
    }
    roots.keys.push_back(std::move(key));
    roots.names.push_back(naming == HiveNames::ByFile ? hive.file : hive.subKey);
  }
  // Once names is complete, so that no row points into a string it moved.
  for (std::size_t i = 0; i < roots.keys.size(); ++i)
    roots.rows.push_back({roots.keys[i].get(), roots.names[i].c_str()});
  return roots;
}

void SweepHives(const HiveRoots& roots) {
  // loaded hive: never through a link
  sweep::SweepRegistry(product::SweepTable, std::size(product::SweepTable), roots.rows.data(), roots.rows.size(),
                       product::WholeKeyMarkerTable, true);
}

std::size_t PreviewHives(const HiveRoots& roots, preview::Listed& listed) {
  // loaded hive: never through a link
  return preview::PreviewSweep(product::SweepTable, std::size(product::SweepTable), roots.rows.data(),
                               roots.rows.size(), product::WholeKeyMarkerTable, listed, true);
}

}  // namespace hives
