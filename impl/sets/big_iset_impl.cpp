// Range map operations: insertion with merging, erasure by cases, intersection,
// complement and the queries, keeping ranges disjoint and non-touching and each
// key inside its range.
#include "impl/sets/big_iset_impl.h"

#include <bit>
#include <cstdint>
#include <iterator>
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
// Helpers

bool big_iset_impl::range_touches_iterator(const range_type& range, node_type n, node_type end) {
    return n != end && touches(range, n->second);
}

bool big_iset_impl::range_overlaps_iterator(const range_type& range, node_type n, node_type end) {
    return n != end && overlaps(range, n->second);
}

big_iset_impl::mnode big_iset_impl::insert_independent(const range_type& range, node_type hint) {
    mnode n = m_ranges.emplace_hint(hint, key_for(range.first, range.second), range);
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
    for (mnode next = std::next(n); next != m_ranges.end() && touches(r, next->second);) {
        if (next->second.second > r.second)
            r.second = next->second.second;
        m_size -= range_size(next->second);
        next = m_ranges.erase(next);
    }
    while (n != m_ranges.begin()) {
        mnode prev = std::prev(n);
        if (!touches(r, prev->second))
            break;
        if (prev->second.first < r.first)
            r.first = prev->second.first;
        m_size -= range_size(prev->second);
        m_ranges.erase(prev);
    }
    m_size += range_size(r);
}

big_iset_impl::mnode big_iset_impl::recenter_iterator_around(mnode n, int a, int b) {
    if (a <= n->first && n->first <= b)
        return n;
    // The node keeps its place: the new key lies inside the node's range, which
    // lies strictly between its neighbours.
    const node_type hint = std::next(n);
    map_type::node_type handle = m_ranges.extract(n);
    handle.key() = key_for(a, b);
    return m_ranges.insert(hint, std::move(handle));
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
        m_ranges.erase(n);
    }
}

void big_iset_impl::erase_range_run(node_type first, const range_type& range) {
    const int lo = range.first;
    const int hi = range.second;
    node_type last = first;
    for (node_type next = std::next(last); next != m_ranges.end() && next->second.first <= hi; ++next)
        last = next;
    if (last == first) {
        erase_from_single_iterator(mutable_node(first), range);
        return;
    }
    // Ranges strictly between first and last go whole.
    for (node_type mid = std::next(first); mid != last;) {
        m_size -= range_size(mid->second);
        mid = m_ranges.erase(mid);
    }
    mnode f = mutable_node(first);
    if (f->second.first < lo) {
        m_size -= range_size(range_type(lo, f->second.second));
        f = recenter_iterator_below(f, lo);
        f->second.second = lo - 1;
    } else {
        m_size -= range_size(f->second);
        m_ranges.erase(f);
    }
    mnode l = mutable_node(last);
    if (l->second.second > hi) {
        m_size -= range_size(range_type(l->second.first, hi));
        l = recenter_iterator_above(l, hi);
        l->second.first = hi + 1;
    } else {
        m_size -= range_size(l->second);
        m_ranges.erase(l);
    }
}

// ---------------------------------------------------------------------------
// Mutators

void big_iset_impl::insert(const range_type& range) {
    if (range.second < range.first)
        throw_out_of_range("big_iset_impl::insert");
    const node_type end_node = m_ranges.end();
    const node_type n = key_lower_bound(range.first);
    if (n != end_node) {
        if (n->second.first <= range.first && range.second <= n->second.second)
            return;
        if (range_touches_iterator(range, n, end_node)) {
            merge_at_iterator(mutable_node(n), range);
            return;
        }
    }
    if (n != m_ranges.begin()) {
        const node_type p = std::prev(n);
        if (p->second.first <= range.first && range.second <= p->second.second)
            return;
        if (range_touches_iterator(range, p, end_node)) {
            merge_at_iterator(mutable_node(p), range);
            return;
        }
    }
    insert_independent(range, n);
}

void big_iset_impl::erase(const range_type& range) {
    if (range.second < range.first)
        throw_out_of_range("big_iset_impl::erase");
    const node_type first = lower_range_bound(range.first);
    if (first == m_ranges.end() || first->second.first > range.second)
        return;
    erase_range_run(first, range);
}

big_iset_impl::iterator big_iset_impl::erase(const iterator& it) {
    if (it.node() == m_ranges.end())
        return it;
    const int v = it.effective_value();
    mnode n = mutable_node(it.node());
    const int n_lo = n->second.first;
    const int n_hi = n->second.second;
    if (v < n_hi) {
        n = recenter_iterator_above(n, v);
        n->second.first = v + 1;
        m_size -= range_size(range_type(n_lo, v));
        if (n_lo < v)
            insert_independent(range_type(n_lo, v - 1), n);
        return iterator(n, v + 1);
    }
    m_size -= 1;
    if (n_lo < v) {
        n = recenter_iterator_below(n, v);
        n->second.second = v - 1;
        return iterator(std::next(n), INT_MIN);
    }
    return iterator(m_ranges.erase(n), INT_MIN);
}

void big_iset_impl::intersect(const range_type& range) {
    const int lo = range.first;
    const int hi = range.second;
    if (hi < lo) {
        clear();
        return;
    }
    const node_type first = lower_range_bound(lo);
    node_type stop = m_ranges.upper_bound(hi);
    if (stop != m_ranges.end() && stop->second.first <= hi)
        ++stop;
    if (stop == first) {
        clear();
        return;
    }
    for (node_type n = m_ranges.begin(); n != first;) {
        m_size -= range_size(n->second);
        n = m_ranges.erase(n);
    }
    for (node_type n = stop; n != m_ranges.end();) {
        m_size -= range_size(n->second);
        n = m_ranges.erase(n);
    }
    // What is left runs from first to the last node; clip both ends.
    mnode f = m_ranges.begin();
    mnode l = std::prev(m_ranges.end());
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
    if (n != other.m_ranges.begin())
        --n;
    const node_type other_end = other.m_ranges.end();
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
    for (const auto& entry : other.m_ranges)
        insert(entry.second);
}

void big_iset_impl::erase_all_of(const big_iset_impl& other) {
    if (&other == this || other.full()) {
        clear();
        return;
    }
    if (other.empty() || empty())
        return;
    const node_type other_end = other.m_ranges.end();
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
    map_type gaps;
    unsigned total = 0;
    auto add_gap = [&](int lo, int hi) {
        gaps.emplace_hint(gaps.end(), key_for(lo, hi), range_type(lo, hi));
        total += range_size(range_type(lo, hi));
    };
    auto n = m_ranges.begin();
    if (n->second.first != MIN_DOMAIN)
        add_gap(MIN_DOMAIN, n->second.first - 1);
    for (auto next = std::next(n); next != m_ranges.end(); n = next++)
        add_gap(n->second.second + 1, next->second.first - 1);
    if (n->second.second != MAX_DOMAIN)
        add_gap(n->second.second + 1, MAX_DOMAIN);
    m_ranges.swap(gaps);
    m_size = total;
}

// ---------------------------------------------------------------------------
// Queries

bool big_iset_impl::contains(int v) const {
    node_type n = key_lower_bound(v);
    if (n != m_ranges.end() && n->second.first <= v)
        return true; // key >= v and the key lies inside the range
    if (n == m_ranges.begin())
        return false;
    --n;
    return n->second.first <= v && v <= n->second.second;
}

big_iset_impl::node_type big_iset_impl::lower_range_bound(int v) const {
    node_type n = key_lower_bound(v);
    if (n != m_ranges.end() && n->second.first <= v)
        return n;
    if (n != m_ranges.begin()) {
        node_type p = std::prev(n);
        if (p->second.second >= v)
            return p;
    }
    return n;
}

big_iset_impl::iterator big_iset_impl::lower_bound(int v) const {
    const node_type n = lower_range_bound(v);
    if (n != m_ranges.end() && n->second.first <= v)
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
    if (m_ranges.size() == 1) // one range spans everything between the bounds
        return true;
    const node_type end_node = m_ranges.end();
    const std::size_t tests = other.m_ranges.size();
    const std::size_t depth = static_cast<std::size_t>(std::bit_width(m_ranges.size()));
    if (m_ranges.size() + tests < tests * depth) {
        // Many ranges to test: one walk over both maps is cheaper than a
        // descent for each. n is this set's first range ending at or above r.
        node_type n = m_ranges.begin();
        for (const auto& entry : other.m_ranges) {
            const range_type& r = entry.second;
            while (n != end_node && n->second.second < r.first)
                ++n;
            if (n == end_node || n->second.first > r.first || n->second.second < r.second)
                return false;
        }
        return true;
    }
    for (const auto& entry : other.m_ranges) {
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
    if (m_ranges.size() == 1 && other.m_ranges.size() == 1) // two overlapping ranges
        return true;
    const node_type end_node = m_ranges.end();
    for (const auto& entry : other.m_ranges) {
        const range_type& r = entry.second;
        const node_type n = lower_range_bound(r.first);
        if (range_overlaps_iterator(r, n, end_node))
            return true;
        if (n != m_ranges.begin() && range_overlaps_iterator(r, std::prev(n), end_node))
            return true;
    }
    return false;
}

bool big_iset_impl::same_ranges(const big_iset_impl& a, const big_iset_impl& b) {
    if (a.m_ranges.size() != b.m_ranges.size())
        return false;
    for (auto i = a.m_ranges.begin(), j = b.m_ranges.begin(); i != a.m_ranges.end(); ++i, ++j)
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
    node_type slow = m_ranges.begin();
    node_type prev = m_ranges.end();
    std::size_t steps = 0;
    for (node_type n = m_ranges.begin(); n != m_ranges.end(); prev = n++) {
        if (steps != 0 && n == slow)
            throw std::runtime_error("big_iset::validate: found cycle in m_ranges");
        if (steps++ & 1)
            ++slow;
        const range_type& r = n->second;
        if (r.second < r.first)
            throw_out_of_range("big_iset_impl::validate");
        if (n->first < r.first || n->first > r.second)
            throw std::runtime_error("big_iset::validate: key not in the middle");
        if (prev != m_ranges.end() &&
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
