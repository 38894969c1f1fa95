// The exception by which a reader reports that the system failed to deliver
// the instance's text (a read error, as opposed to the end of the input).
// The driver catches it, reports the file as unreadable, does not solve it
// and goes on with the next file.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

namespace qarn {

class read_error : public std::runtime_error {
public:
    // `error` is the errno value of the failure; what() is
    // "cannot read: " and its description.
    explicit read_error(int error)
        : std::runtime_error(std::string("cannot read: ") + std::strerror(error)), m_error(error) {}

    int error() const { return m_error; }

private:
    int m_error;
};

} // namespace qarn
