// Text form of sets: reading and writing tables, the error messages, stream
// state handling and round trips of random sets.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>

#include "impl/sets/big_iset.h"
#include "impl/sets/iset_text.h"

namespace iset_text_test {

using iset = qarn::big_model::iset;
using qarn::big_iset;
using range = std::pair<int, int>;

std::string text_of(const big_iset& s) {
    std::ostringstream out;
    qarn::iset_helpers::print_set(out, s);
    return out.str();
}

std::vector<long long> values_of(const big_iset& s) {
    std::vector<long long> v;
    for (auto it = s.begin(); it != s.end(); ++it)
        v.push_back(*it);
    return v;
}

std::string parse_message(const std::string& text) {
    try {
        iset s(text);
    } catch (const qarn::parse_error& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(IsetText, ReadsItems) {
    struct {
        const char* text;
        std::vector<long long> values;
    } cases[] = {
        {"", {}},
        {"5", {5}},
        {"1:3,7", {1, 2, 3, 7}},
        {"-5:-3", {-5, -4, -3}},
        {"0:2:6", {0, 2, 4, 6}},
        {"1,", {1}},
        {"-2147483648,2147483647", {INT_MIN, INT_MAX}},
        {"-2000000000:3000000000:1000000000", {-2000000000, 1000000000}},
    };
    for (const auto& c : cases) {
        iset s(c.text);
        s.validate();
        EXPECT_EQ(values_of(s), c.values) << c.text;
    }
    iset strided("0:3:30");
    EXPECT_EQ(strided.stride(), 3u); // compaction found the stride
}

TEST(IsetText, ParseErrors) {
    struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"1:0", "Input range is unordered 1:0"},
        {"0:2:5", "Input interval size does not match skip size of 2bounds are 0:5"},
        {"3:-1:5", "Not expecting ':' after the range 3:-1"},
        {"3:0:5", "Not expecting ':' after the range 3:0"},
        {"4:", "2nd part of the range is missing 4:"},
        {"4:2:", "3nd part of the stride is missing 4:2:"},
        {"1,2 ", "unexpected ' ' while parsing an iset of '1,2 \n"},
        {" 1,2", "unexpected ' ' while parsing an iset of ' 1,2\n"},
        {"1;2", "unexpected ';' while parsing an iset of '1;2\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_message(c.text), c.message) << c.text;
}

TEST(IsetText, NumbersOutsideThe32BitRangeAreRejected) {
    for (const char* text : {"-2000000000:3000000000", "2147483648", "-2147483649", "1:2:3000000000",
                             "99999999999999999999"})
        EXPECT_THROW(iset{std::string(text)}, qarn::parse_error) << text;
}

TEST(IsetText, StreamReadStopsAtForeignCharacterAndRestoresFlags) {
    std::istringstream in("1,2;x");
    in.setf(std::ios::skipws);
    iset s;
    in >> s;
    EXPECT_EQ(values_of(s), (std::vector<long long>{1, 2}));
    EXPECT_TRUE(in.flags() & std::ios::skipws);
    EXPECT_TRUE(in.good());
    EXPECT_EQ(in.get(), ';');

    std::istringstream at_end("7:9");
    iset t;
    at_end >> t;
    EXPECT_EQ(values_of(t), (std::vector<long long>{7, 8, 9}));
    EXPECT_TRUE(at_end.good()); // the failed read at the end is undone
}

TEST(IsetText, Writes) {
    struct {
        std::vector<int> values;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{1, 2}, "1,2"},
        {{1, 2, 3}, "1:3"},
        {{1, 3, 5}, "1,3,5"},
        {{1, 3, 5, 7}, "1:2:7"},
        {{1, 4, 9}, "1,4,9"},
        {{-3, 0, 10, 11, 12}, "-3,0,10:12"},
        {{INT_MIN, INT_MAX}, "-2147483648,2147483647"},
    };
    for (const auto& c : cases) {
        iset s;
        for (int v : c.values)
            s.insert(range(v, v));
        EXPECT_EQ(text_of(s), c.text);
        std::ostringstream out;
        out << s;
        EXPECT_EQ(out.str(), c.text);
    }
    iset full;
    full.complement();
    EXPECT_EQ(text_of(full), "-2147483648:2147483647");
}

TEST(IsetText, RandomSetsRoundTrip) {
    std::mt19937 gen(12345);
    for (int round = 0; round < 300; ++round) {
        iset s;
        int base = round % 3 == 0 ? INT_MIN : round % 3 == 1 ? INT_MAX - 200 : -100;
        int items = 1 + static_cast<int>(gen() % 6);
        for (int i = 0; i < items; ++i) {
            int lo = base + static_cast<int>(gen() % 200);
            unsigned st = 1 + gen() % 7;
            int steps = static_cast<int>(gen() % 10);
            long long hi = lo + static_cast<long long>(steps) * st;
            if (hi > base + 200LL)
                hi = lo;
            if (gen() % 2)
                s.insert(range(lo, static_cast<int>(hi)), st);
            else
                s.insert(range(lo, lo));
        }
        std::string text = text_of(s);
        iset back(text);
        ASSERT_TRUE(big_iset::same_elements(s, back)) << text;
        ASSERT_EQ(text_of(back), text);
    }
}

}  // namespace iset_text_test
