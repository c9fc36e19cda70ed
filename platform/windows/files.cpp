// The log file and its folders, passed straight to kernel32.
#include <windows.h>

#include "platform/files.h"

namespace platform {
namespace {

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(file)); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace

std::uint32_t OpenFileForAppend(const char16_t* path, FileHandle* file) {
  HANDLE opened = ::CreateFileW(Wide(path), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
  if (opened == INVALID_HANDLE_VALUE) return ::GetLastError();
  *file = FileHandle(reinterpret_cast<std::uintptr_t>(opened));
  return 0;
}

int GetFileSizeEx(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER value{};
  if (!::GetFileSizeEx(Native(file), &value)) return 0;
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return 1;
}

int WriteFile(FileHandle file, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!::WriteFile(Native(file), bytes, chunk, &written, nullptr) || written == 0) return 0;
    bytes += written;
    length -= written;
  }
  return 1;
}

int CloseHandle(FileHandle file) { return ::CloseHandle(Native(file)); }

int CreateDirectoryW(const char16_t* path) { return ::CreateDirectoryW(Wide(path), nullptr); }

std::uint32_t IdentityOfPath(const char16_t* path, FileIdentity* identity) {
  HANDLE opened = ::CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return ::GetLastError();
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL got = ::GetFileInformationByHandle(opened, &information);
  const DWORD error = got ? 0 : ::GetLastError();
  ::CloseHandle(opened);
  if (!got) return error;
  identity->volumeSerial = information.dwVolumeSerialNumber;
  identity->fileIndex = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return 0;
}

}  // namespace platform
