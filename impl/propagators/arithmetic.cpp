// Arithmetic helpers and set arithmetic modulo 2^32.
#include "impl/propagators/arithmetic.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace qarn {

namespace {

typedef std::pair<int, int> progression;
typedef std::pair<long long, long long> span_type;

// Beyond this many values a progression sum is not enumerated: see plus_ranges.
constexpr unsigned long long ENUMERATION_LIMIT = 4096;

unsigned long long count_values(const progression& p, unsigned step) {
    return (static_cast<unsigned long long>(static_cast<long long>(p.second) - p.first)) / step + 1;
}

// Calls f(lo, hi, step) for every maximal progression of s, in increasing order.
template <class F>
void for_each_progression(const iset& s, F f) {
    const iset::iterator end = s.end();
    for (iset::iterator it = s.begin(); it != end;) {
        progression range;
        unsigned step = 1;
        it = it.find_stride(end, range, step);
        f(range, step);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Bringing 64-bit bounds back into 32 bits

void arithmetic_propagation_types::intersect_truncated(iset& s, long long lo, long long hi) {
    const long long a = std::max<long long>(lo, INT_MIN), b = std::min<long long>(hi, INT_MAX);
    if (a <= b)
        s.intersect(iset::range_type(static_cast<int>(a), static_cast<int>(b)));
}

void arithmetic_propagation_types::intersect_wrapped(iset& s, long long lo, long long hi) {
    const unsigned long long d = static_cast<unsigned long long>(hi - lo);
    if (d > 0xFFFFFFFEull)
        return; // every residue, or an empty interval
    if (lo < INT_MIN || lo > INT_MAX) {
        const long long wrapped = wrap(lo);
        hi += wrapped - lo;
        lo = wrapped;
    }
    if (hi <= INT_MAX) {
        s.intersect(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
        return;
    }
    iset two_ranges;
    arithmetic::insert_progression(two_ranges, lo, INT_MAX, 1);
    arithmetic::insert_progression(two_ranges, INT_MIN, wrap(hi), 1);
    s.intersect(two_ranges);
}

namespace arithmetic {

void insert_progression(iset& out, long long lo, long long hi, unsigned step) {
#if QARN_SMALL_DOMAINS
    // Move the ends onto the progression inside 0..31.
    if (lo < MIN_DOMAIN)
        lo += (MIN_DOMAIN - lo + step - 1) / step * step;
    if (hi > MAX_DOMAIN)
        hi -= (hi - MAX_DOMAIN + step - 1) / step * step;
    if (lo > hi)
        return;
#else
    if (holds_every_value(out))
        return;
    if (lo == hi)
        step = 1;
    if (!out.empty() && (out.stride() != 1 || step != 1)) {
        // A long progression off the set's own lattice cannot be merged
        // without walking it value by value: the union is then widened to
        // the progression of the common step between the extreme values.
        // A single value lies on every step.
        const unsigned out_step = out.size() == 1 ? 0 : out.stride();
        const unsigned long long gap =
            static_cast<unsigned long long>(std::llabs(lo - static_cast<long long>(out.min())));
        const bool same_lattice = (out_step == 0 || out_step == step) && gap % step == 0;
        const unsigned long long added = static_cast<unsigned long long>(hi - lo) / step + 1;
        // A range merges after flattening the set; a strided progression
        // goes in value by value.
        const bool costly =
            out.size() > ENUMERATION_LIMIT || (step != 1 && added > ENUMERATION_LIMIT);
        if (!same_lattice && costly) {
            const long long first = std::min<long long>(lo, out.min());
            const long long last = std::max<long long>(hi, out.max());
            const unsigned g = static_cast<unsigned>(
                std::gcd(std::gcd<unsigned long long>(out_step, step), gap));
            out = iset();
            out.insert(iset::range_type(static_cast<int>(first), static_cast<int>(last)),
                       g == 0 ? 1 : g);
            return;
        }
    }
#endif
    const iset::range_type range(static_cast<int>(lo), static_cast<int>(hi));
    if (step == 1 || lo == hi)
        out.insert(range);
    else
        out.insert(range, step);
}

void intersect_clamped(iset& s, long long lo, long long hi) {
    const long long a = std::max<long long>(lo, INT_MIN), b = std::min<long long>(hi, INT_MAX);
    if (a > b)
        s = iset();
    else
        s.intersect(iset::range_type(static_cast<int>(a), static_cast<int>(b)));
}

void insert_interval(iset& s, const std::pair<long long, long long>& r) {
    const long long a = std::max<long long>(r.first, INT_MIN);
    const long long b = std::min<long long>(r.second, INT_MAX);
    if (a <= b)
        insert_progression(s, a, b, 1);
}

} // namespace arithmetic

// ---------------------------------------------------------------------------
// Set arithmetic

namespace propagation {

namespace {

int wrap(long long v) {
    return arithmetic_propagation_types::wrap(v);
}

} // namespace

void normalize_and_insert(span_type span, iset& out, unsigned step) {
    long long lo = span.first, hi = span.second;
    const unsigned long long d = static_cast<unsigned long long>(hi - lo);
    if (d > 0xFFFFFFFEull) {
        // 2^32 consecutive integers or more: a few values one by one, else
        // every value (exact for step 1, an over-approximation otherwise).
        if (step != 1 && d / step <= 100) {
            for (long long v = lo; v <= hi; v += step) {
                const int w = wrap(v);
                arithmetic::insert_progression(out, w, w, 1);
            }
        } else {
            out = iset();
            arithmetic::insert_progression(out, INT_MIN, INT_MAX, 1);
        }
        return;
    }
    if (lo < INT_MIN || lo > INT_MAX) {
        const long long wrapped = wrap(lo);
        hi += wrapped - lo;
        lo = wrapped;
    }
    if (hi <= INT_MAX) {
        arithmetic::insert_progression(out, lo, hi, step);
        return;
    }
    // Split at the top of the 32-bit range, on the same residue.
    const long long r = (INT_MAX - lo) % step;
    arithmetic::insert_progression(out, lo, INT_MAX - r, step);
    arithmetic::insert_progression(out, wrap(INT_MAX - r + step), wrap(hi), step);
}

void plus_ranges(const progression& a, unsigned sa, const progression& b, unsigned sb,
                 iset& out) {
    const bool a_first = sa <= sb;
    const progression& p = a_first ? a : b;
    const progression& q = a_first ? b : a;
    const unsigned s1 = a_first ? sa : sb, s2 = a_first ? sb : sa;
    const span_type whole(static_cast<long long>(p.first) + q.first,
                          static_cast<long long>(p.second) + q.second);
    if (s1 == s2 || (s1 == 1 && p.first == p.second)) {
        normalize_and_insert(whole, out, s2);
        return;
    }
    const bool multiple = (s1 & (s1 - 1)) == 0 ? (s2 & (s1 - 1)) == 0 : s2 % s1 == 0;
    if (multiple && static_cast<long long>(p.second) - p.first >= s2) {
        normalize_and_insert(whole, out, s1);
        return;
    }
    // One shifted copy per value of the shorter progression. Two long
    // progressions whose steps do not nest are not enumerated: their sums all
    // lie on the progression of step gcd(s1, s2) between the extreme sums.
    const unsigned long long np = count_values(p, s1), nq = count_values(q, s2);
    if (nq <= ENUMERATION_LIMIT && nq <= np) {
        for (long long v = q.first; v <= q.second; v += s2)
            normalize_and_insert(span_type(p.first + v, p.second + v), out, s1);
    } else if (np <= ENUMERATION_LIMIT) {
        for (long long v = p.first; v <= p.second; v += s1)
            normalize_and_insert(span_type(v + q.first, v + q.second), out, s2);
    } else {
        normalize_and_insert(whole, out, std::gcd(s1, s2));
    }
}

void minus_ranges(const progression& a, unsigned sa, const progression& b, unsigned sb,
                  iset& out) {
    if (b.first == INT_MIN) {
        // -INT_MIN wraps to itself.
        plus_ranges(a, sa, progression(INT_MIN, INT_MIN), 1, out);
        if (b.second == INT_MIN)
            return;
        const long long next = static_cast<long long>(b.first) + sb;
        plus_ranges(a, sa, progression(-b.second, static_cast<int>(-next)), sb, out);
        return;
    }
    plus_ranges(a, sa, progression(-b.second, -b.first), sb, out);
}

namespace {

// The maximal progressions of s, in increasing order.
void list_progressions(const iset& s, std::vector<progression_lists::item>& out) {
    out.clear();
    int lo, hi;
    if (s.plain_range(lo, hi)) { // one progression of step 1, read without a walk
        out.push_back(progression_lists::item{progression(lo, hi), 1});
        return;
    }
#if QARN_SMALL_DOMAINS
    for_each_progression(s, [&out](const progression& p, unsigned step) {
        out.push_back(progression_lists::item{p, step});
    });
#else
    s.for_each_progression([&out](const progression& p, unsigned step) {
        out.push_back(progression_lists::item{p, step});
    });
#endif
}

template <class Combine>
void combine_sets(const iset& a, const iset& b, iset& c, bool subtract, Combine combine,
                  progression_lists& lists) {
    if (a.empty() || b.empty() || c.empty()) {
        c = iset();
        return;
    }
    if (arithmetic::holds_every_value(a) || arithmetic::holds_every_value(b))
        return;
    list_progressions(a, lists.a);
    list_progressions(b, lists.b);
    iset r;
    // A cheap first pass with b's largest value often supports all of c.
    const int top = b.max();
    for (const progression_lists::item& p : lists.a) {
        if (subtract)
            minus_ranges(p.range, p.step, progression(top, top), 1, r);
        else
            normalize_and_insert(span_type(static_cast<long long>(p.range.first) + top,
                                           static_cast<long long>(p.range.second) + top),
                                 r, p.step);
    }
    for (const progression_lists::item& p : lists.a) {
        if (r.contains_all_of(c))
            return;
        for (const progression_lists::item& q : lists.b)
            combine(p.range, p.step, q.range, q.step, r);
    }
    c.intersect(r);
}

} // namespace

void plus(const iset& a, const iset& b, iset& c, progression_lists& scratch) {
    combine_sets(a, b, c, false, plus_ranges, scratch);
}

void minus(const iset& a, const iset& b, iset& c, progression_lists& scratch) {
    combine_sets(a, b, c, true, minus_ranges, scratch);
}

void plus(const iset& a, const iset& b, iset& c) {
    progression_lists lists;
    plus(a, b, c, lists);
}

void minus(const iset& a, const iset& b, iset& c) {
    progression_lists lists;
    minus(a, b, c, lists);
}

void neg(const iset& a, iset& c) {
    // Progression by progression: -(lo .. hi step s) is -hi .. -lo step s,
    // with INT_MIN mapping to itself.
    iset r;
    for_each_progression(a, [&r](const progression& p, unsigned step) {
        long long lo = p.first;
        if (lo == INT_MIN) {
            arithmetic::insert_progression(r, INT_MIN, INT_MIN, 1);
            if (p.second == INT_MIN)
                return;
            lo += step;
        }
        arithmetic::insert_progression(r, -static_cast<long long>(p.second), -lo, step);
    });
    c.intersect(r);
}

} // namespace propagation

} // namespace qarn
