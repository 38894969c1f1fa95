// c0*x0 + ... + cn-1*xn-1 >= k: the general linear constraint.
//
// Bounds propagation on the slack (the largest reachable left side minus k):
// each variable's bound moves as far as the slack allows, with exact
// rounding. Sums are formed in 64 bits when every coefficient lies within
// INT_MAX / n (the `small` flag set by init), else in 128 bits.
//
// Learning uses it in three ways: restricted to ground values it folds
// them into the bound, divides by the coefficients' gcd and becomes a
// clause, a difference or a shorter combination; two combinations, or a
// combination and a difference, resolve on a shared variable by adding
// multiples that cancel it (Fourier-Motzkin); and a two-variable parity
// constraint xp + xq = r substitutes r - xq for xp.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/support/int128.h"

namespace qarn {

class disjunction_specification;
class sum_mod_propagator;

class linear_combination_ge_propagator : public constraint_propagator {
public:
    linear_combination_ge_propagator(int k, std::vector<int> coefficients)
        : m_k(k), m_coefficients(std::move(coefficients)) {}

    unsigned count_params() const override {
        return static_cast<unsigned>(m_coefficients.size());
    }
    // Bound watches on the parameters with a non-zero coefficient: the upper
    // bound for a positive one, the lower bound for a negative one.
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    // Every other parameter beyond the bound it had, or param within the
    // bound the others allow.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
    bool get_disjunction_specification(disjunction_specification& description) const override;
    bool disjoin_constraint(const disjunction_specification& self,
                            const disjunction_specification& other,
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
    const std::vector<int>& coefficients() const { return m_coefficients; }
    bool small() const { return m_small; }

    // The largest reachable left side minus k, over views with no empty domain.
    template <class T>
    T slack(const constraint_runtime_info& ri) const;
    // Moves parameter i's bound as far as the slack allows.
    template <class T>
    void propagate_to_argument(constraint_runtime_info& ri, unsigned i, const T& slack) const;
    template <class T>
    result_type const_propagate(constraint_runtime_info& ri) const;

    // Folds the ground parameters into k and drops zero coefficients; when
    // something changed, coefficients and params list what is left, else
    // both stay empty. Returns the number of parameters left (the arity
    // when nothing changed). The result is divided by the coefficients' gcd.
    unsigned compact_coefficients(const constraint_runtime_info& ri,
                                  std::vector<int>& coefficients, long& k,
                                  std::vector<unsigned>& params) const;
    // Divides coefficients (this combination's own when empty) and k by
    // their gcd, rounding k up; params becomes 0 .. n-1 when it was empty.
    void normalize_coefficients(unsigned n, std::vector<int>& coefficients, long& k,
                                std::vector<unsigned>& params) const;
    // The constraint left over `params` once nothing, one, two or more
    // parameters remain, or null when it cannot be expressed.
    std::unique_ptr<constraint_propagator> new_empty_sum(const std::vector<int>& coefficients,
                                                         long k,
                                                         std::vector<unsigned>& params) const;
    std::unique_ptr<constraint_propagator> new_unary_sum(const std::vector<int>& coefficients,
                                                         long k,
                                                         std::vector<unsigned>& params) const;
    std::unique_ptr<constraint_propagator> new_binary_sum(const std::vector<int>& coefficients,
                                                          long k,
                                                          std::vector<unsigned>& params) const;
    std::unique_ptr<constraint_propagator> new_nary_sum(const std::vector<int>& coefficients,
                                                        long k,
                                                        std::vector<unsigned>& params) const;

    // The other parameter of a two-variable constraint with parameters
    // params: params[0] unless that is the pivot, then params[1]; arity + 1
    // when there is only the pivot.
    static unsigned find_non_pivot(const constraint_runtime_info& ri,
                                   const std::vector<unsigned>& params, unsigned pivot);
    // The coefficient of a variable in a description whose base is a linear
    // combination or a difference (+1 for x, -1 for y and any other).
    static long find_var_coefficient(unsigned variable, const disjunction_specification& d);
    // Adds factor times the description's base to coefficients indexed by
    // variable and to k; false when k leaves 64 bits.
    static bool accumulate_coefficients(std::vector<long>& coefficients, long& k,
                                        const disjunction_specification& d, unsigned factor);
    // Makes "sum of coefficients[v] * v >= k" the owned base of d; false when
    // something leaves 32 bits or nothing but a tautology is left.
    static bool set_constraint_from_positional_coefficients(const std::vector<long>& coefficients,
                                                            long k,
                                                            disjunction_specification& d);
    // Substitutes r - xq for the pivot of the parity constraint xp + xq = r.
    std::unique_ptr<constraint_propagator> combine_sum_mod(
        const constraint_runtime_info& ri, const sum_mod_propagator& s,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_params,
        unsigned pivot, std::vector<unsigned>& params) const;

private:
    int m_k;
    std::vector<int> m_coefficients;
    bool m_small = false;
};

} // namespace qarn
