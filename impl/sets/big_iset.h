// Strided integer set: the domain set of the large model.
//
// Every element is offset + stride * k, with 1 <= stride, 0 <= offset < stride
// (offset 0 when the stride is 1), and the indices k kept in a range map.
// Compaction raises the stride to the gcd of the gaps between elements once
// the set holds only isolated indices, so a set built value by value from a
// progression ends as one index range. Emptiness is empty(); size() is 0 both
// for the empty and for the full set of all 2^32 values.
//
// Beside the index map every set keeps its shape: its size, its least and
// greatest elements and whether it is one plain range (stride 1, one index
// range). Every mutator refreshes it, so the commonest tests (a literal or a
// 0/1 domain against another) read the set object only and never walk or even
// touch the tree.
// A plain range made by copying or by intersecting plain ranges has no index
// map yet (it is "lazy"): the map is built the first time anything reads it
// (index_map, iterators, the general operations), so copies of domains and
// the trail's saved domains cost no tree nodes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <new>
#include <string>
#include <utility>

#include "impl/sets/big_iset_impl.h"
#include "impl/support/pool_alloc.h"

namespace qarn {

// The index map behind a pointer, allocated when first written: a plain
// range, lazy or empty, holds no map object at all, so a set takes 32 bytes
// (trail entries, clause literals and domain copies are mostly such sets).
// Reading an absent map reads a shared empty one; writing goes through edit().
class big_iset_map_box {
public:
    big_iset_map_box() = default;
    big_iset_map_box(const big_iset_map_box&) = delete;
    big_iset_map_box& operator=(const big_iset_map_box&) = delete;
    ~big_iset_map_box() { release(); }

    const big_iset_impl* operator->() const { return m_map ? m_map : &s_empty_map; }
    const big_iset_impl& operator*() const { return m_map ? *m_map : s_empty_map; }
    big_iset_impl& edit() {
        if (!m_map)
            m_map = new (pool().allocate(1)) big_iset_impl;
        return *m_map;
    }
    void assign(const big_iset_impl& map) {
        if (m_map)
            *m_map = map;
        else if (!map.empty())
            m_map = new (pool().allocate(1)) big_iset_impl(map);
    }
    void clear() {
        if (m_map)
            m_map->clear();
    }
    // Gives the map object back (a plain range needs none).
    void release() {
        if (!m_map)
            return;
        m_map->~big_iset_impl();
        pool().deallocate(m_map, 1);
        m_map = nullptr;
    }
    void swap(big_iset_map_box& other) noexcept { std::swap(m_map, other.m_map); }
    void swap(big_iset_impl& map) { edit().swap(map); }

private:
    // Constant-initialized, so reading it needs no guard.
    static const big_iset_impl s_empty_map;
    static pool_alloc<big_iset_impl> pool() { return {}; }

    big_iset_impl* m_map = nullptr;
};

class big_iset {
public:
    typedef std::pair<int, int> range_type;
    typedef big_iset_impl impl_type;

    static constexpr int MIN_DOMAIN = INT_MIN;
    static constexpr int MAX_DOMAIN = INT_MAX;

    // An index-map iterator plus the owning set; dereferences to a value.
    class iterator {
    public:
        static constexpr bool CHECKS_BOUNDS = false;
        static constexpr bool INVALIDATED_BY_ERASE = true;

        iterator() : m_it(), m_set(nullptr) {}
        iterator(const big_iset_impl::iterator& it, const big_iset* set) : m_it(it), m_set(set) {}

        int operator*() const { return m_set->value_of(*m_it); }
        iterator& operator++() {
            ++m_it;
            return *this;
        }
        iterator& operator--() {
            --m_it;
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++m_it;
            return old;
        }
        iterator operator--(int) {
            iterator old = *this;
            --m_it;
            return old;
        }
        bool operator==(const iterator& other) const {
            return m_set == other.m_set && m_it == other.m_it;
        }
        bool operator!=(const iterator& other) const { return !(*this == other); }

        // The progression of values starting here and stopping before `end`.
        iterator find_stride(const iterator& end, range_type& range, unsigned& stride) const;
        iterator find_back_stride(const iterator& begin, range_type& range, unsigned& stride) const;
        // Stride 1: [current value, range hi]; a stride above 1: [v, v].
        range_type current_range() const;
        void advance_range();
        void retract_range();

        const big_iset_impl::iterator& index_iterator() const { return m_it; }
        const big_iset* owner() const { return m_set; }

    private:
        void map_progression(const range_type& indices, unsigned index_stride,
                             range_type& range, unsigned& stride) const;

        big_iset_impl::iterator m_it;
        const big_iset* m_set;
    };
    typedef iterator const_iterator;

    big_iset()
        : m_lo(0), m_hi(0), m_ranges(), m_skip(1), m_offset(0), m_size(0), m_changes(0), m_interval(false),
          m_lazy(false), m_point(false) {}
    explicit big_iset(const std::string& text);
    big_iset(const big_iset& other);
    big_iset(big_iset&& other) noexcept;
    big_iset& operator=(const big_iset& other);
    big_iset& operator=(big_iset&& other) noexcept;

    // The set becomes {v}.
    void assign(int v);

    // Only a full set, which is one plain range, shares size 0 with the empty set.
    bool empty() const { return m_size == 0 && !m_interval; }
    bool full() const { return m_interval && m_size == 0; }
    unsigned size() const { return m_size; }
    // Least and greatest element; the set must not be empty.
    int min() const { return m_lo; }
    int max() const { return m_hi; }
    unsigned stride() const { return m_skip; }
    unsigned offset() const { return m_offset; }
    const big_iset_impl& index_map() const { return map(); }

    iterator begin() const { return iterator(map().begin(), this); }
    iterator end() const { return iterator(map().end(), this); }
    iterator lower_bound(int v) const;
    iterator upper_bound(int v) const;
    // Index of the first element not below v: ceil((v - offset) / stride).
    int upper_impl_value(int v) const;

    // Mutators; ranges are closed (lo, hi).
    void insert(const range_type& range);
    void insert(const range_type& range, unsigned stride);
    void erase(const range_type& range);
    iterator erase(const iterator& it);
    void intersect(const range_type& range);
    void intersect(const range_type& range, unsigned stride);
    void intersect(const std::pair<std::int64_t, std::int64_t>& bounds, unsigned stride);
    void intersect(const big_iset& other);
    void insert_all_of(const big_iset& other);
    void erase_all_of(const big_iset& other);
    void complement();
    void compact();
    void flatten();

    // Queries; plain ranges and single values are decided here, without a
    // call, and a plain range holds another set when it holds its extremes.
    bool contains(int v) const {
        if (m_interval)
            return m_lo <= v && v <= m_hi;
        // Outside the extremes (kept stale by an empty set, which holds nothing).
        return m_point ? v == m_lo : m_lo <= v && v <= m_hi && contains_in_map(v);
    }
    bool contains_all_of(const big_iset& other) const {
        if (m_interval && other.m_interval)
            return m_lo <= other.m_lo && other.m_hi <= m_hi;
        if (other.m_point)
            return contains(other.m_lo);
        if (m_interval)
            return other.empty() || (m_lo <= other.min() && other.max() <= m_hi);
        if (other.m_interval)
            return contains_range(other.m_lo, other.m_hi);
        return contains_all_in_maps(other);
    }
    bool contains_all_of(const range_type& range, unsigned stride) const;
    bool contains_any_of(const big_iset& other) const {
        if (m_interval && other.m_interval)
            return m_lo <= other.m_hi && other.m_lo <= m_hi;
        if (other.m_point)
            return contains(other.m_lo);
        if (m_point)
            return other.contains(m_lo);
        if (m_interval)
            return other.contains_any_in(m_lo, m_hi);
        if (other.m_interval)
            return contains_any_in(other.m_lo, other.m_hi);
        return contains_any_in_maps(other);
    }
    // Whether some element lies in [lo, hi], and whether all of them do; lo <= hi.
    bool contains_any_in(int lo, int hi) const;
    bool contains_range(int lo, int hi) const;
    // True only when the set is exactly the values lo..hi (then both are
    // set); a singleton kept on a wider stride answers false.
    bool plain_range(int& lo, int& hi) const {
        lo = m_lo;
        hi = m_hi;
        return m_interval;
    }
    static bool same_elements(const big_iset& a, const big_iset& b);
    // Calls f(range, stride) for each progression that iterator::find_stride
    // yields walking the set from begin() to end(), in the same order.
    template <class F>
    void for_each_progression(F&& f) const {
        map().for_each_stride([this, &f](const range_type& r, unsigned s) {
            f(range_type(value_of(r.first), value_of(r.second)), r.first == r.second ? 1u : s * m_skip);
        });
    }
    // Calls f(lo, hi, step) for each index range in increasing order: the
    // values lo, lo + step, ..., hi, step being the set's stride (1 for a
    // range of consecutive values). A plain range is one run, read without
    // building its map.
    template <class F>
    void for_each_run(F&& f) const {
        if (m_interval) { // a lazy set is a plain range
            f(m_lo, m_hi, 1u);
            return;
        }
        for (const auto& node : m_ranges->ranges())
            f(value_of(node.second.first), value_of(node.second.second), m_skip);
    }
    int rand() const;
    void validate() const;
    void show_self() const;

    // Progressions lo, lo + s, ..., up to hi.
    static void remove_smaller_elements(range_type& range, unsigned stride, int v);
    static void remove_bigger_elements(range_type& range, unsigned stride, int v);
    static unsigned count_elements(const range_type& range, unsigned stride);
    static bool is_in_range(const range_type& range, unsigned stride, int v);

    void swap(big_iset& other) noexcept;

protected:
    int value_of(int index) const {
        return static_cast<int>(static_cast<unsigned>(index) * m_skip + m_offset);
    }

private:
    friend class iterator;
    class shape_update;

    // Recomputes the shape from the index map and the stride (a lazy set keeps its own).
    void note_shape();
    // The index map, built first when the set is lazy.
    const big_iset_impl& map() const {
        if (m_lazy)
            materialise();
        return *m_ranges;
    }
    void materialise() const;
    // The set becomes the lazy plain range [lo, hi]; the caller keeps lo <= hi.
    void become_plain_range(int lo, int hi);
    // This plain range and [lo, hi] overlap or touch.
    bool unites_with(int lo, int hi) const;
    bool contains_in_map(int v) const;
    bool contains_all_in_maps(const big_iset& other) const;
    bool contains_any_in_maps(const big_iset& other) const;

    // Index of v when v lies on the progression; false otherwise.
    bool index_of(int v, int& index) const;
    // floor((v - offset) / stride) and ceil((v - offset) / stride).
    int floor_index(int v) const;
    int ceil_index(int v) const;
    bool on_progression(int v) const;

    void reset();
    // Empties the set (stride 1 already) without touching the compaction counter.
    void clear_keeping_counter();
    void count_change(unsigned old_size);
    void insert_value(int v);
    void intersect_different_strides(const big_iset& other);
    void intersect_with_progression(const range_type& range, unsigned stride);

    // The shape: the size and the extremes m_lo and m_hi of a non-empty set;
    // m_interval when the set is exactly [m_lo, m_hi] with stride 1;
    // m_lazy (which implies m_interval) when m_ranges is not built yet;
    // m_point when it is the single value m_lo (= m_hi) on a wider stride.
    // (Ordered so that the set takes 32 bytes.)
    int m_lo;
    int m_hi;
    mutable big_iset_map_box m_ranges;
    unsigned m_skip;
    unsigned m_offset;
    unsigned m_size; // the number of elements modulo 2^32
    unsigned char m_changes;
    bool m_interval;
    mutable bool m_lazy;
    bool m_point;
};

// The text form (see iset_text.h).
std::istream& operator>>(std::istream& in, big_iset& set);
std::ostream& operator<<(std::ostream& out, const big_iset& set);

namespace iset_helpers {
// The iterator at the start of the longest run of elements of `set` just
// before `end` that all lie in `other`.
big_iset::iterator find_contained_tail(const big_iset& set, const big_iset::iterator& end,
                                       const big_iset& other);
} // namespace iset_helpers

namespace big_model {

class iset : public big_iset {
public:
    iset() = default;
    iset(int v) { insert(range_type(v, v)); }
    iset(const range_type& range) { insert(range); }
    iset(int lo, int hi) { insert(range_type(lo, hi)); }
    explicit iset(const std::string& text) : big_iset(text) {}
    iset(const big_iset& other) : big_iset(other) {}
    iset(big_iset&& other) noexcept : big_iset(std::move(other)) {}
};

} // namespace big_model

} // namespace qarn
