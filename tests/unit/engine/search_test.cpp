// The search driver through solve(): answers on random clause models checked
// against enumeration of every assignment, pigeonhole refutations with
// restarts and erasure of learned constraints, the backtrack limit and the
// all-solutions run with its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/random.h"
#include "tests/unit/test_helpers.h"

namespace search_test {

using namespace qarn;

// A clause model kept beside the solver for checking: domains and literal
// sets are bit masks over the values 0..31.
struct literal {
    unsigned var;
    std::uint32_t values;
};
typedef std::vector<literal> clause;
struct clause_model {
    std::vector<std::uint32_t> domains;
    std::vector<clause> clauses;
};

iset set_of(std::uint32_t bits) {
    iset s;
    for (int v = 0; v < 32; ++v)
        if (bits >> v & 1u)
            s.insert(iset::range_type(v, v));
    return s;
}

std::uint32_t bit(int v) { return 1u << v; }

void post_model_clause(solver& s, const clause& c) {
    std::vector<unsigned> vars;
    std::vector<iset> sets;
    for (const literal& l : c) {
        vars.push_back(l.var);
        sets.push_back(set_of(l.values));
    }
    qarn_test::post_clause(s, vars, sets);
}

void build(solver& s, const clause_model& m) {
    for (unsigned v = 0; v < m.domains.size(); ++v)
        s.add_var(set_of(m.domains[v]), ("x" + std::to_string(v)).c_str(), false);
    for (const clause& c : m.clauses)
        post_model_clause(s, c);
}

bool holds(const clause& c, const std::vector<int>& a) {
    return std::any_of(c.begin(), c.end(),
                       [&](const literal& l) { return (l.values >> a[l.var] & 1u) != 0; });
}

bool satisfies(const clause_model& m, const std::vector<int>& a) {
    for (unsigned v = 0; v < a.size(); ++v)
        if (a[v] < 0 || a[v] > 31 || !(m.domains[v] >> a[v] & 1u))
            return false;
    return a.size() == m.domains.size() &&
           std::all_of(m.clauses.begin(), m.clauses.end(),
                       [&](const clause& c) { return holds(c, a); });
}

// Visits every solution: all assignments in index order, each clause
// checked once its last variable has a value; visit returns false to stop.
void enumerate(const clause_model& m, const std::function<bool(const std::vector<int>&)>& visit) {
    const unsigned n = static_cast<unsigned>(m.domains.size());
    std::vector<std::vector<const clause*>> closing(n);
    for (const clause& c : m.clauses)
        closing[std::max_element(c.begin(), c.end(), [](const literal& x, const literal& y) {
                    return x.var < y.var;
                })->var].push_back(&c);
    std::vector<int> a(n);
    std::function<bool(unsigned)> extend = [&](unsigned v) {
        if (v == n)
            return visit(a);
        for (a[v] = 0; a[v] < 32; ++a[v])
            if (m.domains[v] >> a[v] & 1u &&
                std::all_of(closing[v].begin(), closing[v].end(),
                            [&](const clause* c) { return holds(*c, a); }) &&
                !extend(v + 1))
                return false;
        return true;
    };
    return void(n == 0 || extend(0));
}

bool has_solution(const clause_model& m) {
    bool found = false;
    enumerate(m, [&](const std::vector<int>&) { return !(found = true); });
    return found;
}

// The solver's assignment; every domain must be a singleton.
std::vector<int> assignment_of(const solver& s) {
    std::vector<int> a;
    for (unsigned v = 0; v < s.var_count(); ++v) {
        const iset& d = s.domain(v);
        bool singleton = !d.empty() && d.min() == d.max();
        EXPECT_TRUE(singleton) << "x" << v << " = " << d;
        a.push_back(singleton ? d.min() : -1);
    }
    return a;
}

// Random clauses of three distinct variables over domains of `lo` to `hi`
// values (runs or scattered values in 0..31; {0,1} when hi is 2); each
// literal allows a random part of its variable's domain and, with noise, at
// times values outside it. With domains {0,1} this is random 3-SAT.
clause_model random_model(std::mt19937& rng, unsigned n, unsigned clauses, unsigned lo,
                          unsigned hi, bool noise) {
    clause_model m;
    std::vector<std::vector<int>> values(n);
    std::vector<int> all(32);
    for (int x = 0; x < 32; ++x)
        all[x] = x;
    for (unsigned v = 0; v < n; ++v) {
        const unsigned size = lo + rng() % (hi - lo + 1);
        const int first = hi == 2 ? 0 : static_cast<int>(rng() % (33 - size));
        if (hi > 2 && rng() % 2)
            std::shuffle(all.begin(), all.end(), rng);
        else
            std::sort(all.begin(), all.end());
        values[v].assign(all.begin() + first, all.begin() + first + size);
        m.domains.push_back(0);
        for (int x : values[v])
            m.domains.back() |= bit(x);
    }
    std::vector<unsigned> vars(n);
    for (unsigned v = 0; v < n; ++v)
        vars[v] = v;
    for (unsigned k = 0; k < clauses; ++k) {
        std::shuffle(vars.begin(), vars.end(), rng);
        clause c;
        for (unsigned i = 0; i < 3; ++i) {
            std::vector<int> d = values[vars[i]];
            std::shuffle(d.begin(), d.end(), rng);
            std::uint32_t allowed = noise && rng() % 4 == 0 ? bit(static_cast<int>(rng() % 32)) : 0;
            for (unsigned j = 1 + rng() % (d.size() - 1); j-- > 0;)
                allowed |= bit(d[j]);
            c.push_back({vars[i], allowed});
        }
        m.clauses.push_back(c);
    }
    return m;
}

// p[i][h] (variable i * holes + h) is 1 when pigeon i sits in hole h.
clause_model pigeonhole(unsigned pigeons, unsigned holes) {
    clause_model m;
    m.domains.assign(pigeons * holes, bit(0) | bit(1));
    for (unsigned i = 0; i < pigeons; ++i) {
        clause somewhere;
        for (unsigned h = 0; h < holes; ++h)
            somewhere.push_back({i * holes + h, bit(1)});
        m.clauses.push_back(somewhere);
    }
    for (unsigned h = 0; h < holes; ++h)
        for (unsigned i = 0; i < pigeons; ++i)
            for (unsigned j = i + 1; j < pigeons; ++j)
                m.clauses.push_back({{i * holes + h, bit(0)}, {j * holes + h, bit(0)}});
    return m;
}

// The same with one variable per pigeon holding its hole (values 0..holes-1):
// two pigeons never share a hole.
clause_model pigeonhole_by_value(unsigned pigeons, unsigned holes) {
    clause_model m;
    const std::uint32_t all = (1u << holes) - 1;
    m.domains.assign(pigeons, all);
    for (unsigned h = 0; h < holes; ++h)
        for (unsigned i = 0; i < pigeons; ++i)
            for (unsigned j = i + 1; j < pigeons; ++j)
                m.clauses.push_back({{i, all & ~bit(h)}, {j, all & ~bit(h)}});
    return m;
}

// Solver settings that must never change an answer.
struct settings {
    const char* name;
    std::function<void(solver&)> apply;
};
const std::vector<settings>& setting_variants() {
    static const std::vector<settings> variants = {
        {"defaults", [](solver&) {}},
        {"no restarts", [](solver& s) { s.m_initial_restart_interval = 0; }},
        {"restart after every backtrack", [](solver& s) { s.m_initial_restart_interval = 1; }},
        {"frequent erasure", [](solver& s) { s.m_erase_period = 2, s.m_keep_window = 4; }},
        {"no combination of general constraints", [](solver& s) { s.m_combine_general = false; }},
        {"opportunistic back-jumps", [](solver& s) { s.m_opportunistic_threshold = 1; }},
        {"no ground intersection, no relaxation",
         [](solver& s) { s.m_intersect_with_ground = false, s.m_literal_relaxation = 0; }},
    };
    return variants;
}

// About a hundred random models, each solved with the defaults and with
// one other setting.
TEST(SearchRandomModels, AnswersAgreeWithEnumeration) {
    struct family {
        const char* name;
        unsigned instances, min_vars, max_vars, min_values, max_values;
        double ratio;
        bool noise;
    };
    const family families[] = {{"3-SAT", 60, 12, 20, 2, 2, 4.3, false},
                               {"set literals", 48, 5, 7, 3, 6, 9.0, true}};
    const auto& variants = setting_variants();
    std::mt19937 rng(20240601);
    for (const family& f : families) {
        unsigned sat = 0, unsat = 0;
        for (unsigned i = 0; i < f.instances; ++i) {
            const unsigned n = f.min_vars + i % (f.max_vars - f.min_vars + 1);
            SCOPED_TRACE(std::string(f.name) + " instance " + std::to_string(i));
            const clause_model m = random_model(rng, n, static_cast<unsigned>(f.ratio * n + 0.5),
                                                f.min_values, f.max_values, f.noise);
            const bool expected = has_solution(m);
            ++(expected ? sat : unsat);
            for (const settings* setting : {&variants[0], &variants[1 + i % (variants.size() - 1)]}) {
                SCOPED_TRACE(setting->name);
                solver s;
                build(s, m);
                setting->apply(s);
                std::ostringstream out;
                const solver::result_type r = s.solve(&out);
                EXPECT_EQ(r, expected ? solver::SAT : solver::UNSAT);
                if (r == solver::SAT) {
                    EXPECT_TRUE(satisfies(m, assignment_of(s)));
                }
                EXPECT_EQ(out.str(), "");
            }
        }
        EXPECT_GT(sat, f.instances / 6) << f.name;
        EXPECT_GT(unsat, f.instances / 6) << f.name;
    }
}

TEST(SearchTrivialModels, AnswerWithoutBacktracking) {
    struct trivial {
        const char* name;
        clause_model model;
        solver::result_type result;
        bool decides;
    };
    const trivial cases[] = {
        {"no variables", {}, solver::SAT, false},
        {"an empty domain", {{15, 0}, {{{0, bit(9)}}}}, solver::UNSAT, false},
        {"contradicting units",
         {{3, bit(3) | bit(4)}, {{{0, bit(1)}}, {{0, bit(0)}, {1, bit(4)}}, {{1, bit(3)}}}},
         solver::UNSAT, false},
        {"no constraints", {{bit(4) | bit(9) | bit(30), bit(2) | bit(3), bit(31)}, {}}, solver::SAT,
         true},
    };
    for (const trivial& t : cases) {
        SCOPED_TRACE(t.name);
        solver s;
        build(s, t.model);
        EXPECT_EQ(s.solve(nullptr), t.result);
        EXPECT_EQ(s.m_decisions > 0, t.decides);
        EXPECT_EQ(s.m_backtracks_solve, 0u);
        if (t.result == solver::SAT) {
            EXPECT_TRUE(satisfies(t.model, assignment_of(s)));
        }
    }
}

// Pigeonhole 6 into 5 needs real search: back-jumps, restarts and, with a
// short erasure period, erased learned constraints; no setting changes
// the answer.
TEST(SearchPigeonhole, RefutedUnderEverySetting) {
    struct encoding {
        const char* name;
        clause_model model;
    };
    const encoding encodings[] = {{"boolean", pigeonhole(6, 5)},
                                  {"by value", pigeonhole_by_value(6, 5)}};
    const settings runs[] = {
        setting_variants()[0],
        setting_variants()[1],
        {"short erasure period", [](solver& s) { s.m_erase_period = 4, s.m_keep_window = 8; }},
        {"no erasure period", [](solver& s) { s.m_erase_period = 0, s.m_keep_window = 0; }},
        setting_variants()[4],
    };
    for (const encoding& e : encodings) {
        for (const settings& setting : runs) {
            SCOPED_TRACE(std::string(e.name) + ", " + setting.name);
            solver s;
            build(s, e.model);
            setting.apply(s);
            const unsigned model_constraints = s.constraint_count();
            EXPECT_EQ(s.solve(nullptr), solver::UNSAT);
            EXPECT_GT(s.m_decisions, 0u);
            EXPECT_GT(s.m_backtracks_solve, 16u);
            EXPECT_EQ(s.m_backtracks_search, s.m_backtracks_solve);
            EXPECT_EQ(s.first_learned(), model_constraints);
            EXPECT_GT(s.constraint_count(), model_constraints); // learned constraints stay
            if (s.m_initial_restart_interval == 0) {
                EXPECT_EQ(s.m_restarts, 0u);
            } else {
                EXPECT_GT(s.m_restarts, 0u);
            }
            unsigned erased = 0;
            for (unsigned c = 0; c < s.constraint_count(); ++c)
                if (s.propagator(c) == nullptr) {
                    EXPECT_GE(c, model_constraints);
                    ++erased;
                }
            if (s.m_erase_period == 4) {
                EXPECT_GT(erased, 0u);
            }
            if (s.m_erase_period == 0 || s.m_backtracks_solve < s.m_keep_window) {
                EXPECT_EQ(erased, 0u);
            }
        }
    }
}

TEST(SearchBacktrackLimit, StopsAtTheFirstBacktrackPastTheLimit) {
    for (unsigned limit : {0u, 1u, 7u}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        solver s;
        build(s, pigeonhole(6, 5));
        s.m_backtrack_limit = limit;
        EXPECT_EQ(s.solve(nullptr), solver::BACKTRACK_LIMIT);
        EXPECT_EQ(s.m_backtracks_solve, limit + 1);
        EXPECT_EQ(s.m_backtracks_search, limit + 1);
        EXPECT_GT(s.m_decisions, 0u);
    }
}

// The solutions an all-solutions run wrote: a line end, then per solution
// the comment prefix with "name=value, " for each printed variable, and a
// "v " line with each value followed by a blank.
std::vector<std::vector<int>> printed_solutions(const std::string& text) {
    std::vector<std::vector<int>> solutions;
    EXPECT_EQ(text.substr(0, 1), "\n");
    std::istringstream in(text.substr(1));
    for (std::string comment, values; std::getline(in, comment);) {
        EXPECT_TRUE(std::getline(in, values));
        std::istringstream v(values.substr(2));
        solutions.emplace_back();
        std::string expected_comment = "c ", expected_values = "v ";
        for (int x; v >> x; solutions.back().push_back(x)) {
            expected_comment += "x" + std::to_string(solutions.back().size()) + "=" +
                                std::to_string(x) + ", ";
            expected_values += std::to_string(x) + " ";
        }
        EXPECT_EQ(comment, expected_comment);
        EXPECT_EQ(values, expected_values);
    }
    return solutions;
}

TEST(SearchAllSolutions, CountMatchesEnumeration) {
    std::mt19937 rng(5);
    std::vector<clause_model> models;
    for (unsigned i = 0; i < 4; ++i) {
        models.push_back(random_model(rng, 9, 20, 2, 2, false));
        models.push_back(random_model(rng, 4, 5, 3, 6, true));
    }
    models.push_back(pigeonhole(4, 4)); // 24 solutions, many conflicts on the way
    models.push_back(pigeonhole(4, 3)); // none
    for (unsigned i = 0; i < models.size(); ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        const clause_model& m = models[i];
        std::set<std::vector<int>> expected;
        enumerate(m, [&](const std::vector<int>& a) { return expected.insert(a).second; });
        solver s;
        build(s, m);
        s.m_all_solutions = true;
        std::ostringstream out;
        const solver::result_type r = s.solve(&out);
        if (expected.empty()) {
            EXPECT_EQ(r, solver::UNSAT);
            EXPECT_EQ(out.str(), "");
            continue;
        }
        EXPECT_EQ(r, solver::SAT_DONE);
        const auto printed = printed_solutions(out.str());
        for (const auto& a : printed)
            EXPECT_TRUE(satisfies(m, a));
        EXPECT_EQ(printed.size(), expected.size()); // so no repeats
        EXPECT_EQ(std::set<std::vector<int>>(printed.begin(), printed.end()), expected);
    }
}

// An auxiliary variable that the visible ones do not determine: with the
// printed-variable count set, each visible solution appears once.
TEST(SearchAllSolutions, BlocksOnlyThePrintedVariables) {
    // x0..x3 in {0,1} are printed; z (index 4) in {0,1,2} is not.
    clause_model m{{3, 3, 3, 3, 7},
                   {{{0, bit(1)}, {4, bit(0) | bit(1)}},
                    {{1, bit(0)}, {4, bit(1) | bit(2)}},
                    {{2, bit(1)}, {3, bit(1)}},
                    {{0, bit(0)}, {2, bit(0)}, {4, bit(2)}}}};
    std::set<std::vector<int>> full, visible;
    enumerate(m, [&](const std::vector<int>& a) {
        full.insert(a);
        visible.insert(std::vector<int>(a.begin(), a.begin() + 4));
        return true;
    });
    ASSERT_LT(visible.size(), full.size());
    for (int shown : {-1, 4}) {
        SCOPED_TRACE("printed variables " + std::to_string(shown));
        solver s;
        build(s, m);
        s.m_all_solutions = true;
        s.m_vars_to_print = shown;
        std::ostringstream out;
        EXPECT_EQ(s.solve(&out), solver::SAT_DONE);
        const auto printed = printed_solutions(out.str());
        const auto& expected = shown < 0 ? full : visible;
        EXPECT_EQ(printed.size(), expected.size());
        EXPECT_EQ(std::set<std::vector<int>>(printed.begin(), printed.end()), expected);
    }
}

// One easy solution (s = 0, every p = 0) beside a pigeonhole problem that
// s = 1 switches on: enumeration ends only after refuting the pigeonhole.
clause_model easy_solution_beside_pigeonhole() {
    clause_model m = pigeonhole(6, 5);
    const unsigned s = static_cast<unsigned>(m.domains.size());
    for (clause& c : m.clauses)
        c.push_back({s, bit(0)});
    for (unsigned p = 0; p < s; ++p)
        m.clauses.push_back({{s, bit(1)}, {p, bit(0)}});
    m.domains.push_back(bit(0) | bit(1));
    return m;
}

TEST(SearchAllSolutions, BacktrackLimitIsReportedNotCompletion) {
    for (unsigned limit : {0u, 1000000000u}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        solver s;
        build(s, easy_solution_beside_pigeonhole());
        s.m_all_solutions = true;
        s.m_backtrack_limit = limit;
        std::ostringstream out;
        EXPECT_EQ(s.solve(&out), limit == 0 ? solver::BACKTRACK_LIMIT : solver::SAT_DONE);
        const auto printed = printed_solutions(out.str());
        ASSERT_EQ(printed.size(), 1u);
        EXPECT_EQ(printed[0], std::vector<int>(31, 0));
    }
}

// Restarts after every backtrack, erasure every 2 backtracks keeping what the
// last 4 used, opportunistic back-jumps: learning may get weak, but the
// search must still end, on every seed.
TEST(SearchAggressiveErasure, StillRefutesSmallUnsatisfiableModels) {
    struct encoding {
        const char* name;
        clause_model model;
    };
    const encoding encodings[] = {{"boolean pigeonhole", pigeonhole(6, 5)},
                                  {"six different over five values", pigeonhole_by_value(6, 5)}};
    for (const encoding& e : encodings) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            SCOPED_TRACE(std::string(e.name) + ", seed " + std::to_string(seed));
            qarn::random::set_seed(seed);
            solver s;
            build(s, e.model);
            s.m_initial_restart_interval = 1;
            s.m_erase_period = 2;
            s.m_keep_window = 4;
            s.m_opportunistic_threshold = 1;
            s.m_backtrack_limit = 5000; // they need 170 to 900 today
            EXPECT_EQ(s.solve(nullptr), solver::UNSAT);
        }
    }
}

// Six variables over five values, every two never equal, as 75 two-literal
// clauses in a fixed order; "in" a literal holds its values, "not in" every
// other value. With restarts after every backtrack, erasure every 2 keeping 4
// and opportunistic back-jumps from 1, seed 1742392 once cycled for ever:
// each conflict jumped to level 0, where its binary clause asserts nothing,
// the branches that followed never made it assert, and erasure removed it
// just before the search came back to the same conflict. The values are
// -3, -2, -1, 5 and 10. The one-word set has no negative values; it takes
// 0, 1, 3, 9 and 14 instead, which keep every decision of the run (a plain
// shift would not: a decision compares a saved value with thirds of the
// domain, computed by division that truncates towards zero).
struct pair_literal {
    unsigned var;
    bool in;
    std::vector<int> values;
};
const std::vector<std::vector<pair_literal>>& five_value_pigeonhole() {
    constexpr bool NOT_IN = false, IN = true;
    static const std::vector<std::vector<pair_literal>> clauses = {
        {{0, IN, {-3, -2, -1, 5}}, {1, NOT_IN, {10}}},
        {{1, IN, {-2, -1, 5, 10}}, {4, IN, {-2, -1, 5, 10}}},
        {{2, NOT_IN, {-1}}, {3, IN, {-3, -2, 5, 10}}},
        {{0, IN, {-3, -2, 5, 10}}, {2, NOT_IN, {-1}}},
        {{0, IN, {-3, -2, -1, 5}}, {4, IN, {-3, -2, -1, 5}}},
        {{1, IN, {-3, -2, 5, 10}}, {5, NOT_IN, {-1}}},
        {{0, IN, {-3, -2, 5, 10}}, {4, IN, {-3, -2, 5, 10}}},
        {{0, NOT_IN, {-1}}, {5, IN, {-3, -2, 5, 10}}},
        {{1, IN, {-3, -2, -1, 5}}, {5, NOT_IN, {10}}},
        {{1, IN, {-3, -2, -1, 10}}, {4, NOT_IN, {5}}},
        {{1, IN, {-3, -2, -1, 5}}, {4, NOT_IN, {10}}},
        {{2, NOT_IN, {-2}}, {5, NOT_IN, {-2}}},
        {{0, NOT_IN, {-3}}, {3, NOT_IN, {-3}}},
        {{2, IN, {-3, -2, -1, 10}}, {5, NOT_IN, {5}}},
        {{4, IN, {-3, -2, -1, 5}}, {5, IN, {-3, -2, -1, 5}}},
        {{2, NOT_IN, {10}}, {4, IN, {-3, -2, -1, 5}}},
        {{2, NOT_IN, {-1}}, {5, IN, {-3, -2, 5, 10}}},
        {{1, NOT_IN, {10}}, {2, NOT_IN, {10}}},
        {{1, IN, {-3, -1, 5, 10}}, {4, IN, {-3, -1, 5, 10}}},
        {{2, IN, {-2, -1, 5, 10}}, {5, NOT_IN, {-3}}},
        {{2, IN, {-3, -2, -1, 10}}, {3, NOT_IN, {5}}},
        {{0, IN, {-2, -1, 5, 10}}, {1, IN, {-2, -1, 5, 10}}},
        {{1, NOT_IN, {-3}}, {5, IN, {-2, -1, 5, 10}}},
        {{0, IN, {-3, -2, -1, 10}}, {3, NOT_IN, {5}}},
        {{0, IN, {-3, -2, -1, 10}}, {4, IN, {-3, -2, -1, 10}}},
        {{0, NOT_IN, {5}}, {1, NOT_IN, {5}}},
        {{1, IN, {-2, -1, 5, 10}}, {2, NOT_IN, {-3}}},
        {{0, IN, {-3, -2, -1, 10}}, {5, IN, {-3, -2, -1, 10}}},
        {{0, NOT_IN, {10}}, {2, IN, {-3, -2, -1, 5}}},
        {{1, NOT_IN, {5}}, {3, NOT_IN, {5}}},
        {{0, NOT_IN, {-3}}, {2, IN, {-2, -1, 5, 10}}},
        {{0, NOT_IN, {-2}}, {5, IN, {-3, -1, 5, 10}}},
        {{1, NOT_IN, {-3}}, {3, NOT_IN, {-3}}},
        {{3, IN, {-3, -2, 5, 10}}, {4, IN, {-3, -2, 5, 10}}},
        {{0, NOT_IN, {-2}}, {2, IN, {-3, -1, 5, 10}}},
        {{3, NOT_IN, {-2}}, {4, IN, {-3, -1, 5, 10}}},
        {{1, NOT_IN, {5}}, {2, NOT_IN, {5}}},
        {{3, NOT_IN, {5}}, {4, IN, {-3, -2, -1, 10}}},
        {{2, NOT_IN, {-3}}, {3, IN, {-2, -1, 5, 10}}},
        {{1, IN, {-3, -1, 5, 10}}, {5, NOT_IN, {-2}}},
        {{4, NOT_IN, {5}}, {5, NOT_IN, {5}}},
        {{0, IN, {-3, -1, 5, 10}}, {4, NOT_IN, {-2}}},
        {{0, NOT_IN, {-1}}, {1, IN, {-3, -2, 5, 10}}},
        {{1, IN, {-3, -2, 5, 10}}, {2, NOT_IN, {-1}}},
        {{1, NOT_IN, {-1}}, {3, NOT_IN, {-1}}},
        {{2, IN, {-3, -1, 5, 10}}, {4, IN, {-3, -1, 5, 10}}},
        {{1, NOT_IN, {-2}}, {2, NOT_IN, {-2}}},
        {{1, NOT_IN, {5}}, {5, IN, {-3, -2, -1, 10}}},
        {{2, NOT_IN, {5}}, {4, IN, {-3, -2, -1, 10}}},
        {{3, IN, {-3, -2, 5, 10}}, {5, IN, {-3, -2, 5, 10}}},
        {{0, NOT_IN, {5}}, {2, IN, {-3, -2, -1, 10}}},
        {{0, IN, {-3, -1, 5, 10}}, {3, NOT_IN, {-2}}},
        {{2, NOT_IN, {-3}}, {4, IN, {-2, -1, 5, 10}}},
        {{2, IN, {-3, -1, 5, 10}}, {3, IN, {-3, -1, 5, 10}}},
        {{1, IN, {-3, -2, -1, 5}}, {3, NOT_IN, {10}}},
        {{3, IN, {-2, -1, 5, 10}}, {4, IN, {-2, -1, 5, 10}}},
        {{4, IN, {-3, -1, 5, 10}}, {5, NOT_IN, {-2}}},
        {{1, NOT_IN, {-2}}, {3, IN, {-3, -1, 5, 10}}},
        {{3, IN, {-3, -2, -1, 5}}, {5, NOT_IN, {10}}},
        {{0, NOT_IN, {-1}}, {3, IN, {-3, -2, 5, 10}}},
        {{1, IN, {-3, -2, 5, 10}}, {4, IN, {-3, -2, 5, 10}}},
        {{0, NOT_IN, {-3}}, {5, NOT_IN, {-3}}},
        {{4, IN, {-3, -2, 5, 10}}, {5, IN, {-3, -2, 5, 10}}},
        {{3, NOT_IN, {-3}}, {5, IN, {-2, -1, 5, 10}}},
        {{4, IN, {-2, -1, 5, 10}}, {5, NOT_IN, {-3}}},
        {{3, NOT_IN, {10}}, {4, IN, {-3, -2, -1, 5}}},
        {{2, IN, {-3, -2, -1, 5}}, {5, NOT_IN, {10}}},
        {{0, IN, {-2, -1, 5, 10}}, {4, NOT_IN, {-3}}},
        {{2, IN, {-3, -2, 5, 10}}, {4, NOT_IN, {-1}}},
        {{0, IN, {-3, -2, -1, 5}}, {5, NOT_IN, {10}}},
        {{2, NOT_IN, {10}}, {3, IN, {-3, -2, -1, 5}}},
        {{0, IN, {-3, -1, 5, 10}}, {1, NOT_IN, {-2}}},
        {{0, NOT_IN, {10}}, {3, NOT_IN, {10}}},
        {{3, NOT_IN, {5}}, {5, IN, {-3, -2, -1, 10}}},
        {{3, NOT_IN, {-2}}, {5, NOT_IN, {-2}}},
    };
    return clauses;
}

void build_five_value_pigeonhole(solver& s) {
    const bool small = iset::MIN_DOMAIN == 0;
    auto set_of_values = [small](const std::vector<int>& values) {
        iset set;
        for (int v : values) {
            const int w = !small ? v : v == -3 ? 0 : v == -2 ? 1 : v == -1 ? 3 : v == 5 ? 9 : 14;
            set.insert(iset::range_type(w, w));
        }
        return set;
    };
    for (unsigned v = 0; v < 6; ++v)
        s.add_var(set_of_values({-3, -2, -1, 5, 10}), ("x" + std::to_string(v)).c_str(), false);
    for (const std::vector<pair_literal>& c : five_value_pigeonhole()) {
        std::vector<unsigned> vars;
        std::vector<iset> sets;
        for (const pair_literal& l : c) {
            vars.push_back(l.var);
            sets.push_back(set_of_values(l.values));
            if (!l.in) {
                iset others(iset::MIN_DOMAIN, iset::MAX_DOMAIN);
                others.erase_all_of(sets.back());
                sets.back() = std::move(others);
            }
        }
        qarn_test::post_clause(s, vars, sets);
    }
}

TEST(SearchAggressiveErasure, RefutesTheFiveValuePigeonholeOnEverySeed) {
    std::vector<unsigned> seeds = {1742392};
    for (unsigned seed = 1; seed <= 100; ++seed)
        seeds.push_back(seed);
    for (unsigned seed : seeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        solver s;
        build_five_value_pigeonhole(s);
        const unsigned model_constraints = s.constraint_count();
        s.m_initial_restart_interval = 1;
        s.m_erase_period = 2;
        s.m_keep_window = 4;
        s.m_opportunistic_threshold = 1;
        s.m_backtrack_limit = 5000; // 166 to 182 are needed
        qarn::random::set_seed(seed);
        ASSERT_EQ(s.solve(nullptr), solver::UNSAT);
        // Constraints that have been used are still erased.
        unsigned erased = 0;
        for (unsigned c = model_constraints; c < s.constraint_count(); ++c)
            erased += s.propagator(c) == nullptr;
        EXPECT_GT(erased, s.m_backtracks_solve / 2);
    }
}

}  // namespace search_test
