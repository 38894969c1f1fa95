// qarn::random: process-wide pseudo-random numbers over the C library's
// rand()/srand(), so its state is the single unlocked generator of the process.
// All members are static. gen(n) and range() reject empty intervals with
// std::invalid_argument; range() over the full 32-bit span returns gen().
#pragma once

namespace qarn {

class random {
public:
    random() = delete;

    // 32 bits from three successive rand() results: r1 ^ (r2 << 11) ^ (r3 << 22).
    static unsigned gen();
    // A value in [0, n); n must be non-zero.
    static unsigned gen(unsigned n);
    // A value in [lo, hi]; lo must not exceed hi.
    static unsigned range(unsigned lo, unsigned hi);
    static int range(int lo, int hi);
    // Seeds rand(); seed 0 takes 4 bytes of /dev/urandom, else the clock.
    // Returns the seed actually used.
    static unsigned set_seed(unsigned seed);
    // Seed from argv[1] (strtoul, base 0), or a fresh seed when absent.
    static unsigned set_seed(int argc, char** argv);
};

namespace detail {
// The seed set_seed(0) uses: 4 bytes read from the given device, or the
// current time in seconds when it cannot be opened or read.
unsigned fresh_seed(const char* device_path);
}  // namespace detail

}  // namespace qarn
