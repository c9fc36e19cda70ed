// Runs a program and writes down its whole exit code, which a shell cannot
// see: Wine hands the shell only its lowest 8 bits, and the cleaner's codes
// (3010, 1641, 1603, ...) need all of them. Usage:
//   exit_code.exe RESULT_FILE PROGRAM [ARGUMENTS...]
// RESULT_FILE (a path without spaces) gets the code in decimal. Everything
// after it on this program's command line is handed on as it stands, so the
// program sees the command line a scenario wrote, with its own quoting. The
// program gets this one's standard handles and its exit code is this one's
// too; 2 with a message on stderr when this program could not do its part.
//
// A CreateProcessW that fails is made once more: on a loaded machine Wine
// once failed it with error 1359 (an internal error) while the program never
// started. The retry is then told on a line of its own after the code in
// RESULT_FILE, "note: ...", which the harness shows; the program's own
// standard error stays as the program wrote it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "start_inheriting.h"

namespace {

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"exit_code: %ls failed, error %lu\n", what, ::GetLastError());
  return 2;
}

// The command line after its first count arguments, as it stands. Those
// arguments are only ever quoted whole, with no escaped quotes inside.
const wchar_t* After(const wchar_t* line, int count) {
  for (int i = 0; i < count; ++i) {
    while (*line == L' ' || *line == L'\t') ++line;
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
      if (*line == L'"') quoted = !quoted;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fwprintf(stderr, L"usage: exit_code.exe RESULT_FILE PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  std::wstring command = After(::GetCommandLineW(), 2);
  HANDLE process = nullptr;
  DWORD firstError = 0;
  if (!StartInheriting(command, 0, &process)) {
    firstError = ::GetLastError();
    if (!StartInheriting(command, 0, &process)) return Fail(L"CreateProcessW, made twice,");
  }
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const BOOL got = ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  if (!got) return Fail(L"GetExitCodeProcess");
  HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(L"CreateFileW of the result file");
  char text[160];
  const int length = firstError ? std::snprintf(text, sizeof text,
                                                "%lu\nnote: exit_code.exe: CreateProcessW failed once, error %lu, "
                                                "and started the program when made again\n",
                                                code, firstError)
                                : std::snprintf(text, sizeof text, "%lu\n", code);
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
  if (!wrote) return Fail(L"WriteFile of the result file");
  return static_cast<int>(code);
}
