// The live view: everything forwards to the solver and its assignment stack.
#include "impl/engine/constraint_connectivity_info.h"

#include "impl/engine/solver.h"

namespace qarn {

constraint_connectivity_info::constraint_connectivity_info(solver* owner, unsigned index)
    : m_solver(owner), m_assignment(owner ? &owner->assignment() : nullptr), m_index(index) {
    m_live_view = true;
}

bool constraint_connectivity_info::reduced_between_activations(unsigned param) const {
    return m_solver->assignment().var_modification_time(m_params.at(param)) > m_prev_activation;
}

constraint_runtime_info::queue_type constraint_connectivity_info::originating_queue() const {
    return m_solver->current_queue();
}

void constraint_connectivity_info::put_in_queue(queue_type queue) {
    m_solver->put_in_queue(m_index, queue);
}

const iset& constraint_connectivity_info::domain(unsigned param) const {
    return m_solver->assignment().domain(m_params.at(param));
}

void constraint_connectivity_info::set_domain(unsigned param, iset domain) {
    unsigned var = m_params.at(param);
    const iset& current = m_solver->assignment().domain(var);
    if (same_subset(current, domain))
        return;
    m_changed = true;
    m_solver->set_var_domain(var, std::move(domain), static_cast<int>(m_index));
}

unsigned constraint_connectivity_info::arity() const {
    return static_cast<unsigned>(m_params.size());
}

void constraint_connectivity_info::deallocate_watch(unsigned param, watch_type type,
                                                    watch_handle_t handle) {
    m_solver->deallocate_watch(m_params.at(param), type, handle);
}

watch_handle_t constraint_connectivity_info::allocate_watch(unsigned param, watch_type type) {
    return m_solver->allocate_watch(m_params.at(param), type, m_index);
}

void constraint_connectivity_info::deallocate_value_watch(unsigned param, int value,
                                                          watch_handle_t handle) {
    m_solver->deallocate_value_watch(m_params.at(param), value, handle);
}

watch_handle_t constraint_connectivity_info::allocate_value_watch(unsigned param, int value) {
    return m_solver->allocate_value_watch(m_params.at(param), value, m_index);
}

void constraint_connectivity_info::print(std::ostream& os) const {
    print_prefix(os);
    os << " (";
    for (unsigned p = 0; p < arity(); ++p) {
        if (p)
            os << ',';
        print_param(os, p);
    }
    os << ')';
}

void constraint_connectivity_info::print_prefix(std::ostream& os) const {
    os << "constraint[" << m_index << ']';
}

void constraint_connectivity_info::print_param(std::ostream& os, unsigned param) const {
    if (!m_solver) {
        os << "NULL_var_printer";
        return;
    }
    os << variable_printer{&m_solver->assignment().print_strategy(), m_params.at(param)};
}

void constraint_connectivity_info::finalize_prev_activation(std::uint64_t time) {
    m_prev_activation = time;
    if (!m_changed)
        return;
    for (unsigned var : m_params)
        if (m_solver->assignment().var_modification_time(var) == time)
            m_solver->notify_modification(var, static_cast<int>(m_index));
}

} // namespace qarn
