// The literal-or and literal-iff templates and their four instances.
#include "impl/propagators/literal_propagators.h"

#include <cstdint>

#include "impl/engine/explanation_generators.h"
#include "impl/engine/runtime_views.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

typedef propagation_types::result_type result_type;
constexpr result_type UNSAT = propagation_types::UNSAT;
constexpr result_type VALID = propagation_types::VALID;
constexpr result_type CONSISTENT = propagation_types::CONSISTENT;

iset intersection(const iset& a, const iset& b) {
    iset r(a);
    r.intersect(b);
    return r;
}

iset difference(const iset& a, const iset& b) {
    iset r(a);
    r.erase_all_of(b);
    return r;
}

// The literal's set: after "=" when it is one value, else in braces.
void print_literal(std::ostream& os, const constraint_runtime_info& ri, const iset& set,
                   const char* closing) {
    ri.print_param(os, 0);
    if (bounded::is_singleton(set))
        os << '=' << set.min();
    else
        os << ":{" << set << closing;
}

// print() of a literal combined with a non-literal part (written by
// non_literal(stream, view)): "<prefix>(x0:{set}<closing><joiner>part)", or
// `kind` and the part's name without a view.
template <class NonLiteral>
void print_with_literal(std::ostream& os, const constraint_runtime_info* ri, const iset& set,
                        const char* kind, const char* closing, const char* joiner,
                        const NonLiteral& non_literal) {
    const auto name = [&](std::ostream& o) {
        o << kind;
        non_literal(o, nullptr);
    };
    if (!print_opening(os, ri, name))
        return;
    print_literal(os, *ri, set, closing);
    os << joiner;
    non_literal(os, ri);
    os << ')';
}

// A non-literal part over parameters 1 and 2: "x1<op>x2", or `name` without a view.
void print_pair(std::ostream& os, const constraint_runtime_info* ri, const char* name,
                const char* op) {
    if (!ri) {
        os << name;
        return;
    }
    ri->print_param(os, 1);
    os << op;
    ri->print_param(os, 2);
}

// The tight explanation on a clone whose watch handles belong to no view.
void explain_on_clone(const constraint_propagator& p, unsigned param, const iset& values,
                      const iset& new_domain, const constraint_runtime_info& ri,
                      std::vector<iset>& explanation) {
    std::unique_ptr<constraint_propagator> probe = p.clone();
    probe->forget_watches();
    explanation_generators::explain_propagation_tightly(*probe, param, values, new_domain, ri,
                                                        explanation);
}

} // namespace

// ---------------------------------------------------------------------------
// lit ∈ S or C

template <class D, class Tight>
bool literal_or_constraint_propagator<D, Tight>::init_non_literal_part(
    constraint_runtime_info& ri) {
    for (unsigned p = 1; p < ri.arity(); ++p)
        if (ri.domain(p).size() != 1)
            ri.allocate_watch(p, watch_types::MODIFICATION_WATCH);
    return true;
}

template <class D, class Tight>
bool literal_or_constraint_propagator<D, Tight>::init(constraint_runtime_info& ri) {
    m_watch = watch_handle_t();
    const iset& lit = ri.domain(0);
    if (m_set.contains_all_of(lit))
        return true; // the literal holds for good (or the domain is empty)
    const iset possible = intersection(lit, m_set);
    if (!possible.empty()) {
        m_watched_value = possible.min();
        m_watch = ri.allocate_value_watch(0, m_watched_value);
    }
    const bool c_possible = init_non_literal_part(ri);
    return c_possible || !possible.empty();
}

template <class D, class Tight>
result_type literal_or_constraint_propagator<D, Tight>::propagate(constraint_runtime_info& ri) {
    const iset& lit = ri.domain(0);
    if (lit.empty())
        return UNSAT;
    if (m_set.contains_all_of(lit))
        return VALID;
    const result_type state = state_of_non_literal_part(ri);
    if (state == VALID)
        return VALID;
    iset possible = intersection(lit, m_set);
    if (possible.empty())
        return state == UNSAT ? UNSAT : propagate_non_literal_part(ri);
    if (!m_watch.is_null() && !lit.contains(m_watched_value)) {
        ri.deallocate_value_watch(0, m_watched_value, m_watch);
        m_watched_value = possible.min();
        m_watch = ri.allocate_value_watch(0, m_watched_value);
    }
    if (state == UNSAT) {
        ri.set_domain(0, std::move(possible));
        return VALID;
    }
    return CONSISTENT;
}

template <class D, class Tight>
bool literal_or_constraint_propagator<D, Tight>::conflicts(
    const constraint_runtime_info& ri) const {
    const iset& lit = ri.domain(0);
    if (lit.empty())
        return true;
    if (m_set.contains_any_of(lit))
        return false;
    return state_of_non_literal_part(ri) == UNSAT;
}

template <class D, class Tight>
bool literal_or_constraint_propagator<D, Tight>::constraint_check(
    const constraint_runtime_info& ri) const {
    return m_set.contains_all_of(ri.domain(0)) || constraint_check_non_literal_part(ri);
}

template <class D, class Tight>
void literal_or_constraint_propagator<D, Tight>::print(std::ostream& os,
                                                      const constraint_runtime_info* ri) const {
    print_with_literal(os, ri, m_set, "literal_or_", "} ", "|| ",
                       [this](std::ostream& o, const constraint_runtime_info* view) {
                           print_non_literal_part(o, view);
                       });
}

template <class D, class Tight>
void literal_or_constraint_propagator<D, Tight>::explain_propagation(
    unsigned param, const iset& values, const iset& new_domain, const constraint_runtime_info& ri,
    std::vector<iset>& explanation) const {
    explain_on_clone(*this, param, values, new_domain, ri, explanation);
}

// ---------------------------------------------------------------------------
// lit ∈ S iff C

template <class D, class Tight>
void literal_iff_constraint_propagator<D, Tight>::allocate_positive_watch(
    constraint_runtime_info& ri) {
    m_positive_value = intersection(ri.domain(0), m_set).min();
    m_positive_watch = ri.allocate_value_watch(0, m_positive_value);
}

template <class D, class Tight>
void literal_iff_constraint_propagator<D, Tight>::allocate_negative_watch(
    constraint_runtime_info& ri) {
    m_negative_value = difference(ri.domain(0), m_set).min();
    m_negative_watch = ri.allocate_value_watch(0, m_negative_value);
}

template <class D, class Tight>
bool literal_iff_constraint_propagator<D, Tight>::init(constraint_runtime_info& ri) {
    forget_watches();
    const iset& lit = ri.domain(0);
    const bool may_hold = m_set.contains_any_of(lit);
    const bool may_fail = !m_set.contains_all_of(lit);
    const bool p = may_hold && init_non_literal_part(ri);
    const bool n = may_fail && init_neg_non_literal_part(ri);
    if (p && n) {
        allocate_positive_watch(ri);
        allocate_negative_watch(ri);
    }
    return p || n;
}

template <class D, class Tight>
result_type literal_iff_constraint_propagator<D, Tight>::propagate(constraint_runtime_info& ri) {
    const iset& lit = ri.domain(0);
    if (lit.empty())
        return UNSAT;
    const result_type state = state_of_non_literal_part(ri);
    const bool all_in = m_set.contains_all_of(lit);
    const bool some_in = m_set.contains_any_of(lit);
    if (state == VALID) {
        if (all_in)
            return VALID;
        if (!some_in)
            return UNSAT;
        ri.set_domain(0, intersection(lit, m_set));
        return VALID;
    }
    if (state == UNSAT) {
        if (!some_in)
            return VALID;
        if (all_in)
            return UNSAT;
        ri.set_domain(0, difference(lit, m_set));
        return VALID;
    }
    if (all_in)
        return propagate_non_literal_part(ri);
    if (!some_in)
        return propagate_neg_non_literal_part(ri);
    // Still undecided: keep each watch on a value of its side.
    if (!m_positive_watch.is_null() && !lit.contains(m_positive_value)) {
        ri.deallocate_value_watch(0, m_positive_value, m_positive_watch);
        allocate_positive_watch(ri);
    }
    if (!m_negative_watch.is_null() && !lit.contains(m_negative_value)) {
        ri.deallocate_value_watch(0, m_negative_value, m_negative_watch);
        allocate_negative_watch(ri);
    }
    return CONSISTENT;
}

template <class D, class Tight>
bool literal_iff_constraint_propagator<D, Tight>::conflicts(
    const constraint_runtime_info& ri) const {
    const iset& lit = ri.domain(0);
    if (lit.empty())
        return true;
    if (m_set.contains_all_of(lit))
        return state_of_non_literal_part(ri) == UNSAT;
    if (!m_set.contains_any_of(lit))
        return state_of_non_literal_part(ri) == VALID;
    return false;
}

template <class D, class Tight>
bool literal_iff_constraint_propagator<D, Tight>::constraint_check(
    const constraint_runtime_info& ri) const {
    return m_set.contains(ri.domain(0).min()) == constraint_check_non_literal_part(ri);
}

template <class D, class Tight>
void literal_iff_constraint_propagator<D, Tight>::print(std::ostream& os,
                                                       const constraint_runtime_info* ri) const {
    print_with_literal(os, ri, m_set, "literal_iff_", "}", " iff ",
                       [this](std::ostream& o, const constraint_runtime_info* view) {
                           print_non_literal_part(o, view);
                       });
}

template <class D, class Tight>
void literal_iff_constraint_propagator<D, Tight>::explain_propagation(
    unsigned param, const iset& values, const iset& new_domain, const constraint_runtime_info& ri,
    std::vector<iset>& explanation) const {
    explain_on_clone(*this, param, values, new_domain, ri, explanation);
}

template class literal_or_constraint_propagator<literal_or_equal_propagator,
                                                tight_constraint_propagator>;
template class literal_or_constraint_propagator<literal_or_difference_ge_propagator,
                                                tight_constraint_propagator>;
template class literal_or_constraint_propagator<literal_or_neq_propagator,
                                                tight_constraint_propagator>;
template class literal_iff_constraint_propagator<literal_iff_less_than_propagator,
                                                 tight_constraint_propagator>;

// ---------------------------------------------------------------------------
// lit ∈ S or x = y

result_type literal_or_equal_propagator::propagate_non_literal_part(constraint_runtime_info& ri) {
    return equal_propagator::propagate_equal(ri, 1, 2);
}

result_type literal_or_equal_propagator::state_of_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (!x.contains_any_of(y))
        return UNSAT;
    if (bounded::is_singleton(x) && bounded::is_singleton(y))
        return VALID;
    return CONSISTENT;
}

void literal_or_equal_propagator::print_non_literal_part(std::ostream& os,
                                                         const constraint_runtime_info* ri) const {
    print_pair(os, ri, "equal_propagator", "==");
}

bool literal_or_equal_propagator::constraint_check_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    return x.contains_all_of(y) && y.contains_all_of(x);
}

// ---------------------------------------------------------------------------
// lit ∈ S or x - y >= k

bool literal_or_difference_ge_propagator::init_non_literal_part(constraint_runtime_info& ri) {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty() || static_cast<std::int64_t>(x.max()) - y.min() < m_k)
        return false;
    ri.allocate_watch(2, LOWER_BOUND_WATCH);
    ri.allocate_watch(1, UPPER_BOUND_WATCH);
    return true;
}

result_type literal_or_difference_ge_propagator::propagate_non_literal_part(
    constraint_runtime_info& ri) {
    return difference_ge_propagator::propagate_difference(ri, 1, 2, m_k);
}

result_type literal_or_difference_ge_propagator::state_of_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty() || static_cast<std::int64_t>(x.max()) - y.min() < m_k)
        return UNSAT;
    if (static_cast<std::int64_t>(x.min()) - y.max() >= m_k)
        return VALID;
    return CONSISTENT;
}

void literal_or_difference_ge_propagator::print_non_literal_part(
    std::ostream& os, const constraint_runtime_info* ri) const {
    if (!ri) {
        difference_ge_propagator::print_name(os, m_k);
        return;
    }
    ri->print_param(os, 1);
    os << '-';
    ri->print_param(os, 2);
    os << ">=" << m_k;
}

bool literal_or_difference_ge_propagator::constraint_check_non_literal_part(
    const constraint_runtime_info& ri) const {
    return static_cast<std::int64_t>(ri.domain(1).min()) - ri.domain(2).min() >= m_k;
}

std::unique_ptr<constraint_propagator> literal_or_difference_ge_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    const iset& lit = ri.domain(0);
    const iset& s = literal_set();
    if (!s.empty() && s.contains_all_of(lit)) {
        params.assign(1, 0);
        return std::make_unique<clause_propagator>(
            std::initializer_list<iset>{bounded::all_values()});
    }
    const sliced_runtime_info difference_view(ri, 1, ri.arity());
    std::vector<unsigned> inner;
    std::unique_ptr<constraint_propagator> r =
        difference_ge_propagator(m_k).intersect_with(difference_view, inner);
    if (!s.contains_any_of(lit)) {
        // The literal is false: only the difference is left.
        if (!r) {
            params.assign({1, 2});
            return std::make_unique<difference_ge_propagator>(m_k);
        }
        params.clear();
        for (unsigned p : inner)
            params.push_back(p + 1);
        return r;
    }
    clause_propagator* clause = dynamic_cast<clause_propagator*>(r.get());
    if (!clause)
        return nullptr;
    std::vector<iset>& literals = clause->update_literals();
    literals.insert(literals.begin(), s);
    params.assign(1, 0);
    for (unsigned p : inner)
        params.push_back(p + 1);
    return r;
}

bool literal_or_difference_ge_propagator::get_disjunction_specification(
    disjunction_specification& description) const {
    description.set_literals(0, &literal_set(), 1);
    description.set_owned_base(std::make_unique<difference_ge_propagator>(m_k), 1);
    return true;
}

bool literal_or_difference_ge_propagator::may_combine(const constraint_propagator& other) const {
    return difference_ge_propagator::may_combine_with(other);
}

std::unique_ptr<constraint_propagator> literal_or_difference_ge_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    return difference_ge_propagator::combine_described(*this, this_ri, other, other_ri,
                                                       other_to_this, param, out_params);
}

// ---------------------------------------------------------------------------
// lit ∈ S or x != y

std::unique_ptr<explanation_rule> literal_or_neq_propagator::literal_or_neq_rule::clone() const {
    return std::make_unique<literal_or_neq_rule>(*this);
}

void literal_or_neq_propagator::literal_or_neq_rule::get_explanation(
    std::vector<iset>& sets) const {
    sets.clear();
    sets.resize(3);
    if (m_domain) {
        sets[0] = bounded::all_values();
        return;
    }
    sets[0] = m_set;
    sets[1] = iset(m_value);
    sets[1].complement();
    sets[2] = sets[1];
}

void literal_or_neq_propagator::literal_or_neq_rule::print(std::ostream& os,
                                                           const variable_print_strategy&,
                                                           const std::vector<unsigned>&) const {
    if (m_domain)
        os << "LIT_OR_NEQ_DOM";
    else
        os << "LIT_OR_NEQ({" << m_set << "}," << m_value << ")";
}

bool literal_or_neq_propagator::init_non_literal_part(constraint_runtime_info& ri) {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (!x.contains_any_of(y))
        return true; // the disequality holds for good
    if (bounded::is_singleton(x) && bounded::is_singleton(y))
        return false;
    ri.allocate_watch(1, FINALIZATION_WATCH);
    ri.allocate_watch(2, FINALIZATION_WATCH);
    return true;
}

result_type literal_or_neq_propagator::propagate_non_literal_part(constraint_runtime_info& ri) {
    sliced_runtime_info pair(ri, 1, 3);
    pair.set_querying_domain(false);
    return neq_propagator().propagate(pair);
}

result_type literal_or_neq_propagator::state_of_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty())
        return UNSAT;
    if (!x.contains_any_of(y))
        return VALID;
    if (bounded::is_singleton(x) && bounded::is_singleton(y))
        return UNSAT;
    return CONSISTENT;
}

void literal_or_neq_propagator::print_non_literal_part(std::ostream& os,
                                                       const constraint_runtime_info* ri) const {
    print_pair(os, ri, "neq_propagator", "!=");
}

bool literal_or_neq_propagator::constraint_check_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    return x.size() != y.size() || !x.contains_all_of(y);
}

std::unique_ptr<explanation_rule> literal_or_neq_propagator::rule(
    const std::vector<iset>& explanation) const {
    if (explanation.size() < 2)
        return nullptr;
    const bool domain = explanation[1].empty();
    int value = 0;
    if (!domain) {
        iset excluded(explanation[1]);
        excluded.complement();
        if (excluded.empty())
            return nullptr;
        value = excluded.max();
    }
    return std::make_unique<literal_or_neq_rule>(value, literal_set(), domain);
}

// ---------------------------------------------------------------------------
// lit ∈ S iff x < y

bool literal_iff_less_than_propagator::init_non_literal_part(constraint_runtime_info& ri) {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty() || y.max() <= x.min())
        return false;
    ri.allocate_watch(1, LOWER_BOUND_WATCH);
    ri.allocate_watch(2, UPPER_BOUND_WATCH);
    return true;
}

bool literal_iff_less_than_propagator::init_neg_non_literal_part(constraint_runtime_info& ri) {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty() || y.min() > x.max())
        return false;
    ri.allocate_watch(1, UPPER_BOUND_WATCH);
    ri.allocate_watch(2, LOWER_BOUND_WATCH);
    return true;
}

result_type literal_iff_less_than_propagator::propagate_non_literal_part(
    constraint_runtime_info& ri) {
    // x < y, both domains known to allow it.
    if (ri.domain(2).max() <= ri.domain(1).max()) {
        const iset::range_type too_high(ri.domain(2).max(), MAX_DOMAIN);
        if (!narrow_domain(ri, 1, [&](iset& x) { x.erase(too_high); }))
            return UNSAT;
    }
    if (ri.domain(2).min() <= ri.domain(1).min()) {
        const iset::range_type too_low(MIN_DOMAIN, ri.domain(1).min());
        if (!narrow_domain(ri, 2, [&](iset& y) { y.erase(too_low); }))
            return UNSAT;
    }
    return ri.domain(2).min() > ri.domain(1).max() ? VALID : CONSISTENT;
}

result_type literal_iff_less_than_propagator::propagate_neg_non_literal_part(
    constraint_runtime_info& ri) {
    // x >= y, both domains known to allow it.
    if (ri.domain(1).min() < ri.domain(2).min()) {
        const iset::range_type too_low(MIN_DOMAIN, ri.domain(2).min() - 1);
        if (!narrow_domain(ri, 1, [&](iset& x) { x.erase(too_low); }))
            return UNSAT;
    }
    if (ri.domain(2).max() > ri.domain(1).max()) {
        const iset::range_type too_high(ri.domain(1).max() + 1, MAX_DOMAIN);
        if (!narrow_domain(ri, 2, [&](iset& y) { y.erase(too_high); }))
            return UNSAT;
    }
    return ri.domain(2).max() <= ri.domain(1).min() ? VALID : CONSISTENT;
}

result_type literal_iff_less_than_propagator::state_of_non_literal_part(
    const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(1);
    const iset& y = ri.domain(2);
    if (x.empty() || y.empty())
        return UNSAT;
    if (y.min() > x.max())
        return VALID;
    if (y.max() > x.min())
        return CONSISTENT;
    return UNSAT;
}

void literal_iff_less_than_propagator::print_non_literal_part(
    std::ostream& os, const constraint_runtime_info* ri) const {
    print_pair(os, ri, "less_than_propagator", "<");
}

bool literal_iff_less_than_propagator::constraint_check_non_literal_part(
    const constraint_runtime_info& ri) const {
    return ri.domain(2).min() > ri.domain(1).min();
}

} // namespace qarn
