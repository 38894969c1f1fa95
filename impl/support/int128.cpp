// Division, conversion and printing of qarn::int128.
// divide() reduces to 64-bit division when the value fits and the signs
// agree; otherwise it divides magnitudes in 32-bit digits, mirroring the
// rounding mode for a negative quotient, and negates the result.
#include "impl/support/int128.h"

#include <cassert>
#include <climits>
#include <ostream>
#include <stdexcept>
#include <string>

namespace qarn {

long int128::as_int64() const {
    if (!fits_int64())
        throw std::out_of_range("int128::as_int64() out of bounds");
    return static_cast<long>(low);
}

long int128::divide_s64(long n, long d, rounding_mode mode) {
    assert(d != 0 && !(n == LONG_MIN && d == -1));
    if (mode == ROUND_TO_ZERO || n == 0)
        return n / d;
    const bool positive_quotient = (n < 0) == (d < 0);
    // Stepping n one unit toward zero before truncating, then one step away,
    // gives the exact ceiling or floor and cannot overflow.
    if (mode == ROUND_UP) {
        if (!positive_quotient)
            return n / d;
        return n > 0 ? (n - 1) / d + 1 : (n + 1) / d + 1;
    }
    if (positive_quotient)
        return n / d;
    return n > 0 ? (n - 1) / d - 1 : (n + 1) / d - 1;
}

int128 int128::divide(int d, rounding_mode mode) const {
    assert(d != 0);
    if (mode != ROUND_UP && mode != ROUND_TO_ZERO)
        mode = ROUND_DOWN;
    const bool negative_value = high < 0;
    const bool negative_divisor = d < 0;

    if (fits_int64() && negative_value == negative_divisor) {
        const long n = static_cast<long>(low);
        // -2^63 / -1 = 2^63 does not fit in 64 bits: it takes the magnitude path.
        if (!(n == LONG_MIN && d == -1))
            return int128(divide_s64(n, d, mode));
    }

    // Magnitudes: |value| in two unsigned words, |d| <= 2^31.
    const int128 magnitude = negative_value ? -*this : *this;
    const std::uint64_t mag_high = static_cast<std::uint64_t>(magnitude.high);
    const std::uint64_t mag_low = magnitude.low;
    const std::int64_t d64 = d;
    const std::uint64_t divisor = static_cast<std::uint64_t>(d64 < 0 ? -d64 : d64);

    // A negative quotient rounds its magnitude the other way.
    const bool negative_quotient = negative_value != negative_divisor;
    if (negative_quotient && mode != ROUND_TO_ZERO)
        mode = mode == ROUND_UP ? ROUND_DOWN : ROUND_UP;

    int128 q;
    if (mag_high == 0) {
        q.low = mode == ROUND_UP && mag_low != 0 ? (mag_low - 1) / divisor + 1
                                                 : mag_low / divisor;
    } else {
        // Long division in 32-bit digits; every remainder is below 2^31, so
        // each partial dividend fits in 63 bits.
        const std::uint64_t q_high = mag_high / divisor;
        std::uint64_t rem = mag_high % divisor;
        const std::uint64_t mid = (rem << 32) | (mag_low >> 32);
        const std::uint64_t q_mid = mid / divisor;
        rem = mid % divisor;
        const long last = static_cast<long>((rem << 32) | (mag_low & 0xFFFFFFFFu));
        // The rounded last digit may reach 2^32 and carry upward.
        const std::uint64_t q_last =
            static_cast<std::uint64_t>(divide_s64(last, static_cast<long>(divisor), mode));
        q = from_words(static_cast<std::int64_t>(q_high), q_mid << 32) + int128(q_last);
    }
    return negative_quotient ? -q : q;
}

std::ostream& operator<<(std::ostream& os, const int128& v) {
    __extension__ typedef unsigned __int128 u128;
    const bool negative = v.high < 0;
    const int128 magnitude = negative ? -v : v;  // -2^127 stays, read as unsigned below
    u128 m = (static_cast<u128>(static_cast<std::uint64_t>(magnitude.high)) << 64) | magnitude.low;
    char digits[41];
    char* p = digits + sizeof digits;
    *--p = '\0';
    do {
        *--p = static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    } while (m != 0);
    if (negative)
        *--p = '-';
    return os << p;
}

}  // namespace qarn
