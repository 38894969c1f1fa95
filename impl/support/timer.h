// User-CPU-time stopwatch. A timer records the process's user CPU time (in
// microseconds) when it is constructed; copying copies that start time.
// Differences between two timers print as [H:][MM:]SS.mmm, rounded to the
// nearest millisecond, leaving the stream's formatting as it was.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace qarn {

// getrusage(RUSAGE_SELF) user time in microseconds; clock() if that fails.
std::uint64_t user_time_microseconds();

class timer {
public:
    class impl {
    public:
        explicit impl(std::uint64_t start) : m_start(start) {}

        // Writes the time from earlier's start to this start.
        void print_cpu_diff(std::ostream& os, const impl& earlier) const;
        // Writes end - start (microseconds) as [H:][MM:]SS.mmm.
        static void print_diff(std::ostream& os, std::uint64_t start, std::uint64_t end);

        std::uint64_t m_start;
    };

    timer() { construct(); }
    timer(const timer& other);
    timer& operator=(const timer& other);
    ~timer();

    // The CPU time from earlier's start to this timer's start.
    std::string cpu_diff_str(const timer& earlier) const;
    void print_cpu_diff(std::ostream& os, const timer& earlier) const;

private:
    void construct();

    impl* m_impl;
};

}  // namespace qarn
