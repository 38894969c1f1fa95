// Set arithmetic modulo 2^32 and the 32-bit bound helpers: random sets
// against brute force in both models, and the wrap-around cases of the
// large model (near INT_MIN/INT_MAX, strided sets spanning the whole range).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "impl/propagators/arithmetic.h"
#include "tests/unit/test_helpers.h"

namespace arithmetic_test {

using namespace qarn;
using qarn_test::same;

int wrap(long long v) {
    return arithmetic_propagation_types::wrap(v);
}

std::vector<int> values_of(const iset& s) {
    std::vector<int> out;
    for (iset::iterator it = s.begin(); it != s.end(); ++it)
        out.push_back(*it);
    return out;
}

// A random set of values base + k for k in 0..width-1, some of them strided.
iset random_set(std::mt19937& rng, long long base, int width) {
    iset s;
    const int mode = static_cast<int>(rng() % 3);
    for (int k = 0; k < width; ++k) {
        bool take = mode == 0 ? rng() % 2 == 0 : (mode == 1 ? k % 3 == 0 : rng() % 5 == 0);
        if (take)
            s.insert(iset::range_type(static_cast<int>(base + k), static_cast<int>(base + k)));
    }
    return s;
}

struct window {
    const char* name;
    long long base;
    int width;
};

const std::vector<window>& windows() {
    static const std::vector<window> all = {
        {"low", MIN_DOMAIN, 14},
#if !QARN_SMALL_DOMAINS
        {"around zero", -7, 14},
        {"top", static_cast<long long>(INT_MAX) - 10, 11},
        {"bottom", INT_MIN, 11},
#endif
    };
    return all;
}

TEST(SetArithmetic, PlusMinusNegAgreeWithBruteForce) {
    std::mt19937 rng(2026);
    for (const window& wa : windows()) {
        for (const window& wb : windows()) {
            for (int round = 0; round < 40; ++round) {
                const iset a = random_set(rng, wa.base, wa.width);
                const iset b = random_set(rng, wb.base, wb.width);
                iset c(MIN_DOMAIN, MAX_DOMAIN);
                if (round % 2) // a narrow target, as propagation meets it
                    c = random_set(rng, wa.base, wa.width);
                iset want_plus, want_minus, want_neg;
                for (int x : values_of(a)) {
                    for (int y : values_of(b)) {
                        const int s = wrap(static_cast<long long>(x) + y);
                        if (c.contains(s))
                            want_plus.insert(iset::range_type(s, s));
                        const int d = wrap(static_cast<long long>(x) - y);
                        if (c.contains(d))
                            want_minus.insert(iset::range_type(d, d));
                    }
                    const int n = wrap(-static_cast<long long>(x));
                    if (c.contains(n))
                        want_neg.insert(iset::range_type(n, n));
                }
                iset got_plus(c), got_minus(c), got_neg(c);
                propagation::plus(a, b, got_plus);
                propagation::minus(a, b, got_minus);
                propagation::neg(a, got_neg);
                SCOPED_TRACE(testing::Message() << wa.name << " / " << wb.name << " a=" << a
                                                << " b=" << b << " c=" << c);
                EXPECT_TRUE(same(got_plus, want_plus)) << got_plus << " vs " << want_plus;
                EXPECT_TRUE(same(got_minus, want_minus)) << got_minus << " vs " << want_minus;
                EXPECT_TRUE(same(got_neg, want_neg)) << got_neg << " vs " << want_neg;
            }
        }
    }
}

TEST(SetArithmetic, EmptyOperandEmptiesTheTarget) {
    iset c(0, 9);
    propagation::plus(iset(), iset(0, 3), c);
    EXPECT_TRUE(c.empty());
    iset d(0, 9);
    propagation::neg(iset(), d);
    EXPECT_TRUE(d.empty());
}

#if !QARN_SMALL_DOMAINS

TEST(SetArithmetic, WrapsAroundTheEndsOfTheRange) {
    iset c(INT_MIN, INT_MAX);
    propagation::plus(iset(INT_MAX), iset(1), c);
    EXPECT_TRUE(same(c, iset(INT_MIN)));

    iset d(INT_MIN, INT_MAX);
    propagation::minus(iset(INT_MIN), iset(1), d);
    EXPECT_TRUE(same(d, iset(INT_MAX)));

    iset e(INT_MIN, INT_MAX);
    propagation::neg(iset(INT_MIN), e);
    EXPECT_TRUE(same(e, iset(INT_MIN)));

    iset f;
    f.insert(iset::range_type(INT_MIN, INT_MIN));
    f.insert(iset::range_type(0, 0));
    propagation::neg(iset(INT_MIN, 5), f); // [-5, INT_MAX] and INT_MIN
    EXPECT_EQ(values_of(f), (std::vector<int>{INT_MIN, 0}));
}

// A set of runs, strided stretches and isolated values in [base, base + width).
iset mixed_set(std::mt19937& rng, long long base, int width) {
    iset s;
    for (long long v = base; v < base + width;) {
        const int kind = static_cast<int>(rng() % 4);
        const long long last = std::min<long long>(v + 1 + rng() % 90, base + width - 1);
        if (kind == 0)
            s.insert(iset::range_type(static_cast<int>(v), static_cast<int>(last)));
        else if (kind == 1)
            s.insert(iset::range_type(static_cast<int>(v), static_cast<int>(v)));
        else if (kind == 2)
            for (long long x = v; x <= last; x += 2 + rng() % 5 * (v % 2))
                s.insert(iset::range_type(static_cast<int>(x), static_cast<int>(x)));
        v = last + 1 + rng() % 70;
    }
    if (s.empty())
        s.insert(iset::range_type(static_cast<int>(base), static_cast<int>(base)));
    return s;
}

// Sets of runs and strides whose sums span from a few words of values to past
// the width where sums stop being enumerated exactly.
TEST(SetArithmetic, WideMixedSetsAgreeWithBruteForce) {
    std::mt19937 rng(77);
    const int widths[] = {40, 130, 700, 2047, 2048, 2600};
    for (int wa : widths) {
        for (int wb : widths) {
            for (int round = 0; round < 3; ++round) {
                const long long base_a = -1000 + static_cast<long long>(rng() % 3000);
                const long long base_b = -1000 + static_cast<long long>(rng() % 3000);
                const iset a = mixed_set(rng, base_a, wa), b = mixed_set(rng, base_b, wb);
                iset c; // the target: whole, or a few runs about the sums
                if (round == 0)
                    c = iset(MIN_DOMAIN, MAX_DOMAIN);
                else
                    c = mixed_set(rng, base_a + base_b - 200 * round, wa + wb + 400);
                const std::vector<int> va = values_of(a), vb = values_of(b);
                const long long lo = std::min<long long>(a.min() + b.min(), a.min() - b.max());
                const long long hi = std::max<long long>(a.max() + b.max(), a.max() - b.min());
                std::vector<char> sums(static_cast<std::size_t>(hi - lo + 1), 0);
                std::vector<char> diffs(sums.size(), 0);
                for (int x : va)
                    for (int y : vb) {
                        sums[static_cast<std::size_t>(static_cast<long long>(x) + y - lo)] = 1;
                        diffs[static_cast<std::size_t>(static_cast<long long>(x) - y - lo)] = 1;
                    }
                iset want_plus, want_minus;
                for (std::size_t i = 0; i < sums.size(); ++i) {
                    const int v = static_cast<int>(lo + static_cast<long long>(i));
                    if (sums[i] && c.contains(v))
                        want_plus.insert(iset::range_type(v, v));
                    if (diffs[i] && c.contains(v))
                        want_minus.insert(iset::range_type(v, v));
                }
                iset got_plus(c), got_minus(c);
                propagation::plus(a, b, got_plus);
                propagation::minus(a, b, got_minus);
                SCOPED_TRACE(testing::Message() << "widths " << wa << "/" << wb << " a=" << a
                                                << " b=" << b << " c=" << c);
                // Sums spread over more values than the progression code
                // enumerates may be widened, never narrowed.
                auto check = [&](const iset& got, const iset& want, long long spread) {
                    if (spread < 4096)
                        EXPECT_TRUE(same(got, want)) << got << " vs " << want;
                    else
                        EXPECT_TRUE(got.contains_all_of(want) && c.contains_all_of(got))
                            << got << " vs " << want;
                };
                check(got_plus, want_plus, static_cast<long long>(a.max()) + b.max() - a.min() - b.min());
                check(got_minus, want_minus, static_cast<long long>(a.max()) - b.min() - a.min() + b.max());
            }
        }
    }
}

TEST(SetArithmetic, FullOperandLeavesTheTargetAlone) {
    iset full(INT_MIN, INT_MAX);
    iset c(3, 4);
    propagation::plus(full, iset(7), c);
    EXPECT_TRUE(same(c, iset(3, 4)));
    propagation::minus(iset(7), full, c);
    EXPECT_TRUE(same(c, iset(3, 4)));
    iset d(3, 4);
    propagation::plus(iset(), full, d);
    EXPECT_TRUE(d.empty());
}

TEST(SetArithmetic, StridedSetsSpanningTheRangeWorkByProgressions) {
    iset evens;
    evens.insert(iset::range_type(INT_MIN, INT_MAX - 1), 2);
    iset c(INT_MIN, INT_MAX);
    propagation::neg(evens, c);
    EXPECT_TRUE(same(c, evens));

    iset threes;
    threes.insert(iset::range_type(-999999999, 999999999), 3);
    iset all(INT_MIN, INT_MAX);
    propagation::plus(evens, iset(0, 1), all);
    EXPECT_TRUE(all.full());
    iset sum(-5, 5);
    propagation::plus(evens, threes, sum); // every integer is such a sum
    EXPECT_TRUE(same(sum, iset(-5, 5)));
}

TEST(SetArithmetic, NormalizeAndInsertCases) {
    iset full;
    propagation::normalize_and_insert({0, 4294967295LL}, full, 1);
    EXPECT_TRUE(full.full());

    iset split;
    propagation::normalize_and_insert({INT_MAX - 1LL, INT_MAX + 3LL}, split, 2);
    EXPECT_EQ(values_of(split), (std::vector<int>{INT_MIN, INT_MIN + 2, INT_MAX - 1}));

    iset few; // a span of 2^32 in steps of 2^31: three values, each wrapped
    propagation::normalize_and_insert({0, 4294967296LL}, few, 2147483648u);
    EXPECT_EQ(values_of(few), (std::vector<int>{INT_MIN, 0}));

    iset many; // more than 100 steps over 2^32 values: the full set
    propagation::normalize_and_insert({0, 101LL * 42949673}, many, 42949673u);
    EXPECT_TRUE(many.full());
}

TEST(SetArithmetic, BoundHelpers) {
    EXPECT_EQ(arithmetic_propagation_types::wrap(4294967296LL + 5), 5);
    EXPECT_EQ(arithmetic_propagation_types::wrap(INT_MAX + 1LL), INT_MIN);
    EXPECT_EQ(arithmetic_propagation_types::saturate(-1LL << 40), INT_MIN);

    iset s(INT_MIN, INT_MAX);
    arithmetic_propagation_types::intersect_truncated(s, INT_MAX + 1LL, INT_MAX + 3LL);
    EXPECT_TRUE(s.full());
    arithmetic_propagation_types::intersect_truncated(s, -5, INT_MAX + 3LL);
    EXPECT_TRUE(same(s, iset(-5, INT_MAX)));

    iset w(INT_MIN, INT_MAX);
    arithmetic_propagation_types::intersect_wrapped(w, 0, 4294967295LL);
    EXPECT_TRUE(w.full());
    arithmetic_propagation_types::intersect_wrapped(w, INT_MAX, INT_MAX + 1LL);
    EXPECT_EQ(values_of(w), (std::vector<int>{INT_MIN, INT_MAX}));
    iset x(0, 10);
    arithmetic_propagation_types::intersect_wrapped(x, 4294967296LL + 3, 4294967296LL + 5);
    EXPECT_TRUE(same(x, iset(3, 5)));

    iset outward(-3, 8);
    EXPECT_EQ(arithmetic::inner(iset(4, 9)), 4);
    EXPECT_EQ(arithmetic::inner(iset(-9, -4)), -4);
    EXPECT_EQ(arithmetic::outer(iset(-9, -4)), -9);
    arithmetic::insert_interval(outward, {INT_MAX - 1LL, INT_MAX + 9LL});
    EXPECT_EQ(outward.max(), INT_MAX);
}

#endif

}  // namespace arithmetic_test
