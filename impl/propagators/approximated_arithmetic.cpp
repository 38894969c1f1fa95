// The accurate / bounds scheme of the ternary arithmetic constraints.
#include "impl/propagators/approximated_arithmetic.h"

#include <utility>

namespace qarn {

namespace {

// The number of ranges of s, counted up to limit + 1.
std::size_t count_ranges(const iset& s, std::size_t limit) {
#if QARN_SMALL_DOMAINS
    std::size_t n = 0;
    const iset::iterator end = s.end();
    for (iset::iterator it = s.begin(); it != end && n <= limit; it.advance_range())
        ++n;
    return n;
#else
    (void)limit;
    return s.index_map().range_count();
#endif
}

} // namespace

bool approximated_arithmetic_base::any_empty(const iset* domains) {
    return domains[0].empty() || domains[1].empty() || domains[2].empty();
}

void approximated_arithmetic_base::make_empty(iset* domains) {
    for (int i = 0; i < 3; ++i)
        domains[i] = iset();
}

bool approximated_arithmetic_base::reduced_since_last_activation(
    const constraint_runtime_info& ri) {
    return ri.reduced_between_activations(0) || ri.reduced_between_activations(1) ||
           ri.reduced_between_activations(2);
}

bool approximated_arithmetic_base::is_accurate(const iset& d1, const iset& d2, unsigned effort,
                                               unsigned pair_bound) const {
    if (arithmetic::holds_every_value(d1) || arithmetic::holds_every_value(d2))
        return false;
    const unsigned long long pairs = static_cast<unsigned long long>(d1.size()) * d2.size();
    return pairs <= static_cast<unsigned>(10u * effort + pair_bound);
}

bool approximated_arithmetic_base::is_accurate(const iset& d, unsigned effort,
                                               unsigned bound) const {
    if (arithmetic::holds_every_value(d))
        return false;
    if (effort != 0)
        return d.size() <= 2u * (effort + bound + 4u);
    return d.size() <= bound;
}

void approximated_arithmetic_base::propagate_bounds(iset* domains,
                                                    const constraint_runtime_info& ri) const {
    if (any_empty(domains)) {
        make_empty(domains);
        return;
    }
    int split = -1;
    for (int i = 0; i < 3 && split < 0; ++i)
        if (domains[i].min() < 0 && domains[i].max() > 0)
            split = i;
    if (split < 0) {
        propagate_unisigned_bounds(domains, ri);
        if (any_empty(domains))
            make_empty(domains);
        return;
    }
    // The positive half first, then the non-positive one.
    iset positive[3] = {domains[0], domains[1], domains[2]};
    positive[split].intersect(iset::range_type(1, INT_MAX));
    propagate_bounds(positive, ri);
    iset& rest = domains[split];
    rest.erase(iset::range_type(1, INT_MAX));
    propagate_bounds(domains, ri);
    for (int i = 0; i < 3; ++i)
        domains[i].insert_all_of(positive[i]);
}

bool approximated_arithmetic_base::copy_domains_to_info(const iset* domains,
                                                        constraint_runtime_info& ri) {
    bool written = false;
    for (unsigned i = 0; i < 3; ++i) {
        if (same_subset(ri.domain(i), domains[i]))
            continue;
        ri.set_domain(i, domains[i]);
        written = true;
    }
    return written;
}

bool approximated_arithmetic_base::copy_domains_or_bounds_to_info(const iset* domains,
                                                                  constraint_runtime_info& ri) {
    bool written = false;
    const std::size_t limit = static_cast<std::size_t>(ri.effort()) + ri.max_accurate_ranges();
    for (unsigned i = 0; i < 3; ++i) {
        const iset& d = domains[i];
        const iset& current = ri.domain(i);
        if (same_subset(current, d))
            continue;
        if (count_ranges(d, limit) > limit) {
            if (current.min() >= d.min() && current.max() <= d.max())
                continue;
            iset bounded(current);
            bounded.intersect(iset::range_type(d.min(), d.max()));
            ri.set_domain(i, std::move(bounded));
        } else {
            ri.set_domain(i, d);
            written = true;
        }
    }
    return written;
}

constraint_propagator::result_type approximated_arithmetic_base::finish_accurately(
    iset* domains, constraint_runtime_info& ri) {
    if (domains[0].empty())
        return UNSAT;
    copy_domains_or_bounds_to_info(domains, ri);
    return CONSISTENT;
}

constraint_propagator::result_type approximated_arithmetic_base::propagate(
    constraint_runtime_info& ri) {
    if (!reduced_since_last_activation(ri))
        return CONSISTENT;
    if (qarn::any_empty(ri))
        return UNSAT;
    iset d[3] = {ri.domain(0), ri.domain(1), ri.domain(2)};
    const unsigned effort = ri.effort();
    while (!is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound())) {
        propagate_bounds(d, ri);
        if (d[0].empty())
            return UNSAT;
        if (!copy_domains_to_info(d, ri))
            return CONSISTENT;
    }
    propagate_accurately(d[0], d[1], d[2]);
    return finish_accurately(d, ri);
}

bool approximated_arithmetic_base::conflicts(const constraint_runtime_info& ri) const {
    if (qarn::any_empty(ri))
        return true;
    iset d[3] = {ri.domain(0), ri.domain(1), ri.domain(2)};
    const unsigned effort = ri.effort();
    for (;;) {
        if (is_accurate(d[1], d[2], effort, ri.accurate_size_pair_bound())) {
            propagate_accurately(d[0], d[1], d[2]);
            return d[0].empty();
        }
        const iset before[3] = {d[0], d[1], d[2]};
        propagate_bounds(d, ri);
        if (d[0].empty())
            return true;
        bool same = true;
        for (int i = 0; i < 3 && same; ++i)
            same = same_subset(before[i], d[i]);
        if (same)
            return false;
    }
}

void approximated_arithmetic_base::print(std::ostream& os,
                                         const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, long_name()))
        return;
    ri->print_param(os, 0);
    os << "== ";
    ri->print_param(os, 1);
    os << short_name();
    ri->print_param(os, 2);
    os << ')';
}

} // namespace qarn
