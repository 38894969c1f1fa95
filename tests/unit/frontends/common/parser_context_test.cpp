// The parser context: declarations and their messages, the names of the
// variables it makes, posting over repeated variables, element collapsing,
// defined variables (postponed, substituted, still tied to their
// definition), the objective and the solution printer.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontends/common/parser_context.h"
#include "impl/model/expression_tree.h"
#include "impl/propagators/neq_propagators.h"
#include "tests/unit/test_helpers.h"

namespace parser_context_test {

using qarn::parser_context;
using vov = parser_context::var_or_value;

struct no_scanner : parser_context::scanner_methods {
    void start_scanner(parser_context&) const override {}
    void destroy_scanner(parser_context&) const override {}
};

// A solver that records each solution the all-solutions loop prints.
struct recording_solver : qarn::solver {
    mutable std::set<std::vector<int>> solutions;
    unsigned shown = 0;
    void print_solution(std::ostream&) const override {
        std::vector<int> values;
        for (unsigned v = 0; v < shown; ++v)
            values.push_back(domain(v).min());
        solutions.insert(values);
    }
};

std::unique_ptr<xcsp::AST> argument_ast(parser_context& ctx, const parser_context::argument_type& a) {
    if (const auto* v = dynamic_cast<const parser_context::var_argument*>(&a))
        return ctx.to_ast(v->value);
    return qarn::deep_copy(*dynamic_cast<const parser_context::ast_argument&>(a).expr);
}

// r = a * b; hands the product back as r's definition when r is defined.
struct product_kind : parser_context::constraint_type {
    bool connect_constraint(std::ostream&, const parser_context::position_point&,
                            parser_context& ctx, const parser_context::argument_list& args,
                            parser_context::symbol_info* defined,
                            std::unique_ptr<xcsp::AST>& definition) const override {
        auto e = make<xcsp::FunctionMul>(argument_ast(ctx, *args[0]), argument_ast(ctx, *args[1]));
        auto r = argument_ast(ctx, *args[2]);
        if (defined && r->getType() == xcsp::VAR &&
            static_cast<unsigned>(static_cast<xcsp::ASTVar&>(*r).index()) == defined->values[0].var) {
            definition = std::move(e);
            return true;
        }
        auto eq = make<xcsp::FunctionEQ>(std::move(e), std::move(r));
        ctx.connect_expr(ctx.singleton_var(1, false), *eq, qarn::AST_builder::BOTH_WAYS);
        return true;
    }
};

// a <= b.
struct le_kind : parser_context::constraint_type {
    bool connect_constraint(std::ostream&, const parser_context::position_point&,
                            parser_context& ctx, const parser_context::argument_list& args,
                            parser_context::symbol_info*, std::unique_ptr<xcsp::AST>&) const override {
        auto e = make<xcsp::FunctionLE>(argument_ast(ctx, *args[0]), argument_ast(ctx, *args[1]));
        ctx.connect_expr(ctx.singleton_var(1, false), *e, qarn::AST_builder::BOTH_WAYS);
        return true;
    }
};

struct context_fixture {
    recording_solver s;
    qarn::table_propagator_base::memory_manager tables;
    no_scanner scanner;
    parser_context ctx{s, scanner, tables, nullptr, "m.fzn"};
    std::ostringstream out;

    context_fixture() {
        ctx.constraint_types()["times"] = std::make_unique<product_kind>();
        ctx.constraint_types()["le"] = std::make_unique<le_kind>();
    }
    parser_context::named_position at(const std::string& name, unsigned line) {
        return {name, {&ctx.file_name(), line, 1}};
    }
    unsigned var(const std::string& name, qarn::iset domain,
                 const parser_context::annotation_list* annotations = nullptr) {
        EXPECT_TRUE(ctx.define_variable(out, domain, at(name, 1), nullptr, annotations,
                                        parser_context::INT_ELEMENT));
        return ctx.var_id(name);
    }
    // A variable declared as defined by a constraint.
    unsigned defined_var(const std::string& name, qarn::iset domain) {
        parser_context::annotation_list a{parser_context::annotation_type("is_defined_var"),
                                          parser_context::annotation_type("var_is_introduced")};
        return var(name, domain, &a);
    }
    static parser_context::argument_list vars(std::vector<vov> vs) {
        parser_context::argument_list args;
        for (const vov& v : vs)
            args.push_back(std::make_unique<parser_context::var_argument>(v));
        return args;
    }
    static parser_context::annotation_list defines(const std::string& name) {
        parser_context::annotation_type a("defines_var");
        a.arguments = std::make_unique<parser_context::argument_list>();
        a.arguments->push_back(std::make_unique<parser_context::annotation_argument>(
            parser_context::annotation_type(name)));
        return {a};
    }
    bool post(const std::string& kind, std::vector<vov> args,
              const parser_context::annotation_list* annotations = nullptr) {
        return ctx.connect_constraint(out, {&ctx.file_name(), 9, 12}, kind, vars(args), annotations);
    }
    std::set<std::vector<int>> all_solutions(unsigned shown) {
        EXPECT_TRUE(ctx.create_constraints(out)) << out.str();
        s.shown = shown;
        s.m_all_solutions = true;
        std::ostringstream ignored;
        s.solve(&ignored);
        return s.solutions;
    }
};

TEST(ParserContext, DeclarationsAndQueries) {
    context_fixture f;
    const unsigned x = f.var("x", qarn::iset(1, 5));
    EXPECT_EQ(f.s.assignment().var_name(x), "x");
    EXPECT_TRUE(f.ctx.define_scalar_constant(f.out, f.at("n", 2), 7));
    int value = 0;
    EXPECT_TRUE(f.ctx.get_constant("n", value));
    EXPECT_EQ(value, 7);
    EXPECT_EQ(f.ctx.var_id("n"), qarn::NO_VARIABLE);
    EXPECT_FALSE(f.ctx.get_constant("x", value));

    const std::vector<vov> init{vov::variable(x), vov::constant(3)};
    EXPECT_TRUE(f.ctx.define_array(f.out, qarn::iset(2, 4), 3, f.at("a", 3), &init, nullptr,
                                   parser_context::INT_ELEMENT));
    EXPECT_EQ(f.ctx.array_element_id("a", 0), x);
    EXPECT_TRUE(qarn_test::same(f.s.domain(x), qarn::iset(2, 4))); // narrowed by the array
    EXPECT_TRUE(f.ctx.get_const_array_element("a", 1, value));
    EXPECT_EQ(value, 3);
    EXPECT_EQ(f.s.assignment().var_name(f.ctx.array_element_id("a", 2)), "a[2]");
    EXPECT_EQ(f.ctx.array_element_id("a", 3), qarn::NO_VARIABLE);
    EXPECT_EQ(f.ctx.var_id("a"), qarn::NO_VARIABLE);
    EXPECT_FALSE(f.ctx.builder().is_marked_unsat());
    EXPECT_EQ(f.out.str(), "");
}

TEST(ParserContext, RedefinitionsAndSetVariablesAreRefused) {
    context_fixture f;
    f.var("x", qarn::iset(0, 1));
    EXPECT_TRUE(f.ctx.define_array_constant(f.out, f.at("c", 2), {1, 2}));
    EXPECT_FALSE(f.ctx.define_scalar_constant(f.out, f.at("x", 3), 1));
    EXPECT_FALSE(f.ctx.define_array(f.out, qarn::iset(0, 1), 4, f.at("c", 4), nullptr, nullptr,
                                    parser_context::INT_ELEMENT));
    EXPECT_FALSE(f.ctx.define_variable(f.out, qarn::iset(0, 1), f.at("s", 5), nullptr, nullptr,
                                       parser_context::INT_ELEMENT | parser_context::SET_ELEMENT));
    EXPECT_EQ(f.out.str(), "m.fzn:3:1: redefinition of x\n"
                           "m.fzn:1:1: x was previously defined here\n"
                           "m.fzn:4:1: redefinition of c[1..4]\n"
                           "m.fzn:2:1: c[1..2] was previously defined here\n"
                           "m.fzn:5:1: set variables are unsupported.\n");
}

// An initial constant outside the declared domain leaves no solution,
// for scalars and array elements alike.
TEST(ParserContext, InitialConstantOutsideTheDomainIsUnsatisfiable) {
    for (bool array : {false, true}) {
        context_fixture f;
        const vov five = vov::constant(5);
        const std::vector<vov> list{five};
        if (array)
            f.ctx.define_array(f.out, qarn::iset(1, 3), 1, f.at("a", 1), &list, nullptr, 1);
        else
            f.ctx.define_variable(f.out, qarn::iset(1, 3), f.at("x", 1), &five, nullptr, 1);
        EXPECT_TRUE(f.ctx.builder().is_marked_unsat()) << array;
    }
}

TEST(ParserContext, NamesOfConstantsAndAliases) {
    context_fixture f;
    const unsigned x = f.var("x", qarn::iset(0, 3));
    const unsigned y = f.var("y", qarn::iset(0, 3));
    EXPECT_EQ(f.ctx.singleton_var(4, false), f.ctx.singleton_var(4, false));
    const unsigned count = f.s.var_count();
    const unsigned c = f.ctx.singleton_var(-5, true);
    EXPECT_EQ(f.s.assignment().var_name(c), "V" + std::to_string(count) + "_constant_minus_5");

    // x twice: the second occurrence becomes an alias of x.
    const unsigned before = f.s.constraint_count();
    f.ctx.connect_constraint({x, y, x}, std::make_unique<qarn::neq_propagator>());
    ASSERT_EQ(f.s.constraint_count(), before + 2); // the alias's equality and the constraint
    std::vector<unsigned> params;
    f.s.get_constraint_variables(before + 1, params);
    ASSERT_EQ(params.size(), 3u);
    EXPECT_EQ(params[0], x);
    EXPECT_EQ(params[1], y);
    EXPECT_EQ(f.s.assignment().var_name(params[2]), "x.alias" + std::to_string(count + 1));
}

TEST(ParserContext, ElementWithOneIndexIsAnEquality) {
    context_fixture f;
    f.s.m_report_level = 2;
    const unsigned i = f.var("i", qarn::iset(0, 1));
    const unsigned r = f.var("r", qarn::iset(0, 9));
    const unsigned constraints = f.s.constraint_count();
    EXPECT_TRUE(f.ctx.instantiate_element_constraint(
        f.out, {&f.ctx.file_name(), 4, 2}, i, 1, {vov::constant(6), vov::constant(7)}, r));
    EXPECT_EQ(f.out.str(), "% m.fzn:4:2: the constraint is equivalent with equality\n");
    EXPECT_EQ(f.s.constraint_count(), constraints + 1); // the equality alone
    EXPECT_TRUE(f.ctx.builder().are_eq(f.s.singleton_var(6), r));
}

// X = a * b defines X. Whether X is used by another constraint, not used
// at all, or only printed, every solution has X = a * b, and X's declared
// domain holds.
TEST(ParserContext, DefinedVariablesFollowTheirDefinition) {
    for (int use : {0, 1, 2}) {
        context_fixture f;
        const unsigned a = f.var("a", qarn::iset(1, 3));
        const unsigned b = f.var("b", qarn::iset(1, 3));
        const unsigned x = f.defined_var("X", qarn::iset(3, 10));
        const auto annotations = context_fixture::defines("X");
        EXPECT_TRUE(f.post("times", {vov::variable(a), vov::variable(b), vov::variable(x)},
                           &annotations));
        if (use == 1) {
            EXPECT_TRUE(f.post("le", {vov::variable(x), vov::constant(6)}));
        } else if (use == 2) { // a second definition of X is not dropped either
            EXPECT_TRUE(f.post("times", {vov::variable(b), vov::variable(a), vov::variable(x)},
                               &annotations));
        }
        std::set<std::vector<int>> expected;
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j)
                if (i * j >= 3 && i * j <= (use == 1 ? 6 : 10))
                    expected.insert({i, j, i * j});
        EXPECT_EQ(f.all_solutions(3), expected) << use << f.out.str();
    }
}

TEST(ParserContext, ObjectiveOverADefinedVariable) {
    context_fixture f;
    const unsigned a = f.var("a", qarn::iset(2, 3));
    const unsigned b = f.var("b", qarn::iset(2, 3));
    const unsigned x = f.defined_var("X", qarn::iset(0, 100));
    const auto annotations = context_fixture::defines("X");
    EXPECT_TRUE(f.post("times", {vov::variable(a), vov::variable(b), vov::variable(x)}, &annotations));
    EXPECT_TRUE(f.ctx.set_objective(f.out, nullptr, parser_context::MAXIMIZE, x));
    ASSERT_TRUE(f.ctx.create_constraints(f.out));
    f.s.m_quiet = true;
    std::ostringstream ignored;
    EXPECT_EQ(f.s.solve(&ignored), qarn::solver::OPTIMAL);
    EXPECT_TRUE(f.s.optimum_proven());
    EXPECT_EQ(f.s.domain(x).min(), 9);
    EXPECT_EQ(f.ctx.evaluate_objective(), 9);
}

TEST(ParserContext, UnknownNamesAreReported) {
    context_fixture f;
    const unsigned a = f.var("a", qarn::iset(1, 3));
    EXPECT_FALSE(f.post("nope", {vov::variable(a)}));
    const auto annotations = context_fixture::defines("Y");
    EXPECT_TRUE(f.post("le", {vov::variable(a), vov::constant(2)}, &annotations));
    EXPECT_EQ(f.out.str(), "m.fzn:9:12 constraint nope is unknown\n"
                           "% m.fzn:9:12: unknown defines_var(Y)\n");
}

TEST(ParserContext, PrintedValues) {
    context_fixture f;
    struct row {
        parser_context::element_type type;
        qarn::iset set;
        const char* text;
    };
    qarn::iset gap(1, 3);
    gap.insert(qarn::iset::range_type(7, 7));
    qarn::iset even(2, 2);
    even.insert(qarn::iset::range_type(4, 6), 2);
    const std::vector<row> rows{
        {1, qarn::iset(5), "5"},          {2, qarn::iset(0), "false"},
        {2, qarn::iset(1), "true"},       {5, gap, "{1..3, 7}"},
        {5, even, "{2, 4, 6}"},           {6, qarn::iset(1), "{true}"},
        {6, qarn::iset(0, 1), "{false, true}"}, {8, qarn::iset(4), "UNKNOWN_TYPE{4}"},
        {3, qarn::iset(4), ""},
    };
    for (const row& r : rows) {
        std::ostringstream os;
        f.ctx.print_values(os, r.type, r.set);
        EXPECT_EQ(os.str(), r.text);
    }
}

TEST(ParserContext, SolutionPrintsOutputSymbolsInNameOrder) {
    context_fixture f;
    parser_context::annotation_list var_out{parser_context::annotation_type("output_var")};
    parser_context::annotation_type array_out("output_array");
    array_out.arguments = std::make_unique<parser_context::argument_list>();
    array_out.arguments->push_back(std::make_unique<parser_context::array_dimension_argument>(
        std::vector<std::pair<int, int>>{{1, 2}}));
    parser_context::annotation_list array_annotations{array_out};
    parser_context::annotation_list bare{parser_context::annotation_type("output_array")};
    const vov seven = vov::constant(7);
    f.ctx.define_variable(f.out, qarn::iset(7, 7), f.at("X2", 1), nullptr, &var_out, 1);
    f.ctx.define_variable(f.out, qarn::iset(0, 9), f.at("X10", 2), &seven, &var_out, 1);
    f.ctx.define_variable(f.out, qarn::iset(1, 1), f.at("b", 3), nullptr, &var_out, 2);
    f.ctx.define_array(f.out, qarn::iset(3, 3), 2, f.at("arr", 4), nullptr, &array_annotations, 1);
    f.ctx.define_array(f.out, qarn::iset(3, 3), 1, f.at("e", 5), nullptr, &bare, 1);
    f.ctx.define_variable(f.out, qarn::iset(0, 1), f.at("hidden", 6), nullptr, nullptr, 1);
    std::ostringstream os;
    f.ctx.print_solution(os);
    EXPECT_EQ(os.str(), "X10 = 7;\nX2 = 7;\narr = array1d(1..2, [3, 3]);\nb = true;\ne = [];\n");
}

}  // namespace parser_context_test
