// A table constraint propagated by brute force, for checking the checkers.
// The allowed tuples are listed; a propagation keeps exactly the values that
// some allowed tuple within the domains supports, answers UNSAT when there is
// none and VALID when every combination left is allowed. Its explanations are
// the plain ones (every domain's complement, plus the new domain for the
// narrowed parameter), and it attaches a rule that restates them.
//
// Each fault switches on one known mistake, so that tests can show which
// check catches it.
#pragma once

#include <algorithm>
#include <memory>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/sets/model.h"

namespace qarn_test {

class table_reference_propagator : public qarn::constraint_propagator {
public:
    typedef std::vector<int> tuple;

    enum fault {
        NONE,
        NEVER_CONFLICTS,        // conflicts() is always false
        SHORT_EXPLANATION,      // explanations lack their last set
        CONFLICT_HITS_DOMAIN,   // conflict explanations: set 0 is the whole range
        PARAM_HITS_DOMAIN,      // narrowings: the narrowed parameter's set is the whole range
        OTHERS_HIT_DOMAIN,      // narrowings: the other parameters' sets are the whole range
        EMPTY_EXPLANATION,      // every set empty: a clause the constraint does not imply
        WRONG_RULE,             // the rule restates another explanation
        TOUCH_AND_RESTORE,      // marks parameter 0 modified without changing it
        DROPS_SUPPORT,          // also removes parameter 0's greatest value
        IGNORES_GROUND_CONFLICT, // single values pass unchecked
        NO_WATCHES,             // init registers nothing
        EARLY_VALID,            // VALID instead of CONSISTENT
        LAZY,                   // never narrows, never conflicts, never VALID
        INIT_FAILS,             // init answers false
    };

    table_reference_propagator(std::set<tuple> allowed, unsigned arity, fault f = NONE)
        : m_allowed(std::move(allowed)), m_arity(arity), m_fault(f),
          m_propagations(std::make_shared<unsigned>(0)),
          m_explanations(std::make_shared<unsigned>(0)) {}

    // Propagations and explanations made by this propagator and its clones.
    unsigned propagations() const { return *m_propagations; }
    unsigned explanations() const { return *m_explanations; }
    bool allows(const tuple& t) const { return m_allowed.count(t) != 0; }

    unsigned count_params() const override { return m_arity; }

    bool init(qarn::constraint_runtime_info& ri) override {
        if (m_fault == NO_WATCHES)
            return true;
        if (m_fault == INIT_FAILS)
            return false;
        return constraint_propagator::init(ri);
    }

    result_type propagate(qarn::constraint_runtime_info& ri) override {
        ++*m_propagations;
        if (m_fault == LAZY || (m_fault == IGNORES_GROUND_CONFLICT && all_singletons(ri)))
            return CONSISTENT;
        if (m_fault == TOUCH_AND_RESTORE && ri.domain(0).size() > 1) {
            const qarn::iset original = ri.domain(0);
            qarn::iset smaller(original);
            smaller.erase(qarn::iset::range_type(original.min(), original.min()));
            ri.set_domain(0, smaller);
            ri.set_domain(0, original);
        }
        std::vector<qarn::iset> support(m_arity);
        const std::size_t supported = collect_support(ri, support);
        if (supported == 0)
            return UNSAT;
        if (m_fault == DROPS_SUPPORT && support[0].size() > 1)
            support[0].erase(qarn::iset::range_type(support[0].max(), support[0].max()));
        for (unsigned p = 0; p < m_arity; ++p)
            if (!qarn::iset::same_elements(support[p], ri.domain(p)))
                ri.set_domain(p, support[p]);
        if (m_fault == EARLY_VALID)
            return VALID;
        // Every combination left is allowed when their number is the number
        // of supported tuples.
        std::size_t combinations = 1;
        for (unsigned p = 0; p < m_arity && combinations <= supported; ++p)
            combinations *= support[p].size();
        return combinations == supported ? VALID : CONSISTENT;
    }

    bool conflicts(const qarn::constraint_runtime_info& ri) const override {
        if (m_fault == NEVER_CONFLICTS || m_fault == LAZY ||
            (m_fault == IGNORES_GROUND_CONFLICT && all_singletons(ri)))
            return false;
        std::vector<qarn::iset> support(m_arity);
        return collect_support(ri, support) == 0;
    }

    bool constraint_check(const qarn::constraint_runtime_info& ri) const override {
        if (!all_singletons(ri))
            return false;
        tuple t;
        for (unsigned p = 0; p < m_arity; ++p)
            t.push_back(ri.domain(p).min());
        return allows(t);
    }

    void explain_propagation(unsigned param, const qarn::iset&, const qarn::iset& new_domain,
                             const qarn::constraint_runtime_info& ri,
                             std::vector<qarn::iset>& explanation) const override {
        ++*m_explanations;
        explanation.clear();
        for (unsigned p = 0; p < m_arity; ++p) {
            qarn::iset outside = ri.domain(p);
            outside.complement();
            explanation.push_back(std::move(outside));
        }
        explanation[param].insert_all_of(new_domain);
        qarn::iset all;
        all.complement();
        const bool conflict = new_domain.empty();
        switch (m_fault) {
        case SHORT_EXPLANATION:
            explanation.pop_back();
            break;
        case CONFLICT_HITS_DOMAIN:
            if (conflict)
                explanation[0] = all;
            break;
        case PARAM_HITS_DOMAIN:
            if (!conflict)
                explanation[param] = all;
            break;
        case OTHERS_HIT_DOMAIN:
            for (unsigned p = 0; p < m_arity && !conflict; ++p)
                if (p != param)
                    explanation[p] = all;
            break;
        case EMPTY_EXPLANATION:
            for (qarn::iset& s : explanation)
                s = qarn::iset();
            break;
        default:
            break;
        }
    }

    std::unique_ptr<qarn::explanation_rule> rule(
        const std::vector<qarn::iset>& explanation) const override {
        std::vector<qarn::iset> restated(explanation);
        if (m_fault == WRONG_RULE && !restated.empty())
            restated[0].complement();
        return std::make_unique<restating_rule>(std::move(restated));
    }

    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<table_reference_propagator>(*this);
    }

private:
    class restating_rule : public qarn::explanation_rule {
    public:
        explicit restating_rule(std::vector<qarn::iset> explanation)
            : m_explanation(std::move(explanation)) {}
        std::unique_ptr<qarn::explanation_rule> clone() const override {
            return std::make_unique<restating_rule>(*this);
        }
        void get_explanation(std::vector<qarn::iset>& explanation) const override {
            explanation = m_explanation;
        }
        void print(std::ostream& os, const qarn::variable_print_strategy&,
                   const std::vector<unsigned>&) const override {
            os << "table";
        }

    private:
        std::vector<qarn::iset> m_explanation;
    };

    static bool all_singletons(const qarn::constraint_runtime_info& ri) {
        for (unsigned p = 0; p < ri.arity(); ++p)
            if (ri.domain(p).size() != 1)
                return false;
        return true;
    }

    // The values of the allowed tuples lying within the domains, per
    // parameter; returns the number of such tuples.
    std::size_t collect_support(const qarn::constraint_runtime_info& ri,
                                std::vector<qarn::iset>& support) const {
        std::size_t count = 0;
        for (const tuple& t : m_allowed) {
            bool inside = true;
            for (unsigned p = 0; p < m_arity && inside; ++p)
                inside = ri.domain(p).contains(t[p]);
            if (!inside)
                continue;
            ++count;
            for (unsigned p = 0; p < m_arity; ++p)
                support[p].insert(qarn::iset::range_type(t[p], t[p]));
        }
        return count;
    }

    std::set<tuple> m_allowed;
    unsigned m_arity;
    fault m_fault;
    std::shared_ptr<unsigned> m_propagations;
    std::shared_ptr<unsigned> m_explanations;
};

} // namespace qarn_test
