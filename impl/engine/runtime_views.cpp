// The aged, watch-less, explicit and sliced runtime views.
#include "impl/engine/runtime_views.h"

#include <stdexcept>

namespace qarn {

namespace {

// A subset of the current domain with the same size and emptiness is equal to it.
bool same_as(const iset& current, const iset& next) {
    return current.size() == next.size() && current.empty() == next.empty();
}

} // namespace

// ---------------------------------------------------------------------------
// Aged view

bool constraint_aged_info::reduced_between_activations(unsigned) const {
    return false;
}

constraint_runtime_info::queue_type constraint_aged_info::originating_queue() const {
    return m_underlying->originating_queue();
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

unsigned constraint_aged_info::arity() const {
    return m_underlying->arity();
}

void constraint_aged_info::deallocate_watch(unsigned param, watch_type type,
                                            watch_handle_t handle) {
    if (!m_mutable)
        throw std::domain_error("Can't deallocate watches on const info objects");
    m_mutable->deallocate_watch(param, type, handle);
}

watch_handle_t constraint_aged_info::allocate_watch(unsigned param, watch_type type) {
    if (!m_mutable)
        throw std::domain_error("Can't allocate watches on const info objects");
    return m_mutable->allocate_watch(param, type);
}

void constraint_aged_info::deallocate_value_watch(unsigned param, int value,
                                                  watch_handle_t handle) {
    if (!m_mutable)
        throw std::domain_error("Can't deallocate watches on const info objects");
    m_mutable->deallocate_value_watch(param, value, handle);
}

watch_handle_t constraint_aged_info::allocate_value_watch(unsigned param, int value) {
    if (!m_mutable)
        throw std::domain_error("Can't allocate watches on const info objects");
    return m_mutable->allocate_value_watch(param, value);
}

unsigned constraint_aged_info::latest_modified_param(unsigned param) const {
    if (!m_latest_tracking)
        return 0xFFFFFFFFu;
    unsigned best = 0xFFFFFFFFu, best_entry = 0xFFFFFFFFu;
    for (unsigned q = 0; q < arity(); ++q) {
        if (q == param)
            continue;
        unsigned e = m_stack->var_modification_entry_before(m_mapper->to_variable(q), m_time + 1);
        if (e != 0xFFFFFFFFu && (best_entry == 0xFFFFFFFFu || e > best_entry)) {
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

void constraint_aged_info::print_prefix(std::ostream& os) const {
    m_underlying->print_prefix(os);
}

void constraint_aged_info::print_param(std::ostream& os, unsigned param) const {
    m_underlying->print_param(os, param);
}

// ---------------------------------------------------------------------------
// Watch-less view

bool constraint_watchless_info::reduced_between_activations(unsigned param) const {
    return m_underlying->reduced_between_activations(param);
}

constraint_runtime_info::queue_type constraint_watchless_info::originating_queue() const {
    return m_fixed ? m_fixed_queue : m_underlying->originating_queue();
}

void constraint_watchless_info::put_in_queue(queue_type queue) {
    m_fixed = false;
    m_underlying->put_in_queue(queue);
}

const iset& constraint_watchless_info::domain(unsigned param) const {
    return m_underlying->domain(param);
}

void constraint_watchless_info::set_domain(unsigned param, iset domain) {
    m_underlying->set_domain(param, std::move(domain));
}

unsigned constraint_watchless_info::arity() const {
    return m_underlying->arity();
}

unsigned constraint_watchless_info::latest_modified_param(unsigned param) const {
    return m_underlying->latest_modified_param(param);
}

unsigned constraint_watchless_info::effort() const {
    return m_underlying->effort();
}

void constraint_watchless_info::print(std::ostream& os) const {
    m_underlying->print(os);
}

void constraint_watchless_info::print_prefix(std::ostream& os) const {
    m_underlying->print_prefix(os);
}

void constraint_watchless_info::print_param(std::ostream& os, unsigned param) const {
    m_underlying->print_param(os, param);
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
    if (same_as(current, domain))
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

sliced_runtime_info::sliced_runtime_info(const constraint_runtime_info& underlying,
                                         unsigned first, unsigned end)
    : m_pending(end - first, false),
      m_pending_domains(end - first),
      m_mutable(nullptr),
      m_underlying(&underlying),
      m_first(first),
      m_end(end) {}

sliced_runtime_info::sliced_runtime_info(constraint_runtime_info& underlying, unsigned first,
                                         unsigned end)
    : sliced_runtime_info(static_cast<const constraint_runtime_info&>(underlying), first, end) {
    m_mutable = &underlying;
}

constraint_runtime_info& sliced_runtime_info::writable(const char* what) const {
    // A slice of a read-only view cannot pass changes on.
    if (!m_mutable)
        throw std::domain_error(what);
    return *m_mutable;
}

bool sliced_runtime_info::reduced_between_activations(unsigned param) const {
    return m_pending.at(param) || m_underlying->reduced_between_activations(m_first + param);
}

constraint_runtime_info::queue_type sliced_runtime_info::originating_queue() const {
    return m_underlying->originating_queue();
}

void sliced_runtime_info::put_in_queue(queue_type queue) {
    writable("Can't put_in_queue for sliced_runtime_info over a const info object")
        .put_in_queue(queue);
}

const iset& sliced_runtime_info::domain(unsigned param) const {
    if (m_pending.at(param))
        return m_pending_domains[param];
    return m_underlying->domain(m_first + param);
}

void sliced_runtime_info::set_domain(unsigned param, iset domain) {
    if (same_as(this->domain(param), domain))
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
    writable("Can't deallocate watches on const info objects")
        .deallocate_watch(m_first + param, type, handle);
}

watch_handle_t sliced_runtime_info::allocate_watch(unsigned param, watch_type type) {
    return writable("Can't allocate watches on const info objects")
        .allocate_watch(m_first + param, type);
}

void sliced_runtime_info::deallocate_value_watch(unsigned param, int value,
                                                 watch_handle_t handle) {
    writable("Can't deallocate watches on const info objects")
        .deallocate_value_watch(m_first + param, value, handle);
}

watch_handle_t sliced_runtime_info::allocate_value_watch(unsigned param, int value) {
    return writable("Can't allocate watches on const info objects")
        .allocate_value_watch(m_first + param, value);
}

unsigned sliced_runtime_info::latest_modified_param(unsigned param) const {
    const unsigned none = 0xFFFFFFFFu;
    auto inside = [&](unsigned q) { return q >= m_first && q < m_end; };
    unsigned q = m_underlying->latest_modified_param(param < arity() ? m_first + param : none);
    if (inside(q))
        return q - m_first;
    if (static_cast<int>(q) < 0)
        return none;
    unsigned q2 = m_underlying->latest_modified_param(q);
    if (inside(q2) && q2 - m_first != param)
        return q2 - m_first;
    return none;
}

unsigned sliced_runtime_info::effort() const {
    return m_underlying->effort();
}

bool sliced_runtime_info::querying_domain() const {
    return m_querying;
}

void sliced_runtime_info::print(std::ostream& os) const {
    print_params(os, ",");
    os << ')';
}

void sliced_runtime_info::print_param(std::ostream& os, unsigned param) const {
    m_underlying->print_param(os, m_first + param);
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
