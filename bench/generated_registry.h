// A registry of a chosen size that looks like a real machine's to the walk:
// skewed fan-out and depth, GUID, word, number and extension names of the
// usual lengths, a mix of value types and sizes, and a handful of entries
// that carry the product's names. The same seed gives the same registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct GeneratedValue {
  std::u16string name;  // empty for the default value
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

// What the generated tree holds; the planted entries are counted so that a
// benchmark can check the search found exactly them.
struct GeneratedCounts {
  std::size_t keys = 0;
  std::size_t values = 0;
  std::size_t valueBytes = 0;
  std::size_t nameUnits = 0;  // key and value names, what every search reads
  std::size_t textUnits = 0;  // string value data, what a search with MatchValueData reads too
  std::size_t deepest = 0;
  std::size_t widest = 0;
};

// Calls key(path) for each of about `keys` keys in pre-order (path relative to
// the tree's top, "" for the top itself), then value(...) for each of that
// key's values, before the next key. With plant set, the tree also holds the
// matches that Planted() counts; without it nothing in it names the product.
GeneratedCounts GenerateRegistry(std::size_t keys, std::uint64_t seed, bool plant,
                                 const std::function<void(const std::u16string& path)>& key,
                                 const std::function<void(const GeneratedValue& value)>& value);

// The planted matches, per sweep pattern, with the flags the sweep uses.
// Finding more or fewer than these means the generator or the search is wrong.
struct PlantedMatches {
  std::size_t productIdentifier;  // flags 3
  std::size_t displayName;        // flags 7
  std::size_t serviceName;        // flags 3
};
PlantedMatches Planted();

}  // namespace bench
