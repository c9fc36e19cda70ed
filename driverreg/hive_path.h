// Opens the keys of a hive of another Windows by path without leaving the
// hive. A link stored in a hive file names its target by a kernel path
// ("\Registry\Machine\..."), which resolves in the registry of the running
// system, so a path through one would lead the driver phases to the running
// system's service keys and class lists.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"
#include "platform/unique_handle.h"

namespace driverreg {

// Whether the key name below parent is a link that the run does not follow
// (platform::IsLinkKey, which takes a key whose flag cannot be read for one);
// shown is its name in the log, where such a key is named
// (report::LinkNotFollowed). A key that is not there is no link.
bool LeadsOutOfHive(platform::RegKey parent, const char16_t* name, const std::u16string& shown);

// RegOpenKeyExW(root, path, access) for root a loaded hive of another
// Windows named place in reports: each key on the path is opened as itself
// (RegOpenLinkKeyW), the last with access and the others with none, and a
// link among them (LeadsOutOfHive) is not followed: the open fails with
// kFileNotFound, as for a key the hive lacks. Without a place, the plain
// RegOpenKeyExW, which follows links as the running system's keys need.
std::int32_t OpenInHive(platform::RegKey root, const char16_t* path, std::uint32_t access,
                        platform::UniqueRegKey& result, const char16_t* place);

}  // namespace driverreg
