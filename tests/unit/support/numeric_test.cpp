// Tests of the numeric utilities: int128 arithmetic and rounding division
// against the compiler's 128-bit integers, 64-bit rounding division, the bit
// functions, Bezout and Diophantine solving (table and brute force), and the
// rand()-based random generator.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <numeric>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/support/bit_utils.h"
#include "impl/support/int128.h"
#include "impl/support/number_theory.h"
#include "impl/support/random.h"

namespace numeric_test {

using qarn::int128;

__extension__ typedef __int128 s128;
__extension__ typedef unsigned __int128 u128;

constexpr s128 kMin128 = static_cast<s128>(static_cast<u128>(1) << 127);
constexpr s128 kMax128 = static_cast<s128>((static_cast<u128>(1) << 127) - 1);

s128 to_s128(const int128& v) {
    return static_cast<s128>((static_cast<u128>(static_cast<std::uint64_t>(v.high)) << 64) | v.low);
}

int128 from_s128(s128 v) {
    const u128 u = static_cast<u128>(v);
    return int128::from_words(static_cast<std::int64_t>(static_cast<std::uint64_t>(u >> 64)),
                              static_cast<std::uint64_t>(u));
}

std::string str(s128 v) {
    std::ostringstream os;
    os << from_s128(v);
    return os.str();
}

// Exact quotient rounded up (0), toward zero (2) or down (anything else).
s128 reference_divide(s128 n, s128 d, int mode) {
    s128 q = n / d;
    const s128 r = n % d;
    if (r != 0) {
        const bool positive = (r > 0) == (d > 0);
        if (mode == 0 && positive)
            ++q;
        else if (mode != 0 && mode != 2 && !positive)
            --q;
    }
    return q;
}

const int128::rounding_mode kModes[] = {int128::ROUND_UP, int128::ROUND_DOWN,
                                        int128::ROUND_TO_ZERO};

std::vector<s128> extreme_dividends() {
    const s128 p63 = static_cast<s128>(1) << 63;
    const s128 p64 = static_cast<s128>(1) << 64;
    const s128 p100 = static_cast<s128>(1) << 100;
    std::vector<s128> v = {0,         1,         2,       3,        p63 - 1,  p63,
                           p63 + 1,   p64 - 1,   p64,     p64 + 1,  p100,     p100 + 7,
                           kMax128,   kMax128 - 1, static_cast<s128>(INT_MAX) * 5 + 4};
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(-v[i]);
    v.push_back(kMin128);
    v.push_back(-p63 - 1);
    return v;
}

const int kExtremeDivisors[] = {1, -1, 2, -2, 3, -3, 7, -10, INT_MAX, INT_MIN, INT_MIN + 1, INT_MAX - 1};

void expect_divide(s128 n, int d, int128::rounding_mode mode) {
    EXPECT_EQ(to_s128(from_s128(n).divide(d, mode)), reference_divide(n, d, mode))
        << str(n) << " / " << d << " mode " << mode;
}

TEST(Int128Divide, MatchesWideReferenceOnRandomOperands) {
    std::mt19937_64 rng(20240517);
    for (int i = 0; i < 20000; ++i) {
        const u128 bits = (static_cast<u128>(rng()) << 64) | rng();
        const s128 n = static_cast<s128>(bits) >> (rng() % 127);
        int d = static_cast<int>(static_cast<std::uint32_t>(rng())) >> (rng() % 32);
        if (d == 0)
            d = 1;
        for (auto mode : kModes)
            expect_divide(n, d, mode);
    }
}

TEST(Int128Divide, ExtremeOperands) {
    for (s128 n : extreme_dividends())
        for (int d : kExtremeDivisors) {
            if (n == kMin128 && d == -1)
                continue;  // 2^127 is not representable
            for (auto mode : kModes)
                expect_divide(n, d, mode);
        }
}

TEST(Int128Divide, MinInt64ByMinusOneTakesTheWidePath) {
    const int128 n(LONG_MIN);
    for (auto mode : kModes) {
        const int128 q = n.divide(-1, mode);
        EXPECT_EQ(q.high, 0);
        EXPECT_EQ(q.low, std::uint64_t{1} << 63);
    }
}

TEST(Int128Divide, PowerOfTwoByThree) {
    const s128 p100 = static_cast<s128>(1) << 100;
    const s128 floor_third = p100 / 3;
    EXPECT_EQ(to_s128(from_s128(p100).divide(3, int128::ROUND_DOWN)), floor_third);
    EXPECT_EQ(to_s128(from_s128(-p100).divide(3, int128::ROUND_UP)), -floor_third);
    EXPECT_EQ(to_s128(from_s128(-p100).divide(3, int128::ROUND_DOWN)), -floor_third - 1);
}

TEST(Int128Divide, ZeroByNegativeIsZeroInEveryMode) {
    for (auto mode : kModes)
        EXPECT_EQ(int128(0).divide(-5, mode), int128(0));
}

TEST(Int128Divide, UnknownModeBehavesAsRoundingDown) {
    const auto odd = static_cast<int128::rounding_mode>(7);
    for (s128 n : {s128(-7), s128(7), static_cast<s128>(1) << 90, -(static_cast<s128>(1) << 90) - 1})
        for (int d : {2, -2, 3})
            EXPECT_EQ(to_s128(from_s128(n).divide(d, odd)), reference_divide(n, d, 1));
    EXPECT_EQ(int128::divide_s64(-7, 2, odd), -4);
}

TEST(Int128DivideS64, Table) {
    struct Case {
        long n, d;
        long up, down, zero;
    };
    const Case cases[] = {
        {7, 2, 4, 3, 3},
        {-7, 2, -3, -4, -3},
        {6, -3, -2, -2, -2},
        {7, -3, -2, -3, -2},
        {-7, -3, 3, 2, 2},
        {0, -5, 0, 0, 0},
        {LONG_MIN, 1, LONG_MIN, LONG_MIN, LONG_MIN},
        {LONG_MAX, -1, -LONG_MAX, -LONG_MAX, -LONG_MAX},
        {LONG_MIN + 1, -1, LONG_MAX, LONG_MAX, LONG_MAX},
        {LONG_MIN, -2, 1L << 62, 1L << 62, 1L << 62},
        {LONG_MAX, 2, 1L << 62, (1L << 62) - 1, (1L << 62) - 1},
        {LONG_MIN, 3, -3074457345618258602L, -3074457345618258603L, -3074457345618258602L},
        {LONG_MAX, LONG_MIN, 0, -1, 0},
        {LONG_MIN, LONG_MAX, -1, -2, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(int128::divide_s64(c.n, c.d, int128::ROUND_UP), c.up) << c.n << "/" << c.d;
        EXPECT_EQ(int128::divide_s64(c.n, c.d, int128::ROUND_DOWN), c.down) << c.n << "/" << c.d;
        EXPECT_EQ(int128::divide_s64(c.n, c.d, int128::ROUND_TO_ZERO), c.zero) << c.n << "/" << c.d;
    }
    for (long n = -30; n <= 30; ++n)
        for (long d = -7; d <= 7; ++d)
            for (auto mode : kModes) {
                if (d != 0) {
                    EXPECT_EQ(int128::divide_s64(n, d, mode), reference_divide(n, d, mode))
                        << n << "/" << d << " mode " << mode;
                }
            }
}

TEST(Int128Arithmetic, MatchesWideReference) {
    std::mt19937_64 rng(77);
    std::vector<s128> values = extreme_dividends();
    for (int i = 0; i < 300; ++i)
        values.push_back(static_cast<s128>((static_cast<u128>(rng()) << 64) | rng()) >> (rng() % 127));
    for (s128 a : values)
        for (s128 b : values) {
            const u128 ua = static_cast<u128>(a), ub = static_cast<u128>(b);
            const int128 x = from_s128(a), y = from_s128(b);
            ASSERT_EQ(to_s128(x + y), static_cast<s128>(ua + ub));
            ASSERT_EQ(to_s128(x - y), static_cast<s128>(ua - ub));
            ASSERT_EQ(to_s128(x * y), static_cast<s128>(ua * ub));
            int128 z = x;
            z += y;
            z *= y;
            z -= x;
            ASSERT_EQ(to_s128(z), static_cast<s128>((ua + ub) * ub - ua));
            ASSERT_EQ(x == y, a == b);
            ASSERT_EQ(x != y, a != b);
            ASSERT_EQ(x < y, a < b);
            ASSERT_EQ(x <= y, a <= b);
            ASSERT_EQ(x > y, a > b);
            ASSERT_EQ(x >= y, a >= b);
        }
    for (s128 a : values)
        ASSERT_EQ(to_s128(-from_s128(a)), static_cast<s128>(-static_cast<u128>(a)));
}

TEST(Int128Arithmetic, MixesWithBuiltinIntegers) {
    static_assert(int128(-1).high == -1 && int128(-1).low == ~std::uint64_t{0});
    static_assert(int128(~0u).high == 0 && int128(~0u).low == 0xFFFFFFFFu);
    static_assert(int128(~0UL).high == 0);
    static_assert(int128(LONG_MIN).high == -1);
    constexpr int128 big = int128(INT_MIN) * INT_MIN * INT_MIN;  // -2^93
    static_assert(big < 0 && big.high == -(std::int64_t{1} << 29) && big.low == 0);
    int128 acc = 0;
    acc -= 5L;
    acc = 3 * acc + 1;
    EXPECT_EQ(acc, -14);
    EXPECT_TRUE(acc < 0 && 0 > acc && acc != 14);
    EXPECT_EQ(acc++, -14);
    EXPECT_EQ(--acc, -14);
}

TEST(Int128, AsInt64) {
    EXPECT_EQ(int128(0).as_int64(), 0);
    EXPECT_EQ(int128(-1).as_int64(), -1);
    EXPECT_EQ(int128(LONG_MAX).as_int64(), LONG_MAX);
    EXPECT_EQ(int128(LONG_MIN).as_int64(), LONG_MIN);
    const int128 out_of_range[] = {
        int128::from_words(0, std::uint64_t{1} << 63),   // 2^63
        int128::from_words(-1, 0x7FFFFFFFFFFFFFFFu),      // -2^63 - 1
        int128::from_words(1, 0),
        int128::from_words(LONG_MIN, 0),
    };
    for (const int128& v : out_of_range) {
        try {
            (void)v.as_int64();
            ADD_FAILURE() << v << " converted";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "int128::as_int64() out of bounds");
        }
    }
}

TEST(Int128, PrintsDecimal) {
    EXPECT_EQ(str(0), "0");
    EXPECT_EQ(str(-1), "-1");
    EXPECT_EQ(str(static_cast<s128>(1) << 64), "18446744073709551616");
    EXPECT_EQ(str(-(static_cast<s128>(1) << 64) + 1), "-18446744073709551615");
    EXPECT_EQ(str(kMax128), "170141183460469231731687303715884105727");
    EXPECT_EQ(str(kMin128), "-170141183460469231731687303715884105728");
}

TEST(BitUtils, Table) {
    struct Case {
        unsigned w, lsb, msb, ones, runs;
    };
    const Case cases[] = {
        {0, 31, 0, 0, 0},
        {1, 0, 0, 1, 1},
        {12, 2, 3, 2, 1},
        {0b1011, 0, 3, 3, 2},
        {0x80000000u, 31, 31, 1, 1},
        {0x00010000u, 16, 16, 1, 1},
        {0x00018000u, 15, 16, 2, 1},
        {0xFFFFFFFFu, 0, 31, 32, 1},
        {0x55555555u, 0, 30, 16, 16},
        {0xAAAAAAAAu, 1, 31, 16, 16},
        {0x80808080u, 7, 31, 4, 4},
        {0x01010101u, 0, 24, 4, 4},
        {0x0180FF00u, 8, 24, 10, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qarn::find_lsb_index(c.w), c.lsb) << std::hex << c.w;
        EXPECT_EQ(qarn::find_msb_index(c.w), c.msb) << std::hex << c.w;
        EXPECT_EQ(qarn::count_ones(c.w), c.ones) << std::hex << c.w;
        EXPECT_EQ(qarn::count_ranges_of_one(c.w), c.runs) << std::hex << c.w;
    }
}

TEST(BitUtils, AgreeWithStandardBitOperations) {
    std::vector<unsigned> words;
    for (unsigned p = 1; p < 0x10000; ++p)
        for (unsigned shift : {0u, 7u, 8u, 15u, 16u})
            words.push_back(p << shift);
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i)
        words.push_back(static_cast<unsigned>(rng()));
    for (unsigned w : words) {
        ASSERT_EQ(qarn::find_lsb_index(w), static_cast<unsigned>(std::countr_zero(w))) << w;
        ASSERT_EQ(qarn::find_msb_index(w), 31u - std::countl_zero(w)) << w;
        ASSERT_EQ(qarn::count_ones(w), static_cast<unsigned>(std::popcount(w))) << w;
        ASSERT_EQ(qarn::count_ranges_of_one(w), static_cast<unsigned>(std::popcount(w & ~(w << 1)))) << w;
    }
}

TEST(Bezout, CoefficientsSolveTheIdentity) {
    std::vector<std::pair<unsigned, unsigned>> pairs = {
        {4294967295u, 4294967294u}, {4294967291u, 65536u}, {0u, 0u}, {4294967295u, 1u}};
    for (unsigned a = 0; a <= 25; ++a)
        for (unsigned b = 0; b <= 25; ++b)
            pairs.emplace_back(a, b);
    for (auto [a, b] : pairs) {
        unsigned g = 12345;
        const auto [x, y] = qarn::bezout_coefficients(a, b, &g);
        EXPECT_EQ(g, std::gcd(a, b));
        EXPECT_EQ(static_cast<s128>(a) * x + static_cast<s128>(b) * y, static_cast<s128>(g)) << a << "," << b;
        EXPECT_GE(x, 0) << a << "," << b;
        EXPECT_EQ(qarn::bezout_coefficients(a, b), std::make_pair(x, y));
    }
}

// Checks a reported solution family: the particular solution and its steps.
void expect_solution_family(unsigned a, unsigned b, unsigned c, long long x, unsigned dx,
                            long long y, unsigned dy) {
    for (long long k = -2; k <= 2; ++k) {
        const s128 xs = x + k * static_cast<s128>(dx), ys = y + k * static_cast<s128>(dy);
        EXPECT_EQ(a * xs - b * ys, static_cast<s128>(c))
            << a << "x - " << b << "y = " << c << " at k " << k;
    }
    if (a != 0 && b != 0) {
        EXPECT_GE(x, 0);
        EXPECT_LT(x, static_cast<long long>(dx));
    }
}

TEST(LinearDiophantine, Table) {
    struct Case {
        unsigned a, b, c;
        bool solvable;
        unsigned dx, dy, gcd;
    };
    const Case cases[] = {
        {6, 4, 2, true, 2, 3, 2},
        {6, 4, 1, false, 0, 0, 2},
        {6, 4, 0, true, 2, 3, 2},
        {0, 0, 0, true, 1, 1, 0},
        {0, 5, 0, true, 1, 0, 5},
        {5, 0, 0, true, 0, 1, 5},
        {0, 5, 10, true, 1, 0, 5},
        {0, 5, 7, false, 0, 0, 5},
        {0, 0, 3, false, 0, 0, 0},
        {4, 0, 8, true, 0, 1, 4},
        {4, 0, 6, false, 0, 0, 4},
        {4294967295u, 4294967294u, 4294967295u, true, 4294967294u, 4294967295u, 1},
        {4294967291u, 65536u, 123456789u, true, 65536u, 4294967291u, 1},
        {4294967294u, 2147483647u, 4294967294u, true, 1, 2, 2147483647u},
        {4294967294u, 2147483647u, 4294967295u, false, 0, 0, 2147483647u},
        {4294967295u, 1u, 4294967295u, true, 1, 4294967295u, 1},
        {1u, 4294967295u, 4294967294u, true, 4294967295u, 1, 1},
    };
    for (const Case& c : cases) {
        long long x = -99, y = -99;
        unsigned dx = 99, dy = 99, g = 99;
        const bool solved = qarn::linear_diophantine_equation(c.a, c.b, c.c, x, dx, y, dy, &g);
        ASSERT_EQ(solved, c.solvable) << c.a << "x - " << c.b << "y = " << c.c;
        if (c.a != 0 && c.b != 0) {
            EXPECT_EQ(g, c.gcd);
        }
        if (!solved)
            continue;
        EXPECT_EQ(dx, c.dx);
        EXPECT_EQ(dy, c.dy);
        expect_solution_family(c.a, c.b, c.c, x, dx, y, dy);
    }
}

TEST(LinearDiophantine, BruteForceOverSmallInputs) {
    constexpr int kWindow = 40;
    for (unsigned a = 0; a <= 12; ++a)
        for (unsigned b = 0; b <= 12; ++b)
            for (unsigned c = 0; c <= 15; ++c) {
                std::vector<std::pair<int, int>> solutions;
                for (int X = -kWindow; X <= kWindow; ++X)
                    for (int Y = -kWindow; Y <= kWindow; ++Y)
                        if (static_cast<long long>(a) * X - static_cast<long long>(b) * Y == c)
                            solutions.emplace_back(X, Y);
                long long x, y;
                unsigned dx, dy;
                const bool solved = qarn::linear_diophantine_equation(a, b, c, x, dx, y, dy);
                ASSERT_EQ(solved, !solutions.empty()) << a << "x - " << b << "y = " << c;
                if (!solved)
                    continue;
                expect_solution_family(a, b, c, x, dx, y, dy);
                if (a == 0 && b == 0)
                    continue;  // every pair solves 0 = 0; no single step describes them
                for (auto [X, Y] : solutions) {
                    long long k;
                    if (dx != 0) {
                        ASSERT_EQ((X - x) % dx, 0) << a << "," << b << "," << c;
                        k = (X - x) / static_cast<long long>(dx);
                    } else {
                        ASSERT_EQ(X, x);
                        ASSERT_EQ((Y - y) % dy, 0);
                        k = (Y - y) / static_cast<long long>(dy);
                    }
                    ASSERT_EQ(Y, y + k * dy) << a << "," << b << "," << c;
                }
            }
}

void expect_invalid_argument(void (*call)(), const char* text) {
    try {
        call();
        ADD_FAILURE() << "no exception, expected " << text;
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), text);
    }
}

TEST(Random, RejectsEmptyIntervals) {
    expect_invalid_argument([] { qarn::random::gen(0u); }, "random::gen(0) is not allowed");
    expect_invalid_argument([] { qarn::random::range(6u, 5u); }, "random::range: wrong parameter order");
    expect_invalid_argument([] { qarn::random::range(1, -1); }, "random::range: wrong parameter order");
    expect_invalid_argument([] { qarn::random::range(INT_MAX, INT_MIN); },
                            "random::range: wrong parameter order");
}

TEST(Random, SingleValueRangeDrawsNothing) {
    qarn::random::set_seed(99u);
    const int first = std::rand();
    qarn::random::set_seed(99u);
    EXPECT_EQ(qarn::random::range(5u, 5u), 5u);
    EXPECT_EQ(qarn::random::range(-3, -3), -3);
    EXPECT_EQ(std::rand(), first);
}

TEST(Random, FullSpanIsOneWideDraw) {
    qarn::random::set_seed(31u);
    const unsigned expected = qarn::random::gen();
    qarn::random::set_seed(31u);
    EXPECT_EQ(qarn::random::range(0u, 0xFFFFFFFFu), expected);
    qarn::random::set_seed(31u);
    EXPECT_EQ(qarn::random::range(INT_MIN, INT_MAX), static_cast<int>(expected ^ 0x80000000u));
}

TEST(Random, DrawsStayInBounds) {
    qarn::random::set_seed(4242u);
    const std::pair<int, int> int_ranges[] = {
        {INT_MIN, INT_MIN + 3}, {INT_MAX - 3, INT_MAX}, {-2, 1}, {INT_MIN, -1}, {-1, INT_MAX}, {INT_MIN, INT_MAX}};
    for (auto [lo, hi] : int_ranges) {
        std::vector<bool> seen(4);
        for (int i = 0; i < 300; ++i) {
            const int r = qarn::random::range(lo, hi);
            ASSERT_GE(r, lo);
            ASSERT_LE(r, hi);
            if (static_cast<long>(hi) - lo == 3)
                seen[static_cast<std::size_t>(static_cast<long>(r) - lo)] = true;
        }
        if (static_cast<long>(hi) - lo == 3) {
            EXPECT_EQ(seen, std::vector<bool>(4, true)) << lo << ".." << hi;
        }
    }
    for (unsigned n : {1u, 2u, 1000u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFFu})
        for (int i = 0; i < 200; ++i)
            ASSERT_LT(qarn::random::gen(n), n);
    for (int i = 0; i < 200; ++i) {
        const unsigned r = qarn::random::range(0xFFFFFFF0u, 0xFFFFFFFFu);
        ASSERT_GE(r, 0xFFFFFFF0u);
    }
}

TEST(Random, FixedSeedIsReproducible) {
    auto draw = [](unsigned seed) {
        EXPECT_EQ(qarn::random::set_seed(seed), seed);
        std::vector<unsigned> v;
        for (int i = 0; i < 10; ++i)
            v.push_back(qarn::random::gen());
        v.push_back(qarn::random::gen(1000u));
        v.push_back(static_cast<unsigned>(qarn::random::range(-50, 50)));
        return v;
    };
    EXPECT_EQ(draw(12345u), draw(12345u));
    EXPECT_NE(draw(12345u), draw(54321u));
}

TEST(Random, SeedFromArguments) {
    char prog[] = "qarn", hex[] = "0x10", octal[] = "010", dec[] = "4000000000";
    char* with_hex[] = {prog, hex, nullptr};
    char* with_octal[] = {prog, octal, nullptr};
    char* with_dec[] = {prog, dec, nullptr};
    EXPECT_EQ(qarn::random::set_seed(2, with_hex), 16u);
    EXPECT_EQ(qarn::random::set_seed(2, with_octal), 8u);
    EXPECT_EQ(qarn::random::set_seed(2, with_dec), 4000000000u);
}

TEST(Random, FreshSeedFallsBackToTheClock) {
    const auto before = static_cast<unsigned>(std::time(nullptr));
    const unsigned seed = qarn::detail::fresh_seed("/nonexistent/qarn-urandom");
    const auto after = static_cast<unsigned>(std::time(nullptr));
    EXPECT_GE(seed, before);
    EXPECT_LE(seed, after);
}

}  // namespace numeric_test
