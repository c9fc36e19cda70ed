// /offline <folder>: the cleaning run and the preview on a Windows that is not
// running, whose hive files lie in folder ("D:\Windows", seen from WinPE or
// the recovery environment). Nothing of the running system is touched: no
// service control manager call, no sweep of its five roots.
#pragma once

#include <string>

namespace offline {

// Loads the folder's SYSTEM, SOFTWARE and DEFAULT hives below
// HKEY_LOCAL_MACHINE (SOFTWARE or DEFAULT missing: one line of the log and
// nothing else), then, from the loaded SOFTWARE's ProfileList, each
// profile's NTUSER.DAT and UsrClass.dat through the one profile loader
// (hives/profile_hives.h: the same entries passed over as for /allusers; its
// folder mapped as hives/profile_folder.h says, one on another drive
// reported and a failure), each under a name of its own that no key there
// has yet, all held for the run. When a name was taken and the load fails,
// the report names the keys to `reg unload` first. When SYSTEM does not load,
// nothing else is loaded and the run is refused
// (report::OfflineSystemNotLoaded), a failure. With an undo file open, notes in it how to load each hive
// under that same name for `reg import`. Then, in each control set of SYSTEM
// (offline::ControlSets): the services' keys, which no service control manager
// will delete here, the driver keys and the class filter lists, as the run on
// the running system has them; then the sweep over the loaded hives alone.
// Every report names its key by the hive file and the path inside it
// (report::PlacedPath). Every hive loaded is unloaded at the end, and on every
// other way out; a hive that would not load or unload is reported and is a
// failure of the run (report/outcome.h). A restart is never asked for: the
// running system is not the one cleaned.
void OfflineCleaningRun(const std::u16string& folder);

// /scan /offline: the same hives loaded and unloaded, and the run's finds
// listed as the preview lists them (preview/run_preview.h), in the run's
// order and with its names. True when anything of the product is there, or
// when a hive could not be loaded, which leaves the answer open.
bool OfflineScanRun(const std::u16string& folder);

}  // namespace offline
