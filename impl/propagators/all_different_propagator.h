// All-different over any number of parameters: pairwise different values.
//
// Propagation is generalised arc consistency: a value stays exactly when it
// lies on an edge of some maximum matching of the parameter-value graph
// (all_different_graph.h). The graph is built only from the constraint queue
// and only when a narrowed parameter has few enough values to matter.
// Parameters whose domains are too large to take part in any Hall set (big
// parameters) stay out of the graph: one proxy parameter holding their values
// shared with the others (plus at most one value outside them) stands for all
// of them, and what the proxy loses, every big parameter loses.
//
// Explanations are Hall sets: parameters P and values V with the clause
// "some parameter of P lies outside V". A request the graph cannot answer
// with a Hall set gets the plain explanation (every domain's complement).
//
// The propagator keeps no state between calls; its work areas are statics
// (not re-entrant).
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/solver_types.h"

namespace qarn {

class all_different_propagator : public constraint_propagator {
public:
    // Proof rule: "some listed parameter lies outside `values`".
    class all_diff_rule : public explanation_rule {
    public:
        all_diff_rule(unsigned arity, iset values, std::vector<unsigned> parameters)
            : m_arity(arity), m_values(std::move(values)), m_parameters(std::move(parameters)) {}
        std::unique_ptr<explanation_rule> clone() const override;
        void get_explanation(std::vector<iset>& explanation) const override;
        // "ALL_DIFF({values}, x, y, ...)"; throws std::out_of_range when a
        // listed parameter has no variable.
        void print(std::ostream& os, const variable_print_strategy& strategy,
                   const std::vector<unsigned>& variables) const override;

        unsigned arity() const { return m_arity; }
        const iset& values() const { return m_values; }
        const std::vector<unsigned>& parameters() const { return m_parameters; }

    private:
        unsigned m_arity;
        iset m_values;
        std::vector<unsigned> m_parameters; // ascending
    };

    // A read-only view over a vector of domains (not owned); every
    // mutating operation throws std::domain_error.
    class reference_info;
    // The bipartite graph of one problem, its matching and filtering.
    class impl;
    // A directed graph: successor lists indexed by node.
    typedef std::vector<std::vector<unsigned>> graph;

    explicit all_different_propagator(unsigned count = ANY_PARAM_COUNT) : m_count(count) {}

    unsigned count_params() const override { return m_count; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    // The rule of a Hall-set explanation (every non-empty set the same);
    // null for any other explanation.
    std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // The number of singleton values that no non-singleton domain holds.
    static unsigned count_unique_singletons(const constraint_runtime_info& ri);
    // marks := one mark per parameter, 1 for a big one.
    static void find_big_parameters(const constraint_runtime_info& ri,
                                    std::vector<unsigned char>& marks);
    // domains := the unmarked parameters' domains in order, then the proxy's
    // when there is one (proxy_added); false when the unmarked parameters
    // have fewer values than there are of them.
    static bool get_small_parameters(const constraint_runtime_info& ri,
                                     const std::vector<unsigned char>& marks,
                                     std::vector<iset>& domains, bool& proxy_added);
    // The proxy's domain: the big parameters' values in small_union, plus one
    // value outside it when some big parameter has values outside it and the
    // domain has fewer values than the arity.
    static iset get_big_domain(const constraint_runtime_info& ri,
                               const std::vector<unsigned char>& marks, const iset& small_union);
    // Spreads the sub-problem's results (next) over all parameters: the
    // proxy's losses are every big parameter's.
    static void extend_propagation_for_big_domains(const constraint_runtime_info& ri,
                                                   const std::vector<iset>& domains,
                                                   const std::vector<unsigned char>& marks,
                                                   bool proxy_added, std::vector<iset>& next);
    // Sets every parameter's domain to next[i] (compacted; next is spent).
    static result_type update_domains(constraint_runtime_info& ri, std::vector<iset>& next);

    // The sub-problem of an explanation for param: returns param's position
    // in it. A narrowed big parameter is explained as the proxy (its mark is
    // cleared); otherwise the proxy stays out. proxy_used tells whether it
    // went in.
    static unsigned get_explanation_small_parameters(const constraint_runtime_info& ri,
                                                     unsigned param, const iset& new_domain,
                                                     std::vector<unsigned char>& marks,
                                                     std::vector<iset>& domains,
                                                     bool& proxy_used);
    // Spreads a sub-problem explanation over arity sets; marked parameters
    // get the empty set.
    static void extend_explanation_for_big_domains(unsigned arity,
                                                   const std::vector<unsigned char>& marks,
                                                   std::vector<iset>& explanation);

private:
    unsigned m_count;
};

} // namespace qarn
