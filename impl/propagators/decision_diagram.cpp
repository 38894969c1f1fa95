// Decision-diagram nodes, their searches for supports, the building trie and
// the hash-consing store with its collection.
#include "impl/propagators/decision_diagram.h"

#include <algorithm>
#include <iostream>

#include "impl/propagators/arithmetic.h"

namespace qarn {

namespace {

typedef std::vector<decision_node::edge> edge_list;

bool value_below(const decision_node::edge& e, int v) {
    return e.value < v;
}

// Calls f on each edge whose value lies in d, in ascending order, until f
// returns true; returns whether it did. The matches are those of a merge of
// the two ascending sequences, but the shorter one is walked and its values
// looked up in the other, so a level costs the smaller count times a
// logarithm instead of the sum of both counts.
template <class F>
bool for_each_edge_in(const edge_list& edges, const iset& d, F f) {
    if (edges.empty() || d.empty())
        return false;
    if (edges.size() <= arithmetic::value_count(d)) {
        const int hi = d.max();
        for (auto e = std::lower_bound(edges.begin(), edges.end(), d.min(), value_below);
             e != edges.end() && e->value <= hi; ++e)
            if (d.contains(e->value) && f(*e))
                return true;
        return false;
    }
    auto e = edges.begin();
    for (auto it = d.lower_bound(edges.front().value), end = d.end(); it != end; ++it) {
        const int v = *it;
        e = std::lower_bound(e, edges.end(), v, value_below);
        if (e == edges.end())
            return false;
        if (e->value == v) {
            if (f(*e))
                return true;
            ++e;
            if (e == edges.end())
                return false;
        }
    }
    return false;
}

void insert_value(iset& s, int v) {
    s.insert(iset::range_type(v, v));
}

} // namespace

// ---------------------------------------------------------------------------
// Nodes

const decision_node::edge* decision_node::find_edge(int value) const {
    auto e = std::lower_bound(m_edges.begin(), m_edges.end(), value, value_below);
    return e != m_edges.end() && e->value == value ? &*e : nullptr;
}

bool decision_node::operator==(const decision_node& other) const {
    if (m_edges.size() != other.m_edges.size())
        return false;
    for (std::size_t i = 0; i < m_edges.size(); ++i)
        if (m_edges[i].value != other.m_edges[i].value ||
            m_edges[i].child != other.m_edges[i].child)
            return false;
    return true;
}

std::size_t decision_node::hash() const {
    std::uint64_t h = 0;
    for (const edge& e : m_edges) {
        // value * 47 in 32 bits, sign-extended; all in unsigned arithmetic.
        const std::uint32_t scaled = static_cast<std::uint32_t>(e.value) * 47u;
        const std::int32_t wrapped = static_cast<std::int32_t>(scaled);
        const std::uint64_t extended = static_cast<std::uint64_t>(std::int64_t(wrapped));
        std::uint64_t t =
            extended ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(e.child)) ^ h;
        t *= 98317u;
        h = (t >> 16) | (t << 16);
    }
    return static_cast<std::size_t>(h);
}

void decision_node::collect_supports_iterating_children_and_values(
    unsigned c, const constraint_runtime_info& ri, std::vector<iset>& supports) const {
    const iset& d = ri.domain(c);
    iset& found = supports[c];
    // supports[c] only holds values of d: equal sizes mean all are supported.
    if (d.size() == found.size() && d.empty() == found.empty())
        return;
    const unsigned next = next_column(c, c);
    for_each_edge_in(m_edges, d, [&](const edge& e) {
        if (!e.child) {
            // A one-column table over one parameter.
            if (ri.arity() == next)
                insert_value(found, e.value);
        } else if (!found.contains(e.value) &&
                   e.child->supports_iterating_children_and_values(c, next, ri, supports)) {
            insert_value(found, e.value);
        }
        return false;
    });
}

bool decision_node::supports_iterating_children_and_values(unsigned c, unsigned k,
                                                           const constraint_runtime_info& ri,
                                                           std::vector<iset>& supports) const {
    const unsigned next = next_column(c, k);
    return for_each_edge_in(m_edges, ri.domain(k), [&](const edge& e) {
        if (e.child && !e.child->supports_iterating_children_and_values(c, next, ri, supports))
            return false;
        insert_value(supports[k], e.value);
        return true;
    });
}

bool decision_node::has_support(unsigned c, unsigned k, const constraint_runtime_info& ri,
                                std::uint64_t visit) const {
    // A node met again was searched without success: searches stop at the
    // first success.
    if (m_visit == visit)
        return false;
    m_visit = visit;
    const unsigned next = next_column(c, k);
    return for_each_edge_in(m_edges, ri.domain(k), [&](const edge& e) {
        return !e.child || e.child->has_support(c, next, ri, visit);
    });
}

void decision_node::print_tuples(std::ostream& os, std::vector<int>& prefix) const {
    for (const edge& e : m_edges) {
        prefix.push_back(e.value);
        if (e.child) {
            e.child->print_tuples(os, prefix);
        } else {
            for (std::size_t i = 0; i < prefix.size(); ++i)
                os << (i ? " " : "") << prefix[i];
            os << '\n';
        }
        prefix.pop_back();
    }
}

void decision_node::show_self() const {
    std::vector<int> prefix;
    print_tuples(std::cout, prefix);
}

// ---------------------------------------------------------------------------
// Building trie

void decision_sub_tree::insert(unsigned c, unsigned k, const std::vector<int>& t) {
    decision_sub_tree* level = this;
    for (;;) {
        const int v = t[k];
        std::vector<edge>& edges = level->m_edges;
        // Tuples usually come sorted: the value is the last one or a new last.
        auto at = edges.end();
        if (!edges.empty() && edges.back().value >= v)
            at = std::lower_bound(edges.begin(), edges.end(), v,
                                  [](const edge& e, int x) { return e.value < x; });
        if (at == edges.end() || at->value != v)
            at = edges.insert(at, edge{v, nullptr});
        const unsigned next = next_column(c, k);
        if (next >= t.size())
            return;
        if (!at->child)
            at->child = std::make_unique<decision_sub_tree>();
        level = at->child.get();
        k = next;
    }
}

// ---------------------------------------------------------------------------
// Store

table_propagator_base::memory_manager::impl::impl() : m_nodes(10), m_roots(10) {
    m_nodes.max_load_factor(1.0f);
}

table_propagator_base::memory_manager::impl::~impl() {
    m_collect = false;
    m_roots.clear();
    m_nodes.clear();
}

const decision_node* table_propagator_base::memory_manager::impl::get_node(
    const decision_sub_tree* trie) {
    if (!trie || trie->edges().empty())
        return nullptr;
    std::vector<decision_node::edge> edges;
    edges.reserve(trie->edges().size());
    for (const decision_sub_tree::edge& e : trie->edges())
        edges.push_back(decision_node::edge{e.value, get_node(e.child.get())});
    return &*m_nodes.insert(decision_node(std::move(edges))).first;
}

void table_propagator_base::memory_manager::impl::register_root(const decision_node* root) {
    m_roots.insert(root);
}

void table_propagator_base::memory_manager::impl::release_root(const decision_node* root) {
    // One occurrence: the other relations that share the root still hold it.
    auto it = m_roots.find(root);
    if (it == m_roots.end())
        return;
    m_roots.erase(it);
    ++m_released;
    if (std::uint64_t(m_released) * 2 > m_roots.size())
        garbage_collect();
}

void table_propagator_base::memory_manager::impl::garbage_collect() {
    if (!m_collect)
        return;
    const std::uint64_t reached = new_visit();
    std::vector<const decision_node*> pending;
    for (const decision_node* root : m_roots) {
        if (!root || root->m_visit == reached)
            continue;
        root->m_visit = reached;
        pending.push_back(root);
        while (!pending.empty()) {
            const decision_node* node = pending.back();
            pending.pop_back();
            for (const decision_node::edge& e : node->m_edges)
                if (e.child && e.child->m_visit != reached) {
                    e.child->m_visit = reached;
                    pending.push_back(e.child);
                }
        }
    }
    for (auto it = m_nodes.begin(); it != m_nodes.end();)
        it = it->m_visit == reached ? std::next(it) : m_nodes.erase(it);
    m_released = 0;
}

// ---------------------------------------------------------------------------
// Relations

table_propagator_base::tuples::tuples(memory_manager::impl& store,
                                      const std::vector<std::vector<int>>& tuple_list)
    : m_count(1), m_store(store) {
    if (tuple_list.empty())
        return;
    const unsigned n = static_cast<unsigned>(tuple_list.front().size());
    try {
        m_roots.reserve(n);
        std::vector<const std::vector<int>*> order;
        order.reserve(tuple_list.size());
        for (const std::vector<int>& t : tuple_list)
            order.push_back(&t);
        for (unsigned c = 0; c < n; ++c) {
            // Inserting in root c's order keeps every insertion at the end
            // of its levels; the trie does not depend on the order.
            std::sort(order.begin(), order.end(),
                      [c, n](const std::vector<int>* a, const std::vector<int>* b) {
                          if ((*a)[c] != (*b)[c])
                              return (*a)[c] < (*b)[c];
                          for (unsigned k = 0; k < n; ++k)
                              if (k != c && (*a)[k] != (*b)[k])
                                  return (*a)[k] < (*b)[k];
                          return false;
                      });
            const decision_node* root;
            {
                decision_sub_tree trie;
                for (const std::vector<int>* t : order)
                    trie.insert(c, c, *t);
                root = m_store.get_node(&trie);
            }
            m_store.register_root(root);
            m_roots.push_back(root);
        }
        m_column_values.resize(n);
        for (unsigned c = 0; c < n; ++c)
            for (const decision_node::edge& e : m_roots[c]->edges())
                insert_value(m_column_values[c], e.value);
    } catch (...) {
        for (const decision_node* root : m_roots)
            m_store.release_root(root);
        throw;
    }
}

void table_propagator_base::tuples::remove_reference() {
    if (--m_count != 0)
        return;
    for (const decision_node* root : m_roots)
        m_store.release_root(root);
    delete this;
}

void table_propagator_base::tuples::print_tuples(std::ostream& os) const {
    if (m_roots.empty())
        return;
    std::vector<int> prefix;
    m_roots[0]->print_tuples(os, prefix);
}

void table_propagator_base::tuples::show_self() const {
    print_tuples(std::cout);
}

// ---------------------------------------------------------------------------
// The manager's interface

table_propagator_base::memory_manager::memory_manager() : m_impl(std::make_unique<impl>()) {}

table_propagator_base::memory_manager::~memory_manager() {
    m_impl->disable_garbage_collection();
}

void table_propagator_base::memory_manager::garbage_collect() {
    m_impl->garbage_collect();
}

void table_propagator_base::memory_manager::disable_garbage_collection() {
    m_impl->disable_garbage_collection();
}

std::size_t table_propagator_base::memory_manager::node_count() const {
    return m_impl->node_count();
}

std::size_t table_propagator_base::memory_manager::root_count() const {
    return m_impl->root_count();
}

} // namespace qarn
