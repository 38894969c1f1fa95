// The expression tree: 32-bit values (wrapping, the order in which
// arguments are read, the laziness of and, or and if, the defined outcomes of
// INT_MIN div -1, mod -1 and negative powers), the four printed forms, the
// node errors, record trees and the destruction of very deep trees.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "impl/model/expression_parser.h"
#include "impl/model/expression_tree.h"
#include "tests/unit/test_helpers.h"

namespace expression_tree_test {

using namespace xcsp;
using qarn_test::error_of;

// Values of the variables X, Y, Z (indices 0, 1, 2); records the order of
// the reads.
class logged_values : public VariableValuation {
public:
    explicit logged_values(std::vector<int> values) : m_values(std::move(values)) {}
    int getVarValue(unsigned index) const override {
        m_reads += static_cast<char>('X' + index);
        return m_values.at(index);
    }
    std::string& reads() const { return m_reads; }

private:
    std::vector<int> m_values;
    mutable std::string m_reads;
};

const std::map<std::string, int>& parameters() {
    static const std::map<std::string, int> table{{"X", 0}, {"Y", 1}, {"Z", 2}};
    return table;
}

std::unique_ptr<AST> parse(const std::string& text) {
    ExpressionParser<DefaultASTFactory> parser;
    parser.setParameterTable(&parameters());
    return parser.prefixParser(text);
}

std::string printed(const AST& tree, Syntax syntax) {
    std::ostringstream os;
    tree.expression(os, syntax);
    return os.str();
}

// The value, or the error's message.
std::string value_text(const AST& tree, const logged_values& values) {
    std::string result;
    std::string error = error_of([&] { result = std::to_string(tree.value(values)); });
    return error == "<no error>" ? result : error;
}

struct printed_case {
    const char* text;
    const char* prefix;
    const char* infix;
    const char* postfix;
};

TEST(ExpressionTree, PrintedForms) {
    const printed_case cases[] = {
        {"if(lt(X,Y),sub(Y,X),mod(X,Y))", "if(lt(X/$0,Y/$1),sub(Y/$1,X/$0),mod(X/$0,Y/$1))",
         "if((parm[0]<parm[1]),(parm[1]-parm[0]),(parm[0]%parm[1]))",
         "X/$0 Y/$1 lt Y/$1 X/$0 sub X/$0 Y/$1 mod if"},
        {"sub(X,3)", "sub(X/$0,3)", "(parm[0]-3)", "X/$0 3 sub"},
        {"add(X,3)", "add(X/$0,3)", "(parm[0]+3)", "X/$0 3 add"},
        {"neg(X)", "neg(X/$0)", "-(parm[0])", "X/$0 neg"},
        {"not(eq(X,-5))", "not(eq(X/$0,-5))", "!((parm[0]==-5))", "X/$0 -5 eq not"},
        {"abs(pow(X,2))", "abs(pow(X/$0,2))", "abs(pow(parm[0],2))", "X/$0 2 pow abs"},
        {"or(and(true,false),xor(X,iff(Y,Z)))", "or(and(true,false),xor(X/$0,iff(Y/$1,Z/$2)))",
         "((true&&false)||(parm[0]^(parm[1]==parm[2])))",
         "true false and X/$0 Y/$1 Z/$2 iff xor or"},
        {"min(max(X,Y),div(mul(X,Y),Z))", "min(max(X/$0,Y/$1),div(mul(X/$0,Y/$1),Z/$2))",
         "min(max(parm[0],parm[1]),((parm[0]*parm[1])/parm[2]))",
         "X/$0 Y/$1 max X/$0 Y/$1 mul Z/$2 div min"},
        {"ne(ge(X,Y),gt(le(X,Y),lt(X,Y)))", "ne(ge(X/$0,Y/$1),gt(le(X/$0,Y/$1),lt(X/$0,Y/$1)))",
         "((parm[0]>=parm[1])!=((parm[0]<=parm[1])>(parm[0]<parm[1])))",
         "X/$0 Y/$1 ge X/$0 Y/$1 le X/$0 Y/$1 lt gt ne"},
        {"add(1)", "add(1,)", "(1+)", "1  add"},
        {"-2147483648", "-2147483648", "-2147483648", "-2147483648"},
    };
    for (const printed_case& c : cases) {
        std::unique_ptr<AST> tree = parse(c.text);
        EXPECT_EQ(printed(*tree, PREFIX), c.prefix) << c.text;
        EXPECT_EQ(printed(*tree, INFIX), c.infix) << c.text;
        EXPECT_EQ(printed(*tree, POSTFIX), c.postfix) << c.text;
    }
}

TEST(ExpressionTree, MathmlForm) {
    EXPECT_EQ(printed(*parse("add(X,not(true))"), MATHML),
              "<math>\n  <apply>\n  <plus/>\n  <ci>X</ci>\n  <apply>\n  <not/>\n  <true/>\n"
              "  </apply>\n  </apply>\n</math>\n");
    EXPECT_EQ(printed(*parse("sub(-4,false)"), MATHML),
              "<math>\n  <apply>\n  <minus/>\n  <cn>-4</cn>\n  <false/>\n  </apply>\n</math>\n");
    // if has no MathML name.
    EXPECT_EQ(error_of([] { printed(*parse("if(X,1,2)"), MATHML); }), "unimplemented");
}

struct value_case {
    const char* text;
    std::vector<int> values; // X, Y, Z
    const char* value;       // or the error
    const char* reads;       // variables read, in order
};

TEST(ExpressionTree, ValuesAndOrderOfEvaluation) {
    const value_case cases[] = {
        {"if(lt(X,Y),sub(Y,X),mod(X,Y))", {7, 3, 0}, "1", "XYYX"},
        {"if(lt(X,Y),sub(Y,X),mod(X,Y))", {3, 7, 0}, "4", "XYYX"},
        {"div(X,Y)", {-7, 2, 0}, "-3", "YX"},
        {"mod(X,Y)", {-7, 2, 0}, "-1", "YX"},
        {"mod(X,Y)", {7, -2, 0}, "1", "YX"},
        {"div(X,Y)", {5, 0, 0}, "divide by 0", "Y"},
        {"mod(X,Y)", {5, 0, 0}, "modulo by 0", "Y"},
        {"div(div(X,Z),Y)", {1, 0, 0}, "divide by 0", "Y"},
        {"div(X,Y)", {INT_MIN, -1, 0}, "overflow in div(x,y) computation", "YX"},
        {"mod(X,Y)", {INT_MIN, -1, 0}, "0", "YX"},
        {"div(X,Y)", {INT_MIN, 1, 0}, "-2147483648", "YX"},
        {"min(X,Y)", {4, 9, 0}, "4", "YX"},
        {"max(X,Y)", {4, 9, 0}, "9", "YX"},
        {"and(X,div(Y,Z))", {0, 1, 0}, "0", "X"},
        {"and(X,Y)", {5, -3, 0}, "1", "XY"},
        {"and(X,Y)", {5, 0, 0}, "0", "XY"},
        {"or(X,div(Y,Z))", {2, 1, 0}, "1", "X"},
        {"or(X,Y)", {0, 0, 0}, "0", "XY"},
        {"or(X,Y)", {0, 7, 0}, "1", "XY"},
        {"if(X,Y,div(Y,Z))", {1, 6, 0}, "6", "XY"},
        {"if(X,div(Y,Z),Z)", {0, 6, 8}, "8", "XZ"},
        {"and(X)", {0, 0, 0}, "missing argument for a function", ""},
        {"xor(X,Y)", {2, 3, 0}, "1", "XY"},
        {"xor(X,Y)", {2, 1, 0}, "3", "XY"},
        {"iff(X,Y)", {2, 2, 0}, "1", "XY"},
        {"not(X)", {0, 0, 0}, "1", "X"},
        {"not(X)", {-4, 0, 0}, "0", "X"},
        {"eq(X,Y)", {3, 3, 0}, "1", "XY"},
        {"ne(X,Y)", {3, 3, 0}, "0", "XY"},
        {"ge(X,Y)", {INT_MIN, INT_MAX, 0}, "0", "XY"},
        {"gt(X,Y)", {0, -1, 0}, "1", "XY"},
        {"le(X,Y)", {-1, -1, 0}, "1", "XY"},
        {"lt(X,Y)", {-1, -1, 0}, "0", "XY"},
        {"add(X,Y)", {INT_MAX, 1, 0}, "-2147483648", "XY"},
        {"sub(X,Y)", {INT_MIN, 1, 0}, "2147483647", "XY"},
        {"mul(X,Y)", {65536, 65536, 0}, "0", "XY"},
        {"mul(X,Y)", {-3, 5, 0}, "-15", "XY"},
        {"abs(X)", {INT_MIN, 0, 0}, "-2147483648", "X"},
        {"abs(X)", {-5, 0, 0}, "5", "X"},
        {"neg(X)", {INT_MIN, 0, 0}, "-2147483648", "X"},
        {"pow(X,Y)", {0, 5, 0}, "0", "XY"},
        {"pow(X,Y)", {5, 0, 0}, "1", "XY"},
        {"pow(X,Y)", {0, 0, 0}, "pow(0,0) is undefined", "XY"},
        {"pow(X,Y)", {2, 30, 0}, "1073741824", "XY"},
        {"pow(X,Y)", {2, 31, 0}, "overflow in pow(x,y) computation", "XY"},
        {"pow(X,Y)", {-2, 31, 0}, "-2147483648", "XY"},
        {"pow(X,Y)", {65536, 1, 0}, "65536", "XY"},
        {"pow(X,Y)", {46341, 2, 0}, "overflow in pow(x,y) computation", "XY"},
        {"pow(X,Y)", {-3, 3, 0}, "-27", "XY"},
        {"pow(X,Y)", {2, -1, 0}, "0", "XY"},
        {"pow(X,Y)", {INT_MIN, -1, 0}, "0", "XY"},
        {"pow(X,Y)", {1, INT_MIN, 0}, "1", "XY"},
        {"pow(X,Y)", {-1, -3, 0}, "-1", "XY"},
        {"pow(X,Y)", {-1, INT_MIN, 0}, "1", "XY"},
        {"pow(X,Y)", {0, -2, 0}, "overflow in pow(x,y) computation", "XY"},
        {"pow(X,Y)", {-1, INT_MAX, 0}, "-1", "XY"},
        {"pow(X,Y)", {1, INT_MAX, 0}, "1", "XY"},
    };
    for (const value_case& c : cases) {
        std::unique_ptr<AST> tree = parse(c.text);
        logged_values values(c.values);
        EXPECT_EQ(value_text(*tree, values), c.value) << c.text;
        EXPECT_EQ(values.reads(), c.reads) << c.text;
    }
}

TEST(ExpressionTree, ContainersAndLeaves) {
    ASTList empty_list;
    ASTDict empty_dict;
    for (Syntax syntax : {PREFIX, INFIX, POSTFIX}) {
        EXPECT_EQ(printed(empty_list, syntax), "[ ]");
        EXPECT_EQ(printed(empty_dict, syntax), "{ }");
    }
    ASTList list;
    list.appendArg(std::make_unique<ASTVar>("x", 4));
    list.appendArg(std::make_unique<ASTInteger>(-2));
    list.appendArg(std::make_unique<ASTSymb>(SYMB_LE));
    EXPECT_EQ(list.nbArg(), 3);
    EXPECT_EQ(printed(list, PREFIX), "[ x/$4 -2 <= ]");
    EXPECT_EQ(printed(list, INFIX), "[ parm[4] -2 <= ]");
    ASTDict dict;
    dict.setArg("b", std::make_unique<ASTBoolean>(true));
    dict.setArg("a", std::make_unique<ASTSymb>(SYMB_NIL));
    EXPECT_EQ(dict.nbArg(), 2);
    EXPECT_EQ(printed(dict, POSTFIX), "{ /a nil /b true }");
    EXPECT_EQ(dict["b"]->getType(), BOOLEAN);
    const char* symbols[] = {"nil", "==", "!=", ">=", ">", "<=", "<"};
    for (int t = SYMB_NIL; t <= SYMB_LT; ++t)
        EXPECT_EQ(printed(ASTSymb(static_cast<NodeType>(t)), PREFIX), symbols[t - SYMB_NIL]);
    EXPECT_EQ(parse("X")->getType(), VAR);
    EXPECT_EQ(parse("iff(X,Y)")->getType(), F_IFF);
    EXPECT_EQ(parse("iff(X,Y)")->nbArg(), 2);
}

TEST(ExpressionTree, NodeErrors) {
    ASTVar var("x", 0);
    ASTInteger integer(1);
    ASTBoolean boolean(true);
    ASTSymb symbol(SYMB_EQ);
    ASTList list;
    ASTDict dict;
    ASTDictKey key("k");
    FunctionAdd add;
    logged_values values({0});
    std::ostringstream os;
    struct error_case {
        std::function<void()> operation;
        const char* message;
    } cases[] = {
        {[&] { list.value(values); }, "no valuation defined for a list"},
        {[&] { dict.value(values); }, "no valuation defined for a dict"},
        {[&] { symbol.value(values); }, "no valuation defined for a symbolic constant"},
        {[&] { add.value(values); }, "missing argument for a function"},
        {[&] { var.getArg(0); }, "request for an non existing child of an AST node"},
        {[&] { integer.getArg(0); }, "request for an non existing child of an AST node"},
        {[&] { key.getArg(0); }, "request for an non existing child of an AST node"},
        {[&] { list.getArg(0); }, "request for an non existing child of an AST node"},
        {[&] { add.getArg(2); }, "request for an non existing child of an AST node"},
        {[&] { dict.getArg(0); }, "dictionaries can't be accessed by index"},
        {[&] { dict.setArg(0, nullptr); }, "dictionaries can't be accessed by index"},
        {[&] { symbol.getArg(0); }, "abstract method called"},
        {[&] { symbol.setArg(0, nullptr); }, "abstract method called"},
        {[&] { list.setArg(0, nullptr); }, "abstract method called"},
        {[&] { integer.setArg(0, nullptr); }, "a constant cannot have any argument"},
        {[&] { boolean.setArg(0, nullptr); }, "a constant cannot have any argument"},
        {[&] { var.setArg(0, nullptr); }, "a variable cannot have any argument"},
        {[&] { key.value(values); }, "abstract method called"},
        {[&] { key.prefixExpression(os); }, "abstract method called"},
        {[&] { key.setArg(0, nullptr); }, "abstract method called"},
        {[&] { key.makeCTree(); }, "abstract method called"},
        {[&] { list.mathmlExpressionRec(os); }, "unimplemented"},
        {[&] { dict.mathmlExpressionRec(os); }, "unimplemented"},
        {[&] { symbol.mathmlExpressionRec(os); }, "unimplemented"},
        {[&] { ASTSymb(F_ADD).infixExpression(os); }, "unimplemented"},
        {[&] { add.setArg(2, std::make_unique<ASTInteger>(1)); }, "incorrect argument number"},
        {[&] { add.setArg(-1, nullptr); }, "incorrect argument number"},
        {[&] { dict.getArg("missing"); }, "couldn't find key in dictionary"},
        {[&] {
             dict.setArg("k", std::make_unique<ASTInteger>(1));
             dict.setArg("k", std::make_unique<ASTInteger>(2));
         },
         "multiple assignments to the same key in dictionary"},
        {[&] { var.expression(os, TREE); }, "can't use this method to get an AST"},
        {[&] { var.expression(os, static_cast<Syntax>(5)); }, "undefined syntax for an expressioin"},
    };
    for (const error_case& c : cases)
        EXPECT_EQ(error_of(c.operation), c.message);
    EXPECT_THROW(var["k"], std::bad_cast);

    struct bad_arity : ASTAbstractFunction {
        bad_arity() : ASTAbstractFunction(-1, "f", nullptr, nullptr, F_NEG) {}
        int value(const VariableValuation&) const override { return 0; }
        std::unique_ptr<ASTAbstractFunction> makeNode() const override { return nullptr; }
    };
    EXPECT_EQ(error_of([] { bad_arity f; }), "number of arguments cannot be negative");
}

TEST(ExpressionTree, RecordTree) {
    ASTList list;
    list.appendArg(parse("sub(X,7)"));
    list.appendArg(std::make_unique<ASTBoolean>(true));
    auto dict = std::make_unique<ASTDict>();
    dict->setArg("z", std::make_unique<ASTSymb>(SYMB_GT));
    dict->setArg("a", std::make_unique<ASTInteger>(-9));
    list.appendArg(std::move(dict));

    CTree* r = list.makeCTree();
    ASSERT_EQ(r->type, LIST);
    CTreeList* l = reinterpret_cast<CTreeList*>(r);
    ASSERT_EQ(l->size, 3);
    CTreeList* sub = reinterpret_cast<CTreeList*>(children(l)[0]);
    EXPECT_EQ(sub->type, F_SUB);
    ASSERT_EQ(sub->size, 2);
    CTreeVar* x = reinterpret_cast<CTreeVar*>(children(sub)[0]);
    EXPECT_EQ(x->type, VAR);
    EXPECT_STREQ(x->name, "X");
    EXPECT_EQ(x->index, 0);
    EXPECT_EQ(reinterpret_cast<CTreeInteger*>(children(sub)[1])->value, 7);
    CTreeBoolean* b = reinterpret_cast<CTreeBoolean*>(children(l)[1]);
    EXPECT_EQ(b->type, BOOLEAN);
    EXPECT_EQ(b->value, 1);
    CTreeDict* d = reinterpret_cast<CTreeDict*>(children(l)[2]);
    EXPECT_EQ(d->type, DICT);
    ASSERT_EQ(d->size, 2);
    EXPECT_STREQ(entries(d)[0].key, "a");
    EXPECT_EQ(reinterpret_cast<CTreeInteger*>(entries(d)[0].value)->value, -9);
    EXPECT_STREQ(entries(d)[1].key, "z");
    EXPECT_EQ(entries(d)[1].value->type, SYMB_GT);
    freeCTree(r);
}

TEST(ExpressionTree, VeryDeepTreesAreDestroyedWithoutRecursion) {
    // Far deeper than any recursion over the tree could go on the stack.
    constexpr int DEPTH = 1000000;
    std::unique_ptr<AST> tree = std::make_unique<ASTInteger>(1);
    for (int i = 0; i < DEPTH; ++i) {
        std::unique_ptr<AST> node;
        if (i % 3 == 0) {
            auto list = std::make_unique<ASTList>();
            list->appendArg(std::move(tree));
            node = std::move(list);
        } else if (i % 3 == 1) {
            auto dict = std::make_unique<ASTDict>();
            dict->setArg("k", std::move(tree));
            node = std::move(dict);
        } else {
            auto add = std::make_unique<FunctionAdd>();
            add->setArg(1, std::move(tree));
            node = std::move(add);
        }
        tree = std::move(node);
    }
    tree.reset();
    SUCCEED();
}

}  // namespace expression_tree_test
