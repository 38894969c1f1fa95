// The all-different graph: matching, filtering and Hall-set search.
#include "impl/propagators/all_different_graph.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace qarn {

// ---------------------------------------------------------------------------
// The read-only view

void all_different_propagator::reference_info::put_in_queue(queue_type) {
    throw std::domain_error("Can't put_in_queue for reference_info");
}

void all_different_propagator::reference_info::set_domain(unsigned, iset) {
    throw std::domain_error("Can't domain_update for reference_info");
}

void all_different_propagator::reference_info::deallocate_watch(unsigned, watch_type,
                                                                watch_handle_t) {
    throw std::domain_error("Can't deallocate_watch reference_info");
}

watch_handle_t all_different_propagator::reference_info::allocate_watch(unsigned, watch_type) {
    throw std::domain_error("Can't allocate_watch reference_info");
}

void all_different_propagator::reference_info::deallocate_value_watch(unsigned, int,
                                                                      watch_handle_t) {
    throw std::domain_error("Can't deallocate_watch reference_info");
}

watch_handle_t all_different_propagator::reference_info::allocate_value_watch(unsigned, int) {
    throw std::domain_error("Can't allocate_watch reference_info");
}

// ---------------------------------------------------------------------------
// Building the graph

all_different_propagator::impl::impl(const std::vector<iset>& domains) {
    construct(reference_info(domains));
}

all_different_propagator::impl::impl(const constraint_runtime_info& ri) {
    construct(ri);
}

unsigned all_different_propagator::impl::construct_value_to_node(
    const constraint_runtime_info& ri) {
    iset all_values;
    for (unsigned i = 0; i < n; ++i)
        all_values.insert_all_of(ri.domain(i));
    node_values.assign(n, 0);
    for (int v : all_values)
        node_values.push_back(v);
    return static_cast<unsigned>(node_values.size());
}

void all_different_propagator::impl::construct(const constraint_runtime_info& ri) {
    n = ri.arity();
    const unsigned nodes = construct_value_to_node(ri);
    edges.resize(nodes);
    for (std::vector<unsigned>& list : edges)
        list.clear();
    // Value lists grow as needed: reserving room for every parameter in every
    // value list would take n times the number of values.
    for (unsigned i = 0; i < n; ++i) {
        const iset& d = ri.domain(i);
        edges[i].reserve(d.size());
        // Both d and node_values ascend: the next value's node is usually the
        // next node, else found by binary search from there.
        unsigned k = n;
        for (int v : d) {
            if (node_values[k] != v)
                k = static_cast<unsigned>(
                    std::lower_bound(node_values.begin() + k, node_values.end(), v) -
                    node_values.begin());
            edges[i].push_back(k);
            edges[k].push_back(i);
            ++k;
            if (k == nodes)
                break;
        }
    }
}

unsigned all_different_propagator::impl::value_to_node(int v) const {
    const auto first = node_values.begin() + n;
    const auto it = std::lower_bound(first, node_values.end(), v);
    if (it == node_values.end() || *it != v)
        return NO_VALUE_NODE;
    return static_cast<unsigned>(it - node_values.begin());
}

bool all_different_propagator::impl::has_edge(unsigned param, unsigned value_node) const {
    return std::binary_search(edges[param].begin(), edges[param].end(), value_node);
}

// ---------------------------------------------------------------------------
// Maximum matching

void all_different_propagator::impl::bfs_until_free_values(const std::vector<unsigned>& starts,
                                                           const std::vector<unsigned>& matching,
                                                           std::vector<unsigned>& origins,
                                                           std::vector<unsigned>& free) const {
    static std::vector<unsigned> frontier;
    static std::vector<unsigned> level;
    frontier.assign(starts.begin(), starts.end());
    for (unsigned p : starts)
        origins[p] = START_NODE;
    free.clear();
    while (!frontier.empty()) {
        // Each parameter first takes one new value, then all the others: the
        // parameters of a level spread over different values first.
        level.clear();
        for (unsigned p : frontier)
            for (unsigned w : edges[p])
                if (origins[w] == NOT_FOUND && w != matching[p]) {
                    origins[w] = p;
                    level.push_back(w);
                    break;
                }
        for (unsigned p : frontier)
            for (unsigned w : edges[p])
                if (origins[w] == NOT_FOUND && w != matching[p]) {
                    origins[w] = p;
                    level.push_back(w);
                }
        for (unsigned w : level)
            if (matching[w] == UNMATCHED)
                free.push_back(w);
        if (!free.empty())
            return;
        // Every value of the level is matched: continue from its partner.
        frontier.clear();
        for (unsigned w : level) {
            const unsigned p = matching[w];
            if (origins[p] == NOT_FOUND) {
                origins[p] = w;
                frontier.push_back(p);
            }
        }
    }
}

bool all_different_propagator::impl::is_augmenting_path(unsigned free_value,
                                                        const std::vector<unsigned>& origins,
                                                        const std::vector<unsigned>& matching) {
    unsigned v = free_value;
    for (;;) {
        const unsigned p = origins[v];
        if (matching[v] == p)
            return false;
        const unsigned before = origins[p];
        if (before == START_NODE)
            return matching[p] == UNMATCHED;
        if (before != matching[p])
            return false;
        v = before;
    }
}

void all_different_propagator::impl::toggle_matching(unsigned free_value,
                                                     const std::vector<unsigned>& origins,
                                                     std::vector<unsigned>& matching) {
    // A path flipped earlier in the phase may have taken some of its nodes:
    // such a path is left for the next phase.
    if (!is_augmenting_path(free_value, origins, matching))
        return;
    unsigned v = free_value;
    for (;;) {
        const unsigned p = origins[v];
        const unsigned before = origins[p];
        matching[v] = p;
        matching[p] = v;
        if (before == START_NODE)
            return;
        v = before;
    }
}

void all_different_propagator::impl::remove_if_matched(std::vector<unsigned>& list,
                                                       const std::vector<unsigned>& matching) {
    for (std::size_t k = list.size(); k-- > 0;)
        if (matching[list[k]] != UNMATCHED) {
            list[k] = list.back();
            list.pop_back();
        }
}

int all_different_propagator::impl::maximal_matching(std::vector<unsigned>& matching) const {
    static std::vector<unsigned> unmatched;
    static std::vector<unsigned> origins;
    static std::vector<unsigned> free;
    matching.assign(node_count(), UNMATCHED);
    unmatched.resize(n);
    std::iota(unmatched.begin(), unmatched.end(), 0u);
    for (;;) {
        if (unmatched.empty())
            return -1;
        origins.assign(node_count(), NOT_FOUND);
        bfs_until_free_values(unmatched, matching, origins, free);
        if (free.empty())
            return static_cast<int>(unmatched[0]);
        for (unsigned f : free)
            toggle_matching(f, origins, matching);
        remove_if_matched(unmatched, matching);
    }
}

// ---------------------------------------------------------------------------
// Residual graph, reachability, components

void all_different_propagator::impl::get_directed_edges(const std::vector<unsigned>& matching,
                                                        graph& directed) const {
    directed.resize(node_count());
    for (std::vector<unsigned>& list : directed)
        list.clear();
    for (unsigned i = 0; i < n; ++i)
        for (unsigned w : edges[i]) {
            if (matching[i] == w)
                directed[i].push_back(w);
            else
                directed[w].push_back(i);
        }
}

void all_different_propagator::impl::mark_all_reachable(unsigned node, const graph& directed,
                                                        std::vector<unsigned char>& flags) {
    static std::vector<unsigned> stack;
    if (flags[node])
        return;
    flags[node] = 1;
    stack.assign(1, node);
    while (!stack.empty()) {
        const unsigned u = stack.back();
        stack.pop_back();
        for (unsigned w : directed[u])
            if (!flags[w]) {
                flags[w] = 1;
                stack.push_back(w);
            }
    }
}

void all_different_propagator::impl::mark_reachable_from_unmatched(
    const graph& directed, const std::vector<unsigned>& matching,
    std::vector<unsigned char>& reachable) const {
    reachable.assign(node_count(), 0);
    for (unsigned node = 0; node < node_count(); ++node)
        if (matching[node] == UNMATCHED)
            mark_all_reachable(node, directed, reachable);
}

namespace {

struct tarjan_node_info {
    unsigned index;
    unsigned lowlink;
    unsigned component; // the node number of the component's root
    bool visited;
    bool on_stack;
};

} // namespace

void all_different_propagator::impl::get_scc_associations(const graph& directed,
                                                          std::vector<unsigned>& components) {
    // Tarjan's algorithm with its recursion as a stack of (node, next
    // successor position) frames.
    static std::vector<tarjan_node_info> infos;
    static std::vector<unsigned> stack;
    static std::vector<std::pair<unsigned, unsigned>> frames;
    const unsigned nodes = static_cast<unsigned>(directed.size());
    infos.assign(nodes, tarjan_node_info{0, 0, 0, false, false});
    stack.clear();
    frames.clear();
    unsigned counter = 0;
    const auto enter = [&](unsigned u) {
        infos[u] = tarjan_node_info{counter, counter, 0, true, true};
        ++counter;
        stack.push_back(u);
        frames.emplace_back(u, 0u);
    };
    for (unsigned root = 0; root < nodes; ++root) {
        if (infos[root].visited)
            continue;
        enter(root);
        while (!frames.empty()) {
            const unsigned u = frames.back().first;
            const unsigned pos = frames.back().second;
            if (pos < directed[u].size()) {
                ++frames.back().second;
                const unsigned w = directed[u][pos];
                if (infos[w].on_stack)
                    infos[u].lowlink = std::min(infos[u].lowlink, infos[w].lowlink);
                else if (!infos[w].visited)
                    enter(w);
                continue;
            }
            if (infos[u].index == infos[u].lowlink) {
                unsigned w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    infos[w].on_stack = false;
                    infos[w].component = u;
                } while (w != u);
            }
            frames.pop_back();
            if (!frames.empty()) {
                const unsigned parent = frames.back().first;
                infos[parent].lowlink = std::min(infos[parent].lowlink, infos[u].lowlink);
            }
        }
    }
    components.resize(nodes);
    for (unsigned u = 0; u < nodes; ++u)
        components[u] = infos[u].component;
}

// ---------------------------------------------------------------------------
// Filtering

bool all_different_propagator::impl::propagate(std::vector<iset>& next) const {
    static std::vector<unsigned> matching;
    static graph directed;
    static std::vector<unsigned char> reachable;
    static std::vector<unsigned> components;
    if (maximal_matching(matching) >= 0)
        return false;
    get_directed_edges(matching, directed);
    mark_reachable_from_unmatched(directed, matching, reachable);
    get_scc_associations(directed, components);

    // The edge of parameter i and value node w is supported when it is
    // matched, or (directed w -> i) w is reachable from a free value, or both
    // ends share a component. The values ascend along edges[i], so the
    // supported ones go in as ranges.
    next.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        iset& out = next[i];
        out = iset();
        bool open = false;
        int lo = 0, hi = 0;
        for (unsigned w : edges[i]) {
            if (matching[i] != w && !reachable[w] && components[w] != components[i])
                continue;
            const int v = node_values[w];
            if (open && hi != INT_MAX && v == hi + 1) {
                hi = v;
                continue;
            }
            if (open)
                out.insert(iset::range_type(lo, hi));
            lo = hi = v;
            open = true;
        }
        if (open)
            out.insert(iset::range_type(lo, hi));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Explanations

bool all_different_propagator::impl::convert_values_to_nodes(std::vector<unsigned>& nodes,
                                                             const iset& values) const {
    if (values.size() > node_count() || (values.size() == 0 && !values.empty()))
        return false;
    for (int v : values) {
        const unsigned node = value_to_node(v);
        if (node == NO_VALUE_NODE)
            return false;
        nodes.push_back(node);
    }
    return true;
}

void all_different_propagator::impl::reverse_edges(const graph& directed, graph& reversed) {
    reversed.resize(directed.size());
    for (std::vector<unsigned>& list : reversed)
        list.clear();
    for (unsigned u = 0; u < directed.size(); ++u)
        for (unsigned w : directed[u])
            reversed[w].push_back(u);
}

void all_different_propagator::impl::get_explaining_nodes(
    const graph& directed, const std::vector<unsigned char>& reachable,
    const std::vector<unsigned>& components, unsigned start, std::vector<unsigned>& parameters,
    std::vector<unsigned>& values) {
    static graph reversed;
    static std::vector<unsigned> stack;
    static std::vector<unsigned char> visited;
    reverse_edges(directed, reversed);
    stack.assign(values.begin(), values.end());
    if (stack.empty())
        stack.push_back(start);
    parameters.push_back(start);
    visited.assign(reachable.begin(), reachable.end());
    // Every node met can reach the start (or a starting value). A node is
    // marked when popped, so it may be pushed twice; its second pop finds its
    // predecessors visited and pushes nothing.
    while (!stack.empty()) {
        const unsigned u = stack.back();
        stack.pop_back();
        visited[u] = 1;
        for (unsigned w : reversed[u]) {
            if (visited[w] || components[w] == components[start])
                continue;
            stack.push_back(w);
            if (w < u)
                parameters.push_back(w);
            else
                values.push_back(w);
        }
    }
}

void all_different_propagator::impl::explanation_from_explaining_nodes(
    std::vector<unsigned>& values, std::vector<unsigned>& parameters,
    std::vector<iset>& explanation) const {
    // The lists may repeat nodes; value nodes ascend with their values.
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::sort(parameters.begin(), parameters.end());
    parameters.erase(std::unique(parameters.begin(), parameters.end()), parameters.end());
    iset outside;
    for (std::size_t k = 0; k < values.size();) {
        const int lo = node_values[values[k]];
        int hi = lo;
        for (++k; k < values.size() && hi != INT_MAX && node_values[values[k]] == hi + 1; ++k)
            ++hi;
        outside.insert(iset::range_type(lo, hi));
    }
    outside.complement();
    outside.compact();
    explanation.clear();
    explanation.resize(n);
    for (unsigned p : parameters)
        explanation[p] = outside;
}

bool all_different_propagator::impl::explain_propagation(unsigned param, const iset& removed,
                                                         std::vector<iset>& explanation) const {
    static std::vector<unsigned> seeds;
    static std::vector<unsigned> matching;
    static graph directed;
    static std::vector<unsigned char> reachable;
    static std::vector<unsigned> components;
    static std::vector<unsigned> parameters;
    static std::vector<unsigned> values;
    seeds.clear();
    if (!convert_values_to_nodes(seeds, removed))
        return false;
    const int unmatched = maximal_matching(matching);
    // Without an unmatched parameter only removed values of param can start
    // the search: a conflict whose graph has a perfect matching has no Hall
    // violation to show.
    if (unmatched < 0 && (seeds.empty() || param >= n))
        return false;
    get_directed_edges(matching, directed);
    mark_reachable_from_unmatched(directed, matching, reachable);
    get_scc_associations(directed, components);
    const unsigned start = unmatched >= 0 ? static_cast<unsigned>(unmatched) : param;
    values.clear();
    if (unmatched < 0) {
        // Each removed value must be one this graph removes too: an unmatched
        // edge of param, out of reach of free values and outside param's
        // component. Then the nodes that reach it form a Hall set.
        for (unsigned s : seeds)
            if (!has_edge(param, s) || matching[param] == s || reachable[s] ||
                components[s] == components[param])
                return false;
        values.assign(seeds.begin(), seeds.end());
    }
    parameters.clear();
    get_explaining_nodes(directed, reachable, components, start, parameters, values);
    explanation_from_explaining_nodes(values, parameters, explanation);
    return true;
}

} // namespace qarn
