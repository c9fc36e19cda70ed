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
void CleaningRun(RestartPolicy policy = RestartPolicy::AskAlways);

// What /scan listed: things of the product there, and services and keys that
// the next start removes by itself.
struct ScanCount {
  std::size_t found = 0;
  std::size_t pending = 0;
};

// /scan: lists what CleaningRun started now would remove, and changes nothing
// (preview/run_preview.h).
ScanCount ScanRun();

}  // namespace run
