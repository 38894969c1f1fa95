// Extended Euclid and the linear Diophantine solver.
// Bezout coefficients are bounded by the inputs over the gcd, so they fit in
// 64 bits; the particular solution is formed in 128 bits where a product of
// two 32-bit quantities could exceed the signed 64-bit range.
#include "impl/support/number_theory.h"

namespace qarn {

std::pair<std::int64_t, std::int64_t> bezout_coefficients(unsigned a, unsigned b, unsigned* gcd) {
    std::int64_t old_r = a, r = b;
    std::int64_t old_x = 1, x = 0;
    std::int64_t old_y = 0, y = 1;
    while (r != 0) {
        const std::int64_t q = old_r / r;
        std::int64_t t = old_r - q * r;
        old_r = r;
        r = t;
        t = old_x - q * x;
        old_x = x;
        x = t;
        t = old_y - q * y;
        old_y = y;
        y = t;
    }
    if (old_x < 0) {  // implies a, b and the gcd are non-zero
        old_x += b / old_r;
        old_y -= a / old_r;
    }
    if (gcd)
        *gcd = static_cast<unsigned>(old_r);
    return {old_x, old_y};
}

bool linear_diophantine_equation(unsigned a, unsigned b, unsigned c, long long& x, unsigned& dx,
                                 long long& y, unsigned& dy, unsigned* gcd) {
    if (c == 0) {
        x = y = 0;
        if (a != 0 && b != 0) {
            unsigned g;
            bezout_coefficients(a, b, &g);
            if (gcd)
                *gcd = g;
            dx = b / g;
            dy = a / g;
        } else {
            if (gcd)
                *gcd = a | b;
            dx = a == 0 ? 1 : 0;
            dy = b == 0 ? 1 : 0;
        }
        return true;
    }
    if (a == 0) {
        if (gcd)
            *gcd = b;
        if (b == 0 || c % b != 0)
            return false;
        x = 0;
        y = -static_cast<long long>(c / b);
        dx = 1;
        dy = 0;
        return true;
    }
    if (b == 0) {
        if (gcd)
            *gcd = a;
        if (c % a != 0)
            return false;
        x = c / a;
        y = 0;
        dx = 0;
        dy = 1;
        return true;
    }
    unsigned g;
    const std::int64_t u = bezout_coefficients(a, b, &g).first;  // a*u = g (mod b), u >= 0
    if (gcd)
        *gcd = g;
    if (c % g != 0)
        return false;
    dx = b / g;
    dy = a / g;
    const std::uint64_t cg = c / g;
    // (u mod dx) and cg are below 2^32, so their product fits in 64 bits.
    const std::uint64_t xs = (static_cast<std::uint64_t>(u) % dx) * cg % dx;
    x = static_cast<long long>(xs);
    // dy*x can reach 2^64; the exact quotient lies within (-2^32, 2^32).
    __extension__ typedef __int128 s128;
    y = static_cast<long long>((static_cast<s128>(dy) * xs - static_cast<s128>(cg)) / dx);
    return true;
}

}  // namespace qarn
