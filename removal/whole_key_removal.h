// Deletes one key with its whole subtree, and reports the attempt. The one
// way the cleaner deletes a key whole: the product's service keys and every
// key the sweep deletes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace removal {

// Deletes the key at path below base, with everything below it, through a
// fresh handle to base itself (opened with a null subkey name), and writes
// "[path]: DELETED\n\n" or "[path]: NOT DELETED, ERR = 0x%X\n\n". Silent when
// that handle cannot be had.
//
// RegDeleteTreeW is not used: it opens every subkey as any open does,
// following symbolic links, so a link anywhere below the key would take the
// key it points at, wherever that is. Instead the subtree is deleted from the
// bottom up, each subkey opened as itself (REG_OPTION_OPEN_LINK) and deleted
// through its own handle, so a link key goes as a link and nothing outside
// the subtree is ever reached, whatever another program changes meanwhile.
// The path itself is opened as the search reached it, through any link on
// the way. As for RegDeleteTreeW, a key that may be read but not deleted
// still loses what lies below it, and then fails with 0x5. The first failure
// ends the deletion and is the status reported: 0x2 when the key is not
// there, 0x5 when a key may not be deleted (or not even read), or the code
// of a key that could not be deleted.
//
// Returns the status reported, or the failed open's status when nothing was
// reported. When ownName is given, it receives, once the key was opened and
// so something below it may have gone, the key's own full name as the kernel
// knew it just before the deletion (empty when that cannot be had); it stays
// empty-handed when the key could not be opened at all.
std::int32_t RemoveWholeKey(platform::RegKey base, const char16_t* path,
                            std::optional<std::u16string>* ownName = nullptr);

}  // namespace removal
