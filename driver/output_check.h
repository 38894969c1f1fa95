// Standard output that notices when it cannot be written. A harness reads the
// answer from standard output: a run whose results were lost (a full disk,
// a closed descriptor) must not end with status 0. The buffer forwards to the
// original one and keeps the error of the first write that failed.
#pragma once

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace qarn {

class checked_output_buf : public std::streambuf {
public:
    explicit checked_output_buf(std::streambuf* target) : m_target(target) {}

    // Flushes `out` (which writes through this buffer) and answers whether
    // everything written so far reached the target. The first time it did not,
    // one message goes to standard error.
    bool check(std::ostream& out) {
        out.flush();
        if (m_error == 0 && !out.good())
            m_error = EIO;
        if (m_error != 0 && !m_reported) {
            m_reported = true;
            std::cerr << "qarn: cannot write the results: " << std::strerror(m_error) << std::endl;
        }
        return m_error == 0;
    }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const int_type written = m_target->sputc(traits_type::to_char_type(ch));
        if (traits_type::eq_int_type(written, traits_type::eof()))
            note_error();
        return written;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::streamsize written = m_target->sputn(s, n);
        if (written < n)
            note_error();
        return written;
    }
    int sync() override {
        if (m_target->pubsync() == 0)
            return 0;
        note_error();
        return -1;
    }

private:
    void note_error() {
        if (m_error == 0)
            m_error = errno != 0 ? errno : EIO;
    }

    std::streambuf* m_target;
    int m_error = 0;
    bool m_reported = false;
};

} // namespace qarn
