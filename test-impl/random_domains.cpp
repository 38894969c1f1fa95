#include "test-impl/random_domains.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include "impl/support/random.h"

namespace qarn {

namespace {

typedef std::int64_t wide;

int to_int(wide v) {
    return static_cast<int>(v);
}

// The values from..to, removed from s.
void erase_values(iset& s, wide from, wide to) {
    s.erase(iset::range_type(to_int(from), to_int(to)));
}

// Bounds spanning at least three values.
std::pair<int, int> random_wide_bounds(bool narrow, int low, int high) {
    std::pair<int, int> b;
    do {
        b = random_var_bounds(narrow, low, high);
    } while (static_cast<wide>(b.second) < static_cast<wide>(b.first) + 2);
    return b;
}

} // namespace

bool are_all_values_legal_for_var() {
#if QARN_SMALL_DOMAINS
    return false;
#else
    return true;
#endif
}

int random_var_in_bounds(int low, int high) {
    switch (random::gen(6)) {
    case 0:
        return low;
    case 1:
        return high;
    default:
        return random::range(low, high);
    }
}

std::pair<int, int> random_var_bounds(unsigned max_width, int low, int high) {
    const int a = random_var_in_bounds(low, high);
    const int b = random_var_in_bounds(low, high);
    int lower = std::min(a, b);
    int upper = std::max(a, b);
    if (max_width != 0 &&
        static_cast<unsigned>(upper) - static_cast<unsigned>(lower) >= max_width) {
        if (random::gen(2) != 0)
            upper = random::range(lower, to_int(static_cast<wide>(lower) + max_width - 1));
        else
            lower = random::range(to_int(static_cast<wide>(upper) - max_width + 1), upper);
    }
    return {lower, upper};
}

std::pair<int, int> random_var_bounds(bool narrow, int low, int high) {
    return random_var_bounds(narrow ? 100u : 0u, low, high);
}

int random_var_out_of_bounds() {
#if QARN_SMALL_DOMAINS
    if (random::gen(2) == 1) {
        switch (random::gen(8)) {
        case 0:
            return -1;
        case 1:
            return INT_MIN;
        default:
            return random::range(INT_MIN, -1);
        }
    }
    switch (random::gen(8)) {
    case 0:
        return MAX_DOMAIN + 1;
    case 1:
        return INT_MAX;
    default:
        return random::range(MAX_DOMAIN + 1, INT_MAX);
    }
#else
    throw std::domain_error("random_var_out_of_bounds no out of bounds");
#endif
}

int random_var_maybe_out_of_bound(int value) {
    if (random::gen(5) == 0)
        return value;
    if (random::gen(2) == 0 && !are_all_values_legal_for_var())
        return random_var_out_of_bounds();
    return random_var_in_bounds(MIN_DOMAIN, MAX_DOMAIN);
}

unsigned count_ranges(const iset& set) {
#if !QARN_SMALL_DOMAINS
    // No two members of a strided set are consecutive.
    if (set.stride() > 1)
        return set.size();
#endif
    unsigned count = 0;
    for (iset::iterator it = set.begin(); it != set.end(); it.advance_range())
        ++count;
    return count;
}

iset random_var(bool narrow, int low, int high) {
    if (random::gen(10) == 0)
        return iset();
    return random_nonempty_var(narrow, low, high);
}

iset random_nonempty_var(bool narrow, int low, int high) {
    if (low == high)
        return iset(low);
    if (static_cast<wide>(high) == static_cast<wide>(low) + 1) {
        const std::pair<int, int> b = random_var_bounds(narrow, low, high);
        return iset(b.first, b.second);
    }
    switch (random::gen(10)) {
    case 0:
        return iset(random_var_in_bounds(low, high));
    case 1: {
        // Both ends of a range, or a range with one hole.
        bool w;
        std::pair<int, int> b;
        do {
            w = narrow && random::gen(2) == 0;
            b = random_var_bounds(w, low, high);
        } while (static_cast<wide>(b.second) < static_cast<wide>(b.first) + 2);
        iset s(b.first, b.second);
        const bool ends_only = random::gen(2) != 0;
        if ((narrow && !w) || ends_only)
            erase_values(s, static_cast<wide>(b.first) + 1, static_cast<wide>(b.second) - 1);
        else {
            const int v = random::range(b.first + 1, b.second - 1);
            s.erase(iset::range_type(v, v));
        }
        return s;
    }
    case 2:
    case 3: {
        // Holes clustered within 16 values of a centre.
        const std::pair<int, int> b = random_wide_bounds(narrow, low, high);
        iset s(b.first, b.second);
        const wide lower = b.first, upper = b.second;
        const wide m = random::range(b.first + 1, b.second - 1);
        const wide from = m <= lower + 16 ? lower + 1 : m - 16;
        const wide to = m >= upper - 16 ? upper - 1 : m + 16;
        for (unsigned n = random::gen(64) + 1; n > 0; --n) {
            const int v = random::range(to_int(from), to_int(to));
            s.erase(iset::range_type(v, v));
        }
        return s;
    }
    case 4:
    case 5: {
        // Holes anywhere inside.
        const std::pair<int, int> b = random_wide_bounds(narrow, low, high);
        iset s(b.first, b.second);
        for (unsigned n = random::gen(64) + 1; n > 0; --n) {
            const int v = random::range(b.first + 1, b.second - 1);
            s.erase(iset::range_type(v, v));
        }
        return s;
    }
    case 6: {
        // One hole reaching to within about a hundred values of each end.
        const bool w = narrow && random::gen(2) == 0;
        const std::pair<int, int> b = random_wide_bounds(w, low, high);
        iset s(b.first, b.second);
        const wide lower = b.first, upper = b.second;
        wide a = random::range(b.first + 1, b.second - 1);
        wide c = random::range(b.first + 1, b.second - 1);
        if (a > c)
            std::swap(a, c);
        // The redraws stay inside lower + 1 .. upper - 1 so that both ends remain.
        if (a - lower + 1 > 99) {
            const wide top = std::min(std::min(lower + 1, static_cast<wide>(high) - 100) + 100,
                                      upper - 1);
            a = random::range(b.first + 1, to_int(top));
        }
        if (upper - c + 1 > 99) {
            const wide bottom = std::max(std::max(static_cast<wide>(low) + 100, upper - 1) - 100,
                                         lower + 1);
            c = random::range(to_int(bottom), b.second - 1);
        }
        erase_values(s, std::min(a, c), std::max(a, c));
        return s;
    }
    case 7: {
        // A progression of at most 20 values.
        const std::pair<int, int> b = random_var_bounds(narrow, low, high);
        static const unsigned steps[] = {2, 3, 4, 6, 9};
        const unsigned pick = random::gen(6);
        const wide step = pick < 5 ? steps[pick] : 15;
        wide lower = b.first;
        wide top = b.second - (static_cast<wide>(b.second) - lower) % step;
        if ((top - lower) / step + 1 > 20) {
            if (random::gen(2) == 0)
                lower = top - 19 * step;
            else
                top = lower + 19 * step;
        }
        iset s;
        s.insert(iset::range_type(to_int(lower), to_int(top)), static_cast<unsigned>(step));
        return s;
    }
    default: {
        const std::pair<int, int> b = random_var_bounds(narrow, low, high);
        return iset(b.first, b.second);
    }
    }
}

} // namespace qarn
