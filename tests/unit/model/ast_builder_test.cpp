// The model builder: random expression trees built into a solver and every
// solution enumerated, against brute-force evaluation of the tree; classes
// of equal variables and recorded differences, clauses, all-different
// detection, auxiliary variable names, parity, weighted sums, evaluation on
// a solution and tree copies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <climits>
#include <iostream>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/model/ast_builder.h"
#include "impl/model/expression_parser.h"
#include "impl/model/expression_tree.h"
#include "impl/propagators/all_different_propagator.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/power_propagator.h"
#include "impl/propagators/sum_propagators.h"
#include "tests/unit/test_helpers.h"

namespace ast_builder_test {

using namespace qarn;
using qarn_test::error_of;
using qarn_test::same;

constexpr bool BIG = MIN_DOMAIN < 0; // the small model holds 0..31 only

typedef std::unique_ptr<xcsp::AST> tree;

// ---- random trees

class tree_maker {
public:
    tree_maker(std::mt19937& random, unsigned vars) : m_random(random), m_vars(vars) {}

    tree integer(unsigned depth) {
        if (depth == 0 || pick(10) < 3)
            return leaf();
        static const xcsp::NodeType ops[] = {xcsp::F_NEG, xcsp::F_ABS, xcsp::F_ADD, xcsp::F_SUB,
                                             xcsp::F_MUL, xcsp::F_DIV, xcsp::F_MOD, xcsp::F_IF,
                                             xcsp::F_MIN, xcsp::F_MAX, xcsp::F_POW};
        if (pick(10) == 0)
            return boolean(depth);
        const xcsp::NodeType op = ops[pick(std::size(ops))];
        tree f = function(op);
        for (int i = 0; i < f->nbArg(); ++i)
            f->setArg(i, op == xcsp::F_IF && i == 0 ? boolean(depth - 1)
                         // A power over two unbounded auxiliaries sends the
                         // power propagator through huge domains: leaves only.
                         : op == xcsp::F_POW ? (i == 0 ? leaf() : exponent())
                                             : integer(depth - 1));
        return f;
    }

    tree boolean(unsigned depth) {
        if (depth == 0 || pick(10) < 2) {
            if (pick(3) == 0)
                return std::make_unique<xcsp::ASTBoolean>(pick(2) == 1);
            return variable();
        }
        static const xcsp::NodeType ops[] = {xcsp::F_EQ,  xcsp::F_NE, xcsp::F_GE,  xcsp::F_GT,
                                             xcsp::F_LE,  xcsp::F_LT, xcsp::F_NOT, xcsp::F_AND,
                                             xcsp::F_OR,  xcsp::F_XOR, xcsp::F_IFF};
        const xcsp::NodeType op = ops[pick(std::size(ops))];
        tree f = function(op);
        const bool logical = op >= xcsp::F_NOT || (op == xcsp::F_EQ && pick(3) == 0);
        for (int i = 0; i < f->nbArg(); ++i)
            f->setArg(i, logical && pick(5) != 0 ? boolean(depth - 1) : integer(depth - 1));
        return f;
    }

private:
    unsigned pick(std::size_t n) { return static_cast<unsigned>(m_random() % n); }

    tree exponent() { return std::make_unique<xcsp::ASTInteger>(static_cast<int>(pick(4))); }

    tree variable() {
        const int k = static_cast<int>(pick(m_vars));
        return std::make_unique<xcsp::ASTVar>("x" + std::to_string(k), k);
    }

    tree leaf() {
        if (pick(5) < 3)
            return variable();
        static const int big[] = {INT_MIN, INT_MIN + 1, -2, -1, 0, 1, 2, 3, INT_MAX - 1, INT_MAX};
        static const int small[] = {0, 1, 2, 3, 31};
        const int c = BIG ? big[pick(std::size(big))] : small[pick(std::size(small))];
        return std::make_unique<xcsp::ASTInteger>(c);
    }

    static tree function(xcsp::NodeType op) {
        static const std::unique_ptr<xcsp::ASTAbstractFunction> prototypes[] = {
            std::make_unique<xcsp::FunctionNeg>(), std::make_unique<xcsp::FunctionAbs>(),
            std::make_unique<xcsp::FunctionAdd>(), std::make_unique<xcsp::FunctionSub>(),
            std::make_unique<xcsp::FunctionMul>(), std::make_unique<xcsp::FunctionDiv>(),
            std::make_unique<xcsp::FunctionMod>(), std::make_unique<xcsp::FunctionPow>(),
            std::make_unique<xcsp::FunctionIf>(),  std::make_unique<xcsp::FunctionMin>(),
            std::make_unique<xcsp::FunctionMax>(), std::make_unique<xcsp::FunctionEQ>(),
            std::make_unique<xcsp::FunctionNE>(),  std::make_unique<xcsp::FunctionGE>(),
            std::make_unique<xcsp::FunctionGT>(),  std::make_unique<xcsp::FunctionLE>(),
            std::make_unique<xcsp::FunctionLT>(),  std::make_unique<xcsp::FunctionNot>(),
            std::make_unique<xcsp::FunctionAnd>(), std::make_unique<xcsp::FunctionOr>(),
            std::make_unique<xcsp::FunctionXor>(), std::make_unique<xcsp::FunctionIff>()};
        return prototypes[op - xcsp::F_NEG]->makeNode();
    }

    std::mt19937& m_random;
    unsigned m_vars;
};

// ---- brute force
// A node's value must be a value a domain may hold; one without (an
// overflow, a value outside the small model's range) is unknown. `lazy`
// follows only the branch an if takes, so a tree is satisfied by every
// value where it is unknown; `all_known` tells whether every node of the
// tree, both branches included, has a value. The builder must accept every
// assignment where all nodes have values and the relation holds, and no
// assignment that the lazy value excludes.

std::optional<std::int64_t> known(std::int64_t v) {
    if (v < MIN_DOMAIN || v > MAX_DOMAIN)
        return std::nullopt;
    return v;
}

std::optional<std::int64_t> lazy(const xcsp::AST& e, const std::vector<int>& x, bool& all_known) {
    const int n = e.nbArg();
    std::vector<std::optional<std::int64_t>> a;
    for (int i = 0; i < n; ++i)
        a.push_back(lazy(*e.getArg(i), x, all_known));
    std::optional<std::int64_t> r;
    const auto type = e.getType();
    if (type == xcsp::VAR)
        r = x[static_cast<unsigned>(static_cast<const xcsp::ASTVar&>(e).index())];
    else if (type == xcsp::INTEGER)
        r = static_cast<const xcsp::ASTInteger&>(e).getValue();
    else if (type == xcsp::BOOLEAN)
        r = static_cast<const xcsp::ASTBoolean&>(e).getValue() ? 1 : 0;
    else if (type == xcsp::F_IF) {
        if (a[0])
            r = *a[0] != 0 ? a[1] : a[2];
        else if (a[1] && a[2] && *a[1] == *a[2])
            r = a[1];
    } else {
        bool args_known = true;
        for (const auto& v : a)
            args_known = args_known && v.has_value();
        if (args_known) {
            const std::int64_t p = n > 0 ? *a[0] : 0, q = n > 1 ? *a[1] : 0;
            switch (type) {
            case xcsp::F_NEG:
                r = known(static_cast<int>(static_cast<std::uint32_t>(-p))); // wraps
                break;
            case xcsp::F_ABS: r = known(p < 0 ? -p : p); break;
            case xcsp::F_ADD: r = known(p + q); break;
            case xcsp::F_SUB: r = known(p - q); break;
            case xcsp::F_MUL: r = known(p * q); break;
            case xcsp::F_DIV: r = known(q == 0 ? 0 : p / q); break;
            case xcsp::F_MOD: r = known(q == 0 ? 0 : p % q); break;
            case xcsp::F_POW:
                r = known(pow_propagator::evaluate(static_cast<int>(p), static_cast<int>(q)));
                break;
            case xcsp::F_MIN: r = std::min(p, q); break;
            case xcsp::F_MAX: r = std::max(p, q); break;
            case xcsp::F_EQ: case xcsp::F_IFF: r = p == q; break;
            case xcsp::F_NE: case xcsp::F_XOR: r = p != q; break;
            case xcsp::F_GE: r = p >= q; break;
            case xcsp::F_GT: r = p > q; break;
            case xcsp::F_LE: r = p <= q; break;
            case xcsp::F_LT: r = p < q; break;
            case xcsp::F_NOT: r = p == 0; break;
            case xcsp::F_AND: r = p != 0 && q != 0; break;
            case xcsp::F_OR: r = p != 0 || q != 0; break;
            default: ADD_FAILURE() << "unexpected node " << type;
            }
        }
    }
    if (!r)
        all_known = false;
    return r;
}

bool is_boolean_kind(unsigned type) {
    return type == xcsp::BOOLEAN || (type >= xcsp::F_EQ && type <= xcsp::F_IFF);
}

typedef std::vector<int> solution; // x0 .. x(n-1), r

// The "c name=value, ..." lines of an all-solutions run.
std::set<solution> printed_solutions(const std::string& text) {
    std::set<solution> solutions;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("c ", 0) != 0 || line.find('=') == std::string::npos)
            continue;
        solution s;
        for (std::size_t at = line.find('='); at != std::string::npos; at = line.find('=', at + 1))
            s.push_back(std::stoi(line.substr(at + 1)));
        EXPECT_TRUE(solutions.insert(s).second) << "repeated " << line;
    }
    return solutions;
}

struct case_result {
    bool built = true;
    std::string failure;
};

// Builds `expr` tied to a result of domain `rd` as `usage` says, enumerates
// every solution and checks it against the brute force; also the value
// evaluate() gives on each solution.
// Checks one tree; false when the one-word set refused to build it.
bool check_tree(const xcsp::AST& expr, const std::vector<iset>& domains, const iset& rd,
                AST_builder::usage_type usage, const std::string& trace) {
    if (std::getenv("QARN_TRACE_TREES"))
        std::cerr << "TREE " << trace << std::endl;
    solver s;
    std::vector<unsigned> args;
    for (unsigned i = 0; i < domains.size(); ++i)
        args.push_back(s.add_var(domains[i], ("x" + std::to_string(i)).c_str(), false));
    const unsigned r = s.add_var(rd, "r", false);
    AST_builder b(s);
    try {
        b.connect_expr(args, r, expr, usage);
        b.connectivity().create_all_constraints();
    } catch (const std::out_of_range&) {
        // The one-word set refuses a sub-expression whose value bounds (by
        // interval arithmetic, so possibly wider than the values it takes)
        // leave 0..31: the run ends with the set's message, never with a
        // wrong answer.
        EXPECT_FALSE(BIG) << trace << " refused";
        return false;
    }
    s.m_all_solutions = true;
    s.m_vars_to_print = static_cast<int>(args.size() + 1);
    std::ostringstream out;
    const solver::result_type result = s.solve(&out);
    EXPECT_TRUE(result == solver::UNSAT || result == solver::SAT_DONE) << trace;
    if (result != solver::UNSAT && result != solver::SAT_DONE)
        return true;
    const std::set<solution> got = printed_solutions(out.str());

    // Every assignment of the variables and the result.
    std::vector<std::vector<int>> values;
    for (const iset& d : domains) {
        values.emplace_back();
        for (int v : d)
            values.back().push_back(v);
    }
    values.emplace_back();
    for (int v : rd)
        values.back().push_back(v);
    std::vector<std::size_t> pick(values.size(), 0);
    std::size_t required = 0;
    for (bool more = true; more;) {
        solution a;
        for (std::size_t i = 0; i < values.size(); ++i)
            a.push_back(values[i][pick[i]]);
        bool all_known = true;
        const std::vector<int> x(a.begin(), a.end() - 1);
        const std::optional<std::int64_t> v = lazy(expr, x, all_known);
        const int rv = a.back();
        auto relation = [&](std::int64_t value) {
            return usage == AST_builder::BOTH_WAYS        ? rv == value
                   : usage == AST_builder::RESULT_IMPLIES ? rv == 0 || value != 0
                                                          : rv == 1 || value == 0;
        };
        const bool allowed = !v || relation(*v);
        const bool needed = all_known && relation(*v);
        const bool found = got.count(a) != 0;
        std::string text;
        for (int e : a)
            text += " " + std::to_string(e);
        if (needed) {
            ++required;
            EXPECT_TRUE(found) << trace << " misses" << text;
        }
        if (found) {
            EXPECT_TRUE(allowed) << trace << " wrongly accepts" << text;
        }
        more = false;
        for (std::size_t i = 0; i < values.size() && !more; ++i) {
            if (++pick[i] < values[i].size())
                more = true;
            else
                pick[i] = 0;
        }
    }
    (void)required;
    // evaluate() on a solution: the tree's value (unknown values wrap).
    if (!got.empty() && usage == AST_builder::BOTH_WAYS) {
        const solution& a = *got.begin();
        for (unsigned i = 0; i < args.size(); ++i)
            s.set_var_domain(args[i], iset(a[i]), -1);
        bool all_known = true;
        const std::optional<std::int64_t> v =
            lazy(expr, std::vector<int>(a.begin(), a.end() - 1), all_known);
        int value = 0;
        EXPECT_NO_THROW(value = b.evaluate(expr)) << trace;
        if (v) {
            EXPECT_EQ(value, *v) << trace;
        }
    }
    return true;
}

// Every node of the tree has a value on every assignment (small model:
// values stay within 0..31).
bool always_known(const xcsp::AST& expr, const std::vector<iset>& domains) {
    std::vector<std::size_t> pick(domains.size(), 0);
    std::vector<std::vector<int>> values;
    for (const iset& d : domains) {
        values.emplace_back();
        for (int v : d)
            values.back().push_back(v);
    }
    for (bool more = true; more;) {
        std::vector<int> x;
        for (std::size_t i = 0; i < values.size(); ++i)
            x.push_back(values[i][pick[i]]);
        bool all_known = true;
        lazy(expr, x, all_known);
        if (!all_known)
            return false;
        more = false;
        for (std::size_t i = 0; i < values.size() && !more; ++i) {
            if (++pick[i] < values[i].size())
                more = true;
            else
                pick[i] = 0;
        }
    }
    return true;
}

// QARN_TRACE_TREES=1 lists the trees as they are checked.
TEST(ASTBuilder, RandomTreesMatchBruteForce) {
    std::mt19937 random(2024);
    const unsigned trees = 2500;
    unsigned boolean_trees = 0, integer_trees = 0;
    for (unsigned t = 0; t < trees; ++t) {
        const unsigned n = 2 + random() % 3;
        std::vector<iset> domains;
        for (unsigned i = 0; i < n; ++i) {
            iset d;
            static const int big[] = {-2, -1, 0, 1, 2, 3};
            const unsigned size = 2 + random() % 2;
            while (d.size() < size) {
                const int v = BIG ? (random() % 12 == 0 ? (random() % 2 ? INT_MAX : INT_MIN)
                                                        : big[random() % 6])
                                  : static_cast<int>(random() % 4);
                d.insert(iset::range_type(v, v));
            }
            domains.push_back(d);
        }
        tree_maker maker(random, n);
        const bool want_boolean = t % 2 == 0;
        tree expr = want_boolean ? maker.boolean(3) : maker.integer(3);
        if (!BIG && !always_known(*expr, domains))
            continue;
        std::ostringstream text;
        expr->prefixExpression(text);
        for (unsigned i = 0; i < n; ++i)
            text << " x" << i << "=" << domains[i];
        if (is_boolean_kind(expr->getType())) {
            bool built = false;
            for (auto usage : {AST_builder::BOTH_WAYS, AST_builder::RESULT_IMPLIES,
                               AST_builder::IMPLIES_RESULT})
                for (const iset& rd : {iset(0, 1), iset(0), iset(1)}) {
                    std::ostringstream trace;
                    trace << text.str() << " usage " << usage << " r in " << rd;
                    built |= check_tree(*expr, domains, rd, usage, trace.str());
                }
            boolean_trees += built;
        } else {
            // The result ranges over the values the tree takes and a few more.
            iset rd(BIG ? -1 : 0, 1);
            std::vector<std::vector<int>> values(n);
            for (unsigned i = 0; i < n; ++i)
                for (int v : domains[i])
                    values[i].push_back(v);
            std::vector<std::size_t> pick(n, 0);
            for (bool more = true; more;) {
                std::vector<int> x;
                for (unsigned i = 0; i < n; ++i)
                    x.push_back(values[i][pick[i]]);
                bool all_known = true;
                if (auto v = lazy(*expr, x, all_known))
                    rd.insert(iset::range_type(static_cast<int>(*v), static_cast<int>(*v)));
                more = false;
                for (unsigned i = 0; i < n && !more; ++i) {
                    if (++pick[i] < values[i].size())
                        more = true;
                    else
                        pick[i] = 0;
                }
            }
            integer_trees += check_tree(*expr, domains, rd, AST_builder::BOTH_WAYS, text.str());
        }
        if (testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(boolean_trees, BIG ? 1000u : 200u);
    EXPECT_GT(integer_trees, BIG ? 1000u : 200u);
}

// What f writes to standard output.
std::string stdout_of(const std::function<void()>& f) {
    std::ostringstream captured;
    std::streambuf* original = std::cout.rdbuf(captured.rdbuf());
    f();
    std::cout.rdbuf(original);
    return captured.str();
}

unsigned count_all_different(const solver& s) {
    unsigned n = 0;
    for (unsigned c = 0; c < s.constraint_count(); ++c)
        n += dynamic_cast<const all_different_propagator*>(s.propagator(c)) != nullptr;
    return n;
}

// Pairwise differences among three variables are one all-different; with a
// pair missing there is no clique to find.
TEST(ASTBuilderAllDifferent, DetectedOnlyAmongCompleteCliques) {
    struct row {
        std::vector<std::pair<unsigned, unsigned>> pairs;
        unsigned expected;
        std::string printed;
    };
    const row rows[] = {
        // The clique is listed as found: the later members, then the first.
        {{{0, 1}, {0, 2}, {1, 2}}, 1, "\ncdeduced all_different(b,a,c)\nc"},
        {{{0, 1}, {1, 2}}, 0, ""},
        {{{0, 1}, {0, 2}}, 0, ""},
    };
    for (const row& r : rows) {
        solver s;
        for (const char* name : {"c", "b", "a"})
            s.add_var(iset(0, 3), name, false);
        AST_builder b(s);
        for (const auto& p : r.pairs)
            b.differentiate_variables(p.first, p.second);
        const std::string printed = stdout_of([&] { b.detect_all_diff(); });
        EXPECT_EQ(count_all_different(s), r.expected);
        EXPECT_EQ(printed, r.printed);
    }
}

TEST(ASTBuilderBookkeeping, DiffSetsFollowAReplacedVariable) {
    solver s;
    for (int i = 0; i < 4; ++i)
        s.add_var(iset(0, 3), nullptr, false);
    AST_builder b(s);
    b.mark_unequal_variables(0, 1);
    b.mark_unequal_variables(0, 2);
    b.replace_var_in_diff_set(0, 3);
    EXPECT_TRUE(b.diff_sets()[0].empty());
    EXPECT_EQ(b.diff_sets()[3], (std::set<unsigned>{1, 2}));
    EXPECT_EQ(b.diff_sets()[1], (std::set<unsigned>{3}));
    EXPECT_EQ(b.diff_sets()[2], (std::set<unsigned>{3}));
}

TEST(ASTBuilderBookkeeping, UnsatisfiableWithoutVariables) {
    solver s;
    AST_builder b(s);
    b.mark_unsat();
    EXPECT_TRUE(b.is_marked_unsat());
    EXPECT_EQ(s.solve(nullptr), solver::UNSAT);
}

TEST(ASTBuilderBookkeeping, AuxiliaryNamesAndDeepCopies) {
    // add(X, mul(X, Y)) over the variables 0 and 1.
    std::unique_ptr<xcsp::AST> product = tree(std::make_unique<xcsp::FunctionMul>()->makeNode());
    product->setArg(0, std::make_unique<xcsp::ASTVar>("X", 0));
    product->setArg(1, std::make_unique<xcsp::ASTVar>("Y", 1));
    std::unique_ptr<xcsp::AST> expr = tree(std::make_unique<xcsp::FunctionAdd>()->makeNode());
    expr->setArg(0, std::make_unique<xcsp::ASTVar>("X", 0));
    expr->setArg(1, std::move(product));
    const std::unique_ptr<xcsp::AST> copy = deep_copy(*expr);
    std::ostringstream a, c;
    expr->prefixExpression(a);
    copy->prefixExpression(c);
    EXPECT_EQ(a.str(), c.str());

    solver s;
    s.add_var(iset(0, 2), "X", false);
    s.add_var(iset(0, 2), "Y", false);
    const unsigned r = s.add_var(iset(0, 10), "R", false);
    AST_builder b(s);
    b.connect_expr({0, 1}, r, *copy, AST_builder::BOTH_WAYS);
    std::vector<std::string> names;
    for (unsigned v = 3; v < s.var_count(); ++v) {
        std::ostringstream name;
        s.assignment().print_var_name(name, v);
        names.push_back(name.str());
    }
    // The sum is tied to R itself; the product gets the operator's own
    // numbered result variable.
    EXPECT_EQ(names, (std::vector<std::string>{"mul0"}));
}

// The tree of a functional-syntax formula over the variables X, Y, Z, W
// (expression variables 0 to 3).
std::unique_ptr<xcsp::AST> parsed(const std::string& text) {
    static const std::map<std::string, int> parameters{{"X", 0}, {"Y", 1}, {"Z", 2}, {"W", 3}};
    xcsp::ExpressionParser<xcsp::DefaultASTFactory> parser;
    parser.setParameterTable(&parameters);
    return parser.prefixParser(text);
}

std::string name_of(const solver& s, unsigned v) {
    std::ostringstream name;
    s.assignment().print_var_name(name, v);
    return name.str();
}

template <class P> unsigned count_of(const solver& s) {
    unsigned n = 0;
    for (unsigned c = 0; c < s.constraint_count(); ++c)
        n += dynamic_cast<const P*>(s.propagator(c)) != nullptr;
    return n;
}

// A predicate call: the name as a variable node, then the arguments.
std::unique_ptr<xcsp::AST> predicate(const char* name, const std::vector<std::string>& args) {
    auto list = std::make_unique<xcsp::ASTList>();
    list->appendArg(std::make_unique<xcsp::ASTVar>(name, -1));
    for (const std::string& a : args)
        list->appendArg(parsed(a));
    return list;
}

struct four_vars {
    solver s;
    AST_builder b{s};
    AST_builder::var_args args;
    explicit four_vars(const iset& domain = iset(0, 3)) {
        for (const char* name : {"X", "Y", "Z", "W"})
            args.push_back(s.add_var(domain, name, false));
    }
};

// Auxiliary variables are named after their role and the number of
// variables when they were made; one difference of two variables is one
// cached 0/1 variable whichever way round it is written.
TEST(ASTBuilderBookkeeping, GeneratedVariableNames) {
    four_vars m;
    const unsigned sub = m.b.expression_to_variable(m.args, *parsed("max(X,Y)"), NO_VARIABLE,
                                                    AST_builder::BOTH_WAYS);
    EXPECT_EQ(name_of(m.s, sub), "_internal_subexpression_4");

    const unsigned r = m.s.add_var(iset(0, 3), "R", false);
    m.b.connect_expr(m.args, r, *parsed("max(X,X)"), AST_builder::BOTH_WAYS);
    EXPECT_EQ(name_of(m.s, r + 1), "_equivalent_6_of_X");
    EXPECT_EQ(m.s.var_count(), r + 2);

    const unsigned xy = m.b.ne_to_var(m.args, *parsed("ne(X,Y)"), NO_VARIABLE,
                                      AST_builder::BOTH_WAYS);
    EXPECT_EQ(name_of(m.s, xy), "_internal_X_ne_Y");
    EXPECT_EQ(m.b.ne_to_var(m.args, *parsed("ne(Y,X)"), NO_VARIABLE, AST_builder::BOTH_WAYS),
              xy);
    // A constant shares the solver's singleton variable: max(3,3) adds none.
    const unsigned three =
        m.b.expression_to_variable(m.args, *parsed("3"), NO_VARIABLE, AST_builder::BOTH_WAYS);
    EXPECT_EQ(m.b.expression_to_variable(m.args, *parsed("3"), NO_VARIABLE,
                                         AST_builder::BOTH_WAYS),
              three);
    const unsigned before = m.s.var_count();
    m.b.connect_expr(m.args, r, *parsed("max(3,3)"), AST_builder::BOTH_WAYS);
    EXPECT_EQ(m.s.var_count(), before);
}

// Parity folds fixed variables in, narrows a lone free one, equates two
// under even parity and posts a sum modulo 2 otherwise; a parity that
// cannot be met is reported and marks the model unsatisfiable.
TEST(ASTBuilderPredicates, Parity) {
    struct row {
        std::vector<iset> domains;
        bool parity;
        unsigned equalities, sums;
        bool unsat;
        std::string printed;
    };
    const iset b01(0, 1), one(1), zero(0);
    const row rows[] = {
        {{one, zero, one}, false, 0, 0, false, ""},
        {{one, zero, one}, true, 0, 0, true, "c UNSAT because XOR of X, Y, Z, does not give 1\n"},
        {{one, b01}, false, 0, 0, false, ""},
        {{b01, b01}, false, 1, 0, false, ""},
        {{b01, b01}, true, 0, 1, false, ""},
        {{b01, one, b01, b01}, false, 0, 1, false, ""},
    };
    for (const row& r : rows) {
        four_vars m(b01);
        for (std::size_t i = 0; i < r.domains.size(); ++i)
            m.s.set_var_domain(static_cast<unsigned>(i), r.domains[i], -1);
        const std::vector<unsigned> vars(m.args.begin(), m.args.begin() + r.domains.size());
        const std::string printed = stdout_of([&] { m.b.connect_parity(vars, r.parity); });
        EXPECT_EQ(printed, r.printed);
        EXPECT_EQ(m.b.is_marked_unsat(), r.unsat);
        EXPECT_EQ(count_of<equal_propagator>(m.s), r.equalities);
        EXPECT_EQ(count_of<sum_mod_propagator>(m.s), r.sums);
        if (r.domains.size() == 2 && same(r.domains[0], one)) { // the lone free one
            EXPECT_TRUE(same(m.s.domain(1), iset(1)));
        }
    }
}

// Weighted sums whose negation or limit has no 32-bit form are refused
// before anything is posted.
TEST(ASTBuilderPredicates, WeightedSumOverflow) {
    struct row {
        std::vector<int> coefficients;
        bool ge;
        long long limit;
        const char* error;
    };
    const row rows[] = {
        {{1, INT_MIN}, false, 0, "coefficients of weightedsum are overflowing"},
        {{1, INT_MIN}, true, 0, nullptr},
        {{1, 1}, true, 2147483648LL, "Limit of weightedsum is overflowing"},
        {{1, 1}, false, -2147483648LL, "Limit of weightedsum is overflowing"},
        {{1, 1}, false, -2147483647LL, nullptr},
    };
    for (const row& r : rows) {
        four_vars m;
        const std::string error = error_of(
            [&] { m.b.instantiate_weighted_sum(r.coefficients, {0, 1}, r.ge, r.limit); });
        EXPECT_EQ(error, r.error ? r.error : "<no error>");
        EXPECT_EQ(m.s.constraint_count(), r.error ? 0u : 1u);
    }
}

// A weighted sum over no variables is 0: a relation that holds posts
// nothing, one that fails marks the model unsatisfiable, whatever the limit
// (even one whose negation has no 32-bit form).
TEST(ASTBuilderPredicates, WeightedSumWithoutTerms) {
    const struct {
        bool ge;
        long long limit;
        bool holds;
    } rows[] = {
        {true, 0, true},   {true, -1, true},  {true, 1, false},
        {false, 0, true},  {false, 1, true},  {false, -1, false},
        {false, INT_MIN, false}, {true, INT_MIN, true}, {true, INT_MAX, false},
    };
    for (const auto& r : rows) {
        four_vars m;
        EXPECT_EQ(error_of([&] { m.b.instantiate_weighted_sum({}, {}, r.ge, r.limit); }),
                  "<no error>");
        EXPECT_EQ(m.s.constraint_count(), 0u) << r.ge << " " << r.limit;
        EXPECT_EQ(m.b.is_marked_unsat(), !r.holds) << r.ge << " " << r.limit;
    }
}

// A result made with every value (an objective) tied to an expression: the
// large model never refuses; the one-word set refuses, with its
// out-of-range error, exactly the expressions whose value bounds leave
// 0..31, whatever node stands at the root.
TEST(ASTBuilder, UnboundedResultFitsTheSet) {
    const struct {
        const char* formula;
        int lo, hi; // the domain of X, Y, Z and W
        bool fits;  // in 0..31
    } rows[] = {
        {"add(X,Y)", 0, 15, true},      {"add(X,Y)", 0, 16, false},
        {"add(X,Y)", 20, 31, false},    {"add(X,X)", 0, 15, true},
        {"add(X,X)", 0, 16, false},     {"mul(X,6)", 0, 5, true},
        {"mul(X,20)", 2, 3, false},     {"sub(X,Y)", 0, 5, false},
        {"sub(add(X,5),Y)", 0, 5, true}, {"neg(X)", 1, 3, false},
        {"pow(X,2)", 0, 5, true},       {"pow(2,X)", 0, 5, false},
        {"min(X,Y)", 0, 31, true},      {"max(X,add(Y,Z))", 0, 15, true},
        {"max(X,add(Y,Z))", 0, 16, false}, {"if(lt(X,Y),Y,X)", 0, 31, true},
        {"if(lt(X,Y),add(Y,30),X)", 0, 5, false}, {"if(1,add(Y,30),X)", 0, 5, false},
        {"lt(X,Y)", 0, 31, true},       {"X", 0, 31, true},
        {"7", 0, 31, true},
    };
    for (const auto& r : rows)
        for (const AST_builder::usage_type usage :
             {AST_builder::RESULT_IMPLIES, AST_builder::IMPLIES_RESULT}) {
            four_vars m(iset(r.lo, r.hi));
            iset every;
            every.complement();
            const unsigned v = m.s.add_var(every, "objective", false);
            const tree t = parsed(r.formula);
            bool refused = false;
            try {
                m.b.connect_unbounded_result(m.args, v, *t, usage);
            } catch (const std::out_of_range&) {
                refused = true;
            }
            EXPECT_EQ(refused, !BIG && !r.fits) << r.formula << " " << usage;
            // The mark is dropped afterwards: a later result is not refitted.
            EXPECT_EQ(m.b.connectivity().unbounded_result(), NO_VARIABLE) << r.formula;
        }
}

// A function node missing arguments (a formula written with too few) is
// refused before anything reads the empty slots, wherever it stands: the
// root, an argument, an operand of a flattened and/or, an if branch.
TEST(ASTBuilder, FunctionWithTooFewArguments) {
    const struct {
        const char* formula;
        const char* error;
    } rows[] = {
        {"eq(X,add(1))", "incorrect argument number: \"add\" takes 2 arguments, 1 given"},
        {"eq(X,sub(1))", "incorrect argument number: \"sub\" takes 2 arguments, 1 given"},
        {"lt(X)", "incorrect argument number: \"lt\" takes 2 arguments, 1 given"},
        {"eq(X,min(1))", "incorrect argument number: \"min\" takes 2 arguments, 1 given"},
        {"eq(X,pow(2))", "incorrect argument number: \"pow\" takes 2 arguments, 1 given"},
        {"and(eq(X,1))", "incorrect argument number: \"and\" takes 2 arguments, 1 given"},
        {"eq(X,if(0,2))", "incorrect argument number: \"if\" takes 3 arguments, 2 given"},
        {"eq(X,if(lt(X,Y),1))", "incorrect argument number: \"if\" takes 3 arguments, 2 given"},
        {"eq(X,if(1,neg(Y),mod(Y)))",
         "incorrect argument number: \"mod\" takes 2 arguments, 1 given"},
        {"or(or(or(X,Y),or(Z)),W)", "incorrect argument number: \"or\" takes 2 arguments, 1 given"},
        {"and(X,and(Y,and(Z)))", "incorrect argument number: \"and\" takes 2 arguments, 1 given"},
        {"ne(X)", "incorrect argument number: \"ne\" takes 2 arguments, 1 given"},
        {"iff(X)", "incorrect argument number: \"iff\" takes 2 arguments, 1 given"},
        {"not(eq(abs(add(X)),Y))", "incorrect argument number: \"add\" takes 2 arguments, 1 given"},
        {"eq(X,add(1,Y))", "<no error>"},
    };
    for (const auto& r : rows)
        for (const AST_builder::usage_type usage :
             {AST_builder::BOTH_WAYS, AST_builder::RESULT_IMPLIES, AST_builder::IMPLIES_RESULT}) {
            four_vars m;
            const tree t = parsed(r.formula);
            EXPECT_EQ(error_of([&] {
                          m.b.connect_expr(m.args, m.s.singleton_var(1), *t, usage);
                      }),
                      r.error)
                << r.formula << " " << usage;
            four_vars n;
            EXPECT_EQ(error_of([&] {
                          n.b.expression_to_variable(n.args, *t, NO_VARIABLE, usage);
                      }),
                      r.error)
                << r.formula << " " << usage;
        }
}

// The named predicates: unconditional forms only, with the messages that
// say what is expected.
TEST(ASTBuilderPredicates, NamedPredicateForms) {
    struct row {
        const char* name;
        std::vector<std::string> args;
        int result; // -1: no result variable
        const char* error;
    };
    const row rows[] = {
        {"overlap", {"X", "2", "Y", "3"}, 0, nullptr},
        {"overlap", {"X", "2", "Y", "3"}, 1, "Only an unconditional !overlap(...) is supported"},
        {"overlap", {"X", "2", "Y", "3"}, -1, "Only an unconditional !overlap(...) is supported"},
        {"overlap", {"X", "2", "Y"}, 0,
         "Expecting exactly 4 arguments for overlap(start1,len1,start2,len2)"},
        {"overlap", {"X", "Z", "Y", "3"}, 0,
         "Expecting singletons for the length in overlap(start1,len1,start2,len2)"},
        {"sub_interval", {"X", "Y", "1", "3", "2", "7"}, 1, nullptr},
        {"sub_interval", {"X", "Y", "1", "3", "1"}, 0, nullptr},
        {"sub_interval", {"X", "Y", "1", "3", "2", "7"}, 0,
         "Expecting 4 or 5 arguments for sub_interval(from1,to1,from2,to2[,k]), which means "
         "[from1, to1-k] subseteq[from2,to2]"},
        {"sub_interval", {"X", "Y", "Z", "3"}, 1,
         "Need constant arguments const_from2,const_to2,k for "
         "sub_interval(from1,to1,const_from2,const_to2[,k])"},
        {"sub_interval", {"X", "Y", "1", "3"}, -1,
         "Only an unconditional sub_interval(...) is supported"},
        {"all_diff", {"X", "Y", "Z"}, 0, nullptr},
        {"cumulative", {"X"}, 1, "cumulative: unsupported predicate"},
    };
    for (const row& r : rows) {
        four_vars m;
        unsigned result = NO_VARIABLE;
        if (r.result >= 0)
            result = m.s.add_var(iset(r.result), "R", false);
        std::string error;
        stdout_of([&] {
            error = error_of([&] { m.b.connect_predicate(m.args, result, *predicate(r.name, r.args)); });
        });
        EXPECT_EQ(error, r.error ? r.error : "<no error>") << r.name;
        EXPECT_EQ(m.s.constraint_count(), r.error ? 0u : 1u) << r.name;
    }
}

}  // namespace ast_builder_test
