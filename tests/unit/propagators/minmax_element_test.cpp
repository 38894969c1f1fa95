// The minimum, maximum, element and if-then-else propagators: brute-force
// rows of the property harness (see propagator_harness.h), the strength of
// one propagation against brute force, hand cases at the edges (one
// argument, indexes outside the array or beyond INT_MAX, a condition outside
// {0, 1}), mirroring of huge sets, simplification under ground domains and
// the printed forms.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/element_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/minmax_propagators.h"
#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "tests/unit/propagator_harness.h"
#include "tests/unit/test_helpers.h"

namespace minmax_element_test {

using namespace qarn;
using namespace qarn_test;

typedef std::vector<int> tuple;

// ---------------------------------------------------------------------------
// Independent references

bool is_max(const tuple& t) {
    if (t.size() < 2)
        return false;
    int best = t[1];
    for (std::size_t i = 2; i < t.size(); ++i)
        best = std::max(best, t[i]);
    return t[0] == best;
}

bool is_min(const tuple& t) {
    if (t.size() < 2)
        return false;
    int best = t[1];
    for (std::size_t i = 2; i < t.size(); ++i)
        best = std::min(best, t[i]);
    return t[0] == best;
}

// (index, a0, ..., a(m-1), r): r = a[index - offset].
reference_predicate element_reference(int offset) {
    return [offset](const tuple& t) {
        const long long m = static_cast<long long>(t.size()) - 2;
        const long long k = static_cast<long long>(t[0]) - offset;
        return m > 0 && k >= 0 && k < m && t[static_cast<std::size_t>(k) + 1] == t.back();
    };
}

// (r, c, t, e).
bool is_if_then_else(const tuple& t) {
    return (t[1] == 1 && t[0] == t[2]) || (t[1] == 0 && t[0] == t[3]);
}

// ---------------------------------------------------------------------------
// Harness rows

// The standard windows and, in the large model, four values spread over the
// whole range (INT_MIN, -2^30, 0, 2^30): mirroring meets both ends.
std::vector<value_window> spread_windows(int width) {
    std::vector<value_window> windows = standard_windows(width);
#if !QARN_SMALL_DOMAINS
    windows.push_back({INT_MIN, 1 << 30, 1u << 30});
#endif
    return windows;
}

template <class P>
propagator_row fixed_row(const std::string& name, unsigned arity, int width,
                         reference_predicate holds) {
    return {name, arity, spread_windows(width), [holds](const value_window&) {
                return propagator_case{std::make_unique<P>(), holds};
            }};
}

int clamp_to_int(long long v) {
    return static_cast<int>(std::min<long long>(std::max<long long>(v, INT_MIN), INT_MAX));
}

// An offset under which the window's values select elements: a window
// value minus a few positions (at the top window the last index values
// then lie beyond INT_MAX), sometimes any offset around the window, and
// now and then INT_MIN or INT_MAX.
int random_offset(const value_window& w, unsigned elements) {
    const unsigned pick = qarn::random::gen(8);
    if (pick == 0)
        return qarn::random::gen(2) ? INT_MAX : INT_MIN;
    if (pick < 4) {
        const long long span = (static_cast<long long>(w.hi) - w.lo) / 2 + 3;
        return clamp_to_int(static_cast<long long>(w.lo) - 2 +
                            qarn::random::gen(static_cast<unsigned>(span)));
    }
    const std::vector<int> box = widened_box(w);
    const int v = box[qarn::random::gen(static_cast<unsigned>(box.size()))];
    return clamp_to_int(static_cast<long long>(v) - qarn::random::gen(elements + 1));
}

propagator_row element_row(const std::string& name, unsigned elements, int width) {
    return {name, elements + 2, spread_windows(width), [elements](const value_window& w) {
                const int offset = random_offset(w, elements);
                return propagator_case{std::make_unique<element_propagator>(offset),
                                       element_reference(offset)};
            }};
}

const std::vector<propagator_row>& rows() {
    static const std::vector<propagator_row> table = {
        fixed_row<max_propagator>("max1", 2, 7, is_max),
        fixed_row<max_propagator>("max2", 3, 5, is_max),
        fixed_row<max_propagator>("max3", 4, 4, is_max),
        fixed_row<min_propagator>("min1", 2, 7, is_min),
        fixed_row<min_propagator>("min2", 3, 5, is_min),
        fixed_row<min_propagator>("min3", 4, 4, is_min),
        element_row("element0", 0, 5),
        element_row("element1", 1, 5),
        element_row("element2", 2, 4),
        element_row("element3", 3, 3),
        fixed_row<if_then_else_propagator>("if_then_else", 4, 4, is_if_then_else),
    };
    return table;
}

class SelectionProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(SelectionProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, SelectionProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

// ---------------------------------------------------------------------------
// Strength of one propagation

TEST(SelectionStrength, ElementAndIfThenElseKeepOnlySupportedValues) {
    for (const propagator_row& row : rows()) {
        if (row.name.rfind("element", 0) != 0 && row.name != "if_then_else")
            continue;
        std::vector<unsigned> all;
        for (unsigned p = 0; p < row.arity; ++p)
            all.push_back(p);
        EXPECT_EQ(check_supported(row, all), "");
    }
}

TEST(SelectionStrength, MinMaxResultKeepsOnlySupportedValues) {
    for (const propagator_row& row : rows()) {
        if (row.name.rfind("max", 0) != 0 && row.name.rfind("min", 0) != 0)
            continue;
        EXPECT_EQ(check_supported(row, {0}), "");
    }
}

// ---------------------------------------------------------------------------
// Hand cases

struct hand_case {
    std::string name;
    std::function<std::unique_ptr<constraint_propagator>()> make;
    std::vector<std::string> before;
    propagation_types::result_type result;
    std::vector<std::string> after; // unused after UNSAT
};

template <class P, class... Args>
std::function<std::unique_ptr<constraint_propagator>()> make(Args... args) {
    return [args...] { return std::make_unique<P>(args...); };
}

std::vector<hand_case> hand_cases() {
    typedef propagation_types t;
    std::vector<hand_case> cases = {
        // Only x2 reaches 8 and x1's best is 5: x2 keeps [.., 5] and r's values.
        {"max_result_from_arguments", make<max_propagator>(), {"0:30", "1:5", "3:8"},
         t::CONSISTENT, {"3:8", "1:5", "3:8"}},
        // x2 alone reaches 9; x1 makes r at least 6: x2 = 7 is neither r nor below 6.
        {"max_single_top_argument", make<max_propagator>(), {"6,9", "5:6", "2,4,7,9"},
         t::CONSISTENT, {"6,9", "5:6", "2,4,9"}},
        {"max_one_argument_is_equality", make<max_propagator>(), {"0:9", "4:20"}, t::CONSISTENT,
         {"4:9", "4:9"}},
        {"max_no_common_value", make<max_propagator>(), {"0:3", "5:9", "1:2"}, t::UNSAT, {}},
        {"min_result_from_arguments", make<min_propagator>(), {"0:30", "25:29", "22:27"},
         t::CONSISTENT, {"22:27", "25:29", "22:27"}},
        {"min_single_bottom_argument", make<min_propagator>(), {"3,6", "6:7", "3,5,7,9"},
         t::CONSISTENT, {"3,6", "6:7", "3,7,9"}},
        {"min_one_argument_is_equality", make<min_propagator>(), {"5:30", "0:9"}, t::CONSISTENT,
         {"5:9", "5:9"}},
        // The index keeps the positions whose element meets r.
        {"element_drops_unsupported_index", make<element_propagator>(1),
         {"1:3", "1", "5", "7", "5,7"}, t::CONSISTENT, {"2:3", "1", "5", "7", "5,7"}},
        // Index values outside the array select nothing.
        {"element_index_outside_array", make<element_propagator>(2), {"0:1,3,9", "4", "5", "4:5"},
         t::CONSISTENT, {"3", "4", "5", "5"}},
        {"element_index_only_outside", make<element_propagator>(2), {"0:1,4:9", "4", "5", "4:5"},
         t::UNSAT, {}},
        {"element_fixed_index_narrows_element", make<element_propagator>(0),
         {"1", "0:9", "2:8", "5:20"}, t::CONSISTENT, {"1", "0:9", "5:8", "5:8"}},
        {"element_without_elements", make<element_propagator>(0), {"0:9", "0:9"}, t::UNSAT, {}},
        // c = {0, 1}, only e meets r: the else branch, entailed.
        {"if_then_else_else_branch", make<if_then_else_propagator>(), {"2", "0:1", "1", "2"},
         t::VALID, {"2", "0", "1", "2"}},
        {"if_then_else_condition_outside", make<if_then_else_propagator>(),
         {"0:9", "2:5", "0:9", "0:9"}, t::UNSAT, {}},
        // Values other than 0 and 1 are no choice: c = {1, 5} is the then branch.
        {"if_then_else_condition_partly_outside", make<if_then_else_propagator>(),
         {"0:5", "1,5", "3:9", "0:9"}, t::CONSISTENT, {"3:5", "1", "3:5", "0:9"}},
        {"if_then_else_open_condition", make<if_then_else_propagator>(),
         {"0:9", "0:1", "2:3", "7:12"}, t::CONSISTENT, {"2:3,7:9", "0:1", "2:3", "7:12"}},
        {"if_then_else_no_branch", make<if_then_else_propagator>(), {"0:1", "0:1", "2:3", "7"},
         t::UNSAT, {}},
    };
#if !QARN_SMALL_DOMAINS
    const std::vector<hand_case> extremes = {
        // The extremes mirror onto each other without overflow.
        {"min_extremes", make<min_propagator>(),
         {"-2147483648,0,2147483647", "-2147483648,2147483647", "5,2147483647"}, t::CONSISTENT,
         {"-2147483648,2147483647", "-2147483648,2147483647", "5,2147483647"}},
        {"max_extremes", make<max_propagator>(),
         {"-2147483648,0,2147483647", "-2147483648,2147483647", "-2147483648,-5"}, t::CONSISTENT,
         {"-2147483648,2147483647", "-2147483648,2147483647", "-2147483648,-5"}},
        {"min_whole_range", make<min_propagator>(), {"-2147483648:2147483647", "-5:-1", "0:9"},
         t::CONSISTENT, {"-5:-1", "-5:-1", "0:9"}},
        // Index values INT_MAX - 1 and INT_MAX select a0 and a1; a2 is out of reach.
        {"element_offset_near_int_max", make<element_propagator>(INT_MAX - 1),
         {"2147483646:2147483647", "1", "2", "3", "2:3"}, t::CONSISTENT,
         {"2147483647", "1", "2", "3", "2"}},
        {"element_offset_int_max", make<element_propagator>(INT_MAX),
         {"-2147483648,2147483647", "1", "2", "1:2"}, t::CONSISTENT, {"2147483647", "1", "2", "1"}},
        {"element_offset_int_max_below", make<element_propagator>(INT_MAX),
         {"2147483646", "1", "2", "1:2"}, t::UNSAT, {}},
        {"element_offset_int_min", make<element_propagator>(INT_MIN),
         {"-2147483647:2147483647", "1", "2", "0:9"}, t::CONSISTENT,
         {"-2147483647", "1", "2", "2"}},
    };
    cases.insert(cases.end(), extremes.begin(), extremes.end());
#endif
    return cases;
}

TEST(SelectionHandCases, PropagateAsExpected) {
    for (const hand_case& c : hand_cases()) {
        SCOPED_TRACE(c.name);
        std::vector<iset> before;
        for (const std::string& s : c.before)
            before.push_back(iset(s));
        auto ri = view_of(before);
        std::unique_ptr<constraint_propagator> p = c.make();
        EXPECT_EQ(p->conflicts(ri), c.result == propagation_types::UNSAT);
        EXPECT_EQ(p->propagate(ri), c.result);
        if (c.result == propagation_types::UNSAT)
            continue;
        ASSERT_EQ(c.after.size(), before.size());
        for (unsigned i = 0; i < before.size(); ++i)
            EXPECT_TRUE(same(ri.domain(i), iset(c.after[i])))
                << "V" << i << ": {" << text(ri.domain(i)) << "}, expected {" << c.after[i]
                << "}";
    }
}

TEST(SelectionHandCases, GroundChecks) {
    typedef std::function<std::unique_ptr<constraint_propagator>()> factory;
    const struct {
        const char* name;
        factory make;
        std::vector<int> values;
        bool holds;
    } cases[] = {
        {"max", make<max_propagator>(), {7, 3, 7, 1}, true},
        {"max_not_greatest", make<max_propagator>(), {3, 3, 7}, false},
        {"max_one_argument", make<max_propagator>(), {4, 4}, true},
        {"max_no_argument", make<max_propagator>(), {INT_MIN}, false},
        {"min", make<min_propagator>(), {1, 3, 1, 7}, true},
        {"min_not_least", make<min_propagator>(), {3, 3, 1}, false},
        {"min_no_argument", make<min_propagator>(), {INT_MAX}, false},
        {"element", make<element_propagator>(1), {2, 9, 4, 4}, true},
        {"element_other_element", make<element_propagator>(1), {2, 4, 9, 4}, false},
        {"element_index_below", make<element_propagator>(1), {0, 4, 4, 4}, false},
        {"element_index_above", make<element_propagator>(1), {3, 4, 4, 4}, false},
        {"element_offset_int_max", make<element_propagator>(INT_MAX), {INT_MAX, 4, 9, 4}, true},
        {"element_offset_int_min", make<element_propagator>(INT_MIN), {INT_MIN + 1, 9, 4, 4},
         true},
        {"element_index_wraps_not", make<element_propagator>(INT_MAX), {INT_MIN, 4, 4, 4}, false},
        {"element_no_element", make<element_propagator>(0), {0, 0}, false},
        {"if_then_else_then", make<if_then_else_propagator>(), {5, 1, 5, 6}, true},
        {"if_then_else_else", make<if_then_else_propagator>(), {6, 0, 5, 6}, true},
        {"if_then_else_wrong_branch", make<if_then_else_propagator>(), {5, 0, 5, 6}, false},
        {"if_then_else_condition_two", make<if_then_else_propagator>(), {5, 2, 5, 5}, false},
        {"if_then_else_condition_negative", make<if_then_else_propagator>(), {5, -1, 5, 5},
         false},
    };
    for (const auto& c : cases) {
        bool representable = true;
        std::vector<iset> domains;
        for (int v : c.values) {
            representable = representable && v >= MIN_DOMAIN && v <= MAX_DOMAIN;
            if (representable)
                domains.push_back(iset(v));
        }
        if (!representable)
            continue;
        EXPECT_EQ(c.make()->constraint_check(view_of(domains)), c.holds) << c.name;
    }
}

// The explanation of param's narrowing to new_domain (empty: of a conflict),
// asked for `asked`, names a clause that every solution of a box satisfies
// and that no value of the domains (for param: no removed value) satisfies.
std::vector<iset> expect_valid_explanation(const constraint_propagator& p,
                                           reference_predicate holds,
                                           const std::vector<iset>& domains, unsigned param,
                                           const iset& asked, const iset& new_domain,
                                           const std::vector<int>& box) {
    auto ri = view_of(domains);
    std::vector<iset> out;
    p.explain_propagation(param, asked, new_domain, ri, out);
    EXPECT_EQ(out.size(), domains.size());
    if (out.size() != domains.size())
        return out;
    for (unsigned i = 0; i < out.size(); ++i) {
        iset excluded(domains[i]);
        if (i == param && !new_domain.empty())
            excluded.erase_all_of(new_domain);
        EXPECT_FALSE(out[i].contains_any_of(excluded)) << "set " << i;
    }
    harness_detail::for_each_tuple(std::vector<std::vector<int>>(domains.size(), box),
                                   [&](const tuple& t) {
                                       if (!holds(t))
                                           return;
                                       bool covered = false;
                                       for (unsigned i = 0; i < t.size(); ++i)
                                           covered = covered || out[i].contains(t[i]);
                                       EXPECT_TRUE(covered)
                                           << "excludes " << harness_detail::text(t);
                                   });
    return out;
}

std::vector<iset> expect_valid_conflict_explanation(const constraint_propagator& p,
                                                    reference_predicate holds,
                                                    const std::vector<iset>& domains,
                                                    const std::vector<int>& box) {
    EXPECT_TRUE(p.conflicts(view_of(domains)));
    return expect_valid_explanation(p, holds, domains, 0, iset(), iset(), box);
}

TEST(ElementExplanation, ConflictWithNoIndexInRangeNamesTheRange) {
    // V = {2}; the index holds only 0 and 1: the clause needs "index = 2".
    element_propagator p(2);
    const std::vector<iset> out = expect_valid_conflict_explanation(
        p, element_reference(2), {iset(0, 1), iset(5), iset(5)}, {0, 1, 2, 3, 5, 6});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(same(out[0], iset(2)));
}

TEST(ElementExplanation, ElementNarrowingAskedForOtherValuesExplainsTheRemovedOnes) {
    // Index 1 is fixed: a1 loses 2..4, which r does not hold. Asked about
    // values that were not removed, the explanation still keeps r's set off
    // r's domain.
    element_propagator p(0);
    const std::vector<iset> domains = {iset(1), iset(0, 9), iset(2, 8), iset(5, 20)};
    const std::vector<iset> out = expect_valid_explanation(
        p, element_reference(0), domains, 2, iset(30), iset(5, 8), {1, 2, 4, 5, 9, 25});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_TRUE(same(out[3], iset(2, 4)));
}

#if !QARN_SMALL_DOMAINS
TEST(ElementExplanation, IndexRangeStopsAtIntMax) {
    // Four elements from INT_MAX - 1: only a0 and a1 can be chosen.
    const int offset = INT_MAX - 1;
    element_propagator p(offset);
    const std::vector<iset> domains = {iset(INT_MIN), iset(1), iset(1), iset(1), iset(1), iset(2)};
    std::vector<iset> out = expect_valid_conflict_explanation(
        p, element_reference(offset), domains, {INT_MIN, INT_MAX - 1, INT_MAX, 1, 2});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_TRUE(same(out[0], iset(INT_MAX - 1, INT_MAX)));

    // The index narrowed from {INT_MIN, INT_MAX}: removing INT_MIN needs only
    // the range of the index.
    const std::vector<iset> before = {values({INT_MIN, INT_MAX}), iset(1), iset(2), iset(0, 9),
                                      iset(0, 9), iset(2)};
    auto narrowing = view_of(before);
    EXPECT_EQ(p.propagate(narrowing), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(narrowing.domain(0), iset(INT_MAX)));
    out = expect_valid_explanation(p, element_reference(offset), before, 0, iset(INT_MIN),
                                   iset(INT_MAX), {INT_MIN, INT_MAX - 1, INT_MAX, 1, 2});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_TRUE(same(out[0], iset(INT_MAX - 1, INT_MAX)));
    for (unsigned i = 1; i < out.size(); ++i)
        EXPECT_TRUE(out[i].empty()) << "set " << i;
}
#endif

// ---------------------------------------------------------------------------
// Mirroring

int image(int v) {
    return static_cast<int>(static_cast<long long>(MIN_DOMAIN) + MAX_DOMAIN - v);
}

TEST(MinMirror, MapsEveryValueToItsImage) {
    std::vector<value_window> windows;
    for (const value_window& w : standard_windows(20))
        if (w.stride == 1)
            windows.push_back(w);
#if !QARN_SMALL_DOMAINS
    windows.push_back({INT_MIN, INT_MIN + 2000});
    windows.push_back({INT_MAX - 2000, INT_MAX});
    windows.push_back({-1000, 1000});
#endif
    for (unsigned seed = 1; seed <= 300; ++seed) {
        qarn::random::set_seed(seed);
        const value_window& w = windows[seed % windows.size()];
        const iset s = random_var(seed % 2 == 0, w.lo, w.hi);
        iset expected;
        for (int v : s)
            expected.insert(iset::range_type(image(v), image(v)));
        iset mirrored(s);
        min_propagator::mirror(mirrored);
        ASSERT_TRUE(same(mirrored, expected)) << "seed " << seed << ": {" << text(s) << "}";
    }
}

#if !QARN_SMALL_DOMAINS
// Huge sets go range by range: a walk value by value would not finish.
TEST(MinMirror, HugeSetsRangeByRange) {
    iset evens;
    evens.insert(iset::range_type(INT_MIN, INT_MAX - 1), 2);
    iset mixed; // 0, 6 and every even value from 12 to 2^30: one lattice, three index ranges
    mixed.insert(iset::range_type(12, 1 << 30), 2);
    mixed.insert(iset::range_type(0, 0));
    mixed.insert(iset::range_type(6, 6));
    iset all;
    all.complement();
    const std::vector<iset> sets = {all, iset(INT_MIN, INT_MAX - 1), iset(0, INT_MAX), evens,
                                    mixed, values({INT_MIN, 0, INT_MAX})};
    const std::vector<int> probes = {INT_MIN, INT_MIN + 1, -2, -1, 0, 1, 2, 3, 6, 7, 8, 12, 13,
                                     1 << 30, (1 << 30) + 2, INT_MAX - 1, INT_MAX};
    for (const iset& s : sets) {
        iset m(s);
        min_propagator::mirror(m);
        EXPECT_EQ(m.size(), s.size()) << text(s);
        for (int v : probes)
            EXPECT_EQ(m.contains(image(v)), s.contains(v)) << text(s) << " at " << v;
        min_propagator::mirror(m);
        EXPECT_TRUE(same(m, s)) << text(s);
    }

    // The minimum over huge domains runs on them as a whole.
    auto ri = view_of({all, evens, iset(INT_MAX)});
    min_propagator p;
    EXPECT_EQ(p.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), evens));
    EXPECT_TRUE(same(ri.domain(1), evens));
}
#endif

// ---------------------------------------------------------------------------
// Element under ground domains

TEST(ElementSimplification, AgreesWithTheConstraintUnderTheDomains) {
    const std::vector<value_window> windows = standard_windows(5);
    unsigned simplified = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        qarn::random::set_seed(seed);
        const value_window& w = windows[seed % windows.size()];
        if (w.stride != 1)
            continue;
        const unsigned elements = 1 + seed % 3;
        const int offset = random_offset(w, elements);
        std::vector<iset> domains;
        for (unsigned i = 0; i < elements + 2; ++i)
            domains.push_back(random_nonempty_var(true, w.lo, w.hi));
        element_propagator p(offset);
        std::vector<unsigned> params;
        simplified += p.intersect_with(view_of(domains), params) != nullptr;
        ASSERT_EQ(check_simplification(p, element_reference(offset), domains), "")
            << "seed " << seed;
    }
    EXPECT_GT(simplified, 50u);
}

TEST(ElementSimplification, Shapes) {
    std::vector<unsigned> params;
    // Every element choosable: nothing simpler.
    EXPECT_FALSE(element_propagator(1).intersect_with(
        view_of({iset(1, 2), iset(3), iset(4), iset(3, 4)}), params));

    // Nothing choosable, or no element at all: the empty clause.
    for (const std::vector<iset>& domains :
         {std::vector<iset>{iset(1, 2), iset(3), iset(4), iset(5)},
          std::vector<iset>{iset(1), iset(1)}}) {
        auto none = element_propagator(1).intersect_with(view_of(domains), params);
        ASSERT_TRUE(none);
        auto* clause = dynamic_cast<clause_propagator*>(none.get());
        ASSERT_NE(clause, nullptr);
        EXPECT_TRUE(clause->literals().empty());
        EXPECT_TRUE(params.empty());
    }

    // A fixed index: the chosen element equals r.
    auto equal = element_propagator(1).intersect_with(
        view_of({iset(2), iset(3), iset(4), iset(4, 5)}), params);
    ASSERT_TRUE(equal);
    EXPECT_NE(dynamic_cast<equal_propagator*>(equal.get()), nullptr);
    EXPECT_EQ(params, (std::vector<unsigned>{2, 3}));

    // Elements 1 and 2 of 0..3 choosable: the element over them, from index 2.
    auto span = element_propagator(1).intersect_with(
        view_of({iset(1, 4), iset(9), iset(3), iset(4), iset(9), iset(3, 4)}), params);
    ASSERT_TRUE(span);
    auto* narrower = dynamic_cast<element_propagator*>(span.get());
    ASSERT_NE(narrower, nullptr);
    EXPECT_EQ(narrower->offset(), 2);
    EXPECT_EQ(params, (std::vector<unsigned>{0, 2, 3, 5}));
}

// ---------------------------------------------------------------------------
// Printed forms

TEST(SelectionPrint, Forms) {
    auto three = view_of({iset(0), iset(0), iset(0)});
    auto two = view_of({iset(0), iset(0)});
    auto four = view_of({iset(0), iset(0), iset(0), iset(0)});
    const struct {
        std::unique_ptr<constraint_propagator> p;
        const constraint_runtime_info* ri;
        const char* expected;
    } cases[] = {
        {std::make_unique<max_propagator>(), &three, "constraintP0=max(P1, P2)"},
        {std::make_unique<max_propagator>(), nullptr, "max"},
        {std::make_unique<min_propagator>(), &two, "constraintP0=min(P1)"},
        {std::make_unique<min_propagator>(), nullptr, "min"},
        {std::make_unique<element_propagator>(1), &four, "constraint({P1, P2}[P0-1] == P3)"},
        {std::make_unique<element_propagator>(0), &three, "constraint({P1}[P0] == P2)"},
        {std::make_unique<element_propagator>(-2), &three, "constraint({P1}[P0+2] == P2)"},
        {std::make_unique<element_propagator>(INT_MIN), &three,
         "constraint({P1}[P0+2147483648] == P2)"},
        {std::make_unique<element_propagator>(3), nullptr, "element"},
        {std::make_unique<if_then_else_propagator>(), &four, "constraintP0=(P1 ? P2 : P3)"},
        {std::make_unique<if_then_else_propagator>(), nullptr, "if_then_else"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printed(*c.p, c.ri), c.expected);
}

}  // namespace minmax_element_test
