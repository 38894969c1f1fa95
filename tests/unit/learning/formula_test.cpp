// Boolean formulas: the simplification table, printing, evaluation and
// reification against brute force on random formulas over tiny domains, the
// node pools, and interpolants of random unsatisfiable clause models split
// into two labelled halves (checked by enumeration).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/learning/formula.h"
#include "impl/learning/proof_collector.h"
#include "impl/learning/proof_interpolant.h"
#include "tests/unit/test_helpers.h"

namespace formula_test {

using namespace qarn;
using qarn_test::error_of;
using qarn_test::post_clause;
using qarn_test::values;

// Variables x0 .. x{n-1} over 0 .. 3.
void add_vars(solver& s, unsigned n) {
    for (unsigned v = 0; v < n; ++v)
        s.add_var(iset(0, 3), ("x" + std::to_string(v)).c_str(), false);
}

std::string text(const formula& f, const solver& s) {
    std::ostringstream os;
    f.print(os, s.assignment().print_strategy());
    return os.str();
}

// Whether f holds when every variable takes its value in a.
bool holds(const formula& f, solver& s, const std::vector<int>& a) {
    for (unsigned v = 0; v < a.size(); ++v)
        s.set_var_domain(v, iset(a[v]), -1);
    return f.evaluate(s);
}

// Every assignment of n variables over 0 .. 3.
void for_each_assignment(unsigned n, const std::function<void(const std::vector<int>&)>& f) {
    std::vector<int> a(n, 0);
    for (;;) {
        f(a);
        unsigned i = 0;
        while (i < n && ++a[i] > 3)
            a[i++] = 0;
        if (i == n)
            return;
    }
}

// A random formula with its reference predicate.
struct random_formula {
    formula f;
    std::function<bool(const std::vector<int>&)> check;
};

random_formula make_random(std::mt19937& rng, unsigned vars, unsigned depth) {
    const unsigned kind = depth == 0 ? 0 : rng() % 5;
    if (kind == 0) {
        if (rng() % 8 == 0) {
            const bool value = rng() % 2;
            return {formula(value), [value](const std::vector<int>&) { return value; }};
        }
        clause_data clause;
        std::vector<std::pair<unsigned, unsigned>> bits;
        for (unsigned k = 1 + rng() % 2; k > 0; --k) {
            const unsigned v = rng() % vars, mask = rng() % 16;
            iset set;
            for (int x = 0; x < 4; ++x)
                if (mask >> x & 1u)
                    set.insert(iset::range_type(x, x));
            clause.emplace_back(v, set);
            bits.push_back({v, mask});
        }
        return {formula(clause), [bits](const std::vector<int>& a) {
                    for (auto [v, mask] : bits)
                        if (mask >> a[v] & 1u)
                            return true;
                    return false;
                }};
    }
    random_formula l = make_random(rng, vars, depth - 1);
    if (kind == 1)
        return {!l.f, [c = l.check](const std::vector<int>& a) { return !c(a); }};
    random_formula r = make_random(rng, vars, depth - 1);
    if (kind % 2 == 0)
        return {l.f && r.f, [a1 = l.check, b1 = r.check](const std::vector<int>& a) {
                    return a1(a) && b1(a);
                }};
    return {l.f || r.f,
            [a1 = l.check, b1 = r.check](const std::vector<int>& a) { return a1(a) || b1(a); }};
}

// The variables of a formula's clauses.
void collect_variables(const formula_impl* node, std::set<unsigned>& out) {
    if (auto c = dynamic_cast<const clause_formula_impl*>(node)) {
        for (const literal_data& l : c->clause())
            out.insert(l.variable);
    } else if (auto n = dynamic_cast<const not_formula_impl*>(node)) {
        collect_variables(n->operand().node(), out);
    } else if (auto b = dynamic_cast<const binary_operator_formula_impl*>(node)) {
        collect_variables(b->left().node(), out);
        collect_variables(b->right().node(), out);
    }
}

TEST(Formula, Simplification) {
    solver s;
    add_vars(s, 2);
    const formula x1(0, iset(1)), x12(0, iset(1, 2)), x2(0, iset(2)), y1(1, iset(1));
    const formula t(true), f(false);
    const formula below(0, iset(MIN_DOMAIN, MIN_DOMAIN < 0 ? -1 : 1));
    const formula above(0, iset(MIN_DOMAIN < 0 ? 0 : 2, MAX_DOMAIN));
    const formula inner = x2 || formula(1, iset(3));
    const struct {
        const char* name;
        formula result;
        const formula_impl* same_node; // null: compare the printed form
        std::string printed;
    } cases[] = {
        {"true and x", t && x1, x1.node(), ""},
        {"x and true", x1 && t, x1.node(), ""},
        {"false and x", f && x1, f.node(), ""},
        {"true or x", t || x1, t.node(), ""},
        {"x or false", x1 || f, x1.node(), ""},
        {"not true", !t, f.node(), ""},
        {"double negation", !!(x1 && y1), nullptr, "[x0=1]&&[x1=1]"},
        {"x1 and x12 keeps x1", x1 && x12, x1.node(), ""},
        {"x12 and x1 keeps x1", x12 && x1, x1.node(), ""},
        {"disjoint sets give false", x1 && x2, f.node(), ""},
        {"overlapping sets meet", x12 && formula(0, iset(2, 3)), nullptr, "[x0=2]"},
        {"two variables in order", x1 && y1, nullptr, "[x0=1]&&[x1=1]"},
        {"clauses merge in one", x1 || formula(1, iset(2)), nullptr, "[x0=1, x1=2]"},
        {"covering sets give true", below || above, t.node(), ""},
        {"the longer clause drives", x1 || inner, nullptr, "[x0:{1,2}, x1=3]"},
        {"x or x", x1 || x1, x1.node(), ""},
        {"subsumed clause", x1 || x12, x12.node(), ""},
        {"empty set", formula(0, iset()), f.node(), ""},
        {"every value", formula(0, iset(MIN_DOMAIN, MAX_DOMAIN)), t.node(), ""},
        {"empty clause", formula(clause_data()), f.node(), ""},
        {"or inside and", ((x1 && y1) || x2) && y1, nullptr, "([x0=1]&&[x1=1]||[x0=2])&&[x1=1]"},
        {"and inside or", !(x1 && y1) || (x2 && y1), nullptr,
         "[x0=2]&&[x1=1]||not([x0=1]&&[x1=1])"},
    };
    for (const auto& c : cases) {
        if (c.same_node)
            EXPECT_EQ(c.result.node(), c.same_node) << c.name << ": " << text(c.result, s);
        else
            EXPECT_EQ(text(c.result, s), c.printed) << c.name;
    }
    // A negation and its operand.
    const formula g = x1 && y1, ng = !g;
    EXPECT_EQ((ng || g).node(), t.node());
    EXPECT_EQ((ng && g).node(), f.node());
    EXPECT_EQ((!ng).node(), g.node());
    EXPECT_EQ(text(formula(), s), "NULL");
}

TEST(Formula, EvaluationAndReificationAgreeWithBruteForce) {
    std::mt19937 rng(11);
    const unsigned vars = 3;
    for (unsigned instance = 0; instance < 60; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        const random_formula r = make_random(rng, vars, 1 + instance % 4);
        solver evaluator;
        add_vars(evaluator, vars);
        for_each_assignment(vars, [&](const std::vector<int>& a) {
            EXPECT_EQ(holds(r.f, evaluator, a), r.check(a)) << text(r.f, evaluator);
        });
        // Reified: in every solution the 0/1 variable equals the formula.
        for_each_assignment(vars, [&](const std::vector<int>& a) {
            solver s;
            for (unsigned v = 0; v < vars; ++v)
                s.add_var(iset(a[v]), ("x" + std::to_string(v)).c_str(), false);
            const unsigned b = r.f.reify(s);
            std::ostringstream out;
            ASSERT_EQ(s.solve(&out), solver::SAT);
            EXPECT_EQ(s.domain(b).min(), r.check(a) ? 1 : 0) << text(r.f, s);
        });
        // Posted: the model is satisfiable exactly where the formula holds.
        for_each_assignment(vars, [&](const std::vector<int>& a) {
            solver s;
            for (unsigned v = 0; v < vars; ++v)
                s.add_var(iset(a[v]), ("x" + std::to_string(v)).c_str(), false);
            r.f.constrain_solver(s);
            std::ostringstream out;
            EXPECT_EQ(s.solve(&out), r.check(a) ? solver::SAT : solver::UNSAT) << text(r.f, s);
        });
    }
}

TEST(Formula, ErrorsAndPools) {
    solver s;
    add_vars(s, 1);
    const clause_formula_impl empty{clause_data()};
    EXPECT_EQ(error_of([&] { empty.make_not(); }),
              "clause_formula_impl::make_not empty clauses should be handled upstream");
    EXPECT_EQ(error_of([&] { empty.constrain_solver(s); }),
              "clause_formula_impl::constrain_solver emptyclauses should be handled upstream");
    EXPECT_THROW(formula_impl::is_true_var(s, 5), std::out_of_range);
    EXPECT_THROW(clause_formula_impl::operator new(sizeof(clause_formula_impl) + 1),
                 std::bad_alloc);
    EXPECT_THROW(binary_operator_formula_impl::operator new(1), std::bad_alloc);
    EXPECT_THROW(not_formula_impl::operator new(0), std::bad_alloc);
    // Nodes go back to their pools when the last link goes.
    const formula x(0, iset(1));
    EXPECT_EQ(x.node()->count(), 1u);
    {
        const formula both = x && formula(0, iset(1, 2));
        EXPECT_EQ(x.node()->count(), 2u);
    }
    EXPECT_EQ(x.node()->count(), 1u);
}

TEST(Interpolant, RandomSplitModels) {
    std::mt19937 rng(5);
    const unsigned vars = 4;
    unsigned checked = 0, with_variables = 0;
    while (checked < 25) {
        // Random clauses of two or three literals over 0..3, half labelled A.
        struct model_clause {
            std::vector<unsigned> vars;
            std::vector<unsigned> masks;
            bool in_a;
        };
        std::vector<model_clause> clauses;
        for (unsigned k = 0; k < 14; ++k) {
            model_clause c;
            c.in_a = k % 2 == 0;
            for (unsigned l = 2 + rng() % 2; l > 0; --l) {
                c.vars.push_back(c.in_a ? rng() % 3 : 1 + rng() % 3);
                c.masks.push_back(1 + rng() % 14);
            }
            clauses.push_back(c);
        }
        auto satisfied = [&](const std::vector<int>& a, int half) {
            for (const model_clause& c : clauses) {
                if (half >= 0 && c.in_a != (half == 0))
                    continue;
                bool ok = false;
                for (std::size_t i = 0; i < c.vars.size(); ++i)
                    ok = ok || (c.masks[i] >> a[c.vars[i]] & 1u);
                if (!ok)
                    return false;
            }
            return true;
        };
        bool feasible = false;
        for_each_assignment(vars, [&](const std::vector<int>& a) {
            feasible = feasible || satisfied(a, -1);
        });
        if (feasible)
            continue;
        solver s;
        add_vars(s, vars);
        for (const model_clause& c : clauses) {
            std::vector<iset> sets;
            for (unsigned m : c.masks) {
                iset set;
                for (int x = 0; x < 4; ++x)
                    if (m >> x & 1u)
                        set.insert(iset::range_type(x, x));
                sets.push_back(set);
            }
            post_clause(s, c.vars, sets);
            s.constraint_labels(s.constraint_count() - 1, c.in_a ? 1 : 2);
        }
        s.m_intersect_with_ground = false;
        s.produce_proof(true);
        std::ostringstream out;
        ASSERT_EQ(s.solve(&out), solver::UNSAT);
        ASSERT_TRUE(s.is_correctly_unsat());
        const formula interpolant = s.get_interpolant();
        ASSERT_FALSE(interpolant.is_null());
        // Only x1 and x2 occur in both halves.
        std::set<unsigned> used;
        collect_variables(interpolant.node(), used);
        with_variables += !used.empty();
        for (unsigned v : used)
            EXPECT_TRUE(v == 1 || v == 2) << "x" << v << " in " << text(interpolant, s);
        solver evaluator;
        add_vars(evaluator, vars);
        for_each_assignment(vars, [&](const std::vector<int>& a) {
            const bool value = holds(interpolant, evaluator, a);
            if (satisfied(a, 0)) {
                EXPECT_TRUE(value) << "A does not imply " << text(interpolant, s);
            }
            if (satisfied(a, 1)) {
                EXPECT_FALSE(value) << "B meets " << text(interpolant, s);
            }
        });
        ++checked;
    }
    EXPECT_GT(with_variables, 10u);
}

TEST(Interpolant, NeedsProofs) {
    solver s;
    EXPECT_EQ(error_of([&] { s.get_interpolant(); }),
              "solver::print_interpolant() works only when proof mechanism is activated");
}

}  // namespace formula_test
