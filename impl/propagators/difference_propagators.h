// Comparisons of two variables:
//   is_equal_propagator              b <=> x = y over (b, x, y), b in {0, 1}
//   difference_ge_propagator         x - y >= k over (x, y)
//   difference_ge_or_clause_propagator
//                                    (x - y >= k) or a clause over the
//                                    parameters after x and y
// Differences take part in learning: they describe themselves as
// disjunctions (no literal and the difference as base, or the clause's
// literals and the difference), merge with differences over the same
// variables, and resolve with each other on a shared variable, giving
// x - z >= k1 + k2, an equality, a contradiction, or, when the sum would not
// conflict, a literal on the pivot or a no-sub-interval constraint.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/disjoint_propagator.h"

namespace qarn {

class is_equal_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 3; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
};

class difference_ge_propagator : public tight_constraint_propagator {
public:
    // Proof rule: "x > bound or y <= bound - k"; a bound at the largest
    // value a domain holds leaves out the first part.
    class diff_ge_rule : public explanation_rule {
    public:
        diff_ge_rule(int k, int bound) : m_k(k), m_bound(bound) {}
        std::unique_ptr<explanation_rule> clone() const override;
        void get_explanation(std::vector<iset>& sets) const override;
        void print(std::ostream& os, const variable_print_strategy& strategy,
                   const std::vector<unsigned>& variables) const override;

    private:
        int m_k;
        int m_bound;
    };

    explicit difference_ge_propagator(int k) : m_k(k) {}

    unsigned count_params() const override { return 2; }
    // Watches the lower bound of y and the upper bound of x.
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // With x or y ground: the linear form's simplification (a clause).
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
    bool get_disjunction_specification(disjunction_specification& description) const override;
    bool disjoin_constraint(const disjunction_specification& a,
                            const disjunction_specification& b,
                            disjunction_specification& out) const override;
    bool combine_base_constraints(disjunction_specification& a, disjunction_specification& b,
                                  unsigned pivot, disjunction_specification& out) const override;
    std::unique_ptr<constraint_propagator> new_propagator(
        disjunction_specification& description, std::vector<unsigned>& params) const override;
    bool may_combine(const constraint_propagator& other) const override;
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;

    int k() const { return m_k; }

    // The name printed without a view: "diff_ge_" and k, a negative k as
    // "minus_" and its magnitude.
    static void print_name(std::ostream& os, int k);
    // x - y >= k on parameters px and py of ri.
    static result_type propagate_difference(constraint_runtime_info& ri, unsigned px,
                                            unsigned py, int k);
    // The constraints a difference combines with: differences in any of
    // their three forms and clauses.
    static bool may_combine_with(const constraint_propagator& other);
    // Resolution of the disjunctions describing self and other.
    static std::unique_ptr<constraint_propagator> combine_described(
        const constraint_propagator& self, const constraint_runtime_info& this_ri,
        const constraint_propagator& other, const constraint_runtime_info& other_ri,
        const std::vector<unsigned>& other_to_this, unsigned param,
        std::vector<unsigned>& out_params);

private:
    // a's base or b's, whichever conflicting base can be replaced by its
    // explanation literals.
    bool disjoin_incompatible_constraint(const disjunction_specification& a,
                                         const disjunction_specification& b,
                                         disjunction_specification& out) const;

    int m_k;
};

class difference_ge_or_clause_propagator
    : public disjoint_propagator<difference_ge_propagator, clause_propagation_algo> {
public:
    difference_ge_or_clause_propagator(int k, std::vector<iset> literals)
        : disjoint_propagator(difference_ge_propagator(k),
                              clause_propagation_algo(std::move(literals))) {}

    // The clause's literals from position 2, the difference as owned base.
    bool get_disjunction_specification(disjunction_specification& description) const override;
    bool may_combine(const constraint_propagator& other) const override;
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;
};

} // namespace qarn
