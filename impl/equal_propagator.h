// x = y over parameters (x, y). Combination with other constraints during
// learning is added with the linear and difference propagators.
#pragma once

#include "constraint_propagator.h"

namespace qarn {

class equal_propagator : public tight1_constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    bool may_combine(const constraint_propagator& other) const override;
};

} // namespace qarn
