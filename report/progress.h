// Progress of the registry sweep in the console window's title, which can
// take tens of seconds on a large registry. Standard output gets nothing from
// here: the report stays the same on a console, in a file or in a pipe.
//
// While the sweep runs the title reads, in English,
//   "Korvex Cleaner - sweeping HKEY_LOCAL_MACHINE: 123456 keys"
// naming the root being walked and the keys entered in it so far (plain
// decimal digits). It changes at most every 250 milliseconds, and only once a
// root has given kKeysPerClockLook keys or more, so a small registry leaves
// the title alone. When the sweep ends the console's own title comes back.
//
// A process without a console (or whose console title is empty, which
// reads the same) gets no title at all; a title that cannot be set changes
// nothing else.
#pragma once

#include <cstdint>

namespace report {

// The keys entered between two looks at the clock; a power of two.
inline constexpr std::uint64_t kKeysPerClockLook = 1024;
// The least time between two titles.
inline constexpr std::uint64_t kMillisecondsPerTitle = 250;

// Saves the console's title, when there is one to restore, and starts.
void BeginSweepProgress();
// The root the sweep walks from now on ("HKEY_CLASSES_ROOT", ...); its count
// of keys starts at 0. The text must outlive the sweep.
void SweepProgressRoot(const char16_t* rootName);
// One key entered by the walk: a count, and every kKeysPerClockLook keys a
// look at the clock.
void SweepProgressKey();
// Gives the console back the title it had, if a progress title was shown.
void EndSweepProgress();

}  // namespace report
