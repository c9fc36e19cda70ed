#include "report/outcome.h"

namespace report {
namespace {

RunOutcome& Record() {
  static RunOutcome outcome;
  return outcome;
}

std::vector<std::u16string>& Pending() {
  static std::vector<std::u16string> services;
  return services;
}

}  // namespace

void ResetOutcome() {
  Record() = RunOutcome{};
  Pending().clear();
}
const RunOutcome& Outcome() { return Record(); }

void NoteRestartNeeded() { Record().restartNeeded = true; }
void NoteRemovedAtRestart(const char16_t* service) {
  Record().restartNeeded = true;
  Pending().emplace_back(service);
}
const std::vector<std::u16string>& RemovedAtRestart() { return Pending(); }
void NoteFailure() { Record().failed = true; }
void NoteRestartInitiated() { Record().restartInitiated = true; }

}  // namespace report
