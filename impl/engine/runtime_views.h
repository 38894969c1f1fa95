// The kinds of runtime view besides the solver's own record and the probes:
//  - forwarding_runtime_info: passes everything to another view, the base of
//    the aged, watch-less and sliced views;
//  - constraint_aged_info: read-only domains as they stood at an earlier trail
//    position (watches go to the underlying view when it is mutable);
//  - constraint_watchless_info: passes everything through but keeps watches
//    to itself, optionally pretending to come from a fixed queue;
//  - constraint_explicit_info: domains held in the view (all values at first);
//  - sliced_runtime_info: parameters [first, end) of another view, renumbered
//    from 0; in querying mode narrowings are only recorded until commit().
#pragma once

#include <memory>
#include <type_traits>
#include <vector>

#include "impl/engine/assignment_stack.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/variable_printer.h"
#include "impl/engine/watch_types.h"

namespace qarn {

class constraint_connectivity_info;

// Maps a view's parameters to solver variables.
class param_to_var {
public:
    virtual ~param_to_var() = default;
    virtual unsigned to_variable(unsigned param) const = 0;
};

template <class View>
class concrete_param_to_var : public param_to_var {
public:
    explicit concrete_param_to_var(const View& view) : m_view(view) {}
    unsigned to_variable(unsigned param) const override { return m_view.variable(param); }

private:
    const View& m_view;
};

// Passes every operation to an underlying view; the views below derive from
// it and override what they present differently. Over a read-only view the
// operations that change something (narrowing, watches, queueing) throw
// std::domain_error.
class forwarding_runtime_info : public constraint_runtime_info {
public:
    explicit forwarding_runtime_info(const constraint_runtime_info& underlying)
        : m_underlying(&underlying), m_mutable(nullptr) {}
    explicit forwarding_runtime_info(constraint_runtime_info& underlying)
        : m_underlying(&underlying), m_mutable(&underlying) {}

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
    bool querying_domain() const override;
    void print(std::ostream& os) const override;
    void print_prefix(std::ostream& os) const override;
    unsigned accurate_size_bound() const override;
    unsigned accurate_size_pair_bound() const override;
    unsigned max_accurate_ranges() const override;
    void print_param(std::ostream& os, unsigned param) const override;

protected:
    const constraint_runtime_info& underlying() const { return *m_underlying; }
    // The underlying view, to change something through it; throws
    // std::domain_error(what) over a read-only one.
    constraint_runtime_info& writable(const char* what) const;

private:
    const constraint_runtime_info* m_underlying;
    constraint_runtime_info* m_mutable; // null over a read-only view
};

class constraint_aged_info : public forwarding_runtime_info {
public:
    static constexpr unsigned USE_UNDERLYING_EFFORT = 0xFFFFFFFFu;

    // `entry` is the trail entry being explained: the view shows the domains
    // as they were just before the propagation that made it. Over a mutable
    // view watches go to it (the engine initialises constraints so); over a
    // const one (View const) they throw.
    template <class View>
    constraint_aged_info(View& underlying, const assignment_stack& stack, unsigned entry,
                         unsigned effort)
        : forwarding_runtime_info(underlying),
          m_mapper(std::make_unique<concrete_param_to_var<std::remove_const_t<View>>>(underlying)),
          m_stack(&stack),
          m_time(stack.before_propagation(entry)),
          m_effort(effort == USE_UNDERLYING_EFFORT ? underlying.effort() : effort),
          m_latest_tracking(true) {}

    bool reduced_between_activations(unsigned param) const override;
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    void set_domain(unsigned param, iset domain) override;
    unsigned latest_modified_param(unsigned param) const override;
    unsigned effort() const override;
    void print(std::ostream& os) const override;

    void set_latest_tracking(bool on) { m_latest_tracking = on; }
    unsigned time() const { return m_time; }

private:
    std::unique_ptr<param_to_var> m_mapper;
    const assignment_stack* m_stack;
    unsigned m_time; // a trail entry index
    unsigned m_effort;
    bool m_latest_tracking;
};

class constraint_watchless_info : public with_dummy_watches<forwarding_runtime_info> {
public:
    explicit constraint_watchless_info(constraint_runtime_info& underlying)
        : with_dummy_watches(underlying) {}

    // Until the propagator asks for a queue, activations seem to come from `queue`.
    void set_fixed_queue(queue_type queue) {
        m_fixed = true;
        m_fixed_queue = queue;
    }

    queue_type originating_queue() const override;
    void put_in_queue(queue_type queue) override;

private:
    bool m_fixed = false;
    queue_type m_fixed_queue = VARIABLE_QUEUE;
};

class constraint_explicit_info : public dummy_watch_info {
public:
    explicit constraint_explicit_info(unsigned arity);

    bool reduced_between_activations(unsigned param) const override;
    queue_type originating_queue() const override;
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override;
    void print(std::ostream& os) const override;
    void print_prefix(std::ostream& os) const override;
    void print_param(std::ostream& os, unsigned param) const override;

    void set_var_printer(unsigned param, const variable_printer& printer);

private:
    std::vector<iset> m_domains;
    std::vector<variable_printer> m_printers;
};

class sliced_runtime_info : public forwarding_runtime_info {
public:
    // Over a const view (View const) nothing passes through to it.
    template <class View>
    sliced_runtime_info(View& underlying, unsigned first, unsigned end)
        : forwarding_runtime_info(underlying),
          m_pending(end - first, false),
          m_pending_domains(end - first),
          m_first(first),
          m_end(end) {}

    bool reduced_between_activations(unsigned param) const override;
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override;
    void deallocate_watch(unsigned param, watch_type type, watch_handle_t handle) override;
    watch_handle_t allocate_watch(unsigned param, watch_type type) override;
    void deallocate_value_watch(unsigned param, int value, watch_handle_t handle) override;
    watch_handle_t allocate_value_watch(unsigned param, int value) override;
    unsigned latest_modified_param(unsigned param) const override;
    bool querying_domain() const override;
    void print(std::ostream& os) const override;
    // Nothing: the constraint the slice is part of has printed its prefix.
    void print_prefix(std::ostream& os) const override;
    void print_param(std::ostream& os, unsigned param) const override;

    // Passes the recorded narrowings to the underlying view.
    void commit();
    bool pending_commit() const;
    void set_querying_domain(bool querying);

private:
    std::vector<bool> m_pending;
    std::vector<iset> m_pending_domains;
    unsigned m_first;
    unsigned m_end;
    bool m_querying = true;
};

} // namespace qarn
