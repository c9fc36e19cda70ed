#include "report/progress.h"

#include <algorithm>
#include <string>

#include "platform/console.h"
#include "platform/number_text.h"

namespace report {
namespace {

struct Progress {
  bool hasTitle = false;  // a title to restore was read
  bool shown = false;     // a progress title is in the window now
  std::u16string savedTitle;
  const char16_t* rootName = u"";
  std::uint64_t keys = 0;
  std::uint64_t nextTitleAt = 0;  // the tick from which the next title may be set
};

Progress& State() {
  static Progress progress;
  return progress;
}

void LookAtClock(Progress& progress) {
  if (!progress.hasTitle) return;
  const std::uint64_t now = platform::GetTickCount64();
  if (now < progress.nextTitleAt) return;
  progress.nextTitleAt = now + kMillisecondsPerTitle;
  const std::u16string title = u"Korvex Cleaner - sweeping " + std::u16string(progress.rootName) + u": " +
                               platform::Decimal(static_cast<std::int64_t>(progress.keys)) + u" keys";
  if (platform::SetConsoleTitleW(title.c_str())) progress.shown = true;
}

}  // namespace

void BeginSweepProgress() {
  Progress& progress = State();
  progress = Progress{};
  std::u16string title(platform::kMaxConsoleTitle, u'\0');
  const std::uint32_t length = platform::GetConsoleTitleW(title.data(), platform::kMaxConsoleTitle);
  if (length == 0) return;
  title.resize(std::min(length, platform::kMaxConsoleTitle - 1));
  progress.savedTitle = std::move(title);
  progress.hasTitle = true;
}

void SweepProgressRoot(const char16_t* rootName) {
  Progress& progress = State();
  progress.rootName = rootName;
  progress.keys = 0;
}

void SweepProgressKey() {
  Progress& progress = State();
  if (++progress.keys % kKeysPerClockLook == 0) LookAtClock(progress);
}

void EndSweepProgress() {
  Progress& progress = State();
  if (progress.shown) platform::SetConsoleTitleW(progress.savedTitle.c_str());
  progress = Progress{};
}

}  // namespace report
