// Range map operations: insertion with merging, erasure by cases, intersection,
// complement and the queries, keeping ranges disjoint and non-touching and each
// key inside its range.
#include "impl/sets/big_iset_impl.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "impl/support/random.h"

namespace qarn {

namespace {

// Range comparisons in 64 bits, so that hi + 1 and lo - 1 never overflow.
inline bool touches(const big_iset_impl::range_type& a, const big_iset_impl::range_type& b) {
    return static_cast<std::int64_t>(a.first) <= static_cast<std::int64_t>(b.second) + 1 &&
           static_cast<std::int64_t>(b.first) <= static_cast<std::int64_t>(a.second) + 1;
}

inline bool overlaps(const big_iset_impl::range_type& a, const big_iset_impl::range_type& b) {
    return a.first <= b.second && b.first <= a.second;
}

inline unsigned step_between(int from, int to) {
    return static_cast<unsigned>(to) - static_cast<unsigned>(from);
}

// Heap arrays of entries come from the pool, one free list per capacity
// (8 to FLAT_RANGES, powers of two), so that copying a set of a few dozen
// ranges costs a pointer pop and a block copy.
template <unsigned N>
struct slot_block {
    big_iset_impl::entry slots[N];
};

template <unsigned N>
big_iset_impl::entry* pool_slots(unsigned capacity) {
    if constexpr (N > big_iset_impl::FLAT_RANGES) {
        throw std::logic_error("big_iset_impl: flat storage beyond its limit");
    } else {
        if (capacity == N)
            return pool_alloc<slot_block<N>>().allocate(1)->slots;
        return pool_slots<N * 2>(capacity);
    }
}

template <unsigned N>
void unpool_slots(big_iset_impl::entry* slots, unsigned capacity) {
    if constexpr (N <= big_iset_impl::FLAT_RANGES) {
        if (capacity == N)
            pool_alloc<slot_block<N>>().deallocate(reinterpret_cast<slot_block<N>*>(slots), 1);
        else
            unpool_slots<N * 2>(slots, capacity);
    }
}

// Tree objects come from the node pool too: sets of many ranges are copied
// onto the trail as often as any other.
template <class Tree, class... Args>
Tree* make_tree(Args&&... args) {
    pool_alloc<Tree> pool;
    Tree* place = pool.allocate(1);
    try {
        return new (place) Tree(std::forward<Args>(args)...);
    } catch (...) {
        pool.deallocate(place, 1);
        throw;
    }
}

template <class Tree>
void destroy_tree(Tree* tree) {
    if (!tree)
        return;
    tree->~Tree();
    pool_alloc<Tree>().deallocate(tree, 1);
}

// The first entry of a sorted array whose key is >= v, answered at once when
// v lies at or beyond either end key.
inline const big_iset_impl::entry* flat_key_lower_bound(const big_iset_impl::entry* first,
                                                       const big_iset_impl::entry* last, int v) {
    if (first == last || v <= first->first)
        return first;
    if (v > last[-1].first)
        return last;
    if (last - first <= 16) { // a short array: a scan mispredicts less than a search
        ++first;
        while (first->first < v)
            ++first;
        return first;
    }
    return std::lower_bound(first, last, v,
                            [](const big_iset_impl::entry& e, int k) { return e.first < k; });
}

} // namespace

// ---------------------------------------------------------------------------
// Iterator

big_iset_impl::iterator& big_iset_impl::iterator::operator++() {
    const int v = effective_value();
    if (v != m_node->second.second) {
        m_value = v + 1;
    } else {
        ++m_node;
        m_value = INT_MIN;
    }
    return *this;
}

big_iset_impl::iterator& big_iset_impl::iterator::operator--() {
    // The end node is only ever reached with value INT_MIN, so it is never read.
    if (m_value != INT_MIN && m_value > m_node->second.first) {
        --m_value;
    } else {
        --m_node;
        m_value = m_node->second.second;
    }
    return *this;
}

void big_iset_impl::iterator::advance(unsigned n) {
    while (n != 0) {
        const int v = effective_value();
        // Values left in this range, counting v; 0 only for the whole domain
        // entered at its start, which holds more than any n.
        const unsigned left = static_cast<unsigned>(m_node->second.second) + 1u - static_cast<unsigned>(v);
        if (left != 0 && n >= left) {
            n -= left;
            ++m_node;
            m_value = INT_MIN;
        } else {
            m_value = static_cast<int>(static_cast<unsigned>(v) + n);
            return;
        }
    }
}

bool big_iset_impl::iterator::operator==(const iterator& other) const {
    if (m_node != other.m_node)
        return false;
    if (m_value == other.m_value)
        return true;
    const int lo = m_node->second.first;
    const int a = m_value < lo ? lo : m_value;
    const int b = other.m_value < lo ? lo : other.m_value;
    return a == b;
}

big_iset_impl::iterator big_iset_impl::iterator::find_stride(const iterator& end, range_type& range,
                                                             unsigned& stride) const {
    stride = 1;
    if (m_node == end.m_node) {
        // An end standing at the node's start (also the map's end) leaves nothing.
        if (end.m_value == INT_MIN || end.effective_value() <= effective_value())
            throw std::runtime_error("An empty stride was requested");
        range = range_type(effective_value(), end.effective_value() - 1);
        return end;
    }
    const int v = effective_value();
    range = range_type(v, m_node->second.second);
    node_type next = std::next(m_node);
    if (v != m_node->second.second)
        return iterator(next, INT_MIN); // a run never continues into the next range
    if (next == end.m_node && (end.m_value == INT_MIN || end.m_value <= next->second.first))
        return end;

    // Isolated values with equal gaps: the first gap fixes the stride.
    stride = step_between(v, next->second.first);
    range.second = next->second.first;
    iterator pos(next, INT_MIN);
    for (;;) {
        const int cur = pos.effective_value();
        iterator after = pos;
        ++after;
        if (after == end)
            return after;
        if (step_between(cur, after.effective_value()) != stride)
            return after;
        range.second = after.effective_value();
        pos = after;
    }
}

big_iset_impl::iterator big_iset_impl::iterator::find_back_stride(const iterator& begin, range_type& range,
                                                                  unsigned& stride) const {
    stride = 1;
    if (m_node == begin.m_node) {
        if (m_value == INT_MIN || effective_value() <= begin.effective_value())
            throw std::runtime_error("An Empty stride was requested");
        range = range_type(begin.effective_value(), effective_value() - 1);
        return begin;
    }
    // The node holding the element just before this iterator, and the top of the
    // run there: inside this node when this is past its start, else the previous node.
    node_type node = m_node;
    int top;
    if (m_value != INT_MIN && m_value > m_node->second.first) {
        top = m_value - 1;
    } else {
        --node;
        top = node->second.second;
    }
    const bool at_begin_node = node == begin.m_node;
    const int bottom = at_begin_node ? begin.effective_value() : node->second.first;
    if (bottom > top)
        throw std::runtime_error("An Empty stride was requested");
    if (bottom < top) {
        range = range_type(bottom, top);
        return at_begin_node ? begin : iterator(node, INT_MIN);
    }
    range = range_type(top, top);
    if (at_begin_node)
        return begin;

    // Isolated values with equal gaps, walked downwards.
    node_type prev = std::prev(node);
    stride = step_between(prev->second.second, top);
    range.first = prev->second.second;
    iterator pos(prev, prev->second.second);
    for (;;) {
        if (pos == begin)
            return pos;
        const int cur = pos.effective_value();
        iterator before = pos;
        --before;
        if (step_between(before.effective_value(), cur) != stride)
            return pos;
        range.first = before.effective_value();
        pos = before;
    }
}

// ---------------------------------------------------------------------------
// Storage

big_iset_impl::big_iset_impl(const big_iset_impl& other) : big_iset_impl() {
    copy_from(other);
}

big_iset_impl& big_iset_impl::operator=(const big_iset_impl& other) {
    if (this != &other)
        copy_from(other);
    return *this;
}

big_iset_impl::~big_iset_impl() {
    release_storage();
}

void big_iset_impl::release_storage() {
    destroy_tree(m_tree);
    m_tree = nullptr;
    if (m_slots != m_inline)
        unpool_slots<INLINE_RANGES * 2>(m_slots, m_capacity);
    m_slots = m_inline;
    m_capacity = INLINE_RANGES;
    m_count = 0;
}

void big_iset_impl::copy_from(const big_iset_impl& other) {
    const std::size_t n = other.range_count();
    if (other.m_tree && n > FLAT_RANGES / 2) {
        // Still many ranges: the copy stays a tree, so that a set hovering
        // around the switch does not move back and forth.
        if (m_tree) {
            *m_tree = *other.m_tree;
        } else {
            m_tree = make_tree<tree_type>(*other.m_tree);
            m_count = 0;
        }
        m_size = other.m_size;
        return;
    }
    destroy_tree(m_tree);
    m_tree = nullptr;
    m_count = 0;
    reserve_slots(static_cast<unsigned>(n));
    if (other.m_tree)
        std::copy(other.m_tree->begin(), other.m_tree->end(), m_slots);
    else
        std::copy(other.m_slots, other.m_slots + n, m_slots);
    m_count = static_cast<unsigned>(n);
    m_size = other.m_size;
}

void big_iset_impl::reserve_slots(unsigned n) {
    if (n <= m_capacity)
        return;
    unsigned capacity = m_capacity;
    while (capacity < n)
        capacity *= 2;
    entry* slots = pool_slots<INLINE_RANGES * 2>(capacity);
    std::copy(m_slots, m_slots + m_count, slots);
    if (m_slots != m_inline)
        unpool_slots<INLINE_RANGES * 2>(m_slots, m_capacity);
    m_slots = slots;
    m_capacity = capacity;
}

void big_iset_impl::spill() {
    tree_type* tree = make_tree<tree_type>();
    try {
        for (unsigned i = 0; i < m_count; ++i)
            tree->emplace_hint(tree->end(), m_slots[i]);
    } catch (...) {
        destroy_tree(tree);
        throw;
    }
    if (m_slots != m_inline)
        unpool_slots<INLINE_RANGES * 2>(m_slots, m_capacity);
    m_slots = m_inline;
    m_capacity = INLINE_RANGES;
    m_count = 0;
    m_tree = tree;
}

void big_iset_impl::clear() {
    destroy_tree(m_tree);
    m_tree = nullptr;
    m_count = 0;
    m_size = 0;
}

void big_iset_impl::swap(big_iset_impl& other) {
    if (this == &other)
        return;
    const bool here_inline = m_slots == m_inline;
    const bool there_inline = other.m_slots == other.m_inline;
    std::swap(m_inline, other.m_inline);
    std::swap(m_slots, other.m_slots);
    std::swap(m_tree, other.m_tree);
    std::swap(m_count, other.m_count);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_size, other.m_size);
    if (there_inline)
        m_slots = m_inline;
    if (here_inline)
        other.m_slots = other.m_inline;
}

big_iset_impl::node_type big_iset_impl::key_lower_bound(int v) const {
    if (m_tree) {
        if (m_tree->empty() || v <= m_tree->begin()->first)
            return node_type(m_tree->cbegin());
        if (v > m_tree->rbegin()->first)
            return node_type(m_tree->cend());
        return node_type(m_tree->lower_bound(v));
    }
    return node_type(flat_key_lower_bound(m_slots, m_slots + m_count, v));
}

big_iset_impl::node_type big_iset_impl::key_upper_bound(int v) const {
    if (m_tree)
        return node_type(m_tree->upper_bound(v));
    return node_type(std::upper_bound(m_slots, m_slots + m_count, v, key_less()));
}

big_iset_impl::node_type big_iset_impl::insert_entry(node_type hint, int key, const range_type& range) {
    if (m_tree)
        return node_type(m_tree->emplace_hint(hint.m_node, entry{key, range}));
    if (m_count == FLAT_RANGES) {
        spill();
        return node_type(m_tree->emplace(entry{key, range}).first);
    }
    const unsigned at = static_cast<unsigned>(hint.m_slot - m_slots);
    reserve_slots(m_count + 1);
    entry* slot = m_slots + at;
    std::copy_backward(slot, m_slots + m_count, m_slots + m_count + 1);
    *slot = entry{key, range};
    ++m_count;
    return node_type(slot);
}

big_iset_impl::node_type big_iset_impl::erase_entry(node_type n) {
    if (m_tree)
        return node_type(m_tree->erase(n.m_node));
    return erase_entries(n, node_type(n.m_slot + 1));
}

big_iset_impl::node_type big_iset_impl::erase_entries(node_type first, node_type last) {
    if (first == last)
        return last;
    if (m_tree)
        return node_type(m_tree->erase(first.m_node, last.m_node));
    // The slots belong to this map; node_type only hands them out as const.
    entry* to = m_slots + (first.m_slot - m_slots);
    std::copy(last.m_slot, static_cast<const entry*>(m_slots + m_count), to);
    m_count -= static_cast<unsigned>(last.m_slot - first.m_slot);
    return node_type(to);
}

big_iset_impl::node_type big_iset_impl::rekey(node_type n, int key) {
    if (!m_tree) {
        m_slots[n.m_slot - m_slots].first = key;
        return n;
    }
    // The node keeps its place: the new key lies inside the node's range,
    // which lies strictly between its neighbours.
    const tree_type::const_iterator hint = std::next(n.m_node);
    tree_type::node_type handle = m_tree->extract(n.m_node);
    handle.value().first = key;
    return node_type(m_tree->insert(hint, std::move(handle)));
}

// ---------------------------------------------------------------------------
// Helpers

bool big_iset_impl::range_touches_iterator(const range_type& range, node_type n, node_type end) {
    return n != end && touches(range, n->second);
}

bool big_iset_impl::range_overlaps_iterator(const range_type& range, node_type n, node_type end) {
    return n != end && overlaps(range, n->second);
}

big_iset_impl::mnode big_iset_impl::insert_independent(const range_type& range, node_type hint) {
    const mnode n = insert_entry(hint, key_for(range.first, range.second), range);
    m_size += range_size(range);
    return n;
}

void big_iset_impl::merge_at_iterator(mnode n, const range_type& range) {
    range_type& r = n->second;
    m_size -= range_size(r);
    if (range.first < r.first)
        r.first = range.first;
    if (range.second > r.second)
        r.second = range.second;
    // Absorbed ranges after n go first (n keeps its place), then those before it.
    const node_type end_node = this->end_node();
    node_type last = std::next(n);
    for (; last != end_node && touches(r, last->second); ++last) {
        if (last->second.second > r.second)
            r.second = last->second.second;
        m_size -= range_size(last->second);
    }
    erase_entries(std::next(n), last);
    const node_type begin_node = first_node();
    node_type first = n;
    while (first != begin_node) {
        const node_type prev = std::prev(first);
        if (!touches(r, prev->second))
            break;
        if (prev->second.first < r.first)
            r.first = prev->second.first;
        m_size -= range_size(prev->second);
        first = prev;
    }
    m_size += range_size(r);
    erase_entries(first, n);
}

big_iset_impl::mnode big_iset_impl::recenter_iterator_around(mnode n, int a, int b) {
    if (a <= n->first && n->first <= b)
        return n;
    return rekey(n, key_for(a, b));
}

big_iset_impl::mnode big_iset_impl::recenter_iterator_below(mnode n, int v) {
    return recenter_iterator_around(n, n->second.first, v - 1);
}

big_iset_impl::mnode big_iset_impl::recenter_iterator_above(mnode n, int v) {
    return recenter_iterator_around(n, v + 1, n->second.second);
}

void big_iset_impl::erase_from_single_iterator(mnode n, const range_type& range) {
    const int lo = range.first;
    const int hi = range.second;
    const int n_lo = n->second.first;
    const int n_hi = n->second.second;
    if (n_lo < lo && n_hi > hi) {
        // Split: the node keeps the part above hi, the part below lo is new.
        m_size -= range_size(n->second);
        n = recenter_iterator_above(n, hi);
        n->second.first = hi + 1;
        m_size += range_size(n->second);
        insert_independent(range_type(n_lo, lo - 1), n);
    } else if (n_hi > hi) {
        m_size -= range_size(range_type(n_lo, hi));
        n = recenter_iterator_above(n, hi);
        n->second.first = hi + 1;
    } else if (n_lo < lo) {
        m_size -= range_size(range_type(lo, n_hi));
        n = recenter_iterator_below(n, lo);
        n->second.second = lo - 1;
    } else {
        m_size -= range_size(n->second);
        erase_entry(n);
    }
}

void big_iset_impl::erase_range_run(node_type first, const range_type& range) {
    const int lo = range.first;
    const int hi = range.second;
    const node_type end_node = this->end_node();
    node_type last = first;
    for (node_type next = std::next(last); next != end_node && next->second.first <= hi; ++next)
        last = next;
    if (last == first) {
        erase_from_single_iterator(first, range);
        return;
    }
    // The last range first, then those strictly between, then the first:
    // each change leaves the positions before it in place.
    node_type after;
    if (last->second.second > hi) {
        m_size -= range_size(range_type(last->second.first, hi));
        after = recenter_iterator_above(last, hi);
        after->second.first = hi + 1;
    } else {
        m_size -= range_size(last->second);
        after = erase_entry(last);
    }
    for (node_type mid = std::next(first); mid != after; ++mid)
        m_size -= range_size(mid->second);
    erase_entries(std::next(first), after);
    mnode f = first;
    if (f->second.first < lo) {
        m_size -= range_size(range_type(lo, f->second.second));
        f = recenter_iterator_below(f, lo);
        f->second.second = lo - 1;
    } else {
        m_size -= range_size(f->second);
        erase_entry(f);
    }
}

// ---------------------------------------------------------------------------
// Mutators

void big_iset_impl::insert(const range_type& range) {
    if (range.second < range.first)
        throw_out_of_range("big_iset_impl::insert");
    if (!m_tree) {
        // The same steps on the flat array, without the position's tree case.
        const entry* const first = m_slots;
        const entry* const last = m_slots + m_count;
        const int lo = range.first;
        const entry* n = flat_key_lower_bound(first, last, lo);
        if (n != last) {
            if (n->second.first <= lo && range.second <= n->second.second)
                return;
            if (touches(range, n->second)) {
                merge_at_iterator(node_type(n), range);
                return;
            }
        }
        if (n != first) {
            const entry* const p = n - 1;
            if (p->second.first <= lo && range.second <= p->second.second)
                return;
            if (touches(range, p->second)) {
                merge_at_iterator(node_type(p), range);
                return;
            }
        }
        insert_independent(range, node_type(n));
        return;
    }
    const node_type end_node = this->end_node();
    const node_type n = key_lower_bound(range.first);
    if (n != end_node) {
        if (n->second.first <= range.first && range.second <= n->second.second)
            return;
        if (range_touches_iterator(range, n, end_node)) {
            merge_at_iterator(n, range);
            return;
        }
    }
    if (n != first_node()) {
        const node_type p = std::prev(n);
        if (p->second.first <= range.first && range.second <= p->second.second)
            return;
        if (range_touches_iterator(range, p, end_node)) {
            merge_at_iterator(p, range);
            return;
        }
    }
    insert_independent(range, n);
}

void big_iset_impl::erase(const range_type& range) {
    if (range.second < range.first)
        throw_out_of_range("big_iset_impl::erase");
    const node_type first = lower_range_bound(range.first);
    if (first == end_node() || first->second.first > range.second)
        return;
    erase_range_run(first, range);
}

big_iset_impl::iterator big_iset_impl::erase(const iterator& it) {
    if (it.node() == end_node())
        return it;
    const int v = it.effective_value();
    mnode n = it.node();
    const int n_lo = n->second.first;
    const int n_hi = n->second.second;
    if (v < n_hi) {
        n = recenter_iterator_above(n, v);
        n->second.first = v + 1;
        m_size -= range_size(range_type(n_lo, v));
        if (n_lo < v)
            n = std::next(insert_independent(range_type(n_lo, v - 1), n));
        return iterator(n, v + 1);
    }
    m_size -= 1;
    if (n_lo < v) {
        n = recenter_iterator_below(n, v);
        n->second.second = v - 1;
        return iterator(std::next(n), INT_MIN);
    }
    return iterator(erase_entry(n), INT_MIN);
}

void big_iset_impl::intersect(const range_type& range) {
    const int lo = range.first;
    const int hi = range.second;
    if (hi < lo) {
        clear();
        return;
    }
    const node_type first = lower_range_bound(lo);
    node_type stop = key_upper_bound(hi);
    if (stop != end_node() && stop->second.first <= hi)
        ++stop;
    if (stop == first) {
        clear();
        return;
    }
    // The ranges from stop on go first: first keeps its place.
    for (node_type n = stop, e = end_node(); n != e; ++n)
        m_size -= range_size(n->second);
    erase_entries(stop, end_node());
    for (node_type n = first_node(); n != first; ++n)
        m_size -= range_size(n->second);
    erase_entries(first_node(), first);
    // What is left runs from first to the last node; clip both ends.
    mnode f = first_node();
    mnode l = std::prev(end_node());
    if (f == l) {
        const range_type kept(f->second.first < lo ? lo : f->second.first,
                              f->second.second > hi ? hi : f->second.second);
        m_size -= range_size(f->second);
        f = recenter_iterator_around(f, kept.first, kept.second);
        f->second = kept;
        m_size += range_size(kept);
        return;
    }
    if (f->second.first < lo) {
        m_size -= range_size(range_type(f->second.first, lo - 1));
        f = recenter_iterator_around(f, lo, f->second.second);
        f->second.first = lo;
    }
    if (l->second.second > hi) {
        m_size -= range_size(range_type(hi + 1, l->second.second));
        l = recenter_iterator_around(l, l->second.first, hi);
        l->second.second = hi;
    }
}

void big_iset_impl::intersect(const big_iset_impl& other) {
    if (&other == this)
        return;
    if (other.empty() || empty()) {
        clear();
        return;
    }
    if (other.full())
        return;
    if (full()) {
        *this = other;
        return;
    }
    intersect(range_type(other.min(), other.max()));
    if (empty())
        return;
    // Erase the gaps of other that can still meet this set, from the gap that
    // may hold min() up to max().
    node_type n = other.lower_range_bound(min());
    if (n != other.first_node())
        --n;
    const node_type other_end = other.end_node();
    for (node_type next = std::next(n); next != other_end && !empty(); n = next++) {
        const range_type gap(n->second.second + 1, next->second.first - 1);
        if (gap.first > max())
            break;
        erase(gap);
    }
}

void big_iset_impl::insert_all_of(const big_iset_impl& other) {
    if (&other == this || other.empty() || full())
        return;
    if (empty() || other.full()) {
        *this = other;
        return;
    }
    for (const auto& entry : other.ranges())
        insert(entry.second);
}

void big_iset_impl::erase_all_of(const big_iset_impl& other) {
    if (&other == this || other.full()) {
        clear();
        return;
    }
    if (other.empty() || empty())
        return;
    const node_type other_end = other.end_node();
    for (node_type n = other.lower_range_bound(min()); n != other_end && !empty() && n->second.first <= max(); ++n)
        erase(n->second);
}

void big_iset_impl::complement() {
    if (empty()) {
        insert(range_type(MIN_DOMAIN, MAX_DOMAIN));
        return;
    }
    if (full()) {
        clear();
        return;
    }
    big_iset_impl gaps;
    unsigned total = 0;
    auto add_gap = [&](int lo, int hi) {
        gaps.insert_entry(gaps.end_node(), key_for(lo, hi), range_type(lo, hi));
        total += range_size(range_type(lo, hi));
    };
    node_type n = first_node();
    const node_type end_node = this->end_node();
    if (n->second.first != MIN_DOMAIN)
        add_gap(MIN_DOMAIN, n->second.first - 1);
    for (node_type next = std::next(n); next != end_node; n = next++)
        add_gap(n->second.second + 1, next->second.first - 1);
    if (n->second.second != MAX_DOMAIN)
        add_gap(n->second.second + 1, MAX_DOMAIN);
    gaps.m_size = total;
    swap(gaps);
}

// ---------------------------------------------------------------------------
// Queries

bool big_iset_impl::contains(int v) const {
    if (!m_tree) {
        const entry* n = flat_key_lower_bound(m_slots, m_slots + m_count, v);
        if (n != m_slots + m_count && n->second.first <= v)
            return true;
        if (n == m_slots)
            return false;
        --n;
        return n->second.first <= v && v <= n->second.second;
    }
    node_type n = key_lower_bound(v);
    if (n != end_node() && n->second.first <= v)
        return true; // key >= v and the key lies inside the range
    if (n == first_node())
        return false;
    --n;
    return n->second.first <= v && v <= n->second.second;
}

big_iset_impl::node_type big_iset_impl::lower_range_bound(int v) const {
    if (!m_tree) {
        const entry* const last = m_slots + m_count;
        const entry* n = flat_key_lower_bound(m_slots, last, v);
        if (n != last && n->second.first <= v)
            return node_type(n);
        if (n != m_slots && n[-1].second.second >= v)
            return node_type(n - 1);
        return node_type(n);
    }
    node_type n = key_lower_bound(v);
    if (n != end_node() && n->second.first <= v)
        return n;
    if (n != first_node()) {
        node_type p = std::prev(n);
        if (p->second.second >= v)
            return p;
    }
    return n;
}

big_iset_impl::iterator big_iset_impl::lower_bound(int v) const {
    const node_type n = lower_range_bound(v);
    if (n != end_node() && n->second.first <= v)
        return iterator(n, v);
    return iterator(n, INT_MIN);
}

bool big_iset_impl::contains_all_of(const big_iset_impl& other) const {
    if (other.empty() || full())
        return true;
    if (empty() || other.full() || other.m_size > m_size)
        return false;
    if (min() > other.min() || max() < other.max())
        return false;
    if (range_count() == 1) // one range spans everything between the bounds
        return true;
    const node_type end_node = this->end_node();
    const std::size_t tests = other.range_count();
    const std::size_t depth = static_cast<std::size_t>(std::bit_width(range_count()));
    if (range_count() + tests < tests * depth) {
        // Many ranges to test: one walk over both maps is cheaper than a
        // descent for each. n is this set's first range ending at or above r.
        node_type n = first_node();
        for (const auto& entry : other.ranges()) {
            const range_type& r = entry.second;
            while (n != end_node && n->second.second < r.first)
                ++n;
            if (n == end_node || n->second.first > r.first || n->second.second < r.second)
                return false;
        }
        return true;
    }
    for (const auto& entry : other.ranges()) {
        const range_type& r = entry.second;
        const node_type n = lower_range_bound(r.first);
        if (n == end_node || n->second.first > r.first || n->second.second < r.second)
            return false;
    }
    return true;
}

bool big_iset_impl::contains_any_of(const big_iset_impl& other) const {
    if (empty() || other.empty())
        return false;
    if (full() || other.full())
        return true;
    if (max() < other.min() || min() > other.max())
        return false;
    if (range_count() == 1 && other.range_count() == 1) // two overlapping ranges
        return true;
    const node_type end_node = this->end_node();
    for (const auto& entry : other.ranges()) {
        const range_type& r = entry.second;
        const node_type n = lower_range_bound(r.first);
        if (range_overlaps_iterator(r, n, end_node))
            return true;
        if (n != first_node() && range_overlaps_iterator(r, std::prev(n), end_node))
            return true;
    }
    return false;
}

bool big_iset_impl::same_ranges(const big_iset_impl& a, const big_iset_impl& b) {
    if (a.range_count() != b.range_count())
        return false;
    for (node_type i = a.first_node(), j = b.first_node(), e = a.end_node(); i != e; ++i, ++j)
        if (i->second != j->second)
            return false;
    return true;
}

int big_iset_impl::rand() const {
    if (full())
        return random::range(MIN_DOMAIN, MAX_DOMAIN);
    if (empty())
        throw std::runtime_error("Can't qarn::big_iset::rand() for an empty set");
    iterator it = begin();
    it.advance(random::gen(m_size));
    return it.effective_value();
}

void big_iset_impl::validate() const {
    unsigned sum = 0;
    node_type slow = first_node();
    node_type prev = end_node();
    std::size_t steps = 0;
    for (node_type n = first_node(); n != end_node(); prev = n++) {
        if (steps != 0 && n == slow)
            throw std::runtime_error("big_iset::validate: found cycle in m_ranges");
        if (steps++ & 1)
            ++slow;
        const range_type& r = n->second;
        if (r.second < r.first)
            throw_out_of_range("big_iset_impl::validate");
        if (n->first < r.first || n->first > r.second)
            throw std::runtime_error("big_iset::validate: key not in the middle");
        if (prev != end_node() &&
            static_cast<std::int64_t>(r.first) <= static_cast<std::int64_t>(prev->second.second) + 1)
            throw std::runtime_error("big_iset::validate: ranges touch");
        sum += range_size(r);
    }
    if (sum != m_size)
        throw std::runtime_error("big_iset::validate: m_size does not match m_ranges");
}

void big_iset_impl::throw_out_of_range(const char* context) const {
    throw std::out_of_range(std::string("iset out of range ") + context);
}

} // namespace qarn
