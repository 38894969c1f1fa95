// Small helpers shared by the engine's unit tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/sets/model.h"

namespace qarn_test {

// The propagation results under short names, for tables of expected results.
inline constexpr qarn::propagation_types::result_type UNSAT = qarn::propagation_types::UNSAT;
inline constexpr qarn::propagation_types::result_type VALID = qarn::propagation_types::VALID;
inline constexpr qarn::propagation_types::result_type CONSISTENT =
    qarn::propagation_types::CONSISTENT;

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

// The set written in its text form.
inline qarn::iset S(const char* text) {
    return qarn::iset(std::string(text));
}

// The set's text form.
inline std::string text(const qarn::iset& s) {
    std::ostringstream os;
    os << s;
    return os.str();
}

// Domains as "{d0}{d1}...".
inline std::string text(const std::vector<qarn::iset>& domains) {
    std::ostringstream os;
    for (const qarn::iset& d : domains)
        os << '{' << d << '}';
    return os.str();
}

// What the propagator prints, with or without a view.
inline std::string printed(const qarn::constraint_propagator& p,
                           const qarn::constraint_runtime_info* ri) {
    std::ostringstream os;
    p.print(os, ri);
    return os.str();
}

// Posts the clause "some variable vars[i] lies in sets[i]".
inline void post_clause(qarn::solver& s, const std::vector<unsigned>& vars,
                        const std::vector<qarn::iset>& sets) {
    auto clause = std::make_unique<qarn::clause_propagator>();
    clause->update_literals() = sets;
    qarn::constraint_connectivity_info& record = s.add_constraint(std::move(clause));
    for (unsigned v : vars)
        record << v;
}

// The values of the "v " lines of an all-solutions run; a repeated line fails
// the test.
inline std::set<std::vector<int>> printed_solution_set(const std::string& text) {
    std::set<std::vector<int>> solutions;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("v ", 0) != 0)
            continue;
        std::istringstream values(line.substr(2));
        std::vector<int> a;
        for (int x; values >> x;)
            a.push_back(x);
        EXPECT_TRUE(solutions.insert(a).second) << "repeated " << line;
    }
    return solutions;
}

} // namespace qarn_test
