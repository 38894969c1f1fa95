// Out-of-line construction of std::runtime_error for throw_runtime_error.
#include "impl/support/errors.h"

#include <stdexcept>

namespace qarn {

void throw_runtime_error(const char* message) {
    throw std::runtime_error(message);
}

}  // namespace qarn
