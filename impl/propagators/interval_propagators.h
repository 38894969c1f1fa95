// Constraints on two interval ends x (parameter 0) and y (parameter 1):
//   no_overlap_propagator(L0, L1)       [x, x + L0) and [y, y + L1) do not
//                                       overlap: x + L0 <= y or y + L1 <= x
//   sub_interval_propagator(a, b)       [x, y] is empty or inside [a, b]:
//                                       y < x, or a <= x and y <= b
//   no_sub_interval_propagator(a, b, k) [x, y - k] is a non-empty interval
//                                       not inside [a, b]: x <= y - k, and
//                                       x < a or y - k > b
// Sums with the constants are formed in 64 bits; lengths may be negative.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class no_overlap_propagator : public constraint_propagator {
public:
    no_overlap_propagator(int l0, int l1) : m_l0(l0), m_l1(l1) {}

    unsigned count_params() const override { return 2; }
    // The union of what each order (x first, y first) leaves.
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    // Grows a pair of intervals on which the constraint cannot hold (the
    // removed values against the other domain, or both domains for a
    // conflict) and takes their complements.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // The order first + length <= second: bounds on both; both end empty when
    // the order is impossible.
    void propagate(iset& first, long length, iset& second) const;
    // Grows an unsatisfiable pair of intervals towards each other.
    void extend_unsat_towards_equality(iset& x, iset& y) const;
    // Grows an unsatisfiable pair as far as possible; the explanation is
    // their complements.
    void explain_empty(iset& x, iset& y, std::vector<iset>& explanation) const;
    // s ∪= [max other - length + 1, min s]: s's values that still end after
    // every value of other starts.
    void extend_first_min_for_reduction(iset& s, long length, const iset& other) const;
    // s ∪= [max s, min other + length - 1].
    void extend_first_max_for_reduction(iset& s, const iset& other, long length) const;

    int l0() const { return m_l0; }
    int l1() const { return m_l1; }

private:
    // Both orders on copies of the domains; the unions of what they leave.
    void both_orders(const constraint_runtime_info& ri, iset& x, iset& y) const;

    int m_l0;
    int m_l1;
};

class sub_interval_propagator : public tight_constraint_propagator {
public:
    sub_interval_propagator(int a, int b) : m_a(a), m_b(b) {}

    unsigned count_params() const override { return 2; }
    // No watch once the constraint holds whatever happens; the upper bound
    // of x and the lower bound of y otherwise.
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    bool can_be_satisfied(const iset& x, const iset& y) const;
    bool can_be_falsified(const iset& x, const iset& y) const;
    // Raises the lower bound of x and lowers the upper bound of y.
    result_type update_domains(constraint_runtime_info& ri, long min_x, long max_y);

    int a() const { return m_a; }
    int b() const { return m_b; }

private:
    int m_a;
    int m_b;
};

class no_sub_interval_propagator : public tight_constraint_propagator {
public:
    no_sub_interval_propagator(int a, int b, int k) : m_a(a), m_b(b), m_k(k) {}

    unsigned count_params() const override { return 2; }
    // No watch once the constraint holds whatever happens; the lower bound
    // of x and the upper bound of y otherwise.
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // As the base of a resolved disjunction: itself, or itself or a clause.
    std::unique_ptr<constraint_propagator> new_propagator(
        disjunction_specification& description, std::vector<unsigned>& params) const override;

    bool can_be_satisfied(const iset& x, const iset& y) const;

    int a() const { return m_a; }
    int b() const { return m_b; }
    int k() const { return m_k; }

private:
    int m_a;
    int m_b;
    int m_k;
};

} // namespace qarn
