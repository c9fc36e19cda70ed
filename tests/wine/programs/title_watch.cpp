// Runs the cleaner in a console of its own and writes down every title that
// console shows while the cleaner runs. Usage:
//   title_watch.exe TITLES_FILE CLEANER [ARGUMENTS...]
// Started by wine from a shell, a program has no console whose title could
// change, so this program starts itself again with CREATE_NO_WINDOW, which
// gives that second copy a console without a window. The second copy titles
// its console "korvex title watch", starts the cleaner in it with the
// standard handles it was given (the shell's stdout and stderr, untouched:
// the cleaner sees them redirected, as a scenario does), and reads the title
// every few milliseconds until the cleaner exits. TITLES_FILE then holds, in
// UTF-8 with "\n" line ends, the starting title, each different title seen in
// the order seen, and the title after the cleaner exited, one a line.
//
// The exit code is the cleaner's; 2 with a message on stderr when this
// program could not do its part, 3 when the cleaner had not exited after
// kCleanerMs (it is then ended).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "start_inheriting.h"

namespace {

constexpr DWORD kPollMs = 5;
constexpr DWORD kCleanerMs = 300000;
constexpr wchar_t kStartingTitle[] = L"korvex title watch";
constexpr wchar_t kInside[] = L"--inside";

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"title_watch: %ls failed, error %lu\n", what, ::GetLastError());
  return 2;
}

std::wstring Quoted(const wchar_t* argument) { return L"\"" + std::wstring(argument) + L"\""; }

std::wstring Title() {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = ::GetConsoleTitleW(buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length < buffer.size() ? length : buffer.size() - 1);
}

bool WriteTitles(const wchar_t* path, const std::vector<std::wstring>& titles) {
  std::string bytes;
  for (const std::wstring& title : titles) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, title.data(), static_cast<int>(title.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string line(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, title.data(), static_cast<int>(title.size()), line.data(), size, nullptr,
                          nullptr);
    bytes += line + "\n";
  }
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

DWORD WaitAndRelay(HANDLE process) {
  DWORD code = 2;
  if (::WaitForSingleObject(process, kCleanerMs + 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 3);
    return 3;
  }
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return code;
}

int Inside(int argc, wchar_t** argv) {
  if (!::SetConsoleTitleW(kStartingTitle)) return Fail(L"SetConsoleTitleW");
  std::vector<std::wstring> titles{Title()};
  std::wstring command = Quoted(argv[3]);
  for (int i = 4; i < argc; ++i) command += L" " + Quoted(argv[i]);
  HANDLE cleaner = nullptr;
  if (!StartInheriting(command, 0, &cleaner)) return Fail(L"starting the cleaner");
  DWORD waited = 0;
  DWORD state = WAIT_TIMEOUT;
  while ((state = ::WaitForSingleObject(cleaner, kPollMs)) == WAIT_TIMEOUT && waited < kCleanerMs) {
    waited += kPollMs;
    std::wstring title = Title();
    if (title != titles.back()) titles.push_back(std::move(title));
  }
  if (state != WAIT_OBJECT_0) {
    ::TerminateProcess(cleaner, 3);
    return 3;
  }
  titles.push_back(Title());
  DWORD code = 2;
  ::GetExitCodeProcess(cleaner, &code);
  ::CloseHandle(cleaner);
  if (!WriteTitles(argv[2], titles)) return Fail(L"writing the titles");
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], kInside) == 0) return Inside(argc, argv);
  if (argc < 3) {
    std::fwprintf(stderr, L"usage: title_watch.exe TITLES_FILE CLEANER [ARGUMENTS...]\n");
    return 2;
  }
  wchar_t self[MAX_PATH];
  if (!::GetModuleFileNameW(nullptr, self, MAX_PATH)) return Fail(L"GetModuleFileNameW");
  std::wstring command = Quoted(self) + L" " + kInside;
  for (int i = 1; i < argc; ++i) command += L" " + Quoted(argv[i]);
  HANDLE inside = nullptr;
  if (!StartInheriting(command, CREATE_NO_WINDOW, &inside)) return Fail(L"starting the console's own copy");
  return static_cast<int>(WaitAndRelay(inside));
}
