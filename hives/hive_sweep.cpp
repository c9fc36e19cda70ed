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

// Every report names its key by the root's name and the path below it; a
// link in a loaded hive resolves in the running registry, so none is entered.
constexpr sweep::SweepOptions kLoadedHive{/*placeNames=*/true, /*neverThroughLinks=*/true};

void SweepHives(const HiveRoots& roots) {
  sweep::SweepRegistry(product::SweepTable, std::size(product::SweepTable), roots.rows.data(), roots.rows.size(),
                       product::WholeKeyMarkerTable, kLoadedHive);
}

std::size_t PreviewHives(const HiveRoots& roots, preview::Listed& listed) {
  return preview::PreviewSweep(product::SweepTable, std::size(product::SweepTable), roots.rows.data(),
                               roots.rows.size(), product::WholeKeyMarkerTable, listed, kLoadedHive);
}

}  // namespace hives
