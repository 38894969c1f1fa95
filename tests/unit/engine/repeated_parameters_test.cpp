// Constraints that name one variable in several parameters (x <= y + y,
// x = y + y, a clause with two literals on one variable), as the readers
// post them for terms written twice. Random models of such constraints are
// solved under several settings and compared with enumeration: the answer,
// the solution, every learned clause (it must hold in every solution), the
// optimum and the full solution list.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/sum_propagators.h"

namespace repeated_parameters_test {

using namespace qarn;

constexpr int MAX_VALUE = 3; // every variable ranges over 0..MAX_VALUE

enum kind { LESS_EQUAL_SUM, GREATER_EQUAL_SUM, SUM, CLAUSE, EQUAL };

struct constraint_def {
    kind type;
    std::vector<unsigned> vars;
    std::vector<iset> sets; // clauses: some vars[i] lies in sets[i]
};

struct model {
    unsigned vars = 0;
    std::vector<constraint_def> constraints;
};

bool holds(const constraint_def& c, const std::vector<int>& value) {
    long long rest = 0;
    for (std::size_t i = 1; i < c.vars.size(); ++i)
        rest += value[c.vars[i]];
    const long long first = value[c.vars[0]];
    switch (c.type) {
    case LESS_EQUAL_SUM:
        return first <= rest;
    case GREATER_EQUAL_SUM:
        return first >= rest;
    case SUM:
        return first == rest;
    case EQUAL:
        return first == value[c.vars[1]];
    case CLAUSE:
        for (std::size_t i = 0; i < c.vars.size(); ++i)
            if (c.sets[i].contains(value[c.vars[i]]))
                return true;
        return false;
    }
    return false;
}

std::vector<std::vector<int>> all_solutions(const model& m) {
    std::vector<std::vector<int>> out;
    std::vector<int> value(m.vars, 0);
    for (;;) {
        bool ok = true;
        for (const constraint_def& c : m.constraints)
            ok = ok && holds(c, value);
        if (ok)
            out.push_back(value);
        unsigned v = 0;
        while (v < m.vars && ++value[v] > MAX_VALUE)
            value[v++] = 0;
        if (v == m.vars)
            return out;
    }
}

// Every constraint names at least one variable twice.
model random_model(std::mt19937& rng, unsigned vars, unsigned constraints) {
    model m;
    m.vars = vars;
    auto pick = [&] { return static_cast<unsigned>(rng() % vars); };
    for (unsigned k = 0; k < constraints; ++k) {
        constraint_def c;
        c.type = static_cast<kind>(rng() % 5);
        const unsigned arity = c.type == EQUAL ? 2 : c.type == SUM ? 3 : 3 + rng() % 2;
        for (unsigned i = 0; i < arity; ++i)
            c.vars.push_back(pick());
        const unsigned a = static_cast<unsigned>(rng() % arity);
        unsigned b = static_cast<unsigned>(rng() % (arity - 1));
        b += b >= a;
        c.vars[b] = c.vars[a];
        if (c.type == CLAUSE)
            for (unsigned i = 0; i < arity; ++i)
                c.sets.emplace_back(static_cast<int>(rng() % 4));
        m.constraints.push_back(std::move(c));
    }
    return m;
}

void build(solver& s, const model& m) {
    for (unsigned v = 0; v < m.vars; ++v)
        s.add_var(iset(0, MAX_VALUE), ("x" + std::to_string(v)).c_str(), false);
    for (const constraint_def& c : m.constraints) {
        std::unique_ptr<constraint_propagator> p;
        switch (c.type) {
        case LESS_EQUAL_SUM:
            p = std::make_unique<less_equal_sum_propagator>();
            break;
        case GREATER_EQUAL_SUM:
            p = std::make_unique<greater_equal_sum_propagator>();
            break;
        case SUM:
            p = std::make_unique<sum_wrap_propagator>();
            break;
        case EQUAL:
            p = std::make_unique<equal_propagator>();
            break;
        case CLAUSE: {
            auto clause = std::make_unique<clause_propagator>();
            clause->update_literals() = c.sets;
            p = std::move(clause);
            break;
        }
        }
        constraint_connectivity_info& record = s.add_constraint(std::move(p));
        for (unsigned v : c.vars)
            record << v;
    }
}

std::vector<int> assignment_of(const solver& s, unsigned vars) {
    std::vector<int> value;
    for (unsigned v = 0; v < vars; ++v) {
        EXPECT_EQ(s.domain(v).size(), 1u);
        value.push_back(s.domain(v).min());
    }
    return value;
}

// The model's variable each solver variable stands for: itself, or for a
// copy made for a repeated parameter, the variable its equality names.
std::vector<unsigned> originals(const solver& s, const model& m) {
    std::vector<unsigned> of(s.var_count());
    for (unsigned v = 0; v < of.size(); ++v)
        of[v] = v;
    std::vector<unsigned> vars;
    for (unsigned c = static_cast<unsigned>(m.constraints.size()); c < s.first_learned(); ++c) {
        s.get_constraint_variables(c, vars);
        EXPECT_EQ(vars.size(), 2u);
        EXPECT_GE(vars[1], m.vars);
        of.at(vars[1]) = vars[0];
    }
    return of;
}

// Every learned clause still held holds in every solution of the model.
// Answers how many it checked.
unsigned expect_learned_clauses_implied(const solver& s, const model& m,
                                        const std::vector<std::vector<int>>& solutions) {
    unsigned checked = 0;
    const std::vector<unsigned> of = originals(s, m);
    std::vector<unsigned> vars;
    for (unsigned c = s.first_learned(); c < s.constraint_count(); ++c) {
        if (!s.propagator(c) || !s.is_clause(c))
            continue;
        s.get_constraint_variables(c, vars);
        const std::vector<iset>& literals = s.clause_literals(c);
        ++checked;
        for (const std::vector<int>& value : solutions) {
            bool satisfied = false;
            for (std::size_t i = 0; i < vars.size() && i < literals.size(); ++i)
                satisfied = satisfied || literals[i].contains(value[of.at(vars[i])]);
            EXPECT_TRUE(satisfied) << "learned constraint " << c;
        }
    }
    return checked;
}

struct settings {
    const char* name;
    std::function<void(solver&)> apply;
};

const std::vector<settings>& setting_variants() {
    static const std::vector<settings> variants = {
        {"defaults", [](solver&) {}},
        {"no combination", [](solver& s) { s.m_combine_general = false; }},
        {"no ground intersection, no relaxation",
         [](solver& s) { s.m_intersect_with_ground = false, s.m_literal_relaxation = 0; }},
        {"cause relaxation, relaxation within a level",
         [](solver& s) { s.m_relax_cause = true, s.m_literal_relaxation = 1; }},
        {"restart after every backtrack", [](solver& s) { s.m_initial_restart_interval = 1; }},
    };
    return variants;
}

TEST(RepeatedParameters, AnswersAndLearnedClausesAgreeWithEnumeration) {
    std::mt19937 rng(20261210);
    unsigned sat = 0, unsat = 0, learned = 0;
    for (unsigned i = 0; i < 120; ++i) {
        SCOPED_TRACE("instance " + std::to_string(i));
        const model m = random_model(rng, 4 + i % 3, 4 + i % 9);
        const std::vector<std::vector<int>> solutions = all_solutions(m);
        ++(solutions.empty() ? unsat : sat);
        for (const settings& setting : setting_variants()) {
            SCOPED_TRACE(setting.name);
            solver s;
            build(s, m);
            setting.apply(s);
            std::ostringstream out;
            const solver::result_type r = s.solve(&out);
            ASSERT_EQ(r, solutions.empty() ? solver::UNSAT : solver::SAT);
            if (r == solver::SAT) {
                const std::vector<int> value = assignment_of(s, m.vars);
                for (const constraint_def& c : m.constraints)
                    EXPECT_TRUE(holds(c, value));
            }
            learned += expect_learned_clauses_implied(s, m, solutions);
        }
    }
    EXPECT_GT(sat, 20u);
    EXPECT_GT(unsat, 20u);
    EXPECT_GT(learned, 50u);
}

TEST(RepeatedParameters, OptimumAgreesWithEnumeration) {
    std::mt19937 rng(7);
    for (unsigned i = 0; i < 60; ++i) {
        SCOPED_TRACE("instance " + std::to_string(i));
        model m = random_model(rng, 5, 3 + i % 4);
        // The objective is x0 = x1 + x1 + x2, a sum with a repeated addend.
        m.constraints.push_back({SUM, {0, 1, 1, 2}, {}});
        const std::vector<std::vector<int>> solutions = all_solutions(m);
        const bool minimize = i % 2 == 0;
        int best = -1;
        for (const std::vector<int>& value : solutions)
            if (best < 0 || (minimize ? value[0] < best : value[0] > best))
                best = value[0];
        solver s;
        build(s, m);
        s.m_objective_var = 0;
        s.m_minimize = minimize;
        s.m_quiet = true;
        std::ostringstream out;
        testing::internal::CaptureStdout();
        const solver::result_type r = s.solve(&out);
        const std::string printed = testing::internal::GetCapturedStdout();
        if (solutions.empty()) {
            EXPECT_EQ(r, solver::UNSAT);
            continue;
        }
        EXPECT_EQ(r, solver::OPTIMAL);
        EXPECT_NE(printed.find("OPTIMUM FOUND"), std::string::npos) << printed;
        EXPECT_EQ(s.m_best_value, best);
    }
}

// Every solution is printed once, over the model's own variables only.
TEST(RepeatedParameters, AllSolutionsShowTheModelsVariablesOnce) {
    std::mt19937 rng(99);
    for (unsigned i = 0; i < 40; ++i) {
        SCOPED_TRACE("instance " + std::to_string(i));
        const model m = random_model(rng, 4, 2 + i % 3);
        std::vector<std::vector<int>> solutions = all_solutions(m);
        std::sort(solutions.begin(), solutions.end());
        solver s;
        build(s, m);
        s.m_all_solutions = true;
        std::ostringstream out;
        const solver::result_type r = s.solve(&out);
        EXPECT_EQ(r, solutions.empty() ? solver::UNSAT : solver::SAT_DONE);
        std::vector<std::vector<int>> printed;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("v ", 0) != 0)
                continue;
            std::istringstream values(line.substr(2));
            printed.emplace_back();
            for (int x; values >> x;)
                printed.back().push_back(x);
        }
        std::sort(printed.begin(), printed.end());
        EXPECT_EQ(printed, solutions);
    }
}

}  // namespace repeated_parameters_test
