// Whether what an earlier walk found is still there to be found.
#pragma once

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Whether a search of root for pattern, started now, would find entry, which
// a walk of the same root found earlier for that pattern, when nothing but
// deletions has happened in between. Deletions cannot make a key name or a
// value name match where it did not, nor let a walk reach a key it could not
// reach before (HKEY_CLASSES_ROOT's merged view aside, which the caller deals
// with), so what is left to ask is whether the entry is still where it was:
// - a Key entry: its path still leads to a key, readable or not (a search
//   lists a matching name whether or not it may open the key);
// - a ValueName entry: its key still opens for reading and holds the value;
// - a ValueData entry: the same, the value still a string type, and its text,
//   read as the search reads it, still contains the pattern.
// An entry whose own name was cut at a NUL (nameCut) cannot be looked up by
// that name, which opens nothing or something else. Nor can the sweep delete
// it, since every deletion takes the name up to its NUL; only the deletion of
// the key that holds it takes it along. So it is still there, as a search
// would list it again, while that key still opens for reading.
bool StillFound(platform::RegKey root, const FoundEntry& entry, const char16_t* pattern, bool nameCut = false);

}  // namespace sweep
