// Combination of the learned constraint with the reason of its latest node:
// the two propagators combine themselves (the learned general constraint
// first, else the reason with the learned literals as a clause); the result
// must conflict where the reason propagated and replaces the learned
// constraint. Numbering: L learned nodes, R reason parameters; out
// parameters use e < L for node e's variable and L + i for reason parameter i.
#include <iostream>

#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/learning/learned_type.h"
#include "impl/propagators/clause_propagator.h"

namespace qarn {

unsigned learned_type::get_this_on_right_common_param(const constraint_connectivity_info& record,
                                                      unsigned param,
                                                      std::vector<unsigned>& map) const {
    const unsigned L = static_cast<unsigned>(m_nodes.size());
    const unsigned R = record.arity();
    map.resize(L);
    for (unsigned k = 0; k < L; ++k)
        map[k] = R + k;
    if (R == 0)
        return NO_NODE;
    unsigned pivot = NO_NODE;
    for (unsigned j = 0; j < R; ++j) {
        unsigned n = node_of(record.variable(j));
        if (n == NO_NODE)
            continue;
        map[n] = j; // a later parameter on the same variable wins
        if (j == param)
            pivot = n;
    }
    return pivot;
}

std::unique_ptr<constraint_propagator> learned_type::combine_as_constraint(
    const constraint_propagator& reason, const constraint_connectivity_info& record,
    unsigned param, unsigned entry, std::vector<unsigned>& out) {
    if (!m_general || !m_general->may_combine(reason))
        return nullptr;
    info_type v = view();
    constraint_aged_info a(record, *m_stack, entry, constraint_aged_info::USE_UNDERLYING_EFFORT);
    const unsigned L = static_cast<unsigned>(m_nodes.size());
    std::vector<unsigned> map(record.arity());
    for (unsigned i = 0; i < record.arity(); ++i) {
        unsigned n = node_of(record.variable(i));
        map[i] = n != NO_NODE ? n : L + i;
    }
    return m_general->combine(v, reason, a, map, param, out);
}

std::unique_ptr<constraint_propagator> learned_type::combine_as_clause(
    const constraint_propagator& reason, const constraint_connectivity_info& record,
    unsigned param, unsigned entry, std::vector<unsigned>& out) {
    if (m_general && (m_literals.empty() || !m_explained))
        update_explanation();
    // The learned literals move into a temporary clause and back, never copied.
    clause_propagator clause;
    clause.update_literals() = std::move(m_literals);
    struct give_back {
        clause_propagator& clause;
        std::vector<iset>& literals;
        ~give_back() { literals = std::move(clause.update_literals()); }
    } restore{clause, m_literals};
    if (!reason.may_combine(clause))
        return nullptr;
    info_type v = view();
    constraint_aged_info av(v, *m_stack, entry, m_effort);
    constraint_aged_info ar(record, *m_stack, entry, constraint_aged_info::USE_UNDERLYING_EFFORT);
    std::vector<unsigned> map;
    unsigned pivot = get_this_on_right_common_param(record, param, map);
    std::unique_ptr<constraint_propagator> combined =
        reason.combine(ar, clause, av, map, pivot, out);
    if (combined) {
        const unsigned L = static_cast<unsigned>(m_nodes.size());
        const unsigned R = ar.arity();
        for (unsigned& e : out)
            e = (e + L) % (L + R);
    }
    return combined;
}

bool learned_type::combined_conflicts(const constraint_connectivity_info& record,
                                      const constraint_propagator& combined,
                                      const std::vector<unsigned>& params, unsigned entry) const {
    info_type v = view();
    constraint_aged_info a(record, *m_stack, entry, m_effort);
    constraint_explicit_info x(static_cast<unsigned>(params.size()));
    const unsigned L = static_cast<unsigned>(m_nodes.size());
    for (unsigned i = 0; i < params.size(); ++i) {
        unsigned e = params[i];
        if (e < L) {
            unsigned var = m_nodes[e].m_variable;
            unsigned j = 0;
            while (j < record.arity() && record.variable(j) != var)
                ++j;
            x.set_domain(i, j < record.arity() ? a.domain(j) : v.domain(e));
        } else {
            x.set_domain(i, a.domain(e - L));
        }
    }
    return combined.conflicts(x);
}

void learned_type::reconstruct_from_combined(const constraint_connectivity_info& record,
                                             std::unique_ptr<constraint_propagator>& combined,
                                             const std::vector<unsigned>& params,
                                             unsigned entry) {
    const unsigned L = static_cast<unsigned>(m_nodes.size());
    std::vector<unsigned> vars(params.size());
    for (unsigned i = 0; i < params.size(); ++i)
        vars[i] = params[i] < L ? m_nodes.at(params[i]).m_variable
                                : record.variable(params[i] - L);
    m_nodes.resize(params.size());
    for (unsigned i = 0; i < params.size(); ++i)
        m_nodes[i].m_variable = vars[i];
    update_constraint(combined.release());
    if (record.effort() > m_effort)
        m_effort = record.effort();
    construct_from_variables(std::vector<iset>(), entry);
}

bool learned_type::combine(const constraint_propagator& reason,
                           const constraint_connectivity_info& record, unsigned param,
                           unsigned entry) {
    std::unique_ptr<constraint_propagator> combined;
    std::vector<unsigned> out;
    if (m_general) {
        combined = combine_as_constraint(reason, record, param, entry, out);
        if (!combined && (m_literals.empty() || !m_explained))
            update_explanation();
    }
    if (!combined) {
        out.clear();
        combined = combine_as_clause(reason, record, param, entry, out);
        if (!combined)
            return false;
    }
    const bool report = m_solver->m_report_level >= 2;
    if (!combined_conflicts(record, *combined, out, entry)) {
        if (report)
            std::cout << "combined doesn't meet the requirements, "
                      << " falling back to the explanations\n";
        return false;
    }

    // Keep what the learned constraint was, to restore it should the
    // combination turn out imprecise on the learned nodes.
    std::vector<implication_node> old_nodes = m_nodes;
    std::vector<iset> old_literals = m_literals;
    std::unique_ptr<constraint_propagator> old_owned = std::move(m_owned);
    const constraint_propagator* old_general = m_general;
    const bool old_explained = m_explained;
    const unsigned old_level = m_current_level, old_count = m_level_count, old_effort = m_effort;

    reconstruct_from_combined(record, combined, out, entry);
    if (report) {
        info_type v = view();
        std::cout << "after combine: ";
        m_general->print(std::cout, &v);
        std::cout << "\n\n";
    }
    if (!conflicts()) {
        // An imprecise combination: fall back to the explanations with the
        // learned constraint as it was.
        if (report) {
            std::cout << "Failing assumption for domains ";
            view().print(std::cout);
            std::cout << '\n';
        }
        m_owned = std::move(old_owned);
        m_general = old_general;
        m_nodes = std::move(old_nodes);
        m_latest_stale = true;
        m_literals = std::move(old_literals);
        for (unsigned k = 0; k < m_nodes.size(); ++k)
            m_variable_to_node.at(m_nodes[k].m_variable) = k;
        m_explained = old_explained;
        m_current_level = old_level;
        m_level_count = old_count;
        m_effort = old_effort;
        return false;
    }
    if (m_solver->m_relax_cause || (m_current_level != 0 && m_level_count >= 2))
        relax_cause();
    relax_if_required();
    return true;
}

} // namespace qarn
