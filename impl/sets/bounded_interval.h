// Intervals with 64-bit ends on the sets of this build: the ends are clamped
// to the values a domain can hold (all 32-bit values, or 0..31 in the small
// model), and an interval with nothing left is empty. Bounds computed in 64
// bits therefore never wrap and never put a value into a set that cannot
// hold it.
#pragma once

#include <cstdint>

#include "impl/sets/model.h"

namespace qarn::bounded {

inline bool clamp(std::int64_t& lo, std::int64_t& hi) {
    if (lo < MIN_DOMAIN)
        lo = MIN_DOMAIN;
    if (hi > MAX_DOMAIN)
        hi = MAX_DOMAIN;
    return lo <= hi;
}

// The set [lo, hi] within the domain limits.
inline iset interval(std::int64_t lo, std::int64_t hi) {
    if (!clamp(lo, hi))
        return iset();
    return iset(static_cast<int>(lo), static_cast<int>(hi));
}

// s ∪= [lo, hi] within the domain limits.
inline void insert(iset& s, std::int64_t lo, std::int64_t hi) {
    if (clamp(lo, hi))
        s.insert(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
}

// s ∩= [lo, hi]; an interval with nothing in the limits empties s.
inline void intersect(iset& s, std::int64_t lo, std::int64_t hi) {
    if (!clamp(lo, hi))
        s = iset();
    else
        s.intersect(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
}

// Every value a domain can hold.
inline iset all_values() {
    return iset(MIN_DOMAIN, MAX_DOMAIN);
}

inline bool is_singleton(const iset& s) {
    return !s.empty() && s.min() == s.max();
}

} // namespace qarn::bounded
