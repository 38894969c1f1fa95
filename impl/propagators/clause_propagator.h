// Clause constraints: parameter i lies in literal set i for at least one i.
//
// clause_propagation_algo is the two-watched-literal algorithm with its state:
// each watch is a value watch on one value of a parameter's domain that also
// lies in that parameter's literal set, so the clause is woken only when that
// value leaves the domain. While the clause is neither entailed nor
// conflicting after a propagation, the two watches stand on different
// parameters whose literals are not false. A watch may also name a parameter
// without holding a value watch (a true or a unit literal found at init);
// such a clause is settled by its first propagation.
//
// constraint_propagator_from_algo<Algo> turns an algorithm class into a
// propagator by forwarding the slots; clause_propagator is the instance the
// system uses and adds construction, literal editing, simplification and
// combination. stateless_clause_propagator propagates the clause without
// watches.
#pragma once

#include <initializer_list>
#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"

namespace qarn {

// Throws std::runtime_error "Modifying the clause at runtime".
[[noreturn]] void throw_modifying_clause_at_runtime();

class clause_propagation_algo : public propagation_types {
public:
    typedef constraint_runtime_info ri_type;

    // One watched literal. index -1: no watch; a null handle: no value watch.
    // A watch set on the live view also keeps its variable and, when its
    // literal is one range, the range: testing a watched literal then reads
    // neither the parameter list nor the literal set (NO_VARIABLE / lo > hi
    // when not kept).
    struct watch_record {
        int index = -1;
        watch_handle_t handle;
        int value = 0;
        unsigned var = NO_VARIABLE;
        int literal_lo = 1;
        int literal_hi = 0;
    };

    clause_propagation_algo() = default;
    explicit clause_propagation_algo(std::vector<iset> literals)
        : m_literals(std::move(literals)) {}

    unsigned count_params() const { return static_cast<unsigned>(m_literals.size()); }
    const std::vector<iset>& literals() const { return m_literals; }
    // For filling the clause; throws while a value watch is held.
    std::vector<iset>& update_literals();

    bool init(ri_type& ri);
    result_type propagate(ri_type& ri);
    // True unless some literal can still hold (the watched ones are tried first).
    bool conflicts(const ri_type& ri) const;
    // Some literal is not false.
    bool constraint_check(const ri_type& ri) const;
    // [literal, ...] with "*" before a watched literal and "value?" after it
    // when the watch holds a value watch; the view's prefix and names if given.
    void print(std::ostream& os, const ri_type* ri) const;
    // The literal's domain has values both inside and outside the set.
    bool potentially_falsifying(const ri_type& ri, unsigned param) const;

    const watch_record& watch(unsigned w) const { return m_watches[w]; }
    // Watch w's parameter; NO_PARAM when it has none.
    unsigned watched_param_index(unsigned w) const {
        return static_cast<unsigned>(m_watches[w].index);
    }
    // Watches holding a value watch.
    unsigned count_watches() const;
    // Drops both value watch handles; the watched parameters are kept.
    void forget_watches();
    // The clause itself: one set per parameter.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const ri_type& ri, std::vector<iset>& explanation) const;

private:
    // D(i) is parameter i's domain (see domain_access.h).
    template <class D>
    bool is_false(const D& domains, unsigned i) const {
        return !m_literals[i].contains_any_of(domains(i));
    }
    template <class D>
    bool is_true(const D& domains, unsigned i) const {
        return m_literals[i].contains_all_of(domains(i));
    }
    // Watch w's domain and whether its literal is true, by the kept variable
    // and range when the live view is read and they are kept.
    template <class D>
    const iset& watched_domain(const D& domains, unsigned w) const;
    template <class D>
    bool is_true_watch(const D& domains, unsigned w) const;
    // The least value >= hint in both set i and domain i, else the least
    // common value (the search wraps round); the two must intersect.
    template <class D>
    int best_watch_value(const D& domains, unsigned i, int hint) const;
    // A value watch on literal i, in watch 0 when that is free, else watch 1.
    template <class D>
    void add_watch(ri_type& ri, const D& domains, unsigned i, int hint);
    // Releases watch w's value watch, if any, and clears its parameter.
    void remove_watch(ri_type& ri, unsigned w);
    // Moves watch w onto literal j, searching from the old watched value.
    template <class D>
    void change_watch(ri_type& ri, const D& domains, unsigned w, unsigned j);
    // Literal i must hold: narrows domain i to the set; UNSAT when disjoint.
    template <class D>
    result_type unit_propagate(ri_type& ri, const D& domains, unsigned i);
    // The first literal after p (round robin) that is not false, skipping
    // `skip`; -1 when there is none.
    template <class D>
    int find_replacement(const D& domains, unsigned p, int skip) const;
    // The propagation of a clause with one watch, in querying mode.
    template <class D>
    result_type refresh_watch(ri_type& ri, const D& domains, unsigned w);
    template <class D>
    result_type propagate_with(ri_type& ri, const D& domains);

    std::vector<iset> m_literals;
    watch_record m_watches[2];
};

// Forwards the propagator slots to an algorithm object. The algorithm
// provides count_params, init, propagate, conflicts, constraint_check, print,
// watched_param_index, count_watches, forget_watches and explain_propagation.
template <class Algo>
class constraint_propagator_from_algo : public constraint_propagator {
public:
    constraint_propagator_from_algo() = default;
    explicit constraint_propagator_from_algo(Algo algo) : m_algo(std::move(algo)) {}

    unsigned count_params() const override { return m_algo.count_params(); }
    bool init(constraint_runtime_info& ri) override { return m_algo.init(ri); }
    result_type propagate(constraint_runtime_info& ri) override { return m_algo.propagate(ri); }
    bool conflicts(const constraint_runtime_info& ri) const override {
        return m_algo.conflicts(ri);
    }
    bool constraint_check(const constraint_runtime_info& ri) const override {
        return m_algo.constraint_check(ri);
    }
    void print(std::ostream& os, const constraint_runtime_info* ri) const override {
        m_algo.print(os, ri);
    }
    unsigned watched_param_index(unsigned watch) const override {
        return m_algo.watched_param_index(watch);
    }
    unsigned count_watches() const override { return m_algo.count_watches(); }
    void forget_watches() override { m_algo.forget_watches(); }
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override {
        m_algo.explain_propagation(param, values, new_domain, ri, explanation);
    }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<constraint_propagator_from_algo>(m_algo);
    }

    const Algo& algo() const { return m_algo; }

protected:
    Algo m_algo;
};

class clause_propagator : public constraint_propagator_from_algo<clause_propagation_algo> {
public:
    clause_propagator() = default;
    clause_propagator(std::initializer_list<iset> literals)
        : constraint_propagator_from_algo(clause_propagation_algo(std::vector<iset>(literals))) {}

    const std::vector<iset>& literals() const { return m_algo.literals(); }
    // For filling the clause; throws "Modifying the clause at runtime" while
    // a value watch is held.
    std::vector<iset>& update_literals() { return m_algo.update_literals(); }

    // A copy with the same literals and watch records.
    std::unique_ptr<constraint_propagator> clone() const override;
    // The clause with every set intersected with its domain and the empty
    // ones dropped (params: the kept parameters), or null when no set changes.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
    bool potentially_falsifying(const constraint_runtime_info& ri, unsigned param) const override;
    // Pure literals: every set, from position 0, borrowed; no base constraint.
    bool get_disjunction_specification(disjunction_specification& description) const override;
    // Never with another clause; otherwise as the other constraint decides.
    bool may_combine(const constraint_propagator& other) const override;
    // The other constraint does the combining.
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;
};

// The clause without watches: every propagation scans all literals. The flag
// records that the clause was propagated since it was cloned.
class stateless_clause_propagator : public constraint_propagator {
public:
    stateless_clause_propagator() = default;
    explicit stateless_clause_propagator(std::vector<iset> literals)
        : m_literals(std::move(literals)) {}

    const std::vector<iset>& literals() const { return m_literals; }
    bool propagated() const { return m_propagated; }

    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    // Some literal is true.
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    [[noreturn]] static void throw_modifying_clause_at_runtime();

private:
    std::vector<iset> m_literals;
    bool m_propagated = false;
};

} // namespace qarn
