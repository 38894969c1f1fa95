// x = y over parameters (x, y). Besides propagating, the equality takes part
// in learning: combined with another constraint on one of its variables it
// substitutes its other side for that variable, and as the base constraint of
// a resolved disjunction it builds the propagator for it (the equality, the
// equality or one literal, or the equality or a clause).
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class equal_propagator : public tight1_constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    std::unique_ptr<constraint_propagator> new_propagator(
        disjunction_specification& description, std::vector<unsigned>& params) const override;
    // Any constraint: the equality substitutes into it.
    bool may_combine(const constraint_propagator& other) const override;
    // `other` with the variable at `param` (one side of this equality)
    // replaced by the other side, or null when that does not conflict under
    // the domains of other_ri with the other side's domain of this_ri.
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;

    // The equality step on parameters px and py of ri: both become their
    // intersection; UNSAT when that is empty.
    static result_type propagate_equal(constraint_runtime_info& ri, unsigned px, unsigned py);
};

} // namespace qarn
