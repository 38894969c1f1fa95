// The forwarding, aged, watch-less, explicit and sliced runtime views.
#include "impl/engine/runtime_views.h"

#include <stdexcept>

namespace qarn {

// ---------------------------------------------------------------------------
// Forwarding view

constraint_runtime_info& forwarding_runtime_info::writable(const char* what) const {
    if (!m_mutable)
        throw std::domain_error(what);
    return *m_mutable;
}

bool forwarding_runtime_info::reduced_between_activations(unsigned param) const {
    return m_underlying->reduced_between_activations(param);
}

constraint_runtime_info::queue_type forwarding_runtime_info::originating_queue() const {
    return m_underlying->originating_queue();
}

void forwarding_runtime_info::put_in_queue(queue_type queue) {
    writable("Can't put_in_queue on const info objects").put_in_queue(queue);
}

const iset& forwarding_runtime_info::domain(unsigned param) const {
    return m_underlying->domain(param);
}

void forwarding_runtime_info::set_domain(unsigned param, iset domain) {
    writable("Domain can't be updated on const info objects").set_domain(param, std::move(domain));
}

unsigned forwarding_runtime_info::arity() const {
    return m_underlying->arity();
}

void forwarding_runtime_info::deallocate_watch(unsigned param, watch_type type,
                                               watch_handle_t handle) {
    writable("Can't deallocate watches on const info objects")
        .deallocate_watch(param, type, handle);
}

watch_handle_t forwarding_runtime_info::allocate_watch(unsigned param, watch_type type) {
    return writable("Can't allocate watches on const info objects").allocate_watch(param, type);
}

void forwarding_runtime_info::deallocate_value_watch(unsigned param, int value,
                                                     watch_handle_t handle) {
    writable("Can't deallocate watches on const info objects")
        .deallocate_value_watch(param, value, handle);
}

watch_handle_t forwarding_runtime_info::allocate_value_watch(unsigned param, int value) {
    return writable("Can't allocate watches on const info objects")
        .allocate_value_watch(param, value);
}

unsigned forwarding_runtime_info::latest_modified_param(unsigned param) const {
    return m_underlying->latest_modified_param(param);
}

unsigned forwarding_runtime_info::effort() const {
    return m_underlying->effort();
}

bool forwarding_runtime_info::querying_domain() const {
    return m_underlying->querying_domain();
}

void forwarding_runtime_info::print(std::ostream& os) const {
    m_underlying->print(os);
}

void forwarding_runtime_info::print_prefix(std::ostream& os) const {
    m_underlying->print_prefix(os);
}

unsigned forwarding_runtime_info::accurate_size_bound() const {
    return m_underlying->accurate_size_bound();
}

unsigned forwarding_runtime_info::accurate_size_pair_bound() const {
    return m_underlying->accurate_size_pair_bound();
}

unsigned forwarding_runtime_info::max_accurate_ranges() const {
    return m_underlying->max_accurate_ranges();
}

void forwarding_runtime_info::print_param(std::ostream& os, unsigned param) const {
    m_underlying->print_param(os, param);
}

// ---------------------------------------------------------------------------
// Aged view

bool constraint_aged_info::reduced_between_activations(unsigned) const {
    return false;
}

void constraint_aged_info::put_in_queue(queue_type) {
    throw std::domain_error("Can't put_in_queue for constraint_aged_info");
}

const iset& constraint_aged_info::domain(unsigned param) const {
    return m_stack->var_domain_after_modification(m_mapper->to_variable(param), m_time);
}

void constraint_aged_info::set_domain(unsigned, iset) {
    throw std::domain_error("Domain can't be updated for a constraint_aged_info");
}

unsigned constraint_aged_info::latest_modified_param(unsigned param) const {
    if (!m_latest_tracking)
        return NO_PARAM;
    unsigned best = NO_PARAM, best_entry = NO_ENTRY;
    for (unsigned q = 0; q < arity(); ++q) {
        if (q == param)
            continue;
        unsigned e = m_stack->var_modification_entry_before(m_mapper->to_variable(q), m_time + 1);
        if (e != NO_ENTRY && (best_entry == NO_ENTRY || e > best_entry)) {
            best = q;
            best_entry = e;
        }
    }
    return best;
}

unsigned constraint_aged_info::effort() const {
    return m_effort;
}

void constraint_aged_info::print(std::ostream& os) const {
    print_params(os, ", ");
}

// ---------------------------------------------------------------------------
// Watch-less view

constraint_runtime_info::queue_type constraint_watchless_info::originating_queue() const {
    return m_fixed ? m_fixed_queue : with_dummy_watches::originating_queue();
}

void constraint_watchless_info::put_in_queue(queue_type queue) {
    m_fixed = false;
    with_dummy_watches::put_in_queue(queue);
}

// ---------------------------------------------------------------------------
// Explicit view

constraint_explicit_info::constraint_explicit_info(unsigned arity) {
    iset all;
    all.complement();
    m_domains.assign(arity, all);
}

bool constraint_explicit_info::reduced_between_activations(unsigned) const {
    return true;
}

constraint_runtime_info::queue_type constraint_explicit_info::originating_queue() const {
    return CONSTRAINT_QUEUE;
}

void constraint_explicit_info::put_in_queue(queue_type) {}

const iset& constraint_explicit_info::domain(unsigned param) const {
    return m_domains.at(param);
}

void constraint_explicit_info::set_domain(unsigned param, iset domain) {
    iset& current = m_domains.at(param);
    if (same_subset(current, domain))
        return;
    current = std::move(domain);
}

unsigned constraint_explicit_info::arity() const {
    return static_cast<unsigned>(m_domains.size());
}

void constraint_explicit_info::set_var_printer(unsigned param, const variable_printer& printer) {
    if (m_printers.size() <= param)
        m_printers.resize(param + 1, variable_printer{nullptr, 0});
    m_printers[param] = printer;
}

void constraint_explicit_info::print(std::ostream& os) const {
    os << "constraint" << " (";
    for (unsigned p = 0; p < arity(); ++p) {
        if (p)
            os << ", ";
        print_param(os, p);
        const iset& d = m_domains[p];
        long long lo = d.empty() ? 0 : d.min(), hi = d.empty() ? 0 : d.max();
        // A set without holes: size() is 0 for the whole 32-bit range.
        bool interval = !d.empty() && (d.full() || static_cast<unsigned long long>(hi - lo + 1) ==
                                                       static_cast<unsigned long long>(d.size()));
        if (d.size() == 1)
            os << '=' << d;
        else if (d.empty())
            os << "={}";
        else if (d.full())
            os << "={*}";
        else if (interval && lo == MIN_DOMAIN)
            os << "<=" << hi;
        else if (interval && hi == MAX_DOMAIN)
            os << ">=" << lo;
        else
            os << "={" << d << '}';
    }
    os << ')';
}

void constraint_explicit_info::print_prefix(std::ostream& os) const {
    os << "constraint";
}

void constraint_explicit_info::print_param(std::ostream& os, unsigned param) const {
    if (param < m_printers.size() && m_printers[param].strategy)
        os << m_printers[param];
    else
        os << 'P' << param;
}

// ---------------------------------------------------------------------------
// Sliced view

bool sliced_runtime_info::reduced_between_activations(unsigned param) const {
    return m_pending.at(param) || underlying().reduced_between_activations(m_first + param);
}

void sliced_runtime_info::put_in_queue(queue_type queue) {
    writable("Can't put_in_queue for sliced_runtime_info over a const info object")
        .put_in_queue(queue);
}

const iset& sliced_runtime_info::domain(unsigned param) const {
    if (m_pending.at(param))
        return m_pending_domains[param];
    return underlying().domain(m_first + param);
}

void sliced_runtime_info::set_domain(unsigned param, iset domain) {
    if (same_subset(this->domain(param), domain))
        return;
    if (!m_querying) {
        iset copy(domain);
        copy.compact();
        writable("Domain can't be updated for a sliced_runtime_info over a const info object")
            .set_domain(m_first + param, std::move(copy));
    }
    m_pending_domains.at(param) = std::move(domain);
    m_pending[param] = true;
}

unsigned sliced_runtime_info::arity() const {
    return m_end - m_first;
}

void sliced_runtime_info::deallocate_watch(unsigned param, watch_type type,
                                           watch_handle_t handle) {
    forwarding_runtime_info::deallocate_watch(m_first + param, type, handle);
}

watch_handle_t sliced_runtime_info::allocate_watch(unsigned param, watch_type type) {
    return forwarding_runtime_info::allocate_watch(m_first + param, type);
}

void sliced_runtime_info::deallocate_value_watch(unsigned param, int value,
                                                 watch_handle_t handle) {
    forwarding_runtime_info::deallocate_value_watch(m_first + param, value, handle);
}

watch_handle_t sliced_runtime_info::allocate_value_watch(unsigned param, int value) {
    return forwarding_runtime_info::allocate_value_watch(m_first + param, value);
}

unsigned sliced_runtime_info::latest_modified_param(unsigned param) const {
    auto inside = [&](unsigned q) { return q >= m_first && q < m_end; };
    unsigned q = underlying().latest_modified_param(param < arity() ? m_first + param : NO_PARAM);
    if (inside(q))
        return q - m_first;
    if (static_cast<int>(q) < 0)
        return NO_PARAM;
    unsigned q2 = underlying().latest_modified_param(q);
    if (inside(q2) && q2 - m_first != param)
        return q2 - m_first;
    return NO_PARAM;
}

bool sliced_runtime_info::querying_domain() const {
    return m_querying;
}

void sliced_runtime_info::print(std::ostream& os) const {
    print_params(os, ",");
    os << ')';
}

void sliced_runtime_info::print_prefix(std::ostream&) const {}

void sliced_runtime_info::print_param(std::ostream& os, unsigned param) const {
    underlying().print_param(os, m_first + param);
}

void sliced_runtime_info::commit() {
    for (unsigned p = 0; p < m_pending.size(); ++p) {
        if (!m_pending[p])
            continue;
        writable("Domain can't be updated for a sliced_runtime_info over a const info object")
            .set_domain(m_first + p, std::move(m_pending_domains[p]));
        m_pending[p] = false;
    }
}

bool sliced_runtime_info::pending_commit() const {
    for (bool b : m_pending)
        if (b)
            return true;
    return false;
}

void sliced_runtime_info::set_querying_domain(bool querying) {
    if (!querying && m_querying) {
        commit();
        for (iset& d : m_pending_domains)
            d = iset();
    }
    m_querying = querying;
}

} // namespace qarn
