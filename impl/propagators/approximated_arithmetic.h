// The shared scheme of the ternary arithmetic constraints x0 = x1 op x2
// (parameters: result, left operand, right operand). Each activation works on
// copies D0, D1, D2 of the three domains and chooses a mode:
//  - accurate: when |D1| * |D2| is small enough (see is_accurate), every pair
//    of operand values is evaluated and the domains keep the supported values;
//  - bounds: otherwise every domain holding both signs is split into its
//    positive and non-positive halves until each holds one sign, the
//    operation's own rule (propagate_unisigned_bounds) narrows each sign
//    combination, and the halves are joined again. A combination in which
//    some domain empties contributes nothing.
// Only subsets of the current domains are ever written back.
//
// approximated_arithmetic_propagator<D> is the curiously recurring template:
// D supplies `static long long evaluate(int a, int b)`, the exact result of
// a op b, where a value outside the 32-bit range means "no result".
#pragma once

#include <climits>
#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/explanation_generators.h"
#include "impl/propagators/arithmetic.h"

namespace qarn {

class approximated_arithmetic_base : public constraint_propagator,
                                     protected arithmetic_propagation_types {
public:
    unsigned count_params() const override { return 3; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;

    // Value-by-value narrowing of the three domains.
    virtual void propagate_accurately(iset& d0, iset& d1, iset& d2) const = 0;
    // Bounds narrowing of domains[0..2], each of one sign (0 on either side).
    virtual void propagate_unisigned_bounds(iset* domains,
                                            const constraint_runtime_info& ri) const = 0;
    virtual const char* short_name() const = 0;
    virtual const char* long_name() const = 0;

    // Whether the pairs of d1 x d2 are few enough to evaluate one by one:
    // never for a full domain, else |d1| * |d2| <= 10 * effort + pair_bound.
    bool is_accurate(const iset& d1, const iset& d2, unsigned effort,
                     unsigned pair_bound) const;
    // The same for one domain: |d| <= 2 * (effort + bound + 4), or with no
    // effort |d| <= bound.
    bool is_accurate(const iset& d, unsigned effort, unsigned bound) const;
    // The sign-splitting driver around propagate_unisigned_bounds.
    void propagate_bounds(iset* domains, const constraint_runtime_info& ri) const;
    // Writes each domain that differs from the view's; true when one was written.
    static bool copy_domains_to_info(const iset* domains, constraint_runtime_info& ri);
    // The same, but a domain of many ranges is written as its bounds only,
    // which keeps value-by-value results from crowding the trail. True when
    // a whole domain was written.
    static bool copy_domains_or_bounds_to_info(const iset* domains, constraint_runtime_info& ri);

protected:
    static bool any_empty(const iset* domains);
    static void make_empty(iset* domains);
    // Some parameter was narrowed since the last activation (asked in order).
    static bool reduced_since_last_activation(const constraint_runtime_info& ri);
    // The accurate mode's flow after its narrowing: UNSAT when D0 emptied,
    // else the results written back.
    static result_type finish_accurately(iset* domains, constraint_runtime_info& ri);
};

template <class D>
class approximated_arithmetic_propagator : public approximated_arithmetic_base {
public:
    bool constraint_check(const constraint_runtime_info& ri) const override {
        const long long r = D::evaluate(ri.domain(1).min(), ri.domain(2).min());
        return r >= INT_MIN && r <= INT_MAX && r == ri.domain(0).min();
    }

    // Tight (re-running a copy on probe domains) once the engine raised the
    // constraint's effort, else the plain explanation.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override {
        if (ri.effort() != 0)
            explain_tightly(param, values, new_domain, ri, explanation);
        else
            explanation_generators::explain_propagation(param, values, new_domain, ri,
                                                        explanation);
    }

    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<D>();
    }

    void propagate_accurately(iset& d0, iset& d1, iset& d2) const override {
        // The right operand's values, walked once per left operand value.
        static std::vector<int> right;
        right.clear();
        for (int b : d2)
            right.push_back(b);
        iset r0, r1, r2;
        for (int a : d1) {
            bool supported = false;
            for (int b : right) {
                const long long r = D::evaluate(a, b);
                if (r < INT_MIN || r > INT_MAX || !d0.contains(static_cast<int>(r)))
                    continue;
                const int v = static_cast<int>(r);
                r0.insert(iset::range_type(v, v));
                r2.insert(iset::range_type(b, b));
                supported = true;
            }
            if (supported)
                r1.insert(iset::range_type(a, a));
        }
        d0 = std::move(r0);
        d1 = std::move(r1);
        d2 = std::move(r2);
    }

protected:
    void explain_tightly(unsigned param, const iset& values, const iset& new_domain,
                         const constraint_runtime_info& ri,
                         std::vector<iset>& explanation) const {
        D probe;
        explanation_generators::explain_propagation_tightly(probe, param, values, new_domain, ri,
                                                            explanation);
    }
};

} // namespace qarn
