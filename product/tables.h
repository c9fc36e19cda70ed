// What belongs to the product: fixed names compiled into the tool, in the
// order the cleaning run uses them.
#pragma once

#include <iterator>

#include "platform/registry.h"
#include "sweep/found_entry.h"
#include "sweep/found_entry_removal.h"

namespace product {

inline constexpr const char16_t* ServiceTable[] = {u"Tarnvol", u"TarnvolRec"};

// Under HKEY_LOCAL_MACHINE; the class keys below begin "SYSTEM", which the
// registry takes for the same key.
inline constexpr const char16_t* ServicesKeyPath = u"System\\CurrentControlSet\\Services";

// Subkeys of HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services. The first is
// written with a capital V, unlike the service name; the registry ignores case.
inline constexpr const char16_t* ServiceKeyTable[] = {u"TarnVol",    u"TarnVolRec", u"vornpart", u"meskdrv",
                                                      u"meskdrvsvc", u"tessaid",    u"brunko"};

struct ClassFilterRow {
  const char16_t* classKey;    // under HKEY_LOCAL_MACHINE
  const char16_t* filters[2];  // removed in this order; null after the last
};

inline constexpr ClassFilterRow ClassFilterTable[] = {
    // Volumes.
    {u"SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}", {u"tessaid", nullptr}},
    // Disk drives.
    {u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}", {u"vornpart", u"meskdrv"}},
};

using sweep::SweepPattern;

inline constexpr SweepPattern SweepTable[] = {
    // The product identifier, without braces.
    {u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18", sweep::MatchKeyNames | sweep::MatchValueNames},
    // The product display name: the only pattern looked for inside value texts.
    {u"Korvex for Windows", sweep::MatchKeyNames | sweep::MatchValueNames | sweep::MatchValueData},
    // The driver service name.
    {u"Tarnvol", sweep::MatchKeyNames | sweep::MatchValueNames},
};

// Key paths that hold installer records: a value whose text names the product
// below one of them takes its whole key. Each ends in a backslash, so a value
// of the named key itself (an Uninstall key's own value) is not enough.
inline constexpr const char16_t* WholeKeyMarkers[] = {u"Uninstall\\", u"Installer\\Products\\",
                                                      u"Installer\\Features\\"};
inline constexpr sweep::WholeKeyMarkerList WholeKeyMarkerTable{WholeKeyMarkers, std::size(WholeKeyMarkers)};

// Every pattern sweeps the five roots in this order; the console title shows
// the name of the root being swept.
inline constexpr auto& RootTable = platform::kRootTable;

}  // namespace product
