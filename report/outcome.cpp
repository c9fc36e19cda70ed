#include "report/outcome.h"

namespace report {
namespace {

RunOutcome& Record() {
  static RunOutcome outcome;
  return outcome;
}

}  // namespace

void ResetOutcome() { Record() = RunOutcome{}; }
const RunOutcome& Outcome() { return Record(); }

void NoteRestartNeeded() { Record().restartNeeded = true; }
void NoteFailure() { Record().failed = true; }
void NoteRestartInitiated() { Record().restartInitiated = true; }

}  // namespace report
