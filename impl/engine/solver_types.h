// Types shared by the solver and its parts.
#pragma once

namespace qarn {

// The "none" of each unsigned index space, and the other sentinels the
// engine passes through unsigned values. All ones is never a valid index.
constexpr unsigned NO_PARAM = 0xFFFFFFFFu;        // no parameter of a constraint
constexpr unsigned ANY_PARAM_COUNT = 0xFFFFFFFFu; // count_params(): any number of parameters
constexpr unsigned NO_VARIABLE = 0xFFFFFFFFu;     // no solver variable
constexpr unsigned NO_ENTRY = 0xFFFFFFFFu;        // no trail entry: before every change
constexpr unsigned AFTER_LAST_ENTRY = 0xFFFFFFFEu; // after every trail entry (none gets there)
constexpr unsigned NO_NODE = 0xFFFFFFFFu;         // no node of a learned constraint
constexpr unsigned NO_LEVEL = 0xFFFFFFFFu;        // no decision level

struct solver_types {
    // A word of label bits attached to a variable or a constraint.
    typedef unsigned label_type;
};

} // namespace qarn
