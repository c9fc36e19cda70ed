// Deletes one key with its whole subtree, and reports the attempt: the one way
// the cleaner deletes a key whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace removal {

// Deletes the key at path below base, with everything below it, through a
// fresh handle to base itself (opened with a null subkey name), and writes
// "[path]: DELETED\n\n" or "[path]: NOT DELETED, ERR = 0x%X\n\n". Silent, but a
// failure of the run, when that handle cannot be had.
//
// Not RegDeleteTreeW, which follows a link anywhere below the key and takes
// what it points at. The path is opened as the search reached it, through any
// link on the way; each key below it is opened as itself (REG_OPTION_OPEN_LINK)
// and deleted through its own handle, bottom up, so a link goes as a link and
// nothing outside the subtree is reached, whatever another program changes
// meanwhile. As with RegDeleteTreeW, a key that may be read but not deleted
// loses what lies below it and then fails with 0x5. The first failure ends the
// deletion and is reported, as is a key the undo file cannot hold, untouched.
//
// Returns that status, or the failed open's. ownName, when given, receives once
// the key was opened its full name as the kernel knew it (empty if unknown).
// place, when given, names the hive base lies in (report::PlacedPath).
std::int32_t RemoveWholeKey(platform::RegKey base, const char16_t* path,
                            std::optional<std::u16string>* ownName = nullptr, const char16_t* place = nullptr);

}  // namespace removal
