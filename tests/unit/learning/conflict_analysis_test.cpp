// Conflict analysis on random small clause models, driven step by step the
// way the search loop drives it. Every learned clause is checked against the
// model itself: it must hold in every solution (found by enumeration), every
// literal must be false where the conflict happened, and after the back-jump
// the clause must be unit and its propagation must narrow the remaining
// variable. The final answer of each search is compared with brute force.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"

namespace conflict_analysis_test {

using namespace qarn;
using range = std::pair<int, int>;

struct clause_def {
    std::vector<unsigned> vars;
    std::vector<iset> sets; // some vars[i] lies in sets[i]
};

struct clause_model {
    std::vector<std::vector<int>> domains; // the values of each variable
    std::vector<clause_def> clauses;
    bool boolean = true;
};

bool holds(const clause_def& c, const std::vector<int>& value) {
    for (std::size_t k = 0; k < c.vars.size(); ++k)
        if (c.sets[k].contains(value[c.vars[k]]))
            return true;
    return false;
}

bool satisfies_all(const clause_model& m, const std::vector<int>& value) {
    for (const clause_def& c : m.clauses)
        if (!holds(c, value))
            return false;
    return true;
}

// Every solution of the model within the variables' domains.
std::vector<std::vector<int>> all_solutions(const clause_model& m) {
    const std::size_t n = m.domains.size();
    std::vector<std::vector<int>> out;
    std::vector<std::size_t> digit(n, 0);
    std::vector<int> value(n);
    for (;;) {
        for (std::size_t v = 0; v < n; ++v)
            value[v] = m.domains[v][digit[v]];
        if (satisfies_all(m, value))
            out.push_back(value);
        std::size_t v = 0;
        while (v < n && ++digit[v] == m.domains[v].size())
            digit[v++] = 0;
        if (v == n)
            return out;
    }
}

iset set_of(const std::vector<int>& values) {
    iset s;
    for (int v : values)
        s.insert(range(v, v));
    return s;
}

// Boolean models are 3-SAT around the threshold; the others have three or
// four values per variable, scattered over 0..31, and literals over random
// proper subsets of the domain, sometimes with a value outside it.
clause_model random_model(std::mt19937& gen, bool boolean) {
    clause_model m;
    m.boolean = boolean;
    const unsigned n = boolean ? 12 + gen() % 3 : 7 + gen() % 2;
    for (unsigned v = 0; v < n; ++v) {
        std::vector<int> values;
        if (boolean) {
            values = {0, 1};
        } else {
            const unsigned size = 3 + gen() % 2;
            while (values.size() < size) {
                int x = static_cast<int>(gen() % 32);
                bool seen = false;
                for (int y : values)
                    seen = seen || x == y;
                if (!seen)
                    values.push_back(x);
            }
        }
        m.domains.push_back(values);
    }
    const unsigned clauses = boolean ? (40 + gen() % 11) * n / 10 : (70 + gen() % 41) * n / 10;
    for (unsigned c = 0; c < clauses; ++c) {
        clause_def clause;
        const unsigned width = 3;
        while (clause.vars.size() < width) {
            unsigned v = static_cast<unsigned>(gen() % n);
            bool seen = false;
            for (unsigned w : clause.vars)
                seen = seen || v == w;
            if (seen)
                continue;
            const std::vector<int>& domain = m.domains[v];
            std::vector<int> chosen;
            do {
                chosen.clear();
                for (int x : domain)
                    if (gen() % 2)
                        chosen.push_back(x);
            } while (chosen.empty() || chosen.size() == domain.size());
            iset literal = set_of(chosen);
            if (!boolean && gen() % 4 == 0) {
                int outside = static_cast<int>(gen() % 32);
                if (!set_of(domain).contains(outside))
                    literal.insert(range(outside, outside));
            }
            clause.vars.push_back(v);
            clause.sets.push_back(literal);
        }
        m.clauses.push_back(clause);
    }
    return m;
}

void build(solver& s, const clause_model& m) {
    for (const std::vector<int>& domain : m.domains)
        s.add_var(set_of(domain), nullptr, false);
    for (const clause_def& c : m.clauses) {
        auto clause = std::make_unique<clause_propagator>();
        clause->update_literals() = c.sets;
        constraint_connectivity_info& record = s.add_constraint(std::move(clause));
        for (unsigned v : c.vars)
            record << v;
    }
}

struct settings {
    const char* name;
    bool combine;   // -m
    int relaxation; // -j
    bool ground;    // -G
    bool relax_cause; // -J
};

struct tallies {
    unsigned searches = 0, sat = 0, unsat = 0;
    unsigned conflicts = 0, learned = 0, unit_after_backjump = 0;
};

struct search_result {
    bool finished = false;
    bool sat = false;
    std::vector<int> solution;
};

// One search, step by step as the driver runs it, checking every learned
// clause. `exact_nodes`: every node of a learned clause sits where its
// literal became false, so the clause is unit after the back-jump; without
// it (no complete relaxation over wider domains) a node may sit later than
// that and the clause may even be false at the back-jump level.
void checked_search(solver& s, const std::vector<std::vector<int>>& solutions, bool exact_nodes,
                    tallies& t, search_result& out) {
    const unsigned n = s.var_count();
    auto meets = [&](unsigned var, const iset& literal) {
        return s.domain(var).contains_any_of(literal);
    };

    s.m_initial_restart_interval = 0; // back-jumps land where the analysis says
    s.m_solving = true;
    s.prepare_for_solve();
    if (!s.first_time_propagate_constraints()) {
        out.finished = true;
        out.sat = false;
    }
    // The unit literal of the last learned clause, checked after propagation.
    int unit_var = -1;
    iset unit_literal;
    for (unsigned step = 0; !out.finished; ++step) {
        ASSERT_LT(step, 100000u) << "the search does not end";
        if (s.propagate_constraints()) {
            if (unit_var >= 0) {
                EXPECT_TRUE(unit_literal.contains_all_of(s.domain(unsigned(unit_var))))
                    << "the learned clause did not narrow its unit variable";
                unit_var = -1;
            }
            int v = s.choose_free_variable();
            if (v < 0) {
                out.finished = true;
                out.sat = true;
                for (unsigned x = 0; x < n; ++x) {
                    ASSERT_EQ(s.domain(x).size(), 1u);
                    out.solution.push_back(s.domain(x).min());
                }
                break;
            }
            s.restrict_variable(unsigned(v), false);
            continue;
        }
        unit_var = -1;
        ++t.conflicts;
        const unsigned open = s.assignment().level_count();
        int learned = -1;
        int lvl = s.analyze_conflict(learned);
        if (open == 0) {
            // No proof is wanted: a conflict at level 0 ends the search.
            ASSERT_EQ(lvl, -1);
            ASSERT_EQ(learned, -1);
        }
        std::vector<unsigned> vars;
        std::vector<iset> literals;
        if (learned >= 0) {
            ++t.learned;
            ASSERT_EQ(unsigned(learned) + 1, s.constraint_count());
            ASSERT_TRUE(s.is_clause(unsigned(learned)));
            s.get_constraint_variables(unsigned(learned), vars);
            literals = s.clause_literals(unsigned(learned));
            ASSERT_EQ(vars.size(), literals.size());
            clause_def c{vars, literals};
            // Implied by the model.
            for (const std::vector<int>& sol : solutions)
                ASSERT_TRUE(holds(c, sol)) << "a learned clause excludes a solution";
            // False on the domains of the conflict (the conflicting
            // constraint's own changes undone).
            for (std::size_t k = 0; k < vars.size(); ++k)
                ASSERT_FALSE(meets(vars[k], literals[k]))
                    << "literal " << k << " of the learned clause is not false at the conflict";
        }
        if (lvl < 0) {
            out.finished = true;
            out.sat = false;
            break;
        }
        ASSERT_LT(unsigned(lvl), open);
        if (learned < 0) {
            ASSERT_EQ(unsigned(lvl), open - 1) << "no clause: a chronological backtrack";
        }
        ASSERT_EQ(s.backtrack(unsigned(lvl), learned), solver::SAT);
        if (learned < 0)
            continue;
        ASSERT_EQ(s.assignment().level_count(), unsigned(lvl));
        unsigned not_false = 0;
        for (std::size_t k = 0; k < vars.size(); ++k)
            if (meets(vars[k], literals[k])) {
                ++not_false;
                unit_var = int(vars[k]);
                unit_literal = literals[k];
            }
        if (exact_nodes)
            ASSERT_EQ(not_false, 1u) << "the learned clause is not unit at the back-jump level";
        else
            ASSERT_LE(not_false, 1u) << "two literals of the learned clause are open";
        if (not_false != 1)
            unit_var = -1;
        else
            ++t.unit_after_backjump;
        s.dirty_learned().push_back({NO_LEVEL, unsigned(learned)});
    }
    s.forget_all_watches();
    s.m_solving = false;
}

struct solved_model {
    clause_model model;
    std::vector<std::vector<int>> solutions;
};

std::vector<solved_model> random_models(bool boolean, unsigned seed, unsigned count) {
    std::mt19937 gen(seed);
    std::vector<solved_model> out;
    for (unsigned i = 0; i < count; ++i) {
        solved_model sm;
        sm.model = random_model(gen, boolean);
        sm.solutions = all_solutions(sm.model);
        out.push_back(std::move(sm));
    }
    return out;
}

void run_models(const settings& cfg, const std::vector<solved_model>& models, tallies& t) {
    for (std::size_t round = 0; round < models.size(); ++round) {
        const clause_model& m = models[round].model;
        const std::vector<std::vector<int>>& solutions = models[round].solutions;
        solver s;
        build(s, m);
        s.m_combine_general = cfg.combine;
        s.m_literal_relaxation = cfg.relaxation;
        s.m_intersect_with_ground = cfg.ground;
        s.m_relax_cause = cfg.relax_cause;
        search_result r;
        SCOPED_TRACE(std::string(cfg.name) + (m.boolean ? ", Boolean" : ", wider domains") +
                     ", model " + std::to_string(round));
        const bool exact = m.boolean || cfg.relaxation == 2;
        checked_search(s, solutions, exact, t, r);
        if (::testing::Test::HasFatalFailure())
            return;
        ASSERT_TRUE(r.finished);
        ++t.searches;
        if (r.sat) {
            ++t.sat;
            ASSERT_FALSE(solutions.empty());
            for (unsigned v = 0; v < m.domains.size(); ++v)
                ASSERT_TRUE(set_of(m.domains[v]).contains(r.solution[v]));
            ASSERT_TRUE(satisfies_all(m, r.solution)) << "the solution breaks a clause";
        } else {
            ++t.unsat;
            ASSERT_TRUE(solutions.empty()) << "UNSAT on a satisfiable model";
        }
    }
}

const settings configurations[] = {
    {"defaults", true, 2, true, false},
    {"-m off, -j 0", false, 0, true, false},
    {"-m off, -j 1", false, 1, true, false},
    {"-m off, -j 2", false, 2, true, false},
    {"-G off", true, 2, false, false},
    {"-J on, -j 0", true, 0, true, true},
};

TEST(ConflictAnalysis, LearnedClausesAreImpliedAndAssertingOnBooleanModels) {
    const std::vector<solved_model> models = random_models(true, 20240601, 250);
    for (const settings& cfg : configurations) {
        tallies t;
        run_models(cfg, models, t);
        if (HasFatalFailure())
            return;
        SCOPED_TRACE(cfg.name);
        // The models must exercise what is checked.
        EXPECT_GT(t.sat, 50u);
        EXPECT_GT(t.unsat, 30u);
        EXPECT_GT(t.learned, 600u);
        EXPECT_GT(t.unit_after_backjump, 600u);
    }
}

TEST(ConflictAnalysis, LearnedClausesAreImpliedOnSetLiteralModels) {
    const std::vector<solved_model> models = random_models(false, 777, 150);
    for (const settings& cfg : configurations) {
        tallies t;
        run_models(cfg, models, t);
        if (HasFatalFailure())
            return;
        SCOPED_TRACE(cfg.name);
        EXPECT_GT(t.sat, 30u);
        EXPECT_GT(t.unsat, 30u);
        EXPECT_GT(t.learned, 600u);
        EXPECT_GT(t.unit_after_backjump, 600u);
    }
}

// A conflict with no decision open ends the search as UNSAT without any
// analysis: no clause is learned. Both ways of getting there: the first
// propagation fails, or a learned unit clause propagates into a conflict
// back at level 0.
TEST(ConflictAnalysis, ConflictAtLevelZeroIsUnsatWithoutAnalysis) {
    struct row {
        const char* name;
        std::vector<clause_def> clauses;
        bool first_propagation_fails;
    } rows[] = {
        {"unit clauses contradict",
         {{{0}, {iset(1)}}, {{0, 1}, {iset(0), iset(1)}}, {{1}, {iset(0)}}},
         true},
        {"all four clauses over two variables",
         {{{0, 1}, {iset(1), iset(1)}},
          {{0, 1}, {iset(1), iset(0)}},
          {{0, 1}, {iset(0), iset(1)}},
          {{0, 1}, {iset(0), iset(0)}}},
         false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        solver s;
        clause_model m;
        m.domains = {{0, 1}, {0, 1}};
        m.clauses = r.clauses;
        build(s, m);
        ASSERT_TRUE(s.m_intersect_with_ground);
        s.m_initial_restart_interval = 0;
        s.m_solving = true;
        s.prepare_for_solve();
        bool consistent = s.first_time_propagate_constraints();
        ASSERT_EQ(consistent, !r.first_propagation_fails);
        bool level0_conflict = !consistent;
        for (int step = 0; step < 100 && !level0_conflict; ++step) {
            if (s.propagate_constraints()) {
                int v = s.choose_free_variable();
                ASSERT_GE(v, 0) << "the model has no solution";
                s.restrict_variable(unsigned(v), false);
                continue;
            }
            if (s.assignment().level_count() == 0) {
                level0_conflict = true;
                break;
            }
            int learned = -1;
            int lvl = s.analyze_conflict(learned);
            ASSERT_GE(lvl, 0);
            ASSERT_EQ(s.backtrack(unsigned(lvl), learned), solver::SAT);
            if (learned >= 0)
                s.dirty_learned().push_back({NO_LEVEL, unsigned(learned)});
        }
        ASSERT_TRUE(level0_conflict);
        const unsigned constraints = s.constraint_count();
        const std::uint64_t resolutions = s.m_resolutions;
        int learned = 12345;
        EXPECT_EQ(s.analyze_conflict(learned), -1);
        EXPECT_EQ(learned, -1);
        EXPECT_EQ(s.constraint_count(), constraints);
        EXPECT_EQ(s.m_resolutions, resolutions);
        s.forget_all_watches();
        s.m_solving = false;

        // The public entry agrees.
        solver fresh;
        build(fresh, m);
        std::ostringstream sink;
        EXPECT_EQ(fresh.solve(&sink), solver::UNSAT);
    }
}

}  // namespace conflict_analysis_test
