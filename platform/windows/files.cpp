// The log and undo files and their folders, passed straight to kernel32.
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

std::uint32_t OpenFileForUpdate(const char16_t* path, FileHandle* file) {
  HANDLE opened = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

int ReadFile(FileHandle file, void* data, std::size_t length, std::size_t* read) {
  DWORD got = 0;
  const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
  if (!::ReadFile(Native(file), data, chunk, &got, nullptr)) return 0;
  *read = got;
  return 1;
}

int WriteFileAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!::WriteFile(Native(file), bytes, chunk, &written, &at) || written == 0) return 0;
    bytes += written;
    offset += written;
    length -= written;
  }
  return 1;
}

int FlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(Native(file)); }

int SetEndOfFile(FileHandle file, std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(Native(file), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(Native(file));
}

std::uint32_t IdentityOfFile(FileHandle file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(Native(file), &information)) return ::GetLastError();
  identity->volumeSerial = information.dwVolumeSerialNumber;
  identity->fileIndex = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return 0;
}

std::uint32_t IdentityOfPath(const char16_t* path, FileIdentity* identity) {
  HANDLE opened = ::CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return ::GetLastError();
  const std::uint32_t status = IdentityOfFile(FileHandle(reinterpret_cast<std::uintptr_t>(opened)), identity);
  ::CloseHandle(opened);
  return status;
}

int CloseHandle(FileHandle file) { return ::CloseHandle(Native(file)); }

int CreateDirectoryW(const char16_t* path) { return ::CreateDirectoryW(Wide(path), nullptr); }

}  // namespace platform
