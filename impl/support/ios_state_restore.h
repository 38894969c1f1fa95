// Guard that puts a stream's formatting back as it found it: format flags,
// fill character, precision and stream state are restored on destruction.
#pragma once

#include <ios>

namespace qarn {

class ios_state_restore {
public:
    explicit ios_state_restore(std::basic_ios<char>& stream)
        : m_stream(stream),
          m_flags(stream.flags()),
          m_state(stream.rdstate()),
          m_fill(stream.fill()),
          m_precision(stream.precision()) {}
    ~ios_state_restore() {
        m_stream.flags(m_flags);
        m_stream.fill(m_fill);
        m_stream.precision(m_precision);
        m_stream.clear(m_state);
    }
    ios_state_restore(const ios_state_restore&) = delete;
    ios_state_restore& operator=(const ios_state_restore&) = delete;

private:
    std::basic_ios<char>& m_stream;
    std::ios::fmtflags m_flags;
    std::ios::iostate m_state;
    char m_fill;
    std::streamsize m_precision;
};

} // namespace qarn
