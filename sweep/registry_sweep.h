// The registry sweep as a whole: every pattern over every root, what each
// (pattern, root) pair finds deleted before the next pair is searched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "sweep/found_entry.h"
#include "sweep/found_entry_removal.h"

namespace sweep {

// How a sweep takes its roots; the defaults are the running system's roots.
struct SweepOptions {
  // Each root is a hive of another Windows and its name the hive's file,
  // which each report puts before the path (report::PlacedPath).
  bool placeNames = false;
  // Each root is a loaded hive, whose links name their targets in the running
  // system's registry: no link key below a root is entered, searched or
  // deleted through (ScanKeyForPatterns with linksLeft), and each one met is
  // named once in the log by the root's name and its path
  // (report::LinkNotFollowed). Without it links are followed, as
  // CurrentControlSet must be.
  bool neverThroughLinks = false;
};

// Deletes, pattern by pattern and within a pattern root by root, what a search
// of that root for that pattern finds, reporting each deletion: the report and
// the registry afterwards are those of ScanKey and RemoveFoundEntries for each
// pair in turn. But each root is walked once, for all the patterns, at the
// first pattern's pair; a later pattern's finds are kept and deleted at its
// pair only while still there (StillFound), since in between only the sweep's
// own deletions happened, which take away from what a search finds and never
// add to it. A root is walked again at its next pair where that may not hold:
// after its walk's link guard left something out, which depends on the order
// the walk met the keys in; and, for HKEY_CLASSES_ROOT, after a key of the
// user's classes lost something, in whole or in part, while a key of its path
// still opens there (on Windows the user's classes hide the machine's, whose
// keys then show through, unwalked). Each root's name shows in the console
// title while it is walked.
void SweepRegistry(const SweepPattern* rows, std::size_t rowCount, const platform::RootRow* roots,
                   std::size_t rootCount, WholeKeyMarkerList wholeKeyMarkers, SweepOptions options = {});

// Names in the log each link key that a walk of root left out
// (ScanKeyForPatterns' linksLeft), by the root's name and its path.
void ReportLinksLeft(const platform::RootRow& root, const std::vector<std::u16string>& links);

}  // namespace sweep
