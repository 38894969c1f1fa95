// Minimum and maximum.
#include "impl/propagators/minmax_propagators.h"

#include <climits>
#include <utility>

#include "impl/propagators/arithmetic.h"

namespace qarn {

namespace {

iset::range_type up_to(int v) {
    return iset::range_type(INT_MIN, v);
}

iset::range_type from(int v) {
    return iset::range_type(v, INT_MAX);
}

// d ∩ ([INT_MIN, a] ∪ upper), or d ∩ upper when there is no a. The two parts
// are taken from d separately and joined, so that a strided d is never merged
// with a range it does not share a lattice with.
iset restrict_to(const iset& d, bool has_a, int a, const iset& upper) {
    if (has_a && d.max() <= a)
        return d;
    iset low;
    if (has_a) {
        low = d;
        low.intersect(up_to(a));
    }
    iset high(d);
    high.intersect(upper);
    if (has_a)
        high.intersect(from(a + 1)); // d.max() > a, so a < INT_MAX
    if (low.empty())
        return high;
    low.insert_all_of(high);
    return low;
}

// After the prefix: "r=name(x1, ..., xn)".
void print_n_ary(std::ostream& os, const constraint_runtime_info& ri, const char* name) {
    ri.print_param(os, 0);
    os << '=' << name << '(';
    for (unsigned p = 1; p < ri.arity(); ++p) {
        if (p > 1)
            os << ", ";
        ri.print_param(os, p);
    }
    os << ')';
}

} // namespace

// ---------------------------------------------------------------------------
// The shared algorithm

std::size_t min_max_propagator::find_index_of_max(const std::vector<iset>& domains) {
    std::size_t best = domains.size();
    for (std::size_t i = 0; i < domains.size(); ++i)
        if (!domains[i].empty() &&
            (best == domains.size() || domains[i].max() >= domains[best].max()))
            best = i;
    return best;
}

int min_max_propagator::find_max_lower_bound(const std::vector<iset>& domains) {
    int lb = INT_MIN;
    for (std::size_t i = 1; i < domains.size(); ++i)
        if (!domains[i].empty() && domains[i].min() > lb)
            lb = domains[i].min();
    return lb;
}

bool min_max_propagator::erase_values_above(std::vector<iset>& domains, int v) {
    for (iset& d : domains) {
        if (d.empty())
            return false;
        if (d.max() > v) {
            d.intersect(up_to(v));
            if (d.empty())
                return false;
        }
    }
    return true;
}

void min_max_propagator::get_result_supports(const std::vector<iset>& domains,
                                             std::vector<iset>& out) {
    out.resize(domains.size());
    if (out.empty())
        return;
    out[0] = iset();
    for (std::size_t i = 1; i < domains.size(); ++i) {
        out[i] = domains[i];
        out[i].intersect(domains[0]);
    }
}

bool min_max_propagator::propagate_to_max_result(std::vector<iset>& domains) {
    iset& r = domains[0];
    if (r.empty())
        return false;
    // The result lies in some argument and is not below any argument's minimum.
    iset bounded(r);
    bounded.intersect(from(find_max_lower_bound(domains)));
    iset result;
    if (!bounded.empty()) {
        for (std::size_t i = 1; i < domains.size(); ++i) {
            if (domains[i].empty())
                continue;
            iset part(domains[i]);
            part.intersect(bounded);
            result.insert_all_of(part);
        }
    }
    r = std::move(result);
    return !r.empty();
}

bool min_max_propagator::propagate_max(std::vector<iset>& domains) {
    const std::size_t n = domains.size();
    if (n < 2)
        return false;
    if (!propagate_to_max_result(domains))
        return false;
    if (!erase_values_above(domains, domains[0].max()))
        return false;

    // The arguments' values that the result can take.
    static std::vector<iset> supporting_max;
    get_result_supports(domains, supporting_max);
    const std::size_t j = find_index_of_max(supporting_max);
    if (j == n)
        return false;
    const int top = supporting_max[j].max();
    const int lb = find_max_lower_bound(supporting_max);
    supporting_max[j] = iset();
    const std::size_t j2 = find_index_of_max(supporting_max);
    const bool has_second = j2 < n;
    const int second = has_second ? supporting_max[j2].max() : 0;
    iset upper(domains[0]);
    upper.intersect(from(lb));

    // Only argument j reaches the top of r: it stays at or below the second
    // best support, or takes a value of r that no other argument's support
    // rules out as the maximum.
    for (std::size_t i = 1; i < n; ++i) {
        iset narrowed = i == j ? restrict_to(domains[i], has_second, second, upper)
                               : restrict_to(domains[i], true, top, upper);
        if (narrowed.empty())
            return false;
        domains[i] = std::move(narrowed);
    }
    return true;
}

// ---------------------------------------------------------------------------
// r = max(x1, ..., xn)

constraint_propagator::result_type max_propagator::propagate(constraint_runtime_info& ri) {
    static std::vector<iset> domains;
    const unsigned n = ri.arity();
    domains.resize(n);
    for (unsigned p = 0; p < n; ++p)
        domains[p] = ri.domain(p);
    if (!propagate_max(domains))
        return UNSAT;
    for (unsigned p = 0; p < n; ++p)
        ri.set_domain(p, std::move(domains[p]));
    return CONSISTENT;
}

bool max_propagator::conflicts(const constraint_runtime_info& ri) const {
    static std::vector<iset> domains;
    const unsigned n = ri.arity();
    domains.resize(n);
    for (unsigned p = 0; p < n; ++p)
        domains[p] = ri.domain(p);
    return !propagate_max(domains);
}

bool max_propagator::constraint_check(const constraint_runtime_info& ri) const {
    if (ri.arity() < 2)
        return false;
    int best = INT_MIN;
    for (unsigned p = 1; p < ri.arity(); ++p)
        if (ri.domain(p).min() > best)
            best = ri.domain(p).min();
    return ri.domain(0).min() == best;
}

void max_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (print_opening(os, ri, "max", ""))
        print_n_ary(os, *ri, "max");
}

std::unique_ptr<constraint_propagator> max_propagator::clone() const {
    return std::make_unique<max_propagator>(*this);
}

// ---------------------------------------------------------------------------
// r = min(x1, ..., xn), as the maximum of the mirrored domains

void min_propagator::mirror(iset& s) {
    if (s.empty() || arithmetic::holds_every_value(s))
        return;
    constexpr long long SUM = static_cast<long long>(MIN_DOMAIN) + MAX_DOMAIN;
    auto image = [](long long v) { return static_cast<int>(SUM - v); };
#if QARN_SMALL_DOMAINS
    iset out;
    for (int v : s)
        out.insert(iset::range_type(image(v), image(v)));
#else
    // The image lies on one lattice of the set's stride: start from the
    // whole progression between the images of the extremes and erase the
    // images of the gaps between the set's index ranges.
    const unsigned stride = s.stride(), offset = s.offset();
    auto value_of = [stride, offset](int index) {
        return static_cast<int>(static_cast<unsigned>(index) * stride + offset);
    };
    iset out;
    out.insert(iset::range_type(image(s.max()), image(s.min())), stride);
    bool first = true;
    long long previous_hi = 0;
    for (const auto& node : s.index_map().ranges()) {
        const long long lo = value_of(node.second.first);
        if (!first)
            out.erase(iset::range_type(image(lo - 1), image(previous_hi + 1)));
        first = false;
        previous_hi = value_of(node.second.second);
    }
#endif
    s = std::move(out);
}

constraint_propagator::result_type min_propagator::propagate(constraint_runtime_info& ri) {
    static std::vector<iset> domains;
    const unsigned n = ri.arity();
    domains.resize(n);
    for (unsigned p = 0; p < n; ++p) {
        domains[p] = ri.domain(p);
        mirror(domains[p]);
    }
    if (!propagate_max(domains))
        return UNSAT;
    for (unsigned p = 0; p < n; ++p) {
        mirror(domains[p]);
        ri.set_domain(p, std::move(domains[p]));
    }
    return CONSISTENT;
}

bool min_propagator::conflicts(const constraint_runtime_info& ri) const {
    static std::vector<iset> domains;
    const unsigned n = ri.arity();
    domains.resize(n);
    for (unsigned p = 0; p < n; ++p) {
        domains[p] = ri.domain(p);
        mirror(domains[p]);
    }
    return !propagate_max(domains);
}

bool min_propagator::constraint_check(const constraint_runtime_info& ri) const {
    if (ri.arity() < 2)
        return false;
    int best = INT_MAX;
    for (unsigned p = 1; p < ri.arity(); ++p)
        if (ri.domain(p).min() < best)
            best = ri.domain(p).min();
    return ri.domain(0).min() == best;
}

void min_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (print_opening(os, ri, "min", ""))
        print_n_ary(os, *ri, "min");
}

std::unique_ptr<constraint_propagator> min_propagator::clone() const {
    return std::make_unique<min_propagator>(*this);
}

} // namespace qarn
