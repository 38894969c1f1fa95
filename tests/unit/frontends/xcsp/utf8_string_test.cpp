#include "frontends/xcsp/xml/utf8_string.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace utf8_string_test {

using xcsp::UTF8String;

UTF8String view(const std::string& s) {
    return UTF8String(s.data(), s.data() + s.size());
}

TEST(Utf8String, IntConversionAcceptsOnlyWholeNumbersWithin32Bits) {
    struct row {
        const char* text;
        bool ok;
        int value;
    };
    const row rows[] = {
        {" -17 ", true, -17},       {"+5", true, 5},         {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},             {"12x", false, 0},
        {"5x", false, 0},           {"4294967297", false, 0}, {"2147483648", false, 0},
        {"-", false, 0},            {"", false, 0},          {"  ", false, 0},
        {"1 2", false, 0},
    };
    for (const row& r : rows) {
        int value = 0;
        EXPECT_EQ(view(r.text).to<int>(value), r.ok) << r.text;
        if (r.ok) {
            EXPECT_EQ(value, r.value) << r.text;
        }
    }
    int untouched = 7;
    EXPECT_FALSE(UTF8String().to<int>(untouched));
    EXPECT_EQ(untouched, 7);
}

TEST(Utf8String, StringConversionTellsAbsentFromEmptyAttribute) {
    std::string out = "x";
    EXPECT_FALSE(UTF8String().to<std::string>(out));
    EXPECT_TRUE(UTF8String("").to<std::string>(out)); // an attribute value: runs to its NUL
    EXPECT_EQ(out, "");
    EXPECT_FALSE(view("").to<std::string>(out));
    EXPECT_TRUE(view("ab").to<std::string>(out));
    EXPECT_EQ(out, "ab");
}

TEST(Utf8String, FindAndSubstrCountCodePoints) {
    const std::string range = "3..7";
    EXPECT_EQ(view(range).find(UTF8String("..")), 1);
    EXPECT_EQ(view("5").find(UTF8String("..")), 2147483647);
    const std::string cyrillic = "\xD0\x96..9"; // Ж..9
    EXPECT_EQ(view(cyrillic).find(UTF8String("..")), 1);
    std::string out;
    view(cyrillic).substr(3, 10).to<std::string>(out);
    EXPECT_EQ(out, "9");
    view(cyrillic).substr(0, 1).to<std::string>(out);
    EXPECT_EQ(out, "\xD0\x96");
}

TEST(Utf8String, DecodingValidatesAndStaysWithinTheText) {
    const std::string two = "\xD0\x96";
    EXPECT_EQ(*view(two).first(), 0x416);
    const char* bad[] = {"\xC0\x80", "\xF5\x80\x80\x80", "\xE0\x80\x80", "\xED\xA0\x80",
                         "\xF4\x90\x80\x80", "\xD0\x41"};
    for (const char* b : bad)
        EXPECT_THROW(*view(b).first(), std::runtime_error) << b;
    // A sequence cut by the end of a bounded view is never completed from
    // the bytes beyond it.
    const std::string whole = "\xE2\x82\xAC";
    const UTF8String cut(whole.data(), whole.data() + 2);
    EXPECT_THROW(*cut.first(), std::runtime_error);
    auto it = cut.first();
    EXPECT_THROW(++it, std::runtime_error);
    UTF8String copy;
    EXPECT_THROW(copy.appendText(cut.begin(), cut.end()), std::runtime_error);
}

TEST(Utf8String, AppendEncodesAndGrowsByDoubling) {
    UTF8String s;
    EXPECT_EQ(s.capacity(), 0);
    for (int i = 0; i < 60; ++i)
        s.append('a');
    EXPECT_EQ(s.capacity(), 64);
    s.append(0x20AC); // 3 bytes, 63 in all, then fewer than 4 free
    EXPECT_EQ(s.capacity(), 64);
    s.append('b');
    EXPECT_EQ(s.capacity(), 128);
    std::string out;
    s.to<std::string>(out);
    EXPECT_EQ(out, std::string(60, 'a') + "\xE2\x82\xAC" + "b");
    EXPECT_THROW(s.append(55296), std::runtime_error);
    EXPECT_THROW(s.append(1114112), std::runtime_error);
    UTF8String copy(s);
    s.clear();
    copy.to<std::string>(out);
    EXPECT_EQ(out.size(), 64u);
}

TEST(Utf8String, TokenizerSplitsOnWhiteSpaceAndSeparators) {
    const std::string text = " 1 2|3\t:4 ";
    UTF8String::Tokenizer tokens(view(text));
    tokens.addSeparator('|');
    tokens.addSeparator(':');
    std::vector<std::string> got;
    for (UTF8String t = tokens.nextToken(); !t.absent(); t = tokens.nextToken()) {
        std::string s;
        t.to<std::string>(s);
        got.push_back(s);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"1", "2", "|", "3", ":", "4"}));
}

TEST(Utf8String, OrderIsBytewiseWithPrefixesFirst) {
    EXPECT_TRUE(UTF8String("ab") < UTF8String("abc"));
    EXPECT_FALSE(UTF8String("abc") < UTF8String("ab"));
    EXPECT_TRUE(UTF8String("a") < UTF8String("\xC3\xA9"));
    EXPECT_FALSE(UTF8String("x") < UTF8String("x"));
}

TEST(AttributeList, FindsTheFirstMatchOrTheAbsentString) {
    const char* attributes[] = {"name", "X", "domain", "D", "name", "Y", nullptr};
    const xcsp::AttributeList list(attributes);
    EXPECT_EQ(list.size(), 3);
    std::string out;
    list["name"].to<std::string>(out);
    EXPECT_EQ(out, "X");
    EXPECT_TRUE(list["scope"].absent());
}

}  // namespace utf8_string_test
