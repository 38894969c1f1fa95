// is_equal, difference_ge with its proof rule, its disjunctive form, and the
// combination of differences during learning.
#include "impl/propagators/difference_propagators.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <initializer_list>

#include "impl/engine/runtime_views.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/interval_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/literal_propagators.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

typedef std::int64_t wide;

// "diff_ge_"-style numbers: k, or "minus_" and the magnitude of a negative k.
void print_constant(std::ostream& os, int k) {
    if (k < 0)
        os << "minus_" << (0u - static_cast<unsigned>(k));
    else
        os << k;
}

// Makes `base` the owned base constraint of out over `vars`, placed after
// the literals out already has.
void set_base(disjunction_specification& out, std::unique_ptr<constraint_propagator> base,
              std::initializer_list<unsigned> vars) {
    std::vector<unsigned>& map = out.update_param_map();
    map.resize(out.literal_count());
    for (unsigned v : vars)
        map.push_back(v);
    out.set_owned_base(std::move(base), out.literal_count());
    out.set_base_count(static_cast<unsigned>(vars.size()));
}

// Appends the literals (variable, set) to out; empty sets are left out, a
// literal that can never hold being no part of a disjunction.
void append_literals(disjunction_specification& out, const std::vector<unsigned>& variables,
                     const std::vector<iset>& sets) {
    std::vector<unsigned> kept_variables;
    std::vector<iset> kept_sets;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (sets[i].empty())
            continue;
        kept_variables.push_back(variables[i]);
        kept_sets.push_back(sets[i]);
    }
    disjunction_specification literals;
    literals.update_param_map() = kept_variables;
    literals.set_literals(0, kept_sets.data(), static_cast<unsigned>(kept_sets.size()));
    out.append_literals(literals);
}

// The domain of base parameter k of a description in its own view.
const iset* base_domain(const disjunction_specification& d, unsigned k) {
    const constraint_runtime_info* ri = d.runtime_info();
    if (!ri || d.first_base_position() + k >= ri->arity())
        return nullptr;
    return &ri->domain(d.first_base_position() + k);
}

// Resolution of x - p >= k1 (first's base) and p - z >= k2 (second's base)
// on p. The sum x - z >= k1 + k2 when that conflicts with the current
// bounds; otherwise the weaker "p in [k2 + min z, max x - k1], or [z, x - K]
// is an interval reaching below min z or beyond max x - K".
bool middle_pivot(const disjunction_specification& first, int k1,
                  const disjunction_specification& second, int k2,
                  disjunction_specification& out) {
    const wide K = static_cast<wide>(k1) + k2;
    if (K > INT_MAX || K < INT_MIN)
        return false;
    const iset* x_domain = base_domain(first, 0);
    const iset* z_domain = base_domain(second, 1);
    if (!x_domain || !z_domain || x_domain->empty() || z_domain->empty())
        return false;
    const wide minz = z_domain->min();
    const wide maxx = x_domain->max();
    const unsigned x = first.base_variable(0);
    const unsigned p = first.base_variable(1);
    const unsigned z = second.base_variable(1);
    if (minz > maxx - K) {
        set_base(out, std::make_unique<difference_ge_propagator>(static_cast<int>(K)), {x, z});
        return true;
    }
    const wide lo = std::max<wide>(k2 + minz, INT_MIN);
    wide hi = maxx - k1;
    if (hi > wide(INT_MAX) - 1)
        hi = INT_MAX;
    if (lo <= INT_MAX && hi >= INT_MIN)
        append_literals(out, {p}, {bounded::interval(lo, hi)});
    const wide bound = maxx - K;
    if (bound < INT_MIN || bound > INT_MAX)
        return false;
    set_base(out,
             std::make_unique<no_sub_interval_propagator>(static_cast<int>(minz),
                                                          static_cast<int>(bound),
                                                          static_cast<int>(K)),
             {z, x});
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// b <=> x = y

constraint_propagator::result_type is_equal_propagator::propagate(constraint_runtime_info& ri) {
    if (ri.domain(1).empty() || ri.domain(2).empty())
        return UNSAT;
    iset b(ri.domain(0));
    bounded::intersect(b, 0, 1);
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (!x.contains_any_of(y))
        b.intersect(iset::range_type(0, 0));
    if (bounded::is_singleton(x) && bounded::is_singleton(y) && x.min() == y.min())
        b.intersect(iset::range_type(1, 1));
    if (b.empty())
        return UNSAT;
    const bool is_false = !b.contains(1), is_true = !b.contains(0);
    ri.set_domain(0, std::move(b));
    if (is_true)
        return equal_propagator::propagate_equal(ri, 1, 2);
    if (!is_false)
        return CONSISTENT;
    // x != y: a fixed side is removed from the other one.
    for (unsigned fixed = 1; fixed <= 2; ++fixed) {
        const iset& f = ri.domain(fixed);
        if (!bounded::is_singleton(f))
            continue;
        const iset::range_type value(f.min(), f.min());
        if (!narrow_domain(ri, 3 - fixed, [&](iset& d) { d.erase(value); }))
            return UNSAT;
        return VALID;
    }
    return CONSISTENT;
}

bool is_equal_propagator::conflicts(const constraint_runtime_info& ri) const {
    const iset& b = ri.domain(0);
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty())
        return true;
    const bool may_differ = b.contains(0), may_equal = b.contains(1);
    if (may_differ && may_equal)
        return false;
    if (may_differ)
        return bounded::is_singleton(x) && bounded::is_singleton(y) && x.min() == y.min();
    if (may_equal)
        return !x.contains_any_of(y);
    return true;
}

bool is_equal_propagator::constraint_check(const constraint_runtime_info& ri) const {
    const int b = ri.domain(0).min();
    const bool equal = ri.domain(1).min() == ri.domain(2).min();
    return (b == 1 && equal) || (b == 0 && !equal);
}

void is_equal_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "is_equal"))
        return;
    ri->print_param(os, 0);
    os << " iff ";
    ri->print_param(os, 1);
    os << " = ";
    ri->print_param(os, 2);
    os << ')';
}

std::unique_ptr<constraint_propagator> is_equal_propagator::clone() const {
    return std::make_unique<is_equal_propagator>(*this);
}

// ---------------------------------------------------------------------------
// x - y >= k

std::unique_ptr<explanation_rule> difference_ge_propagator::diff_ge_rule::clone() const {
    return std::make_unique<diff_ge_rule>(*this);
}

void difference_ge_propagator::diff_ge_rule::get_explanation(std::vector<iset>& sets) const {
    sets.clear();
    sets.resize(2);
    if (m_bound < MAX_DOMAIN)
        sets[0] = bounded::interval(wide(m_bound) + 1, INT_MAX);
    sets[1] = bounded::interval(INT_MIN, wide(m_bound) - m_k);
}

void difference_ge_propagator::diff_ge_rule::print(std::ostream& os,
                                                   const variable_print_strategy&,
                                                   const std::vector<unsigned>&) const {
    os << "DIFF_GE_";
    print_constant(os, m_k);
    os << '(' << m_bound << ')';
}

bool difference_ge_propagator::init(constraint_runtime_info& ri) {
    ri.allocate_watch(1, LOWER_BOUND_WATCH);
    ri.allocate_watch(0, UPPER_BOUND_WATCH);
    return true;
}

constraint_propagator::result_type difference_ge_propagator::propagate_difference(
    constraint_runtime_info& ri, unsigned px, unsigned py, int k) {
    if (ri.domain(px).empty() || ri.domain(py).empty())
        return UNSAT;
    const wide maxx = ri.domain(px).max(), minx = ri.domain(px).min();
    const wide miny = ri.domain(py).min(), maxy = ri.domain(py).max();
    if (maxx - miny < k)
        return UNSAT;
    if (maxy > maxx - k &&
        !narrow_domain(ri, py, [&](iset& y) { bounded::intersect(y, INT_MIN, maxx - k); }))
        return UNSAT;
    if (minx < miny + k &&
        !narrow_domain(ri, px, [&](iset& x) { bounded::intersect(x, miny + k, INT_MAX); }))
        return UNSAT;
    return wide(ri.domain(px).min()) - ri.domain(py).max() < k ? CONSISTENT : VALID;
}

constraint_propagator::result_type difference_ge_propagator::propagate(
    constraint_runtime_info& ri) {
    return propagate_difference(ri, 0, 1, m_k);
}

bool difference_ge_propagator::conflicts(const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    return x.empty() || y.empty() || wide(x.max()) - y.min() < m_k;
}

bool difference_ge_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return wide(ri.domain(0).min()) - ri.domain(1).min() >= m_k;
}

void difference_ge_propagator::print_name(std::ostream& os, int k) {
    os << "diff_ge_";
    print_constant(os, k);
}

void difference_ge_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    const auto name = [this](std::ostream& o) { print_name(o, m_k); };
    if (!print_opening(os, ri, name))
        return;
    ri->print_param(os, 0);
    os << '-';
    ri->print_param(os, 1);
    os << ">=" << m_k << ')';
}

std::unique_ptr<explanation_rule> difference_ge_propagator::rule(
    const std::vector<iset>& explanation) const {
    // Without a first set, x > bound must be impossible: bound is the
    // largest value a domain holds.
    int bound = MAX_DOMAIN;
    if (!explanation.empty() && !explanation[0].empty()) {
        if (explanation[0].min() == INT_MIN)
            return nullptr; // no bound below the smallest value
        bound = explanation[0].min() - 1;
    }
    return std::make_unique<diff_ge_rule>(m_k, bound);
}

std::unique_ptr<constraint_propagator> difference_ge_propagator::clone() const {
    return std::make_unique<difference_ge_propagator>(*this);
}

std::unique_ptr<constraint_propagator> difference_ge_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    if (!bounded::is_singleton(ri.domain(0)) && !bounded::is_singleton(ri.domain(1)))
        return nullptr;
    return linear_combination_ge_propagator(m_k, {1, -1}).intersect_with(ri, params);
}

bool difference_ge_propagator::get_disjunction_specification(
    disjunction_specification& description) const {
    description.set_literals(0, nullptr, 0);
    description.set_borrowed_base(this, 0);
    return true;
}

bool difference_ge_propagator::disjoin_constraint(const disjunction_specification& a,
                                                  const disjunction_specification& b,
                                                  disjunction_specification& out) const {
    const auto* other = dynamic_cast<const difference_ge_propagator*>(b.base());
    if (!other)
        return false;
    if (a.base_count() == 2 && b.base_count() == 2 &&
        a.base_variable(0) == b.base_variable(0) && a.base_variable(1) == b.base_variable(1)) {
        // The same difference twice: the weaker bound is the disjunction.
        out.append_constraint(other->m_k < m_k ? b : a);
        return true;
    }
    return disjoin_incompatible_constraint(a, b, out);
}

bool difference_ge_propagator::disjoin_incompatible_constraint(
    const disjunction_specification& a, const disjunction_specification& b,
    disjunction_specification& out) const {
    for (unsigned i = 0; i < a.base_count(); ++i)
        if (b.has_literal(a.base_variable(i)))
            return false;
    // b's base turns into literals on its variables: none of them may be a
    // variable that already has a literal or belongs to a's base.
    std::vector<unsigned> variables;
    for (unsigned j = 0; j < b.base_count(); ++j) {
        const unsigned w = b.base_variable(j);
        if (a.has_literal(w) || b.has_literal(w) || a.has_base_variable(w))
            return false;
        for (unsigned v : variables)
            if (v == w)
                return false;
        variables.push_back(w);
    }
    constraint_explicit_info domains(b.base_count());
    for (unsigned j = 0; j < b.base_count(); ++j) {
        const iset* d = base_domain(b, j);
        if (!d)
            return false;
        domains.set_domain(j, *d);
    }
    if (!b.base()->conflicts(domains))
        return false;
    // b's base cannot hold: its explanation, a clause it implies, takes its place.
    std::vector<iset> explanation;
    b.base()->explain_propagation(0, bounded::all_values(), iset(), domains, explanation);
    explanation.resize(b.base_count());
    append_literals(out, variables, explanation);
    out.append_constraint(a);
    return true;
}

bool difference_ge_propagator::combine_base_constraints(disjunction_specification& a,
                                                        disjunction_specification& b,
                                                        unsigned pivot,
                                                        disjunction_specification& out) const {
    out.clear();
    const auto* other = dynamic_cast<const difference_ge_propagator*>(b.base());
    if (!other || a.base_count() != 2 || b.base_count() != 2)
        return false;
    const unsigned xa = a.base_variable(0), ya = a.base_variable(1);
    const unsigned xb = b.base_variable(0), yb = b.base_variable(1);
    const int ka = m_k, kb = other->m_k;
    if (xb == ya && yb == xa) {
        // x - y >= ka and y - x >= kb.
        if (wide(ka) + kb > 0)
            return true; // impossible together: nothing of the bases is left
        if (ka == 0 && kb == 0) {
            set_base(out, std::make_unique<equal_propagator>(), {xa, ya});
            return true;
        }
        return false;
    }
    if (pivot == ya && pivot == xb)
        return middle_pivot(a, ka, b, kb, out);
    if (pivot == xa && pivot == yb)
        return middle_pivot(b, kb, a, ka, out);
    return false;
}

std::unique_ptr<constraint_propagator> difference_ge_propagator::new_propagator(
    disjunction_specification& description, std::vector<unsigned>& params) const {
    const int k = m_k;
    return new_binary_base_propagator(
        description, params,
        [k](const iset& literal) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<literal_or_difference_ge_propagator>(literal, k);
        },
        [k](std::vector<iset> sets) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<difference_ge_or_clause_propagator>(k, std::move(sets));
        });
}

bool difference_ge_propagator::may_combine_with(const constraint_propagator& other) {
    return dynamic_cast<const difference_ge_propagator*>(&other) ||
           dynamic_cast<const literal_or_difference_ge_propagator*>(&other) ||
           dynamic_cast<const difference_ge_or_clause_propagator*>(&other) ||
           dynamic_cast<const clause_propagator*>(&other);
}

std::unique_ptr<constraint_propagator> difference_ge_propagator::combine_described(
    const constraint_propagator& self, const constraint_runtime_info& this_ri,
    const constraint_propagator& other, const constraint_runtime_info& other_ri,
    const std::vector<unsigned>& other_to_this, unsigned param,
    std::vector<unsigned>& out_params) {
    if (param >= other_to_this.size())
        return nullptr;
    disjunction_specification mine(this_ri, self, std::vector<unsigned>());
    disjunction_specification theirs(other_ri, other, other_to_this);
    return mine.combine(theirs, other_to_this[param], out_params);
}

bool difference_ge_propagator::may_combine(const constraint_propagator& other) const {
    return may_combine_with(other);
}

std::unique_ptr<constraint_propagator> difference_ge_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    return combine_described(*this, this_ri, other, other_ri, other_to_this, param, out_params);
}

// ---------------------------------------------------------------------------
// (x - y >= k) or clause

bool difference_ge_or_clause_propagator::get_disjunction_specification(
    disjunction_specification& description) const {
    const std::vector<iset>& literals = algo().b_part().literals();
    description.set_literals(2, literals.data(), static_cast<unsigned>(literals.size()));
    description.set_owned_base(
        std::make_unique<difference_ge_propagator>(algo().a_part().k()), 0);
    return true;
}

bool difference_ge_or_clause_propagator::may_combine(const constraint_propagator& other) const {
    return difference_ge_propagator::may_combine_with(other);
}

std::unique_ptr<constraint_propagator> difference_ge_or_clause_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    return difference_ge_propagator::combine_described(*this, this_ri, other, other_ri,
                                                       other_to_this, param, out_params);
}

} // namespace qarn
