// Variable choice: the cost-per-value order with its tie-breaks, the heap's
// exact moves, decay with rescaling, and the solver's choice rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "impl/engine/assignment_stack.h"
#include "impl/engine/solver.h"

namespace variable_choice_test {

using qarn::assignment_stack;
using qarn::iset;
using range = std::pair<int, int>;

iset full_set() {
    iset s;
    s.complement();
    return s;
}

// Gives `var` the stamp `time`: it becomes a singleton at that time inside a
// level that is then undone, so only the stamp remains.
void stamp(assignment_stack& s, unsigned var, std::uint64_t time) {
    s.open_level(var);
    s.set_var_domain(var, iset(s.domain(var).min()), time, -1);
    s.undo_level(s.level_count());
}

TEST(VariableChoice, BetterVariableOrder) {
    struct row {
        iset da;
        double ca;
        std::uint64_t sa;
        iset db;
        double cb;
        std::uint64_t sb;
        int f;
        bool a_better;
        const char* why;
    } rows[] = {
        {full_set(), 1, 0, iset(range(0, 9)), 1, 0, 1, false, "the full domain is the largest, not size 0"},
        {iset(range(0, 9)), 1, 0, full_set(), 1, 0, 1, true, "the full domain is the largest, not size 0"},
        {iset(range(0, 9)), 2, 0, iset(range(0, 4)), 1, 0, 1, true, "equal ratio, equal stamp: smaller index"},
        {iset(range(0, 9)), 2, 3, iset(range(0, 4)), 1, 7, 1, false, "equal ratio: larger stamp"},
        {iset(range(0, 9)), 2, 7, iset(range(0, 4)), 1, 3, 1, true, "equal ratio: larger stamp"},
        {iset(range(0, 3)), 9, 0, iset(range(0, 3)), 1, 0, 8, true, "more than 8 times the ratio"},
        {iset(range(0, 3)), 7, 0, iset(range(0, 3)), 1, 0, 8, false, "less than 8 times the ratio"},
        {iset(range(0, 3)), 1, 0, iset(range(0, 3)), 7, 0, 8, false, "f weighs against a only"},
        {iset(5), 100, 0, iset(range(0, 3)), 1, 0, 1, false, "a singleton is never better"},
        {iset(range(0, 3)), 0, 0, iset(4), 100, 0, 1, true, "anything beats a singleton"},
    };
    for (const row& r : rows) {
        assignment_stack s;
        s.add_var(r.da, nullptr, false);
        s.add_var(r.db, nullptr, false);
        s.reset_var_costs(1.0);
        if (r.sa)
            stamp(s, 0, r.sa);
        if (r.sb)
            stamp(s, 1, r.sb);
        s.add_var_cost(0, r.ca);
        s.add_var_cost(1, r.cb);
        EXPECT_EQ(s.is_better_variable(0, 1, r.f), r.a_better) << r.why;
    }
    assignment_stack s;
    s.add_var(iset(range(0, 3)), nullptr, false);
    EXPECT_FALSE(s.is_better_variable(-1, 0, 1));
    EXPECT_TRUE(s.is_better_variable(0, -1, 1));
}

TEST(VariableChoice, HeapBuildsOnBestAndMovesExactlyAsSpecified) {
    assignment_stack s;
    for (int v = 0; v < 7; ++v)
        s.add_var(iset(range(0, 9)), nullptr, false);
    s.reset_var_costs(1.0);
    const double costs[] = {1, 5, 2, 7, 3, 4, 6};
    for (unsigned v = 0; v < 7; ++v)
        s.add_var_cost(v, costs[v]);
    s.enable_var_costs_heap();
    EXPECT_EQ(s.find_best_free_variable(), 3u);

    // A raised cost only moves a variable down: variable 0 (a leaf or near
    // one) becomes the best but stays below its parent.
    s.add_var_cost(0, 100);
    EXPECT_EQ(s.find_best_free_variable(), 3u);
    s.lower_var_heap_cost(0);
    EXPECT_EQ(s.find_best_free_variable(), 0u);

    // A new singleton sinks; the next best surfaces.
    s.set_var_domain(0, iset(4), 10, -1);
    EXPECT_EQ(s.find_best_free_variable(), 3u);
    // Leaving the singleton again (undo) brings it back up.
    s.open_level(3);
    s.set_var_domain(3, iset(1), 11, -1);
    EXPECT_EQ(s.find_best_free_variable(), 6u);
    s.undo_level(1);
    EXPECT_EQ(s.find_best_free_variable(), 3u);

    // Only singletons left: none.
    assignment_stack t;
    t.add_var(iset(1), nullptr, false);
    t.enable_var_costs_heap();
    EXPECT_EQ(t.find_best_free_variable(), qarn::NO_VARIABLE);
    s.disable_var_costs_heap();
    EXPECT_EQ(s.find_best_free_variable(), qarn::NO_VARIABLE);
}

TEST(VariableChoice, RescalingKeepsEveryChoice) {
    assignment_stack s;
    const unsigned n = 12;
    for (unsigned v = 0; v < n; ++v)
        s.add_var(iset(range(0, static_cast<int>(v % 5) + 1)), nullptr, false);
    s.reset_var_costs(2.0);
    s.cost_growth(1.5);
    auto order = [&] {
        std::vector<int> vars(n);
        std::iota(vars.begin(), vars.end(), 0);
        std::sort(vars.begin(), vars.end(),
                  [&](int a, int b) { return s.is_better_variable(a, b, 1); });
        return vars;
    };
    bool rescaled = false;
    for (int step = 0; step < 200; ++step) {
        s.add_var_cost(static_cast<unsigned>(step * 7) % n, s.cost_increment());
        std::vector<int> before = order();
        double cost0 = s.var_cost(0);
        double increment = s.cost_increment();
        s.lower_var_costs();
        if (s.cost_increment() < increment) {
            rescaled = true;
            EXPECT_EQ(s.var_cost(0), cost0 * 9.313225746154785e-10);
            EXPECT_LE(s.cost_increment(), 1073741824.0);
        }
        ASSERT_EQ(order(), before) << "step " << step;
    }
    EXPECT_TRUE(rescaled);
}

TEST(VariableChoice, SolverKeepsConflictCandidatesUnlessTheHeapWinsByTheFactor) {
    qarn::solver s;
    for (int v = 0; v < 4; ++v)
        s.add_var(iset(range(0, 3)), nullptr, false);
    auto& a = s.assignment();
    a.reset_var_costs(1.0);
    a.add_var_cost(0, 1);
    a.add_var_cost(1, 7);
    a.add_var_cost(2, 2);
    a.add_var_cost(3, 1);
    a.enable_var_costs_heap();

    // Nothing chosen before: the heap's best is taken.
    EXPECT_EQ(s.choose_free_variable(), 1);
    // A conflict candidate beats the previous choice and stays chosen while
    // the heap's best is less than 8 times better.
    s.m_last_chosen_var = -1;
    s.m_latest_conflict_vars = {3, 2};
    EXPECT_EQ(s.choose_free_variable(), 2);
    EXPECT_EQ(s.m_last_chosen_var, 2);
    a.add_var_cost(1, 10); // 17 > 8 * 2
    a.lower_var_heap_cost(1);
    EXPECT_EQ(s.choose_free_variable(), 1);

    // Singletons leave the conflict list.
    s.m_latest_conflict_vars = {3, 2, 0};
    s.m_solving = true;
    s.set_var_domain(2, iset(1), -1);
    s.m_last_chosen_var = -1;
    a.add_var_cost(0, 1000);
    a.lower_var_heap_cost(0);
    EXPECT_EQ(s.choose_free_variable(), 0);
    EXPECT_EQ(s.m_latest_conflict_vars, (std::vector<unsigned>{3, 0}));

    // All singletons: -1.
    for (unsigned v = 0; v < 4; ++v)
        s.set_var_domain(v, iset(0), -1);
    EXPECT_EQ(s.choose_free_variable(), -1);
}

}  // namespace variable_choice_test
