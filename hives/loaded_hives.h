// The hive files a run loaded, and their unloading on every way out of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace hives {

// One hive the run loaded: the key it stands as (root\subKey) and its file.
struct LoadedHive {
  platform::RegKey root;
  std::u16string subKey;
  std::u16string file;
};

// A hive that would not unload, with the code RegUnLoadKeyW gave.
struct UnloadFailure {
  LoadedHive hive;
  std::int32_t status;
};

// The owner of the hives a run loaded. Move-only: one owner unloads each hive
// once. Whatever is still loaded when it goes (an exception unwinding past
// it) is unloaded then; a hive that would not unload then (a handle inside it
// still open further up the stack) is left in the process's list of hives
// left loaded, for UnloadLeftHives. A normal way out calls UnloadAll, which
// says which hive stayed. Nothing unloads a hive of a process that is killed:
// Windows keeps it loaded until the next restart.
class LoadedHives {
 public:
  LoadedHives() = default;
  LoadedHives(LoadedHives&& other) noexcept;
  LoadedHives& operator=(LoadedHives&& other) noexcept;
  LoadedHives(const LoadedHives&) = delete;
  LoadedHives& operator=(const LoadedHives&) = delete;
  ~LoadedHives();

  // RegLoadKeyW of file at root\subKey; the hive is owned from then on when
  // that succeeds. Returns its code. The hive's place in the list is taken
  // before the load, so that no allocation after a load that succeeded can
  // fail and leave the hive loaded with no owner; it is given up again when
  // the load fails.
  std::int32_t Load(platform::RegKey root, const std::u16string& subKey, const std::u16string& file);

  // Unloads every hive owned, the last loaded first, and owns none
  // afterwards: a hive that would not unload is left to the system, and
  // named in the result.
  std::vector<UnloadFailure> UnloadAll();

  const std::vector<LoadedHive>& Hives() const { return hives_; }

 private:
  std::vector<LoadedHive> hives_;
};

// For main, once an exception has unwound the whole stack, so that every
// handle is closed: unloads each hive an owner could not unload while the
// exception went past it. Returns how many still would not unload.
std::size_t UnloadLeftHives();

}  // namespace hives
