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

#if !QARN_SMALL_DOMAINS
// Bit operations on a bitmap of 64-bit words; bit i stands for the i-th value of a window.
void set_bits(std::uint64_t* w, unsigned from, unsigned to) { // inclusive
    const unsigned first = from >> 6, last = to >> 6;
    const std::uint64_t head = ~std::uint64_t(0) << (from & 63);
    const std::uint64_t tail = ~std::uint64_t(0) >> (63 - (to & 63));
    if (first == last) {
        w[first] |= head & tail;
        return;
    }
    w[first] |= head;
    for (unsigned i = first + 1; i < last; ++i)
        w[i] = ~std::uint64_t(0);
    w[last] |= tail;
}

bool all_bits(const std::uint64_t* w, unsigned from, unsigned to) { // inclusive
    const unsigned first = from >> 6, last = to >> 6;
    const std::uint64_t head = ~std::uint64_t(0) << (from & 63);
    const std::uint64_t tail = ~std::uint64_t(0) >> (63 - (to & 63));
    if (first == last)
        return (w[first] & head & tail) == (head & tail);
    if ((w[first] & head) != head || (w[last] & tail) != tail)
        return false;
    for (unsigned i = first + 1; i < last; ++i)
        if (w[i] != ~std::uint64_t(0))
            return false;
    return true;
}

// out |= in << shift; out has room for one word more than in reaches.
void or_shifted(std::uint64_t* out, const std::uint64_t* in, unsigned in_words, unsigned shift) {
    out += shift >> 6;
    const unsigned bits = shift & 63;
    if (bits == 0) {
        for (unsigned i = 0; i < in_words; ++i)
            out[i] |= in[i];
        return;
    }
    for (unsigned i = 0; i < in_words; ++i) {
        out[i] |= in[i] << bits;
        out[i + 1] |= in[i] >> (64 - bits);
    }
}

// c ∩= a + b (a - b when subtracting) when every sum lies in a window of at
// most ENUMERATION_LIMIT values inside the 32-bit range: no progression there
// is long enough for the progression code to approximate, so the sums are
// exact and are worked on a bitmap instead of a set. Returns false, having
// done nothing, for a wider window.
bool combine_on_bitmap(const iset& a, const iset& b, iset& c, bool subtract,
                       progression_lists& lists) {
    const long long lo = subtract ? static_cast<long long>(a.min()) - b.max()
                                  : static_cast<long long>(a.min()) + b.min();
    const long long hi = subtract ? static_cast<long long>(a.max()) - b.min()
                                  : static_cast<long long>(a.max()) + b.max();
    if (hi - lo >= static_cast<long long>(ENUMERATION_LIMIT) || lo < INT_MIN || hi > INT_MAX ||
        (subtract && b.min() == INT_MIN))
        return false;
    const unsigned span_b = static_cast<unsigned>(static_cast<long long>(b.max()) - b.min());
    const unsigned words_b = span_b / 64 + 1;
    const unsigned words = static_cast<unsigned>(hi - lo) / 64 + 2; // one spare for shifts
    lists.shifted.assign(words_b, 0);
    lists.sums.assign(words, 0);
    std::uint64_t* const bits_b = lists.shifted.data();
    std::uint64_t* const sums = lists.sums.data();

    // Bit i of b's bitmap: b.min() + i, or b.max() - i when subtracting, so
    // that value x of a places it at x - a.min() + i of the sums.
    const long long base_b = subtract ? b.max() : b.min();
    auto b_bit = [&](long long v) {
        return static_cast<unsigned>(subtract ? base_b - v : v - base_b);
    };
    b.for_each_run([&](int first, int last, unsigned step) {
        if (step == 1 && first != last) {
            const unsigned u = b_bit(first), w = b_bit(last);
            set_bits(bits_b, std::min(u, w), std::max(u, w));
            return;
        }
        for (long long v = first; v <= last; v += step) {
            const unsigned i = b_bit(v);
            bits_b[i >> 6] |= std::uint64_t(1) << (i & 63);
        }
    });
    const int a_min = a.min();
    a.for_each_run([&](int first, int last, unsigned step) {
        if (step != 1 || first == last) {
            for (long long x = first; x <= last; x += step)
                or_shifted(sums, bits_b, words_b, static_cast<unsigned>(x - a_min));
            return;
        }
        // A run of a: each run of b spreads it into one span, or into one
        // span per value when b's step outruns the run.
        const long long length = static_cast<long long>(last) - first + 1;
        auto add = [&](long long low, long long high) {
            const long long from = subtract ? first - high : first + low;
            const long long to = subtract ? last - low : last + high;
            set_bits(sums, static_cast<unsigned>(from - lo), static_cast<unsigned>(to - lo));
        };
        b.for_each_run([&](int b_first, int b_last, unsigned b_step) {
            if (b_step == 1 || length >= b_step)
                add(b_first, b_last);
            else
                for (long long v = b_first; v <= b_last; v += b_step)
                    add(v, v);
        });
    });

    // c keeps its values in the bitmap; it is left untouched when it has no other.
    bool inside = lo <= c.min() && c.max() <= hi;
    if (inside)
        c.for_each_run([&](int first, int last, unsigned step) {
            if (!inside)
                return;
            if (step == 1 && first != last) {
                inside = all_bits(sums, static_cast<unsigned>(first - lo),
                                  static_cast<unsigned>(last - lo));
                return;
            }
            for (long long v = first; v <= last && inside; v += step) {
                const unsigned i = static_cast<unsigned>(v - lo);
                inside = (sums[i >> 6] >> (i & 63)) & 1;
            }
        });
    if (inside)
        return true;
    iset r;
    const unsigned from = static_cast<unsigned>(std::max<long long>(c.min(), lo) - lo);
    const long long top = std::min<long long>(c.max(), hi) - lo;
    if (from <= top) {
        const unsigned last = static_cast<unsigned>(top);
        unsigned i = from;
        while (i <= last) {
            // The next set bit at or after i, then the next clear one.
            unsigned w = i >> 6;
            std::uint64_t word = sums[w] & (~std::uint64_t(0) << (i & 63));
            while (word == 0 && ++w <= last >> 6)
                word = sums[w];
            if (word == 0)
                break;
            const unsigned start = w * 64 + static_cast<unsigned>(__builtin_ctzll(word));
            if (start > last)
                break;
            word = ~sums[w] & (~std::uint64_t(0) << (start & 63));
            while (word == 0)
                word = ~sums[++w]; // the spare word past the window is clear
            const unsigned end = std::min(w * 64 + static_cast<unsigned>(__builtin_ctzll(word)) - 1, last);
            r.insert(iset::range_type(static_cast<int>(lo + start), static_cast<int>(lo + end)));
            i = end + 1;
        }
    }
    c.intersect(r);
    return true;
}
#endif

template <class Combine>
void combine_sets(const iset& a, const iset& b, iset& c, bool subtract, Combine combine,
                  progression_lists& lists) {
    if (a.empty() || b.empty() || c.empty()) {
        c = iset();
        return;
    }
    if (arithmetic::holds_every_value(a) || arithmetic::holds_every_value(b))
        return;
#if !QARN_SMALL_DOMAINS
    if (combine_on_bitmap(a, b, c, subtract, lists))
        return;
#endif
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
