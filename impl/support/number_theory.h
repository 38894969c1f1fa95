// Extended Euclidean algorithm and the linear Diophantine equation
// a*x - b*y = c over unsigned 32-bit inputs. Intermediates are 64/128-bit,
// so inputs up to 2^32 - 1 never overflow.
#pragma once

#include <cstdint>
#include <utility>

namespace qarn {

// (x, y) with a*x + b*y = gcd(a, b) and x >= 0; stores the gcd when asked.
std::pair<std::int64_t, std::int64_t> bezout_coefficients(unsigned a, unsigned b,
                                                          unsigned* gcd = nullptr);

// Solves a*x - b*y = c. On success every solution is (x + k*dx, y + k*dy);
// when a and b are both non-zero, 0 <= x < dx. Stores gcd(a, b) when asked.
bool linear_diophantine_equation(unsigned a, unsigned b, unsigned c, long long& x, unsigned& dx,
                                 long long& y, unsigned& dy, unsigned* gcd = nullptr);

}  // namespace qarn
