// Literal and clause records: the right-hand side printing rules, clause
// printing, sorting, the canonical form and equivalence (in both directions).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "impl/learning/literal_data.h"

namespace literal_data_test {

using namespace qarn;
using range = std::pair<int, int>;

// Names variable v "x<v>".
struct x_names : variable_print_strategy {
    void print(std::ostream& os, unsigned var) const override { os << 'x' << var; }
};

iset all_values() {
    iset s;
    s.complement();
    return s;
}

iset all_but(const range& r) {
    iset s = all_values();
    s.erase(r);
    return s;
}

iset all_but_two(const range& r, int v) {
    iset s = all_but(r);
    s.erase(range(v, v));
    return s;
}

std::string rhs(const iset& s) {
    std::ostringstream os;
    literal_data::print_right_hand_side(os, s);
    return os.str();
}

std::string num(long long v) {
    return std::to_string(v);
}

struct literal_text {
    unsigned variable;
    const char* values;
};

clause_data clause_of(std::initializer_list<literal_text> literals) {
    clause_data c;
    for (const literal_text& l : literals)
        c.push_back(literal_data(l.variable, iset(std::string(l.values))));
    return c;
}

std::string printed(const clause_data& c) {
    x_names names;
    std::ostringstream os;
    c.print(os, names);
    return os.str();
}

TEST(LiteralPrinting, RightHandSideRules) {
    const struct {
        const char* what;
        iset values;
        std::string expected;
    } cases[] = {
        {"singleton", iset(5), "=5"},
        {"empty", iset(), ":{}"},
        {"everything", all_values(), "<=" + num(MAX_DOMAIN)},
        {"up to a bound", iset(range(MIN_DOMAIN, 5)), "<=5"},
        {"from a bound", iset(range(7, MAX_DOMAIN)), ">=7"},
        {"all but the least", all_but(range(MIN_DOMAIN, MIN_DOMAIN)), ">=" + num(MIN_DOMAIN + 1)},
        {"all but the greatest", all_but(range(MAX_DOMAIN, MAX_DOMAIN)),
         "<=" + num(MAX_DOMAIN - 1)},
        {"all but one value", all_but(range(7, 7)), "!=7"},
        {"all but two values", all_but(range(7, 8)),
         ":{" + num(MIN_DOMAIN) + ":6,9:" + num(MAX_DOMAIN) + "}"},
        // One value missing, but the ranges do not reach both limits.
        {"gap, least value missing", all_but_two(range(7, 7), MIN_DOMAIN),
         ":{" + num(MIN_DOMAIN + 1) + ":6,8:" + num(MAX_DOMAIN) + "}"},
        {"gap, greatest value missing", all_but_two(range(7, 7), MAX_DOMAIN),
         ":{" + num(MIN_DOMAIN) + ":6,8:" + num(MAX_DOMAIN - 1) + "}"},
        {"two ranges, second short of the greatest", iset("2:4,6:9"), ":{2:4,6:9}"},
        {"one inner range", iset(range(1, 5)), ":{1:5}"},
        {"two values", iset("1,3"), ":{1,3}"},
        {"scattered", iset("1,5,9"), ":{1,5,9}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rhs(c.values), c.expected) << c.what;
}

TEST(LiteralPrinting, VariableThenRightHandSide) {
    x_names names;
    std::ostringstream os;
    literal_data::print(os, variable_printer{&names, 4}, iset(range(MIN_DOMAIN, 2)));
    EXPECT_EQ(os.str(), "x4<=2");
    std::ostringstream none;
    literal_data::print(none, variable_printer{nullptr, 4}, iset(3));
    EXPECT_EQ(none.str(), "NULL_var_printer=3");
}

TEST(ClausePrinting, LiteralsInStoredOrder) {
    EXPECT_EQ(printed(clause_data()), "[]");
    EXPECT_EQ(printed(clause_of({{3, "1"}, {1, ""}})), "[x3=1, x1:{}]");
    EXPECT_EQ(printed(clause_of({{0, "1,5,9"}, {2, "4"}, {0, "2:3"}})),
              "[x0:{1,5,9}, x2=4, x0:{2,3}]");
}

TEST(ClauseData, SortOrdersByVariable) {
    clause_data c = clause_of({{7, "1"}, {2, "2"}, {5, "3"}, {0, "4"}});
    c.sort();
    std::vector<unsigned> order;
    for (const literal_data& l : c)
        order.push_back(l.variable);
    EXPECT_EQ(order, (std::vector<unsigned>{0, 2, 5, 7}));
    EXPECT_EQ(printed(c), "[x0=4, x2=2, x5=3, x7=1]");
}

TEST(ClauseData, CanonicalizeMergesAndDropsEmpty) {
    clause_data c = clause_of({{2, "1"}, {1, "5"}, {2, "3"}, {4, ""}});
    c.canonicalize();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(printed(c), "[x1=5, x2:{1,3}]");
#if !QARN_SMALL_DOMAINS
    EXPECT_EQ(c[1].values.stride(), 2u); // compacted
#endif

    const struct {
        clause_data input;
        std::string expected;
    } cases[] = {
        {clause_data(), "[]"},
        {clause_of({{3, ""}, {1, ""}}), "[]"},
        // A run of three accumulates into one literal.
        {clause_of({{6, "1"}, {6, "4:5"}, {0, "2"}, {6, "9"}}), "[x0=2, x6:{1,4,5,9}]"},
        // Literals emptied by merging and empty ones in between all go.
        {clause_of({{5, ""}, {3, "2"}, {5, "7"}, {4, ""}, {3, "2"}}), "[x3=2, x5=7]"},
    };
    for (const auto& k : cases) {
        clause_data out = k.input;
        out.canonicalize();
        EXPECT_EQ(printed(out), k.expected) << printed(k.input);
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_LT(out[i - 1].variable, out[i].variable);
    }
}

TEST(ClauseData, EquivalenceIsCanonicalAndSymmetric) {
    const struct {
        clause_data a, b;
        bool expected;
    } cases[] = {
        {clause_of({{1, "1"}, {1, "2"}}), clause_of({{1, "1:2"}}), true},
        {clause_of({{1, "1"}}), clause_of({{1, "2"}}), false},
        {clause_of({{2, "4"}, {1, "1"}}), clause_of({{1, "1"}, {2, "4"}}), true},
        // An empty literal is no literal.
        {clause_of({{1, "1"}, {5, ""}}), clause_of({{1, "1"}}), true},
        {clause_of({{1, "1"}, {2, "1"}}), clause_of({{1, "1"}}), false},
        {clause_of({{1, "1"}, {2, "1"}}), clause_of({{1, "1"}, {3, "1"}}), false},
        {clause_data(), clause_of({{0, ""}}), true},
        {clause_data(), clause_of({{0, "0"}}), false},
        // From five literals on the quick variable test is skipped.
        {clause_of({{0, "1"}, {1, "1"}, {2, "1"}, {3, "1"}, {4, "1"}, {4, "2"}}),
         clause_of({{4, "1:2"}, {3, "1"}, {2, "1"}, {1, "1"}, {0, "1"}}), true},
        {clause_of({{0, "1"}, {1, "1"}, {2, "1"}, {3, "1"}, {4, "1"}, {5, "2"}}),
         clause_of({{4, "1"}, {3, "1"}, {2, "1"}, {1, "1"}, {0, "1"}}), false},
        {clause_of({{0, "1"}, {1, "1"}, {2, "1"}, {3, "1"}, {4, "1"}}),
         clause_of({{4, "1"}, {3, "1"}, {2, "1"}, {1, "1"}, {0, "1,3"}}), false},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(k.a.equivalent(k.b), k.expected) << printed(k.a) << " vs " << printed(k.b);
        EXPECT_EQ(k.b.equivalent(k.a), k.expected) << printed(k.b) << " vs " << printed(k.a);
    }
}

TEST(ClauseData, EquivalenceLeavesOperandsAlone) {
    const clause_data a = clause_of({{2, "1"}, {1, "5"}, {2, "3"}});
    const clause_data b = clause_of({{1, "5"}, {2, "1,3"}});
    EXPECT_TRUE(a.equivalent(b));
    EXPECT_EQ(printed(a), "[x2=1, x1=5, x2=3]");
}

}  // namespace literal_data_test
