// A constraint described as a disjunction: literals, each saying that a
// parameter lies in a set, plus at most one base constraint over the other
// parameters. Learning combines two general constraints on a pivot variable
// by describing both this way and resolving the descriptions (combine); the
// result is a clause when no base constraint is left, otherwise whatever the
// surviving base constraint builds (new_propagator).
//
// Parameter positions go through the parameter map: position p stands for
// map[p] when p is below the map's length and for p itself otherwise. Literal
// i is at position first_literal_position() + i, base parameter k at
// first_base_position() + k. Literal sets and the base constraint are either
// borrowed from the described propagator or owned by the description.
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/sets/model.h"

namespace qarn {

class disjunction_specification {
public:
    disjunction_specification() = default;
    // Lets the propagator describe itself (its answer is not checked); the
    // parameters it leaves to no literal belong to the base constraint.
    disjunction_specification(const constraint_runtime_info& ri,
                              const constraint_propagator& propagator,
                              const std::vector<unsigned>& map);
    // The literal sets may point into the description itself.
    disjunction_specification(const disjunction_specification&) = delete;
    disjunction_specification& operator=(const disjunction_specification&) = delete;

    // The resolvent of this description and `other` on the variable `pivot`,
    // owned by the caller, or null when the combination is refused. out
    // receives the variable of each parameter of the result.
    std::unique_ptr<constraint_propagator> combine(disjunction_specification& other,
                                                   unsigned pivot, std::vector<unsigned>& out);
    // The pivot is a literal variable of both descriptions.
    std::unique_ptr<constraint_propagator> combine_literal_pivot(disjunction_specification& other,
                                                                 unsigned pivot,
                                                                 std::vector<unsigned>& out);
    // The pivot is a parameter of both base constraints.
    std::unique_ptr<constraint_propagator> combine_constraint_pivot(
        disjunction_specification& other, unsigned pivot, std::vector<unsigned>& out);

    // This description's literals become a's followed by b's literals on
    // variables a has none on; literals on a shared variable are united,
    // except on the pivot, where they are intersected. When the pivot's set
    // becomes empty, every empty literal is dropped. The base is untouched.
    void resolve_literals(const disjunction_specification& a, const disjunction_specification& b,
                          unsigned pivot);
    // Appends copies of other's literals. This description's literals must be
    // its own, at the start of its map.
    void append_literals(const disjunction_specification& other);
    // Takes a clone of other's base constraint, its parameters after the literals.
    void append_constraint(const disjunction_specification& other);
    // As append_constraint, but takes over other's owned base constraint.
    void steal_constraint(disjunction_specification& other);
    // A clause when there is no base constraint, else the base's new_propagator.
    std::unique_ptr<constraint_propagator> make_constraint(std::vector<unsigned>& out);
    // The clause over the literals; out[i] is literal i's variable.
    std::unique_ptr<constraint_propagator> new_clause(std::vector<unsigned>& out) const;
    void clear();

    // For propagators describing themselves.
    void set_literals(unsigned first_position, const iset* sets, unsigned count) {
        m_first_literal = first_position;
        m_literal_sets = sets;
        m_literal_count = count;
    }
    void set_borrowed_base(const constraint_propagator* base, unsigned first_position) {
        m_owned_base.reset();
        m_base = base;
        m_first_base = first_position;
    }
    void set_owned_base(std::unique_ptr<constraint_propagator> base, unsigned first_position) {
        m_owned_base = std::move(base);
        m_base = m_owned_base.get();
        m_first_base = first_position;
    }
    void set_base_count(unsigned count) { m_base_count = count; }
    // For disjoin_constraint and combine_base_constraints, which build descriptions.
    std::vector<unsigned>& update_param_map() { return m_map; }

    const constraint_runtime_info* runtime_info() const { return m_ri; }
    const std::vector<unsigned>& param_map() const { return m_map; }
    unsigned mapped(unsigned position) const {
        return position < m_map.size() ? m_map[position] : position;
    }
    unsigned base_count() const { return m_base_count; }
    unsigned literal_count() const { return m_literal_count; }
    unsigned first_literal_position() const { return m_first_literal; }
    unsigned first_base_position() const { return m_first_base; }
    const iset& literal_set(unsigned i) const { return m_literal_sets[i]; }
    unsigned literal_variable(unsigned i) const { return mapped(m_first_literal + i); }
    unsigned base_variable(unsigned k) const { return mapped(m_first_base + k); }
    const constraint_propagator* base() const { return m_base; }
    bool owns_base() const { return m_owned_base != nullptr; }
    const std::vector<iset>& owned_sets() const { return m_owned_sets; }

    // Position of the first literal on `variable`, or -1.
    int find_literal(unsigned variable) const;
    bool has_literal(unsigned variable) const { return find_literal(variable) >= 0; }
    bool has_base_variable(unsigned variable) const;

private:
    // The literal sets become the owned ones.
    void use_owned_sets() {
        m_literal_sets = m_owned_sets.data();
        m_literal_count = static_cast<unsigned>(m_owned_sets.size());
    }
    // Some base variable of `with_base` is a literal variable of `other`.
    static bool base_meets_literals(const disjunction_specification& with_base,
                                    const disjunction_specification& other);
    void take_base(const disjunction_specification& other,
                   std::unique_ptr<constraint_propagator> base);

    const constraint_runtime_info* m_ri = nullptr;
    std::vector<unsigned> m_map;
    unsigned m_base_count = 0;
    unsigned m_literal_count = 0;
    unsigned m_first_literal = 0;
    const iset* m_literal_sets = nullptr;
    std::vector<iset> m_owned_sets;
    unsigned m_first_base = 0;
    const constraint_propagator* m_base = nullptr;
    std::unique_ptr<constraint_propagator> m_owned_base;
};

// The propagator of a resolved disjunction whose base constraint has
// base_params parameters: the base alone without literals, else the base or
// the clause of the literals (with_clause(sets)). params receives the base
// variables, then the literal variables.
template <class WithClause>
std::unique_ptr<constraint_propagator> new_base_or_clause_propagator(
    disjunction_specification& description, std::vector<unsigned>& params, unsigned base_params,
    WithClause with_clause) {
    const unsigned literals = description.literal_count();
    params.clear();
    params.reserve(base_params + literals);
    for (unsigned k = 0; k < base_params; ++k)
        params.push_back(description.base_variable(k));
    if (literals == 0)
        return description.base() ? description.base()->clone() : nullptr;
    std::vector<iset> sets;
    sets.reserve(literals);
    for (unsigned i = 0; i < literals; ++i) {
        sets.push_back(description.literal_set(i));
        params.push_back(description.literal_variable(i));
    }
    return with_clause(std::move(sets));
}

// As above over a two-parameter base, with one literal its own propagator
// (one_literal(set)), parameters the literal's variable and the base's.
template <class OneLiteral, class WithClause>
std::unique_ptr<constraint_propagator> new_binary_base_propagator(
    disjunction_specification& description, std::vector<unsigned>& params,
    OneLiteral one_literal, WithClause with_clause) {
    if (description.literal_count() != 1)
        return new_base_or_clause_propagator(description, params, 2, std::move(with_clause));
    params.clear();
    params.push_back(description.literal_variable(0));
    params.push_back(description.base_variable(0));
    params.push_back(description.base_variable(1));
    return one_literal(description.literal_set(0));
}

} // namespace qarn
