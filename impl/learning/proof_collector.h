// The object every conflict analysis reports to: the conflicting constraint,
// each resolution step, the index given to each learned constraint and the
// clauses of learned constraints about to be erased. The solver holds a
// dummy that ignores everything unless proofs are requested.
//
// Explanation rules are handed over with their ownership: a collector keeps
// them or destroys them. A rule may be null.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/solver_types.h"
#include "impl/learning/literal_data.h"
#include "impl/sets/model.h"

namespace qarn {

class proof_visitor;
class solver;

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

// The recording collector. Proof ids: an id >= 0 is a solver constraint (a
// clause of the model or a learned clause); an id < 0 names explanation
// record ~id; intermediate resolvents of a walk get ids below every
// explanation id.
class proof_collector : public proof_collector_interface {
public:
    // A derivation step against clause `id` on `variable`; the conflict entry
    // that opens a derivation has variable NO_VARIABLE.
    struct resolution_entry {
        int id;
        unsigned variable;
    };
    // The explanation of a constraint that is not a clause: its rule when
    // the propagator gave one, otherwise a copy of the sets.
    struct explanation_record {
        unsigned constraint;
        std::unique_ptr<explanation_rule> rule;
        std::vector<iset> sets;
    };
    struct saved_clause {
        unsigned id;
        clause_data clause;
    };

    explicit proof_collector(const solver& owner);

    bool want_proof() const override;
    void name_conflict_clause(unsigned constraint) override;
    void record_conflict(unsigned constraint, const std::vector<iset>& sets,
                         std::unique_ptr<explanation_rule> rule) override;
    void record_resolution(unsigned constraint, const std::vector<iset>& sets, int variable,
                           std::unique_ptr<explanation_rule> rule) override;
    void pop_resolution_entry() override;
    void save_clause(unsigned id, const clause_data& clause) override;
    void prepare_to_print() override;
    void print_proof(std::ostream& os) const override;
    // Walks the last learned constraint's derivation after every learned
    // clause it uses, then resolves its clause with the initial domains down
    // to the empty clause. Throws std::runtime_error without a record.
    void traverse_proof(proof_visitor& visitor) const override;

    const solver& owner() const { return m_solver; }
    const std::vector<resolution_entry>& entries() const { return m_entries; }
    const std::vector<unsigned>& conflict_names() const { return m_conflict_names; }
    unsigned first_name() const { return m_first_name; }
    // Null when no clause was saved under id (saved clauses must be sorted).
    const clause_data* find_saved_clause(unsigned id) const;
    unsigned explanation_count() const { return static_cast<unsigned>(m_explanations.size()); }
    bool is_explanation_clause(int id) const;
    const explanation_record& get_explanation_data(int id) const;
    unsigned get_constraint_explained_by(int id) const;
    // The clause of a proof id: a solver clause or an explanation.
    void get_clause(int id, clause_data& out) const;
    void get_solver_clause(unsigned c, clause_data& out) const;
    // One literal (with an empty set) per variable of constraint c.
    void get_constraint_variables(unsigned c, clause_data& out) const;
    // Writes explanation block `id` as the print visitor does.
    void print_explanation(std::ostream& os, int id) const;

    // c1's literals not on v, then c2's, canonicalised; then the literal on
    // v with the intersection of both clauses' sets on v, when not empty.
    static void resolve(const clause_data& c1, const clause_data& c2, unsigned v,
                        clause_data& out);

private:
    void append_entry(unsigned constraint, const std::vector<iset>& sets, unsigned variable,
                      std::unique_ptr<explanation_rule> rule);
    // Entries [begin, end) derive learned constraint `name`.
    void derivation_range(unsigned name, std::size_t& begin, std::size_t& end) const;
    void visit_derivation(unsigned name, bool root, int& fresh, proof_visitor& visitor) const;
    int resolved_id(int id) const;

    const solver& m_solver;
    unsigned m_conflict_start = NO_ENTRY;
    std::vector<resolution_entry> m_entries;
    std::vector<unsigned> m_conflict_names;
    std::vector<explanation_record> m_explanations;
    std::vector<saved_clause> m_saved_clauses;
    std::vector<bool> m_saved_ids; // by constraint index: saved already
    unsigned m_first_name = NO_NAME;

public:
    static constexpr unsigned NO_NAME = 0xFFFFFFFFu; // no learned constraint named yet
};

// Consumes a walk of the proof (proof_collector::traverse_proof).
class proof_visitor {
public:
    virtual ~proof_visitor() = default;
    // Explanation `id` is about to be used.
    virtual void visit_explanation(int id) = 0;
    // resolvent (id3) = clause1 (id1) resolved with clause2 (id2) on variable.
    virtual void visit_resolution(unsigned variable, int id1, const clause_data& clause1, int id2,
                                  const clause_data& clause2, int id3,
                                  const clause_data& resolvent) = 0;
    // resolvent (id2) = clause1 (id1) without its literal on variable, whose
    // initial domain the literal misses.
    virtual void visit_initial_resolution(unsigned variable, const iset& initial_domain, int id1,
                                          const clause_data& clause1, int id2,
                                          const clause_data& resolvent) = 0;
};

// Writes each step of the proof.
class proof_print_visitor : public proof_visitor {
public:
    proof_print_visitor(std::ostream& os, const proof_collector& collector);
    void visit_explanation(int id) override;
    void visit_resolution(unsigned variable, int id1, const clause_data& clause1, int id2,
                          const clause_data& clause2, int id3,
                          const clause_data& resolvent) override;
    void visit_initial_resolution(unsigned variable, const iset& initial_domain, int id1,
                                  const clause_data& clause1, int id2,
                                  const clause_data& resolvent) override;

private:
    void print_clause(int id, const clause_data& clause);
    void print_variable(unsigned variable);

    std::ostream& m_os;
    const proof_collector& m_collector;
};

// Re-does every step; a failed step clears ok() and writes its message to
// the stream (when given). A step may use only model constraints (numbers
// below the solver's model_constraint_count), explanations of them and
// clauses derived by earlier steps, and an initial domain must hold the
// variable's declared domain.
class proof_checker_visitor : public proof_visitor {
public:
    proof_checker_visitor(const proof_collector& collector, std::ostream* os);
    void visit_explanation(int id) override;
    void visit_resolution(unsigned variable, int id1, const clause_data& clause1, int id2,
                          const clause_data& clause2, int id3,
                          const clause_data& resolvent) override;
    void visit_initial_resolution(unsigned variable, const iset& initial_domain, int id1,
                                  const clause_data& clause1, int id2,
                                  const clause_data& resolvent) override;
    bool ok() const { return m_ok; }
    // Whether some step derived the empty clause.
    bool refuted() const { return m_refuted; }

private:
    void remember_clause(int id, const clause_data& clause, bool operand);
    void forget_used(int id);
    // Fails unless clause id rests on the model or on earlier steps.
    void require_known(int id);
    std::ostream* fail();

    std::map<int, clause_data> m_clauses;
    std::set<int> m_derived; // the resolvents of the steps so far
    const proof_collector& m_collector;
    bool m_ok = true;
    bool m_refuted = false;
    std::ostream* m_os;
};

} // namespace qarn
