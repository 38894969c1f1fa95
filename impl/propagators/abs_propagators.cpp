// Absolute value and negation.
#include "impl/propagators/abs_propagators.h"

#include <climits>

#include "impl/propagators/arithmetic.h"

namespace qarn {

namespace {


iset negation_of(const iset& s) {
    iset out;
    out.complement();
    propagation::neg(s, out);
    return out;
}

// The values of s from `first` up to, not including, `last`.
iset part_of(const iset& s, iset::iterator first, iset::iterator last, int lowest) {
    if (first == last)
        return iset();
    iset::iterator back = last;
    --back;
    const int lo = std::max(*first, lowest), hi = *back;
    if (lo > hi)
        return iset();
    iset part(s);
    part.intersect(iset::range_type(lo, hi));
    return part;
}

} // namespace

// ---------------------------------------------------------------------------
// x0 = |x1|

void abs_propagator::insert_negative_supports(const iset& x0, const iset& x1,
                                              iset::iterator first, iset::iterator last,
                                              iset& supported_x0, iset& supported_x1) const {
    // INT_MIN has no absolute value in range.
    const iset negative = part_of(x1, first, last, INT_MIN + 1);
    if (negative.empty())
        return;
    iset supported = negation_of(negative);
    supported.intersect(x0);
    if (supported.empty())
        return;
    // The set arithmetic may over-approximate: keep x1's supports inside x1.
    iset mirrored = negation_of(supported);
    mirrored.intersect(negative);
    if (mirrored.empty())
        return;
    supported_x1.insert_all_of(mirrored);
    supported_x0.insert_all_of(supported);
}

void abs_propagator::insert_nonnegative_supports(const iset& x0, const iset& x1,
                                                 iset::iterator first, iset::iterator last,
                                                 iset& supported_x0,
                                                 iset& supported_x1) const {
    iset supported = part_of(x1, first, last, 0);
    supported.intersect(x0);
    supported_x0.insert_all_of(supported);
    supported_x1.insert_all_of(supported);
}

bool abs_propagator::supports(const iset& x0, const iset& x1, iset& r0, iset& r1) const {
    const iset::iterator zero = x1.lower_bound(0);
    insert_negative_supports(x0, x1, x1.begin(), zero, r0, r1);
    insert_nonnegative_supports(x0, x1, zero, x1.end(), r0, r1);
    return !r0.empty();
}

constraint_propagator::result_type abs_propagator::propagate(constraint_runtime_info& ri) {
    const iset& x0 = ri.domain(0);
    const iset& x1 = ri.domain(1);
    if (x0.empty() || x1.empty())
        return UNSAT;
    iset r0, r1;
    if (x1.min() >= 0) {
        if (iset::same_elements(x0, x1))
            return CONSISTENT;
        r0 = x0;
        r0.intersect(x1);
        r1 = r0;
    } else {
        supports(x0, x1, r0, r1);
    }
    if (r0.empty())
        return UNSAT;
    ri.set_domain(0, std::move(r0));
    ri.set_domain(1, std::move(r1));
    return CONSISTENT;
}

bool abs_propagator::conflicts(const constraint_runtime_info& ri) const {
    const iset& x0 = ri.domain(0);
    const iset& x1 = ri.domain(1);
    if (x0.empty() || x1.empty())
        return true;
    if (x1.min() < 0) {
        iset r0, r1;
        return !supports(x0, x1, r0, r1);
    }
    return !x0.contains_any_of(x1);
}

bool abs_propagator::constraint_check(const constraint_runtime_info& ri) const {
    const int v = ri.domain(1).min();
    if (v == INT_MIN)
        return false;
    return ri.domain(0).min() == (v < 0 ? -v : v);
}

void abs_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_binary(os, ri, "abs", "", "== abs(", ")");
}

std::unique_ptr<constraint_propagator> abs_propagator::clone() const {
    return std::make_unique<abs_propagator>(*this);
}

// ---------------------------------------------------------------------------
// x0 <= |x1| and x0 >= |x1|

using arithmetic::abs64;

constraint_propagator::result_type less_equal_abs_propagator::propagate(
    constraint_runtime_info& ri) {
    if (ri.domain(0).empty() || ri.domain(1).empty())
        return UNSAT;
    const long long top = std::max(abs64(ri.domain(1).min()), abs64(ri.domain(1).max()));
    const long long m0 = ri.domain(0).min();
    if (ri.domain(0).max() > top) {
        const iset::range_type up_to_top(INT_MIN, static_cast<int>(top));
        if (!narrow_domain(ri, 0, [&](iset& d) { d.intersect(up_to_top); }))
            return UNSAT;
    }
    if (m0 < 1)
        return CONSISTENT;
    // The values whose absolute value lies below min(x0).
    const iset::range_type small(static_cast<int>(1 - m0), static_cast<int>(m0 - 1));
    const iset::iterator it = ri.domain(1).lower_bound(small.first);
    if (it != ri.domain(1).end() && *it <= small.second &&
        !narrow_domain(ri, 1, [&](iset& d) { d.erase(small); }))
        return UNSAT;
    return CONSISTENT;
}

bool less_equal_abs_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (ri.domain(0).empty() || ri.domain(1).empty())
        return true;
    const long long top = std::max(abs64(ri.domain(1).min()), abs64(ri.domain(1).max()));
    return ri.domain(0).min() > top;
}

bool less_equal_abs_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return ri.domain(0).min() <= abs64(ri.domain(1).min());
}

void less_equal_abs_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_binary(os, ri, "less_equal_abs", "", "<= abs(", ")");
}

std::unique_ptr<constraint_propagator> less_equal_abs_propagator::clone() const {
    return std::make_unique<less_equal_abs_propagator>(*this);
}

long greater_equal_abs_propagator::min_abs(const iset& s) {
    if (s.min() >= 0)
        return s.min();
    if (s.max() <= 0)
        return static_cast<long>(abs64(s.max()));
    const iset::iterator positive = s.lower_bound(1);
    iset::iterator non_positive = positive;
    --non_positive;
    return static_cast<long>(std::min<long long>(*positive, abs64(*non_positive)));
}

constraint_propagator::result_type greater_equal_abs_propagator::propagate(
    constraint_runtime_info& ri) {
    if (ri.domain(0).empty() || ri.domain(1).empty())
        return UNSAT;
    const long long a = min_abs(ri.domain(1));
    const long long m0 = ri.domain(0).max();
    if (a > ri.domain(0).min()) {
        if (a > m0)
            return UNSAT;
        const iset::range_type at_least(static_cast<int>(a), INT_MAX);
        if (!narrow_domain(ri, 0, [&](iset& d) { d.intersect(at_least); }))
            return UNSAT;
    }
    if (-m0 <= ri.domain(1).min() && ri.domain(1).max() <= m0)
        return CONSISTENT;
    const iset::range_type allowed(static_cast<int>(-m0), static_cast<int>(m0));
    if (!narrow_domain(ri, 1, [&](iset& d) { d.intersect(allowed); }))
        return UNSAT;
    return CONSISTENT;
}

bool greater_equal_abs_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (ri.domain(0).empty() || ri.domain(1).empty())
        return true;
    return min_abs(ri.domain(1)) > ri.domain(0).max();
}

bool greater_equal_abs_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return abs64(ri.domain(1).min()) <= ri.domain(0).min();
}

void greater_equal_abs_propagator::print(std::ostream& os,
                                         const constraint_runtime_info* ri) const {
    print_binary(os, ri, "greater_equal_abs", "", ">= abs(", ")");
}

std::unique_ptr<constraint_propagator> greater_equal_abs_propagator::clone() const {
    return std::make_unique<greater_equal_abs_propagator>(*this);
}

// ---------------------------------------------------------------------------
// x0 = -x1 modulo 2^32

constraint_propagator::result_type neg_propagator::propagate(constraint_runtime_info& ri) {
    iset a(ri.domain(0)), b(ri.domain(1));
    propagation::neg(ri.domain(0), b);
    propagation::neg(ri.domain(1), a);
    if (a.empty() || b.empty())
        return UNSAT;
    ri.set_domain(0, std::move(a));
    ri.set_domain(1, std::move(b));
    return CONSISTENT;
}

bool neg_propagator::conflicts(const constraint_runtime_info& ri) const {
    iset a(ri.domain(0));
    propagation::neg(ri.domain(1), a);
    return a.empty();
}

bool neg_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return ri.domain(0).min() ==
           arithmetic_propagation_types::wrap(-static_cast<long long>(ri.domain(1).min()));
}

void neg_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_binary(os, ri, "negate", "(", "== -", ")");
}

std::unique_ptr<constraint_propagator> neg_propagator::clone() const {
    return std::make_unique<neg_propagator>(*this);
}

} // namespace qarn
