// What the registry sequences need beyond the cleaner's own registry calls:
// making keys, link keys and refusing ACLs, and clearing the scratch area
// afterwards. One implementation per backend: registry_shim_memory.cpp drives
// the in-memory registry's test controls, registry_shim_windows.cpp makes the
// same things with Win32 and ntdll calls, as a user's own program could.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace faithful {

// Prepares the process: binary standard output, and on the in-memory side a
// fresh machine.
void Begin();

// The current user's key name under HKEY_USERS.
std::u16string CurrentUserSid();

// RegCreateKeyExW(root, path) asking for no rights, closed at once.
std::int32_t CreateKey(platform::RegKey root, const std::u16string& path);

// Makes root\path a symbolic link key to target, a kernel name such as
// "\REGISTRY\MACHINE\Software\...". The link may dangle.
std::int32_t CreateLink(platform::RegKey root, const std::u16string& path, const std::u16string& target);

// Gives root\path (links followed) an ACL that denies rights to everyone and
// allows everything else.
std::int32_t RefuseAccess(platform::RegKey root, const std::u16string& path, std::uint32_t rights);

// Deletes root\path with its subtree whatever its ACLs, deleting link keys
// themselves and never what they point at. Returns false when something stays.
bool RemoveScratch(platform::RegKey root, const std::u16string& path);

}  // namespace faithful
