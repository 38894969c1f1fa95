// The decision diagram behind table constraints.
//
// A decision_node is a list of edges (value, child) in ascending value order;
// a null child ends a tuple. Nodes live in the manager's store, hash-consed:
// two nodes with the same edges (children compared by address) are one node,
// so a node address stands for a whole sub-diagram. A relation of n columns
// has n roots; root c branches on column c, then on 0, 1, ..., n-1 skipping
// c. Tables are built through a decision_sub_tree, a plain trie, whose levels
// are then turned into store nodes bottom-up.
//
// The store is collected by marking from the registered roots; a root stays
// registered once for each relation that uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "impl/engine/constraint_runtime_info.h"
#include "impl/propagators/table_propagator.h"
#include "impl/sets/model.h"

namespace qarn {

// The column after k in the order of root c: c, 0, 1, ..., c-1, c+1, ...
inline unsigned next_column(unsigned c, unsigned k) {
    const unsigned next = k == c ? 0 : k + 1;
    return next == c ? next + 1 : next;
}

class decision_node {
public:
    struct edge {
        int value;
        const decision_node* child; // null at the last column
    };

    explicit decision_node(std::vector<edge> edges) : m_edges(std::move(edges)) {}

    const std::vector<edge>& edges() const { return m_edges; }
    // The edge with the value, or null.
    const edge* find_edge(int value) const;

    // Same edges, children compared by identity.
    bool operator==(const decision_node& other) const;
    std::size_t hash() const;

    // Adds to supports[c] every value of this root (of column c) that has a
    // tuple within ri's domains, and to the later columns the values of the
    // first such tuple found for it. Values already in supports[c] are not
    // searched again.
    void collect_supports_iterating_children_and_values(unsigned c,
                                                        const constraint_runtime_info& ri,
                                                        std::vector<iset>& supports) const;
    // On a node at column k of root c: whether a path to the end lies within
    // ri's domains; on success the first such path's values are added to
    // supports, column by column.
    bool supports_iterating_children_and_values(unsigned c, unsigned k,
                                                const constraint_runtime_info& ri,
                                                std::vector<iset>& supports) const;
    // On a node at column k of root c: whether a path to the end lies within
    // ri's domains. A node already marked with `visit` failed before and is
    // not searched again; every node searched is marked.
    bool has_support(unsigned c, unsigned k, const constraint_runtime_info& ri,
                     std::uint64_t visit) const;

    // Every path from here, one per line, the values separated by " ",
    // each line starting with `prefix`.
    void print_tuples(std::ostream& os, std::vector<int>& prefix) const;
    void show_self() const;

private:
    friend class table_propagator_base::memory_manager::impl;

    std::vector<edge> m_edges;
    // The last traversal that reached the node (collection marks, failed
    // searches); not part of the node's identity.
    mutable std::uint64_t m_visit = 0;
};

// A trie of tuples under construction: each level's edges in ascending value
// order, each edge owning its child level (none at the last column).
class decision_sub_tree {
public:
    struct edge {
        int value;
        std::unique_ptr<decision_sub_tree> child;
    };

    // Adds tuple t from column k on, in the order of root c. t's length must
    // exceed k.
    void insert(unsigned c, unsigned k, const std::vector<int>& t);

    const std::vector<edge>& edges() const { return m_edges; }

private:
    std::vector<edge> m_edges;
};

class table_propagator_base::memory_manager::impl {
public:
    impl();
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    // The store node for the trie (null for a null or edgeless trie); equal
    // sub-diagrams give the same node.
    const decision_node* get_node(const decision_sub_tree* trie);

    // One more use of the root.
    void register_root(const decision_node* root);
    // One use fewer; collects once the roots released since the last
    // collection are more than half of those still registered.
    void release_root(const decision_node* root);

    void garbage_collect();
    void disable_garbage_collection() { m_collect = false; }

    // A number no traversal has used yet.
    std::uint64_t new_visit() { return ++m_visits; }

    std::size_t node_count() const { return m_nodes.size(); }
    std::size_t root_count() const { return m_roots.size(); }

private:
    struct node_hash {
        std::size_t operator()(const decision_node& node) const { return node.hash(); }
    };

    std::unordered_set<decision_node, node_hash> m_nodes;
    std::unordered_multiset<const decision_node*> m_roots;
    std::uint32_t m_released = 0;
    bool m_collect = true;
    std::uint64_t m_visits = 0;
};

class table_propagator_base::tuples {
public:
    // Builds the roots of the tuple list (of equal lengths, checked by the
    // caller) in the store and registers them; count 1.
    tuples(memory_manager::impl& store, const std::vector<std::vector<int>>& tuple_list);
    tuples(const tuples&) = delete;
    tuples& operator=(const tuples&) = delete;

    void add_reference() { ++m_count; }
    // Drops one use; the last one releases the roots and deletes the object.
    void remove_reference();

    std::uint32_t reference_count() const { return m_count; }
    unsigned column_count() const { return static_cast<unsigned>(m_roots.size()); }
    const decision_node* root(unsigned c) const { return m_roots[c]; }
    const std::vector<const decision_node*>& roots() const { return m_roots; }
    // Every value column c takes in some tuple.
    const iset& column_values(unsigned c) const { return m_column_values[c]; }
    memory_manager::impl& store() const { return m_store; }

    void print_tuples(std::ostream& os) const;
    void show_self() const;

private:
    ~tuples() = default;

    std::uint32_t m_count;
    std::vector<const decision_node*> m_roots;
    std::vector<iset> m_column_values;
    memory_manager::impl& m_store;
};

} // namespace qarn
