// Range map: a set of 32-bit integers kept as an ordered map of disjoint,
// non-touching closed ranges.
//
// Invariants (checked by validate()):
//  - every range has lo <= hi, and consecutive ranges p, q have q.lo > p.hi + 1;
//  - every key lies inside its own range, so key order is position order
//    (a new range is keyed at its rounded-down midpoint; a shrinking range is
//    re-keyed only when its key leaves it);
//  - m_size is the number of values modulo 2^32: an empty map has m_size 0,
//    a non-empty map with m_size 0 is the full set [INT_MIN, INT_MAX].
// Emptiness is decided by the range count, never by m_size.
//
// Storage: the (key, range) entries of a map of few ranges lie in one sorted
// array, held inside the map object for up to INLINE_RANGES entries and on
// the heap beyond, so copying a domain is one block copy and lookups scan
// adjacent memory. A map that grows past FLAT_RANGES entries moves into a
// balanced tree with pooled nodes, so that sets of many ranges keep
// logarithmic insertion and erasure; a copy of a tree that holds few ranges
// again is flat. Positions (node_type) work the same on both forms.
#pragma once

#include <climits>
#include <cstddef>
#include <iterator>
#include <set>
#include <utility>

#include "impl/support/pool_alloc.h"

namespace qarn {

class big_iset_impl {
public:
    typedef std::pair<int, int> range_type;

    // One range and its key. The range may change in place (the key stays
    // inside it), so it is mutable also inside the tree's constant nodes.
    struct entry {
        int first;
        mutable range_type second;
    };

private:
    struct key_less {
        using is_transparent = void;
        bool operator()(const entry& a, const entry& b) const { return a.first < b.first; }
        bool operator()(const entry& a, int k) const { return a.first < k; }
        bool operator()(int k, const entry& b) const { return k < b.first; }
    };
    typedef std::set<entry, key_less, pool_alloc<entry>> tree_type;

public:
    static constexpr int MIN_DOMAIN = INT_MIN;
    static constexpr int MAX_DOMAIN = INT_MAX;
    // Entries held inside the map object, and the most a flat array holds
    // before the map moves into the tree.
    static constexpr unsigned INLINE_RANGES = 8;
    static constexpr unsigned FLAT_RANGES = 128;
    static_assert((INLINE_RANGES & (INLINE_RANGES - 1)) == 0 && (FLAT_RANGES & (FLAT_RANGES - 1)) == 0,
                  "heap arrays double from the inline slots up to the flat limit");

    // A position among the entries: an array slot of a flat map, a tree
    // iterator of a spilled one (then the slot pointer is null).
    class node_type {
    public:
        typedef std::bidirectional_iterator_tag iterator_category;
        typedef entry value_type;
        typedef std::ptrdiff_t difference_type;
        typedef const entry* pointer;
        typedef const entry& reference;

        node_type() = default;
        explicit node_type(const entry* slot) : m_slot(slot) {}
        explicit node_type(tree_type::const_iterator node) : m_node(node) {}

        const entry& operator*() const { return m_slot ? *m_slot : *m_node; }
        const entry* operator->() const { return m_slot ? m_slot : &*m_node; }
        node_type& operator++() {
            if (m_slot)
                ++m_slot;
            else
                ++m_node;
            return *this;
        }
        node_type& operator--() {
            if (m_slot)
                --m_slot;
            else
                --m_node;
            return *this;
        }
        node_type operator++(int) {
            node_type old = *this;
            ++*this;
            return old;
        }
        node_type operator--(int) {
            node_type old = *this;
            --*this;
            return old;
        }
        bool operator==(const node_type& other) const {
            return m_slot == other.m_slot && m_node == other.m_node;
        }
        bool operator!=(const node_type& other) const { return !(*this == other); }

    private:
        friend class big_iset_impl;
        const entry* m_slot = nullptr;
        tree_type::const_iterator m_node{};
    };

    // The entries in order, as a range of positions.
    class range_view {
    public:
        range_view(node_type first, node_type last, std::size_t count)
            : m_begin(first), m_end(last), m_count(count) {}
        node_type begin() const { return m_begin; }
        node_type end() const { return m_end; }
        std::size_t size() const { return m_count; }
        bool empty() const { return m_count == 0; }

    private:
        node_type m_begin, m_end;
        std::size_t m_count;
    };
    typedef range_view map_type;

    // An element position: a node and a value. The value INT_MIN stands for the
    // node's lo; the element is max(value, node lo). The end is (map end, INT_MIN).
    class iterator {
    public:
        static constexpr bool CHECKS_BOUNDS = false;
        static constexpr bool INVALIDATED_BY_ERASE = true;

        iterator() : m_node(), m_value(INT_MIN) {}
        iterator(node_type node, int value) : m_node(node), m_value(value) {}

        int operator*() const { return effective_value(); }
        int effective_value() const {
            return m_value < m_node->second.first ? m_node->second.first : m_value;
        }
        node_type node() const { return m_node; }
        int value() const { return m_value; }

        iterator& operator++();
        iterator& operator--();
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        iterator operator--(int) {
            iterator old = *this;
            --*this;
            return old;
        }
        // Moves n elements forward.
        void advance(unsigned n);

        // The longest arithmetic progression of elements starting here and
        // stopping before `end`; returns the iterator at its first element not taken.
        iterator find_stride(const iterator& end, range_type& range, unsigned& stride) const;
        // The mirror image: the progression ending just before this iterator,
        // not reaching before `begin`; returns the iterator at its first element.
        iterator find_back_stride(const iterator& begin, range_type& range, unsigned& stride) const;

        bool operator==(const iterator& other) const;
        bool operator!=(const iterator& other) const { return !(*this == other); }

    private:
        node_type m_node;
        int m_value;
    };

    big_iset_impl() : m_slots(m_inline), m_tree(nullptr), m_count(0), m_capacity(INLINE_RANGES), m_size(0) {}
    // An empty map fit for constant initialization (its slots are zeroed).
    struct constant_tag {};
    constexpr explicit big_iset_impl(constant_tag)
        : m_slots(m_inline), m_tree(nullptr), m_count(0), m_capacity(INLINE_RANGES), m_size(0), m_inline{} {}
    big_iset_impl(const big_iset_impl& other);
    big_iset_impl& operator=(const big_iset_impl& other);
    ~big_iset_impl();

    bool empty() const { return range_count() == 0; }
    bool full() const { return !empty() && m_size == 0; }
    unsigned size() const { return m_size; }
    std::size_t range_count() const { return m_tree ? m_tree->size() : m_count; }
    bool spilled() const { return m_tree != nullptr; }
    range_view ranges() const { return range_view(first_node(), end_node(), range_count()); }
    // Least and greatest element; the set must not be empty.
    int min() const { return m_tree ? m_tree->begin()->second.first : m_slots[0].second.first; }
    int max() const {
        return m_tree ? m_tree->rbegin()->second.second : m_slots[m_count - 1].second.second;
    }

    iterator begin() const { return iterator(first_node(), INT_MIN); }
    iterator end() const { return iterator(end_node(), INT_MIN); }

    void clear();
    void swap(big_iset_impl& other);

    // Mutators; ranges are closed (lo, hi).
    void insert(const range_type& range);
    void erase(const range_type& range);
    iterator erase(const iterator& it);
    void intersect(const range_type& range); // the caller passes lo <= hi
    void intersect(const big_iset_impl& other);
    void insert_all_of(const big_iset_impl& other);
    void erase_all_of(const big_iset_impl& other);
    void complement();

    // Queries.
    bool contains(int v) const;
    bool contains_all_of(const big_iset_impl& other) const;
    bool contains_any_of(const big_iset_impl& other) const;
    static bool same_ranges(const big_iset_impl& a, const big_iset_impl& b);
    // The node of the range holding v, else of the first range above v, else the end.
    node_type lower_range_bound(int v) const;
    // The iterator at v when v is in the set, else at the start of the first
    // range above v, else the end.
    iterator lower_bound(int v) const;
    int rand() const;
    // Calls f(range, stride) for each progression that find_stride yields
    // walking from begin() to end(), in the same order, read off the entries.
    template <class F>
    void for_each_stride(F&& f) const {
        if (m_tree)
            walk_strides(m_tree->cbegin(), m_tree->cend(), f);
        else
            walk_strides<const entry*>(m_slots, m_slots + m_count, f);
    }
    void validate() const;
    [[noreturn]] void throw_out_of_range(const char* context) const;

private:
    typedef node_type mnode;

    static unsigned range_size(const range_type& r) {
        return static_cast<unsigned>(r.second) - static_cast<unsigned>(r.first) + 1u;
    }
    static int key_for(int lo, int hi) {
        return static_cast<int>(static_cast<unsigned>(lo) +
                                ((static_cast<unsigned>(hi) - static_cast<unsigned>(lo)) >> 1));
    }

    node_type first_node() const {
        return m_tree ? node_type(m_tree->cbegin()) : node_type(m_slots);
    }
    node_type end_node() const {
        return m_tree ? node_type(m_tree->cend()) : node_type(m_slots + m_count);
    }
    // The first node whose key is >= v (> v for key_upper_bound), answered
    // without a search when v lies at or beyond either end key: sets are
    // often built and probed in order.
    template <class It, class F>
    static void walk_strides(It n, It end, F& f);
    node_type key_lower_bound(int v) const;
    node_type key_upper_bound(int v) const;

    // Entry storage: a new entry before `hint` (its place by key), erasure of
    // one entry or of [first, last) returning the position after them, and
    // re-keying in place. Positions at or after a change are not kept.
    node_type insert_entry(node_type hint, int key, const range_type& range);
    node_type erase_entry(node_type n);
    node_type erase_entries(node_type first, node_type last);
    node_type rekey(node_type n, int key);
    // Flat storage with room for n entries; the entries are kept.
    void reserve_slots(unsigned n);
    // The entries move into the tree.
    void spill();
    void release_storage();
    void copy_from(const big_iset_impl& other);

    static bool range_touches_iterator(const range_type& range, node_type n, node_type end);
    static bool range_overlaps_iterator(const range_type& range, node_type n, node_type end);
    mnode insert_independent(const range_type& range, node_type hint);
    void merge_at_iterator(mnode n, const range_type& range);
    void erase_from_single_iterator(mnode n, const range_type& range);
    mnode recenter_iterator_around(mnode n, int a, int b);
    mnode recenter_iterator_below(mnode n, int v);
    mnode recenter_iterator_above(mnode n, int v);
    void erase_range_run(node_type first, const range_type& range);

    entry* m_slots;     // flat entries: m_inline or a heap array of m_capacity
    tree_type* m_tree;  // the tree of a spilled map, else null
    unsigned m_count;   // flat entries in use
    unsigned m_capacity;
    unsigned m_size;
    entry m_inline[INLINE_RANGES];
};

template <class It, class F>
void big_iset_impl::walk_strides(It n, It end, F& f) {
    if (n == end)
        return;
    int v = n->second.first; // the first value of range n not listed yet
    for (;;) {
        const int hi = n->second.second;
        if (v != hi) { // the rest of a range; a run never continues into the next
            f(range_type(v, hi), 1u);
            if (++n == end)
                return;
            v = n->second.first;
            continue;
        }
        It next = std::next(n);
        if (next == end) {
            f(range_type(v, v), 1u);
            return;
        }
        // Isolated values with equal gaps: the first gap fixes the stride.
        const unsigned stride = static_cast<unsigned>(next->second.first) - static_cast<unsigned>(v);
        range_type range(v, next->second.first);
        n = next;
        int cur = n->second.first;
        for (;;) {
            int after;
            if (cur != n->second.second) {
                after = cur + 1;
            } else {
                if (++n == end) {
                    f(range, stride);
                    return;
                }
                after = n->second.first;
            }
            if (static_cast<unsigned>(after) - static_cast<unsigned>(cur) != stride) {
                f(range, stride);
                v = after;
                break;
            }
            range.second = after;
            cur = after;
        }
    }
}

} // namespace qarn
