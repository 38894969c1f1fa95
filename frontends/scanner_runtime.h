// What the generated scanners of the text readers share: input taken from the
// reader's stream one character per read, and fatal scanner conditions that
// report the current location on standard error and end the run through the
// driver's exception report instead of exiting the process.
#pragma once

#include <cstddef>
#include <iostream>
#include <istream>
#include <stdexcept>
#include <string>

namespace qarn {

// Reads one character of `in` into buf; 0 at the end of the input or when
// the stream has failed.
inline std::size_t scanner_read(std::istream* in, char* buf, std::size_t max_size) {
    char c;
    if (max_size == 0 || in == nullptr || !in->get(c))
        return 0;
    buf[0] = c;
    return 1;
}

// The runtime's message with its public function names under the reader's
// prefix ("yyensure_buffer_stack" becomes prefix + "ensure_buffer_stack");
// the internal yy_get_next_buffer keeps its name.
inline std::string scanner_message(const char* message, const char* prefix) {
    std::string text(message);
    for (std::size_t at = text.find("yy"); at != std::string::npos; at = text.find("yy", at + 1)) {
        const bool word_start = at == 0 || text[at - 1] == ' ';
        if (word_start && text.compare(at, 18, "yy_get_next_buffer") != 0)
            text.replace(at, 2, prefix);
    }
    return text;
}

// Writes the location (when known), ":" and the message on standard error
// and throws std::runtime_error with the message.
template <class Location>
[[noreturn]] void scanner_fatal_error(const Location* where, const char* message,
                                      const char* prefix) {
    const std::string text = scanner_message(message, prefix);
    if (where != nullptr)
        std::cerr << *where;
    std::cerr << ':' << text << std::flush;
    throw std::runtime_error(text);
}

} // namespace qarn
