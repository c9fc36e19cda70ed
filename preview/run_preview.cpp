#include "preview/run_preview.h"

#include <memory>

#include "driverreg/class_filter_removal.h"
#include "driverreg/hive_path.h"
#include "platform/access_masks.h"
#include "platform/buffer.h"
#include "platform/services.h"
#include "platform/unique_handle.h"
#include "report/progress.h"
#include "report/report.h"
#include "sweep/registry_search.h"
#include "sweep/still_found.h"
#include "text/text_matching.h"

namespace preview {
namespace {

using platform::RegKey;

const char16_t* StateName(std::uint32_t state) {
  constexpr const char16_t* kNames[] = {u"STATE UNKNOWN", u"STOPPED",          u"START PENDING", u"STOP PENDING",
                                        u"RUNNING",       u"CONTINUE PENDING", u"PAUSE PENDING", u"PAUSED"};
  return state < std::size(kNames) ? kNames[state] : kNames[0];
}

// The real name of the key at path below root; empty when it cannot be had.
std::u16string RealName(RegKey root, const std::u16string& path) {
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, key.put()) != platform::kSuccess)
    return {};
  return platform::KeyObjectName(key.get());
}

// Whether the key name below parent holds DeleteFlag = 1, which the service
// manager writes into the key of a service it is to remove at the next start.
bool HoldsDeleteFlag(RegKey parent, const char16_t* name) {
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExW(parent, name, platform::kKeyQueryValue, key.put()) != platform::kSuccess) return false;
  std::uint32_t type = 0, flag = 0, bytes = sizeof flag;
  return platform::RegQueryValueExW(key.get(), u"DeleteFlag", &type, reinterpret_cast<std::uint8_t*>(&flag),
                                    &bytes) == platform::kSuccess &&
         type == platform::kRegDword && bytes == sizeof flag && flag == 1;
}

// Whether the manager is to remove the service name at the next start: its
// key holds DeleteFlag, or is gone while the manager still has the service
// (the key phase deleted it), so nothing brings the service back.
bool GoesAtRestart(const char16_t* servicesPath, const char16_t* name) {
  platform::UniqueRegKey services;
  if (platform::RegOpenKeyExW(platform::kLocalMachine, servicesPath, platform::kKeyRead, services.put()) !=
      platform::kSuccess)
    return false;
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExW(services.get(), name, 0, key.put()) == platform::kFileNotFound) return true;
  return HoldsDeleteFlag(services.get(), name);
}

// Whether a key named name lies at or below a key listed whole.
bool Covered(const Listed& listed, const std::u16string& name) {
  if (name.empty()) return false;
  for (const std::u16string& key : listed.keys)
    if (name.size() >= key.size() && text::EqualsNoCase(name.substr(0, key.size()).c_str(), key.c_str()) &&
        (name.size() == key.size() || name[key.size()] == u'\\'))
      return true;
  return false;
}

// Lists a key to be deleted whole once; true when it was listed now.
bool ListKey(Listed& listed, const std::u16string& name) {
  if (Covered(listed, name)) return false;
  if (!name.empty()) listed.keys.push_back(name);
  return true;
}

bool ListValue(Listed& listed, const std::u16string& holder, const std::u16string& value) {
  if (Covered(listed, holder)) return false;
  if (holder.empty()) return true;
  for (const auto& [key, name] : listed.values)
    if (text::EqualsNoCase(key.c_str(), holder.c_str()) && text::EqualsNoCase(name.c_str(), value.c_str()))
      return false;
  listed.values.emplace_back(holder, value);
  return true;
}

// One find of a walk of root, listed as the run would delete it.
std::size_t ListFind(RegKey root, const sweep::FoundEntry& entry, sweep::WholeKeyMarkerList markers, Listed& listed,
                     const char16_t* place) {
  const std::u16string holder = RealName(root, entry.keyPath);
  const bool whole = entry.kind == sweep::EntryKind::Key || (entry.kind == sweep::EntryKind::ValueData &&
                                                             sweep::TakesWholeKey(root, entry.keyPath, markers));
  const std::u16string shown = report::PlacedPath(place, entry.keyPath);
  if (whole) {
    if (!ListKey(listed, holder)) return 0;
    report::KeyFound(shown.c_str());
  } else {
    if (!ListValue(listed, holder, entry.valueName)) return 0;
    report::ValueFound(shown.c_str(), entry.valueName.c_str());
  }
  return 1;
}

}  // namespace

Listing PreviewServices(const char16_t* servicesPath, const char16_t* const* names, std::size_t count) {
  platform::UniqueServiceHandle manager(platform::OpenSCManagerW(platform::kScManagerConnect));
  if (!manager) {
    report::ServiceManagerUnavailable();
    return {1, 0};  // nothing can be told, so a remediation is in order
  }
  Listing listing;
  for (std::size_t i = 0; i < count; ++i) {
    platform::UniqueServiceHandle service(
        platform::OpenServiceW(manager.get(), names[i], platform::kServiceQueryStatus));
    const std::uint32_t opened = service ? 0 : platform::GetLastError();
    if (opened == platform::kErrorServiceDoesNotExist) continue;
    platform::ServiceStatus status{};
    if (service) platform::QueryServiceStatus(service.get(), &status);
    if (opened == platform::kErrorServiceMarkedForDelete || (service && GoesAtRestart(servicesPath, names[i]))) {
      report::ServicePendingRestart(names[i], StateName(status.dwCurrentState));
      ++listing.pending;
    } else {
      report::ServiceFound(names[i], StateName(status.dwCurrentState));
      ++listing.found;
    }
  }
  return listing;
}

Listing PreviewServiceKeys(const char16_t* servicesPath, const char16_t* const* names, std::size_t count,
                           Listed& listed, RegKey root, const char16_t* place) {
  platform::UniqueRegKey services;
  if (driverreg::OpenInHive(root, servicesPath, platform::kKeyRead, services, place) != platform::kSuccess) return {};
  const std::u16string servicesPlace = report::PlacedPath(place, servicesPath);
  Listing listing;
  for (std::size_t i = 0; i < count; ++i) {
    if (place &&
        driverreg::LeadsOutOfHive(services.get(), names[i], report::PlacedPath(servicesPlace.c_str(), names[i])))
      continue;
    platform::UniqueRegKey key;
    const std::int32_t status = platform::RegOpenKeyExW(services.get(), names[i], 0, key.put());
    if (status != platform::kSuccess && status != platform::kAccessDenied) continue;
    if (!ListKey(listed, key ? platform::KeyObjectName(key.get()) : std::u16string())) continue;
    const std::u16string shown = place ? report::PlacedPath(servicesPlace.c_str(), names[i]) : names[i];
    if (HoldsDeleteFlag(services.get(), names[i])) {
      report::KeyPendingRestart(shown.c_str());
      ++listing.pending;
    } else {
      report::KeyFound(shown.c_str());
      ++listing.found;
    }
  }
  return listing;
}

std::size_t PreviewUpperFilters(const char16_t* classKey, const char16_t* const* names, std::size_t count,
                                RegKey root, const char16_t* place) {
  platform::UniqueRegKey key;
  if (driverreg::OpenInHive(root, classKey, platform::kKeyQueryValue, key, place) != platform::kSuccess) return 0;
  std::uint32_t type = 0, bytes = 0;
  if (platform::RegQueryValueExW(key.get(), u"UpperFilters", &type, nullptr, &bytes) != platform::kSuccess ||
      type != platform::kRegMultiSz || bytes < 2)
    return 0;
  auto list = platform::TryAllocate<char16_t>((std::size_t{bytes} + 1) / 2);
  auto copy = platform::TryAllocate<char16_t>((std::size_t{bytes} + 1) / 2);
  if (!list || !copy ||
      platform::RegQueryValueExW(key.get(), u"UpperFilters", &type, reinterpret_cast<std::uint8_t*>(list.get()),
                                 &bytes) != platform::kSuccess ||
      type != platform::kRegMultiSz)
    return 0;
  // A filter is there when the run's edit of the list would take it out.
  std::size_t found = 0;
  const std::size_t length = bytes / 2;
  for (std::size_t i = 0; i < count && names[i]; ++i) {
    std::copy(list.get(), list.get() + length, copy.get());
    if (driverreg::RemoveMultiStringEntry(copy.get(), names[i], length) == length) continue;
    report::FilterFound(report::PlacedPath(place, classKey).c_str(), names[i]);
    ++found;
  }
  return found;
}

std::size_t PreviewSweep(const sweep::SweepPattern* rows, std::size_t rowCount, const platform::RootRow* roots,
                         std::size_t rootCount, sweep::WholeKeyMarkerList wholeKeyMarkers, Listed& listed,
                         sweep::SweepOptions options) {
  std::vector<sweep::TaggedList> finds(rootCount);
  std::vector<std::u16string> linksLeft;
  for (std::size_t r = 0; r < rootCount; ++r) {
    report::SweepProgressRoot(roots[r].name);
    linksLeft.clear();
    sweep::ScanKeyForPatterns(roots[r].key, std::u16string(), rows, rowCount, ~std::uint32_t{0}, finds[r],
                              options.neverThroughLinks ? &linksLeft : nullptr);
    sweep::ReportLinksLeft(roots[r], linksLeft);
  }
  std::size_t found = 0;
  for (std::size_t row = 0; row < rowCount; ++row)
    for (std::size_t r = 0; r < rootCount; ++r)
      for (const sweep::TaggedEntry& tagged : finds[r])
        if (tagged.pattern == row && sweep::StillFound(roots[r].key, tagged.entry, rows[row].pattern, tagged.nameCut))
          found += ListFind(roots[r].key, tagged.entry, wholeKeyMarkers, listed,
                            options.placeNames ? roots[r].name : nullptr);
  return found;
}

}  // namespace preview
