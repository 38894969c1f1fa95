// Strided integer set: value <-> index mapping, compaction and the set
// operations, with the fast paths taken whenever both operands share stride
// and offset (the index maps then do all the work).
#include "impl/sets/big_iset.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "impl/sets/iset_helpers.h"
#include "impl/sets/iset_text.h"
#include "impl/support/number_theory.h"

namespace qarn {

namespace {

typedef big_iset::range_type range_type;

// Sets of strides s1 and s2 (not 1) with offsets o1 and o2 have no value in
// common when the offsets differ modulo the strides' gcd.
bool offsets_apart(unsigned s1, unsigned o1, unsigned s2, unsigned o2) {
    if (s1 <= 1 || s2 <= 1)
        return false;
    const unsigned g = std::gcd(s1, s2);
    return g != 1 && o1 % g != o2 % g;
}

// Non-negative remainder of v modulo s.
unsigned mod_u(long long v, unsigned s) {
    long long r = v % static_cast<long long>(s);
    return static_cast<unsigned>(r < 0 ? r + s : r);
}

long long floor_div(long long n, long long d) {
    long long q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

long long ceil_div(long long n, long long d) {
    long long q = n / d;
    return (n % d != 0 && n > 0) ? q + 1 : q;
}

// A progression lo, lo + s, ..., up to hi in 64 bits, so clipping never overflows.
struct progression {
    long long lo, hi;
    unsigned s;
    bool empty() const { return lo > hi; }
    unsigned long long count() const { return empty() ? 0 : (hi - lo) / s + 1; }
    // Raise lo to the first own value >= v, lower hi to the last own value <= w.
    void clip(long long v, long long w) {
        if (lo < v)
            lo += ceil_div(v - lo, s) * s;
        if (hi > w)
            hi -= ceil_div(hi - w, s) * s;
    }
    bool holds(long long v) const { return lo <= v && v <= hi && (v - lo) % s == 0; }
};

void insert_progression(big_iset& target, const progression& p) {
    target.insert(range_type(static_cast<int>(p.lo), static_cast<int>(p.hi)), p.s);
}

void insert_hits(big_iset& target, const progression& small, const progression& other) {
    for (long long v = small.lo; v <= small.hi; v += small.s)
        if (other.holds(v))
            target.insert(range_type(static_cast<int>(v), static_cast<int>(v)));
}

// Clips both progressions to each other; inserts the intersection when it is
// trivial to enumerate. Returns false when the arithmetic path is needed.
bool insert_if_simple_intersection(big_iset& target, progression& p1, progression& p2) {
    p1.clip(p2.lo, p2.hi);
    if (p1.empty())
        return true;
    p2.clip(p1.lo, p1.hi);
    if (p2.empty())
        return true;
    if (p1.s == 1) {
        insert_progression(target, p2);
    } else if (p2.s == 1) {
        insert_progression(target, p1);
    } else if (p1.count() <= 9) {
        insert_hits(target, p1, p2);
    } else if (p2.count() <= 9) {
        insert_hits(target, p2, p1);
    } else {
        return false;
    }
    return true;
}

// Both progressions contain `start`; inserts start, start + L, ... up to the
// smaller hi, with L the least common multiple of the steps.
void insert_intersection_same_start(big_iset& target, long long start, long long hi,
                                    const progression& p1, const progression& p2, unsigned g) {
    if (hi < start)
        return;
    if (hi == start) {
        target.insert(range_type(static_cast<int>(start), static_cast<int>(start)));
        return;
    }
    unsigned long long lcm = static_cast<unsigned long long>(p2.s) * (p1.s / g);
    unsigned long long n = static_cast<unsigned long long>(hi - start) / lcm;
    if (n == 0) {
        target.insert(range_type(static_cast<int>(start), static_cast<int>(start)));
        return;
    }
    long long last = start + static_cast<long long>(n * lcm);
    target.insert(range_type(static_cast<int>(start), static_cast<int>(last)),
                  static_cast<unsigned>(lcm));
}

// Minimal shift k so that x + k dx >= 0 and y + k dy >= 0 (dx, dy > 0).
void num_of_step1_needed(long long& x, unsigned dx, long long& y, unsigned dy) {
    long long kx = ceil_div(-x, dx);
    long long ky = ceil_div(-y, dy);
    long long k = kx > ky ? kx : ky;
    x += k * static_cast<long long>(dx);
    y += k * static_cast<long long>(dy);
}

void insert_intersection(big_iset& target, progression p1, progression p2) {
    if (insert_if_simple_intersection(target, p1, p2))
        return;
    long long hi = p1.hi < p2.hi ? p1.hi : p2.hi;
    if (p1.lo == p2.lo) {
        insert_intersection_same_start(target, p1.lo, hi, p1, p2, std::gcd(p1.s, p2.s));
        return;
    }
    long long diff = p2.lo - p1.lo;
    unsigned c = static_cast<unsigned>(diff < 0 ? -diff : diff);
    long long x = 0, y = 0;
    unsigned dx = 0, dy = 0, g = 0;
    if (!linear_diophantine_equation(p1.s, p2.s, c, x, dx, y, dy, &g))
        return;
    if (diff < 0) {
        x = -x;
        y = -y;
    }
    num_of_step1_needed(x, dx, y, dy);
    if (x >= 0xFFFFFFFFLL || static_cast<unsigned long long>(x) * p1.s >= 0x100000000ULL)
        return;
    long long start = p1.lo + x * static_cast<long long>(p1.s);
    if (start > hi)
        return;
    insert_intersection_same_start(target, start, hi, p1, p2, g);
}

progression to_progression(const range_type& r, unsigned s) {
    return progression{r.first, r.second, s};
}

} // namespace

// ---------------------------------------------------------------------------
// Shape

// Refreshes the shape when a mutator returns, by any path, a throw included
// (the set is then unchanged and so is its shape).
class big_iset::shape_update {
public:
    explicit shape_update(big_iset& set) : m_set(set) {
        if (set.m_lazy)
            set.materialise();
    }
    ~shape_update() { m_set.note_shape(); }
    shape_update(const shape_update&) = delete;
    shape_update& operator=(const shape_update&) = delete;

private:
    big_iset& m_set;
};

void big_iset::note_shape() {
    if (m_lazy)
        return;
    const big_iset_impl& map = *m_ranges;
    const std::size_t ranges = map.range_count();
    m_size = map.size();
    m_interval = m_skip == 1 && ranges == 1;
    m_point = !m_interval && m_size == 1 && ranges == 1;
    if (ranges != 0) {
        m_lo = value_of(map.min());
        m_hi = value_of(map.max());
    }
}

static_assert(sizeof(big_iset) == 32, "trail entries and literals copy whole sets");

constinit const big_iset_impl big_iset_map_box::s_empty_map{big_iset_impl::constant_tag{}};

void big_iset::materialise() const {
    m_ranges.edit().insert(range_type(m_lo, m_hi));
    m_lazy = false;
}

void big_iset::become_plain_range(int lo, int hi) {
    m_ranges.release();
    m_lo = lo;
    m_hi = hi;
    m_size = static_cast<unsigned>(hi) - static_cast<unsigned>(lo) + 1u;
    m_interval = true;
    m_lazy = true;
    m_point = false;
    m_skip = 1;
    m_offset = 0;
}

// ---------------------------------------------------------------------------
// Index arithmetic

bool big_iset::on_progression(int v) const {
    return m_skip == 1 || mod_u(v, m_skip) == m_offset;
}

int big_iset::floor_index(int v) const {
    return static_cast<int>(floor_div(static_cast<long long>(v) - m_offset, m_skip));
}

int big_iset::ceil_index(int v) const {
    return static_cast<int>(ceil_div(static_cast<long long>(v) - m_offset, m_skip));
}

bool big_iset::index_of(int v, int& index) const {
    if (!on_progression(v))
        return false;
    index = floor_index(v);
    return true;
}

int big_iset::upper_impl_value(int v) const {
    return ceil_index(v);
}

// ---------------------------------------------------------------------------
// Construction

big_iset::big_iset(const std::string& text) : big_iset() {
    shape_update shape(*this);
    iset_helpers::assign_set(*this, text);
}

big_iset::big_iset(const big_iset& other) : big_iset() {
    if (other.m_interval) {
        become_plain_range(other.m_lo, other.m_hi);
        return;
    }
    m_ranges.assign(other.map());
    m_skip = other.m_skip;
    m_offset = other.m_offset;
    note_shape();
    compact();
}

big_iset::big_iset(big_iset&& other) noexcept : big_iset() {
    swap(other);
}

big_iset& big_iset::operator=(const big_iset& other) {
    if (this == &other)
        return *this;
    m_changes = 0;
    if (other.m_interval) {
        become_plain_range(other.m_lo, other.m_hi);
        return *this;
    }
    m_lazy = false;
    m_ranges.assign(other.map());
    m_skip = other.m_skip;
    m_offset = other.m_offset;
    note_shape();
    compact();
    return *this;
}

big_iset& big_iset::operator=(big_iset&& other) noexcept {
    swap(other);
    return *this;
}

void big_iset::swap(big_iset& other) noexcept {
    m_ranges.swap(other.m_ranges);
    std::swap(m_lo, other.m_lo);
    std::swap(m_hi, other.m_hi);
    std::swap(m_size, other.m_size);
    std::swap(m_interval, other.m_interval);
    std::swap(m_lazy, other.m_lazy);
    std::swap(m_point, other.m_point);
    std::swap(m_skip, other.m_skip);
    std::swap(m_offset, other.m_offset);
    std::swap(m_changes, other.m_changes);
}

void big_iset::reset() {
    m_size = 0;
    m_interval = false;
    m_point = false;
    m_lazy = false;
    m_ranges.clear();
    m_skip = 1;
    m_offset = 0;
    m_changes = 0;
}

void big_iset::clear_keeping_counter() {
    m_size = 0;
    m_interval = false;
    m_point = false;
    m_lazy = false;
    m_ranges.clear();
}

void big_iset::assign(int v) {
    shape_update shape(*this);
    reset();
    insert(range_type(v, v));
}

// ---------------------------------------------------------------------------
// Compaction

// Runs inside mutators, before the shape is refreshed: a built map gives the size.
void big_iset::count_change(unsigned old_size) {
    if ((m_lazy ? m_size : m_ranges->size()) == old_size)
        return;
    if (m_changes > 5)
        compact();
    else
        ++m_changes;
}

void big_iset::compact() {
    m_changes = 0;
    if (m_lazy)
        return;
    unsigned n = m_ranges->size();
    if ((m_skip == 1 && n == 0) || n < 2 || n != m_ranges->range_count())
        return;
    const big_iset_impl::map_type& map = m_ranges->ranges();
    auto it = map.begin();
    unsigned first = static_cast<unsigned>(value_of(it->second.first));
    unsigned prev = static_cast<unsigned>(value_of((++it)->second.first));
    unsigned g = prev - first;
    if (g == m_skip)
        return;
    for (++it; it != map.end(); ++it) {
        unsigned v = static_cast<unsigned>(value_of(it->second.first));
        unsigned d = v - prev;
        prev = v;
        if (d != g) {
            g = std::gcd(g, d);
            if (g == m_skip)
                return;
        }
    }
    int first_value = static_cast<int>(first);
    unsigned new_offset = mod_u(first_value, g);
    big_iset_impl fresh;
    for (const auto& node : map) {
        long long v = value_of(node.second.first);
        int index = static_cast<int>(floor_div(v - new_offset, g));
        fresh.insert(range_type(index, index));
    }
    m_ranges.swap(fresh);
    m_skip = g;
    m_offset = new_offset;
    note_shape();
}

void big_iset::flatten() {
    if (m_skip == 1)
        return;
    big_iset_impl fresh;
    for (big_iset_impl::iterator it = m_ranges->begin(), e = m_ranges->end(); it != e; ++it) {
        int v = value_of(*it);
        fresh.insert(range_type(v, v));
    }
    m_ranges.swap(fresh);
    m_skip = 1;
    m_offset = 0;
    note_shape();
}

// ---------------------------------------------------------------------------
// Insertion

void big_iset::insert_value(int v) {
    insert(range_type(v, v));
}

// Whether two plain ranges overlap or touch, so that their union is one range.
bool big_iset::unites_with(int lo, int hi) const {
    return static_cast<long long>(lo) <= static_cast<long long>(m_hi) + 1 &&
           static_cast<long long>(m_lo) <= static_cast<long long>(hi) + 1;
}

void big_iset::insert(const range_type& range) {
    if (range.first <= range.second && m_skip == 1 && (m_interval || empty())) {
        // A plain range, or nothing, grown by a range it meets stays one range.
        if (!m_interval || unites_with(range.first, range.second)) {
            const unsigned old_size = size();
            become_plain_range(m_interval ? std::min(m_lo, range.first) : range.first,
                               m_interval ? std::max(m_hi, range.second) : range.second);
            if (range.first == range.second)
                count_change(old_size);
            return;
        }
    }
    shape_update shape(*this);
    if (range.first == range.second && on_progression(range.first)) {
        unsigned old_size = m_ranges->size();
        int index = floor_index(range.first);
        m_ranges.edit().insert(range_type(index, index));
        count_change(old_size);
    } else if (m_skip == 1) {
        m_ranges.edit().insert(range);
    } else {
        if (range.second < range.first)
            m_ranges->throw_out_of_range("big_iset_impl::insert");
        flatten();
        m_ranges.edit().insert(range);
        compact();
    }
}

void big_iset::insert(const range_type& range, unsigned s) {
    shape_update shape(*this);
    int lo = range.first, hi = range.second;
    // A zero stride or a crossing range is a malformed range, as for insert(range).
    if (s == 0 || hi < lo)
        m_ranges->throw_out_of_range("big_iset_impl::insert");
    if (full())
        return;
    if ((static_cast<unsigned>(hi) - static_cast<unsigned>(lo)) % s != 0)
        throw std::runtime_error("Inserting range with a wrong stride");
    if (lo == hi || s == 1) {
        insert(range);
        return;
    }
    if (s > 0x3FFFFFFFu && static_cast<unsigned>(lo) + s == static_cast<unsigned>(hi)) {
        insert_value(lo);
        insert_value(hi);
        return;
    }
    if (!m_ranges->empty() && m_ranges->size() == 1 && s != m_skip &&
        mod_u(static_cast<long long>(min()) - lo, s) == 0) {
        int v = min();
        m_ranges.clear();
        m_skip = s;
        m_offset = mod_u(v, s);
        m_changes = 0;
        int index = floor_index(v);
        m_ranges.edit().insert(range_type(index, index));
    }
    if (m_ranges->empty()) {
        m_skip = s;
        m_offset = mod_u(lo, s);
    }
    if (s == m_skip && on_progression(lo)) {
        unsigned old_size = m_ranges->size();
        m_ranges.edit().insert(range_type(floor_index(lo), floor_index(hi)));
        count_change(old_size);
        return;
    }
    for (long long v = lo; v <= hi; v += s)
        insert_value(static_cast<int>(v));
}

void big_iset::insert_all_of(const big_iset& other) {
    if (other.m_interval && (m_interval || empty())) {
        if (full())
            return;
        if (empty() || other.full()) {
            become_plain_range(other.m_lo, other.m_hi);
            m_changes = 0;
            return;
        }
        if (unites_with(other.m_lo, other.m_hi)) {
            const unsigned old_size = size();
            become_plain_range(std::min(m_lo, other.m_lo), std::max(m_hi, other.m_hi));
            count_change(old_size);
            return;
        }
    }
    shape_update shape(*this);
    if (other.empty() || full())
        return;
    if (empty() || other.full()) {
        m_ranges.assign(other.map());
        m_skip = other.m_skip;
        m_offset = other.m_offset;
        m_changes = 0;
        compact();
        return;
    }
    if (m_skip == other.m_skip && m_offset == other.m_offset) {
        unsigned old_size = m_ranges->size();
        m_ranges.edit().insert_all_of(other.map());
        count_change(old_size);
        return;
    }
    if (other.m_skip == 1) {
        for (const auto& node : other.map().ranges())
            insert(node.second);
    } else {
        for (iterator it = other.begin(), e = other.end(); it != e; ++it)
            insert_value(*it);
    }
}

// ---------------------------------------------------------------------------
// Removal

void big_iset::erase(const range_type& range) {
    shape_update shape(*this);
    long long first = ceil_div(static_cast<long long>(range.first) - m_offset, m_skip);
    long long last = floor_div(static_cast<long long>(range.second) - m_offset, m_skip);
    if (last < first)
        return;
    unsigned old_size = m_ranges->size();
    m_ranges.edit().erase(range_type(static_cast<int>(first), static_cast<int>(last)));
    count_change(old_size);
}

big_iset::iterator big_iset::erase(const iterator& it) {
    shape_update shape(*this);
    return iterator(m_ranges.edit().erase(it.index_iterator()), this);
}

void big_iset::erase_all_of(const big_iset& other) {
    shape_update shape(*this);
    if (other.full()) {
        reset();
        return;
    }
    if (other.empty())
        return;
    if (empty()) {
        reset();
        return;
    }
    if (offsets_apart(m_skip, m_offset, other.m_skip, other.m_offset))
        return;
    unsigned old_size = m_ranges->size();
    if (m_skip == other.m_skip && m_offset == other.m_offset) {
        m_ranges.edit().erase_all_of(other.map());
        count_change(old_size);
        return;
    }
    int hi = max();
    if (other.m_skip == 1) {
        const big_iset_impl::map_type& map = other.map().ranges();
        for (auto node = other.map().lower_range_bound(min());
             node != map.end() && node->second.first <= hi && !empty(); ++node)
            erase(node->second);
    } else {
        for (iterator it = other.lower_bound(min()), e = other.end(); it != e && !empty(); ++it) {
            int v = *it;
            if (v > hi)
                break;
            erase(range_type(v, v));
        }
    }
    count_change(old_size);
}

// ---------------------------------------------------------------------------
// Intersection

void big_iset::intersect(const range_type& range) {
    if (m_interval && range.first <= range.second) {
        // A plain range stays one (or empties): the index map is not needed.
        const unsigned old_size = size();
        const int lo = std::max(m_lo, range.first), hi = std::min(m_hi, range.second);
        if (lo <= hi)
            become_plain_range(lo, hi);
        else
            clear_keeping_counter();
        count_change(old_size);
        return;
    }
    if (range.first <= m_lo && m_hi <= range.second && !empty())
        return; // the range holds the whole set
    shape_update shape(*this);
    long long first = ceil_div(static_cast<long long>(range.first) - m_offset, m_skip);
    long long last = floor_div(static_cast<long long>(range.second) - m_offset, m_skip);
    if (last < first) {
        reset();
        return;
    }
    unsigned old_size = m_ranges->size();
    m_ranges.edit().intersect(range_type(static_cast<int>(first), static_cast<int>(last)));
    count_change(old_size);
}

void big_iset::intersect_with_progression(const range_type& range, unsigned s) {
    big_iset result;
    progression target = to_progression(range, s);
    iterator it = lower_bound(range.first), e = end();
    while (it != e) {
        range_type r;
        unsigned rs = 1;
        iterator next = it.find_stride(e, r, rs);
        if (r.first > range.second)
            break;
        insert_intersection(result, to_progression(r, rs), target);
        it = next;
    }
    *this = std::move(result);
}

void big_iset::intersect(const range_type& range, unsigned s) {
    shape_update shape(*this);
    int lo = range.first, hi = range.second;
    if (s == 1 || lo >= hi || empty()) {
        intersect(range);
        return;
    }
    if (s == 0 || (static_cast<unsigned>(hi) - static_cast<unsigned>(lo)) % s != 0)
        throw std::runtime_error("Intersecting with range with a wrong stride");
    if (full()) {
        big_iset fresh;
        fresh.insert(range, s);
        swap(fresh);
        return;
    }
    intersect(range);
    if (empty())
        return;
    unsigned r = mod_u(lo, s);
    if (m_skip % s == 0) {
        if (m_offset % s != r)
            reset();
        return;
    }
    if (s % m_skip == 0 && r % m_skip != m_offset) {
        reset();
        return;
    }
    intersect_with_progression(range, s);
}

void big_iset::intersect(const std::pair<std::int64_t, std::int64_t>& bounds, unsigned s) {
    shape_update shape(*this);
    std::int64_t lo = bounds.first, hi = bounds.second;
    if (s == 0)
        throw std::runtime_error("Intersecting with range with a wrong stride");
    if (lo < INT_MIN)
        lo += ceil_div(static_cast<long long>(INT_MIN) - lo, s) * static_cast<long long>(s);
    if (hi > INT_MAX)
        hi -= ceil_div(hi - static_cast<long long>(INT_MAX), s) * static_cast<long long>(s);
    // Bounds that leave nothing inside the 32-bit range empty the set.
    if (lo > hi || lo > INT_MAX || hi < INT_MIN) {
        reset();
        return;
    }
    intersect(range_type(static_cast<int>(lo), static_cast<int>(hi)), s);
}

void big_iset::intersect_different_strides(const big_iset& other) {
    big_iset result;
    iterator it1 = lower_bound(other.min()), e1 = end();
    iterator it2 = other.lower_bound(min()), e2 = other.end();
    if (it1 != e1 && it2 != e2) {
        range_type r1, r2;
        unsigned s1 = 1, s2 = 1;
        iterator n1 = it1.find_stride(e1, r1, s1);
        iterator n2 = it2.find_stride(e2, r2, s2);
        for (;;) {
            if (r1.first <= r2.second && r2.first <= r1.second)
                insert_intersection(result, to_progression(r1, s1), to_progression(r2, s2));
            bool step1 = r1.second <= r2.second;
            bool step2 = r2.second <= r1.second;
            if (step1) {
                if (n1 == e1)
                    break;
                n1 = n1.find_stride(e1, r1, s1);
            }
            if (step2) {
                if (n2 == e2)
                    break;
                n2 = n2.find_stride(e2, r2, s2);
            }
        }
    }
    *this = std::move(result);
}

void big_iset::intersect(const big_iset& other) {
    if (m_interval && other.m_interval) {
        // Two plain ranges: the hull step is the whole intersection.
        if (other.full())
            return;
        if (full()) {
            become_plain_range(other.m_lo, other.m_hi);
            m_changes = 0;
            return;
        }
        intersect(range_type(other.m_lo, other.m_hi));
        return;
    }
    shape_update shape(*this);
    if (empty() || other.empty()) {
        reset();
        return;
    }
    if (other.full())
        return;
    if (full()) {
        m_ranges.assign(other.map());
        m_skip = other.m_skip;
        m_offset = other.m_offset;
        m_changes = 0;
        compact();
        return;
    }
    intersect(range_type(other.min(), other.max()));
    if (empty())
        return;
    // The hull step may have left a lazy plain range.
    if (m_lazy)
        materialise();
    unsigned old_size = m_ranges->size();
    if (m_skip == other.m_skip && m_offset == other.m_offset) {
        m_ranges.edit().intersect(other.map());
    } else {
        if (offsets_apart(m_skip, m_offset, other.m_skip, other.m_offset)) {
            reset();
            return;
        }
        unsigned char changes = m_changes;
        intersect_different_strides(other);
        m_changes = changes;
    }
    count_change(old_size);
}

void big_iset::complement() {
    if (m_interval) {
        // One plain range: its complement is at most two ranges, built
        // without materialising the range first.
        const int lo = m_lo, hi = m_hi;
        if (lo == MIN_DOMAIN && hi == MAX_DOMAIN) {
            clear_keeping_counter();
        } else if (lo == MIN_DOMAIN) {
            become_plain_range(hi + 1, MAX_DOMAIN);
        } else if (hi == MAX_DOMAIN) {
            become_plain_range(MIN_DOMAIN, lo - 1);
        } else {
            big_iset_impl& map = m_ranges.edit();
            map.clear();
            map.insert(range_type(MIN_DOMAIN, lo - 1));
            map.insert(range_type(hi + 1, MAX_DOMAIN));
            m_lazy = false;
            note_shape();
        }
        return;
    }
    shape_update shape(*this);
    flatten();
    m_ranges.edit().complement();
}

// ---------------------------------------------------------------------------
// Queries

bool big_iset::contains_in_map(int v) const {
    int index;
    return index_of(v, index) && map().contains(index);
}

big_iset::iterator big_iset::lower_bound(int v) const {
    return iterator(map().lower_bound(ceil_index(v)), this);
}

big_iset::iterator big_iset::upper_bound(int v) const {
    if (v == INT_MAX)
        return end();
    return lower_bound(v + 1);
}

bool big_iset::contains_all_of(const range_type& range, unsigned s) const {
    long long lo = range.first, hi = range.second;
    if (s == 0)
        m_ranges->throw_out_of_range("big_iset::contains_all_of");
    iterator it = lower_bound(range.first), e = end();
    if (it == e || *it != range.first)
        return false;
    if (lo == hi)
        return true;
    if (m_skip > 1 && s % m_skip != 0)
        return false;
    long long cur = lo;
    range_type r = it.current_range();
    for (;;) {
        long long last = cur + (static_cast<long long>(r.second) - cur) / s * s;
        if (last >= hi)
            return true;
        long long next = last + s;
        do {
            it.advance_range();
            if (it == e)
                return false;
            r = it.current_range();
        } while (r.second < next);
        if (next < r.first)
            return false;
        cur = next;
    }
}


bool big_iset::contains_all_in_maps(const big_iset& other) const {
    if (m_skip == other.m_skip && m_offset == other.m_offset)
        return map().contains_all_of(other.map());
    if (other.empty() || full())
        return true;
    if (empty())
        return false;
    if (other.full() || other.size() > size())
        return false;
    if (min() > other.min() || max() < other.max())
        return false;
    for (const auto& node : other.map().ranges()) {
        range_type r(other.value_of(node.second.first), other.value_of(node.second.second));
        if (!contains_all_of(r, other.m_skip))
            return false;
    }
    return true;
}

bool big_iset::contains_any_in(int lo, int hi) const {
    if (m_interval)
        return m_lo <= hi && lo <= m_hi;
    if (m_point)
        return lo <= m_lo && m_lo <= hi;
    if (empty() || max() < lo || min() > hi)
        return false;
    const iterator it = lower_bound(lo);
    return it != end() && *it <= hi;
}

bool big_iset::contains_range(int lo, int hi) const {
    if (lo < m_lo || hi > m_hi) // also for an empty set, which holds nothing
        return false;
    if (m_interval)
        return true;
    if (m_skip != 1) // consecutive values are never both on a wider stride
        return lo == hi && contains(lo);
    const big_iset_impl& indices = map();
    const big_iset_impl::node_type n = indices.lower_range_bound(lo);
    return n != indices.ranges().end() && n->second.first <= lo && hi <= n->second.second;
}

bool big_iset::contains_any_in_maps(const big_iset& other) const {
    if (empty() || other.empty())
        return false;
    if (full() || other.full())
        return true;
    if (max() < other.min() || min() > other.max())
        return false;
    if (m_skip == other.m_skip && m_offset == other.m_offset)
        return map().contains_any_of(other.map());
    if (offsets_apart(m_skip, m_offset, other.m_skip, other.m_offset))
        return false;
    iterator a = begin(), ae = end();
    iterator b = other.begin(), be = other.end();
    while (a != ae && b != be) {
        int va = *a, vb = *b;
        if (va == vb)
            return true;
        if (va < vb)
            a = lower_bound(vb);
        else
            b = other.lower_bound(va);
    }
    return false;
}

bool big_iset::same_elements(const big_iset& a, const big_iset& b) {
    if (a.m_skip == b.m_skip && a.m_offset == b.m_offset)
        return a.size() == b.size() && big_iset_impl::same_ranges(a.map(), b.map());
    iterator ia = a.begin(), ae = a.end(), ib = b.begin(), be = b.end();
    for (; ia != ae && ib != be; ++ia, ++ib)
        if (*ia != *ib)
            return false;
    return ia == ae && ib == be;
}

int big_iset::rand() const {
    if (empty())
        throw std::runtime_error("Can't qarn::big_iset::rand() for an empty set");
    return value_of(map().rand());
}

void big_iset::validate() const {
    map().validate();
    if (!(m_offset < m_skip))
        throw std::runtime_error("big::iset::validate: skip size is smaller than offset");
    if (m_size != m_ranges->size() || (m_ranges->empty() && m_interval))
        throw std::runtime_error("big::iset::validate: the kept size is stale");
    if (m_ranges->empty())
        return;
    if (m_lo != value_of(m_ranges->min()) || m_hi != value_of(m_ranges->max()))
        throw std::runtime_error("big::iset::validate: the kept extremes are stale");
    long long first = static_cast<long long>(m_ranges->min()) * m_skip + m_offset;
    long long last = static_cast<long long>(m_ranges->max()) * m_skip + m_offset;
    if (first < INT_MIN)
        throw std::runtime_error("big::iset::validate: min() is smaller than MIN_DOMAIN");
    if (last >= 2147483648LL)
        throw std::runtime_error("big::iset::validate: max() is larger than MAX_DOMAIN");
}

void big_iset::show_self() const {
    iset_helpers::show_set(*this);
}

// ---------------------------------------------------------------------------
// Progression helpers

void big_iset::remove_smaller_elements(range_type& range, unsigned s, int v) {
    if (range.first >= v)
        return;
    long long lo = range.first + ceil_div(static_cast<long long>(v) - range.first, s) * s;
    if (lo > INT_MAX) {
        // No progression value is left: keep the range crossing.
        range.first = INT_MAX;
        range.second = INT_MAX - 1;
        return;
    }
    range.first = static_cast<int>(lo);
}

void big_iset::remove_bigger_elements(range_type& range, unsigned s, int v) {
    if (range.second <= v)
        return;
    long long hi = range.second - ceil_div(static_cast<long long>(range.second) - v, s) * s;
    if (hi < INT_MIN) {
        range.first = INT_MIN + 1;
        range.second = INT_MIN;
        return;
    }
    range.second = static_cast<int>(hi);
}

unsigned big_iset::count_elements(const range_type& range, unsigned s) {
    if (range.first > range.second)
        return 0;
    return (static_cast<unsigned>(range.second) - static_cast<unsigned>(range.first)) / s + 1;
}

bool big_iset::is_in_range(const range_type& range, unsigned s, int v) {
    return range.first <= v && v <= range.second &&
           (static_cast<unsigned>(v) - static_cast<unsigned>(range.first)) % s == 0;
}

// ---------------------------------------------------------------------------
// Iterator

// Maps an index progression to values: a single index gives [v, v] with
// stride 1, otherwise the bounds map and the stride scales by the set's.
void big_iset::iterator::map_progression(const range_type& indices, unsigned index_stride,
                                         range_type& range, unsigned& stride) const {
    range = range_type(m_set->value_of(indices.first), m_set->value_of(indices.second));
    stride = indices.first == indices.second ? 1 : index_stride * m_set->m_skip;
}

big_iset::iterator big_iset::iterator::find_stride(const iterator& end, range_type& range,
                                                   unsigned& stride) const {
    range_type r;
    unsigned s = 1;
    big_iset_impl::iterator next = m_it.find_stride(end.m_it, r, s);
    map_progression(r, s, range, stride);
    return iterator(next, m_set);
}

big_iset::iterator big_iset::iterator::find_back_stride(const iterator& begin, range_type& range,
                                                        unsigned& stride) const {
    range_type r;
    unsigned s = 1;
    big_iset_impl::iterator first = m_it.find_back_stride(begin.m_it, r, s);
    map_progression(r, s, range, stride);
    return iterator(first, m_set);
}

big_iset::range_type big_iset::iterator::current_range() const {
    if (m_set->m_skip == 1)
        return range_type(m_it.effective_value(), m_it.node()->second.second);
    int v = **this;
    return range_type(v, v);
}

void big_iset::iterator::advance_range() {
    if (m_set->m_skip == 1) {
        big_iset_impl::node_type next = m_it.node();
        ++next;
        m_it = big_iset_impl::iterator(next, INT_MIN);
    } else {
        ++m_it;
    }
}

void big_iset::iterator::retract_range() {
    if (m_set->m_skip != 1) {
        --m_it;
        return;
    }
    big_iset_impl::node_type node = m_it.node();
    if (node == m_set->map().ranges().end() || m_it.value() == INT_MIN ||
        m_it.value() <= node->second.first)
        --node;
    m_it = big_iset_impl::iterator(node, INT_MIN);
}

std::istream& operator>>(std::istream& in, big_iset& set) {
    iset_helpers::read_set(in, set);
    return in;
}

std::ostream& operator<<(std::ostream& out, const big_iset& set) {
    iset_helpers::print_set(out, set);
    return out;
}

// ---------------------------------------------------------------------------
// The longest run of elements just before `end` that all lie in `other`.

namespace iset_helpers {

big_iset::iterator find_contained_tail(const big_iset& set, const big_iset::iterator& end,
                                       const big_iset& other) {
    return walk_contained_tail(set, end, other);
}

} // namespace iset_helpers

} // namespace qarn
