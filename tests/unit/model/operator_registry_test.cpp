// The operator registry, the sharing of identical applications, the names
// of result variables, the posting order by tightness, and the union-find of
// equal variables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/model/equivalence_classes.h"
#include "impl/model/operator_registry.h"
#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/literal_propagators.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/sum_propagators.h"
#include "tests/unit/test_helpers.h"

namespace operator_registry_test {

using namespace qarn;

TEST(OperatorRegistry, Contents) {
    const struct {
        unsigned type;
        const char* name; // null: no definition
        double tightness;
    } rows[] = {
        {0, nullptr, 0},      {5, nullptr, 0},       {6, "abs", 0.990099}, {7, "sum", 0.996269},
        {8, "sub", 0.996269}, {9, "mul", 0.999713},  {10, "div", 0.995025}, {11, "mod", 0.995025},
        {12, nullptr, 0},     {16, nullptr, 0},      {17, nullptr, 0},      {18, "ge", 0.5},
        {19, "gt", 0.5},      {20, "le", 0.5},       {21, "lt", 0.5},       {22, "not", 0.5},
        {23, nullptr, 0},     {26, nullptr, 0},      {34, nullptr, 0},      {1000, nullptr, 0},
    };
    for (const auto& row : rows) {
        const operator_definition* d = operator_definition_registry::find(row.type);
        if (!row.name) {
            EXPECT_EQ(d, nullptr) << row.type;
            continue;
        }
        ASSERT_NE(d, nullptr) << row.type;
        EXPECT_STREQ(d->name(), row.name);
        EXPECT_EQ(d->tightness(), row.tightness) << row.name;
    }
    const operator_definition* d = operator_definition_registry::find_predicate("difference_ge");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name(), "diff_ge");
    EXPECT_EQ(d->tightness(), 0.5);
    EXPECT_EQ(operator_definition_registry::find_predicate("diff_ge"), nullptr);
    EXPECT_EQ(operator_definition_registry::find_predicate(""), nullptr);
    EXPECT_EQ(&operator_definition_registry::get(), &operator_definition_registry::get());
}

struct fixture {
    solver s;
    operator_connectivity c{s};
    unsigned record(unsigned node_type, std::vector<unsigned> args, eval_type t = EVAL_EXACT,
                    unsigned result = NO_VARIABLE, unsigned flags = 0) {
        return c.record_operator(operator_definition_registry::find(node_type), t, args.data(),
                                 args.data() + args.size(), result,
                                 operator_connectivity::everything(), flags);
    }
    std::vector<std::string> key_names() const {
        std::vector<std::string> names;
        for (const auto& entry : c.entries())
            names.push_back(entry.first.definition->name());
        return names;
    }
};

TEST(OperatorConnectivity, SharingAndNames) {
    fixture f;
    const unsigned x = f.s.add_var(iset(0, 9), "x", false);
    const unsigned y = f.s.add_var(iset(0, 9), "y", false);
    const unsigned r = f.record(7, {y, x}, EVAL_AT_MOST, NO_VARIABLE, 4);
    EXPECT_EQ(f.s.assignment().var_name(r), "sum0");
    EXPECT_TRUE(qarn_test::same(f.s.domain(r), operator_connectivity::everything()));
    // Canonical order shares x + y with y + x; the requested result is ignored.
    EXPECT_EQ(f.record(7, {x, y}, EVAL_AT_LEAST, y, 1), r);
    const auto& data = f.c.entries().begin()->second;
    EXPECT_EQ(data.type, EVAL_BOTH);
    EXPECT_EQ(data.flags, 5u);
    // sub keeps the order of its arguments.
    const unsigned d1 = f.record(8, {x, y});
    const unsigned d2 = f.record(8, {y, x});
    EXPECT_NE(d1, d2);
    EXPECT_EQ(f.s.assignment().var_name(d2), "sub2");
    // A requested result is taken for a new application.
    EXPECT_EQ(f.record(22, {x}, EVAL_EXACT, y), y);
    EXPECT_EQ(f.s.assignment().var_name(f.record(22, {y})), "not4");
    EXPECT_EQ(f.c.entries().size(), 5u);
    EXPECT_THROW(f.c.var_domain(1000), std::out_of_range);
}

TEST(OperatorConnectivity, KeyOrder) {
    fixture f;
    const unsigned x = f.s.add_var(iset(0, 9), "x", false);
    const unsigned y = f.s.add_var(iset(0, 9), "y", false);
    const unsigned one = f.s.singleton_var(1);
    f.record(22, {x});
    f.record(7, {x, y});
    f.record(8, {x, y});
    f.record(6, {y});
    f.record(6, {x});
    f.record(10, {x, y});
    f.record(11, {x});
    f.record(9, {x, y});
    const unsigned difference[] = {x, y, one};
    f.c.record_operator(operator_definition_registry::find_predicate("difference_ge"),
                        EVAL_EXACT, difference, difference + 3, NO_VARIABLE,
                        operator_connectivity::everything(), 0);
    f.record(8, {x});
    // Tighter first; then arguments, a prefix first; then the name.
    EXPECT_EQ(f.key_names(), (std::vector<std::string>{"mul", "sub", "sub", "sum", "mod", "div",
                                                       "abs", "abs", "not", "diff_ge"}));
}

TEST(OperatorConnectivity, PostsTighterOperatorsFirst) {
    fixture f;
    const unsigned x = f.s.add_var(iset(0, 9), "x", false);
    const unsigned y = f.s.add_var(iset(0, 9), "y", false);
    const unsigned b = f.s.add_var(iset(0, 1), "b", false);
    const bool big = MIN_DOMAIN < 0;
    const unsigned z = big ? f.s.add_var(iset(-5, 5), "z", false) : NO_VARIABLE;
    const operator_definition& lt = *operator_definition_registry::find(21);
    const unsigned lt_args[] = {x, y};
    lt.symbolic_eval(f.c, EVAL_EXACT, lt_args, lt_args + 2, NO_VARIABLE);
    const operator_definition& negation = *operator_definition_registry::find(22);
    negation.symbolic_eval(f.c, EVAL_EXACT, &b, &b + 1, NO_VARIABLE); // also not(not(b)) = b
    if (big)
        f.record(6, {z});
    f.record(7, {x, y});
    f.c.create_all_constraints();

    std::vector<std::string> posted;
    for (const auto& p : f.s.constraints())
        posted.push_back(typeid(*p).name());
    std::vector<std::string> expected{typeid(sum_truncate_propagator).name()};
    if (big)
        expected.push_back(typeid(abs_propagator).name());
    expected.push_back(typeid(literal_or_difference_ge_propagator).name());
    expected.push_back(typeid(literal_or_difference_ge_propagator).name());
    expected.push_back(typeid(neq_propagator).name());
    expected.push_back(typeid(neq_propagator).name());
    EXPECT_EQ(posted, expected);
}

TEST(EquivalenceClasses, LargestIndexRepresentsAClass) {
    equivalence_classes classes;
    EXPECT_EQ(classes.find(7), 7u);
    classes.unite(3, 9);
    classes.unite(12, 3);
    classes.unite(1, 2);
    EXPECT_EQ(classes.find(3), 12u);
    EXPECT_EQ(classes.find(9), 12u);
    EXPECT_EQ(classes.find(12), 12u);
    EXPECT_EQ(classes.find(1), 2u);
    classes.unite(2, 9);
    EXPECT_EQ(classes.find(1), 12u);
    EXPECT_EQ(classes.find(100), 100u);
}

}  // namespace operator_registry_test
