// Tests of the range map: fixed cases for the key rule, the full set and the
// boundary cases, and a randomized differential test of every operation
// against a plain model of the set.
#include "impl/sets/big_iset_impl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "impl/support/random.h"

namespace big_iset_impl_test {

using qarn::big_iset_impl;
using range = big_iset_impl::range_type;
using i64 = long long;
using range_list = std::vector<std::pair<i64, i64>>;

constexpr i64 END = INT64_MAX; // position past the last element

big_iset_impl make(const std::vector<range>& ranges) {
    big_iset_impl s;
    for (const range& r : ranges)
        s.insert(r);
    return s;
}

range_list ranges_of(const big_iset_impl& s) {
    range_list out;
    for (const auto& [key, r] : s.ranges())
        out.emplace_back(r.first, r.second);
    return out;
}

range_list to_list(const std::vector<range>& ranges) {
    range_list out;
    for (const range& r : ranges)
        out.emplace_back(r.first, r.second);
    return out;
}

int key_of_range(const big_iset_impl& s, range r) {
    for (const auto& [key, rr] : s.ranges())
        if (rr == r)
            return key;
    ADD_FAILURE() << "range [" << r.first << ", " << r.second << "] not found";
    return 0;
}

i64 pos_of(const big_iset_impl& s, const big_iset_impl::iterator& it) {
    return it == s.end() ? END : *it;
}

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

// ---------------------------------------------------------------------------
// Fixed cases

TEST(BigIsetImplKeys, NewRangeIsKeyedAtItsRoundedDownMidpoint) {
    struct Case {
        range r;
        int key;
    } cases[] = {
        {{0, 3}, 1},
        {{-3, 0}, -2},
        {{7, 7}, 7},
        {{INT_MIN, INT_MAX}, -1},
        {{INT_MAX - 2, INT_MAX}, INT_MAX - 1},
        {{INT_MIN, INT_MIN + 1}, INT_MIN},
    };
    for (const Case& c : cases) {
        big_iset_impl s = make({c.r});
        EXPECT_EQ(key_of_range(s, c.r), c.key) << c.r.first << ".." << c.r.second;
    }
}

TEST(BigIsetImplKeys, MergeKeepsKeyAndShrinkRekeysOnlyWhenKeyLeaves) {
    big_iset_impl s = make({{1, 3}, {9, 12}});
    s.insert({5, 7});
    EXPECT_EQ(ranges_of(s), (range_list{{1, 3}, {5, 7}, {9, 12}}));
    const int key = key_of_range(s, {5, 7});
    s.insert({4, 8});
    ASSERT_EQ(ranges_of(s), (range_list{{1, 12}}));
    EXPECT_EQ(s.ranges().begin()->first, key);
    EXPECT_EQ(s.size(), 12u);

    big_iset_impl t = make({{0, 10}}); // key 5
    t.erase({0, 2});
    EXPECT_EQ(key_of_range(t, {3, 10}), 5); // key still inside: kept
    t.erase({4, 8});                        // split around the key
    EXPECT_EQ(key_of_range(t, {3, 3}), 3);
    EXPECT_EQ(key_of_range(t, {9, 10}), 9);
    t.validate();
}

TEST(BigIsetImplEdges, FullSetIsNotEmptyThoughItsSizeIsZero) {
    big_iset_impl full = make({{INT_MIN, INT_MAX}});
    full.validate();
    EXPECT_FALSE(full.empty());
    EXPECT_TRUE(full.full());
    EXPECT_EQ(full.size(), 0u);
    for (int v : {INT_MIN, -1, 0, 1, INT_MAX})
        EXPECT_TRUE(full.contains(v)) << v;

    big_iset_impl none = full;
    none.complement();
    none.validate();
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(none.full());
    EXPECT_EQ(none.size(), 0u);
    EXPECT_FALSE(none.contains(0));

    none.complement();
    EXPECT_TRUE(none.full());
    EXPECT_TRUE(big_iset_impl::same_ranges(none, full));

    // A set built up to the whole domain piece by piece is the same full set.
    big_iset_impl pieces = make({{0, INT_MAX}, {INT_MIN, -1}});
    pieces.validate();
    EXPECT_TRUE(pieces.full());
    EXPECT_FALSE(pieces.empty());
}

TEST(BigIsetImplEdges, ComplementCountsGapsModulo2To32) {
    struct Case {
        std::vector<range> in;
        range_list out;
        unsigned size;
    } cases[] = {
        {{{INT_MIN, 0}}, {{1, INT_MAX}}, 2147483647u},
        {{{0, INT_MAX}}, {{INT_MIN, -1}}, 2147483648u},
        {{{0, 0}}, {{INT_MIN, -1}, {1, INT_MAX}}, 4294967295u},
        {{{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, {{INT_MIN + 1, INT_MAX - 1}}, 4294967294u},
        {{{-5, -3}, {3, 5}}, {{INT_MIN, -6}, {-2, 2}, {6, INT_MAX}}, 4294967290u},
    };
    for (const Case& c : cases) {
        big_iset_impl s = make(c.in);
        s.complement();
        s.validate();
        EXPECT_EQ(ranges_of(s), c.out);
        EXPECT_EQ(s.size(), c.size);
        s.complement();
        s.validate();
        EXPECT_EQ(ranges_of(s), to_list(c.in));
    }
}

TEST(BigIsetImplEdges, EraseRangeCases) {
    struct Case {
        std::vector<range> in;
        range erased;
        range_list out;
    } cases[] = {
        {{{1, 10}}, {5, 5}, {{1, 4}, {6, 10}}},             // split
        {{{1, 10}}, {1, 4}, {{5, 10}}},                     // cut below
        {{{1, 10}}, {8, 20}, {{1, 7}}},                     // cut above
        {{{1, 10}}, {0, 11}, {}},                           // whole range
        {{{1, 10}}, {11, 20}, {{1, 10}}},                   // adjacent, untouched
        {{{-10, -3}, {0, 2}, {4, 9}}, {-5, 5}, {{-10, -6}, {6, 9}}},
        {{{-10, -3}, {0, 2}, {4, 9}}, {-10, 9}, {}},
        {{{-10, -3}, {0, 2}, {4, 9}}, {-2, 3}, {{-10, -3}, {4, 9}}},
        {{{INT_MIN, INT_MAX}}, {INT_MIN, INT_MIN}, {{INT_MIN + 1, INT_MAX}}},
        {{{INT_MIN, INT_MAX}}, {INT_MAX, INT_MAX}, {{INT_MIN, INT_MAX - 1}}},
        {{{INT_MIN, INT_MAX}}, {0, 0}, {{INT_MIN, -1}, {1, INT_MAX}}},
        {{{INT_MIN, -5}, {5, INT_MAX}}, {INT_MIN, INT_MAX}, {}},
        {{{INT_MIN, -5}, {5, INT_MAX}}, {-100, 100}, {{INT_MIN, -101}, {101, INT_MAX}}},
    };
    for (const Case& c : cases) {
        big_iset_impl s = make(c.in);
        const unsigned before = s.size();
        s.erase(c.erased);
        s.validate();
        EXPECT_EQ(ranges_of(s), c.out) << c.erased.first << ".." << c.erased.second;
        big_iset_impl removed = make(c.in);
        removed.intersect(c.erased);
        EXPECT_EQ(s.size(), before - removed.size());
    }
}

TEST(BigIsetImplEdges, WholeSetOperationsWithEmptyAndFull) {
    big_iset_impl s = make({{1, 3}, {7, 9}});
    s.intersect(range{4, 6});
    EXPECT_TRUE(s.empty());

    const big_iset_impl full = make({{INT_MIN, INT_MAX}});
    big_iset_impl t = make({{1, 3}, {7, 9}});
    t.erase_all_of(full);
    EXPECT_TRUE(t.empty());

    big_iset_impl f = full;
    f.erase_all_of(make({{-1, -1}, {10, 11}}));
    f.validate();
    EXPECT_EQ(f.size(), 4294967293u);
    EXPECT_FALSE(f.empty());

    big_iset_impl u = make({{1, 3}});
    u.insert_all_of(full);
    EXPECT_TRUE(u.full());
    u.intersect(make({{5, 6}}));
    EXPECT_EQ(ranges_of(u), (range_list{{5, 6}}));
    EXPECT_EQ(u.size(), 2u);

    EXPECT_TRUE(full.contains_all_of(make({{INT_MIN, 0}})));
    EXPECT_FALSE(make({{INT_MIN, 0}}).contains_all_of(full));
    EXPECT_TRUE(make({{INT_MIN, 0}}).contains_any_of(full));
    EXPECT_FALSE(full.contains_any_of(big_iset_impl()));
    EXPECT_TRUE(full.contains_all_of(big_iset_impl()));
    EXPECT_FALSE(big_iset_impl().contains_all_of(make({{0, 0}})));
}

TEST(BigIsetImplEdges, SameRangesIgnoresKeys) {
    big_iset_impl a = make({{0, 20}});
    a.erase({11, 20}); // [0, 10] keeps key 10
    const big_iset_impl b = make({{0, 10}}); // key 5
    ASSERT_NE(a.ranges().begin()->first, b.ranges().begin()->first);
    EXPECT_TRUE(big_iset_impl::same_ranges(a, b));
    EXPECT_FALSE(big_iset_impl::same_ranges(a, make({{0, 11}})));
    EXPECT_FALSE(big_iset_impl::same_ranges(a, make({{0, 10}, {12, 12}})));
    EXPECT_FALSE(big_iset_impl::same_ranges(a, big_iset_impl()));
}

TEST(BigIsetImplIterator, FindStrideExamples) {
    struct Case {
        std::vector<range> in;
        int from; // start at lower_bound(from)
        range out;
        unsigned stride;
        i64 next;
    } cases[] = {
        {{{1, 1}, {4, 4}, {7, 7}, {10, 10}, {20, 20}}, 1, {1, 10}, 3, 20},
        {{{1, 5}, {8, 9}}, 1, {1, 5}, 1, 8},
        {{{1, 1}, {3, 6}}, 1, {1, 3}, 2, 4},
        {{{1, 5}, {8, 9}}, 5, {5, 8}, 3, 9},
        {{{1, 1}, {3, 3}, {5, 5}}, 3, {3, 5}, 2, END},
        {{{7, 7}}, 7, {7, 7}, 1, END},
        {{{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, INT_MIN, {INT_MIN, INT_MAX}, 4294967295u, END},
        {{{INT_MIN, INT_MAX}}, 5, {5, INT_MAX}, 1, END},
    };
    for (const Case& c : cases) {
        big_iset_impl s = make(c.in);
        range r;
        unsigned stride = 0;
        auto next = s.lower_bound(c.from).find_stride(s.end(), r, stride);
        EXPECT_EQ(r, c.out) << "from " << c.from;
        EXPECT_EQ(stride, c.stride) << "from " << c.from;
        EXPECT_EQ(pos_of(s, next), c.next) << "from " << c.from;
    }
}

TEST(BigIsetImplIterator, AdvanceOverTheFullSet) {
    const big_iset_impl full = make({{INT_MIN, INT_MAX}});
    for (unsigned n : {0u, 1u, 2147483648u, 4294967295u}) {
        auto it = full.begin();
        it.advance(n);
        EXPECT_EQ(*it, static_cast<int>(static_cast<unsigned>(INT_MIN) + n)) << n;
    }
    auto it = full.begin();
    it.advance(4294967295u);
    ++it;
    EXPECT_TRUE(it == full.end());
    --it;
    EXPECT_EQ(*it, INT_MAX);
}

TEST(BigIsetImplIterator, EraseAtEndAndEqualityOfEquivalentPositions) {
    big_iset_impl s = make({{1, 3}});
    auto it = s.erase(s.end());
    EXPECT_TRUE(it == s.end());
    EXPECT_EQ(ranges_of(s), (range_list{{1, 3}}));

    // (node, INT_MIN) and (node, lo) stand on the same element.
    EXPECT_TRUE(s.begin() == s.lower_bound(1));
    EXPECT_FALSE(s.begin() == s.lower_bound(2));

    it = s.erase(s.lower_bound(3));
    EXPECT_TRUE(it == s.end());
    it = s.erase(s.begin());
    EXPECT_EQ(*it, 2);
    it = s.erase(it);
    EXPECT_TRUE(it == s.end());
    EXPECT_TRUE(s.empty());
}

TEST(BigIsetImplFailures, MessagesAndUnchangedSet) {
    big_iset_impl s = make({{1, 3}});
    EXPECT_THROW(s.insert({5, 4}), std::out_of_range);
    EXPECT_EQ(message_of([&] { s.insert({5, 4}); }), "iset out of range big_iset_impl::insert");
    EXPECT_EQ(message_of([&] { s.erase({2, 1}); }), "iset out of range big_iset_impl::erase");
    EXPECT_EQ(ranges_of(s), (range_list{{1, 3}}));

    EXPECT_THROW(big_iset_impl().rand(), std::runtime_error);
    EXPECT_EQ(message_of([] { (void)big_iset_impl().rand(); }),
              "Can't qarn::big_iset::rand() for an empty set");

    range r;
    unsigned stride;
    EXPECT_EQ(message_of([&] { s.begin().find_stride(s.begin(), r, stride); }), "An empty stride was requested");
    EXPECT_EQ(message_of([&] { s.end().find_stride(s.end(), r, stride); }), "An empty stride was requested");
    EXPECT_EQ(message_of([&] { s.lower_bound(2).find_back_stride(s.lower_bound(2), r, stride); }),
              "An Empty stride was requested");
    EXPECT_EQ(message_of([&] { s.begin().find_back_stride(s.lower_bound(1), r, stride); }),
              "An Empty stride was requested");
}

TEST(BigIsetImplRand, DrawsOnlyAndEveryElement) {
    qarn::random::set_seed(12345);
    const std::vector<range> cases[] = {
        {{1, 1}, {5, 5}, {10, 12}},
        {{INT_MIN, INT_MIN + 1}, {INT_MAX, INT_MAX}},
    };
    for (const auto& c : cases) {
        big_iset_impl s = make(c);
        std::set<int> seen;
        for (int i = 0; i < 2000; ++i) {
            const int v = s.rand();
            ASSERT_TRUE(s.contains(v)) << v;
            seen.insert(v);
        }
        EXPECT_EQ(seen.size(), s.size());
    }
    const big_iset_impl full = make({{INT_MIN, INT_MAX}});
    std::set<int> seen;
    for (int i = 0; i < 50; ++i)
        seen.insert(full.rand());
    EXPECT_GT(seen.size(), 40u);
}

// ---------------------------------------------------------------------------
// Randomized differential test
//
// The model holds a window [a, b] of the domain value by value, and a flag for
// all values outside the window at once. Every operation either stays inside
// the window or covers the whole outside, so the outside stays uniform and the
// model describes any set the test can build, complements included.

struct model {
    i64 a, b;
    std::set<i64> in;
    bool out = false;

    bool contains(i64 v) const { return (v < a || v > b) ? out : in.count(v) != 0; }

    range_list ranges() const {
        range_list rs;
        auto add = [&](i64 lo, i64 hi) {
            if (!rs.empty() && rs.back().second + 1 == lo)
                rs.back().second = hi;
            else
                rs.emplace_back(lo, hi);
        };
        if (out && a > INT_MIN)
            add(INT_MIN, a - 1);
        for (i64 v : in)
            add(v, v);
        if (out && b < INT_MAX)
            add(b + 1, INT_MAX);
        return rs;
    }

    unsigned size() const {
        const i64 outside = (i64(1) << 32) - (b - a + 1);
        return static_cast<unsigned>(i64(in.size()) + (out ? outside : 0));
    }
};

// Queries on a list of disjoint, non-touching ranges.
struct ref_ranges {
    range_list rs;

    std::size_t index_at_or_above(i64 v) const {
        std::size_t i = 0;
        while (i < rs.size() && rs[i].second < v)
            ++i;
        return i;
    }
    i64 ceil(i64 v) const {
        const std::size_t i = index_at_or_above(v);
        return i == rs.size() ? END : std::max(v, rs[i].first);
    }
    i64 next(i64 x) const { return x == INT_MAX ? END : ceil(x + 1); }
    i64 prev(i64 x) const {
        for (std::size_t i = rs.size(); i-- > 0;)
            if (rs[i].first < x)
                return std::min(x - 1, rs[i].second);
        return END;
    }
    i64 last() const { return rs.back().second; }
    const std::pair<i64, i64>& range_of(i64 x) const { return rs[index_at_or_above(x)]; }
    i64 count_from(i64 x) const {
        i64 n = 0;
        for (std::size_t i = index_at_or_above(x); i < rs.size(); ++i)
            n += rs[i].second - std::max(x, rs[i].first) + 1;
        return n;
    }
    i64 nth_from(i64 x, i64 n) const {
        for (std::size_t i = index_at_or_above(x); i < rs.size(); ++i) {
            const i64 lo = std::max(x, rs[i].first);
            if (n <= rs[i].second - lo)
                return lo + n;
            n -= rs[i].second - lo + 1;
        }
        return END;
    }
};

struct stride_result {
    i64 lo, hi;
    unsigned stride;
    i64 pos;
};

// The maximal run of consecutive elements with equal steps from x, stopping before e.
stride_result ref_find_stride(const ref_ranges& r, i64 x, i64 e) {
    const i64 nx = r.next(x);
    if (nx == e || nx == END)
        return {x, x, 1, nx};
    const i64 step = nx - x;
    if (step == 1) {
        i64 hi = r.range_of(x).second;
        if (e <= hi)
            return {x, e - 1, 1, e};
        return {x, hi, 1, r.next(hi)};
    }
    i64 cur = nx;
    for (;;) {
        const i64 n2 = r.next(cur);
        if (n2 == END || n2 == e || n2 - cur != step)
            return {x, cur, static_cast<unsigned>(step), n2};
        cur = n2;
    }
}

// The same walked downwards from the element before p, not below bgn.
stride_result ref_find_back_stride(const ref_ranges& r, i64 p, i64 bgn) {
    const i64 d0 = p == END ? r.last() : r.prev(p);
    if (d0 == bgn)
        return {d0, d0, 1, d0};
    const i64 d1 = r.prev(d0);
    const i64 step = d0 - d1;
    if (step == 1) {
        const i64 lo = std::max(r.range_of(d0).first, bgn);
        return {lo, d0, 1, lo};
    }
    i64 cur = d1;
    for (;;) {
        if (cur == bgn)
            return {cur, d0, static_cast<unsigned>(step), cur};
        const i64 n2 = r.prev(cur);
        if (cur - n2 != step)
            return {cur, d0, static_cast<unsigned>(step), cur};
        cur = n2;
    }
}

class differential {
public:
    differential(i64 a, i64 b, unsigned seed) : m_rng(seed), m_model{a, b, {}, false} {}

    void run(int steps) {
        for (int step = 0; step < steps && !::testing::Test::HasFatalFailure(); ++step) {
            m_trace = "step " + std::to_string(step);
            mutate();
            note_storage();
            check_same(m_set, m_model);
            if (::testing::Test::HasFatalFailure())
                return;
            query();
        }
    }

private:
    i64 uniform(i64 lo, i64 hi) { return std::uniform_int_distribution<i64>(lo, hi)(m_rng); }
    bool chance(int n) { return uniform(0, n - 1) == 0; }

    // A value in the window, or now and then one outside it.
    i64 any_value() {
        if (!chance(6))
            return uniform(m_model.a, m_model.b);
        std::vector<i64> outside;
        for (i64 v : {i64(INT_MIN), i64(INT_MAX), m_model.a - 1, m_model.b + 1, uniform(INT_MIN, INT_MAX)})
            if (v >= INT_MIN && v <= INT_MAX && (v < m_model.a || v > m_model.b))
                outside.push_back(v);
        return outside[uniform(0, outside.size() - 1)];
    }

    // A range inside the window, or one that also covers everything outside it.
    range any_range() {
        i64 lo = uniform(m_model.a, m_model.b);
        i64 hi = chance(2) ? std::min(m_model.b, lo + uniform(0, 3)) : uniform(lo, m_model.b);
        if (chance(8)) {
            if (m_model.a > INT_MIN)
                lo = INT_MIN;
            if (m_model.b < INT_MAX)
                hi = INT_MAX;
        }
        return range(static_cast<int>(lo), static_cast<int>(hi));
    }

    model any_model() {
        model m{m_model.a, m_model.b, {}, false};
        const int kind = static_cast<int>(uniform(0, 9));
        if (kind == 0)
            return m; // empty
        const bool full = kind == 1;
        const i64 density = uniform(1, 9);
        for (i64 v = m.a; v <= m.b; ++v)
            if (full || uniform(0, 9) < density)
                m.in.insert(v);
        m.out = full || chance(3);
        return m;
    }

    static big_iset_impl build(const model& m) {
        big_iset_impl s;
        for (const auto& [lo, hi] : m.ranges())
            s.insert(range(static_cast<int>(lo), static_cast<int>(hi)));
        return s;
    }

    void check_same(const big_iset_impl& s, const model& m) {
        SCOPED_TRACE(m_trace);
        ASSERT_NO_THROW(s.validate());
        const range_list expected = m.ranges();
        ASSERT_EQ(ranges_of(s), expected);
        EXPECT_EQ(s.size(), m.size());
        EXPECT_EQ(s.empty(), expected.empty());
        EXPECT_EQ(s.full(), expected == range_list({{INT_MIN, INT_MAX}}));
        if (!expected.empty()) {
            EXPECT_EQ(s.min(), expected.front().first);
            EXPECT_EQ(s.max(), expected.back().second);
        }
    }

    // Applies a range operation to the model; the outside follows whether the
    // range covers it.
    template <class Op>
    void model_range(const range& r, Op op) {
        for (i64 v = m_model.a; v <= m_model.b; ++v) {
            const bool inside = v >= r.first && v <= r.second;
            if (op(m_model.in.count(v) != 0, inside))
                m_model.in.insert(v);
            else
                m_model.in.erase(v);
        }
        const bool covers = r.first < m_model.a || r.second > m_model.b;
        m_model.out = op(m_model.out, covers);
    }

    template <class Op>
    void model_set(const model& other, Op op) {
        for (i64 v = m_model.a; v <= m_model.b; ++v) {
            if (op(m_model.in.count(v) != 0, other.in.count(v) != 0))
                m_model.in.insert(v);
            else
                m_model.in.erase(v);
        }
        m_model.out = op(m_model.out, other.out);
    }

    void mutate() {
        static const auto unite = [](bool x, bool y) { return x || y; };
        static const auto remove = [](bool x, bool y) { return x && !y; };
        static const auto meet = [](bool x, bool y) { return x && y; };
        switch (uniform(0, 12)) {
        case 0:
        case 1:
        case 2: {
            const range r = any_range();
            m_trace += " insert";
            m_set.insert(r);
            model_range(r, unite);
            break;
        }
        case 3:
        case 4: {
            const range r = any_range();
            m_trace += " erase";
            m_set.erase(r);
            model_range(r, remove);
            break;
        }
        case 5: {
            const range r = any_range();
            m_trace += " intersect range";
            m_set.intersect(r);
            model_range(r, meet);
            break;
        }
        case 6:
        case 7: {
            m_trace += " erase at iterator";
            const auto it = m_set.lower_bound(static_cast<int>(any_value()));
            const i64 x = pos_of(m_set, it);
            if (x != END && (x < m_model.a || x > m_model.b))
                break; // the model cannot lose a single value outside the window
            const i64 next = pos_of(m_set, m_set.erase(it));
            if (x != END)
                m_model.in.erase(x);
            const ref_ranges r{m_model.ranges()};
            EXPECT_EQ(next, x == END || x == INT_MAX ? END : r.ceil(x + 1)) << m_trace;
            break;
        }
        case 8: {
            const model other = any_model();
            m_trace += " intersect set";
            m_set.intersect(build(other));
            model_set(other, meet);
            break;
        }
        case 9: {
            const model other = any_model();
            m_trace += " insert_all_of";
            m_set.insert_all_of(build(other));
            model_set(other, unite);
            break;
        }
        case 10: {
            const model other = any_model();
            m_trace += " erase_all_of";
            m_set.erase_all_of(build(other));
            model_set(other, remove);
            break;
        }
        case 11: {
            m_trace += " complement";
            m_set.complement();
            for (i64 v = m_model.a; v <= m_model.b; ++v)
                if (!m_model.in.erase(v))
                    m_model.in.insert(v);
            m_model.out = !m_model.out;
            break;
        }
        case 12: {
            // Self operations and copies.
            switch (uniform(0, 3)) {
            case 0:
                m_trace += " self intersect";
                m_set.intersect(m_set);
                break;
            case 1:
                m_trace += " self insert_all_of";
                m_set.insert_all_of(m_set);
                break;
            case 2: {
                // A copy is independent of its source.
                m_trace += " copy";
                big_iset_impl copy = m_set;
                copy.complement();
                check_same(m_set, m_model);
                m_set = copy;
                m_set.complement();
                break;
            }
            default:
                if (chance(4)) {
                    m_trace += " self erase_all_of";
                    m_set.erase_all_of(m_set);
                    m_model.in.clear();
                    m_model.out = false;
                }
                break;
            }
            break;
        }
        }
    }

    void query() {
        SCOPED_TRACE(m_trace);
        const ref_ranges r{m_model.ranges()};
        const big_iset_impl& s = m_set;

        for (int i = 0; i < 6; ++i) {
            const i64 v = any_value();
            EXPECT_EQ(s.contains(static_cast<int>(v)), m_model.contains(v)) << "contains " << v;
            EXPECT_EQ(pos_of(s, s.lower_bound(static_cast<int>(v))), r.ceil(v)) << "lower_bound " << v;
            const auto node = s.lower_range_bound(static_cast<int>(v));
            const std::size_t index = r.index_at_or_above(v);
            if (index == r.rs.size()) {
                EXPECT_TRUE(node == s.ranges().end()) << "lower_range_bound " << v;
            } else {
                ASSERT_TRUE(node != s.ranges().end()) << "lower_range_bound " << v;
                EXPECT_EQ(std::make_pair(i64(node->second.first), i64(node->second.second)), r.rs[index])
                    << "lower_range_bound " << v;
            }
        }

        {
            const model other = any_model();
            const big_iset_impl b = build(other);
            bool all = other.out ? m_model.out : true;
            bool any = other.out && m_model.out;
            for (i64 v = m_model.a; v <= m_model.b; ++v) {
                const bool x = m_model.in.count(v) != 0, y = other.in.count(v) != 0;
                all = all && (!y || x);
                any = any || (x && y);
            }
            EXPECT_EQ(s.contains_all_of(b), all) << "contains_all_of";
            EXPECT_EQ(s.contains_any_of(b), any) << "contains_any_of";
            EXPECT_EQ(big_iset_impl::same_ranges(s, b), r.rs == other.ranges()) << "same_ranges";
        }

        if (r.rs.empty()) {
            EXPECT_TRUE(s.begin() == s.end());
            return;
        }

        // Forward iteration from the start and from a random element.
        const int limit = 80;
        for (i64 start : {i64(r.rs.front().first), r.ceil(any_value())}) {
            if (start == END)
                continue;
            auto it = s.lower_bound(static_cast<int>(start));
            i64 expected = start;
            for (int i = 0; i < limit && expected != END; ++i) {
                ASSERT_FALSE(it == s.end()) << "forward from " << start;
                ASSERT_EQ(*it, expected) << "forward from " << start;
                ++it;
                expected = r.next(expected);
            }
            if (expected == END) {
                EXPECT_TRUE(it == s.end()) << "forward from " << start;
            }
        }

        // Backward iteration from the end and from a random element.
        for (i64 start : {END, r.ceil(any_value())}) {
            auto it = start == END ? s.end() : s.lower_bound(static_cast<int>(start));
            i64 expected = start == END ? r.last() : r.prev(start);
            for (int i = 0; i < limit && expected != END; ++i) {
                --it;
                ASSERT_EQ(*it, expected) << "backward from " << start;
                expected = r.prev(expected);
            }
            if (expected == END) {
                EXPECT_TRUE(it == s.begin()) << "backward from " << start;
            }
        }

        // advance
        for (int i = 0; i < 4; ++i) {
            const i64 x = chance(3) ? r.rs.front().first : r.ceil(any_value());
            if (x == END)
                continue;
            const i64 remaining = r.count_from(x);
            const i64 cap = std::min<i64>(remaining, UINT_MAX);
            const i64 choices[] = {0, 1, 2, cap, cap - 1, uniform(0, cap), uniform(0, std::min<i64>(cap, 40))};
            const i64 n = std::clamp<i64>(choices[uniform(0, 6)], 0, cap);
            auto it = s.lower_bound(static_cast<int>(x));
            it.advance(static_cast<unsigned>(n));
            EXPECT_EQ(pos_of(s, it), n == remaining ? END : r.nth_from(x, n)) << "advance " << x << " by " << n;
        }

        // find_stride from a random element up to the end or a later element.
        for (int i = 0; i < 4; ++i) {
            const i64 x = chance(4) ? r.rs.front().first : r.ceil(any_value());
            if (x == END)
                continue;
            const i64 e = chance(2) ? END : r.ceil(uniform(x, std::max<i64>(x, m_model.b)));
            const auto from = s.lower_bound(static_cast<int>(x));
            const auto stop = e == END ? s.end() : s.lower_bound(static_cast<int>(e));
            range got;
            unsigned stride = 0;
            if (e == x) {
                EXPECT_THROW(from.find_stride(stop, got, stride), std::runtime_error);
                continue;
            }
            const auto next = from.find_stride(stop, got, stride);
            const stride_result want = ref_find_stride(r, x, e);
            EXPECT_EQ(i64(got.first), want.lo) << "find_stride from " << x << " to " << e;
            EXPECT_EQ(i64(got.second), want.hi) << "find_stride from " << x << " to " << e;
            EXPECT_EQ(stride, want.stride) << "find_stride from " << x << " to " << e;
            EXPECT_EQ(pos_of(s, next), want.pos) << "find_stride from " << x << " to " << e;
            if (want.pos != END) {
                EXPECT_TRUE(next == s.lower_bound(static_cast<int>(want.pos)));
            }
        }

        // for_each_stride lists what find_stride walks from begin() to end(), in every storage form.
        {
            std::vector<std::tuple<int, int, unsigned>> walked, listed;
            for (auto it = s.begin(); it != s.end();) {
                range got;
                unsigned stride = 0;
                it = it.find_stride(s.end(), got, stride);
                walked.emplace_back(got.first, got.second, stride);
            }
            s.for_each_stride([&](const range& got, unsigned stride) { listed.emplace_back(got.first, got.second, stride); });
            EXPECT_EQ(listed, walked) << "for_each_stride";
        }

        // find_back_stride from the end or an element, down to the start or an earlier element.
        for (int i = 0; i < 4; ++i) {
            const i64 p = chance(3) ? END : r.ceil(any_value());
            const i64 bgn = chance(3) ? r.rs.front().first : r.ceil(uniform(m_model.a, m_model.b));
            if (bgn == END || bgn > p)
                continue;
            const auto from = p == END ? s.end() : s.lower_bound(static_cast<int>(p));
            const auto first = s.lower_bound(static_cast<int>(bgn));
            range got;
            unsigned stride = 0;
            if (bgn == p) {
                EXPECT_THROW(from.find_back_stride(first, got, stride), std::runtime_error);
                continue;
            }
            const auto start = from.find_back_stride(first, got, stride);
            const stride_result want = ref_find_back_stride(r, p, bgn);
            EXPECT_EQ(i64(got.first), want.lo) << "find_back_stride from " << p << " to " << bgn;
            EXPECT_EQ(i64(got.second), want.hi) << "find_back_stride from " << p << " to " << bgn;
            EXPECT_EQ(stride, want.stride) << "find_back_stride from " << p << " to " << bgn;
            EXPECT_EQ(pos_of(s, start), want.pos) << "find_back_stride from " << p << " to " << bgn;
        }
    }

    // Which storage forms the set took: inline slots, a heap array, the tree.
    void note_storage() {
        if (m_set.spilled())
            m_seen_tree = true;
        else if (m_set.range_count() > big_iset_impl::INLINE_RANGES)
            m_seen_heap = true;
        else
            m_seen_inline = true;
    }

public:
    bool m_seen_inline = false, m_seen_heap = false, m_seen_tree = false;

private:
    std::mt19937 m_rng;
    model m_model;
    big_iset_impl m_set;
    std::string m_trace;
};

struct window_case {
    const char* name;
    i64 a, b;
    unsigned seeds = 30;
};

class BigIsetImplDifferential : public ::testing::TestWithParam<window_case> {};

TEST_P(BigIsetImplDifferential, MatchesModel) {
    const window_case& w = GetParam();
    bool inline_slots = false, heap_array = false, tree = false;
    for (unsigned seed = 1; seed <= w.seeds && !HasFatalFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        differential d(w.a, w.b, seed);
        d.run(150);
        inline_slots = inline_slots || d.m_seen_inline;
        heap_array = heap_array || d.m_seen_heap;
        tree = tree || d.m_seen_tree;
    }
    // A window wide enough for more ranges than a flat array holds takes the
    // set through every storage form and back (copies of small trees are flat).
    if (w.b - w.a + 1 > 4 * i64(big_iset_impl::FLAT_RANGES)) {
        EXPECT_TRUE(inline_slots);
        EXPECT_TRUE(heap_array);
        EXPECT_TRUE(tree);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, BigIsetImplDifferential,
                         ::testing::Values(window_case{"NearZero", -12, 12},
                                           window_case{"Tiny", -2, 3},
                                           window_case{"AtMinDomain", INT_MIN, i64(INT_MIN) + 24},
                                           window_case{"AtMaxDomain", i64(INT_MAX) - 24, INT_MAX},
                                           window_case{"Wide", -600, 599, 8},
                                           window_case{"WideAtMaxDomain", i64(INT_MAX) - 1199, INT_MAX, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace big_iset_impl_test
