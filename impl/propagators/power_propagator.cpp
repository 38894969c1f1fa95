// Integer powers.
#include "impl/propagators/power_propagator.h"

#include <climits>

#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

bool in_range(long long v) {
    return v >= INT_MIN && v <= INT_MAX;
}

} // namespace

long long pow_propagator::nontrivial_pow(int base, int exponent) {
    if (exponent <= 4) {
        long long r = 1;
        for (int i = 0; i < exponent && in_range(r); ++i)
            r *= base;
        return r;
    }
    // Every factor multiplied lies in the 32-bit range: no 64-bit overflow.
    const long long half = nontrivial_pow(base, exponent >> 1);
    if (!in_range(half))
        return half;
    long long r = half * half;
    if (in_range(r) && (exponent & 1) != 0)
        r *= base;
    return r;
}

long long pow_propagator::evaluate(int base, int exponent) {
    if (base == 0)
        return 0;
    if (base == 1)
        return 1;
    if (base == -1)
        return (exponent & 1) != 0 ? -1 : 1;
    if (exponent < 0)
        return 0;
    if (base == 2 || base == -2) {
        // Beyond 2^32 only the sign matters: the shift stays short.
        const long long magnitude = 1ll << (exponent < 32 ? exponent : 32);
        return base < 0 && (exponent & 1) != 0 ? -magnitude : magnitude;
    }
    return nontrivial_pow(base, exponent);
}

namespace {

// Adds the range from min(s) to max(s): supports of the exponent are kept as
// ranges, since joining progressions of different strides would take a step
// per value (2^30 for the even exponents below -1).
void insert_hull(iset& supports, const iset& s) {
    supports.insert(iset::range_type(s.min(), s.max()));
}

} // namespace

void pow_propagator::propagate_unisigned_bounds(iset* d, const constraint_runtime_info&) const {
    if (d[1].min() >= 0 && d[1].max() <= 1) {
        // 0 ** y = 0 and 1 ** y = 1.
        d[0].intersect(d[1]);
        d[1].intersect(d[0]);
        return;
    }
    if (d[2].max() >= 2) {
        // Only the sign of even powers is known.
        iset odd(d[2]);
        odd.intersect(iset::range_type(1, INT_MAX), 2);
        if (odd.empty())
            d[0].intersect(iset::range_type(0, INT_MAX));
        return;
    }
    // Every exponent is at most 1: the supports case by case.
    const iset::range_type zero(0, 0), one(1, 1), minus_one(-1, -1);
    iset r0, r1, r2;
    if (d[2].min() < -1) {
        iset negative(d[2]); // the exponents below -1
        negative.intersect(iset::range_type(INT_MIN, -2));
        if (d[0].contains(0)) {
            r0.insert(zero);
            r1 = bounded::all_values();
            insert_hull(r2, negative);
        }
        // 1 ** y = 1, and (-1) ** y = 1 or -1 by the parity of y.
        if (d[1].contains(1) && d[0].contains(1)) {
            r0.insert(one);
            r1.insert(one);
            insert_hull(r2, negative);
        }
        if (d[1].contains(-1)) {
            iset even(negative), odd(negative);
            even.intersect(iset::range_type(INT_MIN, -2), 2);
            odd.intersect(iset::range_type(INT_MIN + 1, -3), 2);
            if (d[0].contains(1) && !even.empty()) {
                r0.insert(one);
                r1.insert(minus_one);
                insert_hull(r2, even);
            }
            if (d[0].contains(-1) && !odd.empty()) {
                r0.insert(minus_one);
                r1.insert(minus_one);
                insert_hull(r2, odd);
            }
        }
    }
    if (d[2].contains(-1)) {
        if (d[0].contains(0)) {
            r0.insert(zero);
            arithmetic::insert_interval(r1, {INT_MIN, -2});
            arithmetic::insert_interval(r1, {2, INT_MAX});
            r2.insert(minus_one);
        }
        // x ** -1 = x for x in -1..1.
        iset same(d[1]);
        same.intersect(iset::range_type(-1, 1));
        same.intersect(d[0]);
        if (!same.empty()) {
            r0.insert_all_of(same);
            r1.insert_all_of(same);
            r2.insert(minus_one);
        }
    }
    if (d[2].contains(0) && !(d[1].size() == 1 && d[1].min() == 0) && d[0].contains(1)) {
        r0.insert(one);
        arithmetic::insert_interval(r1, {INT_MIN, -1});
        arithmetic::insert_interval(r1, {1, INT_MAX});
        r2.insert(zero);
    }
    if (d[2].contains(1) && d[0].contains_any_of(d[1])) {
        r0.insert_all_of(d[1]);
        r1.insert_all_of(d[0]);
        r2.insert(one);
    }
    if (d[1].contains(0) && d[0].contains(0)) {
        r0.insert(zero);
        r1.insert(zero);
        r2 = bounded::all_values();
    }
    d[0].intersect(r0);
    d[1].intersect(r1);
    d[2].intersect(r2);
}

} // namespace qarn
