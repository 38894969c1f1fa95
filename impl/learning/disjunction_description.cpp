// Resolution of two disjunction descriptions and the bookkeeping of their
// literals, parameter maps and base constraints.
#include "impl/learning/disjunction_description.h"

#include <utility>

#include "impl/propagators/clause_propagator.h"

namespace qarn {

disjunction_specification::disjunction_specification(const constraint_runtime_info& ri,
                                                     const constraint_propagator& propagator,
                                                     const std::vector<unsigned>& map)
    : m_ri(&ri), m_map(map) {
    propagator.get_disjunction_specification(*this);
    m_base_count = propagator.count_params() - m_literal_count;
}

int disjunction_specification::find_literal(unsigned variable) const {
    for (unsigned i = 0; i < m_literal_count; ++i)
        if (literal_variable(i) == variable)
            return static_cast<int>(i);
    return -1;
}

bool disjunction_specification::has_base_variable(unsigned variable) const {
    if (!m_base)
        return false;
    for (unsigned k = 0; k < m_base_count; ++k)
        if (base_variable(k) == variable)
            return true;
    return false;
}

bool disjunction_specification::base_meets_literals(const disjunction_specification& with_base,
                                                    const disjunction_specification& other) {
    if (!with_base.m_base)
        return false;
    for (unsigned k = 0; k < with_base.m_base_count; ++k)
        if (other.has_literal(with_base.base_variable(k)))
            return true;
    return false;
}

std::unique_ptr<constraint_propagator> disjunction_specification::combine(
    disjunction_specification& other, unsigned pivot, std::vector<unsigned>& out) {
    out.clear();
    // A base constraint cannot absorb a literal of the other side.
    if (base_meets_literals(*this, other) || base_meets_literals(other, *this))
        return nullptr;
    const bool here = has_literal(pivot);
    const bool there = other.has_literal(pivot);
    if (here && there)
        return combine_literal_pivot(other, pivot, out);
    if (!here && !there)
        return combine_constraint_pivot(other, pivot, out);
    return nullptr;
}

std::unique_ptr<constraint_propagator> disjunction_specification::combine_literal_pivot(
    disjunction_specification& other, unsigned pivot, std::vector<unsigned>& out) {
    disjunction_specification result;
    if (m_base && other.m_base) {
        // Both bases survive: the base constraint describes their disjunction.
        disjunction_specification both;
        if (!m_base->disjoin_constraint(*this, other, both))
            return nullptr;
        disjunction_specification mine, theirs;
        mine.append_literals(*this);
        theirs.append_literals(other);
        result.resolve_literals(mine, theirs, pivot);
        result.append_literals(both);
        result.steal_constraint(both);
    } else {
        // At most one base: it is carried over as it is. Without any, the
        // resolvent is a plain clause.
        result.resolve_literals(*this, other, pivot);
        if (other.m_base)
            result.append_constraint(other);
        else if (m_base)
            result.append_constraint(*this);
    }
    return result.make_constraint(out);
}

std::unique_ptr<constraint_propagator> disjunction_specification::combine_constraint_pivot(
    disjunction_specification& other, unsigned pivot, std::vector<unsigned>& out) {
    if (!m_base || !other.m_base)
        return nullptr;
    if (has_literal(pivot) || other.has_literal(pivot))
        return nullptr;
    disjunction_specification resolved;
    if (!m_base->combine_base_constraints(*this, other, pivot, resolved))
        return nullptr;
    disjunction_specification result;
    // The side whose base starts with the pivot puts its literals last.
    if (m_base_count > 0 && base_variable(0) == pivot)
        result.resolve_literals(other, *this, pivot);
    else
        result.resolve_literals(*this, other, pivot);
    result.append_literals(resolved);
    result.steal_constraint(resolved);
    return result.make_constraint(out);
}

void disjunction_specification::resolve_literals(const disjunction_specification& a,
                                                 const disjunction_specification& b,
                                                 unsigned pivot) {
    m_map.clear();
    m_owned_sets.clear();
    const unsigned a_count = a.m_literal_count;
    for (unsigned i = 0; i < a_count; ++i) {
        m_map.push_back(a.literal_variable(i));
        m_owned_sets.push_back(a.literal_set(i));
    }
    bool pivot_emptied = false;
    for (unsigned j = 0; j < b.m_literal_count; ++j) {
        const unsigned v = b.literal_variable(j);
        unsigned k = 0;
        while (k < a_count && m_map[k] != v)
            ++k;
        if (k == a_count) {
            m_map.push_back(v);
            m_owned_sets.push_back(b.literal_set(j));
        } else if (v == pivot) {
            m_owned_sets[k].intersect(b.literal_set(j));
            pivot_emptied = pivot_emptied || m_owned_sets[k].empty();
        } else {
            m_owned_sets[k].insert_all_of(b.literal_set(j));
        }
    }
    m_base_count = 0;
    m_first_literal = 0;
    if (pivot_emptied) {
        unsigned kept = 0;
        for (unsigned i = 0; i < m_owned_sets.size(); ++i) {
            if (m_owned_sets[i].empty())
                continue;
            if (kept != i) {
                m_owned_sets[kept] = std::move(m_owned_sets[i]);
                m_map[kept] = m_map[i];
            }
            ++kept;
        }
        m_owned_sets.resize(kept);
        m_map.resize(kept);
    }
    use_owned_sets();
}

void disjunction_specification::append_literals(const disjunction_specification& other) {
    for (unsigned i = 0; i < other.m_literal_count; ++i) {
        m_map.push_back(other.literal_variable(i));
        m_owned_sets.push_back(other.literal_set(i));
    }
    use_owned_sets();
}

void disjunction_specification::take_base(const disjunction_specification& other,
                                          std::unique_ptr<constraint_propagator> base) {
    m_owned_base = std::move(base);
    m_base = m_owned_base.get();
    m_first_base = m_literal_count;
    m_base_count = 0;
    for (unsigned k = 0; k < other.m_base_count; ++k) {
        m_map.push_back(other.base_variable(k));
        ++m_base_count;
    }
}

void disjunction_specification::append_constraint(const disjunction_specification& other) {
    take_base(other, other.m_base ? other.m_base->clone() : nullptr);
}

void disjunction_specification::steal_constraint(disjunction_specification& other) {
    std::unique_ptr<constraint_propagator> base = std::move(other.m_owned_base);
    if (!base && other.m_base)
        base = other.m_base->clone();
    take_base(other, std::move(base));
}

std::unique_ptr<constraint_propagator> disjunction_specification::make_constraint(
    std::vector<unsigned>& out) {
    if (m_base_count == 0)
        return new_clause(out);
    if (!m_base)
        return nullptr;
    return m_base->new_propagator(*this, out);
}

std::unique_ptr<constraint_propagator> disjunction_specification::new_clause(
    std::vector<unsigned>& out) const {
    auto clause = std::make_unique<clause_propagator>();
    clause->update_literals().assign(m_literal_sets, m_literal_sets + m_literal_count);
    out.resize(m_literal_count);
    for (unsigned i = 0; i < m_literal_count; ++i)
        out[i] = literal_variable(i);
    return clause;
}

void disjunction_specification::clear() {
    m_ri = nullptr;
    m_map.clear();
    m_base_count = 0;
    m_literal_count = 0;
    m_first_literal = 0;
    m_literal_sets = nullptr;
    m_owned_sets.clear();
    m_first_base = 0;
    m_owned_base.reset();
    m_base = nullptr;
}

} // namespace qarn
