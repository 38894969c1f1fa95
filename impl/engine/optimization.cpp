// Two loops over the search: optimisation of the objective variable (find a
// solution, then repeatedly cut away every value that is not better and
// search again) and the enumeration of all solutions (print one, forbid it
// with a clause, search again).
#include <iostream>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/timer.h"

namespace qarn {

solver::result_type solver::optimize() {
    if (!m_quiet)
        std::cout << m_comment_prefix << " ==== Solving SAT problem at first ====" << std::endl;
    timer t;
    result_type r = solve_current_constraints(true);
    advance_iteration_time(t);
    if (r != SAT) {
        if (r == UNSAT)
            manage_unsat();
        m_assignment.clear();
        return r;
    }
    std::cout << m_status_prefix << " SATISFIABLE\n";
    while (improve_solution(t, r)) {
    }
    // SAT here means that no better value was left to try.
    m_optimum_proven = r == SAT || r == UNSAT;
    if (r == UNSAT) {
        // The last search's refutation rests on the objective bound and on
        // constraints learned in earlier rounds, whose derivations belong to
        // earlier records: it is no proof from the model alone.
        report_no_proof("the optimisation loop records none");
        std::cout << m_comment_prefix << " ==== went past best value ====" << std::endl;
        std::cout << m_status_prefix << " OPTIMUM FOUND\n";
    } else if (r != SAT) {
        std::cout << m_comment_prefix << " ==== run did not succeed, can't guarantee optimality "
                  << "====" << std::endl;
    }
    if (r != SAT)
        m_assignment.clear();
    restore_best_solution();
    if (m_quiet)
        print_solution(std::cout);
    return OPTIMAL;
}

bool solver::improve_solution(timer& t, result_type& r) {
    save_solution_as_best();
    m_assignment.clear();
    const unsigned objective = static_cast<unsigned>(m_objective_var);
    iset better(m_assignment.domain(objective));
    if (m_minimize)
        better.erase({m_best_value, MAX_DOMAIN});
    else
        better.erase({MIN_DOMAIN, m_best_value});
    if (better.empty()) {
        // Every value left is no better: the best one found is optimal.
        std::cout << m_comment_prefix << " ==== no more values to try ====" << std::endl;
        std::cout << m_status_prefix << " OPTIMUM FOUND\n";
        r = SAT;
        return false;
    }
    const int bound = m_minimize ? better.min() : better.max();
    set_var_domain(objective, std::move(better), -1);
    if (!m_quiet) {
        const char* side = m_minimize ? " below " : " above ";
        std::cout << m_comment_prefix << " ==== trying to " << (m_minimize ? "minimize " : "maximize ");
        m_assignment.print_var_name(std::cout, objective);
        std::cout << side << m_best_value << ", but not" << side << bound << " ==" << std::endl;
    }
    r = solve_current_constraints(false);
    advance_iteration_time(t);
    return r == SAT;
}

void solver::save_solution_as_best() {
    m_best_value = evaluate_objective();
    if (!m_quiet) {
        std::cout << m_comment_prefix << " best result so far:\n";
        std::cout << m_objective_prefix << ' ' << m_best_value << std::endl;
        print_solution(std::cout);
    }
    m_best_solution.resize(var_count());
    for (unsigned v = 0; v < var_count(); ++v)
        m_best_solution[v] = m_assignment.domain(v).min();
}

void solver::restore_best_solution() {
    for (unsigned v = 0; v < m_best_solution.size() && v < var_count(); ++v)
        set_var_domain(v, iset(m_best_solution[v], m_best_solution[v]), -1);
    if (m_objective_var >= 0)
        set_var_domain(static_cast<unsigned>(m_objective_var), iset(m_best_value, m_best_value),
                       -1);
}

void solver::advance_iteration_time(timer& t) {
    timer now;
    if (!m_quiet) {
        std::cout << m_comment_prefix << " === iteration time ";
        now.print_cpu_diff(std::cout, t);
        std::cout << std::endl;
    }
    t = now;
}

solver::result_type solver::enumerate_solutions() {
    // Solutions differ in the variables a solution shows; blocking on
    // auxiliary variables too would print one visible solution many times.
    const std::vector<unsigned> shown = shown_vars();
    *m_out << "\n";
    result_type r;
    do {
        print_solution(*m_out);
        auto blocking = std::make_unique<clause_propagator>();
        std::vector<iset>& literals = blocking->update_literals();
        literals.reserve(shown.size());
        for (unsigned v : shown) {
            iset other(m_assignment.domain(v));
            other.complement();
            literals.push_back(std::move(other));
        }
        constraint_connectivity_info& record = add_constraint(std::move(blocking));
        for (unsigned v : shown)
            record << v;
        m_assignment.clear();
        r = solve_current_constraints(false);
    } while (r == SAT);
    m_assignment.clear();
    // Only an exhausted enumeration is complete; a run cut short says why.
    return r == UNSAT ? SAT_DONE : r;
}

} // namespace qarn
