// A .reg file of generated keys spread over several roots, for seeding a Wine
// prefix with a registry of a realistic size. Nothing in it names the product.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

// Writes about `keys` keys in UTF-16 with a byte-order mark, as reg import
// reads them. False when the file cannot be written.
bool WriteRegFile(const char* path, std::size_t keys, std::uint64_t seed);

}  // namespace bench
