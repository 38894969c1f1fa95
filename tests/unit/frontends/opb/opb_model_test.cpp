// The OPB reader: normal forms of constraints, and what the linearisation
// posts for them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "frontends/common/unsupported.h"
#include "frontends/opb/opb_model.h"
#include "impl/engine/solver.h"
#include "opb_parser.hh"
#include "tests/unit/test_helpers.h"

namespace opb_model_test {

using qarn::opb::context;

// A solver with the model of `text` parsed into its context.
struct parsed {
    qarn::solver s;
    std::istringstream input;
    context ctx;

    explicit parsed(const std::string& text) : input(text), ctx(s, &input, "t.opb") {
        yy::opb_parser parser(ctx);
        EXPECT_EQ(parser.parse(), 0) << text;
    }
    std::string constraints() const {
        std::ostringstream os;
        os << ctx;
        return os.str();
    }
    unsigned var_named(const std::string& name) const {
        for (unsigned v = 0; v < s.var_count(); ++v)
            if (s.assignment().var_name(v) == name)
                return v;
        ADD_FAILURE() << "no variable " << name;
        return 0;
    }
};

TEST(OpbNormalForm, Constraints) {
    const struct {
        const char* text;
        const char* normal;
    } cases[] = {
        {"+1 x x >= 1 ;", "+1 x>=1;"},
        {"+1 x ~x >= 1 ;", "empty_sum>=1, i.e., false;"},
        {"+1 x ~x = 0 ;", "empty_sum=0, i.e., true;"},
        {"+2 x y -2 y x >= 1 ;", "empty_sum>=1, i.e., false;"},
        {"+1 ~x >= 1 ;", "+1 ~x>=1;"},
        {"-3 x >= -1 ;", "+3 ~x>=2;"},
        {"+1 x < 1 ;", "+1 ~x>=1;"},
        {"+1 x <= 1 ;", "+1 ~x>=0, i.e., true;"},
        {"+1 x > 0 ;", "+1 x>=1;"},
        {"-1 x y >= 0 ;", "+1 ~(x y)>=1;"},
        {"-2 x ~y +1 y >= 0 ;", "+2 ~(x ~y) +1 y>=2;"},
        {"+1 x2 +1 x10 +1 ~x1 = 2 ;", "+1 ~x1 +1 x10 +1 x2=2;"},
        {"c1 : +2 b +2 a +1 b = 3 ;", "+2 a +3 b=3;"},
    };
    for (const auto& c : cases) {
        parsed p(c.text);
        EXPECT_EQ(p.constraints(), std::string("constraint[0]: ") + c.normal + "\n") << c.text;
    }
}

TEST(OpbNormalForm, ProductsAreShared) {
    parsed p("+1 x y >= 1 ; +2 y x +1 ~z >= 2 ;");
    const auto& a = p.ctx.constraints()[0]->sum().atoms();
    const auto& b = p.ctx.constraints()[1]->sum().atoms();
    EXPECT_EQ(a[0].product, b[0].product);
}

// Constraint count, variable count and satisfiability of small models.
TEST(OpbLinearization, WhatIsPosted) {
    const struct {
        const char* text;
        unsigned constraints;
        unsigned variables;
        bool satisfiable;
    } cases[] = {
        {"+1 x +1 y >= 1 ;", 1, 2, true},       // one clause over x and y
        {"+2 x +3 y >= 1 ;", 1, 2, true},       // the same clause
        {"-1 x y >= 0 ;", 2, 3, true},          // the product's link and one clause
        {"+1 x +1 y = 1 ;", 1, 3, true},        // an exact sum fixed to 1
        {"+1 x +1 y >= 3 ;", 1, 3, false},      // beyond the sum's range
        {"+1 x +1 y = 3 ;", 1, 3, false},
        {"+1 x ~x >= 1 ;", 0, 1, false},        // trivially false
        {"+3 x >= 2 ;", 1, 2, true},            // k between the atom's values
        {"-3 x >= -1 ;", 1, 2, true},
        {"+3 x >= 4 ;", 1, 2, false},
        {"+1 x >= -5 ;", 0, 1, true},           // k <= 0: nothing to post
    };
    for (const auto& c : cases) {
        parsed p(c.text);
        EXPECT_EQ(p.ctx.build_solver(), c.satisfiable) << c.text;
        if (c.satisfiable) {
            EXPECT_EQ(p.s.constraint_count(), c.constraints) << c.text;
            EXPECT_EQ(p.s.var_count(), c.variables) << c.text;
        }
    }
}

TEST(OpbLinearization, ClauseOverThePlainVariables) {
    parsed p("+1 x +1 y >= 1 ;");
    ASSERT_TRUE(p.ctx.build_solver());
    ASSERT_TRUE(p.s.is_clause(0));
    EXPECT_EQ(p.s.record(0).variables(), (std::vector<unsigned>{0, 1}));
}

TEST(OpbLinearization, AtLeastKeepsTheValuesFromK) {
    // +3 x >= 2 holds exactly when x is 1; -3 x >= -1 exactly when x is 0.
    const struct {
        const char* text;
        int x;
    } cases[] = {{"+3 x >= 2 ;", 1}, {"-3 x >= -1 ;", 0}, {"+2 x +3 y >= 4 ; +1 y = 0 ;", -1}};
    for (const auto& c : cases) {
        parsed p(c.text);
        ASSERT_TRUE(p.ctx.build_solver());
        const auto result = p.s.solve(nullptr);
        if (c.x < 0) {
            EXPECT_EQ(result, qarn::solver::UNSAT) << c.text;
            continue;
        }
        ASSERT_EQ(result, qarn::solver::SAT) << c.text;
        EXPECT_EQ(p.s.domain(0).min(), c.x) << c.text;
    }
}

TEST(OpbLinearization, Objectives) {
    parsed min("min: +1 x +2 y ; +1 x +1 y >= 1 ;");
    ASSERT_TRUE(min.ctx.build_solver());
    const unsigned m = min.var_named("min::objective");
    const unsigned neg = min.var_named("max::neg::objective");
    EXPECT_EQ(min.s.m_objective_var, static_cast<int>(m));
    EXPECT_TRUE(min.s.m_minimize);
    EXPECT_TRUE(qarn_test::same(min.s.domain(m), qarn::iset(0, 3)));
    EXPECT_TRUE(qarn_test::same(min.s.domain(neg), qarn::iset(-3, 0)));

    // One plain variable with coefficient 1 is its own objective variable.
    parsed max("max: +1 x ; +1 x +1 y >= 1 ;");
    ASSERT_TRUE(max.ctx.build_solver());
    EXPECT_EQ(max.s.m_objective_var, 0);
    EXPECT_FALSE(max.s.m_minimize);
    EXPECT_EQ(max.s.var_count(), 2u);
}

TEST(OpbLinearization, SumsBeyond32BitsAreUnsupported) {
    const char* cases[] = {
        "+2000000000 x +2000000000 y >= 2 ;",
        "+2000000000 x +2000000000 x >= 2 ;",
        "-2147483648 x >= 1 ;",
        "min: -2147483648 x ;",
    };
    for (const char* text : cases) {
        parsed p(text);
        EXPECT_THROW(p.ctx.build_solver(), qarn::unsupported) << text;
    }
    // A clause does not add coefficients.
    parsed clause("+2000000000 x +2000000000 y >= 1 ;");
    EXPECT_TRUE(clause.ctx.build_solver());
}

// A number out of range is reported where it starts: at its sign when it has
// one, however far the digits are beyond the range; the number is named by
// its value.
TEST(OpbReader, NumbersBeyond32BitsAreUnsupported) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"+2147483648 x >= 1 ;", "t.opb:1.1: number 2147483648 is outside the 32-bit range"},
        {"+4294967297 x >= 1 ;", "t.opb:1.1: number 4294967297 is outside the 32-bit range"},
        {"-2147483649 x >= 1 ;", "t.opb:1.1: number -2147483649 is outside the 32-bit range"},
        {"+1 x + 0002147483648 y >= 1 ;",
         "t.opb:1.6: number 2147483648 is outside the 32-bit range"},
        {"+1 x + 0004294967297 y >= 1 ;",
         "t.opb:1.6: number 4294967297 is outside the 32-bit range"},
        {"+1 x >= 2147483648 ;", "t.opb:1.9: number 2147483648 is outside the 32-bit range"},
        {"+1 x >= 4294967297 ;", "t.opb:1.9: number 4294967297 is outside the 32-bit range"},
        {"+1 x\n >= -99999999999999999999 ;",
         "t.opb:2.5: number -99999999999999999999 is outside the 32-bit range"},
    };
    for (const auto& c : cases) {
        qarn::solver s;
        std::istringstream input(c.text);
        context ctx(s, &input, "t.opb");
        yy::opb_parser parser(ctx);
        EXPECT_EQ(qarn_test::error_of([&] { parser.parse(); }), c.message);
    }
    parsed lowest("-2147483648 x >= -2147483648 ;");
    EXPECT_EQ(lowest.constraints(), "constraint[0]: +2147483648 ~x>=0, i.e., true;\n");
}

TEST(OpbReader, SolutionLineAndObjectiveValue) {
    parsed p("max: +2 b +3 a +5 a b ; +1 a +1 b >= 1 ; +1 ~x10 +1 ~x2 >= 2 ;");
    ASSERT_TRUE(p.ctx.build_solver());
    ASSERT_EQ(p.s.solve(nullptr), qarn::solver::OPTIMAL);
    std::ostringstream os;
    p.ctx.print_solution(os);
    EXPECT_EQ(os.str(), "v  a b -x10 -x2\n");
    EXPECT_EQ(p.ctx.evaluate_objective(), 10);
}

}  // namespace opb_model_test
