// A brute-force property check for propagators. A propagator joins with one
// row: a name, its arity, the value windows its domains are drawn from, and a
// factory that makes the propagator together with an independent reference
// predicate over ground values (the factory may draw the propagator's data,
// such as clause literals, from qarn::random).
//
// For every seed the check draws random domains within a window, wraps the
// propagator in the explanation tester (whose own checks then run on every
// propagation), drives it through the explicit-domain view with random
// reductions and occasional back-jumps, and checks against the reference by
// enumerating the (small) domains:
//  - soundness: no tuple satisfying the reference is removed; UNSAT only when
//    none is left; VALID only when every remaining tuple satisfies it; no
//    domain grows, and nothing changes when the propagator was not due;
//  - explanations: each has one set per parameter, excludes the explained
//    values and the other domains, and holds for every reference solution in
//    a box one value wider than the window on each side;
//  - ground completeness: on single values, a failing init or UNSAT exactly
//    when the reference fails, both for fresh propagators and at the end of
//    every walk.
// The first failure is returned with the row, seed and window; a seed is
// replayed exactly by running the row with first_seed set to it.
// check_supported adds the strength check: after one propagation no
// unsupported value is left.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/runtime_views.h"
#include "impl/sets/model.h"
#include "impl/support/random.h"
#include "test-impl/explanation_tester.h"
#include "test-impl/random_domains.h"
#include "test-impl/trivial_runtime_info.h"
#include "tests/unit/test_helpers.h"

namespace qarn_test {

// The values lo, lo + stride, ..., up to hi.
struct value_window {
    int lo;
    int hi;
    unsigned stride = 1;
};

typedef std::function<bool(const std::vector<int>&)> reference_predicate;

struct propagator_case {
    std::unique_ptr<qarn::constraint_propagator> propagator;
    reference_predicate holds;
};

struct propagator_row {
    std::string name;
    unsigned arity;
    std::vector<value_window> windows;
    std::function<propagator_case(const value_window&)> make;
};

// Rows print as their names in test output.
inline void PrintTo(const propagator_row& row, std::ostream* os) {
    *os << row.name;
}

struct harness_options {
    unsigned first_seed = 1;
    unsigned seeds = 300;
    unsigned walks = 3;         // per seed, each from fresh domains
    unsigned jumps = 2;         // back-jumps to an earlier state per walk
    unsigned ground_tuples = 4; // fresh single-value checks per seed
    bool use_tester = true;     // wrap in the explanation tester
};

// Dense windows of `width` values in the middle of the range and at both of
// its ends, and a strided window of at most five values.
inline std::vector<value_window> standard_windows(int width = 7) {
    const int strided = std::min(width, 5) - 1; // steps in the strided window
#if QARN_SMALL_DOMAINS
    return {{0, width - 1}, {31 - width + 1, 31}, {12, 12 + width - 1}, {2, 2 + 7 * strided, 7}};
#else
    return {{-width / 2, width - 1 - width / 2},
            {INT_MIN, INT_MIN + width - 1},
            {INT_MAX - width + 1, INT_MAX},
            {-5 * (strided / 2), 5 * (strided - strided / 2), 5}};
#endif
}

// The values of the window, each with its neighbours, within the domain limits.
inline std::vector<int> widened_box(const value_window& w) {
    std::vector<int> values;
    for (std::int64_t v = w.lo; v <= w.hi; v += w.stride)
        for (std::int64_t u = v - 1; u <= v + 1; ++u)
            if (u >= qarn::MIN_DOMAIN && u <= qarn::MAX_DOMAIN)
                values.push_back(static_cast<int>(u));
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

namespace harness_detail {

typedef std::vector<int> tuple;

struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::string text(const tuple& t) {
    std::ostringstream os;
    os << '(';
    for (std::size_t i = 0; i < t.size(); ++i)
        os << (i ? ", " : "") << t[i];
    os << ')';
    return os.str();
}

inline std::string text(const qarn::constraint_runtime_info& ri) {
    std::ostringstream os;
    os << '{';
    ri.print_params(os, ", ");
    os << '}';
    return os.str();
}

inline std::string text(const std::vector<qarn::iset>& sets) {
    std::ostringstream os;
    os << '[';
    for (std::size_t i = 0; i < sets.size(); ++i)
        os << (i ? ", " : "") << '{' << sets[i] << '}';
    os << ']';
    return os.str();
}

inline std::vector<int> members(const qarn::iset& s) {
    std::vector<int> values;
    for (int v : s)
        values.push_back(v);
    return values;
}

// Calls f on every tuple of the product of the value lists.
template <class F>
void for_each_tuple(const std::vector<std::vector<int>>& values, F f) {
    for (const std::vector<int>& v : values)
        if (v.empty())
            return;
    tuple t(values.size());
    std::vector<std::size_t> at(values.size(), 0);
    for (;;) {
        for (std::size_t i = 0; i < values.size(); ++i)
            t[i] = values[i][at[i]];
        f(t);
        std::size_t i = 0;
        while (i < values.size() && ++at[i] == values[i].size())
            at[i++] = 0;
        if (i == values.size())
            return;
    }
}

inline std::vector<std::vector<int>> domain_values(const qarn::constraint_runtime_info& ri) {
    std::vector<std::vector<int>> values;
    for (unsigned p = 0; p < ri.arity(); ++p)
        values.push_back(members(ri.domain(p)));
    return values;
}

inline bool inside(const qarn::constraint_runtime_info& ri, const tuple& t) {
    for (unsigned p = 0; p < ri.arity(); ++p)
        if (!ri.domain(p).contains(t[p]))
            return false;
    return true;
}

class seed_run {
public:
    seed_run(const propagator_row& row, const harness_options& options,
             const value_window& window)
        : m_row(row), m_options(options), m_window(window), m_case(row.make(window)) {
        if (!m_case.propagator || !m_case.holds)
            throw failure("the factory made no propagator or no reference");
        const std::vector<int> box = widened_box(window);
        for_each_tuple(std::vector<std::vector<int>>(row.arity, box), [&](const tuple& t) {
            if (m_case.holds(t))
                m_wide_solutions.push_back(t);
        });
        m_box = box;
    }

    void run() {
        for (unsigned k = 0; k < m_options.ground_tuples; ++k)
            check_ground(random_box_tuple());
        for (unsigned k = 0; k < m_options.walks; ++k)
            walk();
    }

private:
    std::unique_ptr<qarn::constraint_propagator> fresh() const {
        std::unique_ptr<qarn::constraint_propagator> p = m_case.propagator->clone();
        if (m_options.use_tester)
            return std::make_unique<qarn::explanation_tester>(std::move(p));
        return p;
    }

    // A reference solution of the box half of the time, else any box tuple.
    tuple random_box_tuple() const {
        if (!m_wide_solutions.empty() && qarn::random::gen(2) == 0)
            return m_wide_solutions[qarn::random::gen(
                static_cast<unsigned>(m_wide_solutions.size()))];
        tuple t;
        for (unsigned p = 0; p < m_row.arity; ++p)
            t.push_back(m_box[qarn::random::gen(static_cast<unsigned>(m_box.size()))]);
        return t;
    }

    qarn::iset random_domain() const {
        if (m_window.stride == 1)
            return qarn::random_nonempty_var(true, m_window.lo, m_window.hi);
        const int count =
            static_cast<int>((static_cast<std::int64_t>(m_window.hi) - m_window.lo) /
                             m_window.stride);
        qarn::iset domain;
        for (int k : members(qarn::random_nonempty_var(true, 0, count))) {
            const int v = static_cast<int>(m_window.lo + static_cast<std::int64_t>(k) *
                                                             m_window.stride);
            domain.insert(qarn::iset::range_type(v, v));
        }
        return domain;
    }

    std::vector<tuple> solutions_within(const qarn::constraint_runtime_info& ri) const {
        std::vector<tuple> found;
        for_each_tuple(domain_values(ri), [&](const tuple& t) {
            if (m_case.holds(t))
                found.push_back(t);
        });
        return found;
    }

    // The explanation of param's narrowing from before's domain to
    // new_domain (empty: of a conflict), checked against the reference.
    void check_explanation(const qarn::constraint_propagator& p,
                           const qarn::trivial_runtime_info& before, unsigned param,
                           const qarn::iset& new_domain) const {
        const bool conflict = new_domain.empty();
        qarn::iset removed(before.domain(param));
        removed.erase_all_of(new_domain);
        std::vector<qarn::iset> explanation;
        p.explain_propagation(param, removed, new_domain, before, explanation);
        const std::string what = (conflict ? std::string("conflict explanation ")
                                           : "explanation of V" + std::to_string(param) + " ") +
                                 text(explanation) + " on " + text(before);
        if (explanation.size() != m_row.arity)
            throw failure(what + ": wrong number of sets");
        for (unsigned i = 0; i < m_row.arity; ++i) {
            const qarn::iset& excluded = !conflict && i == param ? removed : before.domain(i);
            if (explanation[i].contains_any_of(excluded))
                throw failure(what + ": set " + std::to_string(i) +
                              (!conflict && i == param ? " keeps a removed value"
                                                       : " names a value of the domain"));
        }
        for (const tuple& t : m_wide_solutions) {
            bool holds = false;
            for (unsigned i = 0; i < m_row.arity && !holds; ++i)
                holds = explanation[i].contains(t[i]);
            if (!holds)
                throw failure(what + ": excludes solution " + text(t));
        }
    }

    // One activation of p on view, checked against the reference.
    qarn::trivial_runtime_info::result_type step(qarn::constraint_propagator& p,
                                                 qarn::trivial_runtime_info& view) const {
        const qarn::trivial_runtime_info before(view);
        const std::vector<tuple> solutions = solutions_within(before);
        const qarn::trivial_runtime_info::result_type r = view.maybe_propagate(p);
        std::ostringstream result_text;
        result_text << r;
        const std::string what = result_text.str() + " on " + text(before);
        for (unsigned i = 0; i < m_row.arity; ++i) {
            if (!before.domain(i).contains_all_of(view.domain(i)))
                throw failure(what + ": domain of V" + std::to_string(i) + " grew to " +
                              text(view));
            if (r == qarn::trivial_runtime_info::NOT_WATCHED &&
                !qarn::iset::same_elements(before.domain(i), view.domain(i)))
                throw failure(what + ": domains changed without an activation");
        }
        if (r == qarn::trivial_runtime_info::UNSAT) {
            if (!solutions.empty())
                throw failure(what + ": but " + text(solutions.front()) + " is a solution");
            check_explanation(p, before, 0, qarn::iset());
            return r;
        }
        for (unsigned i = 0; i < m_row.arity; ++i)
            if (view.domain(i).empty())
                throw failure(what + ": emptied the domain of V" + std::to_string(i));
        for (const tuple& t : solutions)
            if (!inside(view, t))
                throw failure(what + ": removed solution " + text(t) + ", leaving " +
                              text(view));
        if (r == qarn::trivial_runtime_info::VALID)
            for_each_tuple(domain_values(view), [&](const tuple& t) {
                if (!m_case.holds(t))
                    throw failure(what + ": VALID although " + text(t) + " violates it");
            });
        for (unsigned i = 0; i < m_row.arity; ++i)
            if (!qarn::iset::same_elements(before.domain(i), view.domain(i)))
                check_explanation(p, before, i, view.domain(i));
        return r;
    }

    void check_ground(const tuple& t) const {
        std::vector<qarn::iset> singletons;
        for (int v : t)
            singletons.push_back(qarn::iset(v));
        qarn::trivial_runtime_info view(singletons);
        std::unique_ptr<qarn::constraint_propagator> p = fresh();
        const bool holds = m_case.holds(t);
        if (!p->init(view)) {
            if (holds)
                throw failure("init refused the solution " + text(t));
            return;
        }
        const bool unsat = step(*p, view) == qarn::trivial_runtime_info::UNSAT;
        if (unsat == holds)
            throw failure("ground " + text(t) + (holds ? ": UNSAT on a solution"
                                                       : ": no UNSAT although it violates"));
    }

    // Random reductions from fresh random domains until a conflict or single
    // values, then again from a random earlier state after each back-jump.
    void walk() {
        std::vector<qarn::iset> domains;
        for (unsigned p = 0; p < m_row.arity; ++p)
            domains.push_back(random_domain());
        qarn::trivial_runtime_info view(domains);
        std::unique_ptr<qarn::constraint_propagator> p = fresh();
        if (!p->init(view)) {
            const std::vector<tuple> solutions = solutions_within(view);
            if (!solutions.empty())
                throw failure("init failed on " + text(view) + " although " +
                              text(solutions.front()) + " is a solution");
            return;
        }
        std::vector<qarn::trivial_runtime_info> history;
        for (unsigned jump = 0; jump <= m_options.jumps; ++jump) {
            // Reductions around reference solutions reach solutions; random
            // ones mostly reach conflicts.
            const bool toward_solutions = qarn::random::gen(2) == 0;
            if (jump > 0)
                view.backtrack_to(
                    history[qarn::random::gen(static_cast<unsigned>(history.size()))]);
            for (;;) {
                history.push_back(view);
                const qarn::trivial_runtime_info::result_type r = step(*p, view);
                if (r == qarn::trivial_runtime_info::UNSAT)
                    break;
                if (view.are_all_singletons()) {
                    tuple t;
                    for (unsigned i = 0; i < m_row.arity; ++i)
                        t.push_back(view.domain(i).min());
                    if (!m_case.holds(t))
                        throw failure("reached " + text(t) +
                                      ", which violates it, without UNSAT");
                    break;
                }
                const std::vector<tuple> solutions =
                    toward_solutions ? solutions_within(view) : std::vector<tuple>();
                if (!solutions.empty())
                    view.random_reduce(solutions[qarn::random::gen(
                        static_cast<unsigned>(solutions.size()))]);
                else
                    view.random_reduce();
            }
        }
    }

    const propagator_row& m_row;
    const harness_options& m_options;
    const value_window& m_window;
    propagator_case m_case;
    std::vector<int> m_box;
    std::vector<tuple> m_wide_solutions;
};

} // namespace harness_detail

// The simpler constraint p->intersect_with gives under `domains`, checked
// over the parameters it names against the reference on every tuple of the
// domains: the first disagreement, or "" (also when there is no simpler
// constraint). *simplified tells whether there was one.
inline std::string check_simplification(const qarn::constraint_propagator& p,
                                        const reference_predicate& holds,
                                        const std::vector<qarn::iset>& domains,
                                        bool* simplified = nullptr) {
    auto view = [](const std::vector<qarn::iset>& sets) {
        qarn::constraint_explicit_info ri(static_cast<unsigned>(sets.size()));
        for (unsigned q = 0; q < sets.size(); ++q)
            ri.set_domain(q, sets[q]);
        return ri;
    };
    const qarn::constraint_explicit_info ri = view(domains);
    std::vector<unsigned> params;
    const std::unique_ptr<qarn::constraint_propagator> simpler = p.intersect_with(ri, params);
    if (simplified)
        *simplified = simpler != nullptr;
    if (!simpler)
        return "";
    std::string failure;
    harness_detail::for_each_tuple(
        harness_detail::domain_values(ri), [&](const std::vector<int>& t) {
            std::vector<qarn::iset> ground;
            for (unsigned q : params)
                ground.push_back(qarn::iset(t.at(q)));
            if (failure.empty() && simpler->constraint_check(view(ground)) != holds(t))
                failure = "disagrees on " + harness_detail::text(t);
        });
    return failure;
}

// Runs the row for every seed; returns the first failure, or "" when all pass.
inline std::string check_propagator(const propagator_row& row,
                                    const harness_options& options = harness_options()) {
    for (unsigned seed = options.first_seed; seed < options.first_seed + options.seeds; ++seed) {
        qarn::random::set_seed(seed);
        const value_window& window = row.windows[seed % row.windows.size()];
        try {
            harness_detail::seed_run(row, options, window).run();
        } catch (const std::exception& e) {
            std::ostringstream os;
            os << row.name << ", seed " << seed << ", window " << window.lo << ".." << window.hi;
            if (window.stride != 1)
                os << " step " << window.stride;
            os << ": " << e.what();
            return os.str();
        }
    }
    return "";
}

// After one propagation (on an explicit view) from random domains of the
// row's dense windows, every value left in the listed parameters takes part
// in a solution within the domains; UNSAT only without solutions. Returns the
// first failure, or "" when all seeds pass. With the soundness of the
// property check this is propagation to exactly the supported values.
inline std::string check_supported(const propagator_row& row,
                                   const std::vector<unsigned>& params, unsigned seeds = 400) {
    using harness_detail::tuple;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        qarn::random::set_seed(seed);
        const value_window& w = row.windows[seed % row.windows.size()];
        if (w.stride != 1)
            continue;
        propagator_case c = row.make(w);
        std::vector<qarn::iset> domains;
        for (unsigned p = 0; p < row.arity; ++p)
            domains.push_back(qarn::random_nonempty_var(true, w.lo, w.hi));
        auto ri = view_of(domains);
        const qarn::propagation_types::result_type r = c.propagator->propagate(ri);
        std::vector<qarn::iset> supported(row.arity);
        harness_detail::for_each_tuple(harness_detail::domain_values(ri), [&](const tuple& t) {
            if (c.holds(t))
                for (unsigned p = 0; p < row.arity; ++p)
                    supported[p].insert(qarn::iset::range_type(t[p], t[p]));
        });
        const std::string where = row.name + ", seed " + std::to_string(seed) + ": ";
        if (r == qarn::propagation_types::UNSAT) {
            for (unsigned p = 0; p < row.arity; ++p)
                if (!supported[p].empty())
                    return where + "UNSAT with a solution left";
            continue;
        }
        for (unsigned p : params)
            if (!same(ri.domain(p), supported[p]))
                return where + "V" + std::to_string(p) + " keeps {" + text(ri.domain(p)) +
                       "}, supported {" + text(supported[p]) + "}";
    }
    return "";
}

} // namespace qarn_test
