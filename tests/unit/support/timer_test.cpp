// Tests of the CPU-time text form, of stream-state preservation while
// printing it, of timer copies, and of the trace switch's fixed answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "impl/support/timer.h"
#include "impl/support/trace.h"

namespace timer_test {

std::string format(std::uint64_t start, std::uint64_t end) {
    std::ostringstream os;
    qarn::timer::impl::print_diff(os, start, end);
    return os.str();
}

TEST(TimerFormat, Table) {
    struct Case {
        std::uint64_t start, end;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "0.000"},
        {0, 499, "0.000"},
        {0, 500, "0.001"},
        {0, 1500, "0.002"},
        {0, 999499, "0.999"},
        {0, 999500, "1.000"},
        {0, 5200000, "5.200"},
        {0, 12034000, "12.034"},
        {0, 59999499, "59.999"},
        {0, 59999500, "1:00.000"},
        {0, 61005000, "1:01.005"},
        {0, 65200000, "1:05.200"},
        {0, 600000000, "10:00.000"},
        {0, 3599999500, "1:00:00.000"},
        {0, 3665200000, "1:01:05.200"},
        {0, 36000000000, "10:00:00.000"},
        {1000000, 1000499, "0.000"},
        {123456789, 123456789 + 65200000, "1:05.200"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(format(c.start, c.end), c.text) << c.start << ".." << c.end;
}

TEST(TimerFormat, LeavesStreamFormattingAsItWas) {
    std::ostringstream os;
    os.fill('*');
    os.precision(3);
    os.setf(std::ios::hex, std::ios::basefield);
    os.setf(std::ios::left, std::ios::adjustfield);
    os.setf(std::ios::showpos);
    const auto flags = os.flags();
    qarn::timer::impl::print_diff(os, 0, 3665200000);
    EXPECT_EQ(os.str(), "1:01:05.200");
    EXPECT_EQ(os.fill(), '*');
    EXPECT_EQ(os.precision(), 3);
    EXPECT_EQ(os.flags(), flags);
    os << 10;
    EXPECT_EQ(os.str(), "1:01:05.200a");
}

TEST(Timer, CopiesShareTheStartTime) {
    qarn::timer first;
    const qarn::timer copy(first);
    EXPECT_EQ(copy.cpu_diff_str(first), "0.000");
    qarn::timer later;
    later = first;
    EXPECT_EQ(later.cpu_diff_str(copy), "0.000");
    std::ostringstream os;
    later.print_cpu_diff(os, first);
    EXPECT_EQ(os.str(), "0.000");
}

TEST(Trace, KeepsItsFirstAnswer) {
    const bool first = qarn::trace_active();
    if (first)
        unsetenv("ACTIVATE_QARN_TRACE");
    else
        setenv("ACTIVATE_QARN_TRACE", "", 1);
    EXPECT_EQ(qarn::trace_active(), first);
    if (first)
        setenv("ACTIVATE_QARN_TRACE", "1", 1);
    else
        unsetenv("ACTIVATE_QARN_TRACE");
}

}  // namespace timer_test
