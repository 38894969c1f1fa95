// The parameter-value graph of one all-different problem. Nodes 0..n-1 are
// the parameters, nodes n.. the values of the union of the domains in
// ascending order; parameter lists hold their value nodes ascending, value
// lists their parameters ascending. Built once per call, read-only after.
//
// Matching: breadth-first phases from all free parameters at once; each
// phase stops at the first level that reaches free values and flips every
// path found that earlier flips of the phase left intact.
// Filtering: in the residual graph (matched edges parameter -> value, the
// others value -> parameter) an edge lies on some maximum matching exactly
// when it is matched, leaves a node reachable from a free value, or joins
// two nodes of one strongly connected component.
// Explanations walk the residual graph backwards from the removed values
// (or from an unmatched parameter) to a Hall set.
//
// Every graph walk uses an explicit stack: paths run through all nodes.
#pragma once

#include <vector>

#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/watches.h"
#include "impl/propagators/all_different_propagator.h"

namespace qarn {

class all_different_propagator::reference_info : public constraint_runtime_info,
                                                 private var_watchers_base {
public:
    explicit reference_info(const std::vector<iset>& domains) : m_domains(&domains) {}

    bool reduced_between_activations(unsigned) const override { return false; }
    queue_type originating_queue() const override { return VARIABLE_QUEUE; }
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override { return (*m_domains)[param]; }
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override { return static_cast<unsigned>(m_domains->size()); }
    void deallocate_watch(unsigned param, watch_type type, watch_handle_t handle) override;
    watch_handle_t allocate_watch(unsigned param, watch_type type) override;
    void deallocate_value_watch(unsigned param, int value, watch_handle_t handle) override;
    watch_handle_t allocate_value_watch(unsigned param, int value) override;

private:
    const std::vector<iset>* m_domains;
};

class all_different_propagator::impl {
public:
    // matching: a node without a partner.
    static constexpr unsigned UNMATCHED = 0xFFFFFFFFu;
    // Breadth-first origins: a start node, a node not reached yet.
    static constexpr unsigned START_NODE = 0xFFFFFFFFu;
    static constexpr unsigned NOT_FOUND = 0xFFFFFFFEu;
    // value_to_node: a value outside the graph.
    static constexpr unsigned NO_VALUE_NODE = 0xFFFFFFFFu;

    impl() = default;
    explicit impl(const std::vector<iset>& domains);
    explicit impl(const constraint_runtime_info& ri);

    // (Re)builds the graph over the view's domains, keeping the capacity of
    // the lists.
    void construct(const constraint_runtime_info& ri);
    // Fills node_values from the union of the domains; returns the node count.
    unsigned construct_value_to_node(const constraint_runtime_info& ri);

    unsigned params() const { return n; }
    unsigned node_count() const { return static_cast<unsigned>(edges.size()); }
    const std::vector<unsigned>& neighbours(unsigned node) const { return edges[node]; }
    int node_value(unsigned node) const { return node_values[node]; }
    // The value's node, NO_VALUE_NODE when no domain holds it.
    unsigned value_to_node(int v) const;

    // next[i] := the values of parameter i on some maximum matching; false
    // when no matching covers every parameter.
    bool propagate(std::vector<iset>& next) const;
    // A maximum matching; returns an unmatched parameter, or -1 when every
    // parameter is matched.
    int maximal_matching(std::vector<unsigned>& matching) const;
    // The residual graph of the matching.
    void get_directed_edges(const std::vector<unsigned>& matching, graph& directed) const;
    // components[v] := the root node of v's strongly connected component.
    static void get_scc_associations(const graph& directed, std::vector<unsigned>& components);
    // Marks node and every node reachable from it, stopping at marked nodes.
    static void mark_all_reachable(unsigned node, const graph& directed,
                                   std::vector<unsigned char>& flags);
    // reversed[w] lists every u with an edge u -> w, in order of u.
    static void reverse_edges(const graph& directed, graph& reversed);

    // A Hall-set explanation, over the parameters of this graph, of removing
    // `removed` from parameter param, or of a conflict (removed empty).
    // False, with explanation untouched, when the graph holds no such
    // reason: the removal keeps support here, a value is not param's, or a
    // conflict's graph has a perfect matching.
    bool explain_propagation(unsigned param, const iset& removed,
                             std::vector<iset>& explanation) const;
    // Appends the node of each value, ascending; false when one has none.
    bool convert_values_to_nodes(std::vector<unsigned>& nodes, const iset& values) const;
    // Walks backwards from the starting values (or from start when there are
    // none), skipping visited nodes and start's component; collects the
    // parameters (start first) and the values met.
    static void get_explaining_nodes(const graph& directed, const std::vector<unsigned char>& visited,
                                     const std::vector<unsigned>& components, unsigned start,
                                     std::vector<unsigned>& parameters,
                                     std::vector<unsigned>& values);
    // explanation := n sets; each listed parameter's is the complement of the
    // listed values, the others empty.
    void explanation_from_explaining_nodes(std::vector<unsigned>& values,
                                           std::vector<unsigned>& parameters,
                                           std::vector<iset>& explanation) const;

private:
    // The steps of a matching phase.
    void bfs_until_free_values(const std::vector<unsigned>& starts,
                               const std::vector<unsigned>& matching,
                               std::vector<unsigned>& origins, std::vector<unsigned>& free) const;
    static bool is_augmenting_path(unsigned free_value, const std::vector<unsigned>& origins,
                                   const std::vector<unsigned>& matching);
    static void toggle_matching(unsigned free_value, const std::vector<unsigned>& origins,
                                std::vector<unsigned>& matching);
    static void remove_if_matched(std::vector<unsigned>& list,
                                  const std::vector<unsigned>& matching);
    // Every node reachable from an unmatched node.
    void mark_reachable_from_unmatched(const graph& directed, const std::vector<unsigned>& matching,
                                       std::vector<unsigned char>& reachable) const;
    bool has_edge(unsigned param, unsigned value_node) const;

    unsigned n = 0;
    graph edges;
    std::vector<int> node_values; // entries 0..n-1 unused
};

} // namespace qarn
