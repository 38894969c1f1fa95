// All-different: when to build the graph, big parameters and their proxy,
// Hall-set explanations and their proof rule.
#include "impl/propagators/all_different_propagator.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "impl/engine/explanation_generators.h"
#include "impl/propagators/all_different_graph.h"
#include "impl/propagators/arithmetic.h"

namespace qarn {

namespace {

bool is_singleton(const iset& d) {
    return d.size() == 1;
}

// A value a domain can hold that u (not empty, not every value) lacks.
int value_outside(const iset& u) {
    if (u.min() > MIN_DOMAIN)
        return u.min() - 1;
    if (u.max() < MAX_DOMAIN)
        return u.max() + 1;
    iset gaps(u);
    gaps.complement();
    return gaps.min();
}

unsigned count_marks(const std::vector<unsigned char>& marks) {
    return static_cast<unsigned>(std::count(marks.begin(), marks.end(), 1));
}

} // namespace

// ---------------------------------------------------------------------------
// Big parameters

unsigned all_different_propagator::count_unique_singletons(const constraint_runtime_info& ri) {
    static std::vector<int> singletons;
    static std::vector<unsigned char> held;
    singletons.clear();
    for (unsigned p = 0; p < ri.arity(); ++p)
        if (is_singleton(ri.domain(p)))
            singletons.push_back(ri.domain(p).min());
    std::sort(singletons.begin(), singletons.end());
    singletons.erase(std::unique(singletons.begin(), singletons.end()), singletons.end());
    held.assign(singletons.size(), 0);
    std::size_t left = singletons.size();
    // Each domain looks only at the singleton values within its bounds, by
    // whichever is fewer: those values, or its own.
    for (unsigned p = 0; p < ri.arity() && left > 0; ++p) {
        const iset& d = ri.domain(p);
        if (d.empty() || is_singleton(d))
            continue;
        const auto first = std::lower_bound(singletons.begin(), singletons.end(), d.min());
        const auto last = std::upper_bound(first, singletons.end(), d.max());
        const std::size_t a = static_cast<std::size_t>(first - singletons.begin());
        const std::size_t b = static_cast<std::size_t>(last - singletons.begin());
        if (b - a <= arithmetic::value_count(d)) {
            for (std::size_t k = a; k < b; ++k)
                if (!held[k] && d.contains(singletons[k])) {
                    held[k] = 1;
                    --left;
                }
        } else {
            for (int v : d) {
                const auto it = std::lower_bound(first, last, v);
                if (it != last && *it == v && !held[it - singletons.begin()]) {
                    held[it - singletons.begin()] = 1;
                    --left;
                }
            }
        }
    }
    return static_cast<unsigned>(left);
}

void all_different_propagator::find_big_parameters(const constraint_runtime_info& ri,
                                                   std::vector<unsigned char>& marks) {
    const unsigned n = ri.arity();
    marks.assign(n, 0);
    const unsigned m = n - count_unique_singletons(ri);
    if (m == 0)
        return;
    // A parameter with more values than the parameters left to form a Hall
    // set with it is big; each mark after the first leaves one fewer.
    std::uint64_t limit = m == 1 ? 1 : m - 1;
    std::uint64_t pending = limit;
    for (bool marked = true; marked;) {
        marked = false;
        for (unsigned i = 0; i < n; ++i) {
            if (marks[i] || arithmetic::value_count(ri.domain(i)) <= limit)
                continue;
            marks[i] = 1;
            marked = true;
            if (pending == 0)
                return;
            limit = pending--;
        }
    }
}

bool all_different_propagator::get_small_parameters(const constraint_runtime_info& ri,
                                                    const std::vector<unsigned char>& marks,
                                                    std::vector<iset>& domains,
                                                    bool& proxy_added) {
    iset small_union;
    domains.clear();
    for (unsigned i = 0; i < ri.arity(); ++i)
        if (!marks[i]) {
            domains.push_back(ri.domain(i));
            small_union.insert_all_of(ri.domain(i));
        }
    const std::size_t k = domains.size();
    iset proxy = get_big_domain(ri, marks, small_union);
    proxy_added = !proxy.empty();
    if (proxy_added)
        domains.push_back(std::move(proxy));
    return k <= arithmetic::value_count(small_union);
}

iset all_different_propagator::get_big_domain(const constraint_runtime_info& ri,
                                              const std::vector<unsigned char>& marks,
                                              const iset& small_union) {
    iset proxy;
    bool outside = false;
    for (unsigned i = 0; i < ri.arity(); ++i) {
        if (!marks[i])
            continue;
        const iset& d = ri.domain(i);
        if (!outside && !small_union.contains_all_of(d))
            outside = true;
        iset shared(d);
        shared.intersect(small_union);
        proxy.insert_all_of(shared);
    }
    // One value outside the small parameters' values stands for all the big
    // parameters' values there (proxy is then a non-empty part of the union).
    if (outside && !proxy.empty() && arithmetic::value_count(proxy) < ri.arity())
        proxy.insert(iset::range_type(value_outside(small_union), value_outside(small_union)));
    return proxy;
}

void all_different_propagator::extend_propagation_for_big_domains(
    const constraint_runtime_info& ri, const std::vector<iset>& domains,
    const std::vector<unsigned char>& marks, bool proxy_added, std::vector<iset>& next) {
    static std::vector<iset> small_results;
    small_results.swap(next);
    next.resize(ri.arity());
    iset removed;
    if (proxy_added) {
        removed = domains.back();
        removed.erase_all_of(small_results.back());
    }
    std::size_t j = 0;
    for (unsigned i = 0; i < ri.arity(); ++i) {
        if (!marks[i]) {
            next[i] = std::move(small_results[j++]);
            continue;
        }
        next[i] = ri.domain(i);
        next[i].erase_all_of(removed);
    }
}

constraint_propagator::result_type all_different_propagator::update_domains(
    constraint_runtime_info& ri, std::vector<iset>& next) {
    for (unsigned i = 0; i < ri.arity(); ++i)
        if (next[i].empty())
            return UNSAT;
    for (unsigned i = 0; i < ri.arity(); ++i) {
        next[i].compact();
        ri.set_domain(i, std::move(next[i]));
    }
    return CONSISTENT;
}

// ---------------------------------------------------------------------------
// The propagator

constraint_propagator::result_type all_different_propagator::propagate(
    constraint_runtime_info& ri) {
    if (ri.originating_queue() == constraint_runtime_info::VARIABLE_QUEUE) {
        ri.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE);
        return POSTPONE;
    }
    const unsigned n = ri.arity();
    // Singletons fixed before the previous activation have had their effect;
    // a narrowing matters only when the narrowed domain is smaller than the
    // number of parameters that still need values.
    std::uint64_t settled = 0;
    for (unsigned i = 0; i < n; ++i)
        if (is_singleton(ri.domain(i)) && !ri.reduced_between_activations(i))
            ++settled;
    bool due = false;
    for (unsigned i = 0; i < n && !due; ++i)
        due = ri.reduced_between_activations(i) && arithmetic::value_count(ri.domain(i)) + settled < n;
    if (!due)
        return CONSISTENT;

    static std::vector<unsigned char> marks;
    static std::vector<iset> domains;
    static std::vector<iset> next;
    static impl graph;
    find_big_parameters(ri, marks);
    const unsigned big = count_marks(marks);
    if (big == n)
        return CONSISTENT;
    if (big == 0) {
        graph.construct(ri);
        if (!graph.propagate(next))
            return UNSAT;
        return update_domains(ri, next);
    }
    bool proxy_added = false;
    if (!get_small_parameters(ri, marks, domains, proxy_added))
        return UNSAT;
    graph.construct(reference_info(domains));
    if (!graph.propagate(next))
        return UNSAT;
    extend_propagation_for_big_domains(ri, domains, marks, proxy_added, next);
    return update_domains(ri, next);
}

bool all_different_propagator::conflicts(const constraint_runtime_info& ri) const {
    static std::vector<int> fixed;
    static std::vector<unsigned char> marks;
    static std::vector<iset> domains;
    static std::vector<unsigned> matching;
    static impl graph;
    const unsigned n = ri.arity();
    fixed.clear();
    for (unsigned i = 0; i < n; ++i)
        if (is_singleton(ri.domain(i)))
            fixed.push_back(ri.domain(i).min());
    std::sort(fixed.begin(), fixed.end());
    if (std::adjacent_find(fixed.begin(), fixed.end()) != fixed.end())
        return true;
    find_big_parameters(ri, marks);
    const unsigned big = count_marks(marks);
    if (fixed.size() + big == n)
        return false;
    // The graph conflicts exactly when its matching leaves a parameter out.
    if (big == 0) {
        graph.construct(ri);
        return graph.maximal_matching(matching) >= 0;
    }
    bool proxy_added = false;
    if (!get_small_parameters(ri, marks, domains, proxy_added))
        return true;
    graph.construct(reference_info(domains));
    return graph.maximal_matching(matching) >= 0;
}

bool all_different_propagator::constraint_check(const constraint_runtime_info& ri) const {
    static std::vector<int> minima;
    minima.clear();
    for (unsigned i = 0; i < ri.arity(); ++i) {
        if (ri.domain(i).empty())
            return false;
        minima.push_back(ri.domain(i).min());
    }
    std::sort(minima.begin(), minima.end());
    return std::adjacent_find(minima.begin(), minima.end()) == minima.end();
}

void all_different_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "all_different", " all_different("))
        return;
    for (unsigned i = 0; i < ri->arity(); ++i) {
        if (i > 0)
            os << ", ";
        ri->print_param(os, i);
        os << '{' << ri->domain(i) << '}';
    }
    os << ')';
}

std::unique_ptr<constraint_propagator> all_different_propagator::clone() const {
    return std::make_unique<all_different_propagator>(m_count);
}

// ---------------------------------------------------------------------------
// Explanations

unsigned all_different_propagator::get_explanation_small_parameters(
    const constraint_runtime_info& ri, unsigned param, const iset& new_domain,
    std::vector<unsigned char>& marks, std::vector<iset>& domains, bool& proxy_used) {
    bool proxy_added = false;
    get_small_parameters(ri, marks, domains, proxy_added);
    const unsigned q =
        param - static_cast<unsigned>(std::count(marks.begin(), marks.begin() + param, 1));
    proxy_used = false;
    if (!proxy_added)
        return q;
    iset proxy = std::move(domains.back());
    domains.pop_back();
    if (!new_domain.empty() && marks[param]) {
        // The big parameter lost what the proxy lost: explain it as the proxy.
        marks[param] = 0;
        domains.insert(domains.begin() + q, std::move(proxy));
        proxy_used = true;
    }
    return q;
}

void all_different_propagator::extend_explanation_for_big_domains(
    unsigned arity, const std::vector<unsigned char>& marks, std::vector<iset>& explanation) {
    static std::vector<iset> sub_problem;
    sub_problem.swap(explanation);
    explanation.clear();
    explanation.resize(arity);
    std::size_t j = 0;
    for (unsigned i = 0; i < arity; ++i)
        if (!marks[i])
            explanation[i] = std::move(sub_problem[j++]);
}

void all_different_propagator::explain_propagation(unsigned param, const iset& values,
                                                   const iset& new_domain,
                                                   const constraint_runtime_info& ri,
                                                   std::vector<iset>& explanation) const {
    static std::vector<unsigned char> marks;
    static std::vector<iset> domains;
    static impl graph;
    if (param >= ri.arity()) {
        explanation_generators::explain_propagation(param, values, new_domain, ri, explanation);
        return;
    }
    iset removed;
    if (!new_domain.empty()) {
        removed = ri.domain(param);
        removed.erase_all_of(new_domain);
        removed.intersect(values);
    }
    find_big_parameters(ri, marks);
    bool found;
    if (count_marks(marks) == 0) {
        graph.construct(ri);
        found = graph.explain_propagation(param, removed, explanation);
    } else {
        bool proxy_used = false;
        const unsigned q =
            get_explanation_small_parameters(ri, param, new_domain, marks, domains, proxy_used);
        // A narrowed big parameter without a proxy was not narrowed here.
        found = !marks[param] || new_domain.empty();
        if (found) {
            graph.construct(reference_info(domains));
            found = graph.explain_propagation(q, removed, explanation);
        }
        if (found)
            extend_explanation_for_big_domains(ri.arity(), marks, explanation);
    }
    // Without a Hall set in the graph the reason is the plain one: some
    // parameter lies outside its domain.
    if (!found)
        explanation_generators::explain_propagation(param, values, new_domain, ri, explanation);
}

std::unique_ptr<explanation_rule> all_different_propagator::rule(
    const std::vector<iset>& explanation) const {
    const iset* outside = nullptr;
    std::vector<unsigned> parameters;
    for (unsigned i = 0; i < explanation.size(); ++i) {
        if (explanation[i].empty())
            continue;
        if (!outside)
            outside = &explanation[i];
        else if (!iset::same_elements(*outside, explanation[i]))
            return nullptr;
        parameters.push_back(i);
    }
    if (!outside)
        return nullptr;
    iset values(*outside);
    values.complement();
    return std::make_unique<all_diff_rule>(static_cast<unsigned>(explanation.size()),
                                           std::move(values), std::move(parameters));
}

std::unique_ptr<explanation_rule> all_different_propagator::all_diff_rule::clone() const {
    return std::make_unique<all_diff_rule>(*this);
}

void all_different_propagator::all_diff_rule::get_explanation(
    std::vector<iset>& explanation) const {
    explanation.clear();
    explanation.resize(m_arity);
    iset outside(m_values);
    outside.complement();
    for (unsigned p : m_parameters)
        explanation[p] = outside;
}

void all_different_propagator::all_diff_rule::print(std::ostream& os,
                                                    const variable_print_strategy& strategy,
                                                    const std::vector<unsigned>& variables) const {
    os << "ALL_DIFF({" << m_values << '}';
    for (unsigned p : m_parameters) {
        os << ", ";
        strategy.print(os, variables.at(p));
    }
    os << ')';
}

} // namespace qarn
