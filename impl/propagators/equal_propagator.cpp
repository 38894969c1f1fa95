// Equality: both domains narrowed to their intersection; substitution of one
// side for the other when learning; the propagators of resolved disjunctions
// whose base is an equality.

#include "impl/propagators/equal_propagator.h"

#include "impl/engine/runtime_views.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/literal_propagators.h"

namespace qarn {

constraint_propagator::result_type equal_propagator::propagate_equal(constraint_runtime_info& ri,
                                                                     unsigned px, unsigned py) {
    const iset& x = ri.domain(px);
    const iset& y = ri.domain(py);
    if (x.empty() || y.empty())
        return UNSAT;
    if (iset::same_elements(x, y))
        return CONSISTENT;
    iset common(x);
    common.intersect(y);
    if (common.empty())
        return UNSAT;
    // The first parameter that differs from the intersection gets it, every
    // later one a copy of what was just written.
    const bool x_differs = x.size() != common.size();
    if (x_differs) {
        ri.set_domain(px, common);
        ri.set_domain(py, ri.domain(px));
    } else {
        ri.set_domain(py, std::move(common));
    }
    return CONSISTENT;
}

constraint_propagator::result_type equal_propagator::propagate(constraint_runtime_info& ri) {
    return propagate_equal(ri, 0, 1);
}

bool equal_propagator::conflicts(const constraint_runtime_info& ri) const {
    return !ri.domain(0).contains_any_of(ri.domain(1));
}

bool equal_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return ri.domain(0).min() == ri.domain(1).min();
}

void equal_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_binary(os, ri, "equal", "(", "==", ")");
}

std::unique_ptr<constraint_propagator> equal_propagator::clone() const {
    return std::make_unique<equal_propagator>(*this);
}

std::unique_ptr<constraint_propagator> equal_propagator::new_propagator(
    disjunction_specification& description, std::vector<unsigned>& params) const {
    return new_binary_base_propagator(
        description, params,
        [](const iset& literal) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<literal_or_equal_propagator>(literal);
        },
        [](std::vector<iset> sets) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<disjoint_propagator<equal_propagator, clause_propagation_algo>>(
                equal_propagator(), clause_propagation_algo(std::move(sets)));
        });
}

bool equal_propagator::may_combine(const constraint_propagator&) const {
    return true;
}

std::unique_ptr<constraint_propagator> equal_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    const unsigned m = other_ri.arity();
    if (param >= m || param >= other_to_this.size() || other_to_this[param] > 1)
        return nullptr;
    const unsigned side = 1 - other_to_this[param]; // the side that replaces the pivot
    // The substituted constraint is tried on the other's domains with the
    // pivot taking the other side's domain; the probe never touches the
    // real domains.
    constraint_explicit_info probe(m);
    out_params.assign(m, 0);
    for (unsigned i = 0; i < m; ++i) {
        const unsigned mapped = i < other_to_this.size() ? other_to_this[i] : i;
        if (mapped == side) {
            out_params.clear(); // the other side is already a parameter
            return nullptr;
        }
        out_params[i] = i == param ? side : mapped;
        probe.set_domain(i, i == param ? this_ri.domain(side) : other_ri.domain(i));
    }
    std::unique_ptr<constraint_propagator> substituted = other.clone();
    substituted->forget_watches();
    const bool conflicting =
        !substituted->init(probe) || substituted->propagate(probe) == UNSAT;
    substituted->forget_watches();
    if (!conflicting) {
        out_params.clear();
        return nullptr;
    }
    return substituted;
}

} // namespace qarn
