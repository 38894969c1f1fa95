// Hand cases of the sum, absolute-value, negation and disequality
// propagators: wrap-around, truncation, parity folding and combination,
// postponement of long sums, and the printed forms.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/sum_propagators.h"
#include "tests/unit/test_helpers.h"

namespace arithmetic_propagators_test {

using namespace qarn;
using qarn_test::same;
using qarn_test::view_of;
using qarn_test::values;

// A view whose activations come from the variable-event queue.
struct event_view : constraint_explicit_info {
    using constraint_explicit_info::constraint_explicit_info;
    queue_type originating_queue() const override { return VARIABLE_QUEUE; }
    void put_in_queue(queue_type queue) override { queued.push_back(queue); }
    std::vector<queue_type> queued;
};

TEST(SumModPropagator, FixesTheLastOpenParameter) {
    sum_mod_propagator parity(2, 1);
    auto ri = view_of({iset(1), iset(0, 1)});
    EXPECT_EQ(parity.propagate(ri), propagation_types::VALID);
    EXPECT_TRUE(same(ri.domain(1), iset(0)));

    sum_mod_propagator three(3, 2);
    auto cut = view_of({iset(0, 9), iset(0, 1), iset(2)});
    EXPECT_EQ(three.propagate(cut), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(cut.domain(0), iset(0, 2)));

    EXPECT_FALSE(parity.constraint_check(view_of({iset(1), iset(1)})));
    EXPECT_TRUE(parity.constraint_check(view_of({iset(1), iset(0)})));
    EXPECT_TRUE(parity.conflicts(view_of({iset(0), iset(0)})));
    EXPECT_FALSE(parity.conflicts(view_of({iset(0, 1), iset(0, 1)})));
}

TEST(SumModPropagator, RejectsANonPositiveModulus) {
    EXPECT_EQ(qarn_test::error_of([] { sum_mod_propagator(0, 0); }),
              "sum_mod_propagator(mod, result): mod should be positive");
}

TEST(SumModPropagator, GroundParametersFoldIntoTheResult) {
    // 1 + y + 2 = 2 (mod 3) leaves y = 2 (mod 3), with the same sign as propagation.
    sum_mod_propagator three(3, 2);
    auto ri = view_of({iset(1), iset(0, 2), iset(2)});
    std::vector<unsigned> params;
    auto folded = three.intersect_with(ri, params);
    ASSERT_TRUE(folded);
    EXPECT_EQ(params, (std::vector<unsigned>{1}));
    EXPECT_EQ(dynamic_cast<sum_mod_propagator&>(*folded).result(), 2);

    EXPECT_FALSE(three.intersect_with(view_of({iset(0, 1), iset(0, 2)}), params));
    // A ground value outside [0, mod - 1] keeps the constraint as it is.
    EXPECT_FALSE(three.intersect_with(view_of({iset(7), iset(0, 2)}), params));
}

TEST(SumModPropagator, CombinationCancelsSharedVariablesOnlyModuloTwo) {
    // a + b odd and b + c odd: a + c even.
    sum_mod_propagator ab(2, 1), bc(2, 1);
    auto ri = view_of({iset(0, 1), iset(0, 1)});
    std::vector<unsigned> params;
    auto ac = ab.combine(ri, bc, ri, {1, 3}, 1, params);
    ASSERT_TRUE(ac);
    EXPECT_EQ(params, (std::vector<unsigned>{0, 3}));
    EXPECT_EQ(dynamic_cast<sum_mod_propagator&>(*ac).result(), 0);

    // a odd and a even: the empty clause.
    sum_mod_propagator a_odd(2, 1), a_even(2, 0);
    auto one = view_of({iset(0, 1)});
    auto empty = a_odd.combine(one, a_even, one, {0}, 0, params);
    ASSERT_TRUE(empty);
    auto* clause = dynamic_cast<clause_propagator*>(empty.get());
    ASSERT_NE(clause, nullptr);
    EXPECT_TRUE(clause->literals().empty());

    // Modulo 3 a shared variable does not cancel.
    sum_mod_propagator ab3(3, 1), bc3(3, 1);
    EXPECT_FALSE(ab3.combine(ri, bc3, ri, {1, 3}, 1, params));
    EXPECT_FALSE(ab3.may_combine(ab));
    EXPECT_TRUE(ab3.may_combine(equal_propagator()));
}

TEST(SumModPropagator, CombinationWithAnEqualitySubstitutes) {
    sum_mod_propagator three(3, 1);
    auto ri = view_of({iset(0, 2), iset(0, 2)});
    std::vector<unsigned> params;
    // x1 = z where z is new (combined position 3).
    ASSERT_TRUE(three.combine_with_eq(ri, {1, 3}, params));
    EXPECT_EQ(params, (std::vector<unsigned>{0, 3}));
    // Both sides inside the sum cancel only modulo 2.
    EXPECT_FALSE(three.combine_with_eq(ri, {0, 1}, params));
    sum_mod_propagator parity(2, 1);
    ASSERT_TRUE(parity.combine_with_eq(ri, {0, 1}, params));
    EXPECT_TRUE(params.empty());
}

TEST(SumWrapPropagator, WrapsAndFixesSmallArities) {
    sum_wrap_propagator sum;
    auto zero = view_of({iset(0, 3)});
    EXPECT_EQ(sum.propagate(zero), propagation_types::VALID);
    EXPECT_TRUE(same(zero.domain(0), iset(0)));
    auto no_zero = view_of({iset(1, 3)});
    EXPECT_EQ(sum.propagate(no_zero), propagation_types::UNSAT);

#if !QARN_SMALL_DOMAINS
    auto top = view_of({iset(INT_MIN, INT_MAX), iset(INT_MAX), iset(1)});
    EXPECT_EQ(sum.propagate(top), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(top.domain(0), iset(INT_MIN)));

    // An operand that no value can satisfy is a conflict, not CONSISTENT.
    iset evens;
    evens.insert(iset::range_type(-100, 100), 2);
    auto odd = view_of({iset(1), evens, evens});
    EXPECT_EQ(sum.propagate(odd), propagation_types::UNSAT);
    EXPECT_TRUE(sum.conflicts(view_of({iset(1), evens, evens})));
#endif
    auto three = view_of({iset(0, 31), iset(1, 2), iset(3), iset(4, 5)});
    EXPECT_EQ(sum.propagate(three), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(three.domain(0), iset(8, 10)));
}

TEST(SumTruncatePropagator, OutOfRangeSumsAreImpossible) {
    sum_truncate_propagator sum;
#if !QARN_SMALL_DOMAINS
    auto top = view_of({iset(INT_MIN, INT_MAX), iset(INT_MAX), iset(INT_MAX)});
    EXPECT_EQ(sum.propagate(top), propagation_types::UNSAT);
#endif
    auto ri = view_of({iset(0, 31), iset(values({1, 5})), iset(values({2, 20}))});
    EXPECT_EQ(sum.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), values({3, 7, 21, 25})));
    auto back = view_of({iset(values({7})), iset(0, 9), iset(values({2, 20}))});
    EXPECT_EQ(sum.propagate(back), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(back.domain(1), iset(5)));
    EXPECT_TRUE(same(back.domain(2), iset(2)));
}

TEST(InequalitySums, NarrowBoundsAndPostponeLongSums) {
    less_equal_sum_propagator le;
    auto ri = view_of({iset(4, 20), iset(0, 3), iset(0, 5)});
    EXPECT_EQ(le.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), iset(4, 8)));
    EXPECT_TRUE(same(ri.domain(1), iset(0, 3)));
    auto tight = view_of({iset(7, 20), iset(0, 3), iset(0, 5)});
    le.propagate(tight);
    EXPECT_TRUE(same(tight.domain(1), iset(2, 3)));
    EXPECT_TRUE(same(tight.domain(2), iset(4, 5)));

    greater_equal_sum_propagator ge;
    auto g = view_of({iset(0, 6), iset(2, 9), iset(1, 9)});
    EXPECT_EQ(ge.propagate(g), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(g.domain(0), iset(3, 6)));
    EXPECT_TRUE(same(g.domain(1), iset(2, 5)));
    EXPECT_TRUE(same(g.domain(2), iset(1, 4)));
    auto over = view_of({iset(0, 2), iset(3), iset(0)});
    EXPECT_EQ(ge.propagate(over), propagation_types::UNSAT);

    for (unsigned arity : {11u, 12u}) {
        event_view eleven(arity);
        EXPECT_EQ(le.propagate(eleven), propagation_types::POSTPONE);
        EXPECT_EQ(eleven.queued, std::vector<constraint_runtime_info::queue_type>{
                                     constraint_runtime_info::CONSTRAINT_QUEUE});
    }
    event_view ten(10);
    EXPECT_NE(le.propagate(ten), propagation_types::POSTPONE);
}

TEST(AbsPropagators, SupportsAndBounds) {
    abs_propagator abs;
    auto same_sets = view_of({iset(2, 5), iset(2, 5)});
    EXPECT_EQ(abs.propagate(same_sets), propagation_types::CONSISTENT);
#if !QARN_SMALL_DOMAINS
    auto ri = view_of({iset(INT_MIN, INT_MAX), values({INT_MIN, -3, 4})});
    EXPECT_EQ(abs.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), values({3, 4})));
    EXPECT_TRUE(same(ri.domain(1), values({-3, 4})));
    auto min_only = view_of({iset(INT_MIN, INT_MAX), iset(INT_MIN)});
    EXPECT_EQ(abs.propagate(min_only), propagation_types::UNSAT);
    EXPECT_FALSE(abs.constraint_check(view_of({iset(INT_MIN), iset(INT_MIN)})));

    less_equal_abs_propagator le;
    auto l = view_of({iset(5, 9), iset(-20, 20)});
    EXPECT_EQ(le.propagate(l), propagation_types::CONSISTENT);
    iset outside(-20, 20);
    outside.erase(iset::range_type(-4, 4));
    EXPECT_TRUE(same(l.domain(1), outside));

    greater_equal_abs_propagator ge;
    iset x1(-7, 3);
    x1.insert(iset::range_type(10, 10));
    auto g = view_of({iset(0, 6), x1});
    EXPECT_EQ(ge.propagate(g), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(g.domain(0), iset(0, 6)));
    EXPECT_TRUE(same(g.domain(1), iset(-6, 3)));
    EXPECT_EQ(greater_equal_abs_propagator::min_abs(values({-9, 4})), 4);

    neg_propagator neg;
    auto n = view_of({iset(INT_MIN, INT_MAX), iset(INT_MIN)});
    EXPECT_EQ(neg.propagate(n), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(n.domain(0), iset(INT_MIN)));
#endif
}

TEST(NeqPropagators, ActOnceOneSideIsFixed) {
    neq_propagator neq;
    auto equal = view_of({iset(3), iset(3)});
    EXPECT_EQ(neq.propagate(equal), propagation_types::UNSAT);
    auto fixed = view_of({iset(3), iset(1, 5)});
    EXPECT_EQ(neq.propagate(fixed), propagation_types::VALID);
    EXPECT_TRUE(same(fixed.domain(1), values({1, 2, 4, 5})));
    auto open = view_of({iset(1, 2), iset(2, 3)});
    EXPECT_EQ(neq.propagate(open), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(open.domain(0), iset(1, 2)));

    std::vector<unsigned> params;
    auto parity = neq.intersect_with(view_of({iset(0, 1), iset(0, 1)}), params);
    ASSERT_TRUE(parity);
    EXPECT_EQ(params, (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(dynamic_cast<sum_mod_propagator&>(*parity).result(), 1);
    EXPECT_FALSE(neq.intersect_with(view_of({iset(0, 2), iset(0, 1)}), params));

    iset all_but_7(7);
    all_but_7.complement();
    auto rule = neq.rule({all_but_7, all_but_7});
    ASSERT_TRUE(rule);
    std::ostringstream os;
    struct no_names : variable_print_strategy {
        void print(std::ostream&, unsigned) const override {}
    } names;
    rule->print(os, names, {});
    EXPECT_EQ(os.str(), "DIFF(7)");
    std::vector<iset> sets;
    rule->get_explanation(sets);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_TRUE(same(sets[0], all_but_7));
    EXPECT_TRUE(same(sets[1], all_but_7));

    difference_neq_constant_propagator diff(1);
    auto d = view_of({iset(5), iset(0, 9)});
    EXPECT_EQ(diff.propagate(d), propagation_types::VALID);
    EXPECT_FALSE(d.domain(1).contains(4));
#if !QARN_SMALL_DOMAINS
    auto below = view_of({iset(INT_MIN), iset(0, 9)});
    EXPECT_EQ(diff.propagate(below), propagation_types::VALID);
    EXPECT_TRUE(same(below.domain(1), iset(0, 9)));
#endif
}

TEST(ArithmeticPropagators, PrintedForms) {
    auto two = view_of({iset(0, 1), iset(0, 1)});
    auto three = view_of({iset(0, 1), iset(0, 1), iset(0, 1)});
    auto text = [](const constraint_propagator& p, const constraint_runtime_info* ri) {
        std::ostringstream os;
        p.print(os, ri);
        return os.str();
    };
    struct row {
        std::unique_ptr<constraint_propagator> p;
        const constraint_runtime_info* ri;
        const char* with_view_start; // the view prints parameters its own way
        const char* without;
    };
    std::vector<row> rows;
    rows.push_back({std::make_unique<sum_truncate_propagator>(), &three, "(", "sum_truncate"});
    rows.push_back({std::make_unique<sum_wrap_propagator>(), &three, "(", "sum_wrap"});
    rows.push_back({std::make_unique<less_equal_sum_propagator>(), &three, "(", "le_sum"});
    rows.push_back({std::make_unique<greater_equal_sum_propagator>(), &three, "(", "ge_sum"});
    rows.push_back({std::make_unique<sum_mod_propagator>(2, 1), &two, "((xor(", "((xor vars)  == 1)"});
    rows.push_back({std::make_unique<sum_mod_propagator>(3, 1), &two, "((", "((sum vars) mod 3 == 1)"});
    rows.push_back({std::make_unique<abs_propagator>(), &two, "", "abs"});
    rows.push_back({std::make_unique<less_equal_abs_propagator>(), &two, "", "less_equal_abs"});
    rows.push_back({std::make_unique<greater_equal_abs_propagator>(), &two, "", "greater_equal_abs"});
    rows.push_back({std::make_unique<neg_propagator>(), &two, "(", "negate"});
    rows.push_back({std::make_unique<neq_propagator>(), &two, "(", "neq"});
    rows.push_back({std::make_unique<difference_neq_constant_propagator>(4), &two, "(",
                    "difference_neq_constant(4)"});
    for (const row& r : rows) {
        EXPECT_EQ(text(*r.p, nullptr), r.without);
        std::ostringstream prefix;
        r.ri->print_prefix(prefix);
        const std::string shown = text(*r.p, r.ri);
        ASSERT_EQ(shown.rfind(prefix.str(), 0), 0u) << shown;
        EXPECT_EQ(shown.substr(prefix.str().size()).rfind(r.with_view_start, 0), 0u) << shown;
    }
    EXPECT_NE(text(sum_mod_propagator(2, 1), &two).find(" in [0..1]))"), std::string::npos);
    EXPECT_NE(text(sum_wrap_propagator(), &three).find("== "), std::string::npos);
}

}  // namespace arithmetic_propagators_test
