// The learned constraint's node bookkeeping and its runtime view.
#include "learned_type.h"

namespace qarn {

learned_type::learned_type(const assignment_stack& stack, const solver& owner)
    : m_stack(&stack),
      m_solver(&owner),
      m_variable_to_node(stack.var_count(), 0xFFFFFFFFu),
      m_current_level(stack.level_count()) {}

unsigned learned_type::latest_node_index(unsigned excluded) const {
    const unsigned none = 0xFFFFFFFFu;
    unsigned best = none;
    unsigned best_entry = none;
    for (unsigned k = 0; k < m_nodes.size(); ++k) {
        if (k == excluded)
            continue;
        unsigned e = m_nodes[k].m_modification;
        if (e == none) {
            if (best == none)
                best = k;
            continue;
        }
        if (best_entry == none || e > best_entry) {
            best = k;
            best_entry = e;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------
// The view of the nodes

bool learned_type::info_type::reduced_between_activations(unsigned param) const {
    if (!m_reduction_tracking)
        return true;
    return param < m_overridden.size() && m_overridden[param];
}

constraint_runtime_info::queue_type learned_type::info_type::originating_queue() const {
    return VARIABLE_QUEUE;
}

void learned_type::info_type::put_in_queue(queue_type) {}

unsigned learned_type::info_type::variable(unsigned param) const {
    return m_learned->m_nodes.at(param).m_variable;
}

const iset& learned_type::info_type::domain(unsigned param) const {
    if (param < m_overridden.size() && m_overridden[param])
        return m_overriding[param];
    const implication_node& node = m_learned->m_nodes.at(param);
    const assignment_stack& stack = *m_learned->m_stack;
    unsigned e = node.m_modification;
    if (e == NO_PREVIOUS_MODIFICATION)
        return stack.var_domain_after_modification(node.m_variable, NO_PREVIOUS_MODIFICATION);
    if (m_time != 0xFFFFFFFFu && m_time >= e)
        return stack.var_domain_after_modification(node.m_variable, e);
    return stack.var_domain_after_modification(node.m_variable, m_time);
}

void learned_type::info_type::set_domain(unsigned param, iset domain) {
    const iset& current = this->domain(param);
    if (current.size() == domain.size() && current.empty() == domain.empty())
        return;
    if (m_overridden.size() < arity()) {
        m_overridden.resize(arity(), false);
        m_overriding.resize(arity());
    }
    m_overriding.at(param) = std::move(domain);
    m_overridden[param] = true;
}

unsigned learned_type::info_type::arity() const {
    return static_cast<unsigned>(m_learned->m_nodes.size());
}

void learned_type::info_type::deallocate_watch(unsigned, watch_type, watch_handle_t handle) {
    m_watches.deallocate(handle);
}

watch_handle_t learned_type::info_type::allocate_watch(unsigned, watch_type) {
    return m_watches.allocate();
}

void learned_type::info_type::deallocate_value_watch(unsigned, int, watch_handle_t handle) {
    m_watches.deallocate(handle);
}

watch_handle_t learned_type::info_type::allocate_value_watch(unsigned, int) {
    return m_watches.allocate();
}

unsigned learned_type::info_type::latest_modified_param(unsigned param) const {
    if (!m_latest_tracking)
        return 0xFFFFFFFFu;
    return m_learned->latest_node_index(param);
}

unsigned learned_type::info_type::effort() const {
    return m_effort;
}

void learned_type::info_type::print(std::ostream& os) const {
    print_params(os, ", ");
}

void learned_type::info_type::print_param(std::ostream& os, unsigned param) const {
    m_learned->m_stack->print_var_name(os, variable(param));
}

} // namespace qarn
