// The constraint being learned from a conflict: implication nodes (a trail
// entry and a variable each), one literal set per node, and optionally a
// general constraint with one parameter per node. Without a general
// constraint it is the clause of its literals; with one, the literals are
// that constraint's explanation (possibly not computed yet). info_type is the
// view that presents the nodes as parameters, each with its variable's domain
// right after the node's entry.
//
// Level bookkeeping: the current level is the decision level of the latest
// real node entry; a node counts at it when the level is 0, or its entry is
// real and not before the level's decision. Operations that move, add or
// remove nodes keep the count by that rule.
//
// The node, literal and variable-index vectors borrow their storage from
// static caches for the object's lifetime, so one instance at a time.
#pragma once

#include <list>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "impl/engine/assignment_stack.h"
#include "impl/engine/constraint_propagator.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"

namespace qarn {

class solver;
class constraint_connectivity_info;

class learned_type {
public:
    typedef assignment_stack::implication_node implication_node;

    class info_type : public dummy_watch_info {
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
        unsigned latest_modified_param(unsigned param) const override;
        unsigned effort() const override;
        void print(std::ostream& os) const override;
        void print_param(std::ostream& os, unsigned param) const override;

        unsigned variable(unsigned param) const;
        unsigned time() const { return m_time; }
        // Every parameter shows its node's domain again.
        void drop_overrides() { m_overridden.assign(m_overridden.size(), false); }

    private:
        const learned_type* m_learned;
        unsigned m_time; // AFTER_LAST_ENTRY: after the last modification
        unsigned m_effort;
        bool m_reduction_tracking;
        bool m_latest_tracking;
        std::vector<bool> m_overridden;
        std::vector<iset> m_overriding;
    };

    learned_type(const assignment_stack& stack, const solver& owner);
    ~learned_type();
    learned_type(const learned_type&) = delete;
    learned_type& operator=(const learned_type&) = delete;

    // ---- Construction and filling
    // Starts from the conflicting constraint: its propagator becomes the
    // general constraint (borrowed, not copied) and `explanation` its literals;
    // every node is anchored at its variable's latest change before `entry`.
    void construct_from(const constraint_connectivity_info& record,
                        const constraint_propagator& propagator,
                        const std::vector<iset>& explanation, unsigned entry);
    void construct_nodes_and_explanation(const constraint_connectivity_info& record,
                                         const std::vector<iset>& explanation, unsigned entry);
    // Takes `literals` (none: they are computed), re-anchors every node before
    // `entry`, detaches nodes with an empty literal and recomputes the level.
    void construct_from_variables(const std::vector<iset>& literals, unsigned entry);
    // Brings the literals of a general constraint up to date.
    void update_explanation();
    void update_explanation(const info_type& view);
    // Empties the object (no nodes, literals or constraint); the level stays.
    void clear();

    // ---- Literal operations of clause resolution
    void insert_literal(const iset& values, unsigned variable, unsigned entry);
    bool intersect_literal(const iset& values, unsigned variable, unsigned entry);
    void erase_literal(unsigned k);

    // ---- Queries
    // The node with the latest real entry, skipping `excluded`; an earlier
    // node wins ties; a node without entry only while no real one was seen.
    unsigned latest_node_index(unsigned excluded) const;
    bool conflict_analysis_complete();
    unsigned asserting_level() const;
    unsigned opportunistic_level() const;
    bool conflicts() const;
    bool explanation_conflicts() const;
    std::vector<iset> possibly_crippling_values() const;
    void add_vars_potentially_falsifying(std::vector<unsigned>& vars) const;
    void print(std::ostream& os) const;
    void show_self() const;
    void validate() const;

    // ---- Relaxation: moving nodes to earlier trail entries. Each answers
    // whether some node's entry changed.
    bool relax(unsigned k, const iset& literal);
    bool relax_level(unsigned k, const iset& literal);
    bool relax_level_all();
    bool relax_all();
    bool relax_cause();
    bool relax_cause_for_clause(const std::vector<iset>& literals);
    bool relax_cause_for_constraint(constraint_propagator& clone, info_type& view,
                                    const std::vector<const iset*>& domains);
    bool relax_if_required();

    // ---- Conversion and ground intersection
    void convert_to_clause();
    void convert_to_constraint();
    // Takes ownership of `p`, which becomes the general constraint.
    void update_constraint(constraint_propagator* p);
    void intersect_with_ground();
    void intersect_general_constraint_with_ground();

    // Level of the latest real entry and the number of nodes at it.
    void compute_level();

    // ---- Combination with the reason of the latest node (learned_combination.cpp)
    // True when the learned constraint was replaced by a combination with
    // `reason`, false when the caller must resolve with explanations instead.
    bool combine(const constraint_propagator& reason, const constraint_connectivity_info& record,
                 unsigned param, unsigned entry);
    std::unique_ptr<constraint_propagator> combine_as_constraint(
        const constraint_propagator& reason, const constraint_connectivity_info& record,
        unsigned param, unsigned entry, std::vector<unsigned>& out);
    std::unique_ptr<constraint_propagator> combine_as_clause(
        const constraint_propagator& reason, const constraint_connectivity_info& record,
        unsigned param, unsigned entry, std::vector<unsigned>& out);
    unsigned get_this_on_right_common_param(const constraint_connectivity_info& record,
                                            unsigned param, std::vector<unsigned>& map) const;
    bool combined_conflicts(const constraint_connectivity_info& record,
                            const constraint_propagator& combined,
                            const std::vector<unsigned>& params, unsigned entry) const;
    void reconstruct_from_combined(const constraint_connectivity_info& record,
                                   std::unique_ptr<constraint_propagator>& combined,
                                   const std::vector<unsigned>& params, unsigned entry);

    // ---- State
    const std::vector<implication_node>& nodes() const { return m_nodes; }
    const std::vector<iset>& literals() const { return m_literals; }
    const assignment_stack& stack() const { return *m_stack; }
    unsigned effort() const { return m_effort; }
    bool explained() const { return m_explained; }
    bool is_clause() const { return m_general == nullptr; }
    const constraint_propagator* general_constraint() const { return m_general; }
    const constraint_propagator* owned_constraint() const { return m_owned.get(); }
    unsigned current_level() const { return m_current_level; }
    unsigned nodes_at_current_level() const { return m_level_count; }
    // The node of `variable`, or NO_NODE when it has none.
    unsigned node_of(unsigned variable) const;

private:
    static std::vector<iset> m_literals_cache;
    static std::vector<implication_node> m_implication_nodes_cache;
    static std::vector<unsigned> m_variable_to_literal_index_cache;
    static std::vector<std::pair<unsigned, unsigned>> m_latest_heap_cache;

    // A view over the nodes: the object's effort, no reduction tracking.
    info_type view(unsigned time = AFTER_LAST_ENTRY, bool latest_tracking = true) const {
        return info_type(*this, time, m_effort, false, latest_tracking);
    }
    // Whether a node with entry `entry` lies at the current level.
    bool at_current_level(unsigned entry) const;
    // Moves node k to `entry`, keeping the count; true when it changed.
    bool set_entry(unsigned k, unsigned entry);
    // Literal k meets node k's domain for no k.
    bool literals_false(const info_type& view) const;
    // Drops the nodes whose literal is empty; the others keep their order.
    void remove_empty_literals();
    bool general_is_clause() const;
    // latest_node_index by a scan of every node.
    unsigned scan_latest_node_index(unsigned excluded) const;
    // Records that `variable`'s node now has `entry`.
    void note_entry(unsigned variable, unsigned entry) {
        if (!m_latest_stale && entry != NO_ENTRY)
            push_latest(entry, variable);
    }
    void push_latest(unsigned entry, unsigned variable) const;

    const assignment_stack* m_stack;
    const solver* m_solver;
    bool m_explained = false;
    std::vector<implication_node> m_nodes;
    std::vector<iset> m_literals;
    const constraint_propagator* m_general = nullptr;
    std::unique_ptr<constraint_propagator> m_owned;
    std::vector<unsigned> m_variable_to_node;
    unsigned m_current_level;
    unsigned m_level_count = 0;
    unsigned m_effort = 0;
    // Max-heap of (real entry, variable) pairs holding every node's real
    // entry, plus stale pairs of nodes since moved or removed, which the
    // query drops as it meets them; rebuilt from the nodes when stale.
    mutable std::vector<std::pair<unsigned, unsigned>> m_latest_heap;
    mutable bool m_latest_stale = true;
};

} // namespace qarn
