// The disjunction of a propagator A over the first parameters and a clause B
// over the rest: parameters 0 .. a-1 are A's, a .. arity-1 the clause's,
// clause literal i belonging to parameter a + i.
//
// Each part runs on a sliced view of the constraint's view. A's narrowings
// stay pending in its slice and are applied only when the clause cannot
// hold; the clause's are applied only when A cannot hold. So no combination
// satisfying either part is ever removed, and a conflict needs both parts
// to conflict.
//
// A's parameter count a is A's count_params() when that is not negative as a
// signed number, otherwise the arity left over by the clause (a_count_params).
// It is stored by the constructor and by init, and propagate, conflicts and
// watched_param_index use the stored value.
#pragma once

#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/runtime_views.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/sets/model.h"

namespace qarn {

class disjoint_propagation_algo_base : public propagation_types {
public:
    typedef constraint_runtime_info ri_type;

    // The two parts' texts, collected separately so that the line breaks
    // they end with can be removed before they are joined on one line.
    struct print_buffer {
        std::ostringstream stream_a;
        std::ostringstream stream_b;
        // "(" A " || " B ")\n", each text without one trailing line break.
        void flush_to(std::ostream& os) const;
    };

protected:
    // A count negative as a signed number means "unknown".
    static bool known_count(unsigned count) { return static_cast<int>(count) >= 0; }
    // A's parameter count from the arity and the clause's literal count.
    static unsigned leftover_count(unsigned arity, unsigned literal_count);
};

template <class A, class B>
class disjoint_propagation_algo : public disjoint_propagation_algo_base {
public:
    disjoint_propagation_algo() : m_a_count(initial_count()) {}
    disjoint_propagation_algo(A a, B b)
        : m_a(std::move(a)), m_b(std::move(b)), m_a_count(initial_count()) {}

    const A& a_part() const { return m_a; }
    A& a_part() { return m_a; }
    const B& b_part() const { return m_b; }
    B& b_part() { return m_b; }
    // The stored count of A's parameters.
    unsigned a_count() const { return m_a_count; }

    // A's parameter count for a view of the whole constraint; throws when it
    // cannot be determined.
    unsigned a_count_params(const ri_type& ri) const {
        const unsigned a = m_a.count_params();
        if (known_count(a))
            return a;
        return leftover_count(ri.arity(), m_b.count_params());
    }

    // Unknown (ANY_PARAM_COUNT) when either part's count is.
    unsigned count_params() const {
        const unsigned a = m_a.count_params();
        const unsigned b = m_b.count_params();
        if (!known_count(a) || !known_count(b))
            return ANY_PARAM_COUNT;
        return a + b;
    }

    // False only when both parts conflict.
    bool init(ri_type& ri) {
        m_a_count = a_count_params(ri);
        sliced_runtime_info a_view(ri, 0, m_a_count);
        sliced_runtime_info b_view(ri, m_a_count, ri.arity());
        const bool a_ok = m_a.init(a_view);
        const bool b_ok = m_b.init(b_view);
        return a_ok || b_ok;
    }

    result_type propagate(ri_type& ri) {
        sliced_runtime_info a_view(ri, 0, m_a_count);
        sliced_runtime_info b_view(ri, m_a_count, ri.arity());
        const result_type r = m_a.propagate(a_view);
        if (r == UNSAT) {
            // Only the clause can hold: its narrowings apply directly.
            b_view.set_querying_domain(false);
            return m_b.propagate(b_view);
        }
        if (!a_view.pending_commit())
            return r == VALID ? VALID : CONSISTENT;
        const result_type rb = m_b.propagate(b_view);
        if (rb == UNSAT) {
            // Only A can hold: its narrowings apply.
            a_view.commit();
            return r;
        }
        if (rb == VALID)
            return b_view.pending_commit() ? CONSISTENT : VALID;
        return CONSISTENT;
    }

    bool conflicts(const ri_type& ri) const {
        const sliced_runtime_info a_view(ri, 0, m_a_count);
        if (!m_a.conflicts(a_view))
            return false;
        const sliced_runtime_info b_view(ri, m_a_count, ri.arity());
        return m_b.conflicts(b_view);
    }

    bool constraint_check(const ri_type& ri) const {
        const unsigned a = a_count_params(ri);
        const sliced_runtime_info a_view(ri, 0, a);
        if (m_a.constraint_check(a_view))
            return true;
        const sliced_runtime_info b_view(ri, a, ri.arity());
        return m_b.constraint_check(b_view);
    }

    // With a view: its prefix, then "(" A " || " clause ")" and a line break.
    void print(std::ostream& os, const ri_type* ri) const {
        print_buffer buffer;
        if (ri) {
            ri->print_prefix(os);
            const unsigned a = a_count_params(*ri);
            const sliced_runtime_info a_view(*ri, 0, a);
            const sliced_runtime_info b_view(*ri, a, ri->arity());
            m_a.print(buffer.stream_a, &a_view);
            m_b.print(buffer.stream_b, &b_view);
        } else {
            m_a.print(buffer.stream_a, nullptr);
            m_b.print(buffer.stream_b, nullptr);
        }
        buffer.flush_to(os);
    }

    unsigned watched_param_index(unsigned watch) const {
        return m_a_count + m_b.watched_param_index(watch);
    }
    unsigned count_watches() const { return m_b.count_watches(); }
    void forget_watches() { m_b.forget_watches(); }

    // A's part first, then the clause's literal sets. A narrowing of A's
    // parameter is explained by A; anything else by why A cannot hold: A's
    // changes apply only when the clause is false, and the clause's changes
    // are its unit propagation, which needs A to be false.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const ri_type& ri, std::vector<iset>& explanation) const {
        const unsigned a = a_count_params(ri);
        explanation.reserve(ri.arity());
        const sliced_runtime_info a_view(ri, 0, a);
        if (param < a && !new_domain.empty())
            m_a.explain_propagation(param, values, new_domain, a_view, explanation);
        else
            m_a.explain_propagation(0, iset(MIN_DOMAIN, MAX_DOMAIN), iset(), a_view,
                                    explanation);
        explanation.resize(a);
        const std::vector<iset>& literals = m_b.literals();
        explanation.insert(explanation.end(), literals.begin(), literals.end());
    }

private:
    unsigned initial_count() const {
        const unsigned a = m_a.count_params();
        return known_count(a) ? a : 0;
    }

    A m_a;
    B m_b;
    unsigned m_a_count;
};

// The propagator over a disjoint algorithm. It adds no slots, so its clones
// (plain adapters) behave exactly as it does.
template <class A, class B>
class disjoint_propagator : public constraint_propagator_from_algo<disjoint_propagation_algo<A, B>> {
public:
    typedef disjoint_propagation_algo<A, B> algo_type;

    disjoint_propagator() = default;
    disjoint_propagator(A a, B b)
        : constraint_propagator_from_algo<algo_type>(algo_type(std::move(a), std::move(b))) {}

    // For building the propagator before it is initialised.
    algo_type& update_algo() { return this->m_algo; }
};

} // namespace qarn
