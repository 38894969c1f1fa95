// Equality: both domains narrowed to their intersection.

#include "equal_propagator.h"

namespace qarn {

constraint_propagator::result_type equal_propagator::propagate(constraint_runtime_info& ri) {
    const iset& x = ri.domain(0);
    const iset& y = ri.domain(1);
    if (y.contains_all_of(x)) {
        if (x.contains_all_of(y))
            return CONSISTENT;
        iset narrowed(y);
        narrowed.intersect(x);
        if (narrowed.empty())
            return UNSAT;
        ri.set_domain(1, std::move(narrowed));
        return CONSISTENT;
    }
    iset common(x);
    common.intersect(y);
    if (common.empty())
        return UNSAT;
    // The first parameter that differs from the intersection gets it, every
    // later one a copy of what was just written.
    for (unsigned p = 0; p < 2; ++p) {
        const iset& d = ri.domain(p);
        if (d.size() == common.size() && d.empty() == common.empty())
            continue;
        if (p == 0) {
            ri.set_domain(0, common);
            ri.set_domain(1, ri.domain(0));
        } else {
            ri.set_domain(1, std::move(common));
        }
        break;
    }
    return CONSISTENT;
}

bool equal_propagator::conflicts(const constraint_runtime_info& ri) const {
    return !ri.domain(0).contains_any_of(ri.domain(1));
}

bool equal_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return ri.domain(0).min() == ri.domain(1).min();
}

void equal_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!ri) {
        os << "equal";
        return;
    }
    ri->print_prefix(os);
    os << '(';
    ri->print_param(os, 0);
    os << "==";
    ri->print_param(os, 1);
    os << ')';
}

std::unique_ptr<constraint_propagator> equal_propagator::clone() const {
    return std::make_unique<equal_propagator>(*this);
}

bool equal_propagator::may_combine(const constraint_propagator&) const {
    return true;
}

} // namespace qarn
