// The interpolant visitor and the solver's entry to it.
#include "impl/learning/proof_interpolant.h"

#include <iostream>
#include <stdexcept>

#include "impl/engine/solver.h"

namespace qarn {

proof_interpolant_visitor::proof_interpolant_visitor(const proof_collector& collector,
                                                     const solver& s)
    : m_collector(collector),
      m_solver(s),
      m_labels(s.variables_touched_by_labels()),
      m_trace(s.m_report_level > 1) {}

void proof_interpolant_visitor::trace_formula(const formula& f) const {
    f.print(std::cout, m_solver.assignment().print_strategy());
    std::cout << "\n";
}

void proof_interpolant_visitor::introduce_clause_in_a(clause_data& clause) const {
    // Literals on variables that B never sees go; the last literal fills
    // each gap.
    for (std::size_t i = clause.size(); i-- > 0;) {
        if (seen_by_b(clause[i].variable))
            continue;
        if (i + 1 != clause.size())
            clause[i] = std::move(clause.back());
        clause.pop_back();
    }
}

const formula& proof_interpolant_visitor::get_formula(int id) {
    auto it = m_formulas.find(id);
    if (it != m_formulas.end())
        return it->second;
    const bool explanation = m_collector.is_explanation_clause(id);
    const unsigned c =
        explanation ? m_collector.get_constraint_explained_by(id) : static_cast<unsigned>(id);
    const bool in_a = m_solver.constraint_labels(c) == 1;
    formula f(true);
    if (in_a) {
        clause_data clause;
        m_collector.get_clause(id, clause);
        introduce_clause_in_a(clause);
        f = formula(clause);
    }
    if (m_trace) {
        std::cout << (in_a ? "HypC-A" : "HypC-B");
        if (explanation)
            std::cout << " (constraint[" << c << "] explanation[" << id << "])\n---> ";
        else
            std::cout << " (clause[" << id << "])\n---> ";
        trace_formula(f);
    }
    return m_formulas.emplace(id, std::move(f)).first->second;
}

void proof_interpolant_visitor::visit_explanation(int id) {
    get_formula(id);
}

void proof_interpolant_visitor::visit_resolution(unsigned variable, int id1, const clause_data&,
                                                 int id2, const clause_data&, int id3,
                                                 const clause_data& resolvent) {
    const formula f1 = get_formula(id1);
    const formula f2 = get_formula(id2);
    const bool b = seen_by_b(variable);
    formula f3 = b ? f1 && f2 : f1 || f2;
    if (m_trace) {
        const variable_print_strategy& strategy = m_solver.assignment().print_strategy();
        std::cout << (b ? "Res-B[" : "Res-A[") << id3 << "] { ";
        f1.print(std::cout, strategy);
        std::cout << "}\n           { ";
        f2.print(std::cout, strategy);
        std::cout << "}\n---> ";
        trace_formula(f3);
    }
    m_formulas[id3] = std::move(f3);
    if (resolvent.empty())
        visit_root(m_root = id3);
}

void proof_interpolant_visitor::visit_initial_resolution(unsigned variable, const iset&, int id1,
                                                         const clause_data&, int id2,
                                                         const clause_data& resolvent) {
    const formula f1 = get_formula(id1);
    // The initial domain counts as a hypothesis of B when B sees the
    // variable, otherwise of A with no shared variable (false).
    const bool b = seen_by_b(variable);
    formula f2 = b ? f1 : f1 || formula(false);
    if (m_trace) {
        std::cout << (b ? "HypC-B + Res-B" : "HypC-A + Res-A") << " with clause[" << id1
                  << "] (initial domain of ";
        m_solver.assignment().print_var_name(std::cout, variable);
        std::cout << ")\n---> ";
        trace_formula(f2);
    }
    m_formulas[id2] = std::move(f2);
    if (resolvent.empty())
        visit_root(m_root = id2);
}

void proof_interpolant_visitor::visit_root(int) {}

formula proof_interpolant_visitor::get_interpolant() const {
    auto it = m_formulas.find(m_root);
    return it == m_formulas.end() ? formula() : it->second;
}

formula solver::get_interpolant() const {
    if (!m_proof_collector->want_proof())
        throw std::runtime_error(
            "solver::print_interpolant() works only when proof mechanism is activated");
    const qarn::proof_collector& collector =
        static_cast<const qarn::proof_collector&>(*m_proof_collector);
    proof_interpolant_visitor visitor(collector, *this);
    collector.traverse_proof(visitor);
    return visitor.get_interpolant();
}

} // namespace qarn
