// Reads a message box the way a person would see it, and checks it, for the
// scenario that answers the cleaner's restart question under Wine.
//
//   box_reader.exe CAPTION TEXT [SECONDS]
//
// Waits up to SECONDS (default 30) for a top-level dialog with that caption
// and prints, in UTF-8, what it shows:
//   caption: <caption>
//   owner:   none | <handle>
//   icon:    shown | none
//   text:    <message text>
//   button:  <label> (default|plain)        one line per button
//   cancel at <x> <y>                       the Cancel button's centre, on the screen
// then one line "differs: ..." for each way it is not the expected question:
// caption CAPTION, no owner, one icon, the text TEXT, and the buttons OK
// (the default) and Cancel.
// Exit code 0 when the box is the expected one, 1 when it did not appear in
// time, 3 when it differs, 2 on bad arguments.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

struct Button {
  int id;
  std::wstring label;
  bool isDefault;
  POINT centre;
};

// What the box's child controls show.
struct Contents {
  std::vector<std::wstring> texts;
  std::vector<bool> icons;  // one per icon control: whether it shows one
  std::vector<Button> buttons;
};

BOOL CALLBACK Collect(HWND child, LPARAM param) {
  Contents& contents = *reinterpret_cast<Contents*>(param);
  const std::wstring kind = ClassOf(child);
  const LONG style = ::GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(kind.c_str(), L"Static") == 0) {
    // Icons live in the process that loaded them, so which one it is can be
    // told only from the screenshot; here only whether there is one.
    if ((style & SS_TYPEMASK) != SS_ICON) contents.texts.push_back(WindowText(child));
    else contents.icons.push_back(::SendMessageW(child, STM_GETICON, 0, 0) != 0);
  } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
    RECT box;
    ::GetWindowRect(child, &box);
    contents.buttons.push_back({::GetDlgCtrlID(child),
                                WindowText(child),
                                (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
                                {(box.left + box.right) / 2, (box.top + box.bottom) / 2}});
  }
  return TRUE;
}

int differences = 0;

void Differs(const std::string& what) {
  std::printf("differs: %s\n", what.c_str());
  ++differences;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring caption = argv[1], text = argv[2];
  const int attempts = (argc > 3 ? _wtoi(argv[3]) : 30) * 10;
  HWND box = nullptr;
  for (int attempt = 0; attempt < attempts && box == nullptr; ++attempt) {
    box = ::FindWindowW(L"#32770", caption.c_str());
    if (box == nullptr) ::Sleep(100);
  }
  if (box == nullptr) {
    std::printf("no box captioned \"%s\" appeared\n", Utf8(caption).c_str());
    return 1;
  }
  Contents contents;
  ::EnumChildWindows(box, Collect, reinterpret_cast<LPARAM>(&contents));
  const std::wstring seenCaption = WindowText(box);
  const HWND owner = ::GetWindow(box, GW_OWNER);

  std::printf("caption: %s\n", Utf8(seenCaption).c_str());
  std::printf("owner:   %s\n", owner ? std::to_string(reinterpret_cast<std::uintptr_t>(owner)).c_str() : "none");
  if (contents.icons.empty()) std::printf("icon:    none\n");
  for (bool shown : contents.icons) std::printf("icon:    %s\n", shown ? "shown" : "none");
  for (const std::wstring& shown : contents.texts) std::printf("text:    %s\n", Utf8(shown).c_str());
  for (const Button& button : contents.buttons) {
    std::printf("button:  %s (%s)\n", Utf8(button.label).c_str(), button.isDefault ? "default" : "plain");
    if (button.id == IDCANCEL) std::printf("cancel at %ld %ld\n", button.centre.x, button.centre.y);
  }

  if (seenCaption != caption) Differs("the caption is not \"" + Utf8(caption) + "\"");
  if (owner) Differs("the box has an owner window");
  if (contents.icons != std::vector<bool>{true}) Differs("not exactly one icon shown");
  if (contents.texts.size() != 1 || contents.texts[0] != text) Differs("the text is not \"" + Utf8(text) + "\"");
  std::sort(contents.buttons.begin(), contents.buttons.end(),
            [](const Button& a, const Button& b) { return a.id < b.id; });
  const bool buttonsAsExpected = contents.buttons.size() == 2 && contents.buttons[0].id == IDOK &&
                                 contents.buttons[0].label == L"OK" && contents.buttons[0].isDefault &&
                                 contents.buttons[1].id == IDCANCEL && contents.buttons[1].label == L"Cancel" &&
                                 !contents.buttons[1].isDefault;
  if (!buttonsAsExpected) Differs("the buttons are not OK (default) and Cancel (plain)");
  std::fflush(stdout);
  return differences ? 3 : 0;
}
