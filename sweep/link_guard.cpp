#include "sweep/link_guard.h"

#include "text/text_matching.h"

namespace sweep {
namespace {

std::uint64_t NameHash(const std::u16string& name) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (char16_t unit : name) {
    hash = (hash ^ static_cast<std::uint64_t>(unit)) * 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

LinkGuard::LinkGuard(platform::RegKey root, const std::u16string& rootPath, std::size_t listSize)
    : root_(root), rootPath_(rootPath), keys_{root}, marks_{listSize} {}

bool LinkGuard::Enter(platform::RegKey subKey, const std::u16string& path, std::size_t listSize) {
  ++entered_;
  if (!guarded_ && entered_ >= nextWebCheck_) {
    nextWebCheck_ *= 2;
    if (LooksLinked(subKey, path)) {
      StartGuarding();
      if (abandonFrom_ != kNone) return false;
    }
  }
  // subKey would lie at depth keys_.size(), deeper than any hive nests keys:
  // links led here. A cycle is left from its first repeat, as the guard
  // leaves any; a chain that repeats nothing ends at kDeepestWalk.
  const std::size_t depth = keys_.size();
  if (depth > kDeepestNesting && !guarded_) {
    StartGuarding();
    if (abandonFrom_ != kNone) return false;
  }
  if (depth > kDeepestWalk) {
    Refuse(listSize);
    return false;
  }
  if (guarded_) {
    auto own = platform::KeyObjectName(subKey);
    if (!Admit(own)) {
      Refuse(listSize);
      return false;
    }
    if (!own.empty()) pathNames_.insert(own);
    names_.push_back(std::move(own));
  }
  keys_.push_back(subKey);
  marks_.push_back(listSize);
  return true;
}

void LinkGuard::Leave() {
  keys_.pop_back();
  marks_.pop_back();
  if (guarded_) {
    if (!names_.back().empty()) pathNames_.erase(names_.back());
    names_.pop_back();
  }
}

void LinkGuard::Refuse(std::size_t listSize) {
  dropFrom_ = listSize;
  leftOut_ = true;
}

// The root's handle may be a predefined one, which the kernel cannot name,
// and opening it again with no subkey name gives back the same predefined
// handle. So the root's name is taken from a key just below it on the path:
// its name less its last part. Should that key be a link to elsewhere, the
// name is wrong, and the guard only starts sooner than it need.
std::u16string LinkGuard::RootName(platform::RegKey firstBelow) {
  if (rootNamed_) return rootName_;
  rootNamed_ = true;
  const std::u16string below = platform::KeyObjectName(keys_.size() > 1 ? keys_[1] : firstBelow);
  const auto slash = below.rfind(u'\\');
  if (slash != std::u16string::npos) rootName_ = below.substr(0, slash);
  return rootName_;
}

// Whether subKey's real name differs from where its path puts it, which only
// a link on the way down can do. A name that cannot be had proves nothing.
bool LinkGuard::LooksLinked(platform::RegKey subKey, const std::u16string& path) {
  const std::u16string root = RootName(subKey);
  const std::u16string own = platform::KeyObjectName(subKey);
  if (root.empty() || own.empty()) return false;
  std::u16string expected = root;
  const std::u16string below = rootPath_.empty() ? path : path.substr(std::min(path.size(), rootPath_.size() + 1));
  if (!below.empty()) expected += u'\\' + below;
  return !text::EqualsNoCase(own.c_str(), expected.c_str());
}

// Names every key on the path, and marks for leaving everything from the
// first key that repeats one above it.
void LinkGuard::StartGuarding() {
  guarded_ = true;
  names_.clear();
  pathNames_.clear();
  names_.push_back(RootName(keys_.size() > 1 ? keys_[1] : root_));
  if (!names_.back().empty()) pathNames_.insert(names_.back());
  entries_[NameHash(names_.back())] = 1;
  for (std::size_t depth = 1; depth < keys_.size(); ++depth) {
    if (abandonFrom_ != kNone) {
      names_.emplace_back();  // the levels being left pop their names as they return
      continue;
    }
    auto own = platform::KeyObjectName(keys_[depth]);
    if (OnPath(own)) {
      abandonFrom_ = depth;
      dropFrom_ = marks_[depth];
      leftOut_ = true;
      names_.emplace_back();
      continue;
    }
    if (!own.empty()) {
      ++entries_[NameHash(own)];
      pathNames_.insert(own);
    }
    names_.push_back(std::move(own));
  }
}

bool LinkGuard::OnPath(const std::u16string& own) const { return !own.empty() && pathNames_.count(own) != 0; }

// A key the kernel will not name cannot be told from one already met, so once
// the guard has started it is not entered: through a cycle of such keys the
// walk would otherwise go down for ever.
bool LinkGuard::Admit(const std::u16string& own) {
  if (own.empty()) return false;
  if (OnPath(own)) return false;
  unsigned& times = entries_[NameHash(own)];
  if (times >= kMostEntries) return false;
  ++times;
  return true;
}

}  // namespace sweep
