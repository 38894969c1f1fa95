#include "test-impl/test_check.h"

#include <stdexcept>

namespace qarn {

std::string test_check_message(const test_check_site& site, const char* signature) {
    std::string message(site.source);
    message += ':';
    message += std::to_string(site.line);
    message += ": test_check(";
    message += site.expression;
    message += ") failed.\nAt ";
    message += signature;
    return message;
}

void test_check_failed(const test_check_site& site, const char* signature) {
    throw std::runtime_error(test_check_message(site, signature));
}

} // namespace qarn
