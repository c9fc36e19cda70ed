// Takes the product's filter drivers out of a device class's "UpperFilters"
// list and leaves every other filter in place and in its order. The whole
// step is silent: it reports nothing, whether it changes a list, finds
// nothing to change, or fails.
#pragma once

#include <cstddef>

#include "platform/registry.h"

namespace driverreg {

// Edits a REG_MULTI_SZ list in place: removes every element of the first
// `length` units of data that equals name without regard to case, moves the
// surviving units to the front in their order and returns the new length.
// Units from the new length up to the old one are left with no meaning.
// An empty name, or a list with nothing to remove, returns length and leaves
// data as it was.
//
// No unit at or beyond length is ever read or written. A last element that
// reaches the length without a closing NUL (the registry hands back data as
// it was stored) is compared like any other and, if equal, removed; if it
// differs it is kept as it was, still unclosed. Nothing is ever added, not
// even a terminator after a removed unclosed element: every removal then
// shortens the list, so an unchanged length always means unchanged data.
std::size_t RemoveMultiStringEntry(char16_t* data, const char16_t* name, std::size_t length);

// Removes names[0], then names[1], ... (count at most; a null entry ends the
// list early) from the "UpperFilters" value of HKEY_LOCAL_MACHINE\classKey,
// and writes the value back only when that changed it. A missing key or
// value, a value that is not REG_MULTI_SZ or is empty, and any failed call
// end the step silently; the key is closed and the buffer released on every
// path.
//
// A list written back notes in the run's record (report/outcome.h) that a
// restart is needed: the filter stays in the device stack until then. A
// failure is noted when a product filter may be left in a list: the write-back
// failed, or the class key (other than missing) or the list (other than
// missing, empty or of another type) could not be read. A list that could
// not be read may hold none of the names, but a filter left in place whose
// driver the run deleted can keep the class's devices from starting, so the
// doubt is reported rather than passed over.
//
// classKey lies below root; with a place (a hive of another Windows) the one
// report names it by the place (report::PlacedPath), and a class key reached
// through a link of the hive counts as missing (driverreg/hive_path.h). The
// list as it was goes to the undo file first (backup::SaveFilterList, with the
// filters removed from it and windowsFolder, that Windows' folder; null for
// the running one).
void RemoveUpperFilter(const char16_t* classKey, const char16_t* const* names, std::size_t count,
                       platform::RegKey root = platform::kLocalMachine, const char16_t* place = nullptr,
                       const char16_t* windowsFolder = nullptr);

}  // namespace driverreg
