// Times the whole sweep, all fifteen (pattern, root) pairs with their
// deletions, over one generated in-memory registry, beside one bare walk of
// the same five roots: the sweep that walks each root once, and the literal
// sweep that walks it once per pattern. Between timed runs the product's
// entries the sweep deleted are planted again, untimed.
//
//   whole_sweep --keys=N [google benchmark flags]
//   whole_sweep --keys=N --instructions      (run under callgrind)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "bench/allocation_count.h"
#include "bench/bare_walk.h"
#include "bench/callgrind.h"
#include "bench/generated_registry.h"
#include "platform/memory/machine.h"
#include "product/tables.h"
#include "tests/support/sweep_differential.h"
#include "text/text_matching.h"

namespace {

constexpr std::uint64_t kSeed = 20240611;
constexpr const char16_t* kTop = u"HKLM\\Software\\Generated";

// What the sweep deletes and each run must find again: keys whose own name
// names the product, with their values, and values that name it elsewhere.
struct Planted {
  std::u16string key;
  bench::GeneratedValue value;
  bool wholeKey;
};
std::vector<Planted> planted;

bool NamesProduct(const std::u16string& text) {
  for (const product::SweepPattern& row : product::SweepTable)
    if (text::ContainsNoCase(text.c_str(), row.pattern)) return true;
  return false;
}

bool TextNamesProduct(const bench::GeneratedValue& value) {
  if (value.type != platform::kRegSz && value.type != platform::kRegExpandSz && value.type != platform::kRegMultiSz)
    return false;
  const std::u16string units(reinterpret_cast<const char16_t*>(value.data.data()), value.data.size() / 2);
  for (std::size_t at = 0; at < units.size();) {
    const std::size_t end = std::min(units.find(u'\0', at), units.size());
    if (NamesProduct(units.substr(at, end - at))) return true;
    at = end + 1;
  }
  return false;
}

std::size_t Build(std::size_t keys) {
  memory::ResetMachine();
  memory::RecordCalls(false);
  memory::TreeBuilder builder;
  std::u16string current;
  bool currentPlanted = false;
  const auto counts = bench::GenerateRegistry(
      keys, kSeed, true,
      [&](const std::u16string& path) {
        current = path.empty() ? std::u16string(kTop) : std::u16string(kTop) + u"\\" + path;
        currentPlanted = NamesProduct(current.substr(current.rfind(u'\\') + 1));
        if (currentPlanted) planted.push_back({current, {}, true});
        builder.Key(current);
      },
      [&](const bench::GeneratedValue& value) {
        if (currentPlanted || NamesProduct(value.name) || TextNamesProduct(value))
          planted.push_back({current, value, false});
        builder.Value(value.name, value.type, value.data);
      });
  return counts.keys;
}

void Replant() {
  for (const Planted& entry : planted) {
    if (entry.wholeKey) memory::CreateKey(entry.key);
    else memory::SetValue(entry.key, entry.value.name, entry.value.type, entry.value.data);
  }
  memory::ClearOutput();
}

__attribute__((noinline)) std::size_t BareWalkOfRoots() {
  bench::BareWalkCounts counts;
  for (const platform::RootRow& root : product::RootTable) bench::BareWalk(root.key, counts);
  return counts.keys;
}

__attribute__((noinline)) void Literal() { sweep_differential::LiteralSweep(); }
__attribute__((noinline)) void OneWalk() { sweep_differential::OneWalkSweep(); }

std::u16string expectedReport;

void BareBenchmark(benchmark::State& state) {
  std::size_t keys = 0;
  for (auto _ : state) keys = BareWalkOfRoots();
  state.counters["keys"] = static_cast<double>(keys);
}

template <void (*Sweep)()>
void SweepBenchmark(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Replant();
    state.ResumeTiming();
    Sweep();
  }
  if (memory::Output() != expectedReport) state.SkipWithError("the report differs from the literal sweep's");
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t keys = 10000;
  bool instructions = false;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--keys=", 7) == 0) keys = std::strtoul(argv[i] + 7, nullptr, 10);
    else if (std::strcmp(argv[i], "--instructions") == 0) instructions = true;
    else rest.push_back(argv[i]);
  }
  const std::size_t generated = Build(keys);
  Replant();
  Literal();
  expectedReport = memory::Output();
  std::fprintf(stderr, "generated keys %zu, visited by one walk of the five roots %zu, planted entries %zu\n",
               generated, BareWalkOfRoots(), planted.size());
  // The most heap each sweep held above what was live before it, the
  // registry's own allocations during the calls included.
  const struct {
    const char* name;
    void (*sweep)();
  } sweeps[] = {{"literal", Literal}, {"one-walk", OneWalk}};
  for (const auto& [name, sweep] : sweeps) {
    Replant();
    const std::size_t before = bench::Allocations().liveBytes;
    bench::ResetPeak();
    sweep();
    std::fprintf(stderr, "peak heap above the start, %s sweep: %.1f KiB\n", name,
                 static_cast<double>(bench::Allocations().peakBytes - before) / 1024.0);
  }
  if (instructions) {
    std::printf("size %zu keys %zu visited %zu\n", keys, generated, BareWalkOfRoots());
    if (!KORVEX_CALLGRIND) std::fprintf(stderr, "built without valgrind/callgrind.h: no instruction counts\n");
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    BareWalkOfRoots();
    CALLGRIND_DUMP_STATS_AT(("bare " + std::to_string(keys)).c_str());
    Replant();
    CALLGRIND_ZERO_STATS;
    Literal();
    CALLGRIND_DUMP_STATS_AT(("literal " + std::to_string(keys)).c_str());
    Replant();
    CALLGRIND_ZERO_STATS;
    OneWalk();
    CALLGRIND_DUMP_STATS_AT(("one-walk " + std::to_string(keys)).c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
    if (memory::Output() != expectedReport) {
      std::fprintf(stderr, "the one-walk report differs from the literal sweep's\n");
      return 1;
    }
    return KORVEX_CALLGRIND ? 0 : 1;
  }
  const std::string size = std::to_string(keys);
  benchmark::RegisterBenchmark(("whole/bare-walk/" + size).c_str(), BareBenchmark)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("whole/literal-sweep/" + size).c_str(), SweepBenchmark<Literal>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("whole/one-walk-sweep/" + size).c_str(), SweepBenchmark<OneWalk>)
      ->Unit(benchmark::kMillisecond);
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
