#include "test-impl/trivial_runtime_info.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "test-impl/test_check.h"

namespace qarn {

namespace {

// The checks of this view, by the positions their messages report.
constexpr const char* VIEW_SOURCE = "test-impl/trivial_runtime_info.cpp";
constexpr test_check_site DEALLOCATE_PARAM{VIEW_SOURCE, 85, "param_index < m_watches.size()"};
constexpr test_check_site DEALLOCATE_NOT_VALUE{VIEW_SOURCE, 92, "!watches[i].m_is_value_watch"};
constexpr test_check_site DEALLOCATE_TYPE{VIEW_SOURCE, 93, "watches[i].m_value_or_type == type"};
constexpr test_check_site DEALLOCATE_FOUND{VIEW_SOURCE, 100, "watch_found"};
constexpr test_check_site ALLOCATE_NEW{VIEW_SOURCE, 106, "!watched(param_index, value, false)"};
constexpr test_check_site ALLOCATE_DONE{VIEW_SOURCE, 117, "watched(param_index, value, false)"};
constexpr test_check_site ALLOCATE_VALUE_NEW{VIEW_SOURCE, 124, "!watched(param_index, value, true)"};
constexpr test_check_site ALLOCATE_VALUE_DONE{VIEW_SOURCE, 135, "watched(param_index, value, true)"};
constexpr test_check_site DEALLOCATE_VALUE_ONCE{VIEW_SOURCE, 155, "!watch_found"};
constexpr test_check_site DEALLOCATE_VALUE_KIND{VIEW_SOURCE, 157, "param_watches[i].m_is_value_watch"};
constexpr test_check_site DEALLOCATE_VALUE_VALUE{VIEW_SOURCE, 158,
                                                 "param_watches[i].m_value_or_type == value"};
constexpr test_check_site DEALLOCATE_VALUE_FOUND{VIEW_SOURCE, 164, "watch_found"};
constexpr test_check_site REDUCE_ALL{VIEW_SOURCE, 230, "num_to_reduce == 0"};
constexpr test_check_site REDUCE_FINALIZED{VIEW_SOURCE, 231, "min_to_finalize == 0"};
constexpr test_check_site MODIFIED_CHANGED{
    VIEW_SOURCE, 260,
    "m_first_activation || m_variables_prev.size() <= i || m_variables_prev[i] != m_variables[i]"};

iset whole_range() {
    iset all;
    all.complement();
    return all;
}

bool same(const iset& a, const iset& b) {
    return iset::same_elements(a, b);
}

// Whether two domains have different least (greatest) members; an empty
// domain differs from a non-empty one.
bool min_differs(const iset& a, const iset& b) {
    if (a.empty() || b.empty())
        return a.empty() != b.empty();
    return a.min() != b.min();
}

bool max_differs(const iset& a, const iset& b) {
    if (a.empty() || b.empty())
        return a.empty() != b.empty();
    return a.max() != b.max();
}

} // namespace

trivial_runtime_info::trivial_runtime_info(const std::vector<iset>& domains)
    : m_reduced(domains.size(), true),
      m_modified(domains.size(), false),
      m_variables_prev(domains.size(), whole_range()),
      m_variables(domains),
      m_watches(domains.size()),
      m_first_activation(true),
      m_valid(false),
      m_querying(false) {}

trivial_runtime_info::trivial_runtime_info(const constraint_runtime_info& other, bool querying)
    : m_reduced(other.arity(), true),
      m_modified(other.arity(), false),
      m_variables_prev(other.arity(), whole_range()),
      m_watches(other.arity()),
      m_first_activation(true),
      m_valid(false),
      m_querying(querying) {
    m_variables.reserve(other.arity());
    for (unsigned p = 0; p < other.arity(); ++p)
        m_variables.push_back(other.domain(p));
}

trivial_runtime_info::trivial_runtime_info(const trivial_runtime_info& other)
    : constraint_runtime_info(other),
      var_watchers_base(other),
      m_reduced(other.m_reduced),
      m_modified(other.m_modified),
      m_variables_prev(other.m_variables_prev),
      m_variables(other.m_variables),
      m_watches(other.m_watches),
      m_first_activation(other.m_first_activation),
      m_valid(other.m_valid),
      m_querying(other.m_querying),
      m_watcher_records(other.m_watcher_records) {}

trivial_runtime_info& trivial_runtime_info::operator=(const trivial_runtime_info& other) {
    m_reduced = other.m_reduced;
    m_modified = other.m_modified;
    m_variables_prev = other.m_variables_prev;
    m_variables = other.m_variables;
    m_watches = other.m_watches;
    m_first_activation = other.m_first_activation;
    m_valid = false;
    m_querying = other.m_querying;
    return *this;
}

trivial_runtime_info::~trivial_runtime_info() = default;

bool trivial_runtime_info::reduced_between_activations(unsigned param) const {
    return m_reduced.at(param);
}

constraint_runtime_info::queue_type trivial_runtime_info::originating_queue() const {
    return CONSTRAINT_QUEUE;
}

void trivial_runtime_info::put_in_queue(queue_type) {
    throw std::runtime_error("trivial_runtime_info does not support put_in_queue");
}

const iset& trivial_runtime_info::domain(unsigned param) const {
    return m_variables.at(param);
}

void trivial_runtime_info::set_domain(unsigned param, iset domain) {
    iset& current = m_variables.at(param);
    if (same(current, domain))
        return;
    m_modified[param] = true;
    current = std::move(domain);
}

unsigned trivial_runtime_info::arity() const {
    return static_cast<unsigned>(m_variables.size());
}

void trivial_runtime_info::deallocate_watch(unsigned param_index, watch_type type,
                                            watch_handle_t handle) {
    QARN_TEST_CHECK(DEALLOCATE_PARAM, param_index < m_watches.size());
    std::vector<watch>& watches = m_watches[param_index];
    bool watch_found = false;
    for (std::size_t i = 0; i < watches.size(); ++i) {
        if (watches[i].handle != handle)
            continue;
        QARN_TEST_CHECK(DEALLOCATE_NOT_VALUE, !watches[i].m_is_value_watch);
        QARN_TEST_CHECK(DEALLOCATE_TYPE, watches[i].m_value_or_type == type);
        watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
        watch_found = true;
        break;
    }
    QARN_TEST_CHECK(DEALLOCATE_FOUND, watch_found);
}

watch_handle_t trivial_runtime_info::allocate_watch(unsigned param_index, watch_type type) {
    const int value = type;
    QARN_TEST_CHECK(ALLOCATE_NEW, !watched(param_index, value, false));
    watch_handle_t handle;
    // A parameter beyond the table gets no watch, so the check below fails.
    if (param_index < m_watches.size()) {
        handle = gen_new_watch_handle();
        m_watches[param_index].push_back(watch{handle, false, value});
    }
    QARN_TEST_CHECK(ALLOCATE_DONE, watched(param_index, value, false));
    return handle;
}

void trivial_runtime_info::deallocate_value_watch(unsigned param_index, int value,
                                                  watch_handle_t handle) {
    bool watch_found = false;
    // A parameter beyond the table has no watches to release.
    if (param_index < m_watches.size()) {
        std::vector<watch>& param_watches = m_watches[param_index];
        for (std::size_t i = 0; i < param_watches.size();) {
            if (param_watches[i].handle != handle) {
                ++i;
                continue;
            }
            QARN_TEST_CHECK(DEALLOCATE_VALUE_ONCE, !watch_found);
            QARN_TEST_CHECK(DEALLOCATE_VALUE_KIND, param_watches[i].m_is_value_watch);
            QARN_TEST_CHECK(DEALLOCATE_VALUE_VALUE, param_watches[i].m_value_or_type == value);
            param_watches.erase(param_watches.begin() + static_cast<std::ptrdiff_t>(i));
            watch_found = true;
        }
    }
    QARN_TEST_CHECK(DEALLOCATE_VALUE_FOUND, watch_found);
}

watch_handle_t trivial_runtime_info::allocate_value_watch(unsigned param_index, int value) {
    QARN_TEST_CHECK(ALLOCATE_VALUE_NEW, !watched(param_index, value, true));
    watch_handle_t handle;
    // A parameter beyond the table gets no watch, so the check below fails.
    if (param_index < m_watches.size()) {
        handle = gen_new_watch_handle();
        m_watches[param_index].push_back(watch{handle, true, value});
    }
    QARN_TEST_CHECK(ALLOCATE_VALUE_DONE, watched(param_index, value, true));
    return handle;
}

bool trivial_runtime_info::querying_domain() const {
    return m_querying;
}

void trivial_runtime_info::print(std::ostream& os) const {
    for (unsigned p = 0; p < arity(); ++p) {
        print_param(os, p);
        if (m_reduced[p])
            os << "(m)";
        if (!m_watches[p].empty()) {
            os << " [watch ";
            for (std::size_t i = 0; i < m_watches[p].size(); ++i) {
                if (i)
                    os << ", ";
                const watch& w = m_watches[p][i];
                if (w.m_is_value_watch)
                    os << w.m_value_or_type;
                else
                    os << static_cast<watch_type>(w.m_value_or_type);
            }
            os << ']';
        }
        os << ": " << m_variables[p] << '\n';
    }
}

void trivial_runtime_info::print_param(std::ostream& os, unsigned param) const {
    os << 'V' << param;
}

bool trivial_runtime_info::watched(unsigned param_index, int value_or_type,
                                   bool is_value) const {
    if (param_index >= m_watches.size())
        return false;
    for (const watch& w : m_watches[param_index])
        if (w.m_is_value_watch == is_value && w.m_value_or_type == value_or_type)
            return true;
    return false;
}

bool trivial_runtime_info::is_watch_triggered(unsigned param_index, const watch& w) const {
    const iset& previous = m_variables_prev[param_index];
    const iset& current = m_variables[param_index];
    if (w.m_is_value_watch)
        return previous.contains(w.m_value_or_type) && !current.contains(w.m_value_or_type);
    switch (w.m_value_or_type) {
    case MODIFICATION_WATCH:
        return true;
    case FINALIZATION_WATCH:
        return current.size() == 1;
    case LOWER_BOUND_WATCH:
        return min_differs(previous, current);
    case UPPER_BOUND_WATCH:
        return max_differs(previous, current);
    default:
        throw std::runtime_error("unknown type of watch");
    }
}

bool trivial_runtime_info::are_all_singletons() const {
    return std::all_of(m_variables.begin(), m_variables.end(),
                       [](const iset& d) { return d.size() == 1; });
}

bool trivial_runtime_info::same_next_state(const trivial_runtime_info& other) const {
    if (m_variables.size() != other.m_variables.size())
        return false;
    for (std::size_t i = 0; i < m_variables.size(); ++i)
        if (!same(m_variables[i], other.m_variables[i]))
            return false;
    return m_modified == other.m_modified;
}

watch_handle_t trivial_runtime_info::gen_new_watch_handle() {
    m_watcher_records.push_back(0);
    return watch_handle_t(std::prev(m_watcher_records.end()));
}

void trivial_runtime_info::advance_modified(bool recompute) {
    for (std::size_t i = 0; i < m_modified.size(); ++i) {
        if (recompute)
            m_modified[i] = m_first_activation || m_variables_prev.size() <= i ||
                            !same(m_variables_prev[i], m_variables[i]);
        if (m_modified[i])
            QARN_TEST_CHECK(MODIFIED_CHANGED, m_first_activation || m_variables_prev.size() <= i ||
                                                  !same(m_variables_prev[i], m_variables[i]));
    }
    m_reduced = m_modified;
    m_modified.assign(arity(), false);
}

void trivial_runtime_info::assign_modifications(const trivial_runtime_info& other) {
    for (unsigned p = 0; p < other.m_modified.size(); ++p)
        if (other.m_modified[p])
            set_domain(p, other.m_variables[p]);
}

void trivial_runtime_info::backtrack_to(const trivial_runtime_info& other) {
    m_reduced.assign(other.m_reduced.size(), true);
    m_modified.assign(other.m_modified.size(), false);
    m_variables_prev = other.m_variables;
    m_variables = other.m_variables;
    m_valid = false;
    m_first_activation = true;
}

void trivial_runtime_info::undo_modifications() {
    m_variables = m_variables_prev;
    m_modified.assign(arity(), false);
}

trivial_runtime_info::result_type trivial_runtime_info::maybe_propagate(
    constraint_propagator& propagator) {
    if (m_valid) {
        advance_modified(true);
        return VALID;
    }
    bool due = arity() == 0;
    for (unsigned p = 0; p < arity() && !due; ++p) {
        if (!m_modified[p])
            continue;
        for (const watch& w : m_watches[p]) {
            if (is_watch_triggered(p, w)) {
                due = true;
                break;
            }
        }
    }
    if (!due && !m_first_activation)
        return NOT_WATCHED;
    advance_modified(true);
    remember_domains();
    const propagation_types::result_type result = propagator.propagate(*this);
    if (m_querying)
        undo_modifications();
    if (result == propagation_types::VALID)
        m_valid = true;
    m_first_activation = false;
    advance_modified(false);
    return static_cast<result_type>(result);
}

void trivial_runtime_info::random_reduce(const std::vector<int>& assignment) {
    const unsigned count = static_cast<unsigned>(std::min<std::size_t>(assignment.size(), arity()));
    unsigned free = 0;
    for (unsigned p = 0; p < count; ++p)
        if (m_variables[p].size() != 1)
            ++free;
    unsigned num_to_reduce =
        random::gen(10) == 0 ? random::range(1u, free) : random::range(1u, std::min(free, 2u));
    unsigned min_to_finalize = random::gen(2) != 0 ? random::range(0u, num_to_reduce) : 0;
    for (unsigned p = 0; p < count && free != 0; ++p) {
        const iset& domain = m_variables[p];
        if (domain.size() == 1)
            continue;
        // Selection sampling: exactly num_to_reduce of the free parameters.
        if (random::gen(free--) >= num_to_reduce)
            continue;
        const int assigned = assignment[p];
        const bool in_domain = domain.contains(assigned);
        if (random::gen(num_to_reduce) >= min_to_finalize && domain.size() != 2) {
            iset keep(domain);
            keep.erase(iset::range_type(assigned, assigned));
            iset narrowed(domain);
            const int dropped = keep.rand();
            narrowed.erase(iset::range_type(dropped, dropped));
            // Small domains stop at the first chance, larger ones after a
            // few intersections with random sets.
            for (;;) {
                if (random::gen(3) != 0) {
                    if (domain.size() >= 1 && domain.size() <= 101)
                        break;
                    if (random::gen(5) == 0)
                        break;
                }
                const int v = in_domain ? assigned : keep.rand();
                narrowed.intersect(random_nonempty_var(false, MIN_DOMAIN, MAX_DOMAIN));
                narrowed.insert(iset::range_type(v, v));
            }
            set_domain(p, std::move(narrowed));
        } else {
            const int v = in_domain ? assigned : domain.rand();
            set_domain(p, iset(v));
            if (min_to_finalize > 0)
                --min_to_finalize;
        }
        --num_to_reduce;
    }
    QARN_TEST_CHECK(REDUCE_ALL, num_to_reduce == 0);
    QARN_TEST_CHECK(REDUCE_FINALIZED, min_to_finalize == 0);
}

void trivial_runtime_info::random_reduce() {
    std::vector<int> assignment;
    assignment.reserve(arity());
    for (const iset& d : m_variables)
        assignment.push_back(d.rand());
    random_reduce(assignment);
}

std::ostream& operator<<(std::ostream& os, trivial_runtime_info::result_type result) {
    switch (result) {
    case trivial_runtime_info::UNSAT:
        return os << "UNSAT";
    case trivial_runtime_info::VALID:
        return os << "VALID";
    case trivial_runtime_info::CONSISTENT:
        return os << "CONSISTENT";
    case trivial_runtime_info::NOT_WATCHED:
        return os << "NOT_WATCHED";
    }
    return os;
}

} // namespace qarn
