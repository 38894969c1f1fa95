// Division and remainder over (x0, x1, x2), truncating toward zero:
//   div_propagator  x0 = x1 / x2, with x / 0 = 0; INT_MIN / -1 (2^31) has no result
//   mod_propagator  x0 = x1 % x2, the sign of x1, with x % 0 = 0; INT_MIN % -1 = 0
// Both follow the accurate / bounds scheme; their bounds rules below work on
// one sign combination, take the divisor 0 out first and put its support
// (quotient or remainder 0, any dividend) back at the end. Explanations are
// always found by re-running a copy on probe domains.
#pragma once

#include <vector>

#include "impl/propagators/approximated_arithmetic.h"

namespace qarn {

class div_propagator : public approximated_arithmetic_propagator<div_propagator> {
public:
    static long long evaluate(int a, int b) {
        return b == 0 ? 0 : static_cast<long long>(a) / b;
    }

    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    void propagate_unisigned_bounds(iset* domains,
                                    const constraint_runtime_info& ri) const override;
    const char* short_name() const override { return "/"; }
    const char* long_name() const override { return "div"; }

    // The three rules on non-zero divisors: the quotient from the operands'
    // bounds, the dividend from quotient * divisor + remainder, and the
    // divisors that carry the dividends into the quotients.
    void propagate_unisigned_bounds_division(iset* domains) const;
    void propagate_unisigned_bounds_dividend(iset* domains) const;
    void propagate_unisigned_bounds_divisor(iset* domains) const;
};

class mod_propagator : public approximated_arithmetic_propagator<mod_propagator> {
public:
    static long long evaluate(int a, int b) {
        return b == 0 ? 0 : static_cast<long long>(a) % b;
    }

    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    void propagate_unisigned_bounds(iset* domains,
                                    const constraint_runtime_info& ri) const override;
    const char* short_name() const override { return "%"; }
    const char* long_name() const override { return "mod"; }

    // Without INT_MIN and the modulus 0: the domains reflected into the
    // non-negative range (the remainder's sign follows the dividend's).
    void propagate_unisigned_bounds_base(iset* domains, const constraint_runtime_info& ri) const;
    // Every value >= 0, every modulus >= 1.
    void propagate_positive_bounds(iset* domains) const;
    // The remainders and dividends of one block [lo, hi] of dividends
    // (lo / m = hi / m) join the supports.
    void accumulate_positive_bounds(iset& remainder_support, iset& dividend_support,
                                    const iset& remainder_domain, long long lo, long long hi,
                                    long long m) const;
    // The remainder must be 0 (reflected domains).
    void propagate_when_zero_out(iset* domains) const;
    // INT_MIN was taken out of the domains flagged (remainder, dividend, modulus).
    void propagate_min_int(iset* domains, const bool* held_min_int,
                           const constraint_runtime_info& ri) const;
    // The dividend INT_MIN against the moduli of domains[2]: the remainders
    // and moduli it supports join `supports`; true when there is one.
    bool propagate_min_int_divided(const iset* domains, iset* supports,
                                   const constraint_runtime_info& ri) const;
};

} // namespace qarn
