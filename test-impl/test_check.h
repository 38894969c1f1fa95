// Failed self-checks. A check names its site by constants (the source it
// belongs to, a fixed line number and the expression as the message spells
// it), so a message stays the same however the code around the check moves.
// A failed check throws std::runtime_error with
//   "<source>:<line>: test_check(<expression>) failed.\nAt <signature>"
// where the signature is the checking function's as the compiler spells it.
#pragma once

#include <string>

namespace qarn {

struct test_check_site {
    const char* source;
    unsigned line;
    const char* expression;
};

std::string test_check_message(const test_check_site& site, const char* signature);

[[noreturn]] void test_check_failed(const test_check_site& site, const char* signature);

} // namespace qarn

#define QARN_TEST_CHECK(site, condition)                                  \
    do {                                                                  \
        if (!(condition))                                                 \
            ::qarn::test_check_failed((site), __PRETTY_FUNCTION__);       \
    } while (0)
