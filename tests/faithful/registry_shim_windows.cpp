// The shim over Win32: keys made with RegCreateKeyExW, links as a user's own
// program makes them (REG_OPTION_CREATE_LINK and a REG_LINK
// "SymbolicLinkValue"), refusals as an ACL with a deny entry.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/faithful/registry_shim.h"

namespace faithful {
namespace {

HKEY Native(platform::RegKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Closes the key on every path out of a function.
struct OpenKey {
  HKEY key = nullptr;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key) ::RegCloseKey(key);
  }
};

using NtDeleteKeyCall = LONG(WINAPI*)(HANDLE);

LONG DeleteKeyItself(HKEY key) {
  static const auto deleteKey = reinterpret_cast<NtDeleteKeyCall>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
  return deleteKey && deleteKey(key) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// An ACL with one entry per rule for Everyone: deny first, then allow.
LONG SetAcl(HKEY key, std::uint32_t denied) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return static_cast<LONG>(::GetLastError());
  std::vector<std::uint8_t> aclBytes(512);
  auto* acl = reinterpret_cast<PACL>(aclBytes.data());
  SECURITY_DESCRIPTOR descriptor;
  bool made = ::InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), ACL_REVISION) &&
              (!denied || ::AddAccessDeniedAce(acl, ACL_REVISION, denied, everyone)) &&
              ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
              ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
              ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  LONG status = made ? ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor)
                     : static_cast<LONG>(::GetLastError());
  ::FreeSid(everyone);
  return status;
}

bool IsLink(HKEY key) {
  DWORD type = REG_NONE;
  return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

bool RemoveBelow(HKEY parent, const std::wstring& name) {
  OpenKey key;
  if (::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, WRITE_DAC, &key.key) != ERROR_SUCCESS) return false;
  SetAcl(key.key, 0);
  ::RegCloseKey(key.key);
  key.key = nullptr;
  if (::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &key.key) != ERROR_SUCCESS)
    return false;
  if (!IsLink(key.key)) {
    std::vector<std::wstring> children;
    wchar_t child[256];
    for (DWORD index = 0;; ++index) {
      DWORD chars = 256;
      if (::RegEnumKeyExW(key.key, index, child, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      children.emplace_back(child, chars);
    }
    for (const auto& each : children)
      if (!RemoveBelow(key.key, each)) return false;
  }
  return DeleteKeyItself(key.key) == ERROR_SUCCESS;
}

}  // namespace

void Begin() {
  // The traces are compared byte for byte with the native run's.
  _setmode(_fileno(stdout), _O_BINARY);
}

std::u16string CurrentUserSid() {
  // The predefined handle is no kernel object, so its name is had from a
  // subkey's: "\REGISTRY\USER\<sid>\Software".
  OpenKey software;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &software.key) != ERROR_SUCCESS) return {};
  std::u16string name = platform::KeyObjectName(platform::RegKey(reinterpret_cast<std::uintptr_t>(software.key)));
  name.resize(name.rfind(u'\\'));
  return name.substr(name.rfind(u'\\') + 1);
}

std::int32_t CreateKey(platform::RegKey root, const std::u16string& path) {
  OpenKey key;
  return ::RegCreateKeyExW(Native(root), Wide(path), 0, nullptr, 0, 0, nullptr, &key.key, nullptr);
}

std::int32_t CreateLink(platform::RegKey root, const std::u16string& path, const std::u16string& target) {
  OpenKey link;
  LONG status = ::RegCreateKeyExW(Native(root), Wide(path), 0, nullptr, REG_OPTION_CREATE_LINK,
                                  KEY_SET_VALUE | KEY_CREATE_LINK, nullptr, &link.key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  // The kernel wants the target without a terminator.
  return ::RegSetValueExW(link.key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                          static_cast<DWORD>(target.size() * sizeof(char16_t)));
}

std::int32_t RefuseAccess(platform::RegKey root, const std::u16string& path, std::uint32_t rights) {
  OpenKey key;
  LONG status = ::RegOpenKeyExW(Native(root), Wide(path), 0, WRITE_DAC, &key.key);
  return status != ERROR_SUCCESS ? status : SetAcl(key.key, rights);
}

bool RemoveScratch(platform::RegKey root, const std::u16string& path) {
  OpenKey probe;
  if (::RegOpenKeyExW(Native(root), Wide(path), REG_OPTION_OPEN_LINK, 0, &probe.key) == ERROR_FILE_NOT_FOUND)
    return true;
  return RemoveBelow(Native(root), std::wstring(Wide(path)));
}

}  // namespace faithful
