// The optimisation loop through solve(): minimising and maximising a weighted
// sum over a small clause model against enumeration, the progress lines it
// writes to std::cout with and without quiet mode, the unsatisfiable model
// and an improvement search cut short by the backtrack limit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "tests/unit/test_helpers.h"

namespace optimization_test {

using qarn_test::post_clause;
using qarn_test::same;

using namespace qarn;

// Boolean x0..x4 under side clauses (x, value) and cost = the sum of
// weights[i] * x_i, posted as one clause per assignment of the x's: some x
// differs from the assignment, or cost takes its sum.
struct weighted_model {
    std::vector<int> weights;
    std::vector<std::vector<std::pair<unsigned, int>>> side;
    int cost_lo = 0, cost_hi = 31;

    explicit weighted_model(unsigned seed) {
        std::mt19937 rng(seed);
        for (unsigned i = 0; i < 5; ++i)
            weights.push_back(1 + static_cast<int>(rng() % 6));
        for (unsigned k = 0; k < 4; ++k) {
            side.emplace_back();
            for (unsigned x = rng() % 5, j = 2 + rng() % 2; j > 0; --j, x = (x + 1 + rng() % 2) % 5)
                side.back().emplace_back(x, static_cast<int>(rng() % 2));
        }
    }
    int sum(unsigned bits) const {
        int total = 0;
        for (unsigned i = 0; i < weights.size(); ++i)
            total += (bits >> i & 1u) ? weights[i] : 0;
        return total;
    }
    bool feasible(unsigned bits) const {
        for (const auto& c : side) {
            bool holds = false;
            for (auto [x, value] : c)
                holds = holds || static_cast<int>(bits >> x & 1u) == value;
            if (!holds)
                return false;
        }
        return sum(bits) >= cost_lo && sum(bits) <= cost_hi;
    }
    // The best feasible sum by enumeration, or -1 when there is none.
    int optimum(bool minimize) const {
        int best = -1;
        for (unsigned bits = 0; bits < 32; ++bits)
            if (feasible(bits) && (best < 0 || (minimize ? sum(bits) < best : sum(bits) > best)))
                best = sum(bits);
        return best;
    }
    void build(solver& s) const {
        for (unsigned i = 0; i < 5; ++i)
            s.add_var(iset(0, 1), ("x" + std::to_string(i)).c_str(), false);
        s.m_objective_var = static_cast<int>(s.add_var(iset(cost_lo, cost_hi), "cost", false));
        for (const auto& c : side) {
            std::vector<unsigned> vars;
            std::vector<iset> sets;
            for (auto [x, value] : c)
                vars.push_back(x), sets.push_back(iset(value));
            post_clause(s, vars, sets);
        }
        for (unsigned bits = 0; bits < 32; ++bits) {
            std::vector<iset> sets;
            for (unsigned i = 0; i < 5; ++i)
                sets.push_back(iset(static_cast<int>(~bits >> i & 1u)));
            sets.push_back(iset(sum(bits)));
            post_clause(s, {0, 1, 2, 3, 4, 5}, sets);
        }
    }
    // A solution as printed or as left in the domains: the side clauses
    // hold and cost is the weighted sum and the expected value.
    void expect_solution(const std::vector<int>& values, int cost) const {
        ASSERT_EQ(values.size(), 6u);
        unsigned bits = 0;
        for (unsigned i = 0; i < 5; ++i) {
            ASSERT_TRUE(values[i] == 0 || values[i] == 1);
            bits |= static_cast<unsigned>(values[i]) << i;
        }
        EXPECT_TRUE(feasible(bits));
        EXPECT_EQ(values[5], sum(bits));
        EXPECT_EQ(values[5], cost);
    }
};

// Runs solve and returns what it wrote to std::cout, line by line.
std::vector<std::string> solve_capturing(solver& s, solver::result_type& r, std::ostream* out) {
    testing::internal::CaptureStdout();
    r = s.solve(out);
    std::cout.flush();
    std::istringstream in(testing::internal::GetCapturedStdout());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The values of a print_solution "v " line.
std::vector<int> values_of(const std::string& line) {
    EXPECT_TRUE(starts_with(line, "v ")) << line;
    std::istringstream in(line.substr(2));
    std::vector<int> values;
    for (int x; in >> x;)
        values.push_back(x);
    return values;
}

const std::string SOLVING = "c ==== Solving SAT problem at first ====";
const std::string ITERATION = "c === iteration time ";
const std::string BEST = "c best result so far:";
const std::string NO_MORE = "c ==== no more values to try ====";
const std::string WENT_PAST = "c ==== went past best value ====";
const std::string NOT_PROVEN = "c ==== run did not succeed, can't guarantee optimality ====";
const std::string PROVEN = "s OPTIMUM FOUND";

// Walks the loop's lines and returns its closing line. Verbose: the first
// search, then per improvement the best value with its solution and either
// the end of the values or an attempt to beat it with that attempt's time.
// Quiet: the status, the closing lines and the best solution once.
std::string check_transcript(const std::vector<std::string>& lines, const weighted_model& m,
                             bool minimize, bool quiet, int optimum) {
    std::size_t i = 0;
    auto next = [&]() { return i < lines.size() ? lines[i++] : std::string("<end>"); };
    std::string closing;
    if (quiet) {
        EXPECT_EQ(next(), "s SATISFIABLE");
        closing = next();
        if (closing != NOT_PROVEN) {
            EXPECT_EQ(next(), PROVEN);
        }
        EXPECT_TRUE(starts_with(next(), "c x0="));
        m.expect_solution(values_of(next()), optimum);
    } else {
        EXPECT_EQ(next(), SOLVING);
        EXPECT_TRUE(starts_with(next(), ITERATION));
        EXPECT_EQ(next(), "s SATISFIABLE");
        for (int previous = minimize ? 1000 : -1000; closing.empty();) {
            EXPECT_EQ(next(), BEST);
            const std::string objective = next();
            EXPECT_TRUE(starts_with(objective, "o ")) << objective;
            const int best = std::atoi(objective.c_str() + 2);
            EXPECT_TRUE(minimize ? best < previous : best > previous) << best << " after " << previous;
            previous = best;
            EXPECT_TRUE(starts_with(next(), "c x0="));
            m.expect_solution(values_of(next()), best);
            const std::string line = next();
            if (line == NO_MORE) {
                closing = line;
                break;
            }
            std::ostringstream trying;
            trying << "c ==== trying to " << (minimize ? "minimize cost below " : "maximize cost above ")
                   << best << ", but not " << (minimize ? "below " : "above ")
                   << (minimize ? m.cost_lo : m.cost_hi) << " ==";
            EXPECT_EQ(line, trying.str());
            EXPECT_TRUE(starts_with(next(), ITERATION));
            if (i == lines.size() || lines[i] != BEST)
                closing = next();
        }
        if (closing != NOT_PROVEN) {
            EXPECT_EQ(next(), PROVEN);
        }
    }
    EXPECT_EQ(i, lines.size());
    return closing;
}

// Every combination of direction, quiet mode and cost domain: a domain
// that reaches the optimum ends with no values left, a wider one with a
// search that goes past it; both prove the optimum, and the domains hold
// the best solution afterwards.
TEST(Optimization, FindsTheEnumeratedOptimumAndReportsProgress) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (bool minimize : {true, false}) {
            weighted_model m(seed);
            const int optimum = m.optimum(minimize);
            ASSERT_GE(optimum, 0) << "seed " << seed;
            for (bool tight : {false, true}) {
                m.cost_lo = tight && minimize ? optimum : 0;
                m.cost_hi = tight && !minimize ? optimum : 31;
                for (bool quiet : {false, true}) {
                    SCOPED_TRACE("seed " + std::to_string(seed) + (minimize ? " min" : " max") +
                                 (tight ? " tight" : " wide") + (quiet ? " quiet" : ""));
                    solver s;
                    m.build(s);
                    s.m_minimize = minimize;
                    s.m_quiet = quiet;
                    std::ostringstream out;
                    solver::result_type r;
                    const auto lines = solve_capturing(s, r, &out);
                    EXPECT_EQ(r, solver::OPTIMAL);
                    EXPECT_EQ(s.m_best_value, optimum);
                    EXPECT_TRUE(s.optimum_proven());
                    std::vector<int> values;
                    for (unsigned v = 0; v < s.var_count(); ++v) {
                        ASSERT_EQ(s.domain(v).min(), s.domain(v).max()) << v;
                        values.push_back(s.domain(v).min());
                    }
                    m.expect_solution(values, optimum);
                    EXPECT_EQ(out.str(), "");
                    const bool at_bound = optimum == (minimize ? m.cost_lo : m.cost_hi);
                    EXPECT_EQ(check_transcript(lines, m, minimize, quiet, optimum),
                              at_bound ? NO_MORE : WENT_PAST);
                }
            }
        }
    }
}

// Every sum lies outside the cost domain: the first search fails and the
// loop ends there.
TEST(Optimization, UnsatisfiableModelEndsAfterTheFirstSearch) {
    weighted_model m(3);
    m.cost_lo = m.cost_hi = 31;
    ASSERT_LT(m.optimum(true), 0);
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "verbose");
        solver s;
        m.build(s);
        s.m_quiet = quiet;
        solver::result_type r;
        const auto lines = solve_capturing(s, r, nullptr);
        EXPECT_EQ(r, solver::UNSAT);
        EXPECT_FALSE(s.optimum_proven());
        if (quiet) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0], SOLVING);
            EXPECT_TRUE(starts_with(lines[1], ITERATION));
        }
    }
}

// The first solution (sel = 0, cost 20) comes without a conflict; beating
// it needs sel = 1, which switches on pigeonhole 6 into 5, so the
// improvement search runs into a backtrack limit of 0. The loop still
// answers OPTIMAL with the solution it has, but the optimum is not proven.
TEST(Optimization, InterruptedImprovementIsNotProven) {
    const unsigned pigeons = 6, holes = 5, sel = pigeons * holes, cost = sel + 1;
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "verbose");
        solver s;
        for (unsigned p = 0; p < sel; ++p)
            s.add_var(iset(0, 1), nullptr, false);
        s.add_var(iset(0, 1), "sel", false);
        s.add_var(iset(10, 20), "cost", false);
        for (unsigned i = 0; i < pigeons; ++i) {
            std::vector<unsigned> vars{sel};
            for (unsigned h = 0; h < holes; ++h)
                vars.push_back(i * holes + h);
            post_clause(s, vars, {iset(0), 1, 1, 1, 1, 1});
        }
        for (unsigned h = 0; h < holes; ++h)
            for (unsigned i = 0; i < pigeons; ++i)
                for (unsigned j = i + 1; j < pigeons; ++j)
                    post_clause(s, {sel, i * holes + h, j * holes + h}, {0, 0, 0});
        for (unsigned p = 0; p < sel; ++p)
            post_clause(s, {sel, p}, {1, 0});
        post_clause(s, {sel, cost}, {1, 20});
        post_clause(s, {sel, cost}, {0, iset(10, 19)});
        s.m_objective_var = static_cast<int>(cost);
        s.m_backtrack_limit = 0;
        s.m_quiet = quiet;
        solver::result_type r;
        const auto lines = solve_capturing(s, r, nullptr);
        EXPECT_EQ(r, solver::OPTIMAL);
        EXPECT_FALSE(s.optimum_proven());
        EXPECT_EQ(s.m_best_value, 20);
        std::string best_line = "v ";
        for (unsigned v = 0; v < s.var_count(); ++v) {
            EXPECT_TRUE(same(s.domain(v), iset(v == cost ? 20 : 0))) << v;
            best_line += v == cost ? "20 " : "0 ";
        }
        if (quiet) {
            ASSERT_EQ(lines.size(), 4u);
            EXPECT_EQ(lines[0], "s SATISFIABLE");
            EXPECT_EQ(lines[1], NOT_PROVEN);
            EXPECT_EQ(lines[3], best_line);
        } else {
            ASSERT_EQ(lines.size(), 10u);
            EXPECT_EQ(lines[0], SOLVING);
            EXPECT_EQ(lines[4], "o 20");
            EXPECT_EQ(lines[6], best_line);
            EXPECT_EQ(lines[7], "c ==== trying to minimize cost below 20, but not below 10 ==");
            EXPECT_EQ(lines[9], NOT_PROVEN);
        }
    }
}

// Front-ends override the two virtual operations; the loop takes the best
// value from one and prints the final quiet solution with the other.
TEST(Optimization, UsesTheOverriddenObjectiveAndPrinter) {
    struct front_end : solver {
        std::vector<int> weights;
        int evaluate_objective() const override {
            int total = 0;
            for (unsigned i = 0; i < weights.size(); ++i)
                total += weights[i] * domain(i).min();
            return total;
        }
        void print_solution(std::ostream& os) const override {
            os << "total " << evaluate_objective() << '\n';
        }
    };
    const weighted_model m(2);
    front_end s;
    s.weights = m.weights;
    m.build(s);
    s.m_minimize = false;
    s.m_quiet = true;
    solver::result_type r;
    const auto lines = solve_capturing(s, r, nullptr);
    EXPECT_EQ(r, solver::OPTIMAL);
    EXPECT_EQ(s.m_best_value, m.optimum(false));
    EXPECT_EQ(lines, (std::vector<std::string>{"s SATISFIABLE", WENT_PAST, PROVEN,
                                               "total " + std::to_string(m.optimum(false))}));
}

}  // namespace optimization_test
