// The object every conflict analysis reports to: the conflicting constraint,
// each resolution step, the index given to each learned constraint and the
// clauses of learned constraints about to be erased. The solver holds a
// dummy that ignores everything unless proofs are requested.
//
// Explanation rules are handed over with their ownership: a collector keeps
// them or destroys them. A rule may be null.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/sets/model.h"

namespace qarn {

class clause_data;
class proof_visitor;

class proof_collector_interface {
public:
    virtual ~proof_collector_interface() = default;

    // Whether recording is worth the work it costs the engine.
    virtual bool want_proof() const = 0;
    // The learned constraint just inserted got this constraint index.
    virtual void name_conflict_clause(unsigned constraint) = 0;
    // Opens the derivation of a new learned constraint at the conflicting
    // constraint; sets is its explanation, one set per parameter.
    virtual void record_conflict(unsigned constraint, const std::vector<iset>& sets,
                                 std::unique_ptr<explanation_rule> rule) = 0;
    // One resolution step on `variable` against the constraint's explanation.
    virtual void record_resolution(unsigned constraint, const std::vector<iset>& sets,
                                   int variable, std::unique_ptr<explanation_rule> rule) = 0;
    // Withdraws the last recorded step.
    virtual void pop_resolution_entry() = 0;
    // Keeps the clause of learned constraint `id`, which is about to be erased.
    virtual void save_clause(unsigned id, const clause_data& clause) = 0;
    // Called after every search that does not end in a solution.
    virtual void prepare_to_print() = 0;
    virtual void print_proof(std::ostream& os) const = 0;
    virtual void traverse_proof(proof_visitor& visitor) const = 0;
};

// Records nothing; asking it for a proof is an error.
class proof_collector_dummy : public proof_collector_interface {
public:
    bool want_proof() const override;
    void name_conflict_clause(unsigned constraint) override;
    void record_conflict(unsigned constraint, const std::vector<iset>& sets,
                         std::unique_ptr<explanation_rule> rule) override;
    void record_resolution(unsigned constraint, const std::vector<iset>& sets, int variable,
                           std::unique_ptr<explanation_rule> rule) override;
    void pop_resolution_entry() override;
    void save_clause(unsigned id, const clause_data& clause) override;
    void prepare_to_print() override;
    // Throws std::runtime_error.
    void print_proof(std::ostream& os) const override;
    void traverse_proof(proof_visitor& visitor) const override;
};

} // namespace qarn
