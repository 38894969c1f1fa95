// Solver construction, model building, output and queries.
#include "impl/engine/solver.h"

#include <iostream>
#include <stdexcept>
#include <typeinfo>

#include "impl/propagators/clause_propagator.h"

namespace qarn {

std::ostream& operator<<(std::ostream& os, solver::result_type result) {
    static const char* const names[] = {"SAT",     "UNSAT",    "BACKTRACK_LIMIT", "TIMEOUT",
                                        "MEMOUT",  "SAT_DONE", "OPTIMAL"};
    if (static_cast<unsigned>(result) <= solver::OPTIMAL)
        os << names[result];
    return os;
}

solver::solver()
    : m_out(&std::cout),
      m_proof_collector(std::make_unique<proof_collector_dummy>()),
      m_dependencies(std::make_unique<conflict_constraint_dependency>(0)),
      m_events(m_assignment) {}

solver::~solver() = default;

// ---------------------------------------------------------------------------
// Model building

unsigned solver::add_var(iset domain, const char* name, bool register_constant) {
    return m_assignment.add_var(std::move(domain), name, register_constant);
}

unsigned solver::singleton_var(int c) {
    return m_assignment.singleton_var(c);
}

void solver::set_var_domain(unsigned var, iset domain, int cause) {
    if (!m_solving)
        m_assignment.set_var_initial_domain(var, std::move(domain));
    else
        m_assignment.set_var_domain(var, std::move(domain), m_activation_counter, cause);
}

constraint_connectivity_info& solver::add_constraint(
    std::unique_ptr<constraint_propagator> propagator) {
    unsigned index = constraint_count();
    m_records.emplace_back(this, index);
    try {
        m_propagators.push_back(std::move(propagator));
    } catch (...) {
        m_records.pop_back();
        throw;
    }
    return m_records.back();
}

void solver::produce_proof(bool on) {
    if (on)
        m_proof_collector = std::make_unique<qarn::proof_collector>(*this);
    else
        m_proof_collector = std::make_unique<proof_collector_dummy>();
}

std::vector<solver::label_type> solver::variables_touched_by_labels() const {
    std::vector<label_type> labels(var_count());
    for (unsigned v = 0; v < var_count(); ++v)
        labels[v] = m_assignment.variable_labels(v);
    for (const constraint_connectivity_info& record : m_records)
        for (unsigned v : record.variables())
            labels.at(v) |= record.labels();
    return labels;
}

// ---------------------------------------------------------------------------
// Queries

bool solver::has_empty_domains() const {
    for (unsigned v = 0; v < var_count(); ++v)
        if (m_assignment.domain(v).empty())
            return true;
    return false;
}

iset solver::removed_values(unsigned var, unsigned entry) const {
    iset removed(m_assignment.entry(entry).m_domain);
    removed.erase_all_of(m_assignment.domain(var));
    return removed;
}

void solver::get_constraint_variables(unsigned c, std::vector<unsigned>& vars) const {
    const std::vector<unsigned>& params = m_records.at(c).variables();
    vars.assign(params.begin(), params.end());
}

void solver::print_constraint(std::ostream& os, unsigned c) const {
    m_propagators.at(c)->print(os, &m_records.at(c));
}

bool solver::is_clause(unsigned c) const {
    return dynamic_cast<const clause_propagator*>(m_propagators.at(c).get()) != nullptr;
}

const std::vector<iset>& solver::clause_literals(unsigned c) const {
    return dynamic_cast<const clause_propagator&>(*m_propagators.at(c)).literals();
}

void solver::show_self() const {
    for (unsigned v = 0; v < var_count(); ++v) {
        std::cout << v << ": ";
        m_assignment.print_var_name(std::cout, v);
        std::cout << '=' << m_assignment.domain(v) << '\n';
    }
}

void solver::validate_flags_consistency() const {
    if (m_intersect_with_ground && m_proof_collector->want_proof())
        throw std::runtime_error("Proofs are invalid with should_intersect_with_ground()");
}

void solver::print_recent_proof(std::ostream& os) const {
    m_proof_collector->print_proof(os);
}

void solver::reset() {
    m_assignment.clear();
}

void solver::forget_learned_constraints() {
    if (m_first_learned == 0)
        return;
    std::erase_if(m_dirty_learned,
                  [this](const constraint_run_level& e) { return e.constraint >= m_first_learned; });
    m_records.erase(m_records.begin() + m_first_learned, m_records.end());
    while (m_propagators.size() > m_first_learned)
        m_propagators.pop_back();
}

// ---------------------------------------------------------------------------
// Output

void solver::print_solution(std::ostream& os) const {
    unsigned count = var_count();
    if (m_vars_to_print >= 0 && static_cast<unsigned>(m_vars_to_print) < count)
        count = static_cast<unsigned>(m_vars_to_print);
    os << m_comment_prefix << ' ';
    for (unsigned v = 0; v < count; ++v) {
        m_assignment.print_var_name(os, v);
        os << '=' << m_assignment.domain(v) << ", ";
    }
    os << "\nv ";
    for (unsigned v = 0; v < count; ++v)
        os << m_assignment.domain(v) << ' ';
    os << std::endl;
}

std::vector<unsigned> solver::shown_vars() const {
    unsigned count = var_count();
    if (m_vars_to_print >= 0 && static_cast<unsigned>(m_vars_to_print) < count)
        count = static_cast<unsigned>(m_vars_to_print);
    std::vector<unsigned> vars(count);
    for (unsigned v = 0; v < count; ++v)
        vars[v] = v;
    return vars;
}

int solver::evaluate_objective() const {
    return m_assignment.domain(static_cast<unsigned>(m_objective_var)).max();
}

} // namespace qarn
