// Base behaviour of propagators, the tight bases' explanations and the
// renumbering that lets an equality do the combining.
#include "impl/engine/constraint_propagator.h"

#include <stdexcept>

#include "impl/engine/explanation_generators.h"
#include "impl/propagators/equal_propagator.h"

namespace qarn {

std::ostream& operator<<(std::ostream& os, propagation_types::result_type result) {
    switch (result) {
    case propagation_types::UNSAT:
        return os << "UNSAT";
    case propagation_types::VALID:
        return os << "VALID";
    case propagation_types::CONSISTENT:
        return os << "CONSISTENT";
    case propagation_types::POSTPONE:
        return os << "POSTPONE";
    }
    return os << "unknown result_type(" << static_cast<unsigned>(result);
}

unsigned constraint_propagator::count_params() const {
    return ANY_PARAM_COUNT;
}

bool constraint_propagator::init(constraint_runtime_info& ri) {
    for (unsigned p = 0; p < ri.arity(); ++p)
        if (ri.domain(p).size() != 1)
            ri.allocate_watch(p, MODIFICATION_WATCH);
    return true;
}

void constraint_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (ri)
        ri->print(os);
}

void print_binary(std::ostream& os, const constraint_runtime_info* ri, const char* name,
                  const char* open, const char* middle, const char* close) {
    if (!print_opening(os, ri, name, open))
        return;
    ri->print_param(os, 0);
    os << middle;
    ri->print_param(os, 1);
    os << close;
}

unsigned constraint_propagator::watched_param_index(unsigned) const {
    throw std::runtime_error("impl/constraint_propagator:41: "
                             "constraint_propagator::watched_param_index\n"
                             "     has no dynamic watches to work on");
}

unsigned constraint_propagator::count_watches() const {
    return 0;
}

void constraint_propagator::forget_watches() {}

void constraint_propagator::explain_propagation(unsigned param, const iset& values,
                                                const iset& new_domain,
                                                const constraint_runtime_info& ri,
                                                std::vector<iset>& explanation) const {
    explanation_generators::explain_propagation(param, values, new_domain, ri, explanation);
}

void constraint_propagator::possibly_crippling_values(unsigned param, const iset& values,
                                                      const constraint_runtime_info& ri,
                                                      std::vector<iset>& out) const {
    std::unique_ptr<constraint_propagator> probe = clone();
    explanation_generators::possibly_crippling_values(*probe, param, values, ri, out);
}

std::unique_ptr<explanation_rule> constraint_propagator::rule(const std::vector<iset>&) const {
    return nullptr;
}

std::unique_ptr<constraint_propagator> constraint_propagator::intersect_with(
    const constraint_runtime_info&, std::vector<unsigned>&) const {
    return nullptr;
}

bool constraint_propagator::potentially_falsifying(const constraint_runtime_info&,
                                                   unsigned) const {
    return false;
}

bool constraint_propagator::get_disjunction_specification(disjunction_specification&) const {
    return false;
}

bool constraint_propagator::disjoin_constraint(const disjunction_specification&,
                                               const disjunction_specification&,
                                               disjunction_specification&) const {
    return false;
}

bool constraint_propagator::combine_base_constraints(disjunction_specification&,
                                                     disjunction_specification&, unsigned,
                                                     disjunction_specification&) const {
    return false;
}

std::unique_ptr<constraint_propagator> constraint_propagator::new_propagator(
    disjunction_specification&, std::vector<unsigned>&) const {
    return nullptr;
}

bool constraint_propagator::may_combine(const constraint_propagator& other) const {
    return dynamic_cast<const equal_propagator*>(&other) != nullptr;
}

std::unique_ptr<constraint_propagator> constraint_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    if (!dynamic_cast<const equal_propagator*>(&other))
        return nullptr;
    return combine_other_first(this_ri, other, other_ri, other_to_this, param, out_params);
}

std::unique_ptr<constraint_propagator> constraint_propagator::combine_other_first(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    const unsigned n = this_ri.arity(), m = other_ri.arity();
    // Parameters of this constraint that the other does not share are numbered
    // after the other's own parameters.
    std::vector<unsigned> map(n);
    for (unsigned i = 0; i < n; ++i)
        map[i] = m + i;
    for (unsigned k = 0; k < m && k < other_to_this.size(); ++k) {
        unsigned j = other_to_this[k];
        if (j < n)
            map[j] = k;
    }
    // param is the pivot's position in the other constraint; the other one
    // is handed the pivot's position here. A pivot this constraint does not
    // have cannot be eliminated.
    if (param >= other_to_this.size() || other_to_this[param] >= n)
        return nullptr;
    std::unique_ptr<constraint_propagator> result =
        other.combine(other_ri, *this, this_ri, map, other_to_this[param], out_params);
    if (result)
        for (unsigned& e : out_params)
            e = e >= m ? e - m : other_to_this.at(e);
    return result;
}

void tight_constraint_propagator::explain_propagation(unsigned param, const iset& values,
                                                      const iset& new_domain,
                                                      const constraint_runtime_info& ri,
                                                      std::vector<iset>& explanation) const {
    std::unique_ptr<constraint_propagator> probe = clone();
    explanation_generators::explain_propagation_tightly(*probe, param, values, new_domain, ri,
                                                        explanation);
}

void tight1_constraint_propagator::explain_propagation(unsigned param, const iset& values,
                                                       const iset& new_domain,
                                                       const constraint_runtime_info& ri,
                                                       std::vector<iset>& explanation) const {
    std::unique_ptr<constraint_propagator> probe = clone();
    unsigned order[2];
    unsigned count = 0;
    if (!new_domain.empty()) {
        unsigned q = ri.latest_modified_param(param);
        if (static_cast<int>(q) >= 0)
            order[count++] = q;
        order[count++] = param;
    } else {
        // A conflict: refine the two parameters modified last, the older first.
        unsigned a = ri.latest_modified_param(NO_PARAM);
        unsigned b = ri.latest_modified_param(a);
        bool has_a = static_cast<int>(a) >= 0, has_b = static_cast<int>(b) >= 0;
        if (has_b)
            order[count++] = b;
        if (has_a)
            order[count++] = a;
        if (!has_a && !has_b)
            order[count++] = 0;
    }
    explanation_generators::refined_explanation(*probe, param, values, new_domain, order,
                                                order + count, ri, explanation);
}

} // namespace qarn
