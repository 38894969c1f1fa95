// The view through which a propagator sees its constraint: parameters
// 0..arity-1, each with a domain it may read and narrow (set_domain takes a
// subset of the current domain), watches it may register, and a queue it may
// ask to be put in. The same propagator code runs on the live solver state and
// on views of past domains, explicit domains, slices and probes.
#pragma once

#include <ostream>
#include <utility>

#include "impl/engine/solver_types.h"
#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"

namespace qarn {

class constraint_runtime_info : public watch_types, public solver_types {
public:
    enum queue_type {
        VARIABLE_QUEUE = 0,   // the variable-event queue
        CONSTRAINT_QUEUE = 1, // the first-in-first-out constraint queue
    };

    virtual ~constraint_runtime_info() = default;

    // The parameter's domain was narrowed since the constraint's previous activation.
    virtual bool reduced_between_activations(unsigned param) const = 0;
    // The queue the current activation came from.
    virtual queue_type originating_queue() const = 0;
    // Ask to be activated again from that queue.
    virtual void put_in_queue(queue_type queue) = 0;
    virtual const iset& domain(unsigned param) const = 0;
    // Replaces the domain by `domain`, a subset of the current one (may be moved from).
    virtual void set_domain(unsigned param, iset domain) = 0;
    virtual unsigned arity() const = 0;
    virtual void deallocate_watch(unsigned param, watch_type type, watch_handle_t handle) = 0;
    virtual watch_handle_t allocate_watch(unsigned param, watch_type type) = 0;
    virtual void deallocate_value_watch(unsigned param, int value, watch_handle_t handle) = 0;
    virtual watch_handle_t allocate_value_watch(unsigned param, int value) = 0;
    // The parameter other than `param` changed last; NO_PARAM when none or untracked.
    virtual unsigned latest_modified_param(unsigned param) const;
    // How hard a propagator should work (a conflict count).
    virtual unsigned effort() const;
    // True while set_domain only records what would change.
    virtual bool querying_domain() const;
    virtual void print(std::ostream& os) const;
    virtual void print_prefix(std::ostream& os) const;
    // Bounds on value-by-value reasoning, from the environment (read once).
    virtual unsigned accurate_size_bound() const;
    virtual unsigned accurate_size_pair_bound() const;
    virtual unsigned max_accurate_ranges() const;
    virtual void print_param(std::ostream& os, unsigned param) const;

    // The view, then one line per parameter, on standard output.
    void show_self() const;

    // Prints the parameters as name={domain}, separated by `separator`.
    void print_params(std::ostream& os, const char* separator) const;

    // The solver's live view (constraint_connectivity_info): hot propagators
    // read its domains through that class, without a virtual call.
    bool is_live_view() const { return m_live_view; }

protected:
    bool m_live_view = false;
};

// A view without real watch lists: watches are dummy nodes the view keeps, so
// a propagator can run its watch logic on it. Base is the view it extends.
template <class Base>
class with_dummy_watches : public Base {
public:
    using Base::Base;

    void deallocate_watch(unsigned, watch_types::watch_type, watch_handle_t handle) override {
        m_watches.deallocate(handle);
    }
    watch_handle_t allocate_watch(unsigned, watch_types::watch_type) override {
        return m_watches.allocate();
    }
    void deallocate_value_watch(unsigned, int, watch_handle_t handle) override {
        m_watches.deallocate(handle);
    }
    watch_handle_t allocate_value_watch(unsigned, int) override { return m_watches.allocate(); }

    unsigned count_watches() const { return m_watches.count(); }

private:
    dummy_watches m_watches;
};

typedef with_dummy_watches<constraint_runtime_info> dummy_watch_info;

// Reads an environment threshold once per process (strtoul, base 0).
unsigned read_environment_threshold(const char* name, unsigned fallback);

// Whether `subset`, a subset of `current`, still has all of its values (the
// same size and emptiness): as a new domain it would change nothing.
inline bool same_subset(const iset& current, const iset& subset) {
    return current.size() == subset.size() && current.empty() == subset.empty();
}

// Some parameter's domain is empty.
bool any_empty(const constraint_runtime_info& ri);

// Narrows a copy of param's domain with narrow(iset&) and sets it as the
// domain; false, with nothing set, when the narrowed domain is empty.
template <class Narrow>
bool narrow_domain(constraint_runtime_info& ri, unsigned param, Narrow&& narrow) {
    iset domain(ri.domain(param));
    narrow(domain);
    if (domain.empty())
        return false;
    ri.set_domain(param, std::move(domain));
    return true;
}

} // namespace qarn
