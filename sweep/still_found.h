// Whether what an earlier walk found is still there to be found.
#pragma once

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Whether a search of root for pattern, started now, would find entry, which
// a walk of the same root found earlier for that pattern, when only deletions
// happened in between. Those make no name match that did not, nor let a walk
// reach a key it could not (HKEY_CLASSES_ROOT's merged view aside, which the
// caller deals with), so what is left to ask is whether the entry is still
// where it was: a Key entry's path still leads to a key, readable or not; a
// ValueName entry's key still opens for reading and holds the value; a
// ValueData entry's value also is still a string type whose text, read as the
// search reads it, holds the pattern. An entry whose own name was cut at a NUL
// (nameCut) cannot be looked up by that name, nor deleted by it: only the
// deletion of the key that holds it takes it along. It is still there, as a
// search would list it again, while that key opens for reading.
bool StillFound(platform::RegKey root, const FoundEntry& entry, const char16_t* pattern, bool nameCut = false);

}  // namespace sweep
