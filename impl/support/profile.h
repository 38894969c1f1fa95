// Profiling counters driven by SIGPROF. The first profile_data starts a
// 10 ms ITIMER_PROF interval timer whose handler counts ticks process-wide
// (and chains to any previous handler); a sample adds the ticks that passed
// during its lifetime to its profile_data. Destruction prints the totals.
#pragma once

#include <csignal>
#include <atomic>

namespace qarn {

class profile_data {
public:
    explicit profile_data(const char* name);
    ~profile_data();
    profile_data(const profile_data&) = delete;
    profile_data& operator=(const profile_data&) = delete;

    // Counts one call and the ticks elapsed between construction and destruction.
    class sample {
    public:
        explicit sample(profile_data& data)
            : m_data(data), m_start(m_global_clock_ticks.load(std::memory_order_relaxed)) {}
        ~sample() {
            m_data.m_ticks += m_global_clock_ticks.load(std::memory_order_relaxed) - m_start;
            ++m_data.m_calls;
        }
        sample(const sample&) = delete;
        sample& operator=(const sample&) = delete;

    private:
        profile_data& m_data;
        unsigned m_start;
    };

    // Installs the SIGPROF handler and starts the interval timer, once per process.
    static void activate_clock();
    static void Impl_sigprof_handler(int signal, siginfo_t* info, void* context);

    unsigned ticks() const { return m_ticks; }
    unsigned calls() const { return m_calls; }

private:
    char* m_name;
    unsigned m_ticks;
    unsigned m_calls;

    // Lock-free, so the signal handler may increment it.
    static std::atomic<unsigned> m_global_clock_ticks;
    static bool m_clock_active;
    static struct sigaction m_previous_action;
};

}  // namespace qarn
