// Absolute value and negation over (x0, x1):
//   abs                x0 = |x1| over the integers (INT_MIN has no absolute value)
//   less_equal_abs     x0 <= |x1|
//   greater_equal_abs  x0 >= |x1|
//   neg                x0 = -x1 modulo 2^32 (INT_MIN is its own negation)
#pragma once

#include <memory>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class abs_propagator : public tight1_constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // The values of x0 and of x1 supported by the values of x1 in
    // [first, last), all negative or all non-negative, added to the two sets.
    void insert_negative_supports(const iset& x0, const iset& x1, iset::iterator first,
                                  iset::iterator last, iset& supported_x0,
                                  iset& supported_x1) const;
    void insert_nonnegative_supports(const iset& x0, const iset& x1, iset::iterator first,
                                     iset::iterator last, iset& supported_x0,
                                     iset& supported_x1) const;

private:
    // Both support sets; false when nothing is supported.
    bool supports(const iset& x0, const iset& x1, iset& r0, iset& r1) const;
};

class less_equal_abs_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
};

class greater_equal_abs_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // The smallest absolute value of a non-empty set, in 64 bits.
    static long min_abs(const iset& s);
};

class neg_propagator : public constraint_propagator {
public:
    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
};

} // namespace qarn
