// The interface of every constraint. The engine owns one propagator per
// constraint and drives it only through these operations, with a runtime
// view (constraint_runtime_info) presenting the parameters. The contract:
//  - init(ri) registers the watches the propagator needs and answers false
//    when the constraint cannot hold from the start;
//  - propagate(ri) narrows domains through ri.set_domain and answers UNSAT
//    (conflict), VALID (entailed: not run again until the next back-jump),
//    CONSISTENT (done for now) or POSTPONE (run me again from the constraint
//    queue, which the propagator asked for through ri.put_in_queue);
//  - conflicts(ri) is true when no combination of the view's values satisfies
//    the constraint; constraint_check(ri) decides it for singleton domains;
//  - explain_propagation(param, values, new_domain, ri, out) fills one set per
//    parameter, read as the clause "some parameter i lies in out[i]": implied
//    by the constraint, and excluding `values` (the removed values to explain)
//    from param under the domains of ri (as they were before the propagation).
//    An empty new_domain asks why the constraint conflicts.
// Operations that create propagators return a new object the caller owns, or
// null when they do not apply.
#pragma once

#include <memory>
#include <ostream>
#include <type_traits>
#include <vector>

#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/variable_printer.h"
#include "impl/sets/model.h"

namespace qarn {

class disjunction_specification;

struct propagation_types {
    enum result_type {
        UNSAT = 0,      // a conflict
        VALID = 1,      // entailed
        CONSISTENT = 2, // nothing more to do for now
        POSTPONE = 3,   // re-queued on the constraint queue
    };
};

// Writes the result's name; other values write "unknown result_type(" and the number.
std::ostream& operator<<(std::ostream& os, propagation_types::result_type result);

// Attached to an explanation so that proofs can name and re-derive the step.
class explanation_rule {
public:
    virtual ~explanation_rule() = default;
    virtual std::unique_ptr<explanation_rule> clone() const = 0;
    virtual void get_explanation(std::vector<iset>& explanation) const = 0;
    virtual void print(std::ostream& os, const variable_print_strategy& strategy,
                       const std::vector<unsigned>& variables) const = 0;
};

class constraint_propagator : protected watch_types, public propagation_types {
public:
    typedef constraint_runtime_info ri_type;

    virtual ~constraint_propagator() = default;

    // The number of parameters the constraint requires; ANY_PARAM_COUNT: any number.
    virtual unsigned count_params() const;
    // Watches every non-singleton parameter for modifications.
    virtual bool init(constraint_runtime_info& ri);
    virtual result_type propagate(constraint_runtime_info& ri) = 0;
    virtual bool conflicts(const constraint_runtime_info& ri) const = 0;
    virtual bool constraint_check(const constraint_runtime_info& ri) const = 0;
    virtual void print(std::ostream& os, const constraint_runtime_info* ri) const;
    // For propagators that move watches at run time.
    virtual unsigned watched_param_index(unsigned watch) const;
    virtual unsigned count_watches() const;
    // Drops every watch handle held (the lists themselves are cleared by the engine).
    virtual void forget_watches();
    virtual void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                                     const constraint_runtime_info& ri,
                                     std::vector<iset>& explanation) const;
    virtual void possibly_crippling_values(unsigned param, const iset& values,
                                           const constraint_runtime_info& ri,
                                           std::vector<iset>& out) const;
    virtual std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const;
    // A copy with the same parameters and settings and no watch handles.
    virtual std::unique_ptr<constraint_propagator> clone() const = 0;
    // A simpler replacement valid for the view's ground domains, or null.
    virtual std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const;
    virtual bool potentially_falsifying(const constraint_runtime_info& ri, unsigned param) const;
    virtual bool get_disjunction_specification(disjunction_specification& description) const;
    virtual bool disjoin_constraint(const disjunction_specification& a,
                                    const disjunction_specification& b,
                                    disjunction_specification& out) const;
    virtual bool combine_base_constraints(disjunction_specification& a,
                                          disjunction_specification& b, unsigned pivot,
                                          disjunction_specification& out) const;
    virtual std::unique_ptr<constraint_propagator> new_propagator(
        disjunction_specification& description, std::vector<unsigned>& params) const;
    // True exactly when `other` is an equality.
    virtual bool may_combine(const constraint_propagator& other) const;
    // Eliminates `param` between this constraint and `other` (an equality),
    // whose parameters map to this one's through other_to_this.
    virtual std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const;

    // Renumbers the parameters so that `other` does the combining.
    std::unique_ptr<constraint_propagator> combine_other_first(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const;
};

// The opening of a propagator's print(): without a view, writes the
// constraint's name (a string, or a callable writing it to the stream) and
// answers false, there being nothing more to write; with one, writes the
// view's prefix and `open` and answers true for the caller to write the
// parameters.
template <class Name>
bool print_opening(std::ostream& os, const constraint_runtime_info* ri, const Name& name,
                   const char* open = "(") {
    if (!ri) {
        if constexpr (std::is_invocable_v<const Name&, std::ostream&>)
            name(os);
        else
            os << name;
        return false;
    }
    ri->print_prefix(os);
    os << open;
    return true;
}

// print() of a constraint over two parameters: "<prefix><open>x0<middle>x1<close>"
// with a view, its name without.
void print_binary(std::ostream& os, const constraint_runtime_info* ri, const char* name,
                  const char* open, const char* middle, const char* close);

// Propagators exact enough that an explanation can be found by re-running them
// on narrowed domains: the refining order puts the last modified parameters first.
class tight_constraint_propagator : public constraint_propagator {
public:
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
};

// As above, refining at most the two parameters modified last.
class tight1_constraint_propagator : public constraint_propagator {
public:
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
};

} // namespace qarn
