// Operator definitions: constant evaluation against 64-bit arithmetic,
// simplification and recording (symbolic_eval), argument evaluation types,
// and the relation the posted propagators enforce, checked by solving every
// assignment of small domains against the definition's own value.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/model/operator_definitions.h"
#include "impl/model/operator_registry.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "tests/unit/test_helpers.h"

namespace operator_definitions_test {

using namespace qarn;
using qarn_test::error_of;
using qarn_test::same;

constexpr bool BIG = MIN_DOMAIN < 0; // the small model holds 0..31 only

const operator_definition& def(unsigned node_type) {
    return *operator_definition_registry::find(node_type);
}
const operator_definition& diff_ge() {
    return *operator_definition_registry::find_predicate("difference_ge");
}
const operator_definition& SUM = def(7);
const operator_definition& SUB = def(8);
const operator_definition& MUL = def(9);
const operator_definition& DIV = def(10);
const operator_definition& MOD = def(11);
const operator_definition& ABS = def(6);
const operator_definition& NOT = def(22);
const operator_definition& GE = def(18);
const operator_definition& GT = def(19);
const operator_definition& LE = def(20);
const operator_definition& LT = def(21);

typedef std::function<std::optional<std::int64_t>(std::int64_t, std::int64_t, std::int64_t)>
    reference;

std::optional<int> fits(std::optional<std::int64_t> v) {
    if (!v || *v < INT_MIN || *v > INT_MAX)
        return std::nullopt;
    return static_cast<int>(*v);
}

TEST(OperatorDefinitions, ConstantEvaluationMatches64BitArithmetic) {
    const struct {
        const operator_definition* definition;
        unsigned arity;
        reference value;
    } operators[] = {
        {&SUM, 2, [](auto a, auto b, auto) { return a + b; }},
        {&SUB, 2, [](auto a, auto b, auto) { return a - b; }},
        {&MUL, 2, [](auto a, auto b, auto) { return a * b; }},
        {&DIV, 2, [](auto a, auto b, auto) { return b == 0 ? 0 : a / b; }},
        {&MOD, 2, [](auto a, auto b, auto) { return b == 0 ? 0 : a % b; }},
        {&ABS, 1, [](auto a, auto, auto) { return a < 0 ? -a : a; }},
        {&NOT, 1, [](auto a, auto, auto) { return a == 0; }},
        {&LT, 2, [](auto a, auto b, auto) { return a < b; }},
        {&LE, 2, [](auto a, auto b, auto) { return a <= b; }},
        {&GT, 2, [](auto a, auto b, auto) { return a > b; }},
        {&GE, 2, [](auto a, auto b, auto) { return a >= b; }},
        {&diff_ge(), 3, [](auto a, auto b, auto k) { return a - b >= k; }},
    };
    std::vector<int> operands = {INT_MIN, INT_MIN + 1, -65536, -46341, -2, -1, 0,
                                 1,       2,           46340,  46341,  65536, INT_MAX - 1,
                                 INT_MAX};
    std::mt19937 random(21);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX), small(-100, 100);
    for (int i = 0; i < 40; ++i)
        operands.push_back(i % 2 ? any(random) : small(random));
    for (const auto& op : operators)
        for (int a : operands)
            for (int b : operands)
                for (int k : {0, 1, -1, INT_MIN, INT_MAX, b}) {
                    const int args[] = {a, b, k};
                    EXPECT_EQ(op.definition->eval(args, args + op.arity),
                              fits(op.value(a, b, k)))
                        << op.definition->name() << "(" << a << ", " << b << ", " << k << ")";
                    if (op.arity < 3)
                        break;
                }
}

// A fresh solver with variables of the given domains, in order.
struct model {
    solver s;
    operator_connectivity c{s};
    std::vector<unsigned> vars;
    explicit model(const std::vector<iset>& domains) {
        for (unsigned i = 0; i < domains.size(); ++i)
            vars.push_back(s.add_var(domains[i], ("v" + std::to_string(i)).c_str(), false));
    }
    unsigned eval(const operator_definition& d, eval_type t, std::vector<unsigned> args,
                  unsigned result = NO_VARIABLE) {
        return d.symbolic_eval(c, t, args.data(), args.data() + args.size(), result);
    }
    bool is_value(unsigned var, int v) const {
        return same(s.domain(var), iset(v));
    }
    std::string name(unsigned var) const { return s.assignment().var_name(var); }
};

TEST(OperatorDefinitions, SumAndSubSimplifyAndShare) {
    model m({iset(0, 9), iset(0, 9), iset(0, 9)});
    const unsigned x = m.vars[0], y = m.vars[1];
    const unsigned zero = m.s.singleton_var(0);
    EXPECT_EQ(m.eval(SUM, EVAL_EXACT, {x, zero}), x);
    EXPECT_EQ(m.eval(SUM, EVAL_EXACT, {zero, y}), y);
    EXPECT_EQ(m.eval(SUB, EVAL_EXACT, {x, zero}), x);
    EXPECT_TRUE(m.is_value(m.eval(SUB, EVAL_EXACT, {y, y}), 0));
    EXPECT_TRUE(m.c.entries().empty());

    const unsigned r = m.eval(SUM, EVAL_AT_MOST, {y, x});
    EXPECT_EQ(m.name(r), "sum0");
    EXPECT_EQ(m.eval(SUB, EVAL_AT_MOST, {r, x}), y);
    EXPECT_EQ(m.eval(SUB, EVAL_AT_MOST, {r, y}), x);
    EXPECT_EQ(m.eval(SUM, EVAL_AT_LEAST, {x, y}), r);
    EXPECT_EQ(m.c.entries().size(), 3u);
    for (const auto& [key, data] : m.c.entries())
        if (key.definition == &SUM) {
            EXPECT_EQ(key.args, (std::vector<unsigned>{x, y}));
            EXPECT_EQ(data.type, EVAL_BOTH);
        }

    // x + x is recorded as x * 2.
    const unsigned twice = m.eval(SUM, EVAL_EXACT, {x, x});
    const unsigned two = m.s.singleton_var(2);
    bool found = false;
    for (const auto& [key, data] : m.c.entries())
        if (key.definition == &MUL) {
            found = true;
            EXPECT_EQ(data.result, twice);
            EXPECT_EQ(key.args, (std::vector<unsigned>{std::min(x, two), std::max(x, two)}));
        }
    EXPECT_TRUE(found);

    if (!BIG) { // the one-word set cannot hold x - y below 0
        EXPECT_THROW(m.eval(SUB, EVAL_EXACT, {x, y}), std::out_of_range);
    }
}

TEST(OperatorDefinitions, SubKeepsItsOrder) {
    if (!BIG)
        GTEST_SKIP() << "the one-word set cannot hold x - y below 0";
    model m({iset(0, 9), iset(0, 9)});
    const unsigned x = m.vars[0], y = m.vars[1];
    // sub keeps its order: y - x is another application than x - y.
    const unsigned d1 = m.eval(SUB, EVAL_EXACT, {x, y});
    const unsigned d2 = m.eval(SUB, EVAL_EXACT, {y, x});
    EXPECT_NE(d1, d2);
    EXPECT_EQ(m.eval(SUB, EVAL_EXACT, {x, d1}), y);
    EXPECT_EQ(m.eval(SUM, EVAL_EXACT, {y, d1}), x);
}

TEST(OperatorDefinitions, ConstantFolding) {
    model m({iset(0, 9)});
    EXPECT_TRUE(m.is_value(m.eval(SUM, EVAL_EXACT, {m.s.singleton_var(3), m.s.singleton_var(4)}), 7));
    EXPECT_FALSE(m.s.domain(0).empty());
}

TEST(OperatorDefinitions, ConstantFoldingBeyondTheIntegers) {
    if (!BIG)
        GTEST_SKIP() << "the one-word set holds no constant beyond 0..31";
    // INT_MAX + 1 has no 32-bit value: the model is contradictory, not wrapped
    // or clamped.
    model m({iset(0, 9)});
    m.eval(SUM, EVAL_EXACT, {m.s.singleton_var(INT_MAX), m.s.singleton_var(1)});
    EXPECT_TRUE(m.s.domain(0).empty());
    model n({iset(0, 9)});
    n.eval(SUM, EVAL_AT_MOST, {n.s.singleton_var(INT_MIN), n.s.singleton_var(-1)});
    EXPECT_TRUE(n.s.domain(0).empty());
    EXPECT_EQ(n.s.solve(nullptr), solver::UNSAT);
}

TEST(OperatorDefinitions, MulDivModAbs) {
    model m({iset(3, 5), iset(0, 5)}); // products within 0..31
    const unsigned x = m.vars[0], y = m.vars[1];
    const unsigned zero = m.s.singleton_var(0), one = m.s.singleton_var(1);
    EXPECT_EQ(m.eval(MUL, EVAL_EXACT, {zero, x}), zero);
    EXPECT_EQ(m.eval(MUL, EVAL_EXACT, {x, zero}), zero);
    EXPECT_EQ(m.eval(MUL, EVAL_EXACT, {one, x}), x);
    EXPECT_EQ(m.eval(MUL, EVAL_EXACT, {x, one}), x);
    EXPECT_EQ(m.eval(ABS, EVAL_EXACT, {x}), x);
    EXPECT_TRUE(m.c.entries().empty());

    const unsigned q = m.eval(DIV, EVAL_AT_MOST, {x, y});
    m.eval(MOD, EVAL_AT_LEAST, {x, y});
    const unsigned p = m.eval(MUL, EVAL_AT_MOST, {y, x});
    EXPECT_EQ(m.eval(MUL, EVAL_AT_LEAST, {x, y}), p);
    for (const auto& [key, data] : m.c.entries()) {
        if (key.definition == &DIV || key.definition == &MOD) {
            EXPECT_EQ(data.type, EVAL_EXACT) << key.definition->name();
        }
        if (key.definition == &DIV) {
            EXPECT_EQ(data.result, q);
        }
    }
    m.c.create_all_constraints();
    EXPECT_EQ(m.s.constraint_count(), 4u); // div, mod and the two sides of mul
}

TEST(OperatorDefinitions, AbsOfAVariableWithNegativeValues) {
    if (!BIG)
        GTEST_SKIP() << "the one-word set holds no negative value";
    model n({iset(-3, 9)});
    const unsigned a = n.eval(ABS, EVAL_EXACT, {n.vars[0]});
    EXPECT_NE(a, n.vars[0]);
    EXPECT_TRUE(same(n.s.domain(a), iset(0, INT_MAX)));
    EXPECT_EQ(n.name(a), "abs0");
}

TEST(OperatorDefinitions, Comparisons) {
    model m({iset(0, 3), iset(5, 9), iset(5, 9), iset(0, 5)});
    const unsigned x = m.vars[0], y = m.vars[1], u = m.vars[2], w = m.vars[3];
    EXPECT_TRUE(m.is_value(m.eval(LT, EVAL_EXACT, {x, y}), 1));
    EXPECT_TRUE(m.is_value(m.eval(LT, EVAL_EXACT, {u, w}), 0));
    EXPECT_TRUE(m.is_value(m.eval(GT, EVAL_EXACT, {y, x}), 1));
    EXPECT_TRUE(m.is_value(m.eval(LE, EVAL_EXACT, {w, w}), 1));
    EXPECT_TRUE(m.is_value(m.eval(GE, EVAL_EXACT, {x, y}), 0));
    EXPECT_TRUE(m.c.entries().empty());

    // w < u, u > w and u - w >= 1 are one application.
    const unsigned r = m.eval(LT, EVAL_AT_MOST, {w, u});
    EXPECT_TRUE(same(m.s.domain(r), iset(0, 1)));
    EXPECT_EQ(m.name(r), "diff_ge0");
    EXPECT_EQ(m.eval(GT, EVAL_AT_LEAST, {u, w}), r);
    EXPECT_EQ(m.eval(diff_ge(), EVAL_AT_LEAST, {u, w, m.s.singleton_var(1)}), r);
    ASSERT_EQ(m.c.entries().size(), 1u);
    EXPECT_EQ(m.c.entries().begin()->second.type, EVAL_BOTH);
    // w >= u is u - w < 0... that is the difference w - u >= 0.
    const unsigned g = m.eval(LE, EVAL_EXACT, {u, w});
    EXPECT_EQ(m.eval(GE, EVAL_EXACT, {w, u}), g);
    EXPECT_NE(g, r);
}

TEST(OperatorDefinitions, Not) {
    model m({iset(1, 5), iset(0, 0), iset(0, 1), iset(0, 5)});
    EXPECT_TRUE(m.is_value(m.eval(NOT, EVAL_EXACT, {m.vars[0]}), 0));
    EXPECT_TRUE(m.is_value(m.eval(NOT, EVAL_EXACT, {m.vars[1]}), 1));
    const unsigned nb = m.eval(NOT, EVAL_AT_MOST, {m.vars[2]});
    EXPECT_TRUE(same(m.s.domain(nb), iset(0, 1)));
    EXPECT_EQ(m.eval(NOT, EVAL_EXACT, {nb}), m.vars[2]); // not(not(b)) is b
    // An argument beyond {0, 1}: the result is Boolean, and its negation is
    // not the argument.
    const unsigned ni = m.eval(NOT, EVAL_EXACT, {m.vars[3]});
    EXPECT_TRUE(same(m.s.domain(ni), iset(0, 1)));
    EXPECT_EQ(m.name(ni), "not2");
    EXPECT_NE(m.eval(NOT, EVAL_EXACT, {ni}), m.vars[3]);

    EXPECT_EQ(NOT.reverse_eval(iset(1), 0), std::optional<int>(0));
    EXPECT_EQ(NOT.reverse_eval(iset(0), 0), std::nullopt);
    EXPECT_EQ(NOT.reverse_eval(iset(0, 1), 0), std::nullopt);
    EXPECT_EQ(SUM.reverse_eval(iset(1), 0), std::nullopt);
}

TEST(OperatorDefinitions, ArgumentEvaluationTypes) {
    model m({iset(0, 9), iset(0, 9), iset(0, 1), iset(1), iset(0), iset(0, 5)});
    const unsigned x = m.vars[0], y = m.vars[1], b = m.vars[2], yes = m.vars[3], no = m.vars[4],
                   i = m.vars[5];
    auto type = [&](const operator_definition& d, eval_type t, unsigned pos,
                    std::vector<unsigned> args, unsigned r) {
        return d.arg_eval_type(m.c, t, pos, args.data(), args.data() + args.size(), r);
    };
    const unsigned none = NO_VARIABLE;
    EXPECT_EQ(type(SUM, EVAL_AT_MOST, 1, {x, y}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(SUB, EVAL_AT_MOST, 0, {x, y}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(SUB, EVAL_AT_MOST, 1, {x, y}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(SUB, EVAL_EXACT, 1, {x, y}, none), EVAL_EXACT);
    EXPECT_EQ(type(MUL, EVAL_AT_LEAST, 0, {x, y}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(MUL, EVAL_AT_LEAST, 0, {x, none}, none), EVAL_EXACT);
    EXPECT_EQ(type(DIV, EVAL_AT_MOST, 0, {x, y}, none), EVAL_EXACT);
    EXPECT_EQ(type(MOD, EVAL_AT_MOST, 1, {x, y}, none), EVAL_EXACT);
    EXPECT_EQ(type(ABS, EVAL_AT_LEAST, 0, {x}, none), EVAL_BOTH);
    EXPECT_EQ(type(ABS, EVAL_AT_MOST, 0, {x}, none), EVAL_EXACT);
    EXPECT_EQ(type(NOT, EVAL_AT_MOST, 0, {b}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(NOT, EVAL_AT_MOST, 0, {i}, none), EVAL_EXACT);
    EXPECT_EQ(type(NOT, EVAL_AT_MOST, 0, {none}, none), EVAL_EXACT);
    const unsigned k = m.s.singleton_var(2);
    EXPECT_EQ(type(diff_ge(), EVAL_AT_MOST, 0, {x, y, k}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(diff_ge(), EVAL_AT_MOST, 1, {x, y, k}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(diff_ge(), EVAL_AT_LEAST, 1, {x, y, k}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(diff_ge(), EVAL_EXACT, 0, {x, y, k}, none), EVAL_BOTH);
    EXPECT_EQ(type(diff_ge(), EVAL_EXACT, 0, {x, y, k}, b), EVAL_BOTH);
    EXPECT_EQ(type(diff_ge(), EVAL_BOTH, 0, {x, y, k}, no), EVAL_AT_LEAST);
    EXPECT_EQ(type(diff_ge(), EVAL_BOTH, 1, {x, y, k}, no), EVAL_AT_MOST);
    EXPECT_EQ(type(diff_ge(), EVAL_EXACT, 0, {x, y, k}, yes), EVAL_AT_MOST);
    EXPECT_EQ(type(diff_ge(), EVAL_EXACT, 1, {x, y, k}, yes), EVAL_AT_LEAST);
    // x < y is y - x >= 1: x must stay high when the result may only be 1
    // where it holds.
    EXPECT_EQ(type(LT, EVAL_AT_MOST, 0, {x, y}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(LT, EVAL_AT_MOST, 1, {x, y}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(GE, EVAL_AT_MOST, 0, {x, y}, none), EVAL_AT_MOST);
    EXPECT_EQ(type(LE, EVAL_AT_MOST, 0, {x, y}, none), EVAL_AT_LEAST);
    EXPECT_EQ(type(GT, EVAL_AT_MOST, 0, {x, y}, none), EVAL_AT_MOST);
}

// The relation an application posts: for every assignment of the result and
// the arguments from `values`, the model built with the application over
// the full candidate domains and then fixed to that assignment is
// satisfiable exactly when the result relates to the definition's value as t
// says (equal, at most, at least).
void check_relation(const operator_definition& d, eval_type t, unsigned arity,
                    const std::vector<int>& result_values, const std::vector<int>& values,
                    int constant = 0) {
    const unsigned varying = std::min(arity, 2u); // the constant of diff_ge stays
    iset candidates, results;
    for (int v : values)
        candidates.insert(iset::range_type(v, v));
    for (int v : result_values)
        results.insert(iset::range_type(v, v));
    std::vector<std::size_t> pick(varying + 1, 0);
    for (bool more = true; more;) {
        const int r = result_values[pick[0]];
        std::vector<int> args;
        for (unsigned i = 0; i < varying; ++i)
            args.push_back(values[pick[i + 1]]);
        if (arity == 3)
            args.push_back(constant);
        const std::optional<int> f = d.eval(args.data(), args.data() + arity);
        const bool expected = f && (t == EVAL_AT_MOST    ? r <= *f
                                    : t == EVAL_AT_LEAST ? r >= *f
                                                         : r == *f);

        model m({results, candidates, candidates});
        std::vector<unsigned> vars(m.vars.begin() + 1, m.vars.begin() + 1 + varying);
        if (arity == 3)
            vars.push_back(m.s.singleton_var(constant));
        const unsigned got = m.eval(d, t, vars, m.vars[0]);
        if (got != m.vars[0]) { // simplified: tie the result as t says
            if (t == EVAL_AT_MOST)
                m.s.add_constraint(std::make_unique<difference_ge_propagator>(0)) << got << m.vars[0];
            else if (t == EVAL_AT_LEAST)
                m.s.add_constraint(std::make_unique<difference_ge_propagator>(0)) << m.vars[0] << got;
            else
                m.s.add_constraint(std::make_unique<equal_propagator>()) << m.vars[0] << got;
        }
        m.c.create_all_constraints();
        m.s.set_var_domain(m.vars[0], iset(r), -1);
        for (unsigned i = 0; i < varying; ++i)
            m.s.set_var_domain(m.vars[i + 1], iset(args[i]), -1);
        const bool sat = m.s.solve(nullptr) == solver::SAT;
        std::string assignment = "r=" + std::to_string(r);
        for (int a : args)
            assignment += " " + std::to_string(a);
        EXPECT_EQ(sat, expected) << d.name() << " type " << t << ": " << assignment;

        more = false;
        for (unsigned i = 0; i <= varying && !more; ++i) {
            const std::size_t limit = i == 0 ? result_values.size() : values.size();
            if (++pick[i] < limit)
                more = true;
            else
                pick[i] = 0;
        }
    }
}

TEST(OperatorDefinitions, PostedRelationsMatchTheValue) {
    const std::vector<int> values = BIG ? std::vector<int>{-2, -1, 0, 1, 3} : std::vector<int>{0, 1, 2, 3};
    const std::vector<int> booleans = {0, 1};
    const std::vector<int> results = BIG ? std::vector<int>{-3, -1, 0, 1, 2, 4} : std::vector<int>{0, 1, 2, 4, 6};
    for (eval_type t : {EVAL_EXACT, EVAL_AT_MOST, EVAL_AT_LEAST, EVAL_BOTH}) {
        SCOPED_TRACE(t);
        check_relation(SUM, t, 2, results, values);
        check_relation(SUB, t, 2, results, values);
        check_relation(MUL, t, 2, results, values);
        check_relation(ABS, t, 1, results, values);
        check_relation(NOT, t, 1, booleans, {0, 1});
        check_relation(LT, t, 2, booleans, values);
        check_relation(LE, t, 2, booleans, values);
        check_relation(GT, t, 2, booleans, values);
        check_relation(GE, t, 2, booleans, values);
        for (int k : {BIG ? -1 : 1, 0, 2})
            check_relation(diff_ge(), t, 3, booleans, values, k);
    }
    // div and mod are recorded exact whatever the type asked.
    check_relation(DIV, EVAL_EXACT, 2, results, values);
    check_relation(MOD, EVAL_EXACT, 2, results, values);
    // not over an argument beyond {0, 1}.
    for (eval_type t : {EVAL_EXACT, EVAL_AT_MOST, EVAL_AT_LEAST, EVAL_BOTH})
        check_relation(NOT, t, 1, booleans, {0, 1, 2, 3});
}

TEST(OperatorDefinitions, RepeatedArgumentsPostThePowerAndTheDoubling) {
    // x * x and x + x over one variable: the posted relation against every
    // assignment of the result and x.
    const std::vector<int> values = BIG ? std::vector<int>{-2, -1, 0, 1, 3} : std::vector<int>{0, 1, 2, 3};
    const std::vector<int> results = BIG ? std::vector<int>{-4, -2, 0, 1, 2, 4, 6, 9} : std::vector<int>{0, 1, 2, 4, 6, 9};
    iset candidates, result_domain;
    for (int v : values)
        candidates.insert(iset::range_type(v, v));
    for (int v : results)
        result_domain.insert(iset::range_type(v, v));
    // direct: a sum entry over (x, x) posted as it is (exact doubling).
    for (const operator_definition* d : {&MUL, &SUM, static_cast<const operator_definition*>(nullptr)})
        for (eval_type t : {EVAL_EXACT, EVAL_AT_MOST, EVAL_AT_LEAST})
            for (int r : results)
                for (int x : values) {
                    if (!d && t != EVAL_EXACT)
                        continue;
                    model m({result_domain, candidates});
                    if (d) {
                        const unsigned got = m.eval(*d, t, {m.vars[1], m.vars[1]}, m.vars[0]);
                        ASSERT_EQ(got, m.vars[0]);
                        m.c.create_all_constraints();
                    } else {
                        const unsigned args[] = {m.vars[1], m.vars[1]};
                        SUM.create_constraints(m.s, t, 0, m.vars[0], args, args + 2);
                    }
                    m.s.set_var_domain(m.vars[0], iset(r), -1);
                    m.s.set_var_domain(m.vars[1], iset(x), -1);
                    const int f = d == &MUL ? x * x : x + x;
                    const char* what = d ? d->name() : "direct sum";
                    // x * x is posted as the exact power whatever the type.
                    const bool expected = d == &MUL            ? r == f
                                          : t == EVAL_AT_MOST  ? r <= f
                                          : t == EVAL_AT_LEAST ? r >= f
                                                               : r == f;
                    EXPECT_EQ(m.s.solve(nullptr) == solver::SAT, expected)
                        << what << " t=" << t << " x=" << x << " r=" << r;
                }
}

TEST(OperatorDefinitions, SumWithTheLeastConstant) {
    // r = x + INT_MIN: one-sided, -INT_MIN has no 32-bit value.
    if (!BIG)
        GTEST_SKIP() << "the one-word set holds no negative value";
    for (eval_type t : {EVAL_AT_MOST, EVAL_AT_LEAST, EVAL_EXACT})
        for (int x : {-1, 0, 5})
            for (int r : {INT_MIN, INT_MIN + 4, INT_MIN + 5, INT_MIN + 6}) {
                model m({iset(INT_MIN, INT_MAX), iset(-1, 5)});
                m.eval(SUM, t, {m.vars[1], m.s.singleton_var(INT_MIN)}, m.vars[0]);
                m.c.create_all_constraints();
                m.s.set_var_domain(m.vars[0], iset(r), -1);
                m.s.set_var_domain(m.vars[1], iset(x), -1);
                const std::int64_t f = std::int64_t(x) + INT_MIN;
                const bool expected = t == EVAL_AT_MOST    ? r <= f
                                      : t == EVAL_AT_LEAST ? r >= f
                                                           : r == f;
                EXPECT_EQ(m.s.solve(nullptr) == solver::SAT, expected)
                    << "t=" << t << " x=" << x << " r=" << r;
            }
}

TEST(OperatorDefinitions, GuardsOfTheRecordedOperators) {
    model m({iset(0, 9), iset(0, 9)});
    const unsigned args[] = {m.vars[0], m.vars[1]};
    EXPECT_EQ(error_of([&] { LT.create_constraints(m.s, EVAL_EXACT, 0, 0, args, args + 2); }),
              "lt_definition::create_constraints should not be called, used "
              "difference_ge_definition instead");
    EXPECT_EQ(error_of([&] { GE.create_constraints(m.s, EVAL_EXACT, 0, 0, args, args + 2); }),
              "ge_definition::create_constraints should not be called, use difference_ge instead");
    EXPECT_EQ(error_of([&] { LE.create_constraints(m.s, EVAL_EXACT, 0, 0, args, args + 2); }),
              "le_definition::create_constraints should not be called, use the reversed operator "
              "instead ");
    EXPECT_EQ(error_of([&] { GT.create_constraints(m.s, EVAL_EXACT, 0, 0, args, args + 2); }),
              "gt_definition::create_constraints should not be called, use the reversed operator "
              "instead ");
}

TEST(OperatorDefinitions, GuardOfTheLeastDifference) {
    if (!BIG)
        GTEST_SKIP() << "the one-word set holds no negative value";
    // a - b < INT_MIN has no difference constraint.
    model n({iset(0, 1), iset(INT_MIN, 0), iset(1, INT_MAX)});
    const unsigned d[] = {n.vars[1], n.vars[2], n.s.singleton_var(INT_MIN)};
    EXPECT_EQ(error_of([&] { diff_ge().create_constraints(n.s, EVAL_EXACT, 0, n.vars[0], d, d + 3); }),
              "Unsupported: x-y < k when k is INT_MIN");
}

}  // namespace operator_definitions_test
