// The exception by which a reader or the model builder reports a construct
// the solver cannot express. The driver catches it, reports the instance as
// unsupported and goes on with the next file.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace qarn {

class unsupported : public std::exception {
public:
    explicit unsupported(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

} // namespace qarn
