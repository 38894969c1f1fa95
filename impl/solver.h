// The engine object of one problem instance. Front-ends build a model through
// it (variables with set domains; constraints come with the propagation
// framework), the driver sets its options, and the search runs inside it.
//
// Members, by group:
//   model building   add_var, singleton_var, set_var_domain
//   variable choice  choose_free_variable (variable_choice.cpp)
//   watches          per-variable event and value watch lists
//   queues           put_in_queue, notify_modification (the propagation loop)
//   state            the assignment stack with domains, trail and costs
#pragma once

#include <cstdint>
#include <vector>

#include "assignment_stack.h"
#include "constraint_runtime_info.h"
#include "model.h"
#include "no_copy.h"
#include "solver_types.h"
#include "watch_types.h"
#include "watches.h"

namespace qarn {

class solver : public solver_types, public no_copy, public watch_types {
public:
    solver();

    // ---- Model building
    unsigned add_var(iset domain, const char* name, bool register_constant);
    unsigned singleton_var(int c);
    // Before a search: replaces the domain with no trail entry. During a
    // search: a trail entry at the current time with the given cause.
    void set_var_domain(unsigned var, iset domain, int cause);

    // ---- Variable choice
    // The variable to branch on next, or -1 when every variable is a singleton.
    int choose_free_variable();

    // ---- Watches: each call forwards to the variable's list
    // Sizes the per-variable watch lists to the variable count.
    void size_watch_lists();
    watch_handle_t allocate_watch(unsigned var, watch_type type, unsigned constraint);
    void deallocate_watch(unsigned var, watch_type type, watch_handle_t handle);
    watch_handle_t allocate_value_watch(unsigned var, int value, unsigned constraint);
    void deallocate_value_watch(unsigned var, int value, watch_handle_t handle);

    // ---- Queues
    constraint_runtime_info::queue_type current_queue() const { return m_current_queue; }
    void put_in_queue(unsigned constraint, constraint_runtime_info::queue_type queue);
    void notify_modification(unsigned var, int constraint);

    assignment_stack& assignment() { return m_assignment; }
    const assignment_stack& assignment() const { return m_assignment; }

    // ---- Search state and settings (grown by the search engine)
    std::uint64_t m_activation_counter = 2; // the engine's clock
    bool m_solving = false;                 // true while a search runs
    double m_analysis_cost_factor = 2.0;    // initial cost increment
    double m_conflict_cost_factor = 8.0;    // how much better the heap's best must be
    int m_last_chosen_var = -1;
    int m_vars_to_print = -1;
    std::vector<unsigned> m_latest_conflict_vars;

private:
    assignment_stack m_assignment;
    std::vector<var_event_watchers> m_var_watchers;
    std::vector<var_value_watchers> m_value_watchers;
    constraint_runtime_info::queue_type m_current_queue = constraint_runtime_info::VARIABLE_QUEUE;
};

} // namespace qarn
