// Starts a program with this process's standard handles, inherited, so that
// what it writes reaches whoever reads this one: the Wine harness.
#pragma once

#include <windows.h>

#include <string>

// True on success, with the process's handle in process.
inline bool StartInheriting(std::wstring command, DWORD flags, HANDLE* process) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    if (handle && handle != INVALID_HANDLE_VALUE)
      ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info))
    return false;
  ::CloseHandle(info.hThread);
  *process = info.hProcess;
  return true;
}
