// Products: exact, wrapping, and the two one-sided bounds.
#include "impl/propagators/multiplication_propagators.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

// Quotients rounded down and up; b != 0 and a / b fits (operands are 32-bit values).
long long floor_div(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

long long ceil_div(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) == (b < 0)) ? q + 1 : q;
}

// The smallest and the largest of the four products of the bounds of d1 and d2.
std::pair<long long, long long> corner_products(const iset& d1, const iset& d2) {
    const long long a = d1.min(), b = d1.max(), c = d2.min(), d = d2.max();
    const long long p[4] = {a * c, a * d, b * c, b * d};
    return std::pair<long long, long long>(*std::min_element(p, p + 4),
                                           *std::max_element(p, p + 4));
}

// The one-signed parts of a set, as present / bounds.
struct signed_parts {
    bool has_positive = false, has_negative = false;
    long long min_positive = 0, max_positive = 0; // of the values >= 1
    long long min_negative = 0, max_negative = 0; // of the values <= -1

    explicit signed_parts(const iset& s) {
        const iset::iterator positive = s.lower_bound(1);
        if (positive != s.end()) {
            has_positive = true;
            min_positive = *positive;
            max_positive = s.max();
        }
        iset::iterator negative = s.lower_bound(0);
        if (negative != s.begin()) {
            --negative;
            has_negative = true;
            max_negative = *negative;
            min_negative = s.min();
        }
    }
};

} // namespace

// ---------------------------------------------------------------------------
// x0 = x1 * x2 exactly: the bounds engine

bool mul_truncate_propagator::algo::update_sizes() {
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        const unsigned size = m_domains[i].size();
        changed = changed || size != m_sizes[i];
        m_sizes[i] = size;
    }
    return changed;
}

void mul_truncate_propagator::algo::propagate_bounds() {
    iset* d = m_domains;
    update_sizes();
    propagate_out();
    update_sizes();
    for (;;) {
        propagate_to_multiplicand(1);
        const bool c1 = update_sizes();
        propagate_to_multiplicand(2);
        const bool c2 = update_sizes();
        bool c3 = false;
        if (c2) {
            propagate_to_multiplicand(1);
            c3 = update_sizes();
        } else if (!c1) {
            break;
        }
        propagate_out();
        const bool c4 = update_sizes();
        if (!c4 && !(c2 && c3))
            break;
    }
    if (any_empty(d))
        make_empty(d);
}

void mul_truncate_propagator::algo::propagate_out() {
    iset* d = m_domains;
    if (d[0].empty() || d[1].empty() || d[2].empty())
        return;
    const std::pair<long long, long long> corners = corner_products(d[1], d[2]);
    const long long lo = std::max<long long>(corners.first, INT_MIN);
    const long long hi = std::min<long long>(corners.second, INT_MAX);
    if (lo > hi) {
        d[0] = iset();
        return;
    }
    d[0].intersect(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
    if (corners.first >= 0 || corners.second < 1 || d[0].empty())
        return;
    // The products nearest zero on each side leave a gap around it.
    long long min_positive = INT64_MAX, max_negative = INT64_MIN;
    const iset::iterator n1 = d[1].lower_bound(0), n2 = d[2].lower_bound(0);
    const bool has_a1 = n1 != d[1].end(), has_a2 = n2 != d[2].end();
    const bool has_b1 = n1 != d[1].begin(), has_b2 = n2 != d[2].begin();
    const long long a1 = has_a1 ? *n1 : 0, a2 = has_a2 ? *n2 : 0;
    long long b1 = 0, b2 = 0;
    if (has_b1) {
        iset::iterator it = n1;
        b1 = *--it;
    }
    if (has_b2) {
        iset::iterator it = n2;
        b2 = *--it;
    }
    if (has_a1 && has_a2)
        min_positive = a1 * a2;
    if (has_b1 && has_b2)
        min_positive = std::min(min_positive, b1 * b2);
    if (has_b1 && has_a2)
        max_negative = b1 * a2;
    if (has_a1 && has_b2)
        max_negative = std::max(max_negative, a1 * b2);
    if (max_negative + 1 > min_positive - 1)
        return;
    const long long gap_lo = std::max<long long>(max_negative + 1, INT_MIN);
    const long long gap_hi = std::min<long long>(min_positive - 1, INT_MAX);
    if (gap_lo <= gap_hi)
        d[0].erase(iset::range_type(static_cast<int>(gap_lo), static_cast<int>(gap_hi)));
}

void mul_truncate_propagator::algo::insert_zero_supported_multiplicand(iset& support,
                                                                     unsigned i) const {
    if (m_domains[0].contains(0) && m_domains[i].contains(0))
        support.insert(iset::range_type(0, 0));
}

void mul_truncate_propagator::algo::insert_positive_supported_multiplicand_bounds(
    iset& support, unsigned i) const {
    const signed_parts r(m_domains[0]), y(m_domains[3 - i]);
    // y > 0 carries v > 0 into the positive products.
    if (r.has_positive && y.has_positive)
        arithmetic::insert_interval(support, {ceil_div(r.min_positive, y.max_positive),
                                              floor_div(r.max_positive, y.min_positive)});
    // y < 0 carries v > 0 into the negative products.
    if (r.has_negative && y.has_negative)
        arithmetic::insert_interval(support, {ceil_div(r.max_negative, y.min_negative),
                                              floor_div(r.min_negative, y.max_negative)});
}

void mul_truncate_propagator::algo::insert_negative_supported_multiplicand_bounds(
    iset& support, unsigned i) const {
    const signed_parts r(m_domains[0]), y(m_domains[3 - i]);
    // y > 0 carries v < 0 into the negative products.
    if (r.has_negative && y.has_positive)
        arithmetic::insert_interval(support, {ceil_div(r.min_negative, y.min_positive),
                                              floor_div(r.max_negative, y.max_positive)});
    // y < 0 carries v < 0 into the positive products.
    if (r.has_positive && y.has_negative)
        arithmetic::insert_interval(support, {ceil_div(r.max_positive, y.max_negative),
                                              floor_div(r.min_positive, y.min_negative)});
}

void mul_truncate_propagator::algo::propagate_to_multiplicand(unsigned i) {
    iset* d = m_domains;
    const unsigned j = 3 - i;
    if (d[0].empty() || d[1].empty() || d[2].empty())
        return;
    if (d[0].contains(0) && d[j].contains(0))
        return; // x * 0 = 0 supports every value
    iset support;
    insert_zero_supported_multiplicand(support, i);
    insert_positive_supported_multiplicand_bounds(support, i);
    insert_negative_supported_multiplicand_bounds(support, i);
    d[i].intersect(support);
}

// ---------------------------------------------------------------------------
// x0 = x1 * x2 exactly: one run of the bounds engine, then the accurate mode
// when the narrowed factors allow it

constraint_propagator::result_type mul_truncate_propagator::propagate(
    constraint_runtime_info& ri) {
    if (!reduced_since_last_activation(ri))
        return CONSISTENT;
    if (qarn::any_empty(ri))
        return UNSAT;
    iset d[3] = {ri.domain(0), ri.domain(1), ri.domain(2)};
    const unsigned effort = ri.effort();
    if (!is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound())) {
        algo(d).propagate_bounds();
        if (d[0].empty())
            return UNSAT;
        if (!is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound())) {
            copy_domains_to_info(d, ri);
            return CONSISTENT;
        }
    }
    propagate_accurately(d[0], d[1], d[2]);
    return finish_accurately(d, ri);
}

bool mul_truncate_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (qarn::any_empty(ri))
        return true;
    iset d[3] = {ri.domain(0), ri.domain(1), ri.domain(2)};
    const unsigned effort = ri.effort();
    if (!is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound())) {
        algo(d).propagate_bounds();
        if (d[0].empty())
            return true;
        if (!is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound()))
            return false;
    }
    propagate_accurately(d[0], d[1], d[2]);
    return d[0].empty();
}

void mul_truncate_propagator::propagate_unisigned_bounds(iset*,
                                                         const constraint_runtime_info&) const {
    throw std::runtime_error(
        "mul_truncate_propagator::propagate_unisigned_bounds() should never be called");
}

// ---------------------------------------------------------------------------
// x0 = x1 * x2 modulo 2^32, on one sign combination

void mul_wrap_propagator::propagate_unisigned_bounds(iset* d,
                                                     const constraint_runtime_info&) const {
    using arithmetic::inner;
    using arithmetic::outer;
    const long long p = static_cast<long long>(inner(d[1])) * inner(d[2]);
    const long long q = static_cast<long long>(outer(d[1])) * outer(d[2]);
    intersect_wrapped(d[0], std::min(p, q), std::max(p, q));
    if (d[0].empty())
        return;
    if (!d[0].contains(0)) {
        d[1].erase(iset::range_type(0, 0));
        d[2].erase(iset::range_type(0, 0));
        if (d[1].empty() || d[2].empty())
            return;
    }
    const long long m1 = std::max(arithmetic::abs64(d[1].min()), arithmetic::abs64(d[1].max()));
    const long long m2 = std::max(arithmetic::abs64(d[2].min()), arithmetic::abs64(d[2].max()));
    if (m1 * m2 >= (1ll << 31))
        return; // products may wrap: the factors are not narrowed
    // Without wrapping x0 is the true product: each factor is x0 divided by the other.
    auto narrow = [&](iset& factor, const iset& other) {
        const long long a = static_cast<long long>(inner(d[0])) / outer(other);
        const long long b = static_cast<long long>(outer(d[0])) / inner(other);
        intersect_wrapped(factor, std::min(a, b), std::max(a, b));
    };
    if (!d[1].contains(0)) {
        narrow(d[2], d[1]);
        if (d[2].empty())
            return;
    }
    if (!d[2].contains(0))
        narrow(d[1], d[2]);
}

// ---------------------------------------------------------------------------
// x0 <= x1 * x2 and x0 >= x1 * x2

namespace {

enum class product_side { less_equal, greater_equal };

// Erases from factor i the values that no value of the other factor pairs
// with: v * y >= min x0 for less_equal, v * y <= max x0 for greater_equal.
// False when factor i empties (nothing is written then).
bool propagate_to_multiplicand(constraint_runtime_info& ri, unsigned i, product_side side) {
    const iset& dj = ri.domain(3 - i);
    const long long lo_j = dj.min(), hi_j = dj.max();
    const bool straddles = lo_j <= 0 && 0 <= hi_j;
    long long lo = INT_MIN, hi = INT_MAX;
    if (side == product_side::less_equal) {
        const long long m = ri.domain(0).min();
        if (m <= 0) {
            if (straddles)
                return true;
            if (lo_j >= 1)
                hi = m / lo_j - 1;
            else
                lo = m / hi_j + 1;
        } else {
            if (lo_j < 0)
                lo = (m - 1) / lo_j;
            if (hi_j > 0)
                hi = (m - 1) / hi_j;
        }
    } else {
        const long long m = ri.domain(0).max();
        if (m >= 0) {
            if (straddles)
                return true;
            if (lo_j >= 1)
                lo = m / lo_j + 1;
            else
                hi = m / hi_j - 1;
        } else {
            if (hi_j >= 1)
                lo = (m + 1) / hi_j;
            if (lo_j < 0)
                hi = (m + 1) / lo_j;
        }
    }
    if (lo > INT_MAX || hi < INT_MIN)
        return true;
    lo = std::max<long long>(lo, INT_MIN);
    hi = std::min<long long>(hi, INT_MAX);
    if (lo > hi)
        return true;
    const iset::range_type erased(static_cast<int>(lo), static_cast<int>(hi));
    const iset& di = ri.domain(i);
    const iset::iterator it = di.lower_bound(erased.first);
    if (it == di.end() || *it > erased.second)
        return true;
    return narrow_domain(ri, i, [&](iset& d) { d.erase(erased); });
}

// The factors' signs at initialisation, which choose the inequalities' watches.
struct factor_signs {
    bool alike;    // both non-negative or both non-positive
    bool opposite; // one non-negative, the other non-positive

    explicit factor_signs(const constraint_runtime_info& ri) {
        const iset& d1 = ri.domain(1);
        const iset& d2 = ri.domain(2);
        alike = (d1.min() >= 0 && d2.min() >= 0) || (d1.max() <= 0 && d2.max() <= 0);
        opposite = (d1.max() <= 0 && d2.min() >= 0) || (d1.min() >= 0 && d2.max() <= 0);
    }
};

void watch_both(constraint_runtime_info& ri, bool outer) {
    for (unsigned p = 1; p <= 2; ++p) {
        if (outer)
            arithmetic::allocate_outer_watch(ri, p);
        else
            arithmetic::allocate_inner_watch(ri, p);
    }
}

void print_inequality(std::ostream& os, const constraint_runtime_info* ri, const char* relation) {
    if (!print_opening(os, ri, "le_mul"))
        return;
    ri->print_param(os, 0);
    os << relation;
    ri->print_param(os, 1);
    os << '*';
    ri->print_param(os, 2);
    os << ')';
}

} // namespace

bool less_equal_mul_propagator::init(constraint_runtime_info& ri) {
    if (qarn::any_empty(ri))
        return false;
    ri.allocate_watch(0, LOWER_BOUND_WATCH);
    const iset& d0 = ri.domain(0);
    const iset& d1 = ri.domain(1);
    const iset& d2 = ri.domain(2);
    const factor_signs signs(ri);
    if (signs.alike) {
        watch_both(ri, true);
    } else if (signs.opposite) {
        watch_both(ri, false);
    } else if (d0.max() <= 0 && (d1.max() <= 0 || d2.min() >= 0)) {
        ri.allocate_watch(1, UPPER_BOUND_WATCH);
        ri.allocate_watch(2, LOWER_BOUND_WATCH);
    } else if (d0.max() <= 0 && (d2.max() <= 0 || d1.min() >= 0)) {
        ri.allocate_watch(1, LOWER_BOUND_WATCH);
        ri.allocate_watch(2, UPPER_BOUND_WATCH);
    } else {
        ri.allocate_watch(1, MODIFICATION_WATCH);
        ri.allocate_watch(2, MODIFICATION_WATCH);
    }
    return true;
}

constraint_propagator::result_type less_equal_mul_propagator::propagate(
    constraint_runtime_info& ri) {
    if (qarn::any_empty(ri))
        return UNSAT;
    const long long top = corner_products(ri.domain(1), ri.domain(2)).second;
    const iset& d0 = ri.domain(0);
    if (top < d0.min())
        return UNSAT;
    if (top < d0.max()) {
        const iset::range_type allowed(d0.min(), static_cast<int>(top));
        iset narrowed(d0);
        narrowed.intersect(allowed);
        ri.set_domain(0, std::move(narrowed));
    }
    if (!propagate_to_multiplicand(ri, 1, product_side::less_equal) ||
        !propagate_to_multiplicand(ri, 2, product_side::less_equal))
        return UNSAT;
    return CONSISTENT;
}

bool less_equal_mul_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (qarn::any_empty(ri))
        return true;
    return corner_products(ri.domain(1), ri.domain(2)).second < ri.domain(0).min();
}

bool less_equal_mul_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return static_cast<long long>(ri.domain(1).min()) * ri.domain(2).min() >= ri.domain(0).min();
}

void less_equal_mul_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_inequality(os, ri, "<= ");
}

std::unique_ptr<constraint_propagator> less_equal_mul_propagator::clone() const {
    return std::make_unique<less_equal_mul_propagator>();
}

std::unique_ptr<constraint_propagator> less_equal_mul_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    for (unsigned k = 1; k <= 2; ++k) {
        if (!bounded::is_singleton(ri.domain(k)))
            continue;
        const int c = ri.domain(k).min();
        const unsigned j = 3 - k;
        if (bounded::is_singleton(ri.domain(0))) {
            params = {j}; // c * xj >= a
            return std::make_unique<linear_combination_ge_propagator>(ri.domain(0).min(),
                                                                      std::vector<int>{c});
        }
        params = {j, 0}; // c * xj - x0 >= 0
        if (c == 1)
            return std::make_unique<difference_ge_propagator>(0);
        return std::make_unique<linear_combination_ge_propagator>(0, std::vector<int>{c, -1});
    }
    return nullptr;
}

bool greater_equal_mul_propagator::init(constraint_runtime_info& ri) {
    if (qarn::any_empty(ri))
        return false;
    ri.allocate_watch(0, UPPER_BOUND_WATCH);
    const iset& d0 = ri.domain(0);
    const iset& d1 = ri.domain(1);
    const iset& d2 = ri.domain(2);
    const factor_signs signs(ri);
    if (signs.alike) {
        watch_both(ri, false);
    } else if (signs.opposite) {
        watch_both(ri, true);
    } else if (d0.min() >= 0 && (d1.min() >= 0 || d2.min() >= 0)) {
        ri.allocate_watch(1, LOWER_BOUND_WATCH);
        ri.allocate_watch(2, LOWER_BOUND_WATCH);
    } else if (d0.min() >= 0 && !(d1.max() > 0 && d2.max() > 0)) {
        ri.allocate_watch(1, UPPER_BOUND_WATCH);
        ri.allocate_watch(2, UPPER_BOUND_WATCH);
    } else {
        ri.allocate_watch(1, MODIFICATION_WATCH);
        ri.allocate_watch(2, MODIFICATION_WATCH);
    }
    return true;
}

constraint_propagator::result_type greater_equal_mul_propagator::propagate(
    constraint_runtime_info& ri) {
    if (qarn::any_empty(ri))
        return UNSAT;
    const long long bottom = corner_products(ri.domain(1), ri.domain(2)).first;
    const iset& d0 = ri.domain(0);
    if (bottom > d0.max())
        return UNSAT;
    if (bottom > d0.min()) {
        const iset::range_type allowed(static_cast<int>(bottom), d0.max());
        iset narrowed(d0);
        narrowed.intersect(allowed);
        ri.set_domain(0, std::move(narrowed));
    }
    if (!propagate_to_multiplicand(ri, 1, product_side::greater_equal) ||
        !propagate_to_multiplicand(ri, 2, product_side::greater_equal))
        return UNSAT;
    return CONSISTENT;
}

bool greater_equal_mul_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (qarn::any_empty(ri))
        return true;
    return ri.domain(0).max() < corner_products(ri.domain(1), ri.domain(2)).first;
}

bool greater_equal_mul_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return static_cast<long long>(ri.domain(1).min()) * ri.domain(2).min() <= ri.domain(0).min();
}

void greater_equal_mul_propagator::print(std::ostream& os,
                                         const constraint_runtime_info* ri) const {
    print_inequality(os, ri, ">= ");
}

std::unique_ptr<constraint_propagator> greater_equal_mul_propagator::clone() const {
    return std::make_unique<greater_equal_mul_propagator>();
}

std::unique_ptr<constraint_propagator> greater_equal_mul_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    for (unsigned k = 1; k <= 2; ++k) {
        if (!bounded::is_singleton(ri.domain(k)) || ri.domain(k).min() == INT_MIN)
            continue;
        const int c = ri.domain(k).min();
        const unsigned j = 3 - k;
        if (bounded::is_singleton(ri.domain(0)) && ri.domain(0).min() != INT_MIN) {
            params = {j}; // -c * xj >= -a
            return std::make_unique<linear_combination_ge_propagator>(-ri.domain(0).min(),
                                                                      std::vector<int>{-c});
        }
        params = {0, j}; // x0 - c * xj >= 0
        if (c == 1)
            return std::make_unique<difference_ge_propagator>(0);
        return std::make_unique<linear_combination_ge_propagator>(0, std::vector<int>{1, -c});
    }
    return nullptr;
}

} // namespace qarn
