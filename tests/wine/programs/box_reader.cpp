// Reads a message box the way a person would see it, for the scenarios that
// answer the cleaner's restart question under Wine.
//
//   box_reader.exe CAPTION [SECONDS]
//
// Waits up to SECONDS (default 30) for a top-level dialog with that caption
// and prints, one line each, in UTF-8:
//   caption=<caption>
//   owner=none | owner=<handle>
//   icon=shown | icon=none
//   text=<message text>
//   button=<id> <label> <default|plain> <x> <y>   (centre, screen coordinates)
// Exit code 0 when the box was found, 1 when it did not appear in time.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
  return bytes;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  ::GetWindowTextW(window, buffer, 1024);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[256] = {};
  ::GetClassNameW(window, buffer, 256);
  return buffer;
}

void Line(const std::string& text) { std::printf("%s\n", text.c_str()); }

BOOL CALLBACK Describe(HWND child, LPARAM) {
  const std::wstring kind = ClassOf(child);
  const LONG style = ::GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(kind.c_str(), L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      // Icons live in the process that loaded them, so which one it is can be
      // told only from the screenshot; here only whether there is one.
      Line(::SendMessageW(child, STM_GETICON, 0, 0) ? "icon=shown" : "icon=none");
    } else {
      Line("text=" + Utf8(WindowText(child)));
    }
  } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
    RECT box;
    ::GetWindowRect(child, &box);
    const bool isDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    Line("button=" + std::to_string(::GetDlgCtrlID(child)) + " " + Utf8(WindowText(child)) + " " +
         (isDefault ? "default" : "plain") + " " + std::to_string((box.left + box.right) / 2) + " " +
         std::to_string((box.top + box.bottom) / 2));
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const wchar_t* caption = argv[1];
  const int attempts = (argc > 2 ? _wtoi(argv[2]) : 30) * 10;
  HWND box = nullptr;
  for (int attempt = 0; attempt < attempts && box == nullptr; ++attempt) {
    box = ::FindWindowW(L"#32770", caption);
    if (box == nullptr) ::Sleep(100);
  }
  if (box == nullptr) return 1;
  Line("caption=" + Utf8(WindowText(box)));
  HWND owner = ::GetWindow(box, GW_OWNER);
  Line(owner == nullptr ? "owner=none" : "owner=" + std::to_string(reinterpret_cast<std::uintptr_t>(owner)));
  ::EnumChildWindows(box, Describe, 0);
  std::fflush(stdout);
  return 0;
}
