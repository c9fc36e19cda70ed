// Times the registry search over generated in-memory registries beside the
// bare walk that makes the same registry calls, counts the allocations of
// both, and times the case-insensitive match on registry-sized names.
//
//   sweep_bench [--sizes=10000,100000,1000000] [google benchmark flags]
//   sweep_bench --instructions [--sizes=...]   (run under callgrind)
//   sweep_bench --write-reg=FILE --keys=N       (a .reg file for the Wine benchmark)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/allocation_count.h"
#include "bench/bare_walk.h"
#include "bench/callgrind.h"
#include "bench/generated_registry.h"
#include "bench/reg_file.h"
#include "platform/memory/machine.h"
#include "sweep/registry_search.h"
#include "text/text_matching.h"

namespace {

struct SweepRow {
  const char* label;
  const char16_t* pattern;
  sweep::SearchFlags flags;
  std::size_t planted;
};

const SweepRow kSweeps[] = {
    {"identifier", u"6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18", sweep::MatchKeyNames | sweep::MatchValueNames,
     bench::Planted().productIdentifier},
    {"display-name", u"Korvex for Windows", sweep::MatchKeyNames | sweep::MatchValueNames | sweep::MatchValueData,
     bench::Planted().displayName},
    {"service-name", u"Tarnvol", sweep::MatchKeyNames | sweep::MatchValueNames, bench::Planted().serviceName},
};

constexpr std::uint64_t kSeed = 20240611;

// Every size is built once, before anything is timed, each in its own tree
// HKEY_LOCAL_MACHINE\Bench\<size>, so that the benchmarks may run in any
// order. A walk starts at its tree's top as at a root: the search never
// compares the name of the key it starts from.
struct Tree {
  bench::GeneratedCounts counts;
  platform::RegKey top{};
};
std::map<std::size_t, Tree> trees;

void BuildRegistries(const std::vector<std::size_t>& sizes) {
  memory::ResetMachine();
  memory::RecordCalls(false);
  for (std::size_t size : sizes) {
    const std::string digits = std::to_string(size);
    const std::u16string relative = u"Bench\\" + std::u16string(digits.begin(), digits.end());
    const std::u16string top = u"HKLM\\" + relative;
    const std::u16string prefix = top + u"\\";
    memory::TreeBuilder builder;
    Tree& tree = trees[size];
    tree.counts = bench::GenerateRegistry(
        size, kSeed, true, [&](const std::u16string& path) { builder.Key(path.empty() ? top : prefix + path); },
        [&](const bench::GeneratedValue& value) { builder.Value(value.name, value.type, value.data); });
    platform::RegOpenKeyExW(platform::kLocalMachine, relative.c_str(), platform::kKeyRead, &tree.top);
  }
}

// What one untimed walk of each kind cost in allocations and peak heap.
struct WalkCost {
  std::size_t keys = 0;
  std::size_t allocations = 0;
  std::size_t buffers = 0;  // bare walk only: its name and data buffers
  std::size_t peakBytes = 0;
};

struct Figures {
  WalkCost bare;
  std::map<std::string, WalkCost> scans;
};
std::map<std::size_t, Figures> figures;

__attribute__((noinline)) void RunBare(platform::RegKey top, bench::BareWalkCounts& counts) {
  bench::BareWalk(top, counts);
}

__attribute__((noinline)) void RunScan(platform::RegKey top, const SweepRow& row, sweep::FoundList& list) {
  sweep::ScanKey(top, u"", row.pattern, list, row.flags);
}

template <typename Walk>
WalkCost Measure(const Walk& walk) {
  const auto before = bench::Allocations();
  bench::ResetPeak();
  WalkCost cost;
  walk(cost);
  cost.allocations = bench::Allocations().allocations - before.allocations;
  cost.peakBytes = bench::Allocations().peakBytes - before.liveBytes;
  return cost;
}

// One untimed walk of each kind per size, for the allocation and heap
// figures; false when a search found other than the planted entries.
bool MeasureWalks(const std::vector<std::size_t>& sizes) {
  bool planted = true;
  for (std::size_t size : sizes) {
    const Tree& tree = trees[size];
    Figures& f = figures[size];
    f.bare = Measure([&](WalkCost& c) {
      bench::BareWalkCounts counts;
      RunBare(tree.top, counts);
      c.keys = counts.keys;
      c.buffers = counts.buffers;
    });
    for (const SweepRow& row : kSweeps) {
      std::size_t found = 0;
      WalkCost cost = Measure([&](WalkCost&) {
        sweep::FoundList list;
        RunScan(tree.top, row, list);
        found = list.size();
      });
      cost.keys = f.bare.keys;
      f.scans[row.label] = cost;
      if (found != row.planted) {
        std::fprintf(stderr, "%s, %zu keys: found %zu entries, planted %zu\n", row.label, size, found, row.planted);
        planted = false;
      }
    }
  }
  return planted;
}

void BareBenchmark(benchmark::State& state, std::size_t size) {
  const platform::RegKey top = trees[size].top;
  for (auto _ : state) {
    bench::BareWalkCounts counts;
    RunBare(top, counts);
    benchmark::DoNotOptimize(counts);
  }
  const WalkCost& cost = figures[size].bare;
  state.counters["keys"] = static_cast<double>(cost.keys);
  state.counters["allocs/key"] = static_cast<double>(cost.allocations) / static_cast<double>(cost.keys);
  state.counters["peak_KiB"] = static_cast<double>(cost.peakBytes) / 1024.0;
}

void ScanBenchmark(benchmark::State& state, std::size_t size, const SweepRow& row) {
  const platform::RegKey top = trees[size].top;
  for (auto _ : state) {
    sweep::FoundList list;
    RunScan(top, row, list);
    benchmark::DoNotOptimize(list.data());
  }
  const WalkCost& cost = figures[size].scans[row.label];
  state.counters["allocs/key"] = static_cast<double>(cost.allocations) / static_cast<double>(cost.keys);
  state.counters["peak_KiB"] = static_cast<double>(cost.peakBytes) / 1024.0;
}

// Key names, value names and the strings of string values, as a registry
// holds them, for timing the match alone.
std::vector<std::u16string> MatchCorpus() {
  std::vector<std::u16string> corpus;
  bench::GenerateRegistry(
      20000, kSeed, false, [&](const std::u16string& path) { corpus.push_back(path.substr(path.rfind(u'\\') + 1)); },
      [&](const bench::GeneratedValue& value) {
        corpus.push_back(value.name);
        if (value.type != 1 && value.type != 2 && value.type != 7) return;
        const auto* units = reinterpret_cast<const char16_t*>(value.data.data());
        for (std::size_t at = 0, end = value.data.size() / 2; at < end && units[at];) {
          std::u16string text(units + at);
          at += text.size() + 1;
          corpus.push_back(std::move(text));
        }
      });
  return corpus;
}

void MatchBenchmark(benchmark::State& state, const SweepRow& row) {
  static const std::vector<std::u16string> corpus = MatchCorpus();
  std::size_t units = 0;
  for (const auto& text : corpus) units += text.size();
  for (auto _ : state)
    for (const auto& text : corpus) benchmark::DoNotOptimize(text::ContainsNoCase(text.c_str(), row.pattern));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * corpus.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * units * 2));
  state.counters["texts"] = static_cast<double>(corpus.size());
  state.counters["units/text"] = static_cast<double>(units) / static_cast<double>(corpus.size());
}

// Keeps each benchmark's median times, in milliseconds, for the ratio table.
// The table uses CPU time: on a shared machine the wall clock also counts
// the time other processes held the core.
struct Median {
  double cpu;
  double real;
};
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  std::map<std::string, Median> medians;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median" || (run.run_type == Run::RT_Iteration && !medians.count(run.run_name.str())))
        medians[run.run_name.str()] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string Name(const char* walk, std::size_t size) {
  return std::string("walk/") + walk + "/" + std::to_string(size);
}

void PrintRatios(const RatioReporter& reporter, const std::vector<std::size_t>& sizes) {
  std::printf(
      "\nScanKey beside the bare walk: median CPU time (and wall-clock ratio),\n"
      "allocations and peak heap of one walk\n");
  std::printf("%-8s %-8s %-13s %5s %9s %7s %7s %7s %10s %8s %9s\n", "size", "visited", "walk", "flags", "cpu ms",
              "ns/key", "ratio", "wall", "allocs/key", "own/key", "peak KiB");
  for (std::size_t size : sizes) {
    const Figures& f = figures[size];
    auto bare = reporter.medians.find(Name("bare", size));
    if (bare == reporter.medians.end()) continue;
    const double keys = static_cast<double>(f.bare.keys);
    const double backend = static_cast<double>(f.bare.allocations - f.bare.buffers);
    std::printf("%-8zu %-8zu %-13s %5s %9.2f %7.1f %7s %7s %10.2f %8.2f %9.1f\n", size, f.bare.keys, "bare", "-",
                bare->second.cpu, bare->second.cpu * 1e6 / keys, "1.000", "1.000", f.bare.allocations / keys,
                f.bare.buffers / keys, f.bare.peakBytes / 1024.0);
    for (const SweepRow& row : kSweeps) {
      auto scan = reporter.medians.find(Name(row.label, size));
      auto cost = f.scans.find(row.label);
      if (scan == reporter.medians.end() || cost == f.scans.end()) continue;
      // The search's own allocations: all it made less what the registry calls made.
      std::printf("%-8zu %-8zu %-13s %5u %9.2f %7.1f %7.3f %7.3f %10.2f %8.2f %9.1f\n", size, f.bare.keys, row.label,
                  row.flags, scan->second.cpu, scan->second.cpu * 1e6 / keys, scan->second.cpu / bare->second.cpu,
                  scan->second.real / bare->second.real, cost->second.allocations / keys,
                  (cost->second.allocations - backend) / keys, cost->second.peakBytes / 1024.0);
    }
  }
  std::printf(
      "own/key: allocations made by the walk itself, without those inside the in-memory registry calls;\n"
      "for the bare walk these are just the name and data buffers the calls need.\n"
      "peak KiB: the most heap the walk held above what was live before it, registry calls included.\n");
}

// One walk of each kind per size, each in its own callgrind dump named
// "<walk> <size>", so instruction counts leave out building the registry.
void CountInstructions(const std::vector<std::size_t>& sizes) {
  for (std::size_t size : sizes) {
    const Tree& tree = trees[size];
    bench::BareWalkCounts bare;
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    RunBare(tree.top, bare);
    CALLGRIND_DUMP_STATS_AT(("bare " + std::to_string(size)).c_str());
    for (const SweepRow& row : kSweeps) {
      sweep::FoundList list;
      CALLGRIND_ZERO_STATS;
      RunScan(tree.top, row, list);
      CALLGRIND_DUMP_STATS_AT((std::string(row.label) + " " + std::to_string(size)).c_str());
      if (list.size() != row.planted) std::fprintf(stderr, "%s %zu: found %zu\n", row.label, size, list.size());
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    const auto& counts = tree.counts;
    std::printf(
        "size %zu keys %zu visited %zu values %zu value-bytes %zu name-units %zu text-units %zu deepest %zu\n", size,
        counts.keys, bare.keys, counts.values, counts.valueBytes, counts.nameUnits, counts.textUnits, counts.deepest);
  }
}

std::vector<std::size_t> ParseSizes(const char* text) {
  std::vector<std::size_t> sizes;
  for (const char* at = text; *at;) {
    char* end = nullptr;
    sizes.push_back(std::strtoul(at, &end, 10));
    at = *end == ',' ? end + 1 : end;
    if (end == at && *at) break;
  }
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes = {10000, 100000, 1000000};
  bool instructions = false;
  const char* regFile = nullptr;
  std::size_t regKeys = 40000;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--sizes=", 8) == 0) sizes = ParseSizes(argv[i] + 8);
    else if (std::strcmp(argv[i], "--instructions") == 0) instructions = true;
    else if (std::strncmp(argv[i], "--write-reg=", 12) == 0) regFile = argv[i] + 12;
    else if (std::strncmp(argv[i], "--keys=", 7) == 0) regKeys = std::strtoul(argv[i] + 7, nullptr, 10);
    else rest.push_back(argv[i]);
  }
  if (regFile) return bench::WriteRegFile(regFile, regKeys, kSeed) ? 0 : 1;
  BuildRegistries(sizes);
  if (instructions) {
    if (!KORVEX_CALLGRIND) std::fprintf(stderr, "built without valgrind/callgrind.h: no instruction counts\n");
    CountInstructions(sizes);
    return KORVEX_CALLGRIND ? 0 : 1;
  }
  if (!MeasureWalks(sizes)) return 1;

  for (const SweepRow& row : kSweeps)
    benchmark::RegisterBenchmark((std::string("match/") + row.label).c_str(), MatchBenchmark, row)
        ->Unit(benchmark::kMicrosecond);
  for (std::size_t size : sizes) {
    benchmark::RegisterBenchmark(Name("bare", size).c_str(), BareBenchmark, size)->Unit(benchmark::kMillisecond);
    for (const SweepRow& row : kSweeps)
      benchmark::RegisterBenchmark(Name(row.label, size).c_str(), ScanBenchmark, size, row)
          ->Unit(benchmark::kMillisecond);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter, sizes);
  benchmark::Shutdown();
  return 0;
}
