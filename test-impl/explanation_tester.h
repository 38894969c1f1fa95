// A propagator wrapper that checks, on every propagation, that the wrapped
// propagator is sound: it answers UNSAT exactly when it reports a conflict,
// and each explanation it gives has one set per parameter, excludes what it
// must exclude, agrees with the rule attached to it and loses no solution.
// The last is decided by a randomized brute-force search for a solution on
// explicit domains (trivial_runtime_info) with a private copy of the
// propagator, so the copy the caller's view drives keeps its own watches.
// A failed check throws std::runtime_error (see test_check.h).
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/sets/model.h"
#include "test-impl/trivial_runtime_info.h"

namespace qarn {

class explanation_tester : public constraint_propagator {
public:
    // Takes the propagator to test and makes the checking copy from it.
    explicit explanation_tester(std::unique_ptr<constraint_propagator> tested);

    bool init(constraint_runtime_info& info) override;
    result_type propagate(constraint_runtime_info& info) override;
    bool conflicts(const constraint_runtime_info& info) const override;
    bool constraint_check(const constraint_runtime_info& info) const override;
    void print(std::ostream& os, const constraint_runtime_info* info) const override;
    unsigned watched_param_index(unsigned watch) const override;
    unsigned count_watches() const override;
    void forget_watches() override;
    // The tested propagator's explanation, checked against its rule.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& info,
                             std::vector<iset>& explanation) const override;
    std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    const constraint_propagator& tested() const { return *m_tested; }

    // The rule the propagator gives for the explanation, if any, stands for
    // the same sets.
    void assert_consistent_rule(const constraint_propagator& propagator,
                                const std::vector<iset>& explanation) const;
    // A randomized search with the checking copy: true only when it found a
    // solution within the state's domains.
    bool has_solution(const trivial_runtime_info& state) const;
    // The checking copy's conflict explanation for the domains of state.
    void assert_unsat_explanation(const trivial_runtime_info& state) const;
    // The checking copy's explanation of why param was narrowed from
    // old_state's domain to info's.
    void assert_change_explanation(const constraint_runtime_info& info,
                                   const trivial_runtime_info& old_state, unsigned param) const;
    // Widening any one set of the explanation by what the old domain (for
    // param: the removed values) allows still admits no solution.
    void assert_explanation_no_solution_lost(const constraint_runtime_info& info,
                                             const trivial_runtime_info& old_state,
                                             unsigned param,
                                             const std::vector<iset>& explanation) const;

private:
    std::unique_ptr<constraint_propagator> m_tested;  // driven by the caller's view
    std::unique_ptr<constraint_propagator> m_checking; // used only for the checks
};

} // namespace qarn
