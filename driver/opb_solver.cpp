#include "driver/opb_solver.h"

#include <iostream>
#include <stdexcept>

#include "opb_parser.hh"

opb_solver::opb_solver(std::istream& input, const std::string& name,
                       const qarn::qarn_flags& options, qarn::table_propagator_base::memory_manager&)
    : m_context(*this, &input, name) {
    yy::opb_parser parser(m_context);
    options.apply(*this);
    if (m_context.trace_parsing())
        parser.set_debug_level(1);
    parser.set_debug_stream(std::cout);
    if (parser.parse() != 0)
        throw std::runtime_error(name + ": Parsing failed");
    if (!m_context.build_solver()) {
        // A contradictory model: an empty domain makes the search answer
        // UNSAT at once.
        set_var_domain(0, qarn::iset(), -1);
    }
    // The OPB variables come first; solutions differ only in them, so the
    // all-solutions run blocks, and prints, only those.
    m_vars_to_print = static_cast<int>(m_context.variable_count());
}

void opb_solver::print_solution(std::ostream& os) const {
    m_context.print_solution(os);
}

int opb_solver::evaluate_objective() const {
    return m_context.evaluate_objective();
}
