// The whole run: every phase once, in order, whatever the phases before did.
#pragma once

#include <cstddef>

namespace run {

// What the run does at its end about a restart.
enum class RestartPolicy {
  AskAlways,      // the run without arguments: the question, whatever happened
  AskWhenNeeded,  // the question only when the services, service keys or class filters changed
  Never,          // /quiet, /norestart: no question, no restart
  Force,          // /forcerestart: the restart requested without asking
};

// Services, service keys, class filters, the sweep of every root for every
// pattern, and the restart step the policy names. Writes nothing of its own;
// what happened is in the run's record (report/outcome.h). The question is
// never put where nobody can see it (restart/restart_prompt.h).
//
// allUsers (/allusers): after the sweep of the five roots, which runs with
// no profile loaded, each profile whose user is not logged on
// (hives/profile_hives.h) is loaded, swept by the sweep of loaded hives
// (hives/hive_sweep.h), its keys reported as a sweep of HKEY_USERS names
// them ("S-1-5-...\Software\..."), and unloaded before the next is loaded,
// also when the sweep ends by an exception. So a profile is held for its own
// sweep alone, not for the services' stop nor for another's sweep, and a
// hive that would not unload is reported before the run ends.
void CleaningRun(RestartPolicy policy = RestartPolicy::AskAlways, bool allUsers = false);

// What /scan listed: things of the product there, and services and keys that
// the next start removes by itself.
struct ScanCount {
  std::size_t found = 0;
  std::size_t pending = 0;
};

// /scan: lists what CleaningRun started now would remove, and changes nothing
// (preview/run_preview.h); with allUsers each profile is loaded, listed and
// unloaded in turn, as the run sweeps it. A hive that did not load
// or unload counts as something found: it may hold the product.
ScanCount ScanRun(bool allUsers = false);

}  // namespace run
