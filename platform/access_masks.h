// Every access mask the cleaner asks for, each built from the platform's
// named rights in this one place. None carries a registry-view flag.
#pragma once

#include <cstdint>

#include "platform/registry.h"
#include "platform/services.h"
#include "platform/session.h"

namespace platform {

// The Services key, and the handle through which a key is deleted whole.
constexpr std::uint32_t kSubtreeAccess = kDelete | kReadControl | kKeyQueryValue | kKeySetValue | kKeyCreateSubKey |
                                         kKeyEnumerateSubKeys;
static_assert(kSubtreeAccess == 0x3000F);

// Each key of a subtree being deleted: read to find what lies below, and
// deleted through its own handle.
constexpr std::uint32_t kKeyDeletionAccess = kKeyRead | kDelete;
static_assert(kKeyDeletionAccess == 0x30019);

// The key that holds a value to be deleted: DELETE and KEY_WRITE.
constexpr std::uint32_t kValueKeyAccess = kDelete | kReadControl | kKeySetValue | kKeyCreateSubKey;
static_assert(kValueKeyAccess == 0x30006);

// A device-class key whose filter list is edited.
constexpr std::uint32_t kClassKeyAccess = kKeyQueryValue | kKeySetValue;
static_assert(kClassKeyAccess == 3);

// Every key the search walks: KEY_READ, kKeyRead itself.

// A service, to stop it, and to delete it.
constexpr std::uint32_t kServiceStopAccess = kServiceStop | kServiceStart | kServiceQueryStatus;
static_assert(kServiceStopAccess == 0x34);
constexpr std::uint32_t kServiceDeleteAccess = kDelete | kServiceStopAccess;
static_assert(kServiceDeleteAccess == 0x10034);

// The process token, to enable the shutdown privilege.
constexpr std::uint32_t kTokenAccess = kTokenAdjustPrivileges | kTokenQuery;
static_assert(kTokenAccess == 0x28);

}  // namespace platform
