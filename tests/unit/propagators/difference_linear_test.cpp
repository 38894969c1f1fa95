// Equality, is_equal, difference and linear combination: exact bounds
// propagation against brute force with each variable at its own end of the
// range (the 64- and 128-bit paths alike), explanations checked on every
// tuple of a box around the domains, restriction to ground values, and the
// printed forms.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/sum_propagators.h"
#include "tests/unit/test_helpers.h"

namespace difference_linear_test {

using namespace qarn;
using qarn_test::same;
using qarn_test::view_of;
using qarn_test::values;
using qarn_test::text;
using qarn_test::printed;

__extension__ typedef __int128 wide;
typedef propagation_types::result_type result_type;
using qarn_test::CONSISTENT;
using qarn_test::UNSAT;
using qarn_test::VALID;

// Where a variable's values lie: eight values from a base that may be an end
// of the range.
std::vector<int> window_bases() {
#if QARN_SMALL_DOMAINS
    return {0, 12, 24};
#else
    return {INT_MIN, -4, INT_MAX - 7};
#endif
}

// A non-empty random subset of base..base+7.
iset random_domain(std::mt19937& rng, int base) {
    iset s;
    while (s.empty())
        for (int i = 0; i < 8; ++i)
            if (rng() % 2)
                s.insert(iset::range_type(base + i, base + i));
    return s;
}

// The window of a domain with one value more on each side, within limits.
std::vector<int> box_of(const iset& d) {
    std::vector<int> box;
    for (std::int64_t v = std::int64_t(d.min()) - 1; v <= std::int64_t(d.max()) + 1; ++v)
        if (v >= MIN_DOMAIN && v <= MAX_DOMAIN)
            box.push_back(static_cast<int>(v));
    return box;
}

// Calls f on every tuple of the product of the lists.
template <class F>
void for_each_tuple(const std::vector<std::vector<int>>& lists, F f) {
    std::vector<int> t(lists.size());
    std::vector<std::size_t> at(lists.size(), 0);
    for (;;) {
        for (std::size_t i = 0; i < lists.size(); ++i)
            t[i] = lists[i][at[i]];
        f(t);
        std::size_t i = 0;
        while (i < lists.size() && ++at[i] == lists[i].size())
            at[i++] = 0;
        if (i == lists.size())
            return;
    }
}

// The explanation of parameter p's narrowing from `before` to `after` (a
// conflict when after is empty): excludes what it must and holds for every
// tuple of the box that satisfies the constraint.
void check_explanation(const constraint_propagator& prop, const std::vector<iset>& before,
                       unsigned p, const iset& after,
                       const std::function<bool(const std::vector<int>&)>& holds) {
    const auto ri = view_of(before);
    iset removed(before[p]);
    removed.erase_all_of(after);
    std::vector<iset> e;
    prop.explain_propagation(p, removed, after, ri, e);
    ASSERT_EQ(e.size(), before.size());
    for (unsigned i = 0; i < before.size(); ++i) {
        const iset& excluded = !after.empty() && i == p ? removed : before[i];
        EXPECT_FALSE(e[i].contains_any_of(excluded)) << "set " << i << " = " << text(e[i]);
    }
    std::vector<std::vector<int>> boxes;
    for (const iset& d : before)
        boxes.push_back(box_of(d));
    for_each_tuple(boxes, [&](const std::vector<int>& t) {
        if (!holds(t))
            return;
        bool covered = false;
        for (unsigned i = 0; i < t.size() && !covered; ++i)
            covered = e[i].contains(t[i]);
        EXPECT_TRUE(covered) << "the explanation excludes a solution";
    });
}

// ---------------------------------------------------------------------------
// Equality and is_equal

TEST(EqualPropagator, NarrowsBothSidesToTheirIntersection) {
    equal_propagator eq;
    auto ri = view_of({iset(1, 5), iset(3, 9)});
    EXPECT_EQ(eq.propagate(ri), CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), iset(3, 5)));
    EXPECT_TRUE(same(ri.domain(1), iset(3, 5)));
    auto equal = view_of({values({2, 7}), values({2, 7})});
    EXPECT_EQ(eq.propagate(equal), CONSISTENT);
    auto disjoint = view_of({iset(1, 2), iset(3, 4)});
    EXPECT_EQ(eq.propagate(disjoint), UNSAT);
    EXPECT_TRUE(eq.conflicts(disjoint));
}

TEST(IsEqualPropagator, DecidesTheBooleanAndPropagatesEitherWay) {
    const struct {
        iset b, x, y;
        result_type result;
        iset b_after, x_after, y_after;
    } cases[] = {
        {iset(0, 1), iset(4), iset(4), CONSISTENT, iset(1), iset(4), iset(4)},
        {iset(0, 1), iset(1, 2), iset(3, 4), CONSISTENT, iset(0), iset(1, 2), iset(3, 4)},
        {iset(1), iset(1, 5), iset(3, 9), CONSISTENT, iset(1), iset(3, 5), iset(3, 5)},
        {iset(0), iset(4), iset(3, 5), VALID, iset(0), iset(4), values({3, 5})},
        {iset(0), iset(4), iset(4), UNSAT, iset(), iset(), iset()},
        {iset(2, 5), iset(1, 2), iset(1, 2), UNSAT, iset(), iset(), iset()},
    };
    for (const auto& c : cases) {
        is_equal_propagator p;
        auto ri = view_of({c.b, c.x, c.y});
        const bool conflict = p.conflicts(ri);
        EXPECT_EQ(p.propagate(ri), c.result);
        EXPECT_EQ(conflict, c.result == UNSAT);
        if (c.result == UNSAT)
            continue;
        EXPECT_TRUE(same(ri.domain(0), c.b_after)) << text(ri.domain(0));
        EXPECT_TRUE(same(ri.domain(1), c.x_after)) << text(ri.domain(1));
        EXPECT_TRUE(same(ri.domain(2), c.y_after)) << text(ri.domain(2));
    }
}

// ---------------------------------------------------------------------------
// x - y >= k

TEST(DifferencePropagator, HandCases) {
    difference_ge_propagator zero(0);
    auto ri = view_of({iset(0, 10), iset(5, 20)});
    EXPECT_EQ(zero.propagate(ri), CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), iset(5, 10)));
    EXPECT_TRUE(same(ri.domain(1), iset(5, 10)));

    difference_ge_propagator five(5);
    auto entailed = view_of({iset(10, 12), iset(0, 3)});
    EXPECT_EQ(five.propagate(entailed), VALID);
    EXPECT_TRUE(same(entailed.domain(0), iset(10, 12)));
    EXPECT_TRUE(same(entailed.domain(1), iset(0, 3)));
}

// Against brute force: x keeps the values with v - min y >= k, y those with
// max x - w >= k, and the result is UNSAT, VALID or CONSISTENT as the
// remaining pairs say. Each variable lies at its own end of the range and k
// reaches the ends too.
TEST(DifferencePropagator, ExactBoundsAtTheEndsOfTheRange) {
    std::mt19937 rng(7);
    const std::vector<int> bases = window_bases();
    const int extremes[] = {INT_MIN, INT_MIN + 1, 0, INT_MAX - 1, INT_MAX};
    for (unsigned round = 0; round < 600; ++round) {
        const iset x = random_domain(rng, bases[rng() % bases.size()]);
        const iset y = random_domain(rng, bases[rng() % bases.size()]);
        const wide spread = wide(x.max()) - y.min();
        const int k = rng() % 5 == 0 ? extremes[rng() % 5]
                                     : static_cast<int>(spread - 9 + wide(rng() % 12));
        SCOPED_TRACE("x " + text(x) + " y " + text(y) + " k " + std::to_string(k));
        difference_ge_propagator p(k);
        auto ri = view_of({x, y});
        const bool conflict = p.conflicts(ri);
        const result_type r = p.propagate(ri);
        EXPECT_EQ(conflict, r == UNSAT);
        if (spread < k) {
            EXPECT_EQ(r, UNSAT);
            check_explanation(p, {x, y}, 0, iset(), [k](const std::vector<int>& t) {
                return wide(t[0]) - t[1] >= k;
            });
            continue;
        }
        iset x_expected, y_expected;
        for (int v : x)
            if (wide(v) - y.min() >= k)
                x_expected.insert(iset::range_type(v, v));
        for (int w : y)
            if (wide(x.max()) - w >= k)
                y_expected.insert(iset::range_type(w, w));
        ASSERT_TRUE(same(ri.domain(0), x_expected)) << text(ri.domain(0));
        ASSERT_TRUE(same(ri.domain(1), y_expected)) << text(ri.domain(1));
        EXPECT_EQ(r, wide(x_expected.min()) - y_expected.max() >= k ? VALID : CONSISTENT);
        auto holds = [k](const std::vector<int>& t) { return wide(t[0]) - t[1] >= k; };
        if (!same(x, x_expected))
            check_explanation(p, {x, y}, 0, x_expected, holds);
        if (!same(y, y_expected))
            check_explanation(p, {x, y}, 1, y_expected, holds);
    }
}

TEST(DifferencePropagator, RuleSetsAndPrintedForms) {
    std::vector<iset> sets;
    difference_ge_propagator::diff_ge_rule(3, MAX_DOMAIN).get_explanation(sets);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_TRUE(sets[0].empty());
#if !QARN_SMALL_DOMAINS
    difference_ge_propagator::diff_ge_rule(-5, INT_MAX - 1).get_explanation(sets);
    EXPECT_TRUE(same(sets[0], iset(INT_MAX)));
    EXPECT_TRUE(sets[1].full());
#endif
    difference_ge_propagator::diff_ge_rule(2, 10).get_explanation(sets);
    EXPECT_TRUE(same(sets[0], iset(11, MAX_DOMAIN)));
    EXPECT_TRUE(same(sets[1], iset(MIN_DOMAIN, 8)));

    struct unnamed : variable_print_strategy {
        void print(std::ostream&, unsigned) const override {}
    };
    std::ostringstream rule;
    difference_ge_propagator::diff_ge_rule(-7, 4).print(rule, unnamed(), {});
    EXPECT_EQ(rule.str(), "DIFF_GE_minus_7(4)");

    EXPECT_EQ(printed(difference_ge_propagator(-3), nullptr), "diff_ge_minus_3");
    EXPECT_EQ(printed(difference_ge_propagator(INT_MIN), nullptr), "diff_ge_minus_2147483648");
    EXPECT_EQ(printed(difference_ge_propagator(4), nullptr), "diff_ge_4");
    auto ri = view_of({iset(0, 1), iset(0, 1)});
    EXPECT_EQ(printed(difference_ge_propagator(-2), &ri), "constraint(P0-P1>=-2)");
    EXPECT_EQ(printed(is_equal_propagator(), nullptr), "is_equal");
}

// ---------------------------------------------------------------------------
// Linear combination

struct linear_case {
    std::vector<int> c;
    int k;
    std::vector<iset> domains;
};

// A random combination over domains at random ends of the range; the bound
// makes the largest reachable left side fall short, meet k or pass it.
linear_case random_linear(std::mt19937& rng, bool huge) {
    static const int big[] = {INT_MIN, -(1 << 30) - 3, INT_MAX / 2, INT_MAX};
    const std::vector<int> bases = window_bases();
    linear_case lc;
    const unsigned n = 1 + rng() % 4;
    wide best = 0;
    for (unsigned i = 0; i < n; ++i) {
        const int c = huge && rng() % 2 ? big[rng() % 4] : static_cast<int>(rng() % 9) - 4;
        lc.c.push_back(c);
        lc.domains.push_back(random_domain(rng, bases[rng() % bases.size()]));
        best += wide(c) * (c > 0 ? lc.domains.back().max() : lc.domains.back().min());
    }
    const wide span = huge ? wide(1) << 33 : 12;
    wide k = best - span + wide(rng() % 100) * span / 80;
    lc.k = k < INT_MIN ? INT_MIN : (k > INT_MAX ? INT_MAX : static_cast<int>(k));
    return lc;
}

bool linear_holds(const linear_case& lc, const std::vector<int>& t) {
    wide sum = 0;
    for (std::size_t i = 0; i < lc.c.size(); ++i)
        sum += wide(lc.c[i]) * t[i];
    return sum >= lc.k;
}

// Each variable keeps exactly the values v with c*v plus the others' best
// contributions at least k; both arithmetic paths agree, and every
// narrowing and conflict is explained soundly.
TEST(LinearCombination, ExactBoundsOnBothPathsAgainstBruteForce) {
    std::mt19937 rng(11);
    unsigned narrowed = 0, unsat = 0, wide_path = 0;
    for (unsigned round = 0; round < 800; ++round) {
        const linear_case lc = random_linear(rng, round % 2 == 1);
        std::ostringstream trace;
        trace << "k " << lc.k << " c";
        for (int c : lc.c)
            trace << ' ' << c;
        for (const iset& d : lc.domains)
            trace << " {" << d << '}';
        SCOPED_TRACE(trace.str());
        const unsigned n = static_cast<unsigned>(lc.c.size());
        wide best = -wide(lc.k);
        for (unsigned i = 0; i < n; ++i)
            best += wide(lc.c[i]) * (lc.c[i] > 0 ? lc.domains[i].max() : lc.domains[i].min());
        std::vector<iset> expected = lc.domains;
        for (unsigned i = 0; i < n; ++i) {
            const int c = lc.c[i];
            const wide rest = best - wide(c) * (c > 0 ? lc.domains[i].max() : lc.domains[i].min());
            iset kept;
            for (int v : lc.domains[i])
                if (wide(c) * v + rest >= 0)
                    kept.insert(iset::range_type(v, v));
            expected[i] = kept;
        }
        auto holds = [&lc](const std::vector<int>& t) { return linear_holds(lc, t); };
        for (bool initialised : {true, false}) {
            linear_combination_ge_propagator p(lc.k, lc.c);
            auto ri = view_of(lc.domains);
            if (initialised) {
                EXPECT_TRUE(p.init(ri));
            }
            wide_path += !p.small();
            const bool conflict = p.conflicts(ri);
            const result_type r = p.propagate(ri);
            EXPECT_EQ(conflict, r == UNSAT);
            if (best < 0) {
                EXPECT_EQ(r, UNSAT);
                ++unsat;
                if (initialised) {
                    check_explanation(p, lc.domains, 0, iset(), holds);
                }
                continue;
            }
            EXPECT_EQ(r, CONSISTENT);
            for (unsigned i = 0; i < n; ++i) {
                ASSERT_TRUE(same(ri.domain(i), expected[i]))
                    << "parameter " << i << ": " << text(ri.domain(i));
                if (initialised && !same(lc.domains[i], expected[i])) {
                    ++narrowed;
                    check_explanation(p, lc.domains, i, expected[i], holds);
                }
            }
        }
    }
    EXPECT_GT(narrowed, 100u);
    EXPECT_GT(unsat, 50u);
    EXPECT_GT(wide_path, 500u);
}

TEST(LinearCombination, InitChoosesThePathAndWatchesTheBoundsThatMatter) {
    linear_combination_ge_propagator p(0, {2, 0, -3});
    auto ri = view_of({iset(0, 3), iset(0, 3), iset(0, 3)});
    EXPECT_TRUE(p.init(ri));
    EXPECT_TRUE(p.small());
    EXPECT_EQ(ri.count_watches(), 2u);
    linear_combination_ge_propagator large(0, {INT_MAX / 3 + 1, 1, 1});
    auto ri3 = view_of({iset(0, 3), iset(0, 3), iset(0, 3)});
    large.init(ri3);
    EXPECT_FALSE(large.small());
}

// The simplification of c*x >= k under the given domains: the kind of
// propagator, its parameters and its printed form (or "null").
std::string simplified(const linear_combination_ge_propagator& p,
                       const std::vector<iset>& domains, std::vector<unsigned>& params) {
    auto ri = view_of(domains);
    params = {99};
    std::unique_ptr<constraint_propagator> r = p.intersect_with(ri, params);
    if (!r)
        return "null";
    std::ostringstream os;
    if (const auto* clause = dynamic_cast<const clause_propagator*>(r.get())) {
        os << "clause";
        for (const iset& s : clause->literals())
            os << " {" << s << '}';
        return os.str();
    }
    r->print(os, nullptr);
    return os.str();
}

TEST(LinearCombination, RestrictionToGroundValues) {
    std::vector<unsigned> params;
    const iset free(0, 9);
    const struct {
        std::vector<int> c;
        int k;
        std::vector<iset> domains;
        std::string result;
        std::vector<unsigned> params;
    } cases[] = {
        // Nothing ground, gcd 1: no simplification.
        {{2, 3}, 5, {free, free}, "null", {}},
        // Nothing ground, gcd 2: 2x + 4y >= 5 becomes x + 2y >= 3.
        {{2, 4}, 5, {free, free}, "(P0+2*P1>=3)", {0, 1}},
        {{2, 4}, -5, {free, free}, "(P0+2*P1>=-2)", {0, 1}},
        // Everything ground: 0 >= k' is a tautology on parameter 0 or false.
        {{1, 1}, 3, {iset(1), iset(2)}, "clause {" + text(iset(MIN_DOMAIN, MAX_DOMAIN)) + "}", {0}},
        {{1, 1}, 4, {iset(1), iset(2)}, "clause", {}},
        // One left: a clause on it.
        {{3, 2}, 10, {free, iset(2)}, "clause {" + text(iset(2, MAX_DOMAIN)) + "}", {0}},
        {{-3, 2}, -10, {free, iset(2)}, "clause {" + text(iset(MIN_DOMAIN, 4)) + "}", {0}},
        // Two left with (1, -1) or (-1, 1): a difference.
        {{1, 5, -1}, 2, {free, iset(1), free}, "diff_ge_minus_3", {0, 2}},
        {{-1, 5, 1}, 2, {free, iset(1), free}, "diff_ge_minus_3", {2, 0}},
        // All coefficients zero is 0 >= k.
        {{0, 0}, 1, {free, free}, "clause", {}},
        {{0, 0}, -1, {free, free}, "clause {" + text(iset(MIN_DOMAIN, MAX_DOMAIN)) + "}", {0}},
    };
    for (const auto& c : cases) {
        linear_combination_ge_propagator p(c.k, c.c);
        EXPECT_EQ(simplified(p, c.domains, params), c.result);
        if (c.result != "null") {
            EXPECT_EQ(params, c.params);
        }
    }
    // Zero coefficients are dropped and the rest divided: 2y + 3w >= 4 stays
    // as it is, over parameters 1 and 3.
    linear_combination_ge_propagator zeros(4, {0, 2, 0, 3});
    EXPECT_EQ(simplified(zeros, {free, free, free, free}, params), "(2*P0+3*P1>=4)");
    EXPECT_EQ(params, (std::vector<unsigned>{1, 3}));
}

TEST(LinearCombination, PrintedForm) {
    auto ri = view_of({iset(0, 1), iset(0, 1), iset(0, 1)});
    EXPECT_EQ(printed(linear_combination_ge_propagator(4, {-1, 3}), &ri),
              "constraint(-P0+3*P1>=4)");
    EXPECT_EQ(printed(linear_combination_ge_propagator(-2, {2, 0, -5}), nullptr),
              "(2*P0-5*P2>=-2)");
    EXPECT_EQ(printed(linear_combination_ge_propagator(0, {1, 1}), nullptr), "(P0+P1>=0)");
}

TEST(InequalitySums, GroundRestrictionGoesThroughTheLinearForm) {
    std::vector<unsigned> params;
    const iset free(0, 9);
    // x0 <= x1 + x2 with x1 = 3: x2 - x0 >= -3.
    auto le = view_of({free, iset(3), free});
    auto r = less_equal_sum_propagator().intersect_with(le, params);
    ASSERT_TRUE(r);
    EXPECT_EQ(printed(*r, nullptr), "diff_ge_minus_3");
    EXPECT_EQ(params, (std::vector<unsigned>{2, 0}));
    // x0 >= x1 + x2 with x0 = 5: -x1 - x2 >= -5.
    auto ge = view_of({iset(5), free, free});
    r = greater_equal_sum_propagator().intersect_with(ge, params);
    ASSERT_TRUE(r);
    EXPECT_EQ(printed(*r, nullptr), "(-P0-P1>=-5)");
    EXPECT_EQ(params, (std::vector<unsigned>{1, 2}));
    auto none = view_of({free, free, free});
    EXPECT_FALSE(less_equal_sum_propagator().intersect_with(none, params));
}

}  // namespace difference_linear_test
