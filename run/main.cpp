// Korvex Cleaner: removes Korvex for Windows from this machine. Without
// arguments it reports every deletion, asks whether to restart and exits with
// 0; with arguments it takes switches in Windows Installer's style and exits
// with Windows Installer's codes (run/program.h).
//
// Whatever escapes the run (out of memory, a fault of the cleaner's own) is
// caught here, so that the whole stack unwinds and each owner of a loaded hive
// unloads it; a hive an owner could not unload then, because a handle inside
// it was still open further up, is unloaded once every handle is closed
// (hives::UnloadLeftHives). Then the process ends as an uncaught exception
// ends it: otherwise Windows would keep those hives loaded until the next
// restart, and their users could not log on.
#include "hives/loaded_hives.h"
#include "run/program.h"

int main() {
  try {
    return run::RunProgram();
  } catch (...) {
    hives::UnloadLeftHives();
    throw;
  }
}
