#include "test-impl/explanation_tester.h"

#include <utility>

#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "test-impl/test_check.h"

namespace qarn {

namespace {

// The checks of the tester, by the positions their messages report.
constexpr const char* TESTER_SOURCE = "test-impl/explanation_tester.cpp";
constexpr test_check_site CONFLICT_REPORTED{TESTER_SOURCE, 36, "known_to_conflict == (result == UNSAT)"};
constexpr test_check_site RULE_AGREES{TESTER_SOURCE, 70, "explanation == rule_explanation"};
constexpr test_check_site UNSAT_SHAPE{TESTER_SOURCE, 80, "state.arity() == explanation.size()"};
constexpr test_check_site UNSAT_EXCLUDES{TESTER_SOURCE, 85,
                                         "!explanation[i].contains_any_of(state.domain(i))"};
constexpr test_check_site UNSAT_IMPLIED{TESTER_SOURCE, 92, "!has_solution(infeasible)"};
constexpr test_check_site CHANGE_SHAPE{TESTER_SOURCE, 112, "old_state.arity() == explanation.size()"};
constexpr test_check_site CHANGE_EXCLUDES_REMOVED{
    TESTER_SOURCE, 119, "!explanation[i].contains_any_of( removed_values_to_explain)"};
constexpr test_check_site CHANGE_EXCLUDES_OTHERS{
    TESTER_SOURCE, 121, "!explanation[i].contains_any_of(old_state.domain(i))"};
constexpr test_check_site NO_SOLUTION_LOST{TESTER_SOURCE, 147, "!has_solution(complement)"};


iset complement_of(iset s) {
    s.complement();
    return s;
}

} // namespace

explanation_tester::explanation_tester(std::unique_ptr<constraint_propagator> tested)
    : m_tested(std::move(tested)), m_checking(m_tested->clone()) {}

bool explanation_tester::init(constraint_runtime_info& info) {
    return m_tested->init(info);
}

explanation_tester::result_type explanation_tester::propagate(constraint_runtime_info& info) {
    const trivial_runtime_info old_state(info, false);
    const bool known_to_conflict = m_tested->conflicts(info);
    const result_type result = m_tested->propagate(info);
    QARN_TEST_CHECK(CONFLICT_REPORTED, known_to_conflict == (result == UNSAT));
    if (result == UNSAT) {
        assert_unsat_explanation(old_state);
    } else {
        for (unsigned p = 0; p < info.arity(); ++p)
            if (!iset::same_elements(info.domain(p), old_state.domain(p)))
                assert_change_explanation(info, old_state, p);
    }
    return result;
}

bool explanation_tester::conflicts(const constraint_runtime_info& info) const {
    return m_tested->conflicts(info);
}

bool explanation_tester::constraint_check(const constraint_runtime_info& info) const {
    return m_tested->constraint_check(info);
}

void explanation_tester::print(std::ostream& os, const constraint_runtime_info* info) const {
    m_tested->print(os, info);
}

unsigned explanation_tester::watched_param_index(unsigned watch) const {
    return m_tested->watched_param_index(watch);
}

unsigned explanation_tester::count_watches() const {
    return m_tested->count_watches();
}

void explanation_tester::forget_watches() {
    m_tested->forget_watches();
}

void explanation_tester::explain_propagation(unsigned param, const iset& values,
                                             const iset& new_domain,
                                             const constraint_runtime_info& info,
                                             std::vector<iset>& explanation) const {
    m_tested->explain_propagation(param, values, new_domain, info, explanation);
    assert_consistent_rule(*m_tested, explanation);
}

std::unique_ptr<explanation_rule> explanation_tester::rule(
    const std::vector<iset>& explanation) const {
    return m_tested->rule(explanation);
}

std::unique_ptr<constraint_propagator> explanation_tester::clone() const {
    return std::make_unique<explanation_tester>(m_tested->clone());
}

void explanation_tester::assert_consistent_rule(const constraint_propagator& propagator,
                                                const std::vector<iset>& explanation) const {
    const std::unique_ptr<explanation_rule> r = propagator.rule(explanation);
    if (!r)
        return;
    std::vector<iset> rule_explanation;
    r->get_explanation(rule_explanation);
    QARN_TEST_CHECK(RULE_AGREES, same_set_lists(explanation, rule_explanation));
}

bool explanation_tester::has_solution(const trivial_runtime_info& state) const {
    trivial_runtime_info s(state);
    bool found = false;
    if (m_checking->init(s)) {
        s.advance_modified(true);
        s.remember_domains();
        result_type result = m_checking->propagate(s);
        bool known = result == VALID || result == UNSAT ||
                     (result == CONSISTENT && s.are_all_singletons());
        found = known && result != UNSAT;
        // Fix the parameters one by one to random members, propagating after each.
        for (unsigned p = 0; p < s.arity() && !known; ++p) {
            if (s.domain(p).size() == 1)
                continue;
            s.advance_modified(false);
            s.set_domain(p, iset(s.domain(p).rand()));
            s.advance_modified(true);
            s.remember_domains();
            result = m_checking->propagate(s);
            known = result == VALID || result == UNSAT;
            found = result == VALID;
        }
        // A walk may end CONSISTENT on single values without the propagator
        // noticing it is entailed: those values are a solution when they
        // satisfy the constraint.
        if (!known && result == CONSISTENT && s.are_all_singletons())
            found = m_checking->constraint_check(s);
    }
    m_checking->forget_watches();
    return found;
}

void explanation_tester::assert_unsat_explanation(const trivial_runtime_info& state) const {
    std::vector<iset> explanation;
    m_checking->explain_propagation(0, random_var(false, MIN_DOMAIN, MAX_DOMAIN), iset(), state,
                                    explanation);
    QARN_TEST_CHECK(UNSAT_SHAPE, state.arity() == explanation.size());
    assert_consistent_rule(*m_checking, explanation);
    std::vector<iset> outside;
    outside.reserve(explanation.size());
    for (unsigned i = 0; i < explanation.size(); ++i) {
        QARN_TEST_CHECK(UNSAT_EXCLUDES, !explanation[i].contains_any_of(state.domain(i)));
        outside.push_back(complement_of(explanation[i]));
    }
    const trivial_runtime_info infeasible(outside);
    QARN_TEST_CHECK(UNSAT_IMPLIED, !has_solution(infeasible));
}

void explanation_tester::assert_change_explanation(const constraint_runtime_info& info,
                                                   const trivial_runtime_info& old_state,
                                                   unsigned param) const {
    iset probe;
    if (random::gen(2) == 0)
        probe.complement();
    else
        probe = random_var(false, MIN_DOMAIN, MAX_DOMAIN);
    iset removed(old_state.domain(param));
    removed.erase_all_of(info.domain(param));
    if (!probe.contains_any_of(removed)) {
        const int v = removed.rand();
        probe.insert(iset::range_type(v, v));
    }
    iset removed_values_to_explain(removed);
    removed_values_to_explain.intersect(probe);

    std::vector<iset> explanation;
    m_checking->explain_propagation(param, probe, info.domain(param), old_state, explanation);
    QARN_TEST_CHECK(CHANGE_SHAPE, old_state.arity() == explanation.size());
    assert_consistent_rule(*m_checking, explanation);
    for (unsigned i = 0; i < explanation.size(); ++i) {
        if (i == param)
            QARN_TEST_CHECK(CHANGE_EXCLUDES_REMOVED,
                            !explanation[i].contains_any_of(removed_values_to_explain));
        else
            QARN_TEST_CHECK(CHANGE_EXCLUDES_OTHERS,
                            !explanation[i].contains_any_of(old_state.domain(i)));
    }
    assert_explanation_no_solution_lost(info, old_state, param, explanation);
}

void explanation_tester::assert_explanation_no_solution_lost(
    const constraint_runtime_info& info, const trivial_runtime_info& old_state, unsigned param,
    const std::vector<iset>& explanation) const {
    for (unsigned j = 0; j < explanation.size(); ++j) {
        iset widened(old_state.domain(j));
        if (j == param)
            widened.erase_all_of(info.domain(param));
        widened.insert_all_of(explanation[j]);
        if (widened.full())
            continue;
        std::vector<iset> outside(explanation);
        outside[j] = std::move(widened);
        for (iset& s : outside)
            s.complement();
        const trivial_runtime_info complement(outside);
        QARN_TEST_CHECK(NO_SOLUTION_LOST, !has_solution(complement));
    }
}

} // namespace qarn
