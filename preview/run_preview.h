// /scan: what a cleaning run started now would remove, listed in the run's
// order and changing nothing: no service is stopped, no key or value deleted
// or written, no question asked, no restart requested. Each line is the
// run's own report line with "FOUND" in place of "DELETED"
// (report/report.h): the services that exist with their state, the service
// keys that exist, the product's filters in each class list, then the
// sweep's finds, pattern by pattern and root by root, paths relative to the
// root as the run reports them.
//
// Each thing is listed once: what a run would take along inside a key listed
// before, seen through whatever root or link, is not listed again, and a key
// seen through HKEY_CURRENT_USER and through HKEY_USERS\<SID> is one key.
// Keys are told apart by their real names (platform::KeyObjectName), as the
// link guard tells them. A key or value whose real place cannot be had is
// listed each time it is met.
//
// FOUND says a key, value, service or filter of the product is there, not
// that the run will manage to remove it: a key whose ACL refuses deletion is
// listed, and the run reports it NOT DELETED. On Windows, the machine's
// classes hidden behind a user's classes key of the same path show only once
// the run has deleted the user's key, so a run may remove such a machine key
// that the preview could not see; Wine shows no user classes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "sweep/found_entry.h"
#include "sweep/found_entry_removal.h"
#include "sweep/registry_sweep.h"

namespace preview {

// The real names of what has been listed so far.
struct Listed {
  std::vector<std::u16string> keys;                               // listed whole, with their subtrees
  std::vector<std::pair<std::u16string, std::u16string>> values;  // the holding key's real name, the value's name
};

// What the service lines listed: things there, and things the next start
// removes by itself.
struct Listing {
  std::size_t found = 0;
  std::size_t pending = 0;
};

// A service marked for deletion is "PENDING RESTART", not FOUND: the manager
// refuses to open it (1072), or its key below HKEY_LOCAL_MACHINE and
// servicesPath holds DeleteFlag = 1 or is gone while the manager still has
// the service, as after a run that deleted a driver that would not stop. So
// is a service key that holds DeleteFlag = 1: the manager deletes such keys
// at the next start. A key that may not be read counts as there.
Listing PreviewServices(const char16_t* servicesPath, const char16_t* const* names, std::size_t count);
// The keys and lists below root; with a place (a hive of another Windows) or
// options.placeNames, lines name their keys as the run's reports do then, and
// with a place or options.neverThroughLinks no link below root is followed
// (driverreg/hive_path.h, sweep/registry_sweep.h).
Listing PreviewServiceKeys(const char16_t* servicesPath, const char16_t* const* names, std::size_t count,
                           Listed& listed, platform::RegKey root = platform::kLocalMachine,
                           const char16_t* place = nullptr);

// Each returns the number of lines it listed.
std::size_t PreviewUpperFilters(const char16_t* classKey, const char16_t* const* names, std::size_t count,
                                platform::RegKey root = platform::kLocalMachine, const char16_t* place = nullptr);
std::size_t PreviewSweep(const sweep::SweepPattern* rows, std::size_t rowCount, const platform::RootRow* roots,
                         std::size_t rootCount, sweep::WholeKeyMarkerList wholeKeyMarkers, Listed& listed,
                         sweep::SweepOptions options = {});

}  // namespace preview
