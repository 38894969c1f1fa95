// One-word set: the range, stride and clipping rules on fixed tables, the
// iterator's misuse messages and walks, the text form, and a randomized
// differential test of every operation against a std::bitset<32> reference.
#include <gtest/gtest.h>

#include <bitset>
#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "impl/sets/iset_text.h"
#include "impl/sets/model.h"
#include "impl/sets/small_iset.h"

namespace small_iset_test {

using qarn::small_iset;
using iset = qarn::small_model::iset;
using range = std::pair<int, int>;
using range64 = std::pair<std::int64_t, std::int64_t>;

#if QARN_SMALL_DOMAINS
static_assert(std::is_same_v<qarn::iset, qarn::small_model::iset>);
static_assert(qarn::MIN_DOMAIN == 0 && qarn::MAX_DOMAIN == 31);
#endif

typedef std::bitset<32> ref_set;

std::uint32_t word_of(std::initializer_list<int> values) {
    std::uint32_t w = 0;
    for (int v : values)
        w |= 1u << v;
    return w;
}

iset set_of(std::initializer_list<int> values) {
    return iset(small_iset::from_word(word_of(values)));
}

std::vector<int> members(const small_iset& s) {
    std::vector<int> v;
    for (auto it = s.begin(); it != s.end(); ++it)
        v.push_back(*it);
    return v;
}

std::vector<int> members(const ref_set& r) {
    std::vector<int> v;
    for (int i = 0; i < 32; ++i)
        if (r[i])
            v.push_back(i);
    return v;
}

std::string text_of(const small_iset& s) {
    std::ostringstream out;
    out << s;
    return out.str();
}

// The message of the exception of type E that f throws.
template <class E>
std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (...) {
        return "<other exception>";
    }
    return "<no exception>";
}

const std::string OUT_OF_RANGE = "small_iset out of range ";

// ---------------------------------------------------------------------------
// Ranges, strides and clipping

TEST(SmallIset, InsertRange) {
    struct {
        int lo, hi;
        std::uint32_t word; // expected, from the empty set
        bool throws;
    } cases[] = {
        {0, 31, 0xFFFFFFFFu, false}, {5, 5, 1u << 5, false},  {0, 0, 1u, false},
        {31, 31, 1u << 31, false},   {3, 6, 0x78u, false},    {3, 2, 0, true},
        {0, 32, 0, true},            {-1, 3, 0, true},        {32, 32, 0, true},
        {INT_MIN, INT_MAX, 0, true}, {-5, -1, 0, true},
    };
    for (const auto& c : cases) {
        small_iset s = small_iset::from_word(1u << 10);
        std::string msg = message_of<std::out_of_range>([&] { s.insert(range(c.lo, c.hi)); });
        if (c.throws) {
            EXPECT_EQ(msg, OUT_OF_RANGE + "while inserting a range") << c.lo << ".." << c.hi;
            EXPECT_EQ(s.word(), 1u << 10) << "a failed insert changes nothing";
        } else {
            EXPECT_EQ(msg, "<no exception>");
            EXPECT_EQ(s.word(), c.word | 1u << 10) << c.lo << ".." << c.hi;
        }
    }
}

TEST(SmallIset, InsertStride) {
    struct {
        int lo, hi;
        unsigned stride;
        std::vector<int> after; // members afterwards, from {10}
        const char* error;      // context of the out_of_range, or null
    } cases[] = {
        {1, 7, 3, {1, 4, 7, 10}, nullptr},
        {1, 7, 1, {1, 2, 3, 4, 5, 6, 7, 10}, nullptr},
        {5, 5, 7, {5, 10}, nullptr},
        {0, 31, 31, {0, 10, 31}, nullptr},
        {1, 7, 4, {10}, "While inserting range with a wrong stride"},
        {4, 8, 0, {10}, "while inserting a range"},
        {3, 1, 2, {10}, "while inserting a range"},
        {0, 32, 1, {10}, "while inserting a range"},
        // Bits set before the first element outside 0..31 stay set.
        {28, 34, 2, {10, 28, 30}, "while inserting an element"},
        {-2, 4, 2, {10}, "while inserting an element"},
        {INT_MIN, INT_MAX, 0xFFFFFFFFu, {10}, "while inserting an element"},
    };
    for (const auto& c : cases) {
        small_iset s = small_iset::from_word(1u << 10);
        std::string msg =
            message_of<std::out_of_range>([&] { s.insert(range(c.lo, c.hi), c.stride); });
        EXPECT_EQ(msg, c.error ? OUT_OF_RANGE + c.error : "<no exception>")
            << c.lo << ":" << c.stride << ":" << c.hi;
        EXPECT_EQ(members(s), c.after) << c.lo << ":" << c.stride << ":" << c.hi;
    }
}

TEST(SmallIset, IntersectAndEraseClip) {
    struct {
        bool erase;
        int lo, hi;
        std::uint32_t word; // from the full set
    } cases[] = {
        {false, -10, 3, 0xFu},          {false, 40, 50, 0},
        {false, -5, -1, 0},             {false, 30, 100, 3u << 30},
        {false, INT_MIN, INT_MAX, ~0u}, {false, 7, 7, 1u << 7},
        {true, -5, -1, ~0u},            {true, 32, 40, ~0u},
        {true, -3, 4, ~0x1Fu},          {true, 30, 99, 0x3FFFFFFFu},
        {true, INT_MIN, INT_MAX, 0},    {true, 31, 31, 0x7FFFFFFFu},
    };
    for (const auto& c : cases) {
        small_iset s = small_iset::from_word(~0u);
        if (c.erase)
            s.erase(range(c.lo, c.hi));
        else
            s.intersect(range(c.lo, c.hi));
        EXPECT_EQ(s.word(), c.word) << (c.erase ? "erase " : "intersect ") << c.lo << ".." << c.hi;
    }
    small_iset s = small_iset::from_word(0x1234u);
    EXPECT_EQ(message_of<std::out_of_range>([&] { s.intersect(range(3, 2)); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_EQ(message_of<std::out_of_range>([&] { s.erase(range(3, 2)); }),
              "small_iset out of range : illegel unordered values in pair");
    EXPECT_EQ(s.word(), 0x1234u);
}

TEST(SmallIset, IntersectStride) {
    auto expected = [](std::int64_t lo, std::int64_t hi, unsigned s) {
        std::vector<int> v;
        for (std::int64_t x = 0; x < 32; ++x)
            if (x >= lo && x <= hi && (lo == hi || (x - lo) % s == 0))
                v.push_back(static_cast<int>(x));
        return v;
    };
    struct {
        std::int64_t lo, hi;
        unsigned stride;
    } cases[] = {
        {-5, 31, 3},        {2, 20, 6},     {40, 50, 2},       {10, 5, 3},   {5, 5, 0},
        {-100, 100, 7},     {-1, 100, 1},   {-7, 29, 40},      {3, 33, 10},  {6, 33, 8},
        {-5, 95, 100},      {31, 31, 5},    {-3, -3, 2},       {0, 31, 31},  {1, 2, 0xFFFFFFFFu},
        {-(1LL << 40), (1LL << 40) + 1, 3}, {INT_MIN, INT_MAX, 0x80000000u},
    };
    for (const auto& c : cases) {
        const bool fits = c.lo >= INT_MIN && c.hi <= INT_MAX;
        if (fits) {
            small_iset s = small_iset::from_word(~0u);
            s.intersect(range(static_cast<int>(c.lo), static_cast<int>(c.hi)), c.stride);
            EXPECT_EQ(members(s), expected(c.lo, c.hi, c.stride))
                << c.lo << ":" << c.stride << ":" << c.hi;
        }
        small_iset w = small_iset::from_word(~0u);
        w.intersect(range64(c.lo, c.hi), c.stride);
        EXPECT_EQ(members(w), expected(c.lo, c.hi, c.stride))
            << "64-bit " << c.lo << ":" << c.stride << ":" << c.hi;
    }
    small_iset s = small_iset::from_word(0xFFu);
    EXPECT_EQ(message_of<std::out_of_range>([&] { s.intersect(range(4, 8), 0); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_EQ(message_of<std::out_of_range>([&] { s.intersect(range64(4, 8), 0); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_EQ(s.word(), 0xFFu);
}

TEST(SmallIset, PlainRangeIsExactlyOneRun) {
    struct row {
        std::uint32_t word;
        bool plain;
        int lo, hi;
    };
    for (const row& r : {row{0u, false, 0, 0}, row{1u, true, 0, 0}, row{0x80000000u, true, 31, 31},
                         row{0xFFFFFFFFu, true, 0, 31}, row{0x7FFFFFFFu, true, 0, 30},
                         row{0xFFFFFFFEu, true, 1, 31}, row{0x0F0u, true, 4, 7},
                         row{0x5u, false, 0, 0}, row{0x80000001u, false, 0, 0}}) {
        int lo = -1, hi = -1;
        const bool plain = small_iset::from_word(r.word).plain_range(lo, hi);
        EXPECT_EQ(plain, r.plain) << std::hex << r.word;
        if (r.plain) {
            EXPECT_EQ(lo, r.lo) << std::hex << r.word;
            EXPECT_EQ(hi, r.hi) << std::hex << r.word;
        }
    }
}

TEST(SmallIset, ValueQueries) {
    const small_iset empty, full = small_iset::from_word(~0u);
    EXPECT_EQ(message_of<std::domain_error>([&] { (void)empty.min(); }), "min() over empty an set");
    EXPECT_EQ(message_of<std::domain_error>([&] { (void)empty.max(); }), "max() over empty an set");
    EXPECT_EQ(full.min(), 0);
    EXPECT_EQ(full.max(), 31);
    EXPECT_EQ(full.size(), 32u);
    EXPECT_FALSE(full.empty());
    EXPECT_TRUE(full.full());
    EXPECT_EQ(set_of({4}).min(), 4);
    EXPECT_EQ(set_of({4}).max(), 4);

    const iset s = set_of({2, 9});
    struct {
        int v;
        int lower, upper; // -1: the end
    } bounds[] = {
        {INT_MIN, 2, 2}, {-3, 2, 2}, {-1, 2, 2},  {2, 2, 9},        {3, 9, 9},
        {9, 9, -1},      {10, -1, -1}, {31, -1, -1}, {40, -1, -1}, {INT_MAX, -1, -1},
    };
    for (const auto& b : bounds) {
        auto lo = s.lower_bound(b.v), up = s.upper_bound(b.v);
        EXPECT_EQ(lo == s.end() ? -1 : *lo, b.lower) << "lower_bound " << b.v;
        EXPECT_EQ(up == s.end() ? -1 : *up, b.upper) << "upper_bound " << b.v;
    }

    iset one(5);
    one.assign(7);
    EXPECT_EQ(one.word(), 1u << 7);
    EXPECT_EQ(message_of<std::out_of_range>([&] { one.assign(32); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_EQ(one.word(), 1u << 7);
    EXPECT_EQ(iset(3, 5).word(), 0x38u);
    EXPECT_EQ(iset(range(0, 1)).word(), 3u);
    EXPECT_THROW(iset(range(5, 4)), std::out_of_range);
    EXPECT_THROW(iset(-1), std::out_of_range);
}

TEST(SmallIset, WholeSetOperations) {
    const small_iset a = set_of({1, 2, 3, 20}), b = set_of({3, 4, 20, 31});
    small_iset x = a;
    x.insert_all_of(b);
    EXPECT_EQ(members(x), (std::vector<int>{1, 2, 3, 4, 20, 31}));
    x = a;
    x.intersect(b);
    EXPECT_EQ(members(x), (std::vector<int>{3, 20}));
    x = a;
    x.erase_all_of(b);
    EXPECT_EQ(members(x), (std::vector<int>{1, 2}));
    x = small_iset();
    x.complement();
    EXPECT_TRUE(x.full());
    x.complement();
    EXPECT_TRUE(x.empty());

    EXPECT_TRUE(a.contains_all_of(set_of({1, 20})));
    EXPECT_FALSE(a.contains_all_of(b));
    EXPECT_TRUE(a.contains_all_of(small_iset()));
    EXPECT_TRUE(a.contains_any_of(b));
    EXPECT_FALSE(a.contains_any_of(set_of({0, 30})));
    EXPECT_FALSE(a.contains_any_of(small_iset()));
    EXPECT_TRUE(small_iset::same_elements(a, set_of({20, 3, 2, 1})));
    EXPECT_FALSE(small_iset::same_elements(a, b));
    EXPECT_TRUE(a == set_of({1, 2, 3, 20}));

    small_iset p = a, q = b;
    p.swap(q);
    EXPECT_EQ(p.word(), b.word());
    EXPECT_EQ(q.word(), a.word());
}

TEST(SmallIset, ContainsProgression) {
    const small_iset s = set_of({1, 4, 7, 10, 11, 12, 31});
    struct {
        int lo, hi;
        unsigned stride;
        bool expected;
    } cases[] = {
        {1, 10, 3, true},   {1, 12, 3, true},  {1, 13, 3, false}, {10, 12, 1, true},
        {10, 13, 1, false}, {7, 7, 0, true},   {8, 8, 0, false},  {-2, 1, 3, false},
        {31, 40, 5, false}, {31, 35, 5, true},  {31, 40, 9, false}, {40, 40, 1, false}, {5, 3, 1, true},
        {1, 31, 30, true},  {INT_MIN, INT_MAX, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(s.contains_all_of(range(c.lo, c.hi), c.stride), c.expected)
            << c.lo << ":" << c.stride << ":" << c.hi;
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)s.contains_all_of(range(1, 4), 0); }),
              OUT_OF_RANGE + "while inserting a range");
}

TEST(SmallIset, ProgressionHelpers) {
    range r(1, 22);
    small_iset::remove_smaller_elements(r, 3, 5);
    EXPECT_EQ(r, range(7, 22));
    small_iset::remove_bigger_elements(r, 3, 20);
    EXPECT_EQ(r, range(7, 19));
    EXPECT_EQ(small_iset::count_elements(r, 3), 5u);
    EXPECT_EQ(small_iset::count_elements(range(3, 2), 1), 0u);
    EXPECT_TRUE(small_iset::is_in_range(r, 3, 13));
    EXPECT_FALSE(small_iset::is_in_range(r, 3, 14));
    range top(INT_MAX - 4, INT_MAX - 4);
    small_iset::remove_smaller_elements(top, 10, INT_MAX);
    EXPECT_GT(top.first, top.second);
}

// ---------------------------------------------------------------------------
// Iterators

TEST(SmallIset, IteratorWalksOnRuns) {
    const small_iset s = set_of({1, 2, 3, 7});
    auto it = s.begin();
    EXPECT_EQ(it.current_range(), range(1, 3));
    it.advance_range();
    EXPECT_EQ(*it, 7);
    EXPECT_EQ(it.current_range(), range(7, 7));
    it.advance_range();
    EXPECT_TRUE(it == s.end());

    // advance(n) from 1, and retract_range from every position.
    const int advanced[] = {1, 2, 3, 7, -1, -1};
    for (unsigned n = 0; n < 6; ++n) {
        auto a = s.begin();
        a.advance(n);
        EXPECT_EQ(a == s.end() ? -1 : *a, advanced[n]) << "advance " << n;
    }
    struct {
        int from; // -1: the end
        int to;
    } retracts[] = {{1, 1}, {2, 1}, {3, 1}, {7, 1}, {-1, 7}};
    for (const auto& r : retracts) {
        auto a = r.from < 0 ? s.end() : s.lower_bound(r.from);
        a.retract_range();
        EXPECT_EQ(*a, r.to) << "retract_range from " << r.from;
    }
    small_iset high = set_of({0, 5, 29, 30, 31});
    auto h = high.end();
    h.retract_range();
    EXPECT_EQ(h.current_range(), range(29, 31));
    h.retract_range();
    EXPECT_EQ(*h, 5);
    const small_iset none;
    auto e = none.end();
    e.retract_range();
    EXPECT_TRUE(e == none.end());

    // Post-increment and decrement return the old position.
    auto p = s.begin();
    EXPECT_EQ(*p++, 1);
    EXPECT_EQ(*p--, 2);
    EXPECT_EQ(*p, 1);
    --p; // no member below: stays
    EXPECT_EQ(*p, 1);
    auto end = s.end();
    ++end; // the end stays
    EXPECT_TRUE(end == s.end());
}

TEST(SmallIset, IteratorEquality) {
    small_iset a = set_of({3}), b = set_of({3});
    EXPECT_TRUE(a.begin() != b.begin()) << "iterators of different sets";
    small_iset empty;
    EXPECT_TRUE(empty.begin() == empty.end());
    auto it = a.begin();
    a.erase(range(3, 3));
    EXPECT_TRUE(it == a.end()) << "on an emptied set every iterator is at the end";
    EXPECT_TRUE(small_iset::iterator() == small_iset::iterator());
    EXPECT_TRUE(small_iset::iterator::CHECKS_BOUNDS == false);
    EXPECT_TRUE(small_iset::iterator::INVALIDATED_BY_ERASE == true);
}

TEST(SmallIset, EraseIterator) {
    small_iset s = set_of({4, 5, 9, 31});
    auto it = s.erase(s.lower_bound(5));
    EXPECT_EQ(*it, 9);
    it = s.erase(s.lower_bound(31));
    EXPECT_TRUE(it == s.end());
    EXPECT_EQ(members(s), (std::vector<int>{4, 9}));
    EXPECT_EQ(message_of<std::runtime_error>([&] { s.erase(s.end()); }),
              "small_iset::iterator::operator*() dereferncing empty iterator");
    EXPECT_EQ(message_of<std::runtime_error>([&] { s.erase(small_iset::iterator()); }),
              "small_iset::iterator::operator*() dereferncing NULL iterator");
    EXPECT_EQ(members(s), (std::vector<int>{4, 9}));
}

TEST(SmallIset, IteratorMisuseMessages) {
    const small_iset s = set_of({1, 2, 3, 7});
    const small_iset other = set_of({1, 2, 3, 7});
    range r;
    unsigned st;
    struct {
        const char* what;
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {"null ++", [] { small_iset::iterator n; ++n; },
         "iset::iterator::CurrentRange dereferncing NULL iterator"},
        {"null --", [] { small_iset::iterator n; --n; },
         "small_iset::iterator::CurrentRange dereferncing NULL iterator"},
        {"null *", [] { (void)*small_iset::iterator(); },
         "small_iset::iterator::operator*() dereferncing NULL iterator"},
        {"end *", [&] { (void)*s.end(); },
         "small_iset::iterator::operator*() dereferncing empty iterator"},
        {"null current_range", [] { (void)small_iset::iterator().current_range(); },
         "small_iset::iterator::current_range dereferencing NULL iterator"},
        {"end current_range", [&] { (void)s.end().current_range(); },
         "small_iset::iterator::current_range dereferencing empty iterator"},
        {"null advance_range", [] { small_iset::iterator().advance_range(); },
         "small_iset::iterator::advance_range dereferencing NULL iterator"},
        {"end advance_range", [&] { s.end().advance_range(); },
         "small_iset::iterator::advance_range dereferencing empty iterator"},
        {"null advance", [] { small_iset::iterator().advance(1); },
         "small_iset::iterator::advance_range dereferencing NULL iterator"},
        {"end advance", [&] { s.end().advance(1); },
         "small_iset::iterator::advance_range dereferencing empty iterator"},
        {"null retract_range", [] { small_iset::iterator().retract_range(); },
         "small_iset::iterator::retract_range dereferencing NULL iterator"},
        {"null find_stride", [&] { small_iset::iterator().find_stride(s.end(), r, st); },
         "small_iset::iterator::find_stride dereferencing NULL iterator"},
        {"find_stride across sets", [&] { s.begin().find_stride(other.end(), r, st); },
         "small_iset::iterator::find_stride refers to different small_iset objects"},
        {"find_stride at its end", [&] { s.end().find_stride(s.end(), r, st); },
         "Empty an stride was requested"},
        {"find_stride past its end", [&] { s.lower_bound(7).find_stride(s.begin(), r, st); },
         "Empty an stride was requested"},
        {"find_back_stride at its begin", [&] { s.begin().find_back_stride(s.begin(), r, st); },
         "An Empty stride was requested"},
        {"find_back_stride on the empty set",
         [] {
             small_iset e;
             range rr;
             unsigned ss;
             e.end().find_back_stride(e.begin(), rr, ss);
         },
         "An Empty stride was requested"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(message_of<std::runtime_error>(c.call), c.message) << c.what;
}

TEST(SmallIset, FindStride) {
    struct {
        std::vector<int> set;
        int from, end; // end -1: the set's end
        range expected;
        unsigned stride;
        int next; // -1: the set's end
    } cases[] = {
        {{1, 4, 7, 10, 20}, 1, -1, {1, 10}, 3, 20},
        {{1, 2, 3, 4, 5, 8, 9}, 1, -1, {1, 5}, 1, 8},
        {{1, 3, 4, 5, 6}, 1, -1, {1, 3}, 2, 4},
        {{0, 2, 4, 6}, 0, -1, {0, 6}, 2, -1},
        {{0, 2, 4, 6}, 0, 4, {0, 2}, 2, 4},
        {{0, 2, 4, 6}, 0, 2, {0, 0}, 1, 2},
        {{3, 4, 5, 6, 7, 8, 9}, 4, 7, {4, 6}, 1, 7},
        {{5}, 5, -1, {5, 5}, 1, -1},
        {{0, 31}, 0, -1, {0, 31}, 31, -1},
        {{9, 20, 21, 22}, 9, -1, {9, 20}, 11, 21},
    };
    for (const auto& c : cases) {
        small_iset s;
        for (int v : c.set)
            s.insert(range(v, v));
        auto end = c.end < 0 ? s.end() : s.lower_bound(c.end);
        range r;
        unsigned st = 0;
        auto next = s.lower_bound(c.from).find_stride(end, r, st);
        EXPECT_EQ(r, c.expected) << "from " << c.from;
        EXPECT_EQ(st, c.stride) << "from " << c.from;
        EXPECT_EQ(next == s.end() ? -1 : *next, c.next) << "from " << c.from;
    }
}

TEST(SmallIset, FindBackStride) {
    struct {
        std::vector<int> set;
        int from, begin; // from -1: the set's end
        range expected;
        unsigned stride;
        int first;
    } cases[] = {
        {{1, 4, 7, 10, 20}, -1, 1, {10, 20}, 10, 10},
        {{1, 4, 7, 10, 20}, -1, 20, {20, 20}, 1, 20},
        {{1, 4, 7, 10, 20}, 20, 1, {1, 10}, 3, 1},
        {{1, 4, 7, 10, 20}, 20, 4, {4, 10}, 3, 4},
        {{1, 2, 3, 5, 7, 9}, -1, 1, {3, 9}, 2, 3},
        {{1, 2, 3, 5, 7, 9}, 5, 1, {1, 3}, 1, 1},
        {{1, 2, 3, 5, 7, 9}, 5, 2, {2, 3}, 1, 2},
        {{4, 5, 6, 7}, 6, 4, {4, 5}, 1, 4},
    };
    for (const auto& c : cases) {
        small_iset s;
        for (int v : c.set)
            s.insert(range(v, v));
        auto from = c.from < 0 ? s.end() : s.lower_bound(c.from);
        range r;
        unsigned st = 0;
        auto first = from.find_back_stride(s.lower_bound(c.begin), r, st);
        EXPECT_EQ(r, c.expected) << "from " << c.from;
        EXPECT_EQ(st, c.stride) << "from " << c.from;
        EXPECT_EQ(*first, c.first) << "from " << c.from;
    }
}

TEST(SmallIset, FindContainedTail) {
    struct {
        std::vector<int> set, other;
        int end;  // -1: the set's end
        int tail; // -1: the set's end
    } cases[] = {
        {{1, 4, 7, 10, 20}, {7, 10, 20}, -1, 7},
        {{1, 4, 7, 10, 20}, {1, 4, 7, 10, 20, 30}, -1, 1},
        {{1, 4, 7, 10, 20}, {1, 4, 7}, -1, -1},
        {{1, 4, 7, 10, 20}, {1, 4, 7}, 10, 1},
        {{1, 4, 7, 10, 20}, {}, 10, 10},
        {{2, 3, 4, 5, 6}, {4, 5, 6}, -1, 4},
        {{2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5}, 6, 2},
        {{}, {1}, -1, -1},
    };
    for (const auto& c : cases) {
        small_iset s, o;
        for (int v : c.set)
            s.insert(range(v, v));
        for (int v : c.other)
            o.insert(range(v, v));
        auto end = c.end < 0 ? s.end() : s.lower_bound(c.end);
        auto tail = s.find_contained_tail(o, end);
        EXPECT_EQ(tail == s.end() ? -1 : *tail, c.tail) << "end " << c.end;
        EXPECT_TRUE(qarn::iset_helpers::find_contained_tail(s, end, o) == tail);
    }
}

TEST(SmallIset, Rand) {
    const small_iset full = small_iset::from_word(~0u);
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int v = full.rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 31);
        seen.insert(v);
    }
    EXPECT_GT(seen.size(), 16u);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(set_of({4}).rand(), 4);
    const small_iset s = set_of({1, 2, 3, 7, 20, 21, 22, 31});
    seen.clear();
    for (int i = 0; i < 4000; ++i) {
        int v = s.rand();
        ASSERT_TRUE(s.contains(v)) << v;
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), s.size()) << "every member is drawn";
    EXPECT_EQ(message_of<std::runtime_error>([] { (void)small_iset().rand(); }),
              "Can't qarn::small_iset::rand() for an empty set");
}

// ---------------------------------------------------------------------------
// Text form

TEST(SmallIset, WritesText) {
    struct {
        std::vector<int> set;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{5}, "5"},
        {{0, 2, 4, 6}, "0:2:6"},
        {{1, 2}, "1,2"},
        {{1, 2, 3}, "1:3"},
        {{1, 3, 5}, "1,3,5"},
        {{1, 3, 5, 7}, "1:2:7"},
        {{1, 4, 9}, "1,4,9"},
        {{0, 31}, "0,31"},
        {{0, 10, 20, 30}, "0:10:30"},
        {{1, 3, 4, 5, 6}, "1,3,4:6"},
    };
    for (const auto& c : cases) {
        small_iset s;
        for (int v : c.set)
            s.insert(range(v, v));
        EXPECT_EQ(text_of(s), c.text);
        EXPECT_EQ(small_iset(c.text).word(), s.word()) << c.text;
    }
    EXPECT_EQ(text_of(small_iset::from_word(~0u)), "0:31");
}

TEST(SmallIset, ReadsText) {
    EXPECT_EQ(members(iset(std::string("1:3,7"))), (std::vector<int>{1, 2, 3, 7}));
    EXPECT_EQ(members(iset(std::string("0:2:6"))), (std::vector<int>{0, 2, 4, 6}));
    EXPECT_EQ(message_of<std::out_of_range>([] { small_iset s("32"); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_EQ(message_of<std::out_of_range>([] { small_iset s("-1:3"); }),
              OUT_OF_RANGE + "while inserting a range");
    EXPECT_THROW(small_iset("1:0"), qarn::parse_error);

    // The stream reader keeps the items read before a failing one.
    std::istringstream in("5,30:2:34");
    small_iset s;
    EXPECT_THROW(in >> s, std::out_of_range);
    EXPECT_EQ(members(s), (std::vector<int>{5, 30}));

    std::istringstream list("1,2;x");
    list >> s;
    EXPECT_EQ(members(s), (std::vector<int>{1, 2}));
    EXPECT_EQ(list.get(), ';');
}

// ---------------------------------------------------------------------------
// Randomized differential test against std::bitset<32>

struct rng {
    std::mt19937 gen;
    explicit rng(unsigned seed) : gen(seed) {}
    int below(int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); }
    bool chance(int n) { return below(n) == 0; }
    // Mostly inside 0..31, often just outside, sometimes far away.
    int value() {
        switch (below(10)) {
        case 0:
            return -8 + below(8);
        case 1:
            return 32 + below(8);
        case 2:
            return chance(2) ? INT_MIN + below(3) : INT_MAX - below(3);
        default:
            return below(32);
        }
    }
    unsigned stride() { return chance(4) ? 1u : 2u + static_cast<unsigned>(below(14)); }
    std::uint32_t word() {
        switch (below(6)) {
        case 0:
            return 0;
        case 1:
            return ~0u;
        case 2: {
            int lo = below(32), hi = lo + below(32 - lo);
            return (0xFFFFFFFFu >> (31 - hi)) & (0xFFFFFFFFu << lo);
        }
        default:
            return static_cast<std::uint32_t>(gen()) & static_cast<std::uint32_t>(gen());
        }
    }
};

bool ref_has(const ref_set& r, std::int64_t v) {
    return v >= 0 && v <= 31 && r[static_cast<size_t>(v)];
}

// Members of the set other than the end, plus the end as 32.
std::vector<unsigned> positions(const ref_set& r) {
    std::vector<unsigned> p;
    for (int v : members(r))
        p.push_back(static_cast<unsigned>(v));
    p.push_back(32);
    return p;
}

small_iset::iterator at(const small_iset& s, unsigned index) {
    return index >= 32 ? s.end() : s.lower_bound(static_cast<int>(index));
}

int value_at(const small_iset& s, const small_iset::iterator& it) {
    return it == s.end() ? 32 : *it;
}

// The progression find_stride must report from members[p], with the members
// at positions below e only: the rest of a run, or isolated members while
// the gaps stay equal.
void ref_find_stride(const std::vector<int>& m, size_t p, size_t e, range& r, unsigned& s,
                     size_t& next) {
    size_t q = p;
    s = 1;
    if (p + 1 < e && m[p + 1] == m[p] + 1) {
        while (q + 1 < e && m[q + 1] == m[q] + 1)
            ++q;
    } else if (p + 1 < e) {
        s = static_cast<unsigned>(m[p + 1] - m[p]);
        q = p + 1;
        while (q + 1 < e && static_cast<unsigned>(m[q + 1] - m[q]) == s)
            ++q;
    }
    r = range(m[p], m[q]);
    next = q + 1;
}

// The mirror: the progression ending at members[top], not below position b.
void ref_find_back_stride(const std::vector<int>& m, size_t top, size_t b, range& r, unsigned& s,
                          size_t& first) {
    size_t q = top;
    s = 1;
    if (top > b && m[top - 1] == m[top] - 1) {
        while (q > b && m[q - 1] == m[q] - 1)
            --q;
    } else if (top > b) {
        s = static_cast<unsigned>(m[top] - m[top - 1]);
        q = top - 1;
        while (q > b && static_cast<unsigned>(m[q] - m[q - 1]) == s)
            --q;
    }
    r = range(m[q], m[top]);
    first = q;
}

void expect_iteration(const small_iset& s, const ref_set& r) {
    const std::vector<int> m = members(r);
    ASSERT_EQ(members(s), m);
    std::vector<int> backward;
    for (auto it = s.end(); it != s.begin();) {
        --it;
        backward.insert(backward.begin(), *it);
    }
    ASSERT_EQ(backward, m);

    // Runs through current_range / advance_range.
    std::vector<range> runs, ref_runs;
    for (auto it = s.begin(); it != s.end(); it.advance_range())
        runs.push_back(it.current_range());
    for (size_t i = 0; i < m.size();) {
        size_t j = i;
        while (j + 1 < m.size() && m[j + 1] == m[j] + 1)
            ++j;
        ref_runs.emplace_back(m[i], m[j]);
        i = j + 1;
    }
    ASSERT_EQ(runs, ref_runs);

    // find_stride from every member to every later end position, and the
    // full walk; find_back_stride likewise.
    const size_t n = m.size();
    for (size_t e = 1; e <= n; ++e) {
        auto end = at(s, e < n ? static_cast<unsigned>(m[e]) : 32u);
        for (size_t p = 0; p < e; ++p) {
            range got, want;
            unsigned gs = 0, ws = 0;
            size_t next;
            auto after = at(s, static_cast<unsigned>(m[p])).find_stride(end, got, gs);
            ref_find_stride(m, p, e, want, ws, next);
            ASSERT_EQ(got, want) << "find_stride from " << m[p] << " end position " << e;
            ASSERT_EQ(gs, ws) << "find_stride from " << m[p];
            ASSERT_EQ(value_at(s, after), next < n ? m[next] : 32) << "find_stride from " << m[p];
        }
        for (size_t b = 0; b < e; ++b) {
            range got, want;
            unsigned gs = 0, ws = 0;
            size_t first;
            auto start = end.find_back_stride(at(s, static_cast<unsigned>(m[b])), got, gs);
            ref_find_back_stride(m, e - 1, b, want, ws, first);
            ASSERT_EQ(got, want) << "find_back_stride to " << value_at(s, end) << " from " << m[b];
            ASSERT_EQ(gs, ws);
            ASSERT_EQ(*start, m[first]);
        }
    }
    std::vector<int> walked;
    for (auto it = s.begin(); it != s.end();) {
        range pr;
        unsigned st = 0;
        it = it.find_stride(s.end(), pr, st);
        for (long long v = pr.first; v <= pr.second; v += st)
            walked.push_back(static_cast<int>(v));
    }
    ASSERT_EQ(walked, m);

    // advance(k) from every member; retract_range from every position.
    for (size_t p = 0; p < n; ++p)
        for (size_t k = 0; p + k <= n + 1; ++k) {
            auto it = at(s, static_cast<unsigned>(m[p]));
            it.advance(static_cast<unsigned>(k));
            ASSERT_EQ(value_at(s, it), p + k < n ? m[p + k] : 32) << m[p] << " + " << k;
        }
    for (unsigned i : positions(r)) {
        unsigned want = i;
        if (i == 0 || i == 32 || !r[i - 1]) {
            for (unsigned v = i; v-- > 0;)
                if (r[v]) {
                    want = v;
                    break;
                }
        }
        if (want < 32)
            while (want > 0 && r[want - 1])
                --want;
        auto it = at(s, i);
        it.retract_range();
        ASSERT_EQ(static_cast<unsigned>(value_at(s, it)), want) << "retract_range from " << i;
    }
}

void expect_same(const small_iset& s, const ref_set& r) {
    ASSERT_EQ(s.word(), static_cast<std::uint32_t>(r.to_ulong()));
    ASSERT_EQ(s.empty(), r.none());
    ASSERT_EQ(s.full(), r.all());
    ASSERT_EQ(s.size(), r.count());
    for (int v = -3; v <= 35; ++v)
        ASSERT_EQ(s.contains(v), ref_has(r, v)) << v;
    ASSERT_FALSE(s.contains(INT_MIN));
    ASSERT_FALSE(s.contains(INT_MAX));
    const std::vector<int> m = members(r);
    if (m.empty()) {
        ASSERT_THROW((void)s.min(), std::domain_error);
        ASSERT_THROW((void)s.max(), std::domain_error);
    } else {
        ASSERT_EQ(s.min(), m.front());
        ASSERT_EQ(s.max(), m.back());
        ASSERT_TRUE(s.contains(s.rand()));
    }
    for (int v : {INT_MIN, -40, -3, -1, 0, 1, 5, 16, 30, 31, 32, 40, INT_MAX}) {
        int lower = 32, upper = 32;
        for (int w : m) {
            if (w >= v && lower == 32)
                lower = w;
            if (w > v && upper == 32)
                upper = w;
        }
        ASSERT_EQ(value_at(s, s.lower_bound(v)), lower) << "lower_bound " << v;
        ASSERT_EQ(value_at(s, s.upper_bound(v)), upper) << "upper_bound " << v;
    }
    expect_iteration(s, r);
    ASSERT_EQ(small_iset(text_of(s)).word(), s.word()) << "text " << text_of(s);
}

// Queries with a second set.
void expect_pair_queries(const small_iset& s, const ref_set& r, const small_iset& o,
                         const ref_set& ro) {
    ASSERT_EQ(s.contains_all_of(o), (ro & ~r).none());
    ASSERT_EQ(s.contains_any_of(o), (ro & r).any());
    ASSERT_EQ(small_iset::same_elements(s, o), ro == r);
    ASSERT_EQ(s == o, ro == r);
    // find_contained_tail before every position.
    const std::vector<int> m = members(r);
    for (size_t e = 0; e <= m.size(); ++e) {
        size_t p = e;
        while (p > 0 && ro[static_cast<size_t>(m[p - 1])])
            --p;
        auto end = at(s, e < m.size() ? static_cast<unsigned>(m[e]) : 32u);
        ASSERT_EQ(value_at(s, s.find_contained_tail(o, end)), p < m.size() ? m[p] : 32)
            << "contained tail before position " << e;
    }
}

// A progression likely to overlap the set's members.
void random_progression(rng& g, const small_iset& s, int& lo, int& hi, unsigned& st) {
    st = g.stride();
    lo = (!s.empty() && g.chance(2)) ? s.rand() : g.value();
    hi = g.chance(5) ? g.value()
                     : static_cast<int>(std::min<long long>(
                           INT_MAX, lo + static_cast<long long>(g.below(6)) * st));
}

// Applies one random operation to the set and its reference; exceptions
// must match the reference's rules, and a failed operation changes nothing
// (except the stride insert, which keeps the bits set before it failed).
void random_step(rng& g, small_iset& s, ref_set& r) {
    int lo = g.value(), hi = g.value();
    if (g.chance(3) && lo > hi)
        std::swap(lo, hi);
    auto expect_throw = [&](const std::function<void()>& f, const std::string& context) {
        ASSERT_EQ(message_of<std::out_of_range>(f), OUT_OF_RANGE + context);
    };
    auto in_range = [](long long a, long long b, long long v) { return a <= v && v <= b; };
    switch (g.below(13)) {
    case 0: { // insert range
        if (lo > hi || lo < 0 || hi > 31)
            return expect_throw([&] { s.insert(range(lo, hi)); }, "while inserting a range");
        s.insert(range(lo, hi));
        for (int v = lo; v <= hi; ++v)
            r[v] = true;
        break;
    }
    case 1: { // insert a progression
        unsigned st;
        random_progression(g, s, lo, hi, st);
        if (g.chance(8))
            st = 0;
        if (st == 0 || lo > hi)
            return expect_throw([&] { s.insert(range(lo, hi), st); }, "while inserting a range");
        if (st == 1 && (lo < 0 || hi > 31))
            return expect_throw([&] { s.insert(range(lo, hi), st); }, "while inserting a range");
        if ((static_cast<long long>(hi) - lo) % st != 0)
            return expect_throw([&] { s.insert(range(lo, hi), st); },
                                "While inserting range with a wrong stride");
        bool fails = false;
        for (long long v = lo; v <= hi; v += st) {
            if (v < 0 || v > 31) {
                fails = true;
                break;
            }
            r[static_cast<size_t>(v)] = true;
        }
        if (fails) {
            ASSERT_EQ(message_of<std::out_of_range>([&] { s.insert(range(lo, hi), st); }),
                      OUT_OF_RANGE + "while inserting an element");
            return expect_same(s, r);
        }
        s.insert(range(lo, hi), st);
        break;
    }
    case 2: { // erase range, clipped
        if (lo > hi)
            return expect_throw([&] { s.erase(range(lo, hi)); },
                                ": illegel unordered values in pair");
        s.erase(range(lo, hi));
        for (int v = 0; v < 32; ++v)
            if (in_range(lo, hi, v))
                r[v] = false;
        break;
    }
    case 3: { // erase an iterator
        if (s.empty())
            return;
        const int v = s.rand();
        auto next = s.erase(s.lower_bound(v));
        r[v] = false;
        int want = 32;
        for (int w = v + 1; w < 32; ++w)
            if (r[w]) {
                want = w;
                break;
            }
        ASSERT_EQ(value_at(s, next), want) << "erase at " << v;
        break;
    }
    case 4: { // intersect range, clipped
        if (lo > hi)
            return expect_throw([&] { s.intersect(range(lo, hi)); }, "while inserting a range");
        s.intersect(range(lo, hi));
        for (int v = 0; v < 32; ++v)
            if (!in_range(lo, hi, v))
                r[v] = false;
        break;
    }
    case 5:
    case 6: { // intersect a progression, 32 or 64-bit bounds
        unsigned st;
        random_progression(g, s, lo, hi, st);
        if (g.chance(8))
            st = 0;
        const bool wide = g.chance(2);
        std::int64_t wlo = lo, whi = hi;
        if (wide && g.chance(2)) {
            wlo -= static_cast<std::int64_t>(st) * g.below(1 << 20) * 4096;
            whi += static_cast<std::int64_t>(st) * g.below(1 << 20) * 4096;
        }
        auto call = [&] {
            if (wide)
                s.intersect(range64(wlo, whi), st);
            else
                s.intersect(range(lo, hi), st);
        };
        if (wlo != whi && st == 0)
            return expect_throw(call, "while inserting a range");
        call();
        for (std::int64_t v = 0; v < 32; ++v)
            if (v < wlo || v > whi || (wlo != whi && (v - wlo) % st != 0))
                r[static_cast<size_t>(v)] = false;
        break;
    }
    case 7: { // with another set
        const small_iset o = small_iset::from_word(g.word());
        const ref_set ro(o.word());
        switch (g.below(3)) {
        case 0:
            s.intersect(o);
            r &= ro;
            break;
        case 1:
            s.insert_all_of(o);
            r |= ro;
            break;
        default:
            s.erase_all_of(o);
            r &= ~ro;
            break;
        }
        break;
    }
    case 8:
        s.complement();
        r.flip();
        break;
    case 9: { // assign
        const int v = g.value();
        if (v < 0 || v > 31)
            return expect_throw([&] { s.assign(v); }, "while inserting a range");
        s.assign(v);
        r.reset();
        r[v] = true;
        break;
    }
    case 10: { // progression containment
        unsigned st;
        random_progression(g, s, lo, hi, st);
        bool want = true;
        if (lo == hi) {
            want = ref_has(r, lo);
        } else {
            for (long long v = lo; v <= hi; v += st)
                if (!ref_has(r, v)) {
                    want = false;
                    break;
                }
        }
        ASSERT_EQ(s.contains_all_of(range(lo, hi), st), want) << lo << ":" << st << ":" << hi;
        return;
    }
    default: { // queries with a second set: unrelated, a subset or a superset
        std::uint32_t w = g.word();
        if (g.chance(3))
            w &= s.word();
        else if (g.chance(2))
            w |= s.word();
        const small_iset o = small_iset::from_word(w);
        return expect_pair_queries(s, r, o, ref_set(w));
    }
    }
    expect_same(s, r);
}

TEST(SmallIsetRandom, MatchesBitsetReference) {
    for (unsigned seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(seed);
        rng g(seed);
        small_iset s = small_iset::from_word(g.word());
        ref_set r(s.word());
        for (int step = 0; step < 150; ++step) {
            SCOPED_TRACE(step);
            const ref_set before = r;
            const std::uint32_t word_before = s.word();
            random_step(g, s, r);
            if (HasFatalFailure())
                return;
            // Failed operations (other than the stride insert) left both unchanged.
            if (r == before) {
                ASSERT_EQ(s.word(), word_before);
            }
        }
    }
}

}  // namespace small_iset_test
