// The operator registry (one definition per operator node type, and the
// difference_ge predicate, for the whole process) and the operator
// connectivity of one model builder: every operator application met while a
// model is read is recorded under its operator and canonical argument
// variables, so identical applications share one result variable; once the
// model is read, create_all_constraints posts every application once, with
// all the evaluation types it was recorded with, the operators whose
// propagators prune most strongly first.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "impl/model/equivalence_classes.h"
#include "impl/model/operator_definitions.h"
#include "impl/sets/model.h"

namespace qarn {

class solver;

class operator_definition_registry {
public:
    static operator_definition_registry& get();
    // The definition of an expression node type, or null.
    static const operator_definition* find(unsigned node_type);
    // The definition registered under a predicate name, or null.
    static const operator_definition* find_predicate(const std::string& name);

private:
    operator_definition_registry();

    std::vector<std::pair<unsigned, std::unique_ptr<operator_definition>>> m_types; // by type
    std::vector<std::pair<std::string, std::unique_ptr<operator_definition>>> m_predicates;
};

class operator_connectivity {
public:
    struct operator_entry_key {
        const operator_definition* definition;
        std::vector<unsigned> args; // canonical order
    };
    struct operator_entry_data {
        unsigned result;
        eval_type type; // or of every evaluation type recorded
        unsigned flags; // or of every flag word recorded
    };

    explicit operator_connectivity(solver& s);
    ~operator_connectivity();
    operator_connectivity(const operator_connectivity&) = delete;
    operator_connectivity& operator=(const operator_connectivity&) = delete;

    solver& owner() const { return m_solver; }
    equivalence_classes& classes() { return *m_classes; }

    // The current domain of a solver variable (std::out_of_range beyond).
    const iset& var_domain(unsigned var) const;
    // The result variable of def over [first, last): an earlier identical
    // application's, else `result`, else a new variable named after the
    // operator and the entry count, with the given domain.
    unsigned record_operator(const operator_definition* def, eval_type t, const unsigned* first,
                             const unsigned* last, unsigned result, const iset& domain,
                             unsigned flags);
    // Posts the propagators of every recorded application, in key order.
    void create_all_constraints();
    // Marks the model contradictory (variable 0's domain emptied).
    void mark_unsat();

    const std::map<operator_entry_key, operator_entry_data>& entries() const { return *m_entries; }

    // Every value a domain may hold.
    static const iset& everything();

    // The least and the greatest value a variable can take: its domain's
    // bounds, narrowed to the range recorded for it (a result made by the
    // builder); none when it has no value.
    std::optional<std::pair<std::int64_t, std::int64_t>> value_bounds(unsigned var) const;
    // Records lo..hi as the values of a new result variable whose domain
    // starts full. For a set over fewer values than the 32-bit range (the
    // one-word set's 0..31), whose full set would drop the values beyond it
    // without a word, lo..hi is first inserted into a set: a value the set
    // cannot hold ends the run with the set's out-of-range error. An empty
    // range (lo > hi) records a variable without values.
    void fit_value_range(unsigned var, std::int64_t lo, std::int64_t hi);
    // A variable the caller made for an expression's value with no bounds of
    // its own (every value), or NO_VARIABLE: given as an application's
    // result, it has its range fitted like a result made here.
    void set_unbounded_result(unsigned var) { m_unbounded_result = var; }
    unsigned unbounded_result() const { return m_unbounded_result; }

private:
    solver& m_solver;
    std::unique_ptr<equivalence_classes> m_classes;
    std::unique_ptr<std::map<operator_entry_key, operator_entry_data>> m_entries;
    std::map<unsigned, std::pair<std::int64_t, std::int64_t>> m_value_ranges;
    unsigned m_unbounded_result = NO_VARIABLE;
};

// Tighter operators first, then by arguments, then by operator name.
bool operator<(const operator_connectivity::operator_entry_key& a,
               const operator_connectivity::operator_entry_key& b);

} // namespace qarn
