// Deletes the product's driver and service registrations under the Services
// key, each key with its whole subtree, and reports each attempt by the key's
// name. A key deleted notes in the run's record (report/outcome.h) that a
// restart is needed, since the driver it registered may still be loaded; a
// key that could not be deleted for any reason but its absence (0x2), and a
// Services key that is there but cannot be opened, note a failure.
#pragma once

#include <cstddef>

#include "platform/registry.h"

namespace driverreg {

// Opens root\servicesPath and removes each name in order. When the Services
// key cannot be opened nothing is deleted and nothing is written. With a
// place (a hive of another Windows), each report names the key by the place,
// servicesPath and the name (report::PlacedPath) rather than by the name alone,
// and no link of the hive is followed (driverreg/hive_path.h): a Services key
// reached through one counts as missing, a name that is one is left alone,
// and each is named in the log.
void RemoveServiceKeys(const char16_t* servicesPath, const char16_t* const* names, std::size_t count,
                       platform::RegKey root = platform::kLocalMachine, const char16_t* place = nullptr);

// Deletes the subkey name of servicesKey with everything below it, through a
// fresh handle to servicesKey itself: "[name]: DELETED\n\n" or "[name]: NOT
// DELETED, ERR = 0x%X\n\n" with the status, the name as given whatever the
// case it is stored in (with place, the place before it). Silent when the
// fresh handle cannot be opened.
void RemoveServiceKey(platform::RegKey servicesKey, const char16_t* name, const char16_t* place = nullptr);

}  // namespace driverreg
