// The registry sweep as a whole: every pattern over every root, what each
// (pattern, root) pair finds deleted before the next pair is searched.
#pragma once

#include <cstddef>

#include "platform/registry.h"
#include "sweep/found_entry.h"
#include "sweep/found_entry_removal.h"

namespace sweep {

// Deletes, pattern by pattern (rows in order) and within a pattern root by
// root, what a search of that root for that pattern finds, and reports each
// deletion: the same report and the same registry afterwards as searching
// each pair with ScanKey and deleting its finds with RemoveFoundEntries, one
// pair after another. But each root is walked once, for all patterns
// together, in the first pattern's pass:
// - the first pattern's finds are deleted at once, as a search of its own
//   would have found them;
// - the later patterns' finds are kept, and at each later pair only those
//   still there (StillFound) are deleted, in the order the walk found them.
//   Between the walk and that pair only the sweep's own deletions have
//   happened, through this root or any other that shows the same keys, and
//   a deletion can only take away what a search would find, never add to it.
// A root is walked again, for the patterns still to come, at its next pair
// when that rule may not hold:
// - the walk's link guard left something out (a cycle, or a key reached by
//   more paths than it allows), which depends on the order in which the
//   walk met the keys, and so on the whole registry at the time;
// - HKEY_CLASSES_ROOT, after a key of the current user's classes was
//   deleted, in whole or only in part, while a key of the same path still
//   opens there: on Windows the user's classes hide the machine's, so
//   deleting what the user's copy holds uncovers the machine's keys, with
//   contents the walk never saw.
//
// Each root's name shows in the console title's progress while it is walked.
void SweepRegistry(const SweepPattern* rows, std::size_t rowCount, const platform::RootRow* roots,
                   std::size_t rootCount, WholeKeyMarkerList wholeKeyMarkers);

}  // namespace sweep
