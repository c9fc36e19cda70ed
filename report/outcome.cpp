#include "report/outcome.h"

#include "text/text_matching.h"

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

std::vector<std::u16string>& LinksLeft() {
  static std::vector<std::u16string> keys;
  return keys;
}

}  // namespace

void ResetOutcome() {
  Record() = RunOutcome{};
  Pending().clear();
  LinksLeft().clear();
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

bool NoteLinkLeft(const std::u16string& key) {
  for (const std::u16string& left : LinksLeft())
    if (text::EqualsNoCase(left.c_str(), key.c_str())) return false;
  LinksLeft().push_back(key);
  return true;
}

}  // namespace report
