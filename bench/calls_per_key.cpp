// Registry calls per key of one search over generated registries without
// links: the figure the link guard must leave as it is. Counts every call the
// in-memory registry logs, KeyObjectName and IsLinkKey included.
#include <cstdio>
#include <map>
#include <string>

#include "bench/generated_registry.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "sweep/registry_search.h"

int main() {
  for (std::size_t size : {10000, 100000, 1000000}) {
    memory::ResetMachine();
    memory::RecordCalls(false);
    const std::u16string top = u"HKLM\\Bench";
    const std::u16string prefix = top + u"\\";
    memory::TreeBuilder builder;
    const auto counts = bench::GenerateRegistry(
        size, 20261209, true, [&](const std::u16string& path) { builder.Key(path.empty() ? top : prefix + path); },
        [&](const bench::GeneratedValue& value) { builder.Value(value.name, value.type, value.data); });
    for (std::uint32_t flags : {3u, 7u}) {
      memory::RecordCalls(true);
      memory::ClearRegistryCalls();
      sweep::FoundList found;
      platform::RegKey key;
      platform::RegOpenKeyExW(platform::kLocalMachine, u"Bench", platform::kKeyRead, &key);
      sweep::ScanKey(key, u"Bench", u"Korvex for Windows", found, flags);
      platform::RegCloseKey(key);
      std::map<std::string, std::size_t> byCall;
      for (const auto& call : memory::RegistryCalls()) ++byCall[call.substr(0, call.find(' '))];
      const std::size_t calls = memory::RegistryCalls().size() - 1;  // less the open of the top
      std::printf("keys %7zu flags %u: %9zu calls, %.6f per key (", counts.keys, flags, calls,
                  static_cast<double>(calls) / static_cast<double>(counts.keys));
      for (const auto& [name, n] : byCall) std::printf(" %s %zu", name.c_str(), n);
      std::printf(" )\n");
      memory::RecordCalls(false);
    }
  }
}
