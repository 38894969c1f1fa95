// Small helpers shared by the engine's unit tests.
#pragma once

#include <exception>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/runtime_views.h"
#include "impl/sets/model.h"

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

// An explicit view holding the given domains, parameter by parameter.
inline qarn::constraint_explicit_info view_of(const std::vector<qarn::iset>& domains) {
    qarn::constraint_explicit_info ri(static_cast<unsigned>(domains.size()));
    for (unsigned p = 0; p < domains.size(); ++p)
        ri.set_domain(p, domains[p]);
    return ri;
}

// The set of the listed values.
inline qarn::iset values(std::initializer_list<int> vs) {
    qarn::iset s;
    for (int v : vs)
        s.insert(qarn::iset::range_type(v, v));
    return s;
}

// The set's text form.
inline std::string text(const qarn::iset& s) {
    std::ostringstream os;
    os << s;
    return os.str();
}

// What the propagator prints, with or without a view.
inline std::string printed(const qarn::constraint_propagator& p,
                           const qarn::constraint_runtime_info* ri) {
    std::ostringstream os;
    p.print(os, ri);
    return os.str();
}

} // namespace qarn_test
