// The runtime shared by the generated scanners: chunked input, read errors
// told apart from the end of the input, fatal scanner conditions; and the
// OPB scanner on tokens far longer than its buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "frontends/common/read_error.h"
#include "frontends/common/scanner_runtime.h"
#include "frontends/opb/opb_model.h"
#include "impl/engine/solver.h"
#include "opb_parser.hh"
#include "tests/unit/test_helpers.h"

namespace scanner_runtime_test {

// Text from a string, counting the reads made of it; after the text, when
// `fail` is set, a read fails the way a file stream's does when read(2)
// fails: errno set and an exception, which the istream turns into badbit.
class source_buf : public std::stringbuf {
public:
    explicit source_buf(const std::string& text, bool fail = false)
        : std::stringbuf(text, std::ios_base::in), m_fail(fail) {}

    int reads = 0;

protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        ++reads;
        const std::streamsize count = std::stringbuf::xsgetn(s, n);
        if (count < n && m_fail)
            fail();
        return count;
    }
    int_type underflow() override {
        ++reads;
        const int_type c = std::stringbuf::underflow();
        if (traits_type::eq_int_type(c, traits_type::eof()) && m_fail)
            fail();
        return c;
    }

private:
    [[noreturn]] static void fail() {
        errno = EIO;
        throw std::ios_base::failure("read failed");
    }

    bool m_fail;
};

// What successive reads of at most `chunk` characters deliver, "|" between
// reads, until the end of the input.
std::string chunks(std::istream& in, std::size_t chunk) {
    std::string out;
    char buf[16];
    for (std::size_t n; (n = qarn::scanner_read(&in, buf, chunk)) != 0;)
        out += std::string(buf, n) + "|";
    return out;
}

TEST(ScannerRead, DeliversTheInputInChunksUpToTheRequestedSize) {
    std::istringstream in("abcdefghij");
    EXPECT_EQ(chunks(in, 4), "abcd|efgh|ij|");
    EXPECT_EQ(qarn::scanner_read(&in, nullptr, 4), 0u); // still the end
    std::istringstream empty("");
    EXPECT_EQ(chunks(empty, 4), "");
    EXPECT_EQ(qarn::scanner_read(nullptr, nullptr, 4), 0u);
}

// A failing read is an error, never the end of the input, also after text
// was delivered; errno's reason is kept.
TEST(ScannerRead, ReadErrorsAreNotTheEndOfTheInput) {
    source_buf failing("abcdef", true);
    std::istream in(&failing);
    char buf[16];
    ASSERT_EQ(qarn::scanner_read(&in, buf, 4), 4u);
    try {
        qarn::scanner_read(&in, buf, 4);
        ADD_FAILURE() << "no read error";
    } catch (const qarn::read_error& e) {
        EXPECT_EQ(e.error(), EIO);
        EXPECT_STREQ(e.what(), "cannot read: Input/output error");
    }

    // A directory opens as a file but cannot be read.
    std::ifstream directory(".");
    ASSERT_TRUE(directory.is_open());
    EXPECT_EQ(qarn_test::error_of([&] { qarn::scanner_read(&directory, buf, 4); }),
              "cannot read: Is a directory");

    // Standard input read through C stdio: the failure shows in stdin's
    // error indicator only.
    ASSERT_NE(std::freopen(".", "r", stdin), nullptr);
    EXPECT_EQ(qarn_test::error_of([&] { qarn::scanner_read(&std::cin, buf, 4); }),
              "cannot read: Is a directory");
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    std::cin.clear();
    EXPECT_EQ(qarn::scanner_read(&std::cin, buf, 4), 0u);
}

// An instance whose reading fails midway is not taken as the part before.
TEST(ScannerRead, ParsingStopsAtAReadError) {
    source_buf failing("+1 x >= 1 ;\n+1 y >= 1 ;\n", true);
    std::istream in(&failing);
    qarn::solver s;
    qarn::opb::context ctx(s, &in, "t.opb");
    yy::opb_parser parser(ctx);
    EXPECT_THROW(parser.parse(), qarn::read_error);
}

TEST(ScannerRuntime, FatalErrorsNameTheReadersFunctionsAndThrow) {
    const struct {
        const char* runtime;
        const char* reported;
    } cases[] = {
        {"out of dynamic memory in yyensure_buffer_stack()",
         "out of dynamic memory in qarn_opb_ensure_buffer_stack()"},
        {"out of dynamic memory in yy_create_buffer()",
         "out of dynamic memory in qarn_opb__create_buffer()"},
        {"out of dynamic memory in yy_get_next_buffer()",
         "out of dynamic memory in yy_get_next_buffer()"},
        {"yyset_lineno called with no buffer", "qarn_opb_set_lineno called with no buffer"},
        {"fatal error - scanner input buffer overflow", "fatal error - scanner input buffer overflow"},
    };
    std::string name = "f.opb";
    yy::location where(&name, 3, 7);
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const std::string error =
            qarn_test::error_of([&] { qarn::scanner_fatal_error(&where, c.runtime, "qarn_opb_"); });
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("f.opb:3.7:") + c.reported);
        EXPECT_EQ(error, c.reported);
    }
}

// An OPB text parsed from a source_buf: the parser's result, the model's
// constraints, what went to standard error and the number of reads.
struct scanned {
    int status;
    std::string constraints;
    std::string errors;
    int reads;
};

scanned scan(const std::string& text) {
    source_buf source(text);
    std::istream in(&source);
    qarn::solver s;
    qarn::opb::context ctx(s, &in, "t.opb");
    yy::opb_parser parser(ctx);
    testing::internal::CaptureStderr();
    const int status = parser.parse();
    std::ostringstream os;
    os << ctx;
    return {status, os.str(), testing::internal::GetCapturedStderr(), source.reads};
}

// Tokens of a million characters, many times the scanner's first buffer. The
// buffer doubles with the token and every refill reads all of its free space,
// so there are few refills, each moving no more than was read since the
// token began: scanning is linear. (One refill per character, as a scanner
// reading character by character does, makes it quadratic; so do refills of
// a fixed 8 KiB, with more than 120 of them here.)
TEST(OpbScanner, TokensLongerThanTheBufferAreReadInFewRefills) {
    using namespace std::string_literals;
    const std::size_t n = std::size_t(1) << 20;
    const std::string stars(n, '*');
    const std::string name(n, 'x');
    const std::string one_x = "constraint[0]: +1 x>=1;\n";
    const struct {
        const char* what;
        std::string text;
        std::string constraints;
    } cases[] = {
        {"identifier", "+1 " + name + " >= 1 ;", "constraint[0]: +1 " + name + ">=1;\n"},
        {"leading zeros", "+" + std::string(n, '0') + "1 x >= 1 ;", one_x},
        {"blanks", std::string(n, ' ') + "+1 x >= 1 ;", one_x},
        {"line comment", "* " + std::string(n, 'c') + "\n+1 x >= 1 ;", one_x},
        {"block comment", "/* " + std::string(n, 'c') + " */ +1 x >= 1 ;", one_x},
        {"stars in a block comment", "/* " + stars + " */ +1 x >= 1 ;", one_x},
        {"stars closing a block comment", "/*" + stars + "/ +1 x >= 1 ;", one_x},
        {"short comments", "/* a*b **\n*** / * */ * a /* b\n/**/+1 x/***/>= 1 ;", one_x},
        {"NULs in comments", "/* a\0b */ * c\0d\n+1 x >= 1 ;"s, one_x},
    };
    for (const auto& c : cases) {
        const scanned r = scan(c.text);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.errors, "") << c.what;
        EXPECT_TRUE(r.constraints == c.constraints) << c.what;
        EXPECT_LE(r.reads, 40) << c.what;
    }

    // Errors after and inside long runs are placed right: an unclosed block
    // comment of stars (which no rule may rescan from every star) at the
    // text after its "/*", a character after a long comment at its column.
    const struct {
        const char* what;
        std::string text;
        std::string errors;
    } errors[] = {
        {"unclosed comment", "+1 x >= 1 ;\n/* " + stars,
         "t.opb:2.3:syntax error, unexpected ERR, expecting end of file\n"},
        {"after a comment", "/* " + stars + "\n" + stars + " */ #",
         "t.opb:2." + std::to_string(n + 5) +
             ":syntax error, unexpected $undefined, expecting end of file\n"},
    };
    for (const auto& c : errors) {
        const scanned r = scan(c.text);
        EXPECT_NE(r.status, 0) << c.what;
        EXPECT_EQ(r.errors, c.errors) << c.what;
        EXPECT_LE(r.reads, 40) << c.what;
    }
}

}  // namespace scanner_runtime_test
