// Relation analysis: a relation's tuples are sorted and freed of repeats,
// binary relations meaning x != y, x = y or implying x != y are recognised,
// conflicts are compressed into forbidden boxes posted as clauses, supports
// become one table whose decision diagram every constraint shares.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "frontends/xcsp/xcsp_callbacks.h"
#include "impl/propagators/clause_propagator.h"

namespace relation_analysis_detail {

// Whether DISABLE_IMPLY is set; read once for the process.
bool imply_disabled() {
    static const bool disabled = std::getenv("DISABLE_IMPLY") != nullptr;
    return disabled;
}

// The values outside a box column, within those a domain can hold.
qarn::iset column_complement(const qarn::tuple_set::iset& column) {
#if QARN_SMALL_DOMAINS
    qarn::iset out;
    for (int v = qarn::MIN_DOMAIN; v <= qarn::MAX_DOMAIN; ++v)
        if (!column.contains(v))
            out.insert(qarn::iset::range_type(v, v));
    return out;
#else
    qarn::iset out(column);
    out.complement();
    return out;
#endif
}

} // namespace relation_analysis_detail

typedef xcsp_callbacks::relation_info_type relation_info;

void relation_info::build(memory_manager& tables) {
    if (!std::is_sorted(m_tuples.begin(), m_tuples.end()))
        std::sort(m_tuples.begin(), m_tuples.end());
    m_tuples.erase(std::unique(m_tuples.begin(), m_tuples.end()), m_tuples.end());
    if (tuples_equivalent_with_diff())
        m_kind = DIFFERENT;
    else if (tuples_equivalent_with_equality())
        m_kind = EQUAL;
    else if (tuples_imply_diff())
        m_kind = IMPLIES_DIFFERENT;
    if (m_conflicts) {
        if (m_kind != GENERAL)
            collect_tuple_domains(m_precondition_domains);
        m_boxes.insert(m_tuples);
        return;
    }
    // x != y and x = y alone would let the variables take values that no
    // tuple holds: they are narrowed to the column values as well.
    if (m_kind == DIFFERENT || m_kind == EQUAL)
        collect_tuple_domains(m_constraining_domains);
    m_prototype = std::make_unique<qarn::support_table_propagator>(tables, m_tuples);
    std::vector<std::vector<int>>().swap(m_tuples);
}

bool relation_info::tuples_all_equal_pairs() const {
    for (const std::vector<int>& t : m_tuples)
        if (t[0] != t[1])
            return false;
    return true;
}

bool relation_info::tuples_equivalent_with_diff() const {
    if (!binary())
        return false;
    return m_conflicts ? tuples_all_equal_pairs() : tuples_are_complementary_equal_pairs();
}

bool relation_info::tuples_equivalent_with_equality() const {
    if (!binary())
        return false;
    return m_conflicts ? tuples_are_complementary_equal_pairs() : tuples_all_equal_pairs();
}

bool relation_info::tuples_imply_diff() const {
    if (!binary() || relation_analysis_detail::imply_disabled())
        return false;
    return m_conflicts ? tuples_have_all_equal_pairs() : tuples_are_all_different();
}

bool relation_info::tuples_are_complementary_equal_pairs() const {
    const std::size_t count = m_tuples.size();
    const unsigned n =
        static_cast<unsigned>((std::sqrt(4.0 * static_cast<double>(count) + 1) + 1.1) * 0.5);
    if (static_cast<std::uint32_t>(n * (n - 1)) != static_cast<std::uint32_t>(count))
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (m_tuples[i][0] == m_tuples[i][1])
            return false;
        if (i > 0 && !(m_tuples[i - 1] < m_tuples[i]))
            return false;
    }
    qarn::iset first, second;
    collect_tuple_domain(0, first);
    collect_tuple_domain(1, second);
    return first.size() == second.size() && qarn::iset::same_elements(first, second) &&
           first.size() == n;
}

bool relation_info::tuples_have_all_equal_pairs() const {
    bool has_equal_pair = false;
    for (std::size_t i = 0; i < m_tuples.size(); ++i) {
        if (i > 0 && m_tuples[i][0] != m_tuples[i - 1][0]) {
            if (!has_equal_pair)
                return false;
            has_equal_pair = false;
        }
        if (m_tuples[i][0] == m_tuples[i][1])
            has_equal_pair = true;
    }
    if (!has_equal_pair)
        return false;
    qarn::iset first, second;
    collect_tuple_domain(0, first);
    collect_tuple_domain(1, second);
    return first.size() == second.size() && qarn::iset::same_elements(first, second);
}

bool relation_info::tuples_are_all_different() const {
    for (const std::vector<int>& t : m_tuples)
        if (t[0] == t[1])
            return false;
    return true;
}

void relation_info::collect_tuple_domains(std::vector<qarn::iset>& out) const {
    out.clear();
    if (m_tuples.empty())
        return;
    out.resize(m_tuples.front().size());
    for (unsigned column = 0; column < out.size(); ++column)
        collect_tuple_domain(column, out[column]);
}

void relation_info::collect_tuple_domain(unsigned column, qarn::iset& out) const {
    if (m_tuples.empty())
        return;
    int lo = m_tuples.front()[column], hi = lo;
    for (const std::vector<int>& t : m_tuples) {
        lo = std::min(lo, t[column]);
        hi = std::max(hi, t[column]);
    }
    const long long span = static_cast<long long>(hi) - lo + 1;
    if (span / 4 <= static_cast<long long>(m_tuples.size())) {
        std::vector<unsigned char> seen(static_cast<std::size_t>(span), 0);
        for (const std::vector<int>& t : m_tuples)
            seen[static_cast<std::size_t>(static_cast<long long>(t[column]) - lo)] = 1;
        for (long long i = 0; i < span; ++i)
            if (seen[static_cast<std::size_t>(i)]) {
                const int v = static_cast<int>(lo + i);
                out.insert(qarn::iset::range_type(v, v));
            }
        return;
    }
    std::vector<int> values;
    values.reserve(m_tuples.size());
    for (const std::vector<int>& t : m_tuples)
        values.push_back(t[column]);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (int v : values)
        out.insert(qarn::iset::range_type(v, v));
}

bool relation_info::within_precondition_domains(const qarn::solver& s,
                                                const std::vector<unsigned>& vars) const {
    for (std::size_t i = 0; i < m_precondition_domains.size(); ++i)
        if (!m_precondition_domains[i].contains_all_of(s.domain(vars[i])))
            return false;
    return true;
}

void relation_info::constrain_by_domains(qarn::AST_builder& builder,
                                         const std::vector<unsigned>& vars,
                                         const std::vector<qarn::iset>& sets) const {
    for (std::size_t i = 0; i < sets.size(); ++i)
        if (!sets[i].contains_all_of(builder.owner().domain(vars[i])))
            builder.intersect_variable(sets[i], vars[i]);
}

void relation_info::instantiate(xcsp_callbacks& callbacks, const std::vector<unsigned>& vars) const {
    qarn::AST_builder& builder = callbacks.builder();
    qarn::solver& s = builder.owner();
    if (m_kind != GENERAL && within_precondition_domains(s, vars)) {
        switch (m_kind) {
        case DIFFERENT:
            builder.differentiate_variables(vars[0], vars[1]);
            constrain_by_domains(builder, vars, m_constraining_domains);
            return;
        case EQUAL:
            builder.equate_variables(vars[0], vars[1]);
            constrain_by_domains(builder, vars, m_constraining_domains);
            return;
        default:
            builder.mark_unequal_variables(vars[0], vars[1]);
            break;
        }
    }
    if (m_conflicts)
        instantiate_conflict_set_relation(s, vars);
    else
        instantiate_support_set_relation(s, vars);
    constrain_by_domains(builder, vars, m_constraining_domains);
}

void relation_info::instantiate_conflict_set_relation(qarn::solver& s,
                                                      const std::vector<unsigned>& vars) const {
    for (const qarn::tuple_set::box& box : m_boxes.tuples()) {
        auto clause = std::make_unique<qarn::clause_propagator>();
        std::vector<qarn::iset>& literals = clause->update_literals();
        literals.reserve(box.size());
        for (const qarn::tuple_set::iset& column : box)
            literals.push_back(relation_analysis_detail::column_complement(column));
        qarn::constraint_connectivity_info& record = s.add_constraint(std::move(clause));
        record.variables().reserve(vars.size());
        for (unsigned v : vars)
            record << v;
    }
}

void relation_info::instantiate_support_set_relation(qarn::solver& s,
                                                     const std::vector<unsigned>& vars) const {
    qarn::constraint_connectivity_info& record = s.add_constraint(m_prototype->clone());
    record.variables().reserve(vars.size());
    for (unsigned v : vars)
        record << v;
}
