// Sums. The result is parameter 0, the addends follow.
//   sum_truncate      x0 = x1 + x2 over the integers (out of 32 bits: impossible)
//   sum_wrap          x0 = x1 + ... + xn modulo 2^32
//   sum_mod           every xi in [0, mod - 1] and (x0 + ... + xn-1) mod mod = result
//                     (with mod 2: the parity constraint)
//   less_equal_sum    x0 <= x1 + ... + xn
//   greater_equal_sum x0 >= x1 + ... + xn
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/propagators/arithmetic.h"

namespace qarn {

class sum_truncate_propagator : public tight1_constraint_propagator,
                                public arithmetic_propagation_types {
public:
    unsigned count_params() const override { return 3; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // The bounds-and-sets fixpoint on three sets; some set ends empty when
    // the sum cannot hold.
    void propagate(iset& x0, iset& x1, iset& x2) const;
    // One pass of bounds reasoning.
    void propagate_bounds(iset& x0, iset& x1, iset& x2) const;
private:
    mutable propagation::progression_lists m_lists; // scratch of the set arithmetic
};

class sum_wrap_propagator : public tight1_constraint_propagator,
                            public arithmetic_propagation_types {
public:
    unsigned count_params() const override { return ANY_PARAM_COUNT; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // Narrows x (the sum of parameters 1..k) and those parameters; false
    // when something became empty.
    bool propagate(constraint_runtime_info& ri, iset& x, unsigned k) const;
    result_type propagate_zero(constraint_runtime_info& ri) const;
    result_type propagate_equality(constraint_runtime_info& ri) const;
private:
    mutable propagation::progression_lists m_lists; // scratch of the set arithmetic
};

class sum_mod_propagator : public constraint_propagator {
public:
    // Throws std::out_of_range when mod is not positive.
    sum_mod_propagator(int mod, int result);

    unsigned count_params() const override { return ANY_PARAM_COUNT; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // The constraint over the parameters that are not ground, with the
    // ground ones folded into the result.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
    bool may_combine(const constraint_propagator& other) const override;
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;

    // Cuts every domain to [0, mod - 1]; false when one becomes empty.
    bool restrict_to_mod(constraint_runtime_info& ri) const;
    std::unique_ptr<constraint_propagator> combine(const constraint_runtime_info& ri,
                                                   const sum_mod_propagator& other,
                                                   const std::vector<unsigned>& other_params,
                                                   std::vector<unsigned>& params) const;
    std::unique_ptr<constraint_propagator> combine_with_eq(
        const constraint_runtime_info& ri, const std::vector<unsigned>& eq_params,
        std::vector<unsigned>& params) const;

    int mod() const { return m_mod; }
    int result() const { return m_result; }

private:
    int m_mod;
    int m_result;
};

class less_equal_sum_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return ANY_PARAM_COUNT; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // With some parameter ground: the linear form's simplification.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
};

class greater_equal_sum_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return ANY_PARAM_COUNT; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // With some parameter ground: the linear form's simplification.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
};

} // namespace qarn
