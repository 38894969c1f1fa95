// Bit-index and bit-count functions on 32-bit words, driven by byte tables.
// g_indexesForByte[b] = (lowest set bit of b) + 8 * (highest set bit of b),
// with entry 0 = 7 so that a zero word gives lsb 31 and msb 0.
#pragma once

#include <array>
#include <cstdint>

namespace qarn {

extern const std::array<std::uint8_t, 256> g_indexesForByte;

// Index of the lowest set bit; 31 for w = 0.
unsigned find_lsb_index(unsigned w);
// Index of the highest set bit; 0 for w = 0.
unsigned find_msb_index(unsigned w);
// Number of set bits.
unsigned count_ones(unsigned w);
// Number of maximal runs of consecutive set bits.
unsigned count_ranges_of_one(unsigned w);

}  // namespace qarn
