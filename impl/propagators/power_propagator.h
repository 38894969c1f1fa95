// x0 = x1 ** x2 over (result, base, exponent), exact: a power outside the
// 32-bit range has no support. Conventions: 0 ** y = 0 for every y (0 ** 0
// included), 1 ** y = 1, (-1) ** y = 1 or -1 by the parity of y, and
// x ** y = 0 for y < 0 and |x| >= 2.
// The accurate / bounds scheme; the bounds rule only handles bases 0 and 1,
// the sign of even powers, and exponents up to 1, leaving larger exponents to
// the accurate mode.
#pragma once

#include "impl/propagators/approximated_arithmetic.h"

namespace qarn {

class pow_propagator : public approximated_arithmetic_propagator<pow_propagator> {
public:
    // The power under the conventions above, or a value outside the 32-bit
    // range when it does not fit.
    static long long evaluate(int base, int exponent);
    // base ** exponent for exponent >= 0, stopping at the first partial
    // result outside the 32-bit range (which is returned).
    static long long nontrivial_pow(int base, int exponent);

    void propagate_unisigned_bounds(iset* domains,
                                    const constraint_runtime_info& ri) const override;
    const char* short_name() const override { return "**"; }
    const char* long_name() const override { return "pow"; }
};

} // namespace qarn
