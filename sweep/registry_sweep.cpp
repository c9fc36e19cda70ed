#include "sweep/registry_sweep.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "report/progress.h"
#include "report/report.h"
#include "sweep/registry_search.h"
#include "sweep/still_found.h"
#include "text/text_matching.h"

namespace sweep {
namespace {

using platform::RegKey;

// What one root's walk left for the later patterns.
struct RootFinds {
  TaggedList kept;
  bool reusable = false;  // false: walk the root again at its next pair
};

// The current user's classes, shown over the machine's, by the kernel's name.
struct UserClasses {
  bool present = false;
  std::u16string name;  // empty when it cannot be had
};

UserClasses FindUserClasses() {
  platform::UniqueRegKey key;
  const std::int32_t status = platform::RegOpenKeyExW(platform::kCurrentUser, u"Software\\Classes",
                                                      platform::kKeyRead, key.put());
  if (status == platform::kFileNotFound) return {};
  if (status != platform::kSuccess) return {true, {}};
  return {true, platform::KeyObjectName(key.get())};
}

// The path below the user's classes of a key named name; none elsewhere.
std::optional<std::u16string> BelowUserClasses(const std::u16string& name, const std::u16string& classes) {
  const std::size_t length = classes.size();
  if (name.size() < length || !text::EqualsNoCase(name.substr(0, length).c_str(), classes.c_str())) return {};
  if (name.size() == length) return u"";
  if (name[length] != u'\\') return {};
  return name.substr(length + 1);
}

// Whether deleting these keys (their names, taken just before), in whole or in
// part, may have uncovered keys under HKEY_CLASSES_ROOT: a key of the user's
// classes lost something while a key of its path still opens there. A name
// that could not be had counts as one that may have.
bool MayHaveUncovered(const std::vector<std::u16string>& deletedKeys, const UserClasses& classes) {
  if (!classes.present) return false;
  for (const std::u16string& name : deletedKeys) {
    if (name.empty() || classes.name.empty()) return true;
    const auto below = BelowUserClasses(name, classes.name);
    if (!below) continue;
    if (below->empty()) return true;
    platform::UniqueRegKey key;
    if (platform::RegOpenKeyExW(platform::kClassesRoot, below->c_str(), platform::kKeyRead, key.put()) !=
        platform::kFileNotFound)
      return true;
  }
  return false;
}

// Moves the entries of pattern row from kept to the back of list, in order;
// when checked, only those a search made now would find.
void TakeFinds(TaggedList& kept, std::size_t row, const char16_t* pattern, RegKey root, bool checked,
               FoundList& list) {
  std::size_t left = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i].pattern == row) {
      if (!checked || StillFound(root, kept[i].entry, pattern, kept[i].nameCut))
        list.push_back(std::move(kept[i].entry));
      continue;
    }
    if (left != i) kept[left] = std::move(kept[i]);
    ++left;
  }
  kept.resize(left);
}

std::uint32_t RowsFrom(std::size_t row, std::size_t rowCount) {
  std::uint32_t rows = 0;
  for (std::size_t i = row; i < rowCount && i < 31; ++i) rows |= std::uint32_t{1} << i;
  return rows;
}

}  // namespace

void ReportLinksLeft(const platform::RootRow& root, const std::vector<std::u16string>& links) {
  for (const std::u16string& path : links) report::LinkNotFollowed(report::PlacedPath(root.name, path));
}

void SweepRegistry(const SweepPattern* rows, std::size_t rowCount, const platform::RootRow* roots,
                   std::size_t rootCount, WholeKeyMarkerList wholeKeyMarkers, SweepOptions options) {
  std::vector<RootFinds> finds(rootCount);
  std::size_t classesRoot = rootCount;
  for (std::size_t r = 0; r < rootCount; ++r)
    if (roots[r].key == platform::kClassesRoot) classesRoot = r;
  const UserClasses userClasses = classesRoot < rootCount ? FindUserClasses() : UserClasses{};
  FoundList list;
  std::vector<std::u16string> deletedKeys, linksLeft;
  for (std::size_t row = 0; row < rowCount; ++row) {
    for (std::size_t r = 0; r < rootCount; ++r) {
      RootFinds& root = finds[r];
      const bool walked = !root.reusable;
      if (walked) {
        report::SweepProgressRoot(roots[r].name);
        root.kept.clear();
        linksLeft.clear();
        const bool leftOut = ScanKeyForPatterns(roots[r].key, std::u16string(), rows, rowCount,
                                                RowsFrom(row, rowCount), root.kept,
                                                options.neverThroughLinks ? &linksLeft : nullptr);
        root.reusable = !leftOut;
        ReportLinksLeft(roots[r], linksLeft);
      }
      TakeFinds(root.kept, row, rows[row].pattern, roots[r].key, !walked, list);
      RemoveFoundEntries(roots[r].key, list, wholeKeyMarkers, &deletedKeys,
                         options.placeNames ? roots[r].name : nullptr);
      if (classesRoot < rootCount && MayHaveUncovered(deletedKeys, userClasses)) finds[classesRoot].reusable = false;
      deletedKeys.clear();
    }
  }
}

}  // namespace sweep
