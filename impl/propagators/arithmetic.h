// Shared arithmetic of the arithmetic propagators: bringing 64-bit results
// back into the 32-bit value space (truncating: out of range is impossible;
// wrapping: modulo 2^32, two's complement), and exact set arithmetic modulo
// 2^32 on whole domains, worked progression by progression.
//
// In the small model every domain lies inside 0..31; the working sets here
// may receive values outside it, which are dropped (the results are only ever
// intersected with domains).
#pragma once

#include <cstdint>
#include <climits>
#include <utility>
#include <vector>

#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"

namespace qarn {

class arithmetic_propagation_types {
public:
    // The low 32 bits of v as a signed value.
    static int wrap(long long v) {
        return static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(v)));
    }
    static int saturate(long long v) {
        return v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
    }
    // s ∩= [lo, hi] clamped to 32 bits; an interval wholly outside leaves s as it is.
    static void intersect_truncated(iset& s, long long lo, long long hi);
    // s ∩= {Wrap(v) : lo <= v <= hi}.
    static void intersect_wrapped(iset& s, long long lo, long long hi);
};

namespace arithmetic {

// Whether s holds every 32-bit value (never in the small model).
inline bool holds_every_value(const iset& s) {
#if QARN_SMALL_DOMAINS
    (void)s;
    return false;
#else
    return s.full();
#endif
}

// The number of values of s: 2^32 for the set of every value (whose size()
// is 0 in the large model), 0 for the empty set.
inline std::uint64_t value_count(const iset& s) {
    return holds_every_value(s) ? std::uint64_t(1) << 32 : s.size();
}

// out ∪= {lo, lo + step, ..., hi} restricted to the values a domain can hold;
// lo and hi lie in the 32-bit range and hi - lo is a multiple of step.
void insert_progression(iset& out, long long lo, long long hi, unsigned step);

// |v| without overflow.
inline long long abs64(long long v) {
    return v < 0 ? -v : v;
}

// For a one-signed set: the bound nearest zero, and the bound farthest from it.
inline int inner(const iset& s) {
    return s.min() >= 0 ? s.min() : s.max();
}
inline int outer(const iset& s) {
    return s.min() < 0 ? s.min() : s.max();
}

// s ∩= [lo, hi] clamped to 32 bits; a clamped interval that is empty (no
// 32-bit value lies in [lo, hi]) empties s.
void intersect_clamped(iset& s, long long lo, long long hi);

// s ∪= r clamped to 32 bits, when that is not empty.
void insert_interval(iset& s, const std::pair<long long, long long>& r);

inline watch_handle_t allocate_outer_watch(constraint_runtime_info& ri, unsigned param) {
    return ri.allocate_watch(param, ri.domain(param).min() < 0 ? watch_types::LOWER_BOUND_WATCH
                                                               : watch_types::UPPER_BOUND_WATCH);
}
inline watch_handle_t allocate_inner_watch(constraint_runtime_info& ri, unsigned param) {
    return ri.allocate_watch(param, ri.domain(param).min() < 0 ? watch_types::UPPER_BOUND_WATCH
                                                               : watch_types::LOWER_BOUND_WATCH);
}

} // namespace arithmetic

// Set arithmetic modulo 2^32: each narrows C; A and B are read only.
namespace propagation {

// The maximal progressions of two sets, listed once per operation; a
// propagator that works set arithmetic often keeps one to reuse its storage.
struct progression_lists {
    struct item {
        std::pair<int, int> range;
        unsigned step;
    };
    std::vector<item> a, b;
    // Bitmaps of the exact sums of sets in a narrow window.
    std::vector<std::uint64_t> sums, shifted;

    // Scratch only: a copy starts empty.
    progression_lists() = default;
    progression_lists(const progression_lists&) {}
    progression_lists& operator=(const progression_lists&) { return *this; }
};

// C ∩= {Wrap(a + b)}.
void plus(const iset& a, const iset& b, iset& c);
void plus(const iset& a, const iset& b, iset& c, progression_lists& scratch);
// C ∩= {Wrap(a - b)}.
void minus(const iset& a, const iset& b, iset& c);
void minus(const iset& a, const iset& b, iset& c, progression_lists& scratch);
// C ∩= {Wrap(-a)}: INT_MIN is its own negation.
void neg(const iset& a, iset& c);

// The progression helpers behind them, exposed for testing. A progression is
// (lo, hi) with step s: lo, lo + s, ..., hi.
void normalize_and_insert(std::pair<long long, long long> span, iset& out, unsigned step);
void plus_ranges(const std::pair<int, int>& a, unsigned sa, const std::pair<int, int>& b,
                 unsigned sb, iset& out);
void minus_ranges(const std::pair<int, int>& a, unsigned sa, const std::pair<int, int>& b,
                  unsigned sb, iset& out);

} // namespace propagation

} // namespace qarn
