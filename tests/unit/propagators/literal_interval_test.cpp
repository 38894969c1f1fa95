// Hand cases of the reified literal wrappers (value watches, the literal
// forced by the inner constraint, printed forms, the proof rule and the
// ground restriction) and of the interval propagators (non-overlap with
// negative lengths, explanations, sub-interval watches and printed forms),
// and every propagator of these kinds on an empty domain.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/interval_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/literal_propagators.h"
#include "test-impl/trivial_runtime_info.h"
#include "tests/unit/test_helpers.h"

namespace literal_interval_test {

using namespace qarn;
using qarn_test::same;
using qarn_test::view_of;
using qarn_test::values;
using qarn_test::text;
using qarn_test::printed;

typedef propagation_types::result_type result_type;
using qarn_test::CONSISTENT;
using qarn_test::UNSAT;
using qarn_test::VALID;

// ---------------------------------------------------------------------------
// Literal wrappers

TEST(LiteralOrPropagator, TheInnerConstraintDecidesTheLiteral) {
    const struct {
        iset lit, x, y;
        result_type result;
        iset lit_after, x_after, y_after;
    } cases[] = {
        // x = y impossible: the literal must hold.
        {iset(0, 1), iset(1), iset(2), VALID, iset(1), iset(1), iset(2)},
        // ... and cannot.
        {iset(0), iset(1), iset(2), UNSAT, iset(), iset(), iset()},
        // The literal is false: x = y is propagated.
        {iset(0), iset(1, 2), iset(2, 3), CONSISTENT, iset(0), iset(2), iset(2)},
        // The literal holds whatever the values.
        {iset(1), iset(1), iset(2), VALID, iset(1), iset(1), iset(2)},
    };
    for (const auto& c : cases) {
        literal_or_equal_propagator p(iset(1));
        auto ri = view_of({c.lit, c.x, c.y});
        ASSERT_TRUE(p.init(ri) || c.result == UNSAT);
        EXPECT_EQ(p.conflicts(ri), c.result == UNSAT);
        EXPECT_EQ(p.propagate(ri), c.result);
        if (c.result == UNSAT)
            continue;
        EXPECT_TRUE(same(ri.domain(0), c.lit_after)) << text(ri.domain(0));
        EXPECT_TRUE(same(ri.domain(1), c.x_after)) << text(ri.domain(1));
        EXPECT_TRUE(same(ri.domain(2), c.y_after)) << text(ri.domain(2));
    }

    literal_iff_less_than_propagator less(iset(1));
    auto ri = view_of({iset(0, 1), iset(5), iset(3)});
    EXPECT_EQ(less.propagate(ri), VALID);
    EXPECT_TRUE(same(ri.domain(0), iset(0)));
}

// With the literal undecided and the inner constraint undecided, nothing is
// written; the value watch moves to the least remaining value of S in the
// literal's domain when its value goes (all three literal-or instances).
TEST(LiteralOrPropagator, MovesItsValueWatchAndWritesNothing) {
    std::vector<std::unique_ptr<constraint_propagator>> instances;
    instances.push_back(std::make_unique<literal_or_equal_propagator>(iset(2, 6)));
    instances.push_back(std::make_unique<literal_or_difference_ge_propagator>(iset(2, 6), 0));
    instances.push_back(std::make_unique<literal_or_neq_propagator>(iset(2, 6)));
    for (auto& p : instances) {
        SCOPED_TRACE(printed(*p, nullptr));
        trivial_runtime_info ri({iset(0, 9), iset(0, 5), iset(0, 5)});
        ASSERT_TRUE(p->init(ri));
        EXPECT_TRUE(ri.watched(0, 2, true));
        EXPECT_EQ(p->count_watches(), 1u);
        EXPECT_EQ(p->watched_param_index(0), 0u);
        ri.set_domain(0, values({0, 4, 5, 9}));
        ri.advance_modified(true);
        EXPECT_EQ(p->propagate(ri), CONSISTENT);
        EXPECT_TRUE(ri.watched(0, 4, true));
        EXPECT_FALSE(ri.watched(0, 2, true));
        EXPECT_TRUE(same(ri.domain(0), values({0, 4, 5, 9})));
        EXPECT_TRUE(same(ri.domain(1), iset(0, 5)));
        EXPECT_TRUE(same(ri.domain(2), iset(0, 5)));
        p->forget_watches();
        EXPECT_EQ(p->count_watches(), 0u);
    }
    // A literal that holds for good needs no watch at all.
    literal_or_equal_propagator entailed(iset(0, 9));
    trivial_runtime_info ri({iset(2, 3), iset(0, 5), iset(0, 5)});
    EXPECT_TRUE(entailed.init(ri));
    EXPECT_EQ(entailed.count_watches(), 0u);
}

TEST(LiteralIffPropagator, KeepsAWatchOnEachSideOfTheSet) {
    literal_iff_less_than_propagator p(values({1, 3}));
    trivial_runtime_info ri({iset(0, 4), iset(0, 5), iset(0, 5)});
    ASSERT_TRUE(p.init(ri));
    EXPECT_EQ(p.count_watches(), 2u);
    EXPECT_TRUE(ri.watched(0, 1, true));
    EXPECT_TRUE(ri.watched(0, 0, true));
    ri.set_domain(0, values({2, 3, 4}));
    ri.advance_modified(true);
    EXPECT_EQ(p.propagate(ri), CONSISTENT);
    EXPECT_TRUE(ri.watched(0, 3, true));
    EXPECT_TRUE(ri.watched(0, 2, true));
    EXPECT_EQ(p.positive_value(), 3);
    EXPECT_EQ(p.negative_value(), 2);
}

TEST(LiteralPropagators, PrintedForms) {
    auto ri = view_of({iset(0, 3), iset(0, 3), iset(0, 3)});
    EXPECT_EQ(printed(literal_or_equal_propagator(iset(1)), &ri), "constraint(P0=1|| P1==P2)");
    EXPECT_EQ(printed(literal_or_equal_propagator(iset(1, 2)), &ri),
              "constraint(P0:{" + text(iset(1, 2)) + "} || P1==P2)");
    EXPECT_EQ(printed(literal_or_difference_ge_propagator(iset(1), -4), &ri),
              "constraint(P0=1|| P1-P2>=-4)");
    EXPECT_EQ(printed(literal_or_neq_propagator(iset(1)), &ri), "constraint(P0=1|| P1!=P2)");
    EXPECT_EQ(printed(literal_iff_less_than_propagator(iset(1, 2)), &ri),
              "constraint(P0:{" + text(iset(1, 2)) + "} iff P1<P2)");
    EXPECT_EQ(printed(literal_or_equal_propagator(iset(1)), nullptr), "literal_or_equal_propagator");
    EXPECT_EQ(printed(literal_or_difference_ge_propagator(iset(1), -4), nullptr),
              "literal_or_diff_ge_minus_4");
    EXPECT_EQ(printed(literal_or_neq_propagator(iset(1)), nullptr), "literal_or_neq_propagator");
    EXPECT_EQ(printed(literal_iff_less_than_propagator(iset(1)), nullptr),
              "literal_iff_less_than_propagator");
}

TEST(LiteralOrNeqPropagator, RuleStandsForItsExplanation) {
    struct unnamed : variable_print_strategy {
        void print(std::ostream&, unsigned) const override {}
    };
    literal_or_neq_propagator p(values({1, 3}));
    std::vector<iset> sets;
    auto domain_rule = p.rule({iset(), iset(), iset()});
    ASSERT_TRUE(domain_rule);
    std::ostringstream os;
    domain_rule->print(os, unnamed(), {});
    EXPECT_EQ(os.str(), "LIT_OR_NEQ_DOM");
    domain_rule->get_explanation(sets);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_TRUE(same(sets[0], iset(MIN_DOMAIN, MAX_DOMAIN)));
    EXPECT_TRUE(sets[1].empty() && sets[2].empty());

    iset not_four(4);
    not_four.complement();
    auto value_rule = p.rule({values({1, 3}), not_four, not_four});
    ASSERT_TRUE(value_rule);
    std::ostringstream vs;
    value_rule->print(vs, unnamed(), {});
    EXPECT_EQ(vs.str(), "LIT_OR_NEQ({" + text(values({1, 3})) + "},4)");
    value_rule->get_explanation(sets);
    EXPECT_TRUE(same(sets[0], values({1, 3})));
    EXPECT_TRUE(same(sets[1], not_four));
    EXPECT_TRUE(same(sets[2], not_four));

    // The explanation of a conflict with the literal false and x = y = 4 is
    // exactly the rule's.
    auto ri = view_of({iset(0), iset(4), iset(4)});
    std::vector<iset> explanation;
    p.explain_propagation(0, iset(MIN_DOMAIN, MAX_DOMAIN), iset(), ri, explanation);
    auto rule = p.rule(explanation);
    ASSERT_TRUE(rule);
    rule->get_explanation(sets);
    ASSERT_EQ(sets.size(), explanation.size());
    for (unsigned i = 0; i < sets.size(); ++i)
        EXPECT_TRUE(same(sets[i], explanation[i])) << i << ": " << text(explanation[i]);
}

TEST(LiteralOrDifference, RestrictionToGroundValues) {
    const iset free(0, 9);
    const struct {
        iset lit;
        iset x, y;
        const char* kind; // "null", "tautology", "difference", "clause"
        std::vector<unsigned> params;
    } cases[] = {
        {iset(1), free, free, "tautology", {0}},
        {iset(0), free, free, "difference", {1, 2}},
        {iset(0), iset(5), free, "clause", {2}},
        {iset(0, 1), free, free, "null", {}},
        {iset(0, 1), iset(5), free, "clause", {0, 2}},
    };
    literal_or_difference_ge_propagator p(iset(1, 3), 2); // lit in {1,2,3} or x - y >= 2
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        auto ri = view_of({c.lit, c.x, c.y});
        std::vector<unsigned> params;
        auto r = p.intersect_with(ri, params);
        if (std::string(c.kind) == "null") {
            EXPECT_FALSE(r);
            continue;
        }
        ASSERT_TRUE(r);
        EXPECT_EQ(params, c.params);
        const auto* clause = dynamic_cast<const clause_propagator*>(r.get());
        if (std::string(c.kind) == "difference") {
            EXPECT_EQ(printed(*r, nullptr), "diff_ge_2");
        } else if (std::string(c.kind) == "tautology") {
            ASSERT_TRUE(clause);
            ASSERT_EQ(clause->literals().size(), 1u);
            EXPECT_TRUE(same(clause->literals()[0], iset(MIN_DOMAIN, MAX_DOMAIN)));
        } else {
            ASSERT_TRUE(clause);
            const std::vector<iset>& lits = clause->literals();
            ASSERT_EQ(lits.size(), params.size());
            // 5 - y >= 2: y <= 3, after the literal's set when it is undecided.
            EXPECT_TRUE(same(lits.back(), iset(MIN_DOMAIN, 3))) << text(lits.back());
            if (lits.size() == 2) {
                EXPECT_TRUE(same(lits[0], iset(1, 3)));
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Interval propagators

TEST(NoOverlapPropagator, HandCases) {
    no_overlap_propagator p(3, 2);
    auto ri = view_of({iset(0, 10), iset(4)});
    EXPECT_EQ(p.propagate(ri), CONSISTENT);
    iset expected(0, 1);
    expected.insert(iset::range_type(6, 10));
    EXPECT_TRUE(same(ri.domain(0), expected)) << text(ri.domain(0));

    no_overlap_propagator wide(5, 5);
    auto none = view_of({iset(0), iset(1)});
    EXPECT_TRUE(wide.conflicts(none));
    EXPECT_EQ(wide.propagate(none), UNSAT);
}

// Non-positive lengths: intervals of no length never overlap, and a negative
// length makes the constraint hold for every pair.
TEST(NoOverlapPropagator, NegativeLengthsNeverMakeItFail) {
    const iset free(0, 12);
    for (int l0 : {-5, -1, 0}) {
        for (int l1 : {-3, 0, 4}) {
            no_overlap_propagator p(l0, l1);
            for (int x : {0, 3, 6})
                for (int y : {0, 3, 6}) {
                    const bool holds =
                        static_cast<long>(x) + l0 <= y || static_cast<long>(y) + l1 <= x;
                    auto ground = view_of({iset(x), iset(y)});
                    EXPECT_EQ(p.constraint_check(ground), holds) << l0 << " " << l1;
                    EXPECT_EQ(p.conflicts(ground), !holds) << l0 << " " << l1;
                }
            auto ri = view_of({free, free});
            EXPECT_EQ(p.propagate(ri), CONSISTENT);
            if (l0 < 0 || l1 < 0) {
                EXPECT_TRUE(same(ri.domain(0), free));
                EXPECT_TRUE(same(ri.domain(1), free));
            }
        }
    }
}

TEST(NoOverlapPropagator, ExplanationsStartFromTheValuesAsked) {
    no_overlap_propagator p(3, 2);
    const std::vector<iset> before = {iset(0, 10), iset(4)};
    auto ri = view_of(before);
    iset after(0, 1);
    after.insert(iset::range_type(6, 10));
    auto complement_of = [](iset s) {
        s.complement();
        return s;
    };
    std::vector<iset> e;
    // Values 2..5 were removed. Asked about 9 only, which was not removed,
    // the least removed value is explained: x = 2 against y in 1..4.
    p.explain_propagation(0, iset(9), after, ri, e);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(same(e[0], complement_of(iset(2)))) << text(e[0]);
    EXPECT_TRUE(same(e[1], complement_of(iset(1, 4)))) << text(e[1]);
    // Asked about 5: x = 5 against y in 4..7.
    p.explain_propagation(0, iset(5), after, ri, e);
    EXPECT_TRUE(same(e[0], complement_of(iset(5)))) << text(e[0]);
    EXPECT_TRUE(same(e[1], complement_of(iset(4, 7)))) << text(e[1]);
    // A conflict: both hulls grown while no pair fits.
    no_overlap_propagator wide(5, 5);
    auto none = view_of({iset(0), iset(1)});
    wide.explain_propagation(0, iset(MIN_DOMAIN, MAX_DOMAIN), iset(), none, e);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_FALSE(e[0].contains(0));
    EXPECT_FALSE(e[1].contains(1));
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 12; ++y)
            if (x + 5 <= y || y + 5 <= x) {
                EXPECT_TRUE(e[0].contains(x) || e[1].contains(y)) << x << "," << y;
            }
}

TEST(SubIntervalPropagator, HandCases) {
    // The interval cannot be empty (y > x), so it lies inside [2, 8]: x >= 2
    // and y <= 8, and then every pair satisfies it.
    sub_interval_propagator p(2, 8);
    auto ri = view_of({iset(0, 5), iset(6, 20)});
    EXPECT_EQ(p.propagate(ri), VALID);
    EXPECT_TRUE(same(ri.domain(0), iset(2, 5)));
    EXPECT_TRUE(same(ri.domain(1), iset(6, 8)));

    // Always true (the interval is always empty): no watch.
    sub_interval_propagator always(2, 8);
    auto empty_interval = view_of({iset(10, 12), iset(0, 5)});
    EXPECT_TRUE(always.init(empty_interval));
    EXPECT_EQ(empty_interval.count_watches(), 0u);
    auto inside = view_of({iset(3, 4), iset(5, 7)});
    EXPECT_TRUE(always.init(inside));
    EXPECT_EQ(inside.count_watches(), 0u);
    auto open = view_of({iset(0, 5), iset(6, 20)});
    EXPECT_TRUE(always.init(open));
    EXPECT_EQ(open.count_watches(), 2u);

    no_sub_interval_propagator q(0, 10, 1);
    auto unsat = view_of({iset(0, 20), iset(0, 11)});
    EXPECT_TRUE(q.conflicts(unsat));
    EXPECT_EQ(q.propagate(unsat), UNSAT);
    EXPECT_FALSE(q.init(unsat));
}

TEST(IntervalPropagators, PrintedForms) {
    auto ri = view_of({iset(0, 3), iset(0, 3)});
    EXPECT_EQ(printed(no_overlap_propagator(3, -2), &ri), "constraint(P0+3<=P1 || P1+-2<=P0)");
    EXPECT_EQ(printed(no_overlap_propagator(3, -2), nullptr), "no_overlap(L0=3, L1=-2)");
    EXPECT_EQ(printed(sub_interval_propagator(1, 5), &ri), "constraint([P0,P1] sub_interval_of [1,5])");
    EXPECT_EQ(printed(sub_interval_propagator(1, 5), nullptr), "sub_interval");
    EXPECT_EQ(printed(no_sub_interval_propagator(1, 5, 2), &ri),
              "constraint([P0,P1-2] no_sub_interval_of [1,5])");
    EXPECT_EQ(printed(no_sub_interval_propagator(1, 5, -2), &ri),
              "constraint([P0,P1+2] no_sub_interval_of [1,5])");
    EXPECT_EQ(printed(no_sub_interval_propagator(1, 5, 0), &ri),
              "constraint([P0,P1] no_sub_interval_of [1,5])");
    EXPECT_EQ(printed(no_sub_interval_propagator(1, 5, INT_MIN), nullptr),
              "([x,y+2147483648]no_sub_interval_of [1,5])");
    EXPECT_EQ(printed(no_sub_interval_propagator(1, 5, 0), nullptr), "(no_sub_interval_of [1,5])");
}

// ---------------------------------------------------------------------------
// Empty domains

// A parameter without values: no propagator reads a bound of the empty set
// (the one-word set throws when asked), and each answers UNSAT exactly when
// it reports a conflict.
TEST(EmptyDomains, NoBoundOfAnEmptySetIsRead) {
    std::vector<std::unique_ptr<constraint_propagator>> all;
    all.push_back(std::make_unique<equal_propagator>());
    all.push_back(std::make_unique<is_equal_propagator>());
    all.push_back(std::make_unique<difference_ge_propagator>(1));
    all.push_back(std::make_unique<difference_ge_or_clause_propagator>(1, std::vector<iset>{iset(2)}));
    all.push_back(std::make_unique<linear_combination_ge_propagator>(1, std::vector<int>{2, -1, 0}));
    all.push_back(std::make_unique<literal_or_equal_propagator>(iset(1)));
    all.push_back(std::make_unique<literal_or_difference_ge_propagator>(iset(1), 1));
    all.push_back(std::make_unique<literal_or_neq_propagator>(iset(1)));
    all.push_back(std::make_unique<literal_iff_less_than_propagator>(iset(1)));
    all.push_back(std::make_unique<no_overlap_propagator>(2, -3));
    all.push_back(std::make_unique<sub_interval_propagator>(1, 4));
    all.push_back(std::make_unique<no_sub_interval_propagator>(1, 4, 1));
    for (const auto& p : all) {
        const unsigned n = p->count_params() == ANY_PARAM_COUNT ? 3 : p->count_params();
        for (unsigned empty = 0; empty < n; ++empty) {
            SCOPED_TRACE(printed(*p, nullptr) + ", parameter " + std::to_string(empty));
            std::vector<iset> domains(n, iset(0, 5));
            domains[empty] = iset();
            auto ri = view_of(domains);
            auto copy = p->clone();
            const bool conflict = copy->conflicts(ri);
            copy->init(ri);
            EXPECT_EQ(copy->propagate(ri) == UNSAT, conflict);
            std::vector<iset> explanation;
            if (conflict)
                copy->explain_propagation(0, iset(MIN_DOMAIN, MAX_DOMAIN), iset(), ri,
                                          explanation);
        }
    }
}

}  // namespace literal_interval_test
