// Non-overlap of two intervals, and sub-interval and no-sub-interval
// constraints on the ends of one interval.
#include "impl/propagators/interval_propagators.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "impl/engine/explanation_generators.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

typedef std::int64_t wide;

iset hull(const iset& s) {
    return s.empty() ? iset() : iset(s.min(), s.max());
}

// "-k" for a positive k, "+|k|" for a negative one, nothing for 0.
void print_offset(std::ostream& os, int k) {
    if (k > 0)
        os << '-' << k;
    else if (k < 0)
        os << '+' << -wide(k);
}

} // namespace

// ---------------------------------------------------------------------------
// x + L0 <= y or y + L1 <= x

void no_overlap_propagator::propagate(iset& first, long length, iset& second) const {
    if (!first.empty() && !second.empty()) {
        const wide lo = wide(first.min()) + length;
        const wide hi = wide(second.max()) - length;
        if (lo <= INT_MAX && hi >= INT_MIN) {
            bounded::intersect(first, INT_MIN, hi);
            bounded::intersect(second, lo, INT_MAX);
            if (!first.empty() && !second.empty())
                return;
        }
    }
    first = iset();
    second = iset();
}

void no_overlap_propagator::both_orders(const constraint_runtime_info& ri, iset& x,
                                        iset& y) const {
    x = ri.domain(0);
    y = ri.domain(1);
    propagate(x, m_l0, y); // x before y
    iset x2(ri.domain(0)), y2(ri.domain(1));
    propagate(y2, m_l1, x2); // y before x
    x.insert_all_of(x2);
    y.insert_all_of(y2);
}

constraint_propagator::result_type no_overlap_propagator::propagate(constraint_runtime_info& ri) {
    iset x, y;
    both_orders(ri, x, y);
    if (x.empty() || y.empty())
        return UNSAT;
    ri.set_domain(0, std::move(x));
    ri.set_domain(1, std::move(y));
    return CONSISTENT;
}

bool no_overlap_propagator::conflicts(const constraint_runtime_info& ri) const {
    iset x, y;
    both_orders(ri, x, y);
    return x.empty();
}

bool no_overlap_propagator::constraint_check(const constraint_runtime_info& ri) const {
    const wide x = ri.domain(0).min(), y = ri.domain(1).min();
    return x + m_l0 <= y || y + m_l1 <= x;
}

void no_overlap_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    const auto name = [this](std::ostream& o) {
        o << "no_overlap(L0=" << m_l0 << ", L1=" << m_l1 << ")";
    };
    if (!print_opening(os, ri, name))
        return;
    ri->print_param(os, 0);
    os << '+' << m_l0 << "<=";
    ri->print_param(os, 1);
    os << " || ";
    ri->print_param(os, 1);
    os << '+' << m_l1 << "<=";
    ri->print_param(os, 0);
    os << ')';
}

std::unique_ptr<constraint_propagator> no_overlap_propagator::clone() const {
    return std::make_unique<no_overlap_propagator>(*this);
}

// A pair of intervals (X, Y) admits no solution exactly when
//   min X >= max Y - L0 + 1 and max X <= min Y + L1 - 1:
// every x then starts before every y ends and ends after every y starts.
// Each extension below moves one bound as far as its inequality allows.

void no_overlap_propagator::extend_first_min_for_reduction(iset& s, long length,
                                                           const iset& other) const {
    bounded::insert(s, std::max<wide>(wide(other.max()) - length + 1, INT_MIN), s.min());
}

void no_overlap_propagator::extend_first_max_for_reduction(iset& s, const iset& other,
                                                           long length) const {
    bounded::insert(s, s.max(), std::min<wide>(wide(other.min()) + length - 1, INT_MAX));
}

void no_overlap_propagator::explain_empty(iset& x, iset& y,
                                          std::vector<iset>& explanation) const {
    extend_first_min_for_reduction(x, m_l0, y);
    extend_first_min_for_reduction(y, m_l1, x);
    extend_first_max_for_reduction(x, y, m_l1);
    extend_first_max_for_reduction(y, x, m_l0);
    explanation.resize(2);
    explanation[0] = x;
    explanation[0].complement();
    explanation[1] = y;
    explanation[1].complement();
}

void no_overlap_propagator::extend_unsat_towards_equality(iset& x, iset& y) const {
    const wide lo = std::max<wide>(wide(y.max()) - m_l0 + 1, y.min());
    if (x.min() > lo)
        bounded::insert(x, lo, x.min());
    const wide lo2 = std::max<wide>(wide(x.max()) - m_l1 + 1, x.min());
    if (y.min() > lo2)
        bounded::insert(y, lo2, y.min());
    const wide hi = std::min<wide>(wide(y.min()) + m_l1 - 1, y.max());
    if (x.max() < hi)
        bounded::insert(x, x.max(), hi);
    const wide hi2 = std::min<wide>(wide(x.min()) + m_l0 - 1, x.max());
    if (y.max() < hi2)
        bounded::insert(y, y.max(), hi2);
}

void no_overlap_propagator::explain_propagation(unsigned param, const iset& values,
                                                const iset& new_domain,
                                                const constraint_runtime_info& ri,
                                                std::vector<iset>& explanation) const {
    explanation.assign(2, iset());
    for (unsigned i = 0; i < 2; ++i) {
        if (ri.domain(i).empty()) {
            explanation[i] = bounded::all_values(); // nothing satisfies it
            return;
        }
    }
    iset x(ri.domain(0)), y(ri.domain(1));
    if (!new_domain.empty() && param < 2) {
        // The removed values of param (those asked for, else the least one)
        // against the other domain.
        iset& removed = param == 0 ? x : y;
        removed.erase_all_of(new_domain);
        if (removed.empty()) {
            explanation_generators::explain_propagation(param, values, new_domain, ri,
                                                        explanation);
            return;
        }
        iset asked(removed);
        asked.intersect(values);
        removed = asked.empty() ? iset(removed.min()) : std::move(asked);
        x = hull(x);
        y = hull(y);
        if (param == 1) {
            extend_first_min_for_reduction(x, m_l0, y);
            extend_first_max_for_reduction(x, y, m_l1);
        } else {
            extend_first_min_for_reduction(y, m_l1, x);
            extend_first_max_for_reduction(y, x, m_l0);
        }
    } else {
        x = hull(x);
        y = hull(y);
        extend_unsat_towards_equality(x, y);
    }
    explain_empty(x, y, explanation);
}

// ---------------------------------------------------------------------------
// y < x, or a <= x and y <= b

bool sub_interval_propagator::can_be_satisfied(const iset& x, const iset& y) const {
    if (x.empty() || y.empty())
        return false;
    return y.min() < x.max() || (m_a <= x.max() && y.min() <= m_b);
}

bool sub_interval_propagator::can_be_falsified(const iset& x, const iset& y) const {
    if (x.empty() || y.empty())
        return true;
    if (y.max() < x.min())
        return false;
    return !(m_a <= x.min() && y.max() <= m_b);
}

bool sub_interval_propagator::init(constraint_runtime_info& ri) {
    if (!can_be_satisfied(ri.domain(0), ri.domain(1)))
        return false;
    if (!can_be_falsified(ri.domain(0), ri.domain(1)))
        return true;
    ri.allocate_watch(0, UPPER_BOUND_WATCH);
    ri.allocate_watch(1, LOWER_BOUND_WATCH);
    return true;
}

constraint_propagator::result_type sub_interval_propagator::update_domains(
    constraint_runtime_info& ri, long min_x, long max_y) {
    if (ri.domain(1).max() > max_y &&
        !narrow_domain(ri, 1, [&](iset& y) { bounded::intersect(y, INT_MIN, max_y); }))
        return UNSAT;
    if (ri.domain(0).min() < min_x &&
        !narrow_domain(ri, 0, [&](iset& x) { bounded::intersect(x, min_x, INT_MAX); }))
        return UNSAT;
    return can_be_falsified(ri.domain(0), ri.domain(1)) ? CONSISTENT : VALID;
}

constraint_propagator::result_type sub_interval_propagator::propagate(
    constraint_runtime_info& ri) {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    if (!can_be_satisfied(x, y))
        return UNSAT;
    const wide maxx = x.max(), miny = y.min();
    // Inside [a, b] when that is still possible, else empty: y < x.
    const bool inside = m_a <= maxx && miny <= m_b;
    const wide lo = inside ? m_a : maxx;
    const wide hi = inside ? m_b : miny;
    const wide min_x = std::max<wide>(x.min(), lo > miny ? miny + 1 : lo);
    const wide max_y = std::min<wide>(y.max(), maxx > hi ? maxx - 1 : hi);
    return update_domains(ri, min_x, max_y);
}

bool sub_interval_propagator::conflicts(const constraint_runtime_info& ri) const {
    return !can_be_satisfied(ri.domain(0), ri.domain(1));
}

bool sub_interval_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return can_be_satisfied(ri.domain(0), ri.domain(1));
}

void sub_interval_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "sub_interval", "(["))
        return;
    ri->print_param(os, 0);
    os << ',';
    ri->print_param(os, 1);
    os << "] sub_interval_of [" << m_a << ',' << m_b << "])";
}

std::unique_ptr<constraint_propagator> sub_interval_propagator::clone() const {
    return std::make_unique<sub_interval_propagator>(*this);
}

// ---------------------------------------------------------------------------
// x <= y - k, and x < a or y - k > b

bool no_sub_interval_propagator::can_be_satisfied(const iset& x, const iset& y) const {
    if (x.empty() || y.empty())
        return false;
    const wide m = wide(y.max()) - m_k;
    if (x.min() > m)
        return false;
    return x.min() < m_a || m > m_b;
}

bool no_sub_interval_propagator::init(constraint_runtime_info& ri) {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    if (!can_be_satisfied(x, y))
        return false;
    const wide low_end = wide(y.min()) - m_k;
    if (x.max() <= low_end && (x.max() < m_a || low_end > m_b))
        return true; // holds whatever happens
    ri.allocate_watch(0, LOWER_BOUND_WATCH);
    ri.allocate_watch(1, UPPER_BOUND_WATCH);
    return true;
}

constraint_propagator::result_type no_sub_interval_propagator::propagate(
    constraint_runtime_info& ri) {
    if (!can_be_satisfied(ri.domain(0), ri.domain(1)))
        return UNSAT;
    const wide minx = ri.domain(0).min(), maxx = ri.domain(0).max();
    const wide miny = ri.domain(1).min(), maxy = ri.domain(1).max();
    wide max_x = std::min(maxy - m_k, maxx);
    wide min_y = std::max(minx + m_k, miny);
    if (m_a <= minx) // x < a is impossible: y - k > b must hold
        min_y = std::max<wide>(min_y, wide(m_b) + m_k + 1);
    if (maxy <= wide(m_b) + m_k) // y - k > b is impossible: x < a must hold
        max_x = std::min<wide>(max_x, wide(m_a) - 1);
    if (min_y != miny &&
        !narrow_domain(ri, 1, [&](iset& y) { bounded::intersect(y, min_y, INT_MAX); }))
        return UNSAT;
    if (max_x != maxx &&
        !narrow_domain(ri, 0, [&](iset& x) { bounded::intersect(x, INT_MIN, max_x); }))
        return UNSAT;
    const wide high_x = ri.domain(0).max();
    const wide low_end = wide(ri.domain(1).min()) - m_k;
    if (high_x > low_end)
        return CONSISTENT;
    if (m_a <= high_x)
        return low_end > m_b ? VALID : CONSISTENT;
    return VALID;
}

bool no_sub_interval_propagator::conflicts(const constraint_runtime_info& ri) const {
    return !can_be_satisfied(ri.domain(0), ri.domain(1));
}

bool no_sub_interval_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return can_be_satisfied(ri.domain(0), ri.domain(1));
}

void no_sub_interval_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    const auto name = [this](std::ostream& o) {
        o << '(';
        if (m_k != 0) {
            o << "[x,y";
            print_offset(o, m_k);
            o << ']';
        }
        o << "no_sub_interval_of [" << m_a << ',' << m_b << "])";
    };
    if (!print_opening(os, ri, name, "(["))
        return;
    ri->print_param(os, 0);
    os << ',';
    ri->print_param(os, 1);
    print_offset(os, m_k);
    os << "] no_sub_interval_of [" << m_a << ',' << m_b << "])";
}

std::unique_ptr<constraint_propagator> no_sub_interval_propagator::clone() const {
    return std::make_unique<no_sub_interval_propagator>(*this);
}

std::unique_ptr<constraint_propagator> no_sub_interval_propagator::new_propagator(
    disjunction_specification& description, std::vector<unsigned>& params) const {
    return new_base_or_clause_propagator(
        description, params, 2,
        [this](std::vector<iset> sets) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<
                disjoint_propagator<no_sub_interval_propagator, clause_propagation_algo>>(
                *this, clause_propagation_algo(std::move(sets)));
        });
}

} // namespace qarn
