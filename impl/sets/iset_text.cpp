// Unbuffered debugging output of the sets.

#include "impl/sets/iset_text.h"

#include <unistd.h>

#include <cerrno>

namespace qarn::iset_helpers {

namespace {
// Bytes written by the debugging dumps of the sets.
unsigned long g_bytes_shown = 0;
}

void write_to_stdout(const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(1, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        g_bytes_shown += static_cast<unsigned long>(n);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace qarn::iset_helpers
