// The command line, whether the process is WOW64, the named mutex, the computer's and the account's names
// and the local time, passed straight to kernel32 and advapi32.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "platform/environment.h"

namespace platform {
namespace {

HANDLE Native(MutexHandle mutex) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(mutex)); }

// Local minus UTC, in minutes; a FILETIME counts 100-nanosecond steps.
std::int32_t MinutesBetween(const FILETIME& local, const FILETIME& utc) {
  const auto ticks = [](const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  };
  return static_cast<std::int32_t>((ticks(local) - ticks(utc)) / (60 * 10'000'000LL));
}

}  // namespace

std::u16string CommandLine() { return reinterpret_cast<const char16_t*>(::GetCommandLineW()); }

std::u16string ExpandEnvironmentStringsW(const std::u16string& text) {
  const auto* source = reinterpret_cast<const wchar_t*>(text.c_str());
  // The size counts the NUL; a variable changed between the two calls may
  // need more, and then the text is used as it stands.
  const DWORD size = ::ExpandEnvironmentStringsW(source, nullptr, 0);
  if (size == 0) return text;
  std::u16string expanded(size, u'\0');
  const DWORD written = ::ExpandEnvironmentStringsW(source, reinterpret_cast<wchar_t*>(expanded.data()), size);
  if (written == 0 || written > size) return text;
  expanded.resize(written - 1);
  return expanded;
}

namespace {

FARPROC Kernel32(const char* name) { return ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name); }

}  // namespace

// Looked up at run time: a system that lacks the calls (Wine 8.0 exports
// CreateBoundaryDescriptorW alone) then answers ERROR_CALL_NOT_IMPLEMENTED
// rather than refusing to load the program. So does a boundary that fails
// without saying why, as Wine's CreateBoundaryDescriptorW stub does: Windows
// sets an error whenever it fails.
std::uint32_t OpenAdministratorsNamespace(const char16_t* prefix, NamespaceHandle* handle) {
  using CreateBoundaryCall = HANDLE(WINAPI*)(LPCWSTR, ULONG);
  using AddSidCall = BOOL(WINAPI*)(HANDLE*, PSID);
  using DeleteBoundaryCall = VOID(WINAPI*)(HANDLE);
  using CreateNamespaceCall = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  using OpenNamespaceCall = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
  static const auto createBoundary = reinterpret_cast<CreateBoundaryCall>(
      reinterpret_cast<void*>(Kernel32("CreateBoundaryDescriptorW")));
  static const auto addSid = reinterpret_cast<AddSidCall>(
      reinterpret_cast<void*>(Kernel32("AddSIDToBoundaryDescriptor")));
  static const auto deleteBoundary = reinterpret_cast<DeleteBoundaryCall>(
      reinterpret_cast<void*>(Kernel32("DeleteBoundaryDescriptor")));
  static const auto createNamespace = reinterpret_cast<CreateNamespaceCall>(
      reinterpret_cast<void*>(Kernel32("CreatePrivateNamespaceW")));
  static const auto openNamespace = reinterpret_cast<OpenNamespaceCall>(
      reinterpret_cast<void*>(Kernel32("OpenPrivateNamespaceW")));
  if (!createBoundary || !addSid || !deleteBoundary || !createNamespace || !openNamespace)
    return ERROR_CALL_NOT_IMPLEMENTED;
  const auto* name = reinterpret_cast<const wchar_t*>(prefix);
  ::SetLastError(ERROR_SUCCESS);
  HANDLE boundary = createBoundary(name, 0);
  if (!boundary) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_CALL_NOT_IMPLEMENTED;
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof administrators;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) ||
      !addSid(&boundary, administrators)) {
    const DWORD error = ::GetLastError();
    deleteBoundary(boundary);
    return error;
  }
  // Administrators and SYSTEM may use the namespace, nobody else.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;BA)(A;;GA;;;SY)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    const DWORD error = ::GetLastError();
    deleteBoundary(boundary);
    return error;
  }
  attributes.lpSecurityDescriptor = descriptor;
  HANDLE opened = nullptr;
  DWORD error = ERROR_SUCCESS;
  // One that exists is opened; one closed in between is made again.
  for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
    opened = createNamespace(&attributes, boundary, name);
    if (opened) break;
    error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS) break;
    opened = openNamespace(boundary, name);
    if (!opened) error = ::GetLastError();
    if (!opened && error != ERROR_PATH_NOT_FOUND) break;
  }
  ::LocalFree(descriptor);
  deleteBoundary(boundary);
  if (!opened) return error;
  *handle = NamespaceHandle(reinterpret_cast<std::uintptr_t>(opened));
  return 0;
}

int ClosePrivateNamespace(NamespaceHandle handle) {
  using CloseNamespaceCall = BOOLEAN(WINAPI*)(HANDLE, ULONG);
  static const auto closeNamespace = reinterpret_cast<CloseNamespaceCall>(
      reinterpret_cast<void*>(Kernel32("ClosePrivateNamespace")));
  return closeNamespace && closeNamespace(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)), 0);
}

bool IsWow64Process() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::uint32_t CreateMutexW(const char16_t* name, MutexHandle* mutex) {
  HANDLE created = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name));
  if (!created) return ::GetLastError();
  *mutex = MutexHandle(reinterpret_cast<std::uintptr_t>(created));
  return 0;
}

std::uint32_t WaitForSingleObject(MutexHandle mutex, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(Native(mutex), milliseconds);
}

int ReleaseMutex(MutexHandle mutex) { return ::ReleaseMutex(Native(mutex)); }

int CloseHandle(MutexHandle mutex) { return ::CloseHandle(Native(mutex)); }

std::u16string SystemWindowsDirectory() {
  wchar_t folder[MAX_PATH + 1];
  const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return {reinterpret_cast<const char16_t*>(folder), length};
}

std::u16string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &length)) return {};
  return {reinterpret_cast<const char16_t*>(name), length};
}

std::u16string UserName() {
  // UNLEN (256) and its NUL.
  wchar_t name[257];
  DWORD length = 257;
  if (!::GetUserNameW(name, &length) || length == 0) return {};
  return {reinterpret_cast<const char16_t*>(name), length - 1};  // the length counted the NUL
}

// One reading of the clock, turned into local time by the bias in force now,
// so the offset written beside the time is the one that made it.
LocalTime LocalTimeNow() {
  FILETIME utc{};
  FILETIME local{};
  SYSTEMTIME fields{};
  ::GetSystemTimeAsFileTime(&utc);
  ::FileTimeToLocalFileTime(&utc, &local);
  ::FileTimeToSystemTime(&local, &fields);
  return {fields.wYear,
          fields.wMonth,
          fields.wDay,
          fields.wHour,
          fields.wMinute,
          fields.wSecond,
          MinutesBetween(local, utc)};
}

}  // namespace platform
