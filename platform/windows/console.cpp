#include <windows.h>

#include <string>

#include "platform/console.h"
#include "platform/utf8.h"

namespace platform {

namespace {

// A console gets the text through WriteConsoleW, so every name shows as it is
// stored. A file or pipe gets UTF-8: the C runtime's wide output in its
// default locale would stop at the first character outside Latin-1 and lose
// the rest of the report.
void WriteTo(DWORD stream, const char16_t* text, std::size_t length) {
  std::u16string lines;
  lines.reserve(length + 8);
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == u'\n') lines += u'\r';
    lines += text[i];
  }
  HANDLE out = ::GetStdHandle(stream);
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(out, &mode)) {
    ::WriteConsoleW(out, reinterpret_cast<const wchar_t*>(lines.data()), static_cast<DWORD>(lines.size()), &written,
                    nullptr);
    return;
  }
  std::string bytes = ToUtf8(lines);
  ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void WriteOutput(const char16_t* text, std::size_t length) { WriteTo(STD_OUTPUT_HANDLE, text, length); }

void WriteError(const char16_t* text, std::size_t length) { WriteTo(STD_ERROR_HANDLE, text, length); }

std::uint32_t GetConsoleTitleW(char16_t* buffer, std::uint32_t size) {
  return ::GetConsoleTitleW(reinterpret_cast<wchar_t*>(buffer), size);
}

int SetConsoleTitleW(const char16_t* title) { return ::SetConsoleTitleW(reinterpret_cast<const wchar_t*>(title)); }

std::uint64_t GetTickCount64() { return ::GetTickCount64(); }

}  // namespace platform
