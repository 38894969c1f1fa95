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
// Emptiness is decided by the map's node count, never by m_size.
#pragma once

#include <climits>
#include <map>
#include <utility>

#include "impl/support/pool_alloc.h"

namespace qarn {

class big_iset_impl {
public:
    typedef std::pair<int, int> range_type;
    typedef std::map<int, range_type, std::less<int>, pool_alloc<std::pair<const int, range_type>>>
        map_type;
    typedef map_type::const_iterator node_type;

    static constexpr int MIN_DOMAIN = INT_MIN;
    static constexpr int MAX_DOMAIN = INT_MAX;

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

    big_iset_impl() : m_ranges(), m_size(0) {}

    bool empty() const { return m_ranges.empty(); }
    bool full() const { return !m_ranges.empty() && m_size == 0; }
    unsigned size() const { return m_size; }
    std::size_t range_count() const { return m_ranges.size(); }
    const map_type& ranges() const { return m_ranges; }
    // Least and greatest element; the set must not be empty.
    int min() const { return m_ranges.begin()->second.first; }
    int max() const {
        // One range is the common case (a bound, a value); it spares the tree walk.
        return m_ranges.size() == 1 ? m_ranges.begin()->second.second
                                    : m_ranges.rbegin()->second.second;
    }

    iterator begin() const { return iterator(m_ranges.begin(), INT_MIN); }
    iterator end() const { return iterator(m_ranges.end(), INT_MIN); }

    void clear() {
        m_ranges.clear();
        m_size = 0;
    }
    void swap(big_iset_impl& other) {
        m_ranges.swap(other.m_ranges);
        std::swap(m_size, other.m_size);
    }

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
    void validate() const;
    [[noreturn]] void throw_out_of_range(const char* context) const;

private:
    typedef map_type::iterator mnode;

    static unsigned range_size(const range_type& r) {
        return static_cast<unsigned>(r.second) - static_cast<unsigned>(r.first) + 1u;
    }
    static int key_for(int lo, int hi) {
        return static_cast<int>(static_cast<unsigned>(lo) +
                                ((static_cast<unsigned>(hi) - static_cast<unsigned>(lo)) >> 1));
    }
    mnode mutable_node(node_type n) { return m_ranges.erase(n, n); }
    // m_ranges.lower_bound(v), answered without a descent when v lies at or
    // beyond either end key: sets are often built and probed in order.
    node_type key_lower_bound(int v) const {
        if (m_ranges.empty() || v <= m_ranges.begin()->first)
            return m_ranges.begin();
        if (v > std::prev(m_ranges.end())->first)
            return m_ranges.end();
        return m_ranges.lower_bound(v);
    }

    static bool range_touches_iterator(const range_type& range, node_type n, node_type end);
    static bool range_overlaps_iterator(const range_type& range, node_type n, node_type end);
    mnode insert_independent(const range_type& range, node_type hint);
    void merge_at_iterator(mnode n, const range_type& range);
    void erase_from_single_iterator(mnode n, const range_type& range);
    mnode recenter_iterator_around(mnode n, int a, int b);
    mnode recenter_iterator_below(mnode n, int v);
    mnode recenter_iterator_above(mnode n, int v);
    void erase_range_run(node_type first, const range_type& range);

    map_type m_ranges;
    unsigned m_size;
};

} // namespace qarn
