#include "report/run_log.h"

#include <string>

#include "korvex_version.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"
#include "platform/utf8.h"

namespace report {
namespace {

using platform::UniqueFile;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

UniqueFile& Log() {
  static UniqueFile log;
  return log;
}

// "\n" becomes "\r\n", as on the console; then UTF-8.
void Append(const char16_t* text, std::size_t length) {
  if (!Log()) return;
  std::u16string lines;
  lines.reserve(length + 8);
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == u'\n') lines += u'\r';
    lines += text[i];
  }
  const std::string bytes = platform::ToUtf8(lines);
  platform::WriteFile(Log().get(), bytes.data(), bytes.size());
}

void AppendLine(const std::u16string& line) {
  const std::u16string withEnd = line + u"\n";
  Append(withEnd.data(), withEnd.size());
}

std::u16string Digits(unsigned value, std::size_t width) {
  std::u16string digits = platform::Decimal(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), u'0');
  return digits;
}

// "2024-03-09 07:05:03 +01:00", the offset as ISO 8601 writes it.
std::u16string TimeText(const platform::LocalTime& time) {
  const auto offset = static_cast<unsigned>(time.utcOffsetMinutes < 0 ? -time.utcOffsetMinutes
                                                                      : time.utcOffsetMinutes);
  return Digits(time.year, 4) + u"-" + Digits(time.month, 2) + u"-" + Digits(time.day, 2) + u" " +
         Digits(time.hour, 2) + u":" + Digits(time.minute, 2) + u":" + Digits(time.second, 2) + u" " +
         (time.utcOffsetMinutes < 0 ? u"-" : u"+") + Digits(offset / 60, 2) + u":" + Digits(offset % 60, 2);
}

std::u16string OrUnknown(const std::u16string& name) { return name.empty() ? u"(unknown)" : name; }

}  // namespace

std::uint32_t OpenRunLog(const char16_t* path) {
  platform::FileHandle file{};
  const std::uint32_t status = platform::OpenFileCreatingFolders(path, &file);
  if (status != 0) return status;
  Log() = UniqueFile(file);
  return 0;
}

std::uint32_t RunLogIdentity(platform::FileIdentity* identity) {
  return platform::IdentityOfFile(Log().get(), identity);
}

void CloseRunLog() { Log().reset(); }

void LogRunStart(const std::u16string& commandLine) {
  std::uint64_t size = 0;
  if (Log() && platform::GetFileSizeEx(Log().get(), &size) && size == 0)
    platform::WriteFile(Log().get(), kByteOrderMark, sizeof kByteOrderMark - 1);
  AppendLine(u"Korvex Cleaner " KORVEX_VERSION_TEXT u" started " + TimeText(platform::LocalTimeNow()) + u" on " +
             OrUnknown(platform::ComputerName()) + u" as " + OrUnknown(platform::UserName()) + u": " + commandLine);
}

void LogReport(const char16_t* message, std::size_t length) { Append(message, length); }

void LogRunEnd(int exitCode, const char16_t* meaning) {
  AppendLine(u"Korvex Cleaner ended with exit code " + Digits(static_cast<unsigned>(exitCode), 1) + u": " + meaning);
  Log().reset();
}

}  // namespace report
