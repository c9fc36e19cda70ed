// Deletes, under one root, what one search found, and reports each attempt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "sweep/found_entry.h"

namespace sweep {

// Key-path fragments of installer records, tested in this order: a
// ValueData match whose key path holds one takes its whole key.
struct WholeKeyMarkerList {
  const char16_t* const* fragments;
  std::size_t count;
};

// Whether a ValueData entry at keyPath takes its whole key along: its path
// holds a marker, and so does the key's real name where that can be had.
bool TakesWholeKey(platform::RegKey root, const std::u16string& keyPath, WholeKeyMarkerList markers);

// Deletes the entries in list order through root (the root the search
// walked): a Key entry, and a ValueData entry under a marker, deleted whole
// with its subtree; a ValueName or other ValueData entry deleted as a value.
// Each attempted deletion is reported; a key or root that cannot be opened
// skips its entry silently. The list is empty on return, whatever happened.
//
// When deletedKeys is given, the own full name of each key a whole-key
// deletion opened, and so may have deleted in whole or in part, as the kernel
// knew it just before (empty when that could not be had), is appended to it.
// With a place (root is a hive of another Windows), each report names its key
// by the place and the path (report::PlacedPath).
void RemoveFoundEntries(platform::RegKey root, FoundList& list, WholeKeyMarkerList wholeKeyMarkers,
                        std::vector<std::u16string>* deletedKeys = nullptr, const char16_t* place = nullptr);

}  // namespace sweep
