// Brute-force properties (see propagator_harness.h) of the comparison,
// difference, linear, reified-literal and interval propagators: soundness,
// explanations and ground completeness against independent predicates, with
// constants drawn around the window and at the ends of the 32-bit range so
// that the 64- and 128-bit paths are taken.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/interval_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/literal_propagators.h"
#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "tests/unit/propagator_harness.h"

namespace linear_property_test {

using namespace qarn_test;
using qarn::iset;

__extension__ typedef __int128 wide;
typedef std::vector<int> tuple;

// A constant for the window: mostly near its values (a difference or a
// length that makes the constraint tight), now and then an end of the range.
int random_constant(const value_window& w) {
    static const int extremes[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
    if (qarn::random::gen(6) == 0)
        return extremes[qarn::random::gen(sizeof extremes / sizeof extremes[0])];
    const std::int64_t span = (static_cast<std::int64_t>(w.hi) - w.lo) + 2;
    return static_cast<int>(static_cast<std::int64_t>(qarn::random::gen(
                                static_cast<unsigned>(2 * span + 1))) - span);
}

// A value near the window (for interval ends a and b).
int random_near(const value_window& w) {
    if (qarn::random::gen(8) == 0)
        return qarn::random::gen(2) ? INT_MIN : INT_MAX;
    const std::vector<int> box = widened_box(w);
    return box[qarn::random::gen(static_cast<unsigned>(box.size()))];
}

// Mostly a random subset of the box, now and then a generated shape or a
// complement reaching to the ends of the range.
iset random_literal(const value_window& w) {
    const std::vector<int> box = widened_box(w);
    iset s;
    if (qarn::random::gen(4) == 0) {
        s = qarn::random_var(true, box.front(), box.back());
    } else {
        for (int v : box)
            if (qarn::random::gen(8) < 3)
                s.insert(iset::range_type(v, v));
    }
    if (qarn::random::gen(5) == 0)
        s.complement();
    return s;
}

std::vector<iset> random_literals(const value_window& w, unsigned count) {
    std::vector<iset> sets;
    for (unsigned i = 0; i < count; ++i)
        sets.push_back(random_literal(w));
    return sets;
}

bool clause_holds(const std::vector<iset>& sets, const tuple& t, unsigned first) {
    for (std::size_t i = 0; i < sets.size(); ++i)
        if (sets[i].contains(t[first + i]))
            return true;
    return false;
}

bool difference_holds(const tuple& t, unsigned x, unsigned y, int k) {
    return static_cast<wide>(t[x]) - t[y] >= k;
}

bool no_sub_interval_holds(int x, int y, int a, int b, int k) {
    const wide end = static_cast<wide>(y) - k;
    return x <= end && (x < a || end > b);
}

// Windows holding 0 and 1, for a Boolean parameter.
std::vector<value_window> boolean_windows() {
#if QARN_SMALL_DOMAINS
    return {{0, 6}, {0, 3}, {0, 12, 3}};
#else
    return {{-3, 3}, {0, 4}, {-4, 8, 2}};
#endif
}

std::vector<int> random_coefficients(unsigned n, bool huge) {
    static const int big[] = {INT_MIN, INT_MIN + 1, -(1 << 30), INT_MAX / 3 + 1, 1 << 30,
                              INT_MAX};
    std::vector<int> c;
    for (unsigned i = 0; i < n; ++i)
        c.push_back(huge && qarn::random::gen(2) == 0
                        ? big[qarn::random::gen(sizeof big / sizeof big[0])]
                        : static_cast<int>(qarn::random::gen(7)) - 3);
    return c;
}

// The bound of a combination over the window: the left side at a random
// point of the box, shifted a little, or an end of the range.
int random_bound(const std::vector<int>& c, const value_window& w) {
    if (qarn::random::gen(8) == 0)
        return qarn::random::gen(2) ? INT_MIN : INT_MAX;
    const std::vector<int> box = widened_box(w);
    wide sum = 0;
    for (int ci : c)
        sum += static_cast<wide>(ci) * box[qarn::random::gen(static_cast<unsigned>(box.size()))];
    sum += static_cast<int>(qarn::random::gen(5)) - 2;
    return sum < INT_MIN ? INT_MIN : (sum > INT_MAX ? INT_MAX : static_cast<int>(sum));
}

bool linear_holds(const std::vector<int>& c, int k, const tuple& t, unsigned first = 0) {
    wide sum = 0;
    for (std::size_t i = 0; i < c.size(); ++i)
        sum += static_cast<wide>(c[i]) * t[first + i];
    return sum >= k;
}

propagator_row linear_row(const std::string& name, unsigned n, bool huge,
                          std::vector<value_window> windows) {
    return {name, n, std::move(windows), [n, huge](const value_window& w) {
                const std::vector<int> c = random_coefficients(n, huge);
                const int k = random_bound(c, w);
                return propagator_case{
                    std::make_unique<qarn::linear_combination_ge_propagator>(k, c),
                    [c, k](const tuple& t) { return linear_holds(c, k, t); }};
            }};
}

typedef qarn::disjoint_propagator<qarn::linear_combination_ge_propagator,
                                  qarn::clause_propagation_algo>
    linear_or_clause;
typedef qarn::disjoint_propagator<qarn::no_sub_interval_propagator,
                                  qarn::clause_propagation_algo>
    no_sub_interval_or_clause;

const std::vector<propagator_row>& rows() {
    static const std::vector<propagator_row> table = {
        {"is_equal", 3, boolean_windows(),
         [](const value_window&) {
             return propagator_case{std::make_unique<qarn::is_equal_propagator>(),
                                    [](const tuple& t) {
                                        return (t[0] == 1 && t[1] == t[2]) ||
                                               (t[0] == 0 && t[1] != t[2]);
                                    }};
         }},
        {"difference_ge", 2, standard_windows(),
         [](const value_window& w) {
             const int k = random_constant(w);
             return propagator_case{std::make_unique<qarn::difference_ge_propagator>(k),
                                    [k](const tuple& t) { return difference_holds(t, 0, 1, k); }};
         }},
        {"difference_ge_or_clause2", 4, standard_windows(5),
         [](const value_window& w) {
             const int k = random_constant(w);
             const std::vector<iset> sets = random_literals(w, 2);
             return propagator_case{
                 std::make_unique<qarn::difference_ge_or_clause_propagator>(k, sets),
                 [k, sets](const tuple& t) {
                     return difference_holds(t, 0, 1, k) || clause_holds(sets, t, 2);
                 }};
         }},
        linear_row("linear1", 1, false, standard_windows()),
        linear_row("linear2", 2, false, standard_windows()),
        linear_row("linear3", 3, false, standard_windows(5)),
        linear_row("linear2_wide", 2, true, standard_windows()),
        linear_row("linear3_wide", 3, true, standard_windows(5)),
        {"linear_or_clause", 3, standard_windows(5),
         [](const value_window& w) {
             const std::vector<int> c = random_coefficients(2, qarn::random::gen(3) == 0);
             const int k = random_bound(c, w);
             const std::vector<iset> sets = random_literals(w, 1);
             return propagator_case{
                 std::make_unique<linear_or_clause>(qarn::linear_combination_ge_propagator(k, c),
                                                    qarn::clause_propagation_algo(sets)),
                 [c, k, sets](const tuple& t) {
                     return linear_holds(c, k, t) || clause_holds(sets, t, 2);
                 }};
         }},
        {"literal_or_equal", 3, standard_windows(),
         [](const value_window& w) {
             const iset s = random_literal(w);
             return propagator_case{std::make_unique<qarn::literal_or_equal_propagator>(s),
                                    [s](const tuple& t) { return s.contains(t[0]) || t[1] == t[2]; }};
         }},
        {"literal_or_difference_ge", 3, standard_windows(),
         [](const value_window& w) {
             const iset s = random_literal(w);
             const int k = random_constant(w);
             return propagator_case{
                 std::make_unique<qarn::literal_or_difference_ge_propagator>(s, k),
                 [s, k](const tuple& t) { return s.contains(t[0]) || difference_holds(t, 1, 2, k); }};
         }},
        {"literal_or_neq", 3, standard_windows(),
         [](const value_window& w) {
             const iset s = random_literal(w);
             return propagator_case{std::make_unique<qarn::literal_or_neq_propagator>(s),
                                    [s](const tuple& t) { return s.contains(t[0]) || t[1] != t[2]; }};
         }},
        {"literal_iff_less_than", 3, standard_windows(),
         [](const value_window& w) {
             const iset s = random_literal(w);
             return propagator_case{std::make_unique<qarn::literal_iff_less_than_propagator>(s),
                                    [s](const tuple& t) { return s.contains(t[0]) == (t[1] < t[2]); }};
         }},
        {"no_overlap", 2, standard_windows(),
         [](const value_window& w) {
             const int l0 = random_constant(w), l1 = random_constant(w);
             return propagator_case{std::make_unique<qarn::no_overlap_propagator>(l0, l1),
                                    [l0, l1](const tuple& t) {
                                        return static_cast<wide>(t[0]) + l0 <= t[1] ||
                                               static_cast<wide>(t[1]) + l1 <= t[0];
                                    }};
         }},
        {"sub_interval", 2, standard_windows(),
         [](const value_window& w) {
             const int a = random_near(w), b = random_near(w);
             return propagator_case{std::make_unique<qarn::sub_interval_propagator>(a, b),
                                    [a, b](const tuple& t) {
                                        return t[1] < t[0] || (a <= t[0] && t[1] <= b);
                                    }};
         }},
        {"no_sub_interval", 2, standard_windows(),
         [](const value_window& w) {
             const int a = random_near(w), b = random_near(w), k = random_constant(w);
             return propagator_case{std::make_unique<qarn::no_sub_interval_propagator>(a, b, k),
                                    [a, b, k](const tuple& t) {
                                        return no_sub_interval_holds(t[0], t[1], a, b, k);
                                    }};
         }},
        {"no_sub_interval_or_clause", 3, standard_windows(5),
         [](const value_window& w) {
             const int a = random_near(w), b = random_near(w), k = random_constant(w);
             const std::vector<iset> sets = random_literals(w, 1);
             return propagator_case{
                 std::make_unique<no_sub_interval_or_clause>(
                     qarn::no_sub_interval_propagator(a, b, k), qarn::clause_propagation_algo(sets)),
                 [a, b, k, sets](const tuple& t) {
                     return no_sub_interval_holds(t[0], t[1], a, b, k) || clause_holds(sets, t, 2);
                 }};
         }},
    };
    return table;
}

class ComparisonAndLinearProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(ComparisonAndLinearProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ComparisonAndLinearProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

}  // namespace linear_property_test
