// Set literals and clauses as plain records.
//
// A literal says "variable `variable` takes a value in `values`"; an empty set
// never holds. A clause is a disjunction of literals in insertion order; it may
// hold several literals on one variable and empty literals until
// canonicalize(), after which variable indices strictly increase, no literal
// is empty and every set is compacted. Single-literal allocations come from
// the process-wide pool, so the many one-literal pushes avoid the heap.
#pragma once

#include <ostream>
#include <utility>
#include <vector>

#include "impl/engine/variable_printer.h"
#include "impl/sets/model.h"
#include "impl/support/pool_alloc.h"

namespace qarn {

struct literal_data {
    unsigned variable = 0;
    iset values;

    literal_data() = default;
    literal_data(unsigned var, iset set) : variable(var), values(std::move(set)) {}

    // The right-hand side: "=v" for a singleton, ":{}" when empty, "<=hi" or
    // ">=lo" for one range touching a domain limit, "!=v" when v is the one
    // value missing, otherwise ":{set}".
    static void print_right_hand_side(std::ostream& os, const iset& values);
    // The variable's name, then the right-hand side.
    static void print(std::ostream& os, const variable_printer& variable, const iset& values);
};

class clause_data : public std::vector<literal_data, pool_alloc<literal_data>> {
public:
    typedef std::vector<literal_data, pool_alloc<literal_data>> base_type;
    using base_type::base_type;

    // "[" literals separated by ", " "]".
    void print(std::ostream& os, const variable_print_strategy& strategy) const;
    // By variable index, ascending; literals on one variable in no fixed order.
    void sort();
    // Merges the literals of each variable into one, drops empty literals and
    // compacts the sets that remain.
    void canonicalize();
    // Both clauses have the same canonical form.
    bool equivalent(const clause_data& other) const;
};

} // namespace qarn
