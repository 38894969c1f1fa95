// Solver construction and model building.
#include "solver.h"

#include <stdexcept>

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

void solver::size_watch_lists() {
    m_var_watchers.resize(m_assignment.var_count());
    m_value_watchers.resize(m_assignment.var_count());
}

watch_handle_t solver::allocate_watch(unsigned var, watch_type type, unsigned constraint) {
    return m_var_watchers.at(var).allocate_watch(type, constraint);
}

void solver::deallocate_watch(unsigned var, watch_type type, watch_handle_t handle) {
    m_var_watchers.at(var).deallocate_watch(type, handle);
}

watch_handle_t solver::allocate_value_watch(unsigned var, int value, unsigned constraint) {
    return m_value_watchers.at(var).allocate_watch(value, constraint);
}

void solver::deallocate_value_watch(unsigned var, int value, watch_handle_t handle) {
    m_value_watchers.at(var).deallocate_watch(value, handle);
}

// The queues come with the propagation loop; until then a request fails loudly.
void solver::put_in_queue(unsigned, constraint_runtime_info::queue_type) {
    throw std::logic_error("solver::put_in_queue: the constraint queue is not available");
}

void solver::notify_modification(unsigned, int) {
    throw std::logic_error("solver::notify_modification: the event queue is not available");
}

} // namespace qarn
