// Set-type-generic walks shared by the integer sets: the containment test of
// a progression against a set, and the backward search for the longest run of
// a set's members just before an iterator that all lie in another set.
// A Set offers contains, contains_all_of (range, stride), lower_bound, begin,
// empty and an iterator with find_back_stride.
#pragma once

#include <utility>

namespace qarn::iset_helpers {

// Whether a non-empty tail of the progression lo, lo + s, ..., hi (hi on the
// progression) lies in `set`; `first` is then the first value of the longest
// such tail. Tails grow monotonically, so their length is found by binary
// search with contains_all_of, never value by value.
template <class Set>
bool contained_progression_tail(const std::pair<int, int>& range, unsigned stride, const Set& set,
                                int& first) {
    const int hi = range.second;
    if (!set.contains(hi))
        return false;
    if (range.first >= hi || stride == 0) {
        first = hi;
        return true;
    }
    // Steps back from hi: `good` is known to be contained, `bad` known not.
    const unsigned steps = (static_cast<unsigned>(hi) - static_cast<unsigned>(range.first)) / stride;
    auto start_of = [&](unsigned k) { return static_cast<int>(static_cast<unsigned>(hi) - k * stride); };
    if (set.contains_all_of(std::pair<int, int>(start_of(steps), hi), stride)) {
        first = start_of(steps);
        return true;
    }
    unsigned good = 0, bad = steps;
    while (bad - good > 1) {
        const unsigned mid = good + (bad - good) / 2;
        if (set.contains_all_of(std::pair<int, int>(start_of(mid), hi), stride))
            good = mid;
        else
            bad = mid;
    }
    first = start_of(good);
    return true;
}

// The first position p at or before `end` such that every member of `set`
// from p up to (not including) `end` lies in `other`. The members are walked
// backwards progression by progression.
template <class Set>
typename Set::iterator walk_contained_tail(const Set& set, const typename Set::iterator& end,
                                           const Set& other) {
    typename Set::iterator tail = end;
    if (other.empty())
        return tail;
    const typename Set::iterator begin = set.begin();
    while (tail != begin) {
        std::pair<int, int> r;
        unsigned s = 1;
        typename Set::iterator first = tail.find_back_stride(begin, r, s);
        int from;
        if (!contained_progression_tail(r, s, other, from))
            return tail;
        if (from != r.first)
            return set.lower_bound(from);
        tail = first;
    }
    return tail;
}

} // namespace qarn::iset_helpers
