// The propagation loop through the solver's own calls: unit propagation of
// clause models to the fixed point at level 0, the event order, the
// constraint queue and its marks, POSTPONE and the clock.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/unique_queue.h"
#include "tests/unit/test_helpers.h"

namespace propagation_test {

using qarn_test::post_clause;
using qarn_test::same;

using namespace qarn;
using range = std::pair<int, int>;

iset complement_of(iset s) {
    s.complement();
    return s;
}

bool propagate_at_level0(solver& s) {
    s.prepare_for_solve();
    s.m_solving = true;
    return s.first_time_propagate_constraints();
}

// A propagator written for the tests: runs a callback.
struct scripted : constraint_propagator {
    std::function<result_type(constraint_runtime_info&)> body;
    explicit scripted(std::function<result_type(constraint_runtime_info&)> f) : body(std::move(f)) {}
    result_type propagate(constraint_runtime_info& ri) override { return body(ri); }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<scripted>(body);
    }
};

TEST(ClausePropagation, ChainsOfImplicationsReachTheFixedPoint) {
    solver s;
    const unsigned n = 30;
    for (unsigned v = 0; v < n; ++v)
        s.add_var(iset(range(0, 1)), nullptr, false);
    s.set_var_domain(0, iset(1), -1);
    // b[i] -> b[i+1], posted in reverse so the chain runs against index order.
    for (unsigned v = n - 1; v-- > 0;)
        post_clause(s, {v, v + 1}, {iset(0), iset(1)});
    ASSERT_TRUE(propagate_at_level0(s));
    for (unsigned v = 0; v < n; ++v)
        EXPECT_TRUE(same(s.domain(v), iset(1))) << v;
    EXPECT_TRUE(s.dirty_learned().empty());
    EXPECT_EQ(s.pending_events(), 0u);
    EXPECT_TRUE(s.constraint_queue().empty());
}

TEST(ClausePropagation, ContradictionIsFoundAtLevelZero) {
    solver s;
    for (unsigned v = 0; v < 3; ++v)
        s.add_var(iset(range(0, 1)), nullptr, false);
    post_clause(s, {0, 1}, {iset(1), iset(1)});
    post_clause(s, {0, 2}, {iset(1), iset(0)});
    post_clause(s, {1}, {iset(0)});
    post_clause(s, {2}, {iset(1)});
    post_clause(s, {0}, {iset(0)});
    EXPECT_FALSE(propagate_at_level0(s));
}

TEST(ClausePropagation, SetLiteralsOverWideDomains) {
    solver s;
    s.add_var(iset(range(0, 9)), "x", false);
    s.add_var(iset(range(0, 9)), "y", false);
    // x in {1, 5, 9} or y not in 3..7
    post_clause(s, {0, 1}, {iset("1,5,9"), complement_of(iset(range(3, 7)))});
    s.set_var_domain(1, iset(range(4, 6)), -1);
    ASSERT_TRUE(propagate_at_level0(s));
    EXPECT_TRUE(same(s.domain(0), iset("1,5,9")));
    EXPECT_TRUE(same(s.domain(1), iset(range(4, 6))));
}

// Random clause sets at level 0: the fixed point removes no value that occurs
// in a solution, and reports a conflict only when there is no solution.
TEST(ClausePropagation, FixedPointAgreesWithBruteForce) {
    std::mt19937 gen(11);
    for (int round = 0; round < 150; ++round) {
        const unsigned n = 4;
        const int top = 3;
        solver s;
        for (unsigned v = 0; v < n; ++v)
            s.add_var(iset(range(0, top)), nullptr, false);
        std::vector<std::vector<unsigned>> clause_vars;
        std::vector<std::vector<iset>> clause_sets;
        int clauses = 2 + static_cast<int>(gen() % 7);
        for (int c = 0; c < clauses; ++c) {
            std::vector<unsigned> vars;
            std::vector<iset> sets;
            int width = 1 + static_cast<int>(gen() % 3);
            for (int k = 0; k < width; ++k) {
                vars.push_back(static_cast<unsigned>(gen() % n));
                iset lit;
                for (int v = 0; v <= top; ++v)
                    if (gen() % 3 == 0)
                        lit.insert(range(v, v));
                sets.push_back(lit);
            }
            post_clause(s, vars, sets);
            clause_vars.push_back(vars);
            clause_sets.push_back(sets);
        }
        bool consistent = propagate_at_level0(s);
        // Enumerate every assignment.
        bool any_solution = false;
        std::vector<int> value(n, 0);
        for (int code = 0; code < (top + 1) * (top + 1) * (top + 1) * (top + 1); ++code) {
            int rest = code;
            for (unsigned v = 0; v < n; ++v) {
                value[v] = rest % (top + 1);
                rest /= top + 1;
            }
            bool ok = true;
            for (std::size_t c = 0; c < clause_vars.size() && ok; ++c) {
                bool sat = false;
                for (std::size_t k = 0; k < clause_vars[c].size(); ++k)
                    sat = sat || clause_sets[c][k].contains(value[clause_vars[c][k]]);
                ok = sat;
            }
            if (!ok)
                continue;
            any_solution = true;
            if (consistent) {
                for (unsigned v = 0; v < n; ++v)
                    ASSERT_TRUE(s.domain(v).contains(value[v])) << "round " << round;
            }
        }
        // Unit propagation need not find every contradiction, but it never
        // reports one where a solution exists.
        if (any_solution) {
            ASSERT_TRUE(consistent) << "round " << round;
        }
    }
}

TEST(EventQueue, ServesMoreRemovedValuesAndYoungerChangesFirst) {
    struct row {
        int removed_a, removed_b; // values removed from a, then from b
        unsigned first_served;    // 0: a, 1: b
    } rows[] = {
        {1, 5, 1}, // b lost more of its domain
        {5, 1, 0},
        {3, 3, 0}, // a tie in removals: the smaller age (the earlier change) first
    };
    for (const row& r : rows) {
        solver s;
        s.add_var(iset(range(0, 9)), "a", false);
        s.add_var(iset(range(0, 9)), "b", false);
        std::vector<unsigned> served;
        for (unsigned v = 0; v < 2; ++v) {
            auto recorder = std::make_unique<scripted>([&served, v](constraint_runtime_info& ri) {
                if (ri.originating_queue() == constraint_runtime_info::VARIABLE_QUEUE)
                    served.push_back(v);
                return propagation_types::CONSISTENT;
            });
            s.add_constraint(std::move(recorder)) << v;
        }
        bool done = false;
        auto driver = std::make_unique<scripted>([&, r](constraint_runtime_info& ri) {
            if (!done) {
                done = true;
                ri.set_domain(0, iset(range(r.removed_a, 9)));
                ri.set_domain(1, iset(range(r.removed_b, 9)));
            }
            return propagation_types::CONSISTENT;
        });
        s.add_constraint(std::move(driver)) << 0 << 1;
        ASSERT_TRUE(propagate_at_level0(s));
        ASSERT_EQ(served.size(), 2u);
        EXPECT_EQ(served[0], r.first_served) << r.removed_a << " " << r.removed_b;
    }
}

TEST(ConstraintQueue, PostponeKeepsTheClockAndTheQueueRunsLater) {
    solver s;
    s.add_var(iset(range(0, 9)), nullptr, false);
    int runs = 0;
    auto postponing = std::make_unique<scripted>([&](constraint_runtime_info& ri) {
        if (++runs == 1) {
            ri.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE);
            return propagation_types::POSTPONE;
        }
        EXPECT_EQ(ri.originating_queue(), constraint_runtime_info::CONSTRAINT_QUEUE);
        return propagation_types::VALID;
    });
    s.add_constraint(std::move(postponing)) << 0;
    s.prepare_for_solve();
    s.m_solving = true;
    std::uint64_t clock = s.m_activation_counter;
    ASSERT_TRUE(s.first_time_propagate_constraints());
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(s.m_activation_counter, clock + 1); // only the finished activation counts
    // The entailed constraint keeps its mark: it cannot be queued again.
    EXPECT_TRUE(s.constraint_queue().is_in_queue(0));
    EXPECT_THROW(s.put_in_queue(0, constraint_runtime_info::VARIABLE_QUEUE), std::runtime_error);
    try {
        s.put_in_queue(0, constraint_runtime_info::VARIABLE_QUEUE);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "solver::put_in_queue() works only for CONSTRAINT_QUEUE");
    }
}

TEST(ConstraintQueue, InitFailureNamesTheConstraint) {
    struct failing_init : scripted {
        failing_init() : scripted([](constraint_runtime_info&) { return CONSISTENT; }) {}
        bool init(constraint_runtime_info&) override { return false; }
    };
    solver s;
    s.add_var(iset(range(0, 9)), nullptr, false);
    post_clause(s, {0}, {iset(range(0, 5))});
    s.add_constraint(std::make_unique<failing_init>()) << 0;
    EXPECT_FALSE(propagate_at_level0(s));
    EXPECT_EQ(s.last_activated_constraint(), 1u);
}

TEST(ConstraintQueue, ClockOverflowIsATimeout) {
    solver s;
    s.add_var(iset(range(0, 9)), nullptr, false);
    s.add_constraint(std::make_unique<scripted>(
        [](constraint_runtime_info&) { return propagation_types::CONSISTENT; })) << 0;
    s.prepare_for_solve();
    s.m_solving = true;
    s.m_activation_counter = UINT64_MAX;
    EXPECT_THROW(s.first_time_propagate_constraints(), solver::timeout_exception);
    EXPECT_STREQ(solver::timeout_exception().what(), "timeout exception");
}

TEST(UniqueQueue, FifoMembershipAndShrinking) {
    unique_queue<void> q;
    q.set_max_elements(70);
    EXPECT_EQ(q.word_count(), 3u);
    EXPECT_TRUE(q.insert(5));
    EXPECT_FALSE(q.insert(5));
    EXPECT_TRUE(q.insert(66));
    EXPECT_THROW(q.insert(70), std::out_of_range);
    EXPECT_EQ(q.pop(), 5u);
    EXPECT_FALSE(q.is_in_queue(5));

    // Shrinking below a queued index fails and changes nothing.
    try {
        q.set_max_elements(64);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "At least one element is too big");
    }
    EXPECT_EQ(q.max_elements(), 70u);
    EXPECT_TRUE(q.is_in_queue(66));
    EXPECT_EQ(q.pop(), 66u);
    // A mark alone does not stop it, and is dropped.
    q.mark(67);
    q.set_max_elements(64);
    EXPECT_EQ(q.word_count(), 2u);
    q.mark(40);
    q.set_max_elements(35);
    EXPECT_EQ(q.word_count(), 2u);
    q.set_max_elements(64);
    EXPECT_FALSE(q.is_in_queue(40));
    try {
        unique_queue<void> empty;
        empty.pop();
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Popping out of an empty queue");
    }
}

TEST(SolverObject, DefaultsAndResultNames) {
    solver s;
    EXPECT_EQ(s.m_backtrack_limit, 1000000000u);
    EXPECT_EQ(s.m_initial_restart_interval, 16u);
    EXPECT_EQ(s.m_max_conflict_clause, 100u);
    EXPECT_EQ(s.m_opportunistic_threshold, 1000u);
    EXPECT_EQ(s.m_effort_boost_after, 4u);
    EXPECT_EQ(s.m_erase_period, 256u);
    EXPECT_EQ(s.m_keep_window, 512u);
    EXPECT_EQ(s.m_literal_relaxation, 2);
    EXPECT_DOUBLE_EQ(s.assignment().cost_growth(), 24.0 / 23.0);
    EXPECT_DOUBLE_EQ(s.m_analysis_cost_factor, 2.0);
    EXPECT_DOUBLE_EQ(s.m_conflict_cost_factor, 8.0);
    EXPECT_EQ(s.m_activation_counter, 2u);
    EXPECT_EQ(s.m_objective_var, -1);
    EXPECT_TRUE(s.m_minimize);
    EXPECT_EQ(s.m_comment_prefix, "c");
    EXPECT_EQ(s.m_status_prefix, "s");
    EXPECT_EQ(s.m_objective_prefix, "o");
    EXPECT_FALSE(s.proof_collector().want_proof());
    std::ostringstream names;
    for (int r = 0; r <= 7; ++r)
        names << static_cast<solver::result_type>(r) << ',';
    EXPECT_EQ(names.str(), "SAT,UNSAT,BACKTRACK_LIMIT,TIMEOUT,MEMOUT,SAT_DONE,OPTIMAL,,");
}

TEST(SolverObject, PrintsTheSolutionAndItsQueries) {
    solver s;
    s.add_var(iset(3), "x", false);
    s.add_var(iset(range(1, 2)), nullptr, false);
    s.add_var(iset(7), "hidden", false);
    s.m_vars_to_print = 2;
    std::ostringstream out;
    s.print_solution(out);
    EXPECT_EQ(out.str(), "c x=3, V1=1,2, \nv 3 1,2 \n");
    s.m_objective_var = 1;
    EXPECT_EQ(s.evaluate_objective(), 2);
    EXPECT_FALSE(s.has_empty_domains());
    post_clause(s, {0, 1}, {iset(1), iset(2)});
    EXPECT_TRUE(s.is_clause(0));
    EXPECT_EQ(s.clause_literals(0).size(), 2u);
    std::vector<unsigned> vars;
    s.get_constraint_variables(0, vars);
    EXPECT_EQ(vars, (std::vector<unsigned>{0, 1}));
    s.set_var_domain(2, iset(), -1);
    EXPECT_TRUE(s.has_empty_domains());
    s.forget_learned_constraints(); // before any search: nothing
    EXPECT_EQ(s.constraint_count(), 1u);
    EXPECT_THROW(s.print_recent_proof(out), std::runtime_error);
}

}  // namespace propagation_test
