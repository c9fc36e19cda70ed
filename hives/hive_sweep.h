// The one sweep of loaded hives: the product's patterns over the keys of the
// hives a run loaded, for /offline (every hive of that Windows) and for
// /allusers (each profile in turn), so that every rule for a loaded hive is
// the same for both.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hives/loaded_hives.h"
#include "platform/registry.h"
#include "platform/unique_handle.h"
#include "preview/run_preview.h"

namespace hives {

// How the reports name a key of a loaded hive: by the hive's file and the
// path inside it ("D:\Users\ann\NTUSER.DAT\Software\..."), for another
// Windows; or by the hive's key below its root and the path inside it
// ("S-1-5-...\Software\..."), as a sweep of all HKEY_USERS names the key of
// a logged-on user.
enum class HiveNames { ByFile, ByKey };

// Each loaded hive's own key, opened, in load order, with the name the
// reports give it. A key that will not open is a failure of the run
// (report::NoteFailure) and left out. The handles must be closed before the
// hives unload: a handle open inside a hive keeps it loaded.
struct HiveRoots {
  std::vector<platform::UniqueRegKey> keys;
  std::vector<std::u16string> names;  // the rows' names point into these
  std::vector<platform::RootRow> rows;
};
HiveRoots OpenHiveRoots(const LoadedHives& loaded, HiveNames naming);

// The product's sweep (sweep::SweepRegistry) and its preview
// (preview::PreviewSweep) over the roots, each report naming its key as
// naming says. A loaded hive is never walked through a link: a link in it
// resolves in the running registry.
void SweepHives(const HiveRoots& roots);
std::size_t PreviewHives(const HiveRoots& roots, preview::Listed& listed);

}  // namespace hives
