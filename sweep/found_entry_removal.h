// Deletes, under one root, what one search found, and reports each attempt.
#pragma once

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Key paths that hold installer records: a ValueData match below one of them
// takes its whole key. Each ends in a backslash, so a value of the named key
// itself (an Uninstall key's own value) is not enough.
inline constexpr const char16_t* WholeKeyMarkers[] = {u"Uninstall\\", u"Installer\\Products\\",
                                                      u"Installer\\Features\\"};

// Deletes the entries in list order through root (the root the search
// walked): a Key entry, and a ValueData entry under a marker, deleted whole
// with its subtree; a ValueName or other ValueData entry deleted as a value.
// Each attempted deletion is reported; a key or root that cannot be opened
// skips its entry silently. The list is empty on return, whatever happened.
void RemoveFoundEntries(platform::RegKey root, FoundList& list);

}  // namespace sweep
