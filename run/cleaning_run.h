// The whole run: every phase once, in order, whatever the phases before did.
#pragma once

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
// allUsers (/allusers): the hives of the profiles whose users are not logged
// on (hives/profile_hives.h) are loaded just before the sweep, which then
// cleans them below HKEY_USERS as any logged-on user's, and unloaded right
// after it, before the restart step, also when the sweep ends by an
// exception. So a profile is held for the sweep alone, not for the services'
// stop, and a hive that would not unload is reported before the run ends.
void CleaningRun(RestartPolicy policy = RestartPolicy::AskAlways, bool allUsers = false);

// /scan: lists what CleaningRun started now would remove, and changes nothing
// (preview/run_preview.h); with allUsers the hives are loaded around the
// listing of the sweep's finds as around the sweep. True when anything of the
// product is there, or may be: a hive that did not load or unload counts.
bool ScanRun(bool allUsers = false);

}  // namespace run
