// Tuple compression: the boxes read back cover exactly the inserted tuples
// (random lists, several calls, values at the ends of the 32-bit range), fixed
// folding and merging cases, the order used for merging, ragged input and the
// text form.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/propagators/tuple_set.h"

namespace tuple_set_test {

using qarn::tuple_set;
using iset = tuple_set::iset;
using box = tuple_set::box;
using tuples = std::vector<std::vector<int>>;

box make_box(const std::vector<std::string>& texts) {
    box b;
    for (const std::string& t : texts)
        b.emplace_back(t);
    return b;
}

std::string text_of(const tuple_set& set) {
    std::ostringstream out;
    out << set;
    return out.str();
}

// Every integer tuple of every box, with its multiplicity.
std::multiset<std::vector<int>> expand(const tuple_set& set) {
    std::multiset<std::vector<int>> all;
    for (const box& b : set.tuples()) {
        std::vector<std::vector<int>> partial(1);
        for (const iset& column : b) {
            std::vector<std::vector<int>> longer;
            for (const std::vector<int>& p : partial)
                for (int v : column) {
                    longer.push_back(p);
                    longer.back().push_back(v);
                }
            partial.swap(longer);
        }
        all.insert(partial.begin(), partial.end());
    }
    return all;
}

TEST(TupleSet, FoldsAndMergesFixedCases) {
    struct row {
        const char* name;
        std::vector<tuples> calls;
        std::string expected;
    };
    const row rows[] = {
        {"square", {{{1, 1}, {1, 2}, {2, 1}, {2, 2}}}, "[(1,2; 1,2; ) \n]"},
        {"unsorted square", {{{2, 2}, {1, 1}, {2, 1}, {1, 2}}}, "[(1,2; 1,2; ) \n]"},
        {"apart", {{{1, 2}, {3, 4}}}, "[(1; 2; ) \n (3; 4; ) \n]"},
        {"earlier call folds", {{{1, 6}}, {{1, 5}, {2, 6}}}, "[(1; 5,6; ) \n (2;   6; ) \n]"},
        {"repeat", {{{1, 2}, {1, 2}}, {{1, 2}}}, "[(1; 2; ) \n]"},
        {"empty list", {{}, {{4}}, {}}, "[(4; ) \n]"},
        {"no columns", {{{}, {}}, {{}}}, "[() \n () \n]"},
        {"one column", {{{5}, {3}, {4}, {9}}}, "[(3:5,9; ) \n]"},
        {"extremes", {{{INT_MIN, INT_MAX}, {INT_MAX, INT_MAX}}},
         "[(-2147483648,2147483647; 2147483647; ) \n]"},
    };
    for (const row& r : rows) {
        tuple_set set;
        for (const tuples& call : r.calls)
            set.insert(call);
        EXPECT_EQ(text_of(set), r.expected) << r.name;
    }
}

TEST(TupleSet, BoxesCoverExactlyTheInsertedTuples) {
    std::mt19937 gen(12345);
    for (int round = 0; round < 400; ++round) {
        const unsigned k = 1 + gen() % 4;
        const int width = 2 + static_cast<int>(gen() % 4);
        const long long base = std::vector<long long>{-2, INT_MIN, INT_MAX - width + 1}[gen() % 3];
        const bool sorted = gen() % 2 == 0;
        tuple_set set;
        std::multiset<std::vector<int>> inserted;
        const int calls = 1 + static_cast<int>(gen() % 3);
        for (int call = 0; call < calls; ++call) {
            tuples list(gen() % 30);
            for (std::vector<int>& t : list)
                for (unsigned j = 0; j < k; ++j)
                    t.push_back(static_cast<int>(base + static_cast<int>(gen() % width)));
            if (sorted)
                std::sort(list.begin(), list.end());
            set.insert(list);
            inserted.insert(list.begin(), list.end());
        }
        const std::set<std::vector<int>> distinct(inserted.begin(), inserted.end());
        const std::multiset<std::vector<int>> covered = expand(set);
        EXPECT_EQ(std::set<std::vector<int>>(covered.begin(), covered.end()), distinct)
            << "round " << round;
        // Without repeated tuples no integer tuple lies in two boxes.
        if (distinct.size() == inserted.size()) {
            EXPECT_EQ(covered.size(), distinct.size()) << "round " << round;
        }
        EXPECT_LE(set.tuples().size(), distinct.size()) << "round " << round;
        for (const box& b : set.tuples())
            EXPECT_EQ(b.size(), k);
    }
}

// Sorted input folds the last column in one pass; the merges do the rest.
TEST(TupleSet, SortedFullRelationBecomesOneBox) {
    tuples all;
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 3; ++c)
                all.push_back({c - 1, a * 7, b});
    std::sort(all.begin(), all.end());
    tuple_set set;
    set.insert(all);
    EXPECT_EQ(text_of(set), "[(-1:1; 0:7:28; 0:3; ) \n]");
}

TEST(TupleSet, RaggedTuplesAreRejectedBeforeAnyChange) {
    tuple_set set;
    EXPECT_THROW(set.insert({{1, 2}, {3}}), std::invalid_argument);
    EXPECT_TRUE(set.tuples().empty());
    set.insert({{1, 2}});
    EXPECT_THROW(set.insert({{1, 3}, {1, 4, 5}}), std::invalid_argument);
    EXPECT_THROW(set.insert({{}}), std::invalid_argument);
    EXPECT_THROW(set.push_back({7}), std::invalid_argument);
    EXPECT_EQ(text_of(set), "[(1; 2; ) \n]");
}

TEST(TupleSet, OrderIgnoringColumn) {
    struct row {
        std::vector<std::string> a, b;
        unsigned column;
        bool before;
    };
    const row rows[] = {
        {{"1", "2"}, {"1"}, 0, true},              // more columns first
        {{"1"}, {"1", "2"}, 0, false},
        {{"9", "1"}, {"1", "1"}, 0, false},        // only the ignored column differs
        {{"1", "5"}, {"1", "5,6"}, 0, false},      // subset: empty difference
        {{"1", "5,6"}, {"1", "5"}, 0, true},       // superset
        {{"1,3", "0"}, {"2", "0"}, 1, true},       // 1 < 2
        {{"2", "0"}, {"1,3", "0"}, 1, false},
        {{"2,7", "0"}, {"3:5", "9"}, 1, true},     // min {2,7} < min {3:5}
        {{"-2147483648", "0"}, {"2147483647", "0"}, 1, true},
    };
    for (const row& r : rows)
        EXPECT_EQ(tuple_set::order_ignoring_column(r.column)(make_box(r.a), make_box(r.b)), r.before)
            << r.a[0] << " " << r.b[0];

    // A strict weak order over random boxes: irreflexive, asymmetric, transitive.
    std::mt19937 gen(3);
    std::vector<box> boxes;
    for (int i = 0; i < 40; ++i) {
        box b(2);
        for (iset& s : b)
            for (int n = 1 + static_cast<int>(gen() % 3); n > 0; --n) {
                const int lo = static_cast<int>(gen() % 6);
                s.insert(iset::range_type(lo, lo + static_cast<int>(gen() % 2)));
            }
        boxes.push_back(b);
    }
    const tuple_set::order_ignoring_column less(0);
    for (const box& a : boxes) {
        EXPECT_FALSE(less(a, a));
        for (const box& b : boxes) {
            EXPECT_FALSE(less(a, b) && less(b, a));
            for (const box& c : boxes)
                if (less(a, b) && less(b, c)) {
                    EXPECT_TRUE(less(a, c));
                }
        }
    }
}

TEST(TupleSet, EqualityHelpers) {
    const box a = make_box({"1", "2,3", "4"});
    EXPECT_TRUE(tuple_set::is_equal_prefix(2, make_box({"1", "2", "8"}), {1, 2, 3}));
    EXPECT_FALSE(tuple_set::is_equal_prefix(2, a, {1, 2, 4}));   // {2,3} is not a singleton
    EXPECT_TRUE(tuple_set::is_equal_prefix(1, a, {1, 9, 9}));
    EXPECT_FALSE(tuple_set::is_equal_prefix(4, a, {1, 2, 4, 5})); // beyond the box
    EXPECT_TRUE(tuple_set::is_equal_ignoring_column(2, a, make_box({"1", "3,2", "7"})));
    EXPECT_FALSE(tuple_set::is_equal_ignoring_column(2, a, make_box({"1", "2:4", "4"})));
    EXPECT_FALSE(tuple_set::is_equal_ignoring_column(0, a, make_box({"1", "2,3"})));
}

TEST(TupleSet, WideRowsAreWrittenOneSetPerLine) {
    tuple_set set;
    // Ten columns of 7 characters: 10 * 7 + 2 * 10 = 90 > 78.
    set.insert({{1000000, 1000001, 1000002, 1000003, 1000004, 1000005, 1000006, 1000007,
                 1000008, 1000009}});
    std::string expected = "[(";
    for (int v = 1000000; v < 1000010; ++v)
        expected += std::to_string(v) + ";\n   ";
    expected += "\n ) \n]";
    EXPECT_EQ(text_of(set), expected);

    // 78 exactly still aligns: 13 columns of width 4 plus 26.
    tuple_set fits;
    fits.insert({{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012}});
    EXPECT_EQ(text_of(fits).find('\n'), text_of(fits).size() - 2);

    std::ostringstream out;
    out << std::hex << set << 255;
    EXPECT_EQ(out.str().substr(out.str().size() - 3), "]ff"); // stream flags are the caller's
}

}  // namespace tuple_set_test
