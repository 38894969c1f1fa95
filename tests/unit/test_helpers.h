// Small helpers shared by the engine's unit tests.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "model.h"

namespace qarn_test {

// Equal as sets of values, whatever the representation.
inline bool same(const qarn::iset& a, const qarn::iset& b) {
    return qarn::iset::same_elements(a, b);
}

// The message of the exception f throws, or "<no error>".
inline std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace qarn_test
