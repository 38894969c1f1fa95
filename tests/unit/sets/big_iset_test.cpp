// Strided set: a randomized differential test of every operation against a
// plain reference over small windows (near 0 and touching INT_MIN/INT_MAX),
// plus the compaction and stride rules on fixed cases.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "impl/sets/big_iset.h"

namespace big_iset_test {

using qarn::big_iset;
using iset = qarn::big_model::iset;
using range = std::pair<int, int>;

// Reference: membership inside a window, plus one flag for every value
// outside it (complements make sets that reach far beyond the window).
struct reference {
    long long base;
    int width;
    std::vector<bool> in;
    bool outside = false;

    reference(long long b, int w) : base(b), width(w), in(static_cast<size_t>(w), false) {}
    long long top() const { return base + width - 1; }
    bool holds(long long v) const {
        if (v < base || v > top())
            return outside;
        return in[static_cast<size_t>(v - base)];
    }
    void set(long long v, bool on) { in[static_cast<size_t>(v - base)] = on; }
    long long count_inside() const {
        long long n = 0;
        for (bool b : in)
            n += b;
        return n;
    }
    unsigned size() const {
        long long n = count_inside() + (outside ? (1LL << 32) - width : 0);
        return static_cast<unsigned>(n);
    }
    bool empty() const { return !outside && count_inside() == 0; }
    bool has_outside_values() const { return base > INT_MIN || top() < INT_MAX; }
};

// Values outside the window that the checks probe.
std::vector<long long> outside_probes(const reference& r) {
    std::vector<long long> probes;
    for (long long v : {r.base - 1, r.base - 2, r.base - 1000, r.top() + 1, r.top() + 2,
                        r.top() + 1000, (long long)INT_MIN, (long long)INT_MAX, 0LL})
        if (v >= INT_MIN && v <= INT_MAX && (v < r.base || v > r.top()))
            probes.push_back(v);
    return probes;
}

void expect_same(const iset& s, const reference& r, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_NO_THROW(s.validate());
    ASSERT_EQ(s.empty(), r.empty());
    ASSERT_EQ(s.size(), r.size());
    for (long long v = r.base; v <= r.top(); ++v)
        ASSERT_EQ(s.contains(static_cast<int>(v)), r.holds(v)) << "value " << v;
    for (long long v : outside_probes(r))
        ASSERT_EQ(s.contains(static_cast<int>(v)), r.holds(v)) << "probe " << v;
    if (r.empty())
        return;

    // min/max; values outside the window count when the window holds none
    long long lo = LLONG_MAX, hi = LLONG_MIN;
    for (long long v = r.base; v <= r.top(); ++v)
        if (r.holds(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    if (r.outside) {
        lo = r.base > INT_MIN ? INT_MIN : lo != LLONG_MAX ? lo : r.top() + 1;
        hi = r.top() < INT_MAX ? INT_MAX : hi != LLONG_MIN ? hi : r.base - 1;
    }
    ASSERT_EQ(s.min(), lo);
    ASSERT_EQ(s.max(), hi);

    // A plain range is exactly its bounds (every value between min and max);
    // a set of one run of stride 1 built here is always reported as one.
    int plain_lo = 0, plain_hi = 0;
    const bool one_run = s.size() == static_cast<unsigned>(hi - lo + 1);
    if (s.plain_range(plain_lo, plain_hi)) {
        ASSERT_TRUE(one_run);
        ASSERT_EQ(plain_lo, lo);
        ASSERT_EQ(plain_hi, hi);
    } else if (s.stride() == 1) {
        ASSERT_FALSE(one_run && lo < hi) << "a run of stride 1 not reported plain";
    }

    // lower_bound / upper_bound at every window value
    for (long long v = r.base; v <= r.top(); ++v) {
        long long next = LLONG_MAX;
        for (long long w = v; w <= r.top(); ++w)
            if (r.holds(w)) {
                next = w;
                break;
            }
        if (next == LLONG_MAX && r.outside && r.top() < INT_MAX)
            next = r.top() + 1;
        auto it = s.lower_bound(static_cast<int>(v));
        if (next == LLONG_MAX)
            ASSERT_TRUE(it == s.end()) << "lower_bound " << v;
        else
            ASSERT_EQ(*it, next) << "lower_bound " << v;
        if (v < INT_MAX) {
            auto up = s.upper_bound(static_cast<int>(v));
            auto exp = s.lower_bound(static_cast<int>(v + 1));
            ASSERT_TRUE(up == exp) << "upper_bound " << v;
        }
    }

    // for_each_progression lists the progressions find_stride walks, in order.
    std::vector<std::tuple<int, int, unsigned>> strides, listed;
    for (auto it = s.begin(); it != s.end();) {
        range pr;
        unsigned st = 0;
        it = it.find_stride(s.end(), pr, st);
        strides.emplace_back(pr.first, pr.second, st);
    }
    s.for_each_progression([&](const range& pr, unsigned st) { listed.emplace_back(pr.first, pr.second, st); });
    ASSERT_EQ(listed, strides) << "for_each_progression";

    if (r.outside)
        return;
    // Forward and backward iteration, and the progression walk.
    std::vector<long long> expected;
    for (long long v = r.base; v <= r.top(); ++v)
        if (r.holds(v))
            expected.push_back(v);
    std::vector<long long> forward;
    for (auto it = s.begin(); it != s.end(); ++it)
        forward.push_back(*it);
    ASSERT_EQ(forward, expected);
    std::vector<long long> backward;
    for (auto it = s.end(); it != s.begin();) {
        --it;
        backward.insert(backward.begin(), *it);
    }
    ASSERT_EQ(backward, expected);
    std::vector<long long> walked;
    for (auto it = s.begin(); it != s.end();) {
        range pr;
        unsigned st = 0;
        auto next = it.find_stride(s.end(), pr, st);
        ASSERT_GE(st, 1u);
        ASSERT_LE(pr.first, pr.second);
        ASSERT_EQ((static_cast<long long>(pr.second) - pr.first) % st, 0);
        for (long long v = pr.first; v <= pr.second; v += st)
            walked.push_back(v);
        it = next;
    }
    ASSERT_EQ(walked, expected);
    // Range walk: current_range/advance_range cover the elements in order.
    std::vector<long long> by_range;
    for (auto it = s.begin(); it != s.end(); it.advance_range()) {
        range cr = it.current_range();
        for (long long v = cr.first; v <= cr.second; v += s.stride())
            by_range.push_back(v);
    }
    ASSERT_EQ(by_range, expected);
}

// How many states of the differential runs held a long strided set: the runs
// must reach the stride paths, not only plain ranges.
int g_long_strided_states = 0;

struct fixture_rng {
    std::mt19937 gen;
    explicit fixture_rng(unsigned seed) : gen(seed) {}
    int below(int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); }
};

// A random progression lo:s:hi inside the window; strides above 1 are
// common so that strided sets, compaction and progression arithmetic occur.
void random_progression(fixture_rng& g, const reference& r, long long& lo, long long& hi,
                        unsigned& s) {
    s = g.below(3) == 0 ? 1 : 2 + static_cast<unsigned>(g.below(11));
    lo = r.base + g.below(r.width);
    long long steps = (r.top() - lo) / s;
    hi = lo + (steps ? g.below(static_cast<int>(steps) + 1) : 0) * static_cast<long long>(s);
}

void ref_apply_progression(reference& r, long long lo, long long hi, unsigned s, bool on) {
    for (long long v = lo; v <= hi; v += s)
        r.set(v, on);
}

// Inserts the progression in one of the ways a set can receive it.
void insert_progression(fixture_rng& g, iset& s, long long lo, long long hi, unsigned st) {
    if (g.below(2) == 0) {
        for (long long v = lo; v <= hi; v += st)
            s.insert(range(static_cast<int>(v), static_cast<int>(v)));
    } else {
        s.insert(range(static_cast<int>(lo), static_cast<int>(hi)), st);
    }
}

// A random set inside the window, paired with its reference: usually one or
// two long progressions (often sharing the stride), sometimes a mix of items,
// sometimes complemented.
void random_set(fixture_rng& g, iset& s, reference& r) {
    s = iset();
    r = reference(r.base, r.width);
    int mode = g.below(4);
    if (mode < 2) {
        long long lo, hi;
        unsigned st;
        random_progression(g, r, lo, hi, st);
        lo = r.base + (lo - r.base) % st; // start early: long progressions
        hi = lo + (r.top() - lo) / st * st;
        insert_progression(g, s, lo, hi, st);
        ref_apply_progression(r, lo, hi, st, true);
        if (mode == 1) {
            long long lo2 = lo + 1 + g.below(static_cast<int>(st));
            if (lo2 <= r.top()) {
                long long hi2 = lo2 + (r.top() - lo2) / st * st;
                insert_progression(g, s, lo2, hi2, st);
                ref_apply_progression(r, lo2, hi2, st, true);
            }
        }
    } else {
        int items = g.below(5);
        for (int i = 0; i < items; ++i) {
            long long lo, hi;
            unsigned st;
            random_progression(g, r, lo, hi, st);
            insert_progression(g, s, lo, hi, st);
            ref_apply_progression(r, lo, hi, st, true);
        }
    }
    if (g.below(8) == 0) {
        s.complement();
        r.in.flip();
        r.outside = !r.outside;
    }
}

void run_differential(long long base, int width, unsigned seed, int steps) {
    fixture_rng g(seed);
    iset s;
    reference r(base, width);
    for (int step = 0; step < steps; ++step) {
        // Every third step works on a copy: a copied plain range holds no
        // index map until something needs it, and every operation must
        // start from that form as well.
        if (step % 3 == 1) {
            iset copy(s);
            s = std::move(copy);
        }
        int op = g.below(14);
        long long lo, hi;
        unsigned st;
        random_progression(g, r, lo, hi, st);
        range rg(static_cast<int>(lo), static_cast<int>(hi));
        SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step << " op " << op
                                        << " range " << lo << ":" << st << ":" << hi);
        switch (op) {
        case 0: { // insert one value, often on the set's own progression
            long long v = lo;
            if (g.below(2) == 0 && !s.empty() && !r.outside) {
                v = s.min() + static_cast<long long>(g.below(r.width)) * s.stride();
                if (v > r.top())
                    v = s.max();
            }
            s.insert(range(static_cast<int>(v), static_cast<int>(v)));
            r.set(v, true);
            break;
        }
        case 1:
            s.insert(rg, st);
            ref_apply_progression(r, lo, hi, st, true);
            break;
        case 2:
            s.erase(range(rg.first, static_cast<int>(lo + (hi - lo) / st)));
            for (long long v = lo; v <= lo + (hi - lo) / st; ++v)
                r.set(v, false);
            break;
        case 3: {
            s.intersect(range(rg.first, static_cast<int>(lo + (hi - lo) / st)));
            reference n(r.base, r.width);
            for (long long v = lo; v <= lo + (hi - lo) / st; ++v)
                n.set(v, r.holds(v));
            r = n;
            break;
        }
        case 4: {
            s.intersect(rg, st);
            reference n(r.base, r.width);
            for (long long v = lo; v <= hi; v += st)
                n.set(v, r.holds(v));
            r = n;
            break;
        }
        case 5:
        case 6:
        case 7: {
            iset o;
            reference ro(r.base, r.width);
            random_set(g, o, ro);
            if (step % 2 == 0) { // the other operand as a copy (assigned)
                const iset built(o);
                o = built;
            }
            if (op == 5) {
                s.intersect(o);
                for (long long v = r.base; v <= r.top(); ++v)
                    r.set(v, r.holds(v) && ro.holds(v));
                r.outside = r.outside && ro.outside;
            } else if (op == 6) {
                s.insert_all_of(o);
                for (long long v = r.base; v <= r.top(); ++v)
                    r.set(v, r.holds(v) || ro.holds(v));
                r.outside = r.outside || ro.outside;
            } else {
                s.erase_all_of(o);
                for (long long v = r.base; v <= r.top(); ++v)
                    r.set(v, r.holds(v) && !ro.holds(v));
                r.outside = r.outside && !ro.outside;
            }
            break;
        }
        case 8:
            s.complement();
            r.in.flip();
            r.outside = !r.outside;
            break;
        case 9: { // erase at an iterator
            auto it = s.lower_bound(rg.first);
            if (it == s.end())
                break;
            long long v = *it;
            if (v < r.base || v > r.top())
                break;
            auto next = s.erase(it);
            r.set(v, false);
            auto expect = v < INT_MAX ? s.lower_bound(static_cast<int>(v + 1)) : s.end();
            ASSERT_TRUE(next == expect);
            break;
        }
        case 10: { // queries against another set
            iset o;
            reference ro(r.base, r.width);
            random_set(g, o, ro);
            if (step % 2 == 0) { // the other operand as a copy (assigned)
                const iset built(o);
                o = built;
            }
            bool all = !(ro.outside && !r.outside), any = r.outside && ro.outside &&
                                                            r.has_outside_values();
            for (long long v = r.base; v <= r.top(); ++v) {
                if (ro.holds(v) && !r.holds(v))
                    all = false;
                if (ro.holds(v) && r.holds(v))
                    any = true;
            }
            ASSERT_EQ(s.contains_all_of(o), all);
            ASSERT_EQ(s.contains_any_of(o), any);
            ASSERT_EQ(o.contains_any_of(s), any);
            bool same = ro.outside == r.outside;
            for (long long v = r.base; v <= r.top(); ++v)
                same = same && ro.holds(v) == r.holds(v);
            ASSERT_EQ(big_iset::same_elements(s, o), same);
            ASSERT_TRUE(big_iset::same_elements(s, iset(s)));
            break;
        }
        case 11: { // contains_all_of a progression
            bool all = true;
            for (long long v = lo; v <= hi; v += st)
                all = all && r.holds(v);
            ASSERT_EQ(s.contains_all_of(rg, st), all);
            break;
        }
        case 12: { // copies compare equal and stay valid
            iset c(s);
            expect_same(c, r, "copy");
            iset d;
            d = s;
            expect_same(d, r, "assigned");
            break;
        }
        case 13: // start again from a fresh random set now and then
            random_set(g, s, r);
            break;
        }
        expect_same(s, r, "after operation");
        if (s.stride() > 1 && s.size() >= 4)
            ++g_long_strided_states;
    }
}

TEST(BigIsetDifferential, WindowsNearZeroAndAtTheLimits) {
    const long long bases[] = {-20, 0, 1000, INT_MIN, (long long)INT_MAX - 47};
    g_long_strided_states = 0;
    for (long long base : bases)
        for (unsigned seed = 1; seed <= 12; ++seed)
            run_differential(base, 48, seed * 7919u + static_cast<unsigned>(base & 0xffff), 250);
    EXPECT_GT(g_long_strided_states, 500);
}

TEST(BigIsetDifferential, WideWindowsWithLongProgressions) {
    const long long bases[] = {-100, INT_MIN, (long long)INT_MAX - 199};
    g_long_strided_states = 0;
    for (long long base : bases)
        for (unsigned seed = 1; seed <= 6; ++seed)
            run_differential(base, 200, seed * 104729u, 150);
    EXPECT_GT(g_long_strided_states, 100);
}

TEST(BigIsetCompaction, ProgressionBuiltValueByValueBecomesOneStride) {
    iset s;
    for (int v = 0; v <= 36; v += 6)
        s.insert(range(v, v));
    EXPECT_EQ(s.stride(), 6u);
    EXPECT_EQ(s.offset(), 0u);
    ASSERT_EQ(s.index_map().range_count(), 1u);
    EXPECT_EQ(s.index_map().min(), 0);
    EXPECT_EQ(s.index_map().max(), 6);

    // A long progression ends up as a single index range too.
    iset t;
    for (int v = -999; v <= 100000; v += 7)
        t.insert(range(v, v));
    EXPECT_EQ(t.stride(), 7u);
    EXPECT_EQ(t.index_map().range_count(), 1u);
    EXPECT_EQ(t.min(), -999);
}

TEST(BigIsetCompaction, OffProgressionValueFlattensAndRecompacts) {
    iset s;
    s.insert(range(0, 12), 6);
    ASSERT_EQ(s.stride(), 6u);
    s.insert(range(5, 5));
    EXPECT_EQ(s.stride(), 1u);
    EXPECT_EQ(s.size(), 4u);
    EXPECT_TRUE(s.contains(5) && s.contains(12) && !s.contains(6 + 1));
}

TEST(BigIsetStrides, InsertAndIntersectWithStride) {
    iset s;
    s.insert(range(1, 10), 3);
    EXPECT_TRUE(big_iset::same_elements(s, iset("1,4,7,10")));
    EXPECT_THROW(s.insert(range(1, 10), 4), std::runtime_error);

    iset full;
    full.complement();
    full.intersect(range(0, 20), 4);
    EXPECT_TRUE(big_iset::same_elements(full, iset("0:4:20")));
    EXPECT_EQ(full.size(), 6u);
}

TEST(BigIsetStrides, MalformedStrideInsertsThrowAndLeaveTheSet) {
    iset s(range(1, 5));
    EXPECT_THROW(s.insert(range(0, 10), 0), std::out_of_range);
    EXPECT_THROW(s.insert(range(10, 0), 2), std::out_of_range);
    EXPECT_THROW(s.insert(range(10, 0)), std::out_of_range);
    EXPECT_TRUE(big_iset::same_elements(s, iset(range(1, 5))));
}

TEST(BigIsetStrides, DisjointProgressionsIntersectWithoutWalking) {
    iset even, odd;
    even.insert(range(0, 100), 2);
    odd.insert(range(1, 99), 2);
    even.intersect(odd);
    EXPECT_TRUE(even.empty());
    EXPECT_EQ(even.stride(), 1u); // the cleared state

    iset six, four, four_odd;
    six.insert(range(0, 60), 6);
    four.insert(range(0, 60), 4);
    four_odd.insert(range(1, 57), 4);
    iset a(six);
    a.intersect(four);
    EXPECT_TRUE(big_iset::same_elements(a, iset("0:12:60")));
    iset b(six);
    b.intersect(four_odd);
    EXPECT_TRUE(b.empty());
}

TEST(BigIsetStrides, ProgressionIntersectionOfLongProgressions) {
    // Both longer than 9 values; steps 6 and 10 with different starts.
    iset a, b;
    a.insert(range(3, 603), 6);
    b.insert(range(-7, 993), 10);
    iset c(a);
    c.intersect(b);
    for (int v = -10; v <= 1000; ++v)
        ASSERT_EQ(c.contains(v), a.contains(v) && b.contains(v)) << v;
    // A full set intersected with strided progressions near the limits.
    iset top;
    top.complement();
    top.intersect(range(INT_MAX - 600, INT_MAX), 3);
    iset other;
    other.insert(range(INT_MAX - 700, INT_MAX - 5), 5);
    top.intersect(other);
    for (long long v = INT_MAX - 700LL; v <= INT_MAX; ++v)
        ASSERT_EQ(top.contains(static_cast<int>(v)),
                  (INT_MAX - v) % 3 == 0 && v <= INT_MAX - 600LL + 600 &&
                      v >= INT_MAX - 600LL && (INT_MAX - 5 - v) % 5 == 0 && v <= INT_MAX - 5)
            << v;
}

// Intersections of two long progressions go through the Diophantine path;
// check them, and intersect(range, stride), against brute force.
TEST(BigIsetStrides, ProgressionPairsAgainstBruteForce) {
    std::mt19937 gen(2024);
    const long long bases[] = {-1000, INT_MIN, (long long)INT_MAX - 1999};
    for (long long base : bases) {
        for (int round = 0; round < 400; ++round) {
            auto pick = [&](long long& lo, long long& hi, unsigned& st) {
                st = 2 + gen() % 60;
                lo = base + gen() % 2000;
                long long n = (base + 1999 - lo) / st;
                hi = lo + (n ? static_cast<long long>(gen() % (n + 1)) : 0) * st;
            };
            long long lo1, hi1, lo2, hi2;
            unsigned s1, s2;
            pick(lo1, hi1, s1);
            pick(lo2, hi2, s2);
            iset a, b;
            a.insert(range(static_cast<int>(lo1), static_cast<int>(hi1)), s1);
            b.insert(range(static_cast<int>(lo2), static_cast<int>(hi2)), s2);
            iset c(a), d(a);
            c.intersect(b);
            d.intersect(range(static_cast<int>(lo2), static_cast<int>(hi2)), s2);
            ASSERT_NO_THROW(c.validate());
            ASSERT_NO_THROW(d.validate());
            auto in = [](long long v, long long lo, long long hi, unsigned st) {
                return v >= lo && v <= hi && (v - lo) % st == 0;
            };
            for (long long v = base; v < base + 2000; ++v) {
                bool expect = in(v, lo1, hi1, s1) && in(v, lo2, hi2, s2);
                ASSERT_EQ(c.contains(static_cast<int>(v)), expect)
                    << v << " in " << lo1 << ":" << s1 << ":" << hi1 << " & " << lo2 << ":" << s2
                    << ":" << hi2;
                ASSERT_EQ(d.contains(static_cast<int>(v)), expect) << v;
            }
            ASSERT_EQ(a.contains_any_of(b), !c.empty());
        }
    }
}

// The query shortcuts (plain ranges, single values kept on a wider stride,
// one side plain) against membership, for every pair of shapes.
TEST(BigIsetQueries, EveryPairOfShapesAgainstMembership) {
    struct shape {
        const char* name;
        iset set;
        bool (*holds)(long long);
    };
    auto progression = [](int lo, int hi, unsigned st) {
        iset s;
        s.insert(range(lo, hi), st);
        return s;
    };
    auto point_on_stride = [&](int v, unsigned st) {
        iset s = progression(v, v + static_cast<int>(st), st);
        s.erase(range(v + static_cast<int>(st), v + static_cast<int>(st)));
        return s;
    };
    auto co_interval = [](int lo, int hi) {
        iset s(lo, hi);
        s.complement();
        return s;
    };
    std::vector<shape> shapes;
    shapes.push_back({"empty", iset(), [](long long) { return false; }});
    shapes.push_back({"full", iset(INT_MIN, INT_MAX), [](long long) { return true; }});
    shapes.push_back({"range", iset(-5, 12), [](long long v) { return v >= -5 && v <= 12; }});
    shapes.push_back({"value", iset(6), [](long long v) { return v == 6; }});
    shapes.push_back({"point 6 on 9", point_on_stride(6, 9), [](long long v) { return v == 6; }});
    shapes.push_back({"point -30 on 7", point_on_stride(-30, 7),
                      [](long long v) { return v == -30; }});
    shapes.push_back({"two values", progression(0, 27, 27),
                      [](long long v) { return v == 0 || v == 27; }});
    shapes.push_back({"progression", progression(-9, 21, 3),
                      [](long long v) { return v >= -9 && v <= 21 && (v + 9) % 3 == 0; }});
    shapes.push_back({"outside a range", co_interval(0, 6), [](long long v) { return v < 0 || v > 6; }});
    shapes.push_back({"below", iset(INT_MIN, 3), [](long long v) { return v <= 3; }});
    iset two_runs(-20, -10);
    two_runs.insert(range(4, 8));
    shapes.push_back({"two runs", two_runs,
                      [](long long v) { return (v >= -20 && v <= -10) || (v >= 4 && v <= 8); }});
    int lo = 0, hi = 0;
    ASSERT_EQ(shapes[4].set.size(), 1u);
    ASSERT_FALSE(shapes[4].set.plain_range(lo, hi)) << "a single value on a wider stride";

    std::vector<long long> probes = {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX};
    for (long long v = -45; v <= 45; ++v)
        probes.push_back(v);
    for (const shape& a : shapes) {
        for (long long v : probes)
            ASSERT_EQ(a.set.contains(static_cast<int>(v)), a.holds(v)) << a.name << " " << v;
        for (const shape& b : shapes) {
            bool all = true, any = false;
            for (long long v : probes) {
                all = all && (!b.holds(v) || a.holds(v));
                any = any || (a.holds(v) && b.holds(v));
            }
            EXPECT_EQ(a.set.contains_all_of(b.set), all) << a.name << " holds " << b.name;
            EXPECT_EQ(a.set.contains_any_of(b.set), any) << a.name << " meets " << b.name;
        }
    }
}

TEST(BigIsetStrides, ComplementOfStridedSet) {
    iset s;
    s.insert(range(1, 5), 2);
    s.complement();
    EXPECT_EQ(s.stride(), 1u);
    EXPECT_EQ(s.size(), 0u - 3u);
    EXPECT_FALSE(s.contains(3));
    EXPECT_TRUE(s.contains(2) && s.contains(INT_MIN) && s.contains(INT_MAX));
}

TEST(BigIsetStrides, NegativeValuesOnAProgression) {
    iset s;
    s.insert(range(-5, 1), 3);
    EXPECT_EQ(s.stride(), 3u);
    EXPECT_EQ(s.offset(), 1u);
    EXPECT_TRUE(s.contains(-5));
    EXPECT_FALSE(s.contains(-4));
    EXPECT_EQ(*s.lower_bound(-4), -2);

    iset t;
    t.insert(range(1, 7), 3);
    EXPECT_EQ(*t.lower_bound(2), 4);
    EXPECT_EQ(*t.upper_bound(4), 7);
    EXPECT_TRUE(t.upper_bound(7) == t.end());
    auto it = t.lower_bound(4);
    EXPECT_EQ(it.current_range(), range(4, 4));
    it.advance_range();
    EXPECT_EQ(*it, 7);
    it.retract_range();
    EXPECT_EQ(*it, 4);
}

TEST(BigIsetStrides, ExtremeStridesSpanTheWholeRange) {
    iset s;
    s.insert(range(INT_MIN, INT_MAX), 0xFFFFFFFFu);
    EXPECT_EQ(s.size(), 2u);
    EXPECT_EQ(s.min(), INT_MIN);
    EXPECT_EQ(s.max(), INT_MAX);
    s.validate();
    iset t;
    for (int v : {INT_MIN, -1, INT_MAX - 1}) // gaps 2^31 - 1 and 2^31
        t.insert(range(v, v));
    t.insert(range(5, 5));
    t.validate();
    EXPECT_EQ(t.size(), 4u);
    for (int v : {INT_MIN, -1, 5, INT_MAX - 1})
        EXPECT_TRUE(t.contains(v)) << v;
}

TEST(BigIsetEmptiness, FullSetHasSizeZeroButIsNotEmpty) {
    iset full;
    full.complement();
    EXPECT_FALSE(full.empty());
    EXPECT_TRUE(full.full());
    EXPECT_EQ(full.size(), 0u);
    iset empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(empty.full());
    full.erase(range(INT_MIN, INT_MAX));
    EXPECT_TRUE(full.empty());
    // Bounds outside 32 bits clamp onto the progression.
    iset all;
    all.complement();
    all.intersect(std::pair<std::int64_t, std::int64_t>(-5000000000LL, 5000000000LL), 1000000000u);
    EXPECT_TRUE(big_iset::same_elements(all, iset("-2000000000:1000000000:2000000000")));
}

TEST(BigIsetRandom, RandStaysInsideTheSet) {
    iset s("-7,3:5,1000:10:1100");
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(s.contains(s.rand()));
    EXPECT_THROW(iset().rand(), std::runtime_error);
}

}  // namespace big_iset_test
