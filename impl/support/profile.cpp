// SIGPROF tick counting for qarn::profile_data. Ticks are 10 ms of process
// CPU time; the report converts them to seconds.
#include "impl/support/profile.h"

#include <sys/time.h>

#include <cstring>
#include <iostream>

#include "impl/support/ios_state_restore.h"

namespace qarn {

static_assert(std::atomic<unsigned>::is_always_lock_free, "the SIGPROF handler needs a lock-free counter");

std::atomic<unsigned> profile_data::m_global_clock_ticks{0};
bool profile_data::m_clock_active = false;
struct sigaction profile_data::m_previous_action;

profile_data::profile_data(const char* name) : m_name(nullptr), m_ticks(0), m_calls(0) {
    activate_clock();
    const std::size_t length = std::strlen(name);
    m_name = new char[length + 1];
    std::memcpy(m_name, name, length + 1);
}

profile_data::~profile_data() {
    std::cout.precision(5);  // the report leaves this precision behind
    {
        ios_state_restore guard(std::cout);
        std::cout << "At " << m_name << " total time " << m_ticks / 100.0 << " total calls "
                  << m_calls << '\n';
    }
    delete[] m_name;
}

void profile_data::activate_clock() {
    if (m_clock_active)
        return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = &Impl_sigprof_handler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPROF, &action, &m_previous_action);

    itimerval interval;
    interval.it_value.tv_sec = 0;
    interval.it_value.tv_usec = 10000;
    interval.it_interval = interval.it_value;
    setitimer(ITIMER_PROF, &interval, nullptr);
    m_clock_active = true;
}

void profile_data::Impl_sigprof_handler(int signal, siginfo_t* info, void* context) {
    m_global_clock_ticks.fetch_add(1, std::memory_order_relaxed);
    if (m_previous_action.sa_flags & SA_SIGINFO) {
        if (m_previous_action.sa_sigaction)
            m_previous_action.sa_sigaction(signal, info, context);
    } else if (m_previous_action.sa_handler != SIG_DFL && m_previous_action.sa_handler != SIG_IGN) {
        m_previous_action.sa_handler(signal);
    }
}

}  // namespace qarn
