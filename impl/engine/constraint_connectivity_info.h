// The solver's own record of one constraint and the live view through which
// its propagator runs: parameter variables, the constraint's index, its
// conflict count (how hard its propagator should work), the time of its
// previous activation and whether the current activation changed a domain.
#pragma once

#include <cstdint>
#include <vector>

#include "impl/engine/assignment_stack.h"
#include "impl/engine/constraint_runtime_info.h"

namespace qarn {

class solver;

class constraint_connectivity_info : public constraint_runtime_info {
public:
    constraint_connectivity_info(solver* owner, unsigned index);

    // Appends a parameter variable; builders chain the calls.
    constraint_connectivity_info& operator<<(unsigned variable) {
        m_params.push_back(variable);
        return *this;
    }

    bool reduced_between_activations(unsigned param) const override;
    queue_type originating_queue() const override;
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override;
    void deallocate_watch(unsigned param, watch_type type, watch_handle_t handle) override;
    watch_handle_t allocate_watch(unsigned param, watch_type type) override;
    void deallocate_value_watch(unsigned param, int value, watch_handle_t handle) override;
    watch_handle_t allocate_value_watch(unsigned param, int value) override;
    void print(std::ostream& os) const override;
    void print_prefix(std::ostream& os) const override;
    void print_param(std::ostream& os, unsigned param) const override;

    // After an activation that did not postpone: remembers its time and, when
    // it changed a domain, notifies the solver of every parameter changed then.
    void finalize_prev_activation(std::uint64_t time);
    // Cleared at the start of every activation; set when it narrows a domain.
    void reset_changed() { m_changed = false; }
    // Clears the per-activation state (done when the constraint is initialised).
    void reset_activation() {
        m_prev_activation = 0;
        m_changed = false;
    }

    // domain(param) inline and unchecked: param < arity().
    const iset& live_domain(unsigned param) const {
        return m_assignment->domain(m_params[param]);
    }

    const iset& variable_domain(unsigned var) const { return m_assignment->domain(var); }

    unsigned variable(unsigned param) const { return m_params.at(param); }
    const std::vector<unsigned>& variables() const { return m_params; }
    std::vector<unsigned>& variables() { return m_params; }
    unsigned index() const { return m_index; }
    unsigned conflict_count() const { return m_conflict_count; }
    void count_conflict() { ++m_conflict_count; }
    bool changed_a_domain() const { return m_changed; }
    std::uint64_t prev_activation() const { return m_prev_activation; }
    label_type labels() const { return m_label; }
    void labels(label_type label) { m_label = label; }

private:
    solver* m_solver;
    const assignment_stack* m_assignment; // the solver's; null without a solver
    std::vector<unsigned> m_params;
    unsigned m_index;
    unsigned m_conflict_count = 0;
    std::uint64_t m_prev_activation = 0;
    bool m_changed = false;
    label_type m_label = 0;
};

} // namespace qarn
