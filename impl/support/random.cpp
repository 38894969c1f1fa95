// qarn::random over the C library's rand()/srand().
// Wide draws combine three rand() results (each at least 15 random bits);
// range(int) maps ints onto unsigneds by flipping the sign bit, which keeps
// their order, and flips it back on the result.
#include "impl/support/random.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace qarn {

namespace detail {

unsigned fresh_seed(const char* device_path) {
    if (std::FILE* f = std::fopen(device_path, "rb")) {
        unsigned seed;
        const bool ok = std::fread(&seed, sizeof seed, 1, f) == 1;
        std::fclose(f);
        if (ok)
            return seed;
    }
    return static_cast<unsigned>(std::time(nullptr));
}

}  // namespace detail

unsigned random::gen() {
    const unsigned r1 = static_cast<unsigned>(std::rand());
    const unsigned r2 = static_cast<unsigned>(std::rand());
    const unsigned r3 = static_cast<unsigned>(std::rand());
    return r1 ^ (r2 << 11) ^ (r3 << 22);
}

unsigned random::gen(unsigned n) {
    if (n == 0)
        throw std::invalid_argument("random::gen(0) is not allowed");
    if (n > static_cast<unsigned>(INT_MAX))
        return gen() % n;
    return static_cast<unsigned>(std::rand()) % n;
}

unsigned random::range(unsigned lo, unsigned hi) {
    if (lo > hi)
        throw std::invalid_argument("random::range: wrong parameter order");
    if (lo == hi)
        return hi;
    if (hi - lo == UINT_MAX)
        return gen();
    return gen(hi - lo + 1) + lo;
}

int random::range(int lo, int hi) {
    constexpr unsigned sign = 0x80000000u;
    const unsigned r = range(static_cast<unsigned>(lo) ^ sign, static_cast<unsigned>(hi) ^ sign);
    return static_cast<int>(r ^ sign);
}

unsigned random::set_seed(unsigned seed) {
    if (seed == 0)
        seed = detail::fresh_seed("/dev/urandom");
    std::srand(seed);
    return seed;
}

unsigned random::set_seed(int argc, char** argv) {
    if (argc < 2)
        return set_seed(0u);
    return set_seed(static_cast<unsigned>(std::strtoul(argv[1], nullptr, 0)));
}

}  // namespace qarn
