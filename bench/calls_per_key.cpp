// Registry calls per key of the walk that the sweep makes of each root, for
// the three patterns at once, over two generated shapes of
// HKEY_LOCAL_MACHINE:
//   plain:   the generated tree alone, with no link;
//   windows: as every Windows machine has it, System\CurrentControlSet a link
//            to System\ControlSet001 and its Hardware Profiles\Current a link
//            to Hardware Profiles\0001, tens of thousands of keys behind them,
//            beside a tree without links.
// Counts every call the in-memory registry logs, KeyObjectName and IsLinkKey
// included, and, run under callgrind, the instructions of each walk.
//
//   calls_per_key [KEYS...]     (default 10000 100000)
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/callgrind.h"
#include "bench/generated_registry.h"
#include "platform/memory/machine.h"
#include "platform/registry.h"
#include "product/tables.h"
#include "sweep/registry_search.h"

namespace {

void Generate(const std::u16string& top, std::size_t keys, std::uint64_t seed) {
  memory::TreeBuilder builder;
  bench::GenerateRegistry(
      keys, seed, false, [&](const std::u16string& path) { builder.Key(path.empty() ? top : top + u"\\" + path); },
      [&](const bench::GeneratedValue& value) { builder.Value(value.name, value.type, value.data); });
}

void Plain(std::size_t keys) { Generate(u"HKLM\\Software\\Generated", keys, 20261209); }

// A control set of half the keys, seen twice through CurrentControlSet, and
// the other half without links.
void Windows(std::size_t keys) {
  memory::DeleteKey(u"HKLM\\System\\CurrentControlSet");
  Generate(u"HKLM\\System\\ControlSet001\\Services", keys / 2, 20261209);
  Generate(u"HKLM\\System\\ControlSet001\\Hardware Profiles\\0001\\Software", 200, 7);
  memory::MakeLink(u"HKLM\\System\\ControlSet001\\Hardware Profiles\\Current",
                   u"\\Registry\\Machine\\System\\ControlSet001\\Hardware Profiles\\0001");
  memory::MakeLink(u"HKLM\\System\\CurrentControlSet", u"\\Registry\\Machine\\System\\ControlSet001");
  Generate(u"HKLM\\Software\\Generated", keys / 2, 20240611);
}

void Measure(const char* shape, void (*build)(std::size_t), std::size_t keys) {
  memory::ResetMachine();
  memory::RecordCalls(false);
  build(keys);
  memory::RecordCalls(true);
  memory::ClearRegistryCalls();
  sweep::TaggedList found;
  sweep::ScanKeyForPatterns(platform::kLocalMachine, u"", product::SweepTable, std::size(product::SweepTable), 7,
                            found);
  std::map<std::string, std::size_t> byCall;
  for (const auto& call : memory::RegistryCalls()) ++byCall[call.substr(0, call.find(' '))];
  // Every key the walk enters is opened once, the root aside.
  const std::size_t visited = byCall["RegOpenKeyExW"] + 1;
  std::printf("%-7s %7zu keys: visited %7zu, %.3f calls per key (", shape, keys, visited,
              static_cast<double>(memory::RegistryCalls().size()) / static_cast<double>(visited));
  for (const auto& [name, n] : byCall) std::printf(" %s %zu", name.c_str(), n);
  std::printf(" )\n");
  memory::RecordCalls(false);
  found.clear();
  CALLGRIND_START_INSTRUMENTATION;
  CALLGRIND_ZERO_STATS;
  sweep::ScanKeyForPatterns(platform::kLocalMachine, u"", product::SweepTable, std::size(product::SweepTable), 7,
                            found);
  CALLGRIND_DUMP_STATS_AT((std::string(shape) + " " + std::to_string(keys)).c_str());
  CALLGRIND_STOP_INSTRUMENTATION;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {10000, 100000};
  for (std::size_t keys : sizes) {
    Measure("plain", Plain, keys);
    Measure("windows", Windows, keys);
  }
}
