// Reference predicates over (x0, x1, x2) for the product, quotient,
// remainder and power constraints, written from their definitions in 64-bit
// arithmetic, independently of the propagators.
#pragma once

#include <climits>
#include <vector>

namespace qarn_test {

inline long long product(const std::vector<int>& x) {
    return static_cast<long long>(x[1]) * static_cast<long long>(x[2]);
}

inline bool is_product(const std::vector<int>& x) {
    return x[0] == product(x);
}

// The product modulo 2^32 as a signed value.
inline bool is_wrapped_product(const std::vector<int>& x) {
    const unsigned long long low = static_cast<unsigned long long>(product(x)) & 0xFFFFFFFFull;
    const long long wrapped = low >= 0x80000000ull ? static_cast<long long>(low) - (1ll << 32)
                                                   : static_cast<long long>(low);
    return x[0] == wrapped;
}

// Truncating division; x / 0 = 0; INT_MIN / -1 = 2^31 matches nothing.
inline bool is_quotient(const std::vector<int>& x) {
    if (x[2] == 0)
        return x[0] == 0;
    return x[0] == static_cast<long long>(x[1]) / x[2];
}

// The remainder with the dividend's sign; x % 0 = 0.
inline bool is_remainder(const std::vector<int>& x) {
    if (x[2] == 0)
        return x[0] == 0;
    const long long a = x[1], m = x[2] < 0 ? -static_cast<long long>(x[2]) : x[2];
    const long long magnitude = (a < 0 ? -a : a) % m;
    return x[0] == (a < 0 ? -magnitude : magnitude);
}

// base ** exponent: 0 ** y = 0, 1 ** y = 1, (-1) ** y by parity, else 0 for
// negative exponents; false when the power leaves the 32-bit range.
inline bool power_of(int base, int exponent, long long& power) {
    if (base == 0 || base == 1) {
        power = base;
        return true;
    }
    if (base == -1) {
        power = exponent % 2 == 0 ? 1 : -1;
        return true;
    }
    if (exponent < 0) {
        power = 0;
        return true;
    }
    power = 1;
    for (int i = 0; i < exponent; ++i) {
        power *= base;
        if (power < INT_MIN || power > INT_MAX)
            return false;
    }
    return true;
}

inline bool is_power(const std::vector<int>& x) {
    long long power;
    return power_of(x[1], x[2], power) && x[0] == power;
}

} // namespace qarn_test
