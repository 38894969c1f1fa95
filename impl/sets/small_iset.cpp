// One-word integer set: the rules of the operations that take ranges,
// progressions and iterators. Every shift amount stays within 0..31 and every
// bound is clipped or checked before it becomes one.
#include "impl/sets/small_iset.h"

#include <climits>
#include <stdexcept>

#include "impl/sets/iset_helpers.h"
#include "impl/sets/iset_text.h"
#include "impl/support/bit_utils.h"
#include "impl/support/errors.h"
#include "impl/support/random.h"

namespace qarn {

namespace {

constexpr std::uint32_t ALL = 0xFFFFFFFFu;

// Bits lo..hi, 0 <= lo <= hi <= 31.
std::uint32_t range_mask(int lo, int hi) {
    return (ALL >> (31 - hi)) & (ALL << lo);
}

// Bits above i, 0 <= i <= 31.
std::uint32_t bits_above(unsigned i) {
    return 0xFFFFFFFEu << i;
}

// Bits below i, 0 <= i <= 32.
std::uint32_t bits_below(unsigned i) {
    return i >= 32 ? ALL : (1u << i) - 1u;
}

// The lowest member above i, or the end index.
unsigned next_member(std::uint32_t word, unsigned i) {
    std::uint32_t rest = word & bits_above(i);
    return rest == 0 ? small_iset::END_INDEX : find_lsb_index(rest);
}

// The highest member below i; false when there is none.
bool prev_member(std::uint32_t word, unsigned i, unsigned& member) {
    std::uint32_t rest = word & bits_below(i);
    if (rest == 0)
        return false;
    member = find_msb_index(rest);
    return true;
}

// The last member of the run from i: one below the lowest clear bit above i
// (bit 31 is forced on so that a run reaching the top ends at 31).
unsigned run_end(std::uint32_t word, unsigned i) {
    return find_lsb_index(((~word & bits_above(i)) >> 1) | 0x80000000u);
}

// The first member of the run holding i: one above the highest clear bit
// below i, or 0 when every bit below i is set.
unsigned run_start(std::uint32_t word, unsigned i) {
    std::uint32_t clear = ~word & bits_below(i);
    return clear == 0 ? 0 : find_msb_index(clear) + 1;
}

// The progression lo, lo + s, ..., up to hi, all within 0..31.
std::uint32_t progression_mask(int lo, int hi, unsigned stride) {
    std::uint32_t mask = 0;
    for (int v = lo;; v += static_cast<int>(stride)) {
        mask |= 1u << v;
        if (static_cast<unsigned>(hi - v) < stride)
            return mask;
    }
}

// Non-negative remainder of v modulo s (s >= 1).
std::int64_t mod_s(std::int64_t v, unsigned s) {
    std::int64_t r = v % static_cast<std::int64_t>(s);
    return r < 0 ? r + s : r;
}

} // namespace

void small_iset::throw_out_of_range(const char* context) {
    throw std::out_of_range(std::string("small_iset out of range ") + context);
}

small_iset::small_iset(const std::string& text) : m_word(0) {
    iset_helpers::assign_set(*this, text);
}

void small_iset::assign(int v) {
    if (v < MIN_DOMAIN || v > MAX_DOMAIN)
        throw_out_of_range("while inserting a range");
    m_word = 1u << v;
}

unsigned small_iset::size() const {
    return count_ones(m_word);
}

int small_iset::min() const {
    if (m_word == 0)
        throw std::domain_error("min() over empty an set");
    return static_cast<int>(find_lsb_index(m_word));
}

int small_iset::max() const {
    if (m_word == 0)
        throw std::domain_error("max() over empty an set");
    return static_cast<int>(find_msb_index(m_word));
}

small_iset::iterator small_iset::begin() const {
    return iterator(&m_word, m_word == 0 ? END_INDEX : find_lsb_index(m_word));
}

small_iset::iterator small_iset::lower_bound(int v) const {
    if (v <= MIN_DOMAIN)
        return begin();
    if (v > MAX_DOMAIN)
        return end();
    std::uint32_t rest = m_word & (ALL << v);
    return iterator(&m_word, rest == 0 ? END_INDEX : find_lsb_index(rest));
}

small_iset::iterator small_iset::upper_bound(int v) const {
    if (v >= MAX_DOMAIN)
        return end();
    return lower_bound(v + 1);
}

// ---------------------------------------------------------------------------
// Mutators

void small_iset::insert(const range_type& range) {
    if (range.first > range.second || range.first < MIN_DOMAIN || range.second > MAX_DOMAIN)
        throw_out_of_range("while inserting a range");
    m_word |= range_mask(range.first, range.second);
}

void small_iset::insert(const range_type& range, unsigned stride) {
    if (stride == 0 || range.first > range.second)
        throw_out_of_range("while inserting a range");
    if (stride == 1) {
        insert(range);
        return;
    }
    std::int64_t lo = range.first, hi = range.second;
    if ((hi - lo) % stride != 0)
        throw_out_of_range("While inserting range with a wrong stride");
    // Value by value: the bits set before an element outside 0..31 stay set.
    for (std::int64_t v = lo; v <= hi; v += stride) {
        if (v < MIN_DOMAIN || v > MAX_DOMAIN)
            throw_out_of_range("while inserting an element");
        m_word |= 1u << v;
    }
}

void small_iset::erase(const range_type& range) {
    if (range.first > range.second)
        throw_out_of_range(": illegel unordered values in pair");
    if (range.second < MIN_DOMAIN || range.first > MAX_DOMAIN)
        return;
    int lo = range.first < MIN_DOMAIN ? MIN_DOMAIN : range.first;
    int hi = range.second > MAX_DOMAIN ? MAX_DOMAIN : range.second;
    m_word &= ~range_mask(lo, hi);
}

small_iset::iterator small_iset::erase(const iterator& it) {
    const unsigned i = static_cast<unsigned>(*it);
    m_word &= ~(1u << i);
    return iterator(&m_word, next_member(m_word, i));
}

void small_iset::intersect(const range_type& range) {
    if (range.first > range.second)
        throw_out_of_range("while inserting a range");
    if (range.second < MIN_DOMAIN || range.first > MAX_DOMAIN) {
        m_word = 0;
        return;
    }
    int lo = range.first < MIN_DOMAIN ? MIN_DOMAIN : range.first;
    int hi = range.second > MAX_DOMAIN ? MAX_DOMAIN : range.second;
    m_word &= range_mask(lo, hi);
}

// Keeps the members of the progression lo, lo + s, ..., up to hi: lo moves
// up to its first progression value at least 0 and hi is clipped to 31, so
// the bits follow from the progression inside 0..31; a crossing result
// empties the set.
void small_iset::intersect_progression(std::int64_t lo, std::int64_t hi, unsigned stride) {
    if (stride == 0)
        throw_out_of_range("while inserting a range");
    if (lo < MIN_DOMAIN)
        lo = mod_s(lo, stride);
    if (hi > MAX_DOMAIN)
        hi = MAX_DOMAIN;
    if (lo > hi) {
        m_word = 0;
        return;
    }
    m_word &= progression_mask(static_cast<int>(lo), static_cast<int>(hi), stride);
}

void small_iset::intersect(const range_type& range, unsigned stride) {
    if (range.first == range.second) {
        intersect(range);
        return;
    }
    intersect_progression(range.first, range.second, stride);
}

void small_iset::intersect(const std::pair<std::int64_t, std::int64_t>& bounds, unsigned stride) {
    if (bounds.first == bounds.second) {
        // A single value: outside 0..31 it leaves nothing.
        const std::int64_t v = bounds.first;
        m_word = (v < MIN_DOMAIN || v > MAX_DOMAIN) ? 0 : m_word & (1u << v);
        return;
    }
    intersect_progression(bounds.first, bounds.second, stride);
}

// ---------------------------------------------------------------------------
// Queries

bool small_iset::contains_all_of(const range_type& range, unsigned stride) const {
    const int lo = range.first, hi = range.second;
    if (lo == hi)
        return contains(lo);
    if (stride == 0)
        throw_out_of_range("while inserting a range");
    if (lo > hi)
        return true;
    if (lo < MIN_DOMAIN || lo > MAX_DOMAIN)
        return false;
    // The last value of the progression, which need not be hi.
    const std::int64_t last = lo + (static_cast<std::int64_t>(hi) - lo) / stride * stride;
    if (last > MAX_DOMAIN)
        return false;
    const std::uint32_t mask = progression_mask(lo, static_cast<int>(last), stride);
    return (mask & ~m_word) == 0;
}

int small_iset::rand() const {
    if (m_word == 0)
        throw std::runtime_error("Can't qarn::small_iset::rand() for an empty set");
    if (full())
        return random::range(MIN_DOMAIN, MAX_DOMAIN);
    unsigned r = random::gen(size());
    unsigned lo = find_lsb_index(m_word);
    for (;;) {
        const unsigned hi = run_end(m_word, lo);
        const unsigned length = hi - lo + 1;
        if (r < length)
            return static_cast<int>(lo + r);
        r -= length;
        lo = next_member(m_word, hi);
    }
}

void small_iset::show_self() const {
    iset_helpers::show_set(*this);
}

small_iset::iterator small_iset::find_contained_tail(const small_iset& other,
                                                     const iterator& end) const {
    return iset_helpers::walk_contained_tail(*this, end, other);
}

// ---------------------------------------------------------------------------
// Progression helpers

void small_iset::remove_smaller_elements(range_type& range, unsigned stride, int v) {
    if (range.first >= v)
        return;
    const std::int64_t gap = static_cast<std::int64_t>(v) - range.first;
    const std::int64_t lo = range.first + (gap + stride - 1) / stride * stride;
    if (lo > INT_MAX) {
        // No progression value is left: keep the range crossing.
        range.first = INT_MAX;
        range.second = INT_MAX - 1;
        return;
    }
    range.first = static_cast<int>(lo);
}

void small_iset::remove_bigger_elements(range_type& range, unsigned stride, int v) {
    if (range.second <= v)
        return;
    const std::int64_t gap = static_cast<std::int64_t>(range.second) - v;
    const std::int64_t hi = range.second - (gap + stride - 1) / stride * stride;
    if (hi < INT_MIN) {
        range.first = INT_MIN + 1;
        range.second = INT_MIN;
        return;
    }
    range.second = static_cast<int>(hi);
}

unsigned small_iset::count_elements(const range_type& range, unsigned stride) {
    if (range.first > range.second)
        return 0;
    return (static_cast<unsigned>(range.second) - static_cast<unsigned>(range.first)) / stride + 1;
}

bool small_iset::is_in_range(const range_type& range, unsigned stride, int v) {
    return range.first <= v && v <= range.second &&
           (static_cast<unsigned>(v) - static_cast<unsigned>(range.first)) % stride == 0;
}

// ---------------------------------------------------------------------------
// Iterator

int small_iset::iterator::operator*() const {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::operator*() dereferncing NULL iterator");
    if (m_index >= END_INDEX)
        throw_runtime_error("small_iset::iterator::operator*() dereferncing empty iterator");
    return static_cast<int>(m_index);
}

small_iset::iterator& small_iset::iterator::operator++() {
    if (m_word == nullptr)
        throw_runtime_error("iset::iterator::CurrentRange dereferncing NULL iterator");
    if (m_index < END_INDEX)
        m_index = next_member(*m_word, m_index);
    return *this;
}

small_iset::iterator& small_iset::iterator::operator--() {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::CurrentRange dereferncing NULL iterator");
    unsigned member;
    if (prev_member(*m_word, m_index, member))
        m_index = member;
    return *this;
}

small_iset::range_type small_iset::iterator::current_range() const {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::current_range dereferencing NULL iterator");
    if (m_index >= END_INDEX)
        throw_runtime_error("small_iset::iterator::current_range dereferencing empty iterator");
    return range_type(static_cast<int>(m_index), static_cast<int>(run_end(*m_word, m_index)));
}

void small_iset::iterator::advance_range() {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::advance_range dereferencing NULL iterator");
    if (m_index >= END_INDEX)
        throw_runtime_error("small_iset::iterator::advance_range dereferencing empty iterator");
    m_index = next_member(*m_word, run_end(*m_word, m_index));
}

void small_iset::iterator::advance(unsigned n) {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::advance_range dereferencing NULL iterator");
    if (m_index >= END_INDEX)
        throw_runtime_error("small_iset::iterator::advance_range dereferencing empty iterator");
    while (n > 0 && m_index < END_INDEX) {
        const unsigned hi = run_end(*m_word, m_index);
        if (n <= hi - m_index) {
            m_index += n;
            return;
        }
        n -= hi - m_index + 1;
        m_index = next_member(*m_word, hi);
    }
}

void small_iset::iterator::retract_range() {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::retract_range dereferencing NULL iterator");
    if (m_index == 0 || m_index >= END_INDEX || ((*m_word >> (m_index - 1)) & 1u) == 0)
        --*this;
    if (m_index < END_INDEX)
        m_index = run_start(*m_word, m_index);
}

small_iset::iterator small_iset::iterator::find_stride(const iterator& end, range_type& range,
                                                       unsigned& stride) const {
    if (m_word == nullptr)
        throw_runtime_error("small_iset::iterator::find_stride dereferencing NULL iterator");
    if (end.m_word != m_word)
        throw_runtime_error("small_iset::iterator::find_stride refers to different small_iset objects");
    if (m_index >= end.m_index)
        throw_runtime_error("Empty an stride was requested");
    const std::uint32_t word = *m_word;
    const unsigned e = end.m_index;
    const unsigned lo = m_index;
    const unsigned hi = run_end(word, lo);
    stride = 1;
    if (e <= hi) {
        range = range_type(static_cast<int>(lo), static_cast<int>(e - 1));
        return end;
    }
    range = range_type(static_cast<int>(lo), static_cast<int>(hi));
    const unsigned next = next_member(word, hi);
    if (hi != lo || next >= e)
        return iterator(m_word, next);
    // An isolated member: the gap to the next member fixes the stride, and
    // the progression grows while the following members keep that gap.
    stride = next - lo;
    unsigned last = next;
    unsigned after = next_member(word, last);
    while (after < e && after - last == stride) {
        last = after;
        after = next_member(word, last);
    }
    range.second = static_cast<int>(last);
    return iterator(m_word, after);
}

small_iset::iterator small_iset::iterator::find_back_stride(const iterator& begin, range_type& range,
                                                            unsigned& stride) const {
    unsigned top;
    if (m_word == nullptr || begin.m_word != m_word || !prev_member(*m_word, m_index, top) ||
        top < begin.m_index)
        throw_runtime_error("An Empty stride was requested");
    const std::uint32_t word = *m_word;
    const unsigned b = begin.m_index;
    stride = 1;
    const unsigned start = run_start(word, top);
    const unsigned bottom = start < b ? b : start;
    range = range_type(static_cast<int>(bottom), static_cast<int>(top));
    if (bottom != top)
        return iterator(m_word, bottom);
    unsigned prev;
    if (!prev_member(word, top, prev) || prev < b)
        return iterator(m_word, top);
    // An isolated member: the gap to the member below fixes the stride.
    stride = top - prev;
    unsigned first = prev;
    unsigned before;
    while (prev_member(word, first, before) && before >= b && first - before == stride)
        first = before;
    range.first = static_cast<int>(first);
    return iterator(m_word, first);
}

std::istream& operator>>(std::istream& in, small_iset& set) {
    iset_helpers::read_set(in, set);
    return in;
}

std::ostream& operator<<(std::ostream& out, const small_iset& set) {
    iset_helpers::print_set(out, set);
    return out;
}

namespace iset_helpers {

small_iset::iterator find_contained_tail(const small_iset& set, const small_iset::iterator& end,
                                         const small_iset& other) {
    return walk_contained_tail(set, end, other);
}

} // namespace iset_helpers

} // namespace qarn
