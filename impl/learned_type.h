// The constraint being learned from a conflict: implication nodes (a trail
// entry and a variable each), one literal set per node, and optionally a
// general constraint with one parameter per node. info_type is the view that
// presents the nodes as parameters, each with its variable's domain right
// after the node's entry.
#pragma once

#include <list>
#include <memory>
#include <vector>

#include "assignment_stack.h"
#include "constraint_propagator.h"
#include "constraint_runtime_info.h"
#include "model.h"
#include "watch_types.h"

namespace qarn {

class solver;

class learned_type {
public:
    static constexpr unsigned NO_PREVIOUS_MODIFICATION = 0xFFFFFFFFu;
    static constexpr unsigned POST_LAST_MODIFICATION = 0xFFFFFFFEu;

    typedef assignment_stack::implication_node implication_node;

    class info_type : public constraint_runtime_info {
    public:
        info_type(const learned_type& learned, unsigned time, unsigned effort,
                  bool reduction_tracking, bool latest_tracking)
            : m_learned(&learned),
              m_time(time),
              m_effort(effort),
              m_reduction_tracking(reduction_tracking),
              m_latest_tracking(latest_tracking) {}

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
        unsigned latest_modified_param(unsigned param) const override;
        unsigned effort() const override;
        void print(std::ostream& os) const override;
        void print_param(std::ostream& os, unsigned param) const override;

        unsigned variable(unsigned param) const;
        unsigned time() const { return m_time; }

    private:
        const learned_type* m_learned;
        unsigned m_time; // POST_LAST_MODIFICATION: after the last modification
        unsigned m_effort;
        bool m_reduction_tracking;
        bool m_latest_tracking;
        std::vector<bool> m_overridden;
        std::vector<iset> m_overriding;
        dummy_watches m_watches;
    };

    learned_type(const assignment_stack& stack, const solver& owner);

    const std::vector<implication_node>& nodes() const { return m_nodes; }
    const std::vector<iset>& literals() const { return m_literals; }
    const assignment_stack& stack() const { return *m_stack; }
    unsigned effort() const { return m_effort; }

    // The node with the latest real entry, skipping `excluded`; an earlier
    // node wins ties; a node without entry only while no real one was seen.
    unsigned latest_node_index(unsigned excluded) const;

private:
    const assignment_stack* m_stack;
    const solver* m_solver;
    bool m_explained = false;
    std::vector<implication_node> m_nodes;
    std::vector<iset> m_literals;
    constraint_propagator* m_general = nullptr;
    std::unique_ptr<constraint_propagator> m_owned;
    std::vector<unsigned> m_variable_to_node;
    unsigned m_current_level;
    unsigned m_level_count = 0;
    unsigned m_effort = 0;
};

} // namespace qarn
