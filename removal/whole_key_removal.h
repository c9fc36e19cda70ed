// Deletes one key with its whole subtree, and reports the attempt. The one
// way the cleaner deletes a key whole: the product's service keys and every
// key the sweep deletes.
#pragma once

#include "platform/registry.h"

namespace removal {

// Deletes the key at path below base, with everything below it, through a
// fresh handle to base itself (opened with a null subkey name), and writes
// "[path]: DELETED\n\n" or "[path]: NOT DELETED, ERR = 0x%X\n\n". Silent when
// that handle cannot be had.
//
// RegDeleteTreeW opens every subkey as any open does, following symbolic
// links, so a link anywhere below the key would take the key it points at,
// wherever that is, and then stay itself. So every link key below path is
// first deleted as a link, opened with REG_OPTION_OPEN_LINK; the walk that
// finds them never follows one. A link that cannot be deleted stops the whole
// deletion, reported with the status that refused it, since the tree deletion
// would go through it. The walk costs one open and one value query per key
// of the subtree, on top of what RegDeleteTreeW itself does.
void RemoveWholeKey(platform::RegKey base, const char16_t* path);

}  // namespace removal
