// Table-driven bit functions on 32-bit words, one byte at a time.
// The tables are computed at compile time from their defining rules:
// count_ones' map packs the counts of 2i and 2i+1 into two nibbles;
// count_ranges_of_one's map also holds, in its high nibble, the run count
// less the run that continues into the next byte (bit 7 set).
#include "impl/support/bit_utils.h"

namespace qarn {

namespace {

constexpr unsigned popcount_byte(unsigned b) {
    unsigned n = 0;
    for (; b != 0; b >>= 1)
        n += b & 1;
    return n;
}

constexpr unsigned runs_in_byte(unsigned b) {
    // A run starts at every set bit whose lower neighbour is clear.
    return popcount_byte(b & ~(b << 1) & 0xFF);
}

constexpr std::array<std::uint8_t, 256> make_indexes_for_byte() {
    std::array<std::uint8_t, 256> t{};
    t[0] = 7;
    for (unsigned b = 1; b < 256; ++b) {
        unsigned lsb = 0;
        while (!((b >> lsb) & 1))
            ++lsb;
        unsigned msb = 7;
        while (!((b >> msb) & 1))
            --msb;
        t[b] = static_cast<std::uint8_t>(lsb + 8 * msb);
    }
    return t;
}

constexpr std::array<std::uint8_t, 128> make_ones_map() {
    std::array<std::uint8_t, 128> t{};
    for (unsigned i = 0; i < 128; ++i)
        t[i] = static_cast<std::uint8_t>(popcount_byte(2 * i) | popcount_byte(2 * i + 1) << 4);
    return t;
}

constexpr std::array<std::uint8_t, 256> make_ranges_map() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned runs = runs_in_byte(b);
        const unsigned continuing = (b & 0x80) ? runs - 1 : runs;
        t[b] = static_cast<std::uint8_t>(runs | continuing << 4);
    }
    return t;
}

}  // namespace

const std::array<std::uint8_t, 256> g_indexesForByte = make_indexes_for_byte();

unsigned find_lsb_index(unsigned w) {
    unsigned shift = 0;
    while (shift < 24 && ((w >> shift) & 0xFF) == 0)
        shift += 8;
    return shift + (g_indexesForByte[(w >> shift) & 0xFF] & 7);
}

unsigned find_msb_index(unsigned w) {
    unsigned shift = 24;
    while (shift > 0 && ((w >> shift) & 0xFF) == 0)
        shift -= 8;
    return shift + (g_indexesForByte[(w >> shift) & 0xFF] >> 3);
}

unsigned count_ones(unsigned w) {
    static constexpr std::array<std::uint8_t, 128> count_map = make_ones_map();
    unsigned n = 0;
    for (; w != 0; w >>= 8) {
        const unsigned entry = count_map[(w & 0xFF) >> 1];
        n += (w & 1) ? entry >> 4 : entry & 0xF;
    }
    return n;
}

unsigned count_ranges_of_one(unsigned w) {
    static constexpr std::array<std::uint8_t, 256> count_map = make_ranges_map();
    unsigned n = 0;
    for (unsigned shift = 0; shift < 32; shift += 8) {
        const unsigned entry = count_map[(w >> shift) & 0xFF];
        // A run crossing into the next byte is counted with that byte.
        const bool continues = shift < 24 && ((w >> (shift + 8)) & 1);
        n += continues ? (entry >> 4) & 7 : entry & 7;
    }
    return n;
}

}  // namespace qarn
