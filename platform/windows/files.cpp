// The log and undo files and their folders, passed straight to kernel32, and
// their security through advapi32.
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(file)); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// kProtectedSecurity, made once; null when it could not be, and then nothing
// is created.
PSECURITY_DESCRIPTOR ProtectedDescriptor() {
  static PSECURITY_DESCRIPTOR descriptor = [] {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
                                                                SDDL_REVISION_1, &made, nullptr))
      return PSECURITY_DESCRIPTOR{};
    return made;
  }();
  return descriptor;
}

bool IsSid(PSID sid, const wchar_t* text) {
  PSID other = nullptr;
  if (!::ConvertStringSidToSidW(text, &other)) return false;
  const bool equal = ::EqualSid(sid, other) != 0;
  ::LocalFree(other);
  return equal;
}

// The account of this process's token when the token is a member of
// Administrators; empty otherwise.
const std::vector<BYTE>& ElevatedUser() {
  static const std::vector<BYTE> user = [] {
    std::vector<BYTE> sid;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    BOOL member = FALSE;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !::CheckTokenMembership(nullptr, administrators, &member) || !member)
      return sid;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed)) {
      PSID own = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
      const auto* bytes = static_cast<const BYTE*>(own);
      sid.assign(bytes, bytes + ::GetLengthSid(own));
    }
    ::CloseHandle(token);
    return sid;
  }();
  return user;
}

bool Trusted(PSID sid) {
  if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
      IsSid(sid, L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"))
    return true;
  const std::vector<BYTE>& user = ElevatedUser();
  return !user.empty() && ::EqualSid(sid, const_cast<BYTE*>(user.data()));
}

std::u16string NameOf(PSID sid) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameLength = 256;
  DWORD domainLength = 256;
  SID_NAME_USE use{};
  if (::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    std::u16string text(reinterpret_cast<const char16_t*>(domain));
    if (!text.empty()) text += u'\\';
    return text + reinterpret_cast<const char16_t*>(name);
  }
  wchar_t* string = nullptr;
  if (!::ConvertSidToStringSidW(sid, &string)) return u"?";
  std::u16string text(reinterpret_cast<const char16_t*>(string));
  ::LocalFree(string);
  return text;
}

std::uint32_t Describe(PSID owner, PACL dacl, PSECURITY_DESCRIPTOR descriptor, FileSecurity* security) {
  security->ownerTrusted = owner && Trusted(owner);
  security->owner = owner ? NameOf(owner) : u"";
  security->othersMay = 0;
  if (!dacl) {
    security->othersMay = FILE_ALL_ACCESS;
  } else {
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
      ACE_HEADER* header = nullptr;
      if (!::GetAce(dacl, index, reinterpret_cast<void**>(&header))) continue;
      if (header->AceFlags & INHERIT_ONLY_ACE) continue;
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
      auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
      PSID sid = &ace->SidStart;
      if (Trusted(sid) || IsSid(sid, L"S-1-3-0") || IsSid(sid, L"S-1-3-4")) continue;
      DWORD rights = ace->Mask;
      ::MapGenericMask(&rights, &mapping);
      security->othersMay |= rights;
    }
  }
  ::LocalFree(descriptor);
  return 0;
}

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
  if (!ProtectedDescriptor()) return ::GetLastError();
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), ProtectedDescriptor(), FALSE};
  HANDLE opened = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &attributes, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
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

int ReadFileAt(FileHandle file, std::uint64_t offset, void* data, std::size_t length, std::size_t* read) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
  if (!::ReadFile(Native(file), data, chunk, &got, &at)) return 0;
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

int CreateProtectedDirectoryW(const char16_t* path) {
  if (!ProtectedDescriptor()) return 0;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), ProtectedDescriptor(), FALSE};
  return ::CreateDirectoryW(Wide(path), &attributes);
}

std::uint32_t SecurityOfFile(FileHandle file, FileSecurity* security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = ::GetSecurityInfo(Native(file), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                         &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) return status;
  return Describe(owner, dacl, descriptor, security);
}

std::uint32_t SecurityOfPath(const char16_t* path, FileSecurity* security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring name(Wide(path));
  const DWORD status = ::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) return status;
  return Describe(owner, dacl, descriptor, security);
}

std::u16string FullPathName(const char16_t* path) {
  const DWORD length = ::GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = ::GetFullPathNameW(Wide(path), length, full.data(), nullptr);
  if (written == 0 || written >= length) return path;
  full.resize(written);
  return std::u16string(reinterpret_cast<const char16_t*>(full.c_str()), written);
}

}  // namespace platform
