// The solver object of a FlatZinc instance: the engine plus the parser
// context the instance is read into, which prints solutions in FlatZinc form
// and evaluates the objective. Every line the engine writes during a search
// is a FlatZinc comment ("%" prefixes).
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "driver/flags.h"
#include "frontends/common/parser_context.h"
#include "impl/engine/solver.h"
#include "impl/propagators/table_propagator.h"

namespace qarn {

class fzn_solver : public solver {
public:
    // Registers the constraint kinds, applies the options, reads the whole
    // instance and builds the model. Throws std::runtime_error
    // "<name>: Parsing failed" when the instance cannot be read.
    fzn_solver(std::istream& input, const std::string& name, const qarn_flags& options,
               table_propagator_base::memory_manager& tables);

    // Runs the search and prints the statistics and the result in FlatZinc
    // form.
    void solve_and_print(std::ostream& out);

    void print_solution(std::ostream& os) const override;
    // The variables of the output_var and output_array symbols: an
    // all-solutions run lists each solution once, distinct in what it prints.
    std::vector<unsigned> shown_vars() const override;
    int evaluate_objective() const override;

    void register_constraint_types();
    const parser_context& context() const { return m_context; }

private:
    // "=====UNKNOWN=====" after a search cut short that printed no solution.
    void unknown_unless_solved(std::ostream& out) const;

    parser_context m_context;
    mutable unsigned m_solutions_printed = 0;
};

} // namespace qarn
