// Two-watched-literal propagation of clauses with set literals, the clause
// propagator's own slots and the watch-less clause.
#include "impl/propagators/clause_propagator.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "impl/engine/domain_access.h"
#include "impl/learning/disjunction_description.h"
#include "impl/learning/literal_data.h"

namespace qarn {

void throw_modifying_clause_at_runtime() {
    throw std::runtime_error("Modifying the clause at runtime");
}

// ---------------------------------------------------------------------------
// The algorithm

std::vector<iset>& clause_propagation_algo::update_literals() {
    if (!m_watches[0].handle.is_null() || !m_watches[1].handle.is_null())
        throw_modifying_clause_at_runtime();
    return m_literals;
}

unsigned clause_propagation_algo::count_watches() const {
    return static_cast<unsigned>(!m_watches[0].handle.is_null()) +
           static_cast<unsigned>(!m_watches[1].handle.is_null());
}

void clause_propagation_algo::forget_watches() {
    m_watches[0].handle = watch_handle_t();
    m_watches[1].handle = watch_handle_t();
}

void clause_propagation_algo::explain_propagation(unsigned, const iset&, const iset&,
                                                  const ri_type&,
                                                  std::vector<iset>& explanation) const {
    explanation = m_literals;
}

template <class D>
int clause_propagation_algo::best_watch_value(const D& domains, unsigned i, int hint) const {
    const iset& set = m_literals[i];
    const iset& domain = domains(i);
    // Two plain ranges: the least common value at or above the hint, else
    // the least common value, without building index maps.
    int set_lo, set_hi, lo, hi;
    if (set.plain_range(set_lo, set_hi) && domain.plain_range(lo, hi)) {
        lo = std::max(lo, set_lo);
        hi = std::min(hi, set_hi);
        return hint >= lo && hint <= hi ? hint : lo;
    }
    iset::iterator it = set.lower_bound(hint);
    if (it != set.end() && domain.contains(*it))
        return *it;
    it = domain.lower_bound(hint);
    if (it != domain.end() && set.contains(*it))
        return *it;
    iset common(set);
    common.intersect(domain);
    it = common.lower_bound(hint);
    // Nothing at or above the hint: wrap round to the smallest common value.
    return it != common.end() ? *it : common.min();
}

template <class D>
const iset& clause_propagation_algo::watched_domain(const D& domains, unsigned w) const {
    const watch_record& record = m_watches[w];
    if constexpr (std::is_same_v<D, live_domains>) {
        if (record.var != NO_VARIABLE)
            return domains.record.variable_domain(record.var);
    }
    return domains(static_cast<unsigned>(record.index));
}

template <class D>
bool clause_propagation_algo::is_true_watch(const D& domains, unsigned w) const {
    const watch_record& record = m_watches[w];
    const iset& domain = watched_domain(domains, w);
    int lo, hi;
    if (record.literal_lo <= record.literal_hi && domain.plain_range(lo, hi))
        return record.literal_lo <= lo && hi <= record.literal_hi;
    return m_literals[static_cast<unsigned>(record.index)].contains_all_of(domain);
}

template <class D>
void clause_propagation_algo::add_watch(ri_type& ri, const D& domains, unsigned i, int hint) {
    const int value = best_watch_value(domains, i, hint);
    watch_handle_t handle = ri.allocate_value_watch(i, value);
    watch_record& record = m_watches[0].index < 0 ? m_watches[0] : m_watches[1];
    record.index = static_cast<int>(i);
    record.handle = handle;
    record.value = value;
    record.var = NO_VARIABLE;
    if constexpr (std::is_same_v<D, live_domains>)
        record.var = domains.record.variable(i);
    if (!m_literals[i].plain_range(record.literal_lo, record.literal_hi)) {
        record.literal_lo = 1;
        record.literal_hi = 0;
    }
}

void clause_propagation_algo::remove_watch(ri_type& ri, unsigned w) {
    watch_record& record = m_watches[w];
    // A watch found true or unit at init holds no value watch.
    if (!record.handle.is_null())
        ri.deallocate_value_watch(static_cast<unsigned>(record.index), record.value,
                                  record.handle);
    record.handle = watch_handle_t();
    record.index = -1;
    record.var = NO_VARIABLE;
    record.literal_lo = 1;
    record.literal_hi = 0;
}

template <class D>
void clause_propagation_algo::change_watch(ri_type& ri, const D& domains, unsigned w,
                                           unsigned j) {
    const int hint = m_watches[w].value;
    remove_watch(ri, w);
    add_watch(ri, domains, j, hint);
}

template <class D>
clause_propagation_algo::result_type clause_propagation_algo::unit_propagate(
    ri_type& ri, const D& domains, unsigned i) {
    const iset& domain = domains(i);
    if (m_literals[i].contains_all_of(domain))
        return VALID;
    if (!narrow_domain(ri, i, [&](iset& d) { d.intersect(m_literals[i]); }))
        return UNSAT;
    return VALID;
}

template <class D>
int clause_propagation_algo::find_replacement(const D& domains, unsigned p, int skip) const {
    const unsigned n = count_params();
    for (unsigned k = p + 1 == n ? 0 : p + 1; k != p; k = k + 1 == n ? 0 : k + 1) {
        if (static_cast<int>(k) == skip)
            continue;
        if (!is_false(domains, k))
            return static_cast<int>(k);
    }
    return -1;
}

bool clause_propagation_algo::init(ri_type& ri) {
    const view_domains domains{ri};
    m_watches[0] = watch_record();
    m_watches[1] = watch_record();
    const unsigned n = count_params();
    if (ri.arity() != n)
        throw std::runtime_error("Number of variables and literals differ");
    if (n == 0)
        return false;
    const bool querying = ri.querying_domain();
    if (!querying) {
        for (unsigned i = 0; i < n; ++i) {
            if (is_true(domains, i)) {
                m_watches[0].index = static_cast<int>(i);
                return true;
            }
        }
    }
    int first = -1, second = -1;
    for (unsigned i = 0; i < n && second < 0; ++i) {
        if (is_false(domains, i))
            continue;
        (first < 0 ? first : second) = static_cast<int>(i);
    }
    if (first < 0)
        return false;
    if (second < 0) {
        const unsigned i = static_cast<unsigned>(first);
        if (!querying) {
            // Left to the first propagation, which narrows the literal.
            m_watches[0].index = first;
            return true;
        }
        add_watch(ri, domains, i, MIN_DOMAIN);
        for (unsigned j = 0; j < n; ++j) {
            if (j == i || m_literals[j].empty())
                continue;
            // On the set's least value, whether or not the domain holds it.
            const int value = m_literals[j].min();
            m_watches[1].handle = ri.allocate_value_watch(j, value);
            m_watches[1].index = static_cast<int>(j);
            m_watches[1].value = value;
            break;
        }
        return true;
    }
    add_watch(ri, domains, static_cast<unsigned>(first), MIN_DOMAIN);
    add_watch(ri, domains, static_cast<unsigned>(second), MIN_DOMAIN);
    return true;
}

template <class D>
clause_propagation_algo::result_type clause_propagation_algo::refresh_watch(ri_type& ri,
                                                                            const D& domains,
                                                                            unsigned w) {
    const unsigned o = 1 - w;
    const unsigned p = static_cast<unsigned>(m_watches[w].index);
    if (!is_false(domains, p)) {
        change_watch(ri, domains, w, p);
        return m_watches[o].index >= 0 ? CONSISTENT : unit_propagate(ri, domains, p);
    }
    const int k = find_replacement(domains, p, m_watches[o].index);
    if (k < 0) {
        const int q = m_watches[o].index;
        if (q < 0 || unit_propagate(ri, domains, static_cast<unsigned>(q)) == UNSAT)
            return UNSAT;
        if (!ri.querying_domain() ||
            domains(static_cast<unsigned>(q)).contains(m_watches[o].value))
            return VALID;
        change_watch(ri, domains, o, static_cast<unsigned>(q));
        return VALID;
    }
    if (is_true(domains, static_cast<unsigned>(k)))
        return VALID;
    change_watch(ri, domains, w, static_cast<unsigned>(k));
    return CONSISTENT;
}

clause_propagation_algo::result_type clause_propagation_algo::propagate(ri_type& ri) {
    return with_domains(ri, [&](const auto& domains) { return propagate_with(ri, domains); });
}

template <class D>
clause_propagation_algo::result_type clause_propagation_algo::propagate_with(ri_type& ri,
                                                                             const D& domains) {
    const int watched = (m_watches[0].index >= 0) + (m_watches[1].index >= 0);
    if (watched == 0)
        return UNSAT;
    const bool querying = ri.querying_domain();
    if (watched == 1) {
        const unsigned w = m_watches[0].index >= 0 ? 0 : 1;
        if (querying)
            return refresh_watch(ri, domains, w);
        return unit_propagate(ri, domains, static_cast<unsigned>(m_watches[w].index));
    }
    if (is_true_watch(domains, 0) || is_true_watch(domains, 1))
        return VALID;

    bool valid = false;
    for (unsigned w = 0; w < 2; ++w) {
        const unsigned o = 1 - w;
        const unsigned p = static_cast<unsigned>(m_watches[w].index);
        if (watched_domain(domains, w).contains(m_watches[w].value))
            continue;
        if (!is_false(domains, p)) {
            // The literal still holds values: the watch moves on within it.
            change_watch(ri, domains, w, p);
            if (m_watches[o].index >= 0)
                continue;
            if (unit_propagate(ri, domains, p) == UNSAT)
                return UNSAT;
        } else {
            const int k = find_replacement(domains, p, m_watches[o].index);
            if (k >= 0) {
                if (!is_true(domains, static_cast<unsigned>(k))) {
                    change_watch(ri, domains, w, static_cast<unsigned>(k));
                    continue;
                }
            } else {
                // Only the other watched literal is left: it must hold.
                const int q = m_watches[o].index;
                if (q < 0 || unit_propagate(ri, domains, static_cast<unsigned>(q)) == UNSAT)
                    return UNSAT;
                if (!querying)
                    return VALID;
                if (!domains(static_cast<unsigned>(q)).contains(m_watches[o].value))
                    change_watch(ri, domains, o, static_cast<unsigned>(q));
            }
        }
        if (!querying)
            return VALID;
        valid = true;
    }
    return valid ? VALID : CONSISTENT;
}

bool clause_propagation_algo::conflicts(const ri_type& ri) const {
    const view_domains domains{ri};
    for (const watch_record& record : m_watches)
        if (record.index >= 0 && !is_false(domains, static_cast<unsigned>(record.index)))
            return false;
    for (unsigned i = 0; i < count_params(); ++i)
        if (!is_false(domains, i))
            return false;
    return true;
}

bool clause_propagation_algo::constraint_check(const ri_type& ri) const {
    const view_domains domains{ri};
    for (unsigned i = 0; i < count_params(); ++i)
        if (!is_false(domains, i))
            return true;
    return false;
}

bool clause_propagation_algo::potentially_falsifying(const ri_type& ri, unsigned param) const {
    const view_domains domains{ri};
    return !is_false(domains, param) && !is_true(domains, param);
}

void clause_propagation_algo::print(std::ostream& os, const ri_type* ri) const {
    if (ri) {
        ri->print_prefix(os);
        os << ' ';
    }
    os << '[';
    for (unsigned i = 0; i < count_params(); ++i) {
        if (i)
            os << ", ";
        for (const watch_record& record : m_watches) {
            if (record.index != static_cast<int>(i))
                continue;
            os << '*';
            if (!record.handle.is_null())
                os << record.value << '?';
            break;
        }
        if (ri)
            ri->print_param(os, i);
        else
            os << 'P' << i;
        literal_data::print_right_hand_side(os, m_literals[i]);
    }
    os << ']';
}

// ---------------------------------------------------------------------------
// The clause propagator

std::unique_ptr<constraint_propagator> clause_propagator::clone() const {
    return std::make_unique<clause_propagator>(*this);
}

std::unique_ptr<constraint_propagator> clause_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    const std::vector<iset>& sets = literals();
    unsigned first = 0;
    while (first < sets.size() && ri.domain(first).contains_all_of(sets[first]))
        ++first;
    if (first == sets.size())
        return nullptr;
    params.clear();
    auto result = std::make_unique<clause_propagator>(*this);
    result->forget_watches();
    std::vector<iset>& out = result->update_literals();
    for (unsigned i = first; i < out.size(); ++i)
        out[i].intersect(ri.domain(i));
    unsigned kept = 0;
    for (unsigned i = 0; i < out.size(); ++i) {
        if (out[i].empty())
            continue;
        if (kept != i)
            out[kept] = std::move(out[i]);
        params.push_back(i);
        ++kept;
    }
    out.resize(kept);
    return result;
}

bool clause_propagator::potentially_falsifying(const constraint_runtime_info& ri,
                                               unsigned param) const {
    return m_algo.potentially_falsifying(ri, param);
}

bool clause_propagator::get_disjunction_specification(disjunction_specification& description) const {
    description.set_literals(0, literals().data(), static_cast<unsigned>(literals().size()));
    description.set_borrowed_base(nullptr, 0);
    description.set_base_count(0);
    return true;
}

bool clause_propagator::may_combine(const constraint_propagator& other) const {
    if (dynamic_cast<const clause_propagator*>(&other))
        return false;
    return other.may_combine(*this);
}

std::unique_ptr<constraint_propagator> clause_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    return combine_other_first(this_ri, other, other_ri, other_to_this, param, out_params);
}

// ---------------------------------------------------------------------------
// The watch-less clause

void stateless_clause_propagator::throw_modifying_clause_at_runtime() {
    qarn::throw_modifying_clause_at_runtime();
}

constraint_propagator::result_type stateless_clause_propagator::propagate(
    constraint_runtime_info& ri) {
    m_propagated = true;
    unsigned possible = 0, last = 0;
    for (unsigned i = 0; i < m_literals.size(); ++i) {
        const iset& domain = ri.domain(i);
        if (m_literals[i].contains_all_of(domain))
            return VALID;
        if (m_literals[i].contains_any_of(domain)) {
            ++possible;
            last = i;
        }
    }
    if (possible == 0)
        return UNSAT;
    if (possible > 1)
        return CONSISTENT;
    if (!narrow_domain(ri, last, [&](iset& d) { d.intersect(m_literals[last]); }))
        return UNSAT;
    return VALID;
}

bool stateless_clause_propagator::conflicts(const constraint_runtime_info& ri) const {
    for (unsigned i = 0; i < m_literals.size(); ++i)
        if (m_literals[i].contains_any_of(ri.domain(i)))
            return false;
    return true;
}

bool stateless_clause_propagator::constraint_check(const constraint_runtime_info& ri) const {
    for (unsigned i = 0; i < ri.arity(); ++i)
        if (m_literals[i].contains_all_of(ri.domain(i)))
            return true;
    return false;
}

void stateless_clause_propagator::print(std::ostream& os,
                                        const constraint_runtime_info* ri) const {
    os << "stateless_clause[";
    for (unsigned i = 0; i < m_literals.size(); ++i) {
        if (i)
            os << ", ";
        if (ri) {
            ri->print_param(os, i);
            os << ':';
        }
        os << '{' << m_literals[i] << '}';
    }
    os << "]\n";
}

std::unique_ptr<constraint_propagator> stateless_clause_propagator::clone() const {
    return std::make_unique<stateless_clause_propagator>(m_literals);
}

} // namespace qarn
