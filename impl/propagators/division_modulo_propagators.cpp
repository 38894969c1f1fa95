// Division and remainder: the bounds rules of one sign combination.
#include "impl/propagators/division_modulo_propagators.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

using arithmetic::abs64;
using arithmetic::inner;
using arithmetic::intersect_clamped;
using arithmetic::outer;

const iset::range_type ZERO(0, 0);

} // namespace

// ---------------------------------------------------------------------------
// x0 = x1 / x2

void div_propagator::explain_propagation(unsigned param, const iset& values,
                                         const iset& new_domain,
                                         const constraint_runtime_info& ri,
                                         std::vector<iset>& explanation) const {
    explain_tightly(param, values, new_domain, ri, explanation);
}

void div_propagator::propagate_unisigned_bounds_division(iset* d) const {
    const long long q1 = static_cast<long long>(inner(d[1])) / outer(d[2]);
    const long long q2 = static_cast<long long>(outer(d[1])) / inner(d[2]);
    intersect_clamped(d[0], std::min(q1, q2), std::max(q1, q2));
}

void div_propagator::propagate_unisigned_bounds_dividend(iset* d) const {
    // x1 = q * x2 + r with |r| < |x2|, r of the dividend's sign.
    const long long small = static_cast<long long>(inner(d[0])) * inner(d[2]);
    const long long big = static_cast<long long>(outer(d[0])) * outer(d[2]);
    const long long slack = abs64(outer(d[2])) - 1;
    if (big > 0)
        intersect_clamped(d[1], small, big + slack);
    else if (big == 0)
        intersect_clamped(d[1], -slack, slack);
    else
        intersect_clamped(d[1], big - slack, small);
}

void div_propagator::propagate_unisigned_bounds_divisor(iset* d) const {
    const long long a = inner(d[1]), big_a = outer(d[1]);
    // The divisors beyond every dividend in magnitude give the quotient 0.
    iset zero_quotient;
    if (d[0].contains(0)) {
        zero_quotient = d[2];
        if (outer(d[2]) > 0)
            intersect_clamped(zero_quotient, abs64(a) + 1, INT64_MAX);
        else
            intersect_clamped(zero_quotient, INT64_MIN, -abs64(a) - 1);
    }
    iset quotients(d[0]);
    quotients.erase(ZERO);
    if (quotients.empty()) {
        d[2] = std::move(zero_quotient);
        return;
    }
    const long long q = inner(quotients), big_q = outer(quotients);
    // Magnitudes of the divisors with a non-zero quotient: |lo| + 1 .. |hi|,
    // both carrying the divisors' sign.
    const long long hi = big_a / q;
    const long long lo = big_q > 0 ? a / (big_q + 1) : a / (big_q - 1);
    if (lo >= 1) {
        if (hi >= lo + 1)
            intersect_clamped(d[2], lo + 1, hi);
    } else if (hi < 0) {
        if (hi <= lo - 1)
            intersect_clamped(d[2], hi, lo - 1);
    } else {
        intersect_clamped(d[2], lo - 1, hi);
    }
    d[2].insert_all_of(zero_quotient);
}

void div_propagator::propagate_unisigned_bounds(iset* d, const constraint_runtime_info&) const {
    if (!d[0].contains(0)) {
        // 0 / x = 0 and x / 0 = 0.
        d[1].erase(ZERO);
        d[2].erase(ZERO);
        if (d[1].empty() || d[2].empty())
            return;
    }
    const bool zero_divisor = d[0].contains(0) && d[2].contains(0);
    const iset dividends(d[1]);
    d[2].erase(ZERO);
    if (d[2].empty()) {
        if (zero_divisor)
            d[0] = iset(0);
        else
            make_empty(d);
    } else {
        // A rule that empties a domain leaves this combination without
        // support from non-zero divisors.
        propagate_unisigned_bounds_division(d);
        if (!d[0].empty())
            propagate_unisigned_bounds_dividend(d);
        if (!d[0].empty() && !d[1].empty())
            propagate_unisigned_bounds_divisor(d);
        if (any_empty(d))
            make_empty(d);
    }
    if (zero_divisor) {
        d[0].insert(ZERO);
        d[1] = dividends;
        d[2].insert(ZERO);
    }
}

// ---------------------------------------------------------------------------
// x0 = x1 % x2

namespace {

// A progression of a set: lo, lo + step, ..., hi.
struct progression {
    long long lo, hi;
    unsigned step;
};

// Calls f on every maximal progression of s, in increasing order.
template <class F>
void for_each_progression(const iset& s, F f) {
    const iset::iterator end = s.end();
    for (iset::iterator it = s.begin(); it != end;) {
        iset::range_type range;
        unsigned step = 1;
        it = it.find_stride(end, range, step);
        f(progression{range.first, range.second, step});
    }
}

iset reflected(const iset& s) {
    iset out = bounded::all_values();
    propagation::neg(s, out);
    return out;
}

// Beyond this many values a progression that spans several blocks of the
// modulus is not split value by value: it supports itself whole.
constexpr long long BLOCK_SPLIT_LIMIT = 64;

} // namespace

void mod_propagator::explain_propagation(unsigned param, const iset& values,
                                         const iset& new_domain,
                                         const constraint_runtime_info& ri,
                                         std::vector<iset>& explanation) const {
    explain_tightly(param, values, new_domain, ri, explanation);
}

void mod_propagator::accumulate_positive_bounds(iset& remainder_support, iset& dividend_support,
                                                const iset& remainder_domain, long long lo,
                                                long long hi, long long m) const {
    const long long r_lo = lo % m, r_hi = hi % m;
    iset remainders(remainder_domain);
    remainders.intersect(iset::range_type(static_cast<int>(r_lo), static_cast<int>(r_hi)));
    if (remainders.empty())
        return;
    remainder_support.insert_all_of(remainders);
    iset dividends = bounded::all_values();
    propagation::plus(remainders, iset(static_cast<int>(lo - r_lo)), dividends);
    dividend_support.insert_all_of(dividends);
}

void mod_propagator::propagate_positive_bounds(iset* d) const {
    if (d[2].min() > d[1].max()) {
        // Every modulus exceeds every dividend: x % m = x.
        d[0].intersect(d[1]);
        d[1].intersect(d[0]);
        return;
    }
    d[0].intersect(iset::range_type(0, d[2].max() - 1));
    if (d[2].size() != 1 || arithmetic::holds_every_value(d[1]) ||
        static_cast<unsigned>(d[2].min()) <= d[1].size() || d[0].empty())
        return;
    // A fixed modulus m above the number of dividends: the dividends walked
    // block by block (a block: the values with one quotient).
    const long long m = d[2].min();
    iset remainders, dividends;
    for_each_progression(d[1], [&](const progression& p) {
        if (p.hi - p.lo < m) {
            if (p.lo % m <= p.hi % m) {
                accumulate_positive_bounds(remainders, dividends, d[0], p.lo, p.hi, m);
            } else {
                const long long b = p.hi - p.hi % m;
                accumulate_positive_bounds(remainders, dividends, d[0], p.lo, b - 1, m);
                accumulate_positive_bounds(remainders, dividends, d[0], b, p.hi, m);
            }
            return;
        }
        // A strided progression over several blocks: value by value when
        // short, else every value and remainder stays supported.
        if ((p.hi - p.lo) / p.step < BLOCK_SPLIT_LIMIT) {
            for (long long v = p.lo; v <= p.hi; v += p.step)
                accumulate_positive_bounds(remainders, dividends, d[0], v, v, m);
        } else {
            arithmetic::insert_progression(dividends, p.lo, p.hi, p.step);
            remainders.insert_all_of(d[0]);
        }
    });
    d[0].intersect(remainders);
    d[1].intersect(dividends);
}

void mod_propagator::propagate_when_zero_out(iset* d) const {
    const long long smallest_modulus = abs64(inner(d[2]));
    if (smallest_modulus > 1) {
        // 0 < |x| < |m|: x % m = x.
        d[1].erase(iset::range_type(static_cast<int>(1 - smallest_modulus), -1));
        d[1].erase(iset::range_type(1, static_cast<int>(smallest_modulus - 1)));
        if (d[1].empty()) {
            make_empty(d);
            return;
        }
    }
    if (!d[1].contains(0)) {
        const long long reach = abs64(outer(d[1]));
        intersect_clamped(d[2], -reach, reach);
    }
}

void mod_propagator::propagate_unisigned_bounds_base(iset* d,
                                                     const constraint_runtime_info&) const {
    if (!d[0].contains(0)) {
        // 0 % m = 0 and x % 0 = 0.
        d[1].erase(ZERO);
        d[2].erase(ZERO);
        if (d[1].empty() || d[2].empty())
            return;
    }
    // The set arithmetic behind the reflection may over-approximate huge
    // sets: the reflected-back results are cut to the domains they came from.
    bool flipped[3];
    iset original[3];
    for (int i = 0; i < 3; ++i) {
        flipped[i] = d[i].max() <= 0;
        if (flipped[i]) {
            original[i] = d[i];
            d[i] = reflected(original[i]);
        }
    }
    if (flipped[0] != flipped[1]) {
        // A non-zero remainder has the dividend's sign: on opposite sides only 0 is left.
        d[0].intersect(ZERO);
        if (!d[0].empty())
            propagate_when_zero_out(d);
    }
    d[2].erase(ZERO);
    if (!any_empty(d))
        propagate_positive_bounds(d);
    for (int i = 0; i < 3; ++i) {
        if (flipped[i] && !d[i].empty()) {
            d[i] = reflected(d[i]);
            d[i].intersect(original[i]);
        }
    }
}

bool mod_propagator::propagate_min_int_divided(const iset* d, iset* r,
                                               const constraint_runtime_info& ri) const {
    // The remainder of INT_MIN is never positive.
    if (d[0].empty() || d[0].min() >= 1 || d[2].empty())
        return false;
    if (!is_accurate(d[2], 10, ri.accurate_size_bound())) {
        r[2] = d[2];
        const long long reach = abs64(outer(d[2])) - 1;
        iset remainders(d[0]);
        intersect_clamped(remainders, -reach, reach);
        r[0].insert_all_of(remainders);
        return !remainders.empty();
    }
    bool supported = false;
    for (int m : d[2]) {
        if (m == 0)
            continue;
        const long long rest = static_cast<long long>(INT_MIN) % abs64(m);
        if (!d[0].contains(static_cast<int>(rest)))
            continue;
        r[0].insert(iset::range_type(static_cast<int>(rest), static_cast<int>(rest)));
        r[2].insert(iset::range_type(m, m));
        supported = true;
    }
    return supported;
}

void mod_propagator::propagate_min_int(iset* d, const bool* held,
                                       const constraint_runtime_info& ri) const {
    iset r[3] = {d[0], d[1], d[2]};
    if (any_empty(r))
        make_empty(r);
    else
        propagate_unisigned_bounds_base(r, ri);
    if (any_empty(r))
        make_empty(r);
    bool dividend_back = false, modulus_back = false;
    if (held[1]) {
        if (held[2] && d[0].contains(0)) {
            // INT_MIN % INT_MIN = 0.
            r[0].insert(ZERO);
            dividend_back = modulus_back = true;
        }
        if (propagate_min_int_divided(d, r, ri))
            dividend_back = true;
    }
    if (held[2] && d[0].contains_any_of(d[1])) {
        // x % INT_MIN = x for every other x.
        iset same(d[0]);
        same.intersect(d[1]);
        r[0].insert_all_of(same);
        r[1].insert_all_of(same);
        modulus_back = true;
    }
    for (int i = 0; i < 3; ++i)
        d[i] = std::move(r[i]);
    const iset::range_type min_int(INT_MIN, INT_MIN);
    if (dividend_back)
        d[1].insert(min_int);
    if (modulus_back)
        d[2].insert(min_int);
}

void mod_propagator::propagate_unisigned_bounds(iset* d, const constraint_runtime_info& ri) const {
    if (d[2].size() == 1 && !arithmetic::holds_every_value(d[1]) && d[1].size() < 100) {
        propagate_accurately(d[0], d[1], d[2]);
        return;
    }
    const iset dividends(d[1]);
    const bool zero_modulus = d[0].contains(0) && d[2].contains(0);
    bool held[3];
    bool emptied = false;
    for (int i = 0; i < 3; ++i) {
        held[i] = d[i].contains(INT_MIN);
        if (held[i]) {
            d[i].erase(iset::range_type(INT_MIN, INT_MIN));
            emptied = emptied || d[i].empty();
        }
    }
    if (held[1] || held[2])
        propagate_min_int(d, held, ri);
    else if (emptied)
        make_empty(d);
    else
        propagate_unisigned_bounds_base(d, ri);
    // A domain emptied by the rules leaves no support from non-zero moduli.
    if (any_empty(d))
        make_empty(d);
    if (zero_modulus) {
        d[0].insert(ZERO);
        d[1] = dividends;
        d[2].insert(ZERO);
    }
}

} // namespace qarn
