// Interpolants from resolution proofs. The model's constraints carry labels:
// label 1 marks the first half A, any other label the second half B. Walking
// a refutation of A and B, every clause of the proof gets a formula over the
// variables both halves share; the empty clause's formula (the interpolant)
// follows from A and contradicts B.
#pragma once

#include <map>
#include <vector>

#include "impl/engine/solver_types.h"
#include "impl/learning/formula.h"
#include "impl/learning/proof_collector.h"

namespace qarn {

class proof_interpolant_visitor : public proof_visitor {
public:
    proof_interpolant_visitor(const proof_collector& collector, const solver& s);

    void visit_explanation(int id) override;
    void visit_resolution(unsigned variable, int id1, const clause_data& clause1, int id2,
                          const clause_data& clause2, int id3,
                          const clause_data& resolvent) override;
    void visit_initial_resolution(unsigned variable, const iset& initial_domain, int id1,
                                  const clause_data& clause1, int id2,
                                  const clause_data& resolvent) override;
    virtual void visit_root(int id);
    // The formula of the empty clause.
    formula get_interpolant() const;

private:
    bool seen_by_b(unsigned variable) const { return (m_labels.at(variable) & 2) != 0; }
    // The hypothesis formula of a clause of the model (or of an explanation).
    const formula& get_formula(int id);
    void introduce_clause_in_a(clause_data& clause) const;
    void trace_formula(const formula& f) const;

    const proof_collector& m_collector;
    const solver& m_solver;
    std::map<int, formula> m_formulas;
    std::vector<solver_types::label_type> m_labels;
    int m_root = -1;
    bool m_trace;
};

} // namespace qarn
