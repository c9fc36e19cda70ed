// Keeps the walk of one root finite when symbolic links, which any user can
// plant in their own hive, lead back up (a cycle) or fan out into more paths
// to the same keys than the registry has keys (a web without a cycle).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace sweep {

// Links are followed, as they must be for CurrentControlSet, so the walk
// cannot tell a key reached through a link from any other without asking the
// kernel for its real name, a call per key. The guard asks only once a walk
// has shown what no registry without links can show: a path deeper than any
// hive nests keys (a cycle, or a chain), or, at kFirstWebCheck keys entered
// and each doubling after, a key that is not where its path says (a web); a
// walk without links never finds one, so it pays one call per doubling.
// From then on, for the rest of this root, every key entered is named, and a
// key is not entered again when it is already on the path, has been entered
// kMostEntries times (enough for the one second path that CurrentControlSet
// gives), or cannot be named. Guarded or not, no walk enters a key deeper
// than kDeepestWalk: a chain of distinct keys, each linking to the next,
// repeats none. What was found through a refused key is dropped, so a key met
// again through a cycle is reported once, by its shortest path. Entries are
// counted by a 64-bit hash of the real name.
class LinkGuard {
 public:
  static constexpr std::size_t kDeepestNesting = 512;
  // The deepest key a walk enters: a hive's own root key lies one level below
  // HKEY_LOCAL_MACHINE or HKEY_USERS.
  static constexpr std::size_t kDeepestWalk = kDeepestNesting + 1;
  static constexpr std::uint64_t kFirstWebCheck = 16384;
  static constexpr unsigned kMostEntries = 2;

  // root is where the walk starts, at rootPath; listSize: the list's size then.
  LinkGuard(platform::RegKey root, const std::u16string& rootPath, std::size_t listSize);

  // Asks to go down into subKey, just opened at path; listSize is the found
  // list's size before subKey's own Key entry, if any. False: leave it out,
  // and cut the list back to DropFrom().
  bool Enter(platform::RegKey subKey, const std::u16string& path, std::size_t listSize);
  // Back up from a key Enter accepted.
  void Leave();

  // After a refusal or a cycle found: where the list must be cut back to.
  std::size_t DropFrom() const { return dropFrom_; }
  // Whether the walk leaves the rest of the key at this depth (the root's is
  // 0), because a key below it repeats one above.
  bool Abandoning(std::size_t depth) const { return abandonFrom_ <= depth; }
  // Whether the guard has left anything out of this walk.
  bool LeftOut() const { return leftOut_; }
  // Called when the walk is back at depth after leaving a deeper one.
  void BackAt(std::size_t depth) {
    if (abandonFrom_ == depth + 1) abandonFrom_ = kNone;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::u16string RootName(platform::RegKey firstBelow);
  bool LooksLinked(platform::RegKey subKey, const std::u16string& path);
  void StartGuarding();
  bool Admit(platform::RegKey subKey, std::u16string& own);  // own: subKey's real name
  bool OnPath(const std::u16string& own) const;

  platform::RegKey root_;
  std::u16string rootPath_;
  std::vector<platform::RegKey> keys_;                   // the keys on the path, root first
  std::vector<std::size_t> marks_;                       // the list's size before each one's Key entry
  std::vector<std::u16string> names_;                    // their real names, once guarded
  std::unordered_map<std::uint64_t, unsigned> entries_;  // hash of a real name -> times entered, once guarded
  bool guarded_ = false;
  bool leftOut_ = false;
  bool rootNamed_ = false;
  std::u16string rootName_;
  std::uint64_t entered_ = 0;
  std::uint64_t nextWebCheck_ = kFirstWebCheck;
  std::size_t abandonFrom_ = kNone;
  std::size_t dropFrom_ = 0;
};

}  // namespace sweep
