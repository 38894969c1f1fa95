// The FlatZinc scanner and grammar: numbers and their limits, stepped sets,
// floats, keywords as whole words, line ends, declarations with several
// names or list literals, and the messages of refused input.
#include <gtest/gtest.h>

#include <climits>
#include <iostream>
#include <sstream>
#include <string>

#include "frontends/common/parser_context.h"
#include "frontends/flatzinc/fzn_constraints.h"
#include "frontends/flatzinc/fzn_reader.h"
#include "tests/unit/test_helpers.h"

namespace fzn_reader_test {

// A context over `text`, parsed, with standard error and the debug stream
// kept.
struct read_fzn {
    qarn::solver s;
    qarn::table_propagator_base::memory_manager tables;
    std::istringstream input;
    qarn::parser_context ctx;
    std::ostringstream debug, errors;
    int result;

    explicit read_fzn(const std::string& text)
        : input(text), ctx(s, qarn::fzn_scanner_methods::get(), tables, &input, "t.fzn") {
        qarn::fzn_constraint::register_all(ctx.constraint_types());
        std::streambuf* saved = std::cerr.rdbuf(errors.rdbuf());
        result = qarn::parse_fzn(ctx, debug);
        std::cerr.rdbuf(saved);
    }
    int constant(const std::string& name) {
        int v = -999;
        EXPECT_TRUE(ctx.get_constant(name, v)) << name;
        return v;
    }
};

TEST(FznReader, NumbersAndConstants) {
    struct row {
        const char* text;
        int value;
    };
    const row rows[] = {
        {"int: a = 010;", 10},          {"int: a = 0719;", 719},
        {"int: a = 0x1F;", 31},         {"int: a = 0x7fffffff;", 2147483647},
        {"int: a = -2147483648;", INT_MIN}, {"int: a = .5;", 0},
        {"int: a = 3.9;", 3},           {"bool: a = true;", 1},
        {"int: a = 00000000000000000000000000042;", 42},
        {"int: a = 5;\r\n", 5},
    };
    for (const row& r : rows) {
        read_fzn f(r.text);
        ASSERT_EQ(f.result, 0) << r.text << f.errors.str();
        EXPECT_EQ(f.constant("a"), r.value) << r.text;
    }
}

TEST(FznReader, RefusedInputAndItsMessage) {
    struct row {
        const char* text;
        const char* error; // standard error
        bool read = false;
    };
    const row rows[] = {
        {"int: a = 0X1F;", "t.fzn:1.11:syntax error, unexpected identifier, expecting ';'\n"},
        {"int: a = 2147483648;", "t.fzn:1.10:Integer 2147483648 out of range [-2147483648, 2147483647]\n"},
        {"int: a = -2147483649;", "t.fzn:1.11:Integer -2147483649 out of range [-2147483648, 2147483647]\n"},
        {"int: a = 4294967296;",
         "t.fzn:1.10-19: integer 4294967296 is bigger than any unsigned (4294967295)\n"
         "t.fzn:1.10:syntax error, unexpected ERR\n"},
        {"int: a = - 1.5;", "t.fzn:1.12:syntax error, unexpected float_value, expecting int_value\n"},
        {"int: a = 1e5;", "t.fzn:1.11:syntax error, unexpected identifier, expecting ';'\n"},
        {"int: ints = 5;", "", true}, // keywords are whole words
        {"var {9:2:1}: x;", "t.fzn:1.6:first and last elements of from:step:to format should be ordered\n"},
        {"var {1:0:9}: x;", "t.fzn:1.6:step size of from:step:to format should be positive\n"},
        {"var 1..3: x = \xc3\xa9;", "t.fzn:1.15:syntax error, unexpected $undefined\n"},
        {"predicate p(var float: f);", "t.fzn:1.17:float is not supported\n"},
        {"var float: f;", "t.fzn:1.5:float is not supported\n"},
        {"var 1..3: x :: defines_var;", "t.fzn:1.16:defines_var needs the variable it defines as argument\n"},
        {"int: a = 3;\nint: a = 4;", ""}, // reported on the debug stream
        // An array literal fills its index set exactly, for variables and
        // parameters of each kind.
        {"array [1..1] of var 0..1: a = [1, 0, 1];",
         "t.fzn:1.31:Array literal length 3 does not match the index set 1..1\n"},
        {"array [1..3] of var 0..1: a = [1, 0];",
         "t.fzn:1.31:Array literal length 2 does not match the index set 1..3\n"},
        {"array [1..2] of var 0..1: a = [];",
         "t.fzn:1.31:Array literal length 0 does not match the index set 1..2\n"},
        {"array [1..2] of int: c = [1, 2, 3];",
         "t.fzn:1.26:Array literal length 3 does not match the index set 1..2\n"},
        {"array [1..2] of int: c = [];",
         "t.fzn:1.26:Array literal length 0 does not match the index set 1..2\n"},
        {"array [1..2] of set of int: s = [{1}];",
         "t.fzn:1.33:Array literal length 1 does not match the index set 1..2\n"},
        {"array [1..1] of set of int: s = [{1}, {2}];",
         "t.fzn:1.33:Array literal length 2 does not match the index set 1..1\n"},
        {"array [1..0] of int: c = [];", "", true},
        {"array [1..0] of var 0..1: a = [];", "", true},
    };
    for (const row& r : rows) {
        read_fzn f(r.text);
        EXPECT_EQ(f.result, r.read ? 0 : 1) << r.text;
        EXPECT_EQ(f.errors.str(), r.error) << r.text;
    }
}

TEST(FznReader, SetsAndDeclarations) {
    read_fzn f("var {1:2:9, 20}: x;\n"
               "var 1..3: y, z :: output_var;\n"
               "var 1..3: w = [y];\n"
               "var 1..3: v = [];\n"
               "array [1..2] of int: c = [1, 2];\n"
               "array [1..2] of set of int: s = [{1, 3}, 4..6];\n"
               "var 1..2: t :: output_var; % a comment\n"
               "solve satisfy;");
    ASSERT_EQ(f.result, 0) << f.errors.str() << f.debug.str();
    EXPECT_TRUE(qarn_test::same(f.s.domain(f.ctx.var_id("x")), qarn_test::values({1, 3, 5, 7, 9, 20})));
    EXPECT_NE(f.ctx.var_id("y"), f.ctx.var_id("z"));
    EXPECT_EQ(f.ctx.var_id("w"), f.ctx.var_id("y"));
    EXPECT_NE(f.ctx.var_id("v"), qarn::NO_VARIABLE);
    EXPECT_EQ(f.ctx.symbols().at("c").values.size(), 2u);
    EXPECT_EQ(f.ctx.symbols().at("s").values.size(), 2u);
    EXPECT_EQ(f.s.m_vars_to_print, static_cast<int>(f.s.var_count()));
    EXPECT_EQ(f.debug.str(), "");
}

// A model whose variables X1..Xn are each defined from the one before, as
// the solver reads it.
std::string chain_of_definitions(int n, const std::string& domain, const std::string& defining) {
    std::ostringstream text;
    text << "var " << domain << ": X0 :: output_var;\n";
    for (int i = 1; i <= n; ++i)
        text << "var " << domain << ": X" << i << " :: is_defined_var :: var_is_introduced;\n";
    for (int i = 1; i <= n; ++i) {
        std::string c = defining;
        for (std::size_t at; (at = c.find("@")) != std::string::npos;)
            c.replace(at, 1, "X" + std::to_string(i - 1));
        text << "constraint " << c << "X" << i << ") :: defines_var(X" << i << ");\n";
    }
    return text.str();
}

int solved_x0(read_fzn& f) {
    EXPECT_TRUE(f.ctx.create_constraints(f.debug));
    std::ostringstream ignored;
    EXPECT_EQ(f.s.solve(&ignored), qarn::solver::SAT);
    return f.s.domain(f.ctx.var_id("X0")).min();
}

// A long chain of definitions is substituted only a bounded depth deep, and
// definitions that use one another twice do not grow exponentially; either
// way every defined variable keeps its meaning.
TEST(FznReader, ChainsOfDefinitions) {
    read_fzn sums(chain_of_definitions(3000, "0..100000", "int_plus(@, 1, ") +
                  "constraint int_eq(X3000, 3005);\nsolve satisfy;\n");
    ASSERT_EQ(sums.result, 0) << sums.errors.str() << sums.debug.str();
    EXPECT_EQ(solved_x0(sums), 5);

    read_fzn doubled(chain_of_definitions(40, "bool", "bool_and(@, @, ") +
                     "constraint bool_eq(X40, true);\nsolve satisfy;\n");
    ASSERT_EQ(doubled.result, 0) << doubled.errors.str() << doubled.debug.str();
    EXPECT_EQ(solved_x0(doubled), 1);
}

}  // namespace fzn_reader_test
