#include "sweep/link_guard.h"

#include <algorithm>

#include "text/text_matching.h"

namespace sweep {
namespace {

std::uint64_t NameHash(const std::u16string& name) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (char16_t unit : name) hash = (hash ^ static_cast<std::uint64_t>(unit)) * 0x100000001b3ull;
  return hash;
}

}  // namespace

LinkGuard::LinkGuard(platform::RegKey root, const std::u16string& rootPath, std::size_t listSize)
    : root_(root), rootPath_(rootPath), keys_{root}, marks_{listSize} {}

bool LinkGuard::Enter(platform::RegKey subKey, const std::u16string& path, std::size_t listSize) {
  const std::size_t depth = keys_.size();  // where subKey lies
  const bool webCheck = !guarded_ && ++entered_ >= nextWebCheck_;
  if (webCheck) nextWebCheck_ *= 2;
  // Deeper than any hive nests keys, or away from where its path says: links
  // led here. A cycle is left from its first repeat.
  if (!guarded_ && (depth > kDeepestNesting || (webCheck && LooksLinked(subKey, path)))) {
    StartGuarding();
    if (abandonFrom_ != kNone) return false;
  }
  std::u16string own;
  if (depth > kDeepestWalk || (guarded_ && !Admit(subKey, own))) {
    dropFrom_ = listSize;
    leftOut_ = true;
    return false;
  }
  if (guarded_) names_.push_back(std::move(own));
  keys_.push_back(subKey);
  marks_.push_back(listSize);
  return true;
}

void LinkGuard::Leave() {
  keys_.pop_back();
  marks_.pop_back();
  if (guarded_) names_.pop_back();
}

// A predefined root cannot be named, nor opened anew as anything else, so the
// root's name is that of a key just below it, less its last part. Should that
// key be a link, the guard only starts sooner than it need.
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
  names_.push_back(RootName(keys_.size() > 1 ? keys_[1] : root_));
  entries_[NameHash(names_.back())] = 1;
  for (std::size_t depth = 1; depth < keys_.size(); ++depth) {
    // The levels being left pop their names as they return.
    auto own = abandonFrom_ == kNone ? platform::KeyObjectName(keys_[depth]) : std::u16string();
    if (OnPath(own)) {
      abandonFrom_ = depth;
      dropFrom_ = marks_[depth];
      leftOut_ = true;
      own.clear();
    }
    if (!own.empty()) ++entries_[NameHash(own)];
    names_.push_back(std::move(own));
  }
}

// At most kDeepestWalk names, and the path's names mostly differ in length.
bool LinkGuard::OnPath(const std::u16string& own) const {
  return !own.empty() && std::find(names_.begin(), names_.end(), own) != names_.end();
}

// A key the kernel will not name cannot be told from one already met, so a
// guarded walk does not enter it.
bool LinkGuard::Admit(platform::RegKey subKey, std::u16string& own) {
  own = platform::KeyObjectName(subKey);
  if (own.empty() || OnPath(own)) return false;
  unsigned& times = entries_[NameHash(own)];
  if (times >= kMostEntries) return false;
  ++times;
  return true;
}

}  // namespace sweep
