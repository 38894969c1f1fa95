// What the generated scanners of the text readers share: input taken from the
// reader's stream in chunks as large as the scanner's buffer allows, read
// errors told apart from the end of the input, and fatal scanner conditions
// that report the current location on standard error and end the run through
// the driver's exception report instead of exiting the process.
//
// A scanner includes this header in its %top block, before flex's own
// definitions, and defines YY_INPUT with scanner_read.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <iostream>
#include <istream>
#include <stdexcept>
#include <string>

#include "frontends/common/read_error.h"

// Flex moves the partial token to the start of its buffer before every
// refill and doubles the buffer when the token fills it. With refills as
// large as the free space (no cap of flex's default 8 KiB), every move is
// followed by a read of about as many characters as were moved, so scanning
// stays linear in the input however long a token is.
#ifndef YY_READ_BUF_SIZE
#define YY_READ_BUF_SIZE 0x40000000
#endif

namespace qarn {

// Reads up to max_size characters of `in` into buf and returns how many; 0
// at the end of the input. Reading ahead of the tokens is harmless: every
// instance has a stream of its own, read to its end. Throws read_error when
// the system fails to deliver the text, so that a failure is never taken for
// the end of the input: a stream gone bad (a file stream whose read(2)
// failed), or, for standard input read through C stdio (std::cin
// synchronised with stdio does not pass failures on to the stream), stdin's
// error indicator.
inline std::size_t scanner_read(std::istream* in, char* buf, std::size_t max_size) {
    if (max_size == 0 || in == nullptr)
        return 0;
    errno = 0;
    in->read(buf, static_cast<std::streamsize>(max_size));
    const int error = errno;
    const std::size_t count = static_cast<std::size_t>(in->gcount());
    const bool failed =
        in->bad() ||
        (count < max_size && in->rdbuf() == std::cin.rdbuf() && std::ferror(stdin) != 0);
    if (failed)
        throw read_error(error != 0 ? error : EIO);
    return count;
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
