// The depth-first walk of one registry root that collects every key and value
// naming the pattern. It deletes nothing and writes nothing.
#pragma once

#include <string>

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Searches key's values and its whole subtree, appending matches to list in
// pre-order: a key's own values first, then each subkey in enumeration order
// with its Key entry (if its name matched) before anything found inside it.
// keyPath is key's path relative to the root ("" for the root itself). The
// caller's handle is neither opened nor closed here.
//
// Whatever fails only narrows what is found: a key whose information cannot
// be queried, an index whose enumeration fails, a subkey that refuses
// KEY_READ, and a buffer that cannot be allocated (a key whose maxima are
// larger than the memory left) each skip just what they concern.
void ScanKey(platform::RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
             SearchFlags flags);

// Searches the values of one key; ScanKey calls it for a key with values.
void ScanValues(platform::RegKey key, const std::u16string& keyPath, const std::u16string& pattern, FoundList& list,
                SearchFlags flags);

}  // namespace sweep
