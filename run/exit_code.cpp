#include "run/exit_code.h"

namespace run {

int ExitCodeOf(const report::RunOutcome& outcome) {
  if (outcome.failed) return kExitFailure;
  if (outcome.restartInitiated) return kExitRestartInitiated;
  if (outcome.restartNeeded) return kExitRestartRequired;
  return kExitDone;
}

int ScanExitCodeOf(std::size_t found, std::size_t pending) {
  if (found != 0) return kExitFound;
  return pending != 0 ? kExitRestartRequired : kExitDone;
}

int OfflineExitCodeOf(const report::RunOutcome& outcome) { return outcome.failed ? kExitFailure : kExitDone; }

const char16_t* MeaningOf(int code, bool scan) {
  for (const ExitCodeRow& row : ExitCodeTable)
    if (row.code == code && row.scan == scan) return row.meaning;
  return u"";
}

}  // namespace run
