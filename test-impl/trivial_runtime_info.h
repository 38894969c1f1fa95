// A stand-alone runtime view for checking one propagator by brute force.
// It holds every parameter's domain explicitly, remembers the domains at the
// start of the last activation, records which parameters were narrowed, and
// keeps each parameter's watches in a plain list, checking every watch
// operation a propagator makes. maybe_propagate drives a propagator as the
// engine would (only when a watch fires, except on the first activation);
// random_reduce narrows domains at random around an assignment.
//
// Watch handles name records of the view's own watcher list (pool memory).
// Released watches leave their record in place; records go with the view.
#pragma once

#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/watch_types.h"
#include "impl/engine/watches.h"
#include "impl/sets/model.h"

namespace qarn {

class explanation_tester;

class trivial_runtime_info : public constraint_runtime_info, public var_watchers_base {
public:
    struct watch {
        watch_handle_t handle;
        bool m_is_value_watch;
        int m_value_or_type; // the value of a value watch, else the watch_type
    };

    // The values of propagation_types::result_type, and an activation that
    // did not happen because no watch fired.
    enum result_type {
        UNSAT = propagation_types::UNSAT,
        VALID = propagation_types::VALID,
        CONSISTENT = propagation_types::CONSISTENT,
        NOT_WATCHED = 3,
    };

    // One parameter per domain; every parameter counts as reduced and the
    // previous domains are the whole value range.
    explicit trivial_runtime_info(const std::vector<iset>& domains);
    // The same over the arity and domains of another view.
    trivial_runtime_info(const constraint_runtime_info& other, bool querying);
    trivial_runtime_info(const trivial_runtime_info& other);
    // Copies the state but not the watcher records, and clears the VALID mark.
    trivial_runtime_info& operator=(const trivial_runtime_info& other);
    ~trivial_runtime_info() override;

    bool reduced_between_activations(unsigned param) const override;
    queue_type originating_queue() const override;
    // Unsupported: throws std::runtime_error.
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    // Marks the parameter modified unless the set has the current elements.
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override;
    void deallocate_watch(unsigned param_index, watch_type type, watch_handle_t handle) override;
    watch_handle_t allocate_watch(unsigned param_index, watch_type type) override;
    void deallocate_value_watch(unsigned param_index, int value, watch_handle_t handle) override;
    watch_handle_t allocate_value_watch(unsigned param_index, int value) override;
    bool querying_domain() const override;
    void print(std::ostream& os) const override;
    void print_param(std::ostream& os, unsigned param) const override;

    // The parameter has a watch of that kind on that value or type.
    bool watched(unsigned param_index, int value_or_type, bool is_value) const;
    // Whether w fires for the change from the previous to the current domain.
    bool is_watch_triggered(unsigned param_index, const watch& w) const;
    bool are_all_singletons() const;
    // The same domains and the same modification marks.
    bool same_next_state(const trivial_runtime_info& other) const;
    watch_handle_t gen_new_watch_handle();

    // Ends an activation's bookkeeping: the modification marks (recomputed
    // from the domains when asked) become the reduced marks, checking that
    // every marked parameter really changed.
    void advance_modified(bool recompute);
    // Applies the domains other marks as modified.
    void assign_modifications(const trivial_runtime_info& other);
    // Takes other's current domains and starts a first activation again.
    void backtrack_to(const trivial_runtime_info& other);
    // Restores the domains of the start of the last activation.
    void undo_modifications();
    // One activation as the engine would run it; VALID for good once the
    // propagator said VALID, NOT_WATCHED when it was not due.
    result_type maybe_propagate(constraint_propagator& propagator);
    // Narrows a few parameters (among the first assignment.size()) at random,
    // keeping each assigned value that is in its domain.
    void random_reduce(const std::vector<int>& assignment);
    // The same around an assignment of random members of the domains.
    void random_reduce();

private:
    friend class explanation_tester;

    // The current domains become the previous ones.
    void remember_domains() { m_variables_prev = m_variables; }

    std::vector<bool> m_reduced;
    std::vector<bool> m_modified;
    std::vector<iset> m_variables_prev;
    std::vector<iset> m_variables;
    std::vector<std::vector<watch>> m_watches;
    bool m_first_activation;
    bool m_valid;
    bool m_querying;
    watcher_list m_watcher_records;
};

// "UNSAT", "VALID", "CONSISTENT", "NOT_WATCHED"; nothing for other values.
std::ostream& operator<<(std::ostream& os, trivial_runtime_info::result_type result);

} // namespace qarn
