// Disequalities: wait for one side to be fixed, then remove its value from
// the other side.
#include "impl/propagators/neq_propagators.h"

#include <climits>

#include "impl/propagators/sum_propagators.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

using bounded::is_singleton;


// Every parameter is watched for becoming fixed.
bool watch_finalization(constraint_runtime_info& ri) {
    for (unsigned p = 0; p < ri.arity(); ++p)
        ri.allocate_watch(p, watch_types::FINALIZATION_WATCH);
    return true;
}

// Removes v from parameter p unless v lies outside 32 bits; the domain is
// written back either way.
constraint_propagator::result_type remove_value(constraint_runtime_info& ri, unsigned p,
                                                long long v) {
    const auto erase_v = [v](iset& d) {
        if (v >= INT_MIN && v <= INT_MAX)
            d.erase(iset::range_type(static_cast<int>(v), static_cast<int>(v)));
    };
    if (!narrow_domain(ri, p, erase_v))
        return propagation_types::UNSAT;
    return propagation_types::VALID;
}

} // namespace

// ---------------------------------------------------------------------------
// x != y

std::unique_ptr<explanation_rule> neq_propagator::neq_rule::clone() const {
    return std::make_unique<neq_rule>(*this);
}

void neq_propagator::neq_rule::get_explanation(std::vector<iset>& sets) const {
    sets.clear();
    sets.resize(2);
    sets[0] = iset(m_value);
    sets[0].complement();
    sets[1] = sets[0];
}

void neq_propagator::neq_rule::print(std::ostream& os, const variable_print_strategy&,
                                     const std::vector<unsigned>&) const {
    os << "DIFF(" << m_value << ")";
}

bool neq_propagator::init(constraint_runtime_info& ri) {
    return watch_finalization(ri);
}

constraint_propagator::result_type neq_propagator::propagate(constraint_runtime_info& ri) {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    if (!x.contains_any_of(y))
        return x.empty() || y.empty() ? UNSAT : VALID;
    if (is_singleton(x))
        return remove_value(ri, 1, x.min());
    if (is_singleton(y))
        return remove_value(ri, 0, y.min());
    return CONSISTENT;
}

bool neq_propagator::conflicts(const constraint_runtime_info& ri) const {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    return is_singleton(x) && is_singleton(y) && x.min() == y.min();
}

bool neq_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return !iset::same_elements(ri.domain(0), ri.domain(1));
}

void neq_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_binary(os, ri, "neq", "(", "!=", ")");
}

std::unique_ptr<explanation_rule> neq_propagator::rule(const std::vector<iset>& explanation) const {
    if (explanation.empty())
        return nullptr;
    iset excluded(explanation[0]);
    excluded.complement();
    if (excluded.empty())
        return nullptr;
    return std::make_unique<neq_rule>(excluded.max());
}

std::unique_ptr<constraint_propagator> neq_propagator::clone() const {
    return std::make_unique<neq_propagator>(*this);
}

std::unique_ptr<constraint_propagator> neq_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    static const iset zero_one(0, 1);
    if (!iset::same_elements(ri.domain(0), zero_one) || !iset::same_elements(ri.domain(1), zero_one))
        return nullptr;
    params = {0, 1};
    return std::make_unique<sum_mod_propagator>(2, 1);
}

// ---------------------------------------------------------------------------
// x - y != k

bool difference_neq_constant_propagator::init(constraint_runtime_info& ri) {
    return watch_finalization(ri);
}

constraint_propagator::result_type difference_neq_constant_propagator::propagate(
    constraint_runtime_info& ri) {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    if (x.empty() || y.empty())
        return UNSAT;
    if (is_singleton(x))
        return remove_value(ri, 1, static_cast<long long>(x.min()) - m_k);
    if (is_singleton(y))
        return remove_value(ri, 0, static_cast<long long>(y.min()) + m_k);
    return CONSISTENT;
}

bool difference_neq_constant_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (!is_singleton(ri.domain(0)) || !is_singleton(ri.domain(1)))
        return false;
    return !constraint_check(ri);
}

bool difference_neq_constant_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return static_cast<long long>(ri.domain(0).min()) - ri.domain(1).min() != m_k;
}

void difference_neq_constant_propagator::print(std::ostream& os,
                                               const constraint_runtime_info* ri) const {
    const auto name = [this](std::ostream& o) { o << "difference_neq_constant(" << m_k << ")"; };
    if (!print_opening(os, ri, name))
        return;
    ri->print_param(os, 0);
    os << '-';
    ri->print_param(os, 1);
    os << "!=" << m_k << ')';
}

std::unique_ptr<constraint_propagator> difference_neq_constant_propagator::clone() const {
    return std::make_unique<difference_neq_constant_propagator>(*this);
}

} // namespace qarn
