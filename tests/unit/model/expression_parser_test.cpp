// The functional-syntax parser: the trees of well-formed formulas, and the
// rejection of everything else (malformed or out-of-range integers, trailing
// text, unbalanced parentheses, empty arguments, unknown names, too many
// arguments, nesting beyond the bound) with a message naming the text.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "impl/model/expression_parser.h"
#include "tests/unit/test_helpers.h"

namespace expression_parser_test {

using namespace xcsp;
using qarn_test::error_of;

std::string prefix_of(const AST& tree) {
    std::ostringstream os;
    tree.prefixExpression(os);
    return os.str();
}

std::string nested(const char* open, int depth, const char* leaf) {
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += open;
    s += leaf;
    s += std::string(static_cast<std::size_t>(depth), ')');
    return s;
}

TEST(ExpressionParser, Formulas) {
    const struct {
        const char* text;
        const char* prefix;
    } cases[] = {
        {"add(x,3)", "add(x/$-1,3)"},
        {" add ( x ,\t3 )\n", "add(x/$-1,3)"},
        {"-5", "-5"},
        {"+5", "5"},
        {"007", "7"},
        {"2147483647", "2147483647"},
        {"-2147483648", "-2147483648"},
        {"x", "x/$-1"},
        {"x_1.b", "x_1.b/$-1"},
        {"true", "true"},
        {"false", "false"},
        {"if(lt(x,y),x,y)", "if(lt(x/$-1,y/$-1),x/$-1,y/$-1)"},
        {"add(1)", "add(1,)"},
        {"not(eq(neg(a),pow(b,-2)))", "not(eq(neg(a/$-1),pow(b/$-1,-2)))"},
    };
    ExpressionParser<DefaultASTFactory> parser;
    for (const auto& c : cases)
        EXPECT_EQ(prefix_of(*parser.prefixParser(c.text)), c.prefix) << c.text;

    const std::map<std::string, int> table{{"X", 3}, {"Y", 0}};
    parser.setParameterTable(&table);
    EXPECT_EQ(prefix_of(*parser.prefixParser("sub(Y,X)")), "sub(Y/$0,X/$3)");
    parser.setParameterTable(nullptr);
    EXPECT_EQ(prefix_of(*parser.prefixParser("sub(Y,Z)")), "sub(Y/$-1,Z/$-1)");
}

TEST(ExpressionParser, RejectedTexts) {
    const std::string too_deep = nested("neg(", ExpressionParser<DefaultASTFactory>::MAX_NESTING + 1, "1");
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"12abc", "invalid integer: \"12abc\" in \"12abc\""},
        {"1 2", "unexpected text: \"2\" in \"1 2\""},
        {"ad d(x,3)", "unexpected text: \"d\" in \"ad d(x,3)\""},
        {"add(1 2)", "unexpected text: \"2\" in \"add(1 2)\""},
        {"add(1,2)z", "unexpected text: \"z\" in \"add(1,2)z\""},
        {"add(1,2)z(3)", "unexpected text: \"z\" in \"add(1,2)z(3)\""},
        {"add(1,2)(", "unexpected text: \"(\" in \"add(1,2)(\""},
        {"(1)", "unexpected text: \"(\" in \"(1)\""},
        {",", "unexpected text: \",\" in \",\""},
        {"2147483648", "integer outside the 32-bit range: \"2147483648\" in \"2147483648\""},
        {"-2147483649", "integer outside the 32-bit range: \"-2147483649\" in \"-2147483649\""},
        {"add(x,99999999999999999999999)",
         "integer outside the 32-bit range: \"99999999999999999999999\" in "
         "\"add(x,99999999999999999999999)\""},
        {"_x", "invalid integer: \"_x\" in \"_x\""},
        {"-", "invalid integer: \"-\" in \"-\""},
        {"--1", "invalid integer: \"--1\" in \"--1\""},
        {"add(x,3", "unbalanced parentheses in \"add(x,3\""},
        {"add(x,", "unbalanced parentheses in \"add(x,\""},
        {"add(", "unbalanced parentheses in \"add(\""},
        {"add(1,2))", "unbalanced parentheses in \"add(1,2))\""},
        {")", "unbalanced parentheses in \")\""},
        {"neg()", "empty argument in \"neg()\""},
        {"add(1,)", "empty argument in \"add(1,)\""},
        {"add(,1)", "empty argument in \"add(,1)\""},
        {"", "missing formula in \"\""},
        {" \t", "missing formula in \" \t\""},
        {"ADD(1,2)", "unknown function symbol: \"ADD\" in \"ADD(1,2)\""},
        {"foo(x)", "unknown function symbol: \"foo\" in \"foo(x)\""},
        {"1(2)", "unknown function symbol: \"1\" in \"1(2)\""},
        {"neg(1,2)", "incorrect argument number: \"neg\" takes 1 argument in \"neg(1,2)\""},
        {"if(1,2,3,4)",
         "incorrect argument number: \"if\" takes 3 arguments in \"if(1,2,3,4)\""},
        {"eq(x,add(x,1,2))",
         "incorrect argument number: \"add\" takes 2 arguments in \"eq(x,add(x,1,2))\""},
        {too_deep,
         "nesting of function calls too deep in "
         "\"neg(neg(neg(neg(neg(neg(neg(neg(neg(neg(neg(neg(neg(neg(n...\""},
    };
    ExpressionParser<DefaultASTFactory> parser;
    for (const auto& c : cases)
        EXPECT_EQ(error_of([&] { parser.prefixParser(c.text); }), c.message) << c.text;

    const std::map<std::string, int> table{{"X", 0}};
    parser.setParameterTable(&table);
    EXPECT_EQ(error_of([&] { parser.prefixParser("add(X,y)"); }),
              "undefined variable found in expression: \"y\" in \"add(X,y)\"");
}

TEST(ExpressionParser, NestingUpToTheBound) {
    ExpressionParser<DefaultASTFactory> parser;
    const int depth = ExpressionParser<DefaultASTFactory>::MAX_NESTING;
    std::unique_ptr<AST> tree = parser.prefixParser(nested("abs(", depth, "-3"));
    struct none : VariableValuation {
        int getVarValue(unsigned) const override { return 0; }
    } values;
    EXPECT_EQ(tree->value(values), 3);
    // Failing deep inside frees everything built so far (checked under ASan).
    EXPECT_NE(error_of([&] { parser.prefixParser(nested("add(1,", depth - 1, "x1y(")); }),
              "<no error>");
}

TEST(ExpressionParser, FindPrefixFunction) {
    ExpressionParser<DefaultASTFactory> parser;
    const char* names[] = {"neg", "abs", "add", "sub", "mul", "div", "mod", "pow",
                           "if",  "min", "max", "eq",  "ne",  "ge",  "gt",  "le",
                           "lt",  "not", "and", "or",  "xor", "iff"};
    for (int i = 0; i < 22; ++i) {
        std::unique_ptr<ASTAbstractFunction> f = parser.findPrefixFunction(names[i]);
        EXPECT_EQ(f->getType(), F_NEG + i) << names[i];
        for (int a = 0; a < f->nbArg(); ++a)
            EXPECT_EQ(f->getArg(a), nullptr);
    }
    EXPECT_EQ(error_of([&] { parser.findPrefixFunction("Neg"); }),
              "unknown function symbol: \"Neg\"");
}

}  // namespace expression_parser_test
