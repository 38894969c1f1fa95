// A set literal (parameter 0 lies in the set S) attached to a constraint C
// over parameters 1 and 2:
//   literal_or_constraint_propagator    (lit ∈ S) or C(x, y)
//   literal_iff_constraint_propagator   (lit ∈ S) iff C(x, y)
// The templates hold the literal logic and its value watches; the concrete
// class D supplies C through the added virtual operations:
//   state_of_non_literal_part   UNSAT (C impossible), VALID (C entailed) or
//                               CONSISTENT (undecided) under the domains
//   init_non_literal_part       C's watches; false when C is impossible
//   propagate_non_literal_part  C's propagation, the literal being false
//   (literal-iff also init_neg_ and propagate_neg_non_literal_part for not C)
// Instances: literal_or_equal (x = y), literal_or_difference_ge (x - y >= k),
// literal_or_neq (x != y) and literal_iff_less_than (x < y).
//
// The literal-or form holds one value watch on a value of S in the literal's
// domain, the literal-iff form one on each side of S. Clones copy the watch
// handles; explanations run on a clone with its handles dropped, so a probe
// never releases a watch of the real view.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"

namespace qarn {

template <class D, class Tight>
class literal_or_constraint_propagator : public Tight {
public:
    typedef propagation_types::result_type result_type;

    explicit literal_or_constraint_propagator(iset set) : m_set(std::move(set)) {}

    unsigned count_params() const override { return 3; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    unsigned watched_param_index(unsigned) const override { return 0; }
    unsigned count_watches() const override { return m_watch.is_null() ? 0 : 1; }
    void forget_watches() override { m_watch = watch_handle_t(); }
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<D>(static_cast<const D&>(*this));
    }

    virtual bool init_non_literal_part(constraint_runtime_info& ri);
    virtual result_type propagate_non_literal_part(constraint_runtime_info& ri) = 0;
    virtual result_type state_of_non_literal_part(const constraint_runtime_info& ri) const = 0;
    virtual void print_non_literal_part(std::ostream& os,
                                        const constraint_runtime_info* ri) const = 0;
    virtual bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const = 0;

    const iset& literal_set() const { return m_set; }
    int watched_value() const { return m_watched_value; }

private:
    iset m_set;
    watch_handle_t m_watch;
    int m_watched_value = 0;
};

template <class D, class Tight>
class literal_iff_constraint_propagator : public Tight {
public:
    typedef propagation_types::result_type result_type;

    explicit literal_iff_constraint_propagator(iset set) : m_set(std::move(set)) {}

    unsigned count_params() const override { return 3; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    unsigned watched_param_index(unsigned) const override { return 0; }
    unsigned count_watches() const override { return m_positive_watch.is_null() ? 0 : 2; }
    void forget_watches() override {
        m_positive_watch = watch_handle_t();
        m_negative_watch = watch_handle_t();
    }
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<D>(static_cast<const D&>(*this));
    }

    virtual bool init_non_literal_part(constraint_runtime_info& ri) = 0;
    virtual bool init_neg_non_literal_part(constraint_runtime_info& ri) = 0;
    virtual result_type propagate_non_literal_part(constraint_runtime_info& ri) = 0;
    virtual result_type propagate_neg_non_literal_part(constraint_runtime_info& ri) = 0;
    virtual result_type state_of_non_literal_part(const constraint_runtime_info& ri) const = 0;
    virtual void print_non_literal_part(std::ostream& os,
                                        const constraint_runtime_info* ri) const = 0;
    virtual bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const = 0;

    const iset& literal_set() const { return m_set; }
    int positive_value() const { return m_positive_value; }
    int negative_value() const { return m_negative_value; }

private:
    // A value watch on the least value of the literal's domain inside S
    // (positive) or outside it (negative).
    void allocate_positive_watch(constraint_runtime_info& ri);
    void allocate_negative_watch(constraint_runtime_info& ri);

    iset m_set;
    watch_handle_t m_positive_watch;
    int m_positive_value = 0;
    watch_handle_t m_negative_watch;
    int m_negative_value = 0;
};

// lit ∈ S or x = y.
class literal_or_equal_propagator
    : public literal_or_constraint_propagator<literal_or_equal_propagator,
                                              tight_constraint_propagator> {
public:
    using literal_or_constraint_propagator::literal_or_constraint_propagator;

    result_type propagate_non_literal_part(constraint_runtime_info& ri) override;
    result_type state_of_non_literal_part(const constraint_runtime_info& ri) const override;
    void print_non_literal_part(std::ostream& os, const constraint_runtime_info* ri) const override;
    bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const override;
};

// lit ∈ S or x - y >= k.
class literal_or_difference_ge_propagator
    : public literal_or_constraint_propagator<literal_or_difference_ge_propagator,
                                              tight_constraint_propagator> {
public:
    literal_or_difference_ge_propagator(iset set, int k)
        : literal_or_constraint_propagator(std::move(set)), m_k(k) {}

    bool init_non_literal_part(constraint_runtime_info& ri) override;
    result_type propagate_non_literal_part(constraint_runtime_info& ri) override;
    result_type state_of_non_literal_part(const constraint_runtime_info& ri) const override;
    void print_non_literal_part(std::ostream& os, const constraint_runtime_info* ri) const override;
    bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const override;

    // Under ground values: a tautology when the literal holds, the
    // difference's own simplification when it is false, and a clause with S
    // in front when the difference reduces to a clause.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
    // The literal at position 0, the difference as owned base at position 1.
    bool get_disjunction_specification(disjunction_specification& description) const override;
    bool may_combine(const constraint_propagator& other) const override;
    std::unique_ptr<constraint_propagator> combine(
        const constraint_runtime_info& this_ri, const constraint_propagator& other,
        const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
        unsigned param, std::vector<unsigned>& out_params) const override;

    int k() const { return m_k; }

private:
    int m_k;
};

// lit ∈ S or x != y.
class literal_or_neq_propagator
    : public literal_or_constraint_propagator<literal_or_neq_propagator,
                                              tight_constraint_propagator> {
public:
    // Proof rule: "lit ∈ S or x != value or y != value", or, for an empty
    // domain of x, the literal alone over every value.
    class literal_or_neq_rule : public explanation_rule {
    public:
        literal_or_neq_rule(int value, iset set, bool domain)
            : m_value(value), m_set(std::move(set)), m_domain(domain) {}
        std::unique_ptr<explanation_rule> clone() const override;
        void get_explanation(std::vector<iset>& sets) const override;
        void print(std::ostream& os, const variable_print_strategy& strategy,
                   const std::vector<unsigned>& variables) const override;

    private:
        int m_value;
        iset m_set;
        bool m_domain;
    };

    using literal_or_constraint_propagator::literal_or_constraint_propagator;

    bool init_non_literal_part(constraint_runtime_info& ri) override;
    result_type propagate_non_literal_part(constraint_runtime_info& ri) override;
    result_type state_of_non_literal_part(const constraint_runtime_info& ri) const override;
    void print_non_literal_part(std::ostream& os, const constraint_runtime_info* ri) const override;
    bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const override;
    std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const override;
};

// lit ∈ S iff x < y.
class literal_iff_less_than_propagator
    : public literal_iff_constraint_propagator<literal_iff_less_than_propagator,
                                               tight_constraint_propagator> {
public:
    using literal_iff_constraint_propagator::literal_iff_constraint_propagator;

    bool init_non_literal_part(constraint_runtime_info& ri) override;
    bool init_neg_non_literal_part(constraint_runtime_info& ri) override;
    result_type propagate_non_literal_part(constraint_runtime_info& ri) override;
    result_type propagate_neg_non_literal_part(constraint_runtime_info& ri) override;
    result_type state_of_non_literal_part(const constraint_runtime_info& ri) const override;
    void print_non_literal_part(std::ostream& os, const constraint_runtime_info* ri) const override;
    bool constraint_check_non_literal_part(const constraint_runtime_info& ri) const override;
};

} // namespace qarn
