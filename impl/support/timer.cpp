// qarn::timer: start times of user CPU time and their difference in text.
// print_diff rounds to whole milliseconds first, so a carry propagates into
// seconds, minutes and hours; only the leading field is unpadded.
#include "impl/support/timer.h"

#include <sys/resource.h>

#include <ctime>
#include <ostream>
#include <sstream>

#include "impl/support/ios_state_restore.h"

namespace qarn {

std::uint64_t user_time_microseconds() {
    rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return static_cast<std::uint64_t>(std::clock());
    return static_cast<std::uint64_t>(usage.ru_utime.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(usage.ru_utime.tv_usec);
}

void timer::impl::print_cpu_diff(std::ostream& os, const impl& earlier) const {
    print_diff(os, earlier.m_start, m_start);
}

void timer::impl::print_diff(std::ostream& os, std::uint64_t start, std::uint64_t end) {
    const unsigned ms = static_cast<unsigned>((end - start + 500) / 1000);
    const unsigned hours = ms / 3600000;
    const unsigned minutes = ms / 60000 - 60 * hours;
    const unsigned seconds = ms / 1000 - 60 * (ms / 60000);
    const unsigned millis = ms - 1000 * (ms / 1000);

    ios_state_restore guard(os);
    os.fill('0');
    os.width(0);
    // Plain decimal, right-aligned, whatever the caller left set.
    os.setf(std::ios::dec, std::ios::basefield);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.unsetf(std::ios::showpos);
    if (hours > 0) {
        os << hours << ':';
        os.width(2);
    }
    if (hours > 0 || minutes > 0) {
        os << minutes << ':';
        os.width(2);
    }
    os << seconds << '.';
    os.width(3);
    os << millis;
}

timer::timer(const timer& other) : m_impl(new impl(*other.m_impl)) {}

timer& timer::operator=(const timer& other) {
    m_impl->m_start = other.m_impl->m_start;
    return *this;
}

timer::~timer() {
    delete m_impl;
}

void timer::construct() {
    m_impl = new impl(user_time_microseconds());
}

std::string timer::cpu_diff_str(const timer& earlier) const {
    std::ostringstream os;
    print_cpu_diff(os, earlier);
    return os.str();
}

void timer::print_cpu_diff(std::ostream& os, const timer& earlier) const {
    m_impl->print_cpu_diff(os, *earlier.m_impl);
}

}  // namespace qarn
