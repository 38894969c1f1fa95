// Solver construction and model building.
#include "solver.h"

namespace qarn {

solver::solver() = default;

unsigned solver::add_var(iset domain, const char* name, bool register_constant) {
    return m_assignment.add_var(std::move(domain), name, register_constant);
}

unsigned solver::singleton_var(int c) {
    return m_assignment.singleton_var(c);
}

void solver::set_var_domain(unsigned var, iset domain, int cause) {
    if (!m_solving)
        m_assignment.set_var_initial_domain(var, std::move(domain));
    else
        m_assignment.set_var_domain(var, std::move(domain), m_activation_counter, cause);
}

} // namespace qarn
