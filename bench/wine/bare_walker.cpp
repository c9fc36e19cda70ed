// The least walk of the five roots (least_walk.h), which the Wine benchmark
// times the cleaner beside. Prints the number of keys visited in each root.
#include "bench/wine/least_walk.h"

#include <cstdio>

using bench::WalkKey;

int main() {
  const struct {
    const char* name;
    HKEY key;
  } roots[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
               {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
               {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
               {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
               {"HKEY_USERS", HKEY_USERS}};
  for (const auto& root : roots) std::printf("%s %lu\n", root.name, WalkKey(root.key));
  return 0;
}
