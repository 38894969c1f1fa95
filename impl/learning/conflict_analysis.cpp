// Conflict analysis on the solver's side: the conflicting constraint explains
// its failure, that explanation seeds a learned constraint, and the node with
// the latest trail entry is resolved against the explanation of the
// propagation that made it until a single node stays at the conflict's
// level. Each step combines the two general constraints (-m) or falls back
// to clauses of set literals. The result is inserted as a new constraint,
// initialised by the next propagation.
#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/learning/learned_type.h"
#include "impl/learning/literal_data.h"
#include "impl/propagators/clause_propagator.h"

namespace qarn {

int solver::analyze_conflict(int& learned) {
    learned = -1;
    const unsigned levels = m_assignment.level_count();
    if (levels == 0 && !m_proof_collector->want_proof())
        return -1;
    m_assignment.erase_conflicting_modifications(m_last_activated);

    learned_type conflict(m_assignment, *this);
    if (!generate_conflict_constraint(conflict))
        return static_cast<int>(levels) - 1;

    const int asserting = static_cast<int>(conflict.asserting_level());
    if (asserting >= 0 && m_intersect_with_ground)
        conflict.intersect_with_ground();
    learned = insert_constraint(conflict);
    m_proof_collector->name_conflict_clause(static_cast<unsigned>(learned));
    // At level 0 the recorded derivation is the refutation: nothing is left
    // to jump back to.
    if (levels == 0)
        return -1;
    const int level = find_backtrack_level(conflict, asserting);
    // An opportunistic jump leaves the constraint asserting nothing; it is
    // kept until it is used (see remove_unused_conflict_constraints_maybe).
    if (level < asserting)
        m_unasserted_learned.push_back({static_cast<unsigned>(learned), m_backtracks_search});
    // A jump must leave the conflict's level; a constraint that does not
    // assert below it is kept and the search steps back one level.
    if (level >= static_cast<int>(levels))
        return static_cast<int>(levels) - 1;
    return level;
}

bool solver::generate_conflict_constraint(learned_type& learned) {
    const unsigned c = m_last_activated;
    add_constraint_cost_to_variables(c, m_assignment.cost_increment(),
                                     learned.literals().empty() ? nullptr : &learned.literals());
    learned.clear();
    m_fallback = false;
    m_latest_conflict_vars.clear();

    const unsigned next = constraint_count();
    mark_used(c);
    if (next >= m_first_learned)
        mark_used(next);
    mark_dependency(c, next);
    m_records.at(c).count_conflict();

    explanation_views views =
        get_constraint_explanation(c, NO_PARAM, iset(), conflicting_modification_entry());
    collect_conflict_nodes(learned, views, c, AFTER_LAST_ENTRY);
    const bool result = resolve_conflicting_implications(learned);
    if (!m_fallback)
        ++m_non_fallback_analyses;
    // Nothing replaced the conflicting constraint: learn the clause of its
    // explanation rather than a copy of the constraint.
    if (result && learned.general_constraint() && !learned.owned_constraint()) {
        learned.convert_to_clause();
        learned.relax_if_required();
    }
    return result;
}

unsigned solver::conflicting_modification_entry() const {
    const unsigned size = m_assignment.trail_size();
    if (size == 0)
        return 0;
    auto by_conflicting = [this](unsigned e) {
        const int cause = m_assignment.entry(e).m_cause;
        return cause >= 0 && static_cast<unsigned>(cause) == m_last_activated;
    };
    if (!by_conflicting(size - 1))
        return size;
    unsigned e = size - 1;
    while (e > 0 && by_conflicting(e - 1))
        --e;
    return e;
}

solver::explanation_views solver::get_constraint_explanation(unsigned c, unsigned param,
                                                             const iset& values,
                                                             unsigned entry) const {
    std::vector<iset>& explanation = m_constraint_explanation;
    const constraint_propagator& propagator = *m_propagators.at(c);
    if (const clause_propagator* clause = dynamic_cast<const clause_propagator*>(&propagator))
        return explanation_views{&clause->literals(), nullptr};

    const constraint_connectivity_info& record = m_records.at(c);
    iset new_domain;
    if (param != NO_PARAM) {
        new_domain = m_assignment.var_domain_after_modification(record.variable(param), entry);
        new_domain.compact();
    }
    const unsigned count = record.conflict_count();
    const unsigned effort = count > m_effort_boost_after ? count - m_effort_boost_after : 0;
    constraint_aged_info view(record, m_assignment, entry, effort);
    view.set_latest_tracking(m_check_domain_ages);
    static const iset all(MIN_DOMAIN, MAX_DOMAIN);
    propagator.explain_propagation(param == NO_PARAM ? 0 : param,
                                   m_augment_explanations ? values : all, new_domain, view,
                                   explanation);
    explanation_views views{&explanation, nullptr};
    if (m_proof_collector->want_proof())
        views.rule = propagator.rule(explanation);
    if (m_report_level >= 2)
        report_explanation(std::cout, record, explanation);
    return views;
}

void solver::collect_conflict_nodes(learned_type& learned, explanation_views& views, unsigned c,
                                    unsigned entry) {
    m_proof_collector->record_conflict(c, *views.explanation, std::move(views.rule));
    const constraint_connectivity_info& record = m_records.at(c);
    record_explanation_variables(record, *views.explanation);
    learned.construct_from(record, *m_propagators.at(c), *views.explanation, entry);
    if (m_proof_collector->want_proof() && learned.general_constraint()) {
        // A proof resolves clauses only: the learned constraint becomes a
        // clause at once. When the construction's relaxation explained the
        // conflict anew, the conflict is recorded again with the clause's
        // literals.
        if (learned.literals().empty())
            learned.update_explanation();
        if (!same_set_lists(learned.literals(), *views.explanation)) {
            m_proof_collector->pop_resolution_entry();
            m_proof_collector->record_conflict(c, learned.literals(), nullptr);
        }
        learned.convert_to_clause();
    }
}

void solver::record_explanation_variables(const constraint_connectivity_info& record,
                                          const std::vector<iset>& explanation) {
    const std::size_t n = std::min<std::size_t>(explanation.size(), record.arity());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned var = record.variable(static_cast<unsigned>(i));
        if (!explanation[i].empty() &&
            explanation[i].contains_any_of(m_assignment.var_domain_end_level(var, 0)))
            m_latest_conflict_vars.push_back(var);
    }
}

bool solver::resolve_conflicting_implications(learned_type& learned) {
    unsigned previous = AFTER_LAST_ENTRY;
    for (;;) {
        if (learned.conflict_analysis_complete()) {
            learned.add_vars_potentially_falsifying(m_latest_conflict_vars);
            m_dependencies->compact_prerequisites(constraint_count());
            return true;
        }
        const learned_type::implication_node node =
            learned.nodes()[learned.latest_node_index(NO_NODE)];
        const unsigned e = node.m_modification;
        const int cause = m_assignment.entry(e).m_cause;
        if (cause < 0) {
            if (m_report_level >= 2) {
                std::cout << "No cause for ";
                m_assignment.print_var_name(std::cout, node.m_variable);
                std::cout << '\n';
            }
            return false;
        }
        mark_used(static_cast<unsigned>(cause));
        mark_dependency(static_cast<unsigned>(cause), constraint_count());
        if (e == previous)
            throw std::runtime_error("The conflict analysis loops infinitely");
        resolve(learned, node.m_variable, static_cast<unsigned>(cause));
        previous = e;
    }
}

void solver::resolve(learned_type& learned, unsigned variable, unsigned cause) {
    unsigned param = 0;
    const std::vector<iset>* explanation = nullptr;
    if (!prepare_to_resolve(learned, variable, cause, param, explanation))
        return;
    ++m_resolutions;
    const unsigned entry = learned.nodes()[learned.node_of(variable)].m_modification;
    const constraint_connectivity_info& record = m_records.at(cause);
    // A combined constraint has no clause a proof could resolve with: with
    // proofs on every step resolves the recorded clauses.
    if (m_combine_general && !m_proof_collector->want_proof() &&
        learned.combine(*m_propagators.at(cause), record, param, entry)) {
        ++m_combinations;
        return;
    }
    m_fallback = true;
    learned.convert_to_clause();
    resolve_clause(learned, record, *explanation, param, entry);
    record_explanation_variables(record, *explanation);
}

bool solver::prepare_to_resolve(learned_type& learned, unsigned variable, unsigned cause,
                                unsigned& param, const std::vector<iset>*& explanation) {
    constraint_connectivity_info& record = m_records.at(cause);
    record.count_conflict();
    const unsigned entry = learned.nodes()[learned.node_of(variable)].m_modification;
    if (m_report_level >= 2)
        report_resolution_start(std::cout, learned, cause, entry);
    const std::vector<unsigned>& vars = record.variables();
    param = static_cast<unsigned>(std::find(vars.begin(), vars.end(), variable) - vars.begin());
    if (param == vars.size())
        throw std::out_of_range("solver::prepare_to_resolve: variable is not a parameter");

    learned.update_explanation();
    // The explanation request leaves the learned constraint alone.
    const iset& pivot = learned.literals().at(learned.node_of(variable));
    explanation_views views = get_constraint_explanation(cause, param, pivot, entry);
    explanation = views.explanation;
    add_constraint_cost_to_variables(cause, m_assignment.cost_increment(), explanation);

    const bool ok = param < explanation->size() &&
                    (*explanation)[param].contains_any_of(
                        m_assignment.var_domain_after_modification(variable, entry));
    if (ok) {
        m_proof_collector->record_resolution(cause, *explanation, static_cast<int>(variable),
                                             std::move(views.rule));
        if (m_report_level >= 2) {
            std::cout << "with pivot ";
            m_assignment.print_var_name(std::cout, variable);
            std::cout << '\n';
        }
    }
    return ok;
}

void solver::resolve_clause(learned_type& learned, const constraint_connectivity_info& record,
                            const std::vector<iset>& explanation, unsigned param,
                            unsigned entry) const {
    const std::size_t n = std::min<std::size_t>(explanation.size(), record.arity());
    for (std::size_t i = 0; i < n; ++i) {
        if (i == param || explanation[i].empty())
            continue;
        const unsigned y = record.variable(static_cast<unsigned>(i));
        learned.insert_literal(explanation[i], y,
                               m_assignment.var_modification_entry_before(y, entry));
        relax(learned, learned.node_of(y));
    }
    const unsigned x = record.variable(param);
    const unsigned x_entry = learned.nodes()[learned.node_of(x)].m_modification;
    const bool changed = learned.intersect_literal(
        explanation[param], x, m_assignment.var_modification_entry_before(x, x_entry));
    if (m_relax_cause)
        learned.relax_cause();
    if (changed)
        relax(learned, learned.node_of(x));
    if (m_report_level >= 2) {
        std::cout << "consequent: ";
        learned.print(std::cout);
        std::cout << "\n\n";
    }
}

void solver::relax(learned_type& learned, unsigned node) const {
    if (node == NO_NODE)
        return;
    if (m_literal_relaxation == 1)
        learned.relax_level(node, learned.literals().at(node));
    else if (m_literal_relaxation == 2)
        learned.relax(node, learned.literals().at(node));
}

int solver::insert_constraint(const learned_type& learned) {
    std::unique_ptr<constraint_propagator> propagator;
    if (!learned.general_constraint()) {
        auto clause = std::make_unique<clause_propagator>();
        clause->update_literals() = learned.literals();
        propagator = std::move(clause);
    } else {
        propagator = learned.general_constraint()->clone();
    }
    constraint_connectivity_info& record = add_constraint(std::move(propagator));
    record.variables().reserve(learned.nodes().size());
    for (const learned_type::implication_node& node : learned.nodes())
        record << node.m_variable;
    const unsigned index = constraint_count() - 1;
    if (m_solving && m_report_level >= 1) {
        std::cout << "Inserting ";
        print_constraint(std::cout, index);
        std::cout << '\n';
    }
    return static_cast<int>(index);
}

void solver::add_constraint_cost_to_variables(unsigned c, double increment,
                                              const std::vector<iset>* sets) {
    const std::vector<unsigned>& vars = m_records.at(c).variables();
    if (!sets) {
        if (const clause_propagator* clause =
                dynamic_cast<const clause_propagator*>(m_propagators.at(c).get()))
            sets = &clause->literals();
    }
    std::size_t n = vars.size();
    if (sets)
        n = std::min(n, sets->size());
    for (std::size_t p = n; p-- > 0;) {
        if (sets && !(*sets)[p].contains_any_of(m_assignment.var_domain_end_level(vars[p], 0)))
            continue;
        m_assignment.add_var_cost(vars[p], increment);
    }
}

void solver::report_resolution_start(std::ostream& os, const learned_type& learned,
                                     unsigned cause, unsigned entry) const {
    os << "resolving constraint ";
    learned.print(os);
    os << "\nwith ";
    const constraint_connectivity_info& record = m_records.at(cause);
    constraint_aged_info view(record, m_assignment, entry,
                              constraint_aged_info::USE_UNDERLYING_EFFORT);
    m_propagators.at(cause)->print(os, &view);
    os << '\n';
}

void solver::report_explanation(std::ostream& os, const constraint_runtime_info& ri,
                                const std::vector<iset>& explanation) const {
    os << "Explanation:[";
    bool first = true;
    for (unsigned i = 0; i < explanation.size(); ++i) {
        if (explanation[i].empty())
            continue;
        if (!first)
            os << ", ";
        first = false;
        ri.print_param(os, i);
        literal_data::print_right_hand_side(os, explanation[i]);
    }
    os << "]\n";
}

} // namespace qarn
