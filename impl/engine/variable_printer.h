// How any part of the engine prints a variable's name: a strategy that knows
// the names, and a printer that pairs a strategy with one variable index.
#pragma once

#include <ostream>

namespace qarn {

class variable_print_strategy {
public:
    virtual ~variable_print_strategy() = default;
    virtual void print(std::ostream& os, unsigned var) const = 0;
};

struct variable_printer {
    const variable_print_strategy* strategy; // may be null
    unsigned variable;
};

inline std::ostream& operator<<(std::ostream& os, const variable_printer& p) {
    if (p.strategy)
        p.strategy->print(os, p.variable);
    else
        os << "NULL_var_printer";
    return os;
}

} // namespace qarn
