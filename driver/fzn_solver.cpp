#include "driver/fzn_solver.h"

#include <iostream>
#include <stdexcept>

#include "frontends/flatzinc/fzn_constraints.h"
#include "frontends/flatzinc/fzn_reader.h"

namespace qarn {

fzn_solver::fzn_solver(std::istream& input, const std::string& name, const qarn_flags& options,
                       table_propagator_base::memory_manager& tables)
    : m_context(*this, fzn_scanner_methods::get(), tables, &input, name) {
    m_comment_prefix = "%";
    m_status_prefix = "% s";
    m_objective_prefix = "% previous objective";
    m_context.builder().detect_all_different(options.m_all_different != 0);
    register_constraint_types();
    options.apply(*this);
    if (parse_fzn(m_context, std::cout) != 0 || !m_context.create_constraints(std::cout))
        throw std::runtime_error(name + ": Parsing failed");
}

void fzn_solver::register_constraint_types() {
    fzn_constraint::register_all(m_context.constraint_types());
}

void fzn_solver::solve_and_print(std::ostream& out) {
    m_solutions_printed = 0;
    out << "% Solving " << std::flush;
    const result_type result = solve(&out);
    out << "% " << m_backtracks_solve << " backtracks";
    if (m_restarts != 0)
        out << " " << m_restarts << " restarts";
    out << "\n";
    out << "% " << m_combinations << " non-fallback combines "
        << "out of " << m_resolutions << " total\n";
    out << "% learned " << m_non_fallback_analyses << " non-fallback constraints\n";
    switch (result) {
    case SAT:
        print_solution(out);
        break;
    case UNSAT:
        out << "=====UNSATISFIABLE=====\n";
        break;
    case BACKTRACK_LIMIT:
        out << "% Too many backtracks\n";
        unknown_unless_solved(out);
        break;
    case TIMEOUT:
        out << "% Timeout\n";
        unknown_unless_solved(out);
        break;
    case MEMOUT:
        out << "% Out of memory\n";
        unknown_unless_solved(out);
        break;
    case SAT_DONE:
        // Every solution was printed during the search.
        out << "==========\n";
        break;
    case OPTIMAL:
        // The best solution was printed during the search; it is the
        // optimum only when the search proved it.
        if (optimum_proven())
            out << "==========\n";
        break;
    }
    out << "% ASSIGNMENTS " << m_decisions << "\n";
}

void fzn_solver::unknown_unless_solved(std::ostream& out) const {
    // An all-solutions run cut short has printed its solutions: the answer
    // is not unknown then, only incomplete.
    if (m_solutions_printed == 0)
        out << "=====UNKNOWN=====\n";
}

void fzn_solver::print_solution(std::ostream& os) const {
    ++m_solutions_printed;
    m_context.print_solution(os);
    os << "----------" << std::endl;
}

std::vector<unsigned> fzn_solver::shown_vars() const {
    return m_context.shown_vars();
}

int fzn_solver::evaluate_objective() const {
    return m_context.evaluate_objective();
}

} // namespace qarn
