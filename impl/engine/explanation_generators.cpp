// Generic explanations and the probe view the refining ones run on.
#include "impl/engine/explanation_generators.h"

#include <utility>

#include "impl/support/errors.h"

namespace qarn::explanation_generators {

namespace {

// Views answer "none" with a negative number (as signed 32 bits).
bool is_param(unsigned q) {
    return static_cast<int>(q) >= 0;
}

iset full_set() {
    return iset(MIN_DOMAIN, MAX_DOMAIN);
}

iset complement_of(const iset& s) {
    iset c = s;
    c.complement();
    return c;
}

} // namespace

void explain_propagation(unsigned param, const iset&, const iset& new_domain,
                         const constraint_runtime_info& ri, std::vector<iset>& out) {
    // Some parameter lies outside the domain it had, or param lies in its new domain.
    const unsigned n = ri.arity();
    out.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        iset d = ri.domain(i);
        d.compact();
        d.complement();
        out[i] = std::move(d);
    }
    if (param < n)
        out[param].insert_all_of(new_domain);
}

void explain_propagation_tightly(constraint_propagator& p, unsigned param, const iset& values,
                                 const iset& new_domain, const constraint_runtime_info& ri,
                                 std::vector<iset>& out) {
    // The parameters modified last are widened first, the asked one last.
    static std::vector<unsigned> refining_order;
    const unsigned n = ri.arity();
    refining_order.clear();
    refining_order.reserve(n);
    unsigned asked = NO_PARAM, q = NO_PARAM, q2 = NO_PARAM;
    if (!new_domain.empty()) {
        asked = param;
        q = ri.latest_modified_param(param);
        if (is_param(q))
            refining_order.push_back(q);
    } else {
        q = ri.latest_modified_param(NO_PARAM);
        if (is_param(q)) {
            q2 = ri.latest_modified_param(q);
            if (is_param(q2))
                refining_order.push_back(q2);
            refining_order.push_back(q);
        }
    }
    for (unsigned i = 0; i < n; ++i)
        if (i != q && i != q2 && i != asked)
            refining_order.push_back(i);
    if (asked != NO_PARAM)
        refining_order.push_back(asked);
    refined_explanation(p, param, values, new_domain, refining_order.data(),
                        refining_order.data() + refining_order.size(), ri, out);
}

void refined_explanation(constraint_propagator& p, unsigned param, const iset& values,
                         const iset& new_domain, const unsigned* order_begin,
                         const unsigned* order_end, const constraint_runtime_info& ri,
                         std::vector<iset>& out) {
    // Probe with param restricted to the removed values that need explaining,
    // so that the propagator fails on the probe; a conflict probes as is.
    unsigned replaced = NO_PARAM;
    iset removed;
    if (!new_domain.empty()) {
        replaced = param;
        removed = ri.domain(param);
        removed.erase_all_of(new_domain);
        iset asked = removed;
        asked.intersect(values);
        if (!asked.empty())
            removed = std::move(asked);
    }
    conflicting_info probe(ri, replaced, removed);
    const unsigned n = probe.arity();

    // Widen one parameter at a time to every value for which the propagator
    // still fails, keeping the earlier widenings.
    for (const unsigned* it = order_begin; it != order_end; ++it) {
        const unsigned q = *it;
        if (q >= n || probe.base_domain(q).full())
            continue;
        probe.reread_dirty_domains();
        probe.set_domain(q, full_set());
        if (p.propagate(probe) == propagation_types::UNSAT)
            probe.set_domain(q, iset()); // q plays no part in the conflict
        const iset& current = probe.domain(q);
        iset& base = probe.base_domain(q);
        if (!current.contains_all_of(base))
            base.insert_all_of(complement_of(current));
    }

    out.resize(n);
    for (unsigned i = 0; i < n; ++i)
        out[i] = complement_of(probe.base_domain(i));
}

void possibly_crippling_values(constraint_propagator& p, unsigned param, const iset& values,
                               const constraint_runtime_info& ri, std::vector<iset>& out) {
    // out[i] is what is left of parameter i when the propagator runs with i
    // unrestricted and param without `values`. Only parameters that end up
    // restricted are recorded: a parameter at or beyond out's end counts as
    // unrestricted (the full set), as do the skipped ones before it.
    const unsigned n = ri.arity();
    iset kept;
    if (param < n) {
        kept = ri.domain(param);
        kept.erase_all_of(values);
    }
    conflicting_info probe(ri, param, kept);
    out.clear();
    for (unsigned i = 0; i < n; ++i) {
        if (probe.base_domain(i).full())
            continue;
        probe.reread_dirty_domains();
        probe.set_domain(i, full_set());
        iset left = full_set();
        if (p.init(probe) && p.propagate(probe) != propagation_types::UNSAT)
            left = probe.domain(i);
        if (left.full())
            continue;
        if (out.size() <= i)
            out.resize(i + 1, full_set());
        out[i] = std::move(left);
    }
    if (param < out.size())
        out[param].erase_all_of(values);
}

conflicting_info::conflicting_info(const constraint_runtime_info& ri, unsigned param,
                                   const iset& values)
    : m_effort(ri.effort()) {
    const unsigned n = ri.arity();
    m_current.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        iset d = ri.domain(i);
        d.compact();
        m_current.push_back(std::move(d));
    }
    if (param < n)
        m_current[param] = values;
    m_accepted = m_current;
    m_dirty.assign(n, 0);
    m_dirty_list.reserve(n);
}

bool conflicting_info::reduced_between_activations(unsigned) const {
    return true;
}

constraint_runtime_info::queue_type conflicting_info::originating_queue() const {
    return CONSTRAINT_QUEUE;
}

void conflicting_info::put_in_queue(queue_type) {
    throw_runtime_error(
        "impl/explanation_generators:62: In constraint_queue, other queues are unsupported");
}

const iset& conflicting_info::domain(unsigned param) const {
    return m_current[param];
}

void conflicting_info::set_domain(unsigned param, iset domain) {
    // The generators also widen through here, to the full set only, which
    // the size test compares as well (it is symmetric).
    iset& current = m_current[param];
    if (same_subset(current, domain))
        return;
    if (!m_dirty[param]) {
        m_dirty[param] = 1;
        m_dirty_list.push_back(param);
    }
    current = std::move(domain);
}

unsigned conflicting_info::arity() const {
    return static_cast<unsigned>(m_current.size());
}

unsigned conflicting_info::effort() const {
    return m_effort;
}

void conflicting_info::reread_dirty_domains() {
    while (!m_dirty_list.empty()) {
        const unsigned p = m_dirty_list.back();
        m_dirty_list.pop_back();
        if (m_dirty[p]) {
            m_current[p] = m_accepted[p];
            m_dirty[p] = 0;
        }
    }
}

} // namespace qarn::explanation_generators
