// Types shared by the solver and its parts.
#pragma once

namespace qarn {

struct solver_types {
    // A word of label bits attached to a variable or a constraint.
    typedef unsigned label_type;
};

} // namespace qarn
