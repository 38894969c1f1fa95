// Minimum and maximum over (r, x1, ..., xn):
//   max  r = max(x1, ..., xn)
//   min  r = min(x1, ..., xn)
// Both run one algorithm, propagate_max, on a vector of sets (entry 0 the
// result, the arguments after it); the minimum runs it on mirrored sets
// (v -> MIN_DOMAIN + MAX_DOMAIN - v, which reverses the order of the values
// a domain can hold and cannot overflow). With no argument there is no
// maximum or minimum and the constraint cannot hold.
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class min_max_propagator : public tight_constraint_propagator {
public:
    // Narrows domains[0] (the result) and domains[1..] (the arguments) in
    // place; false when the maximum cannot hold.
    static bool propagate_max(std::vector<iset>& domains);

    // The index of the non-empty set with the largest maximum, over all
    // indices, ties to the later one; domains.size() when all are empty.
    static std::size_t find_index_of_max(const std::vector<iset>& domains);
    // The largest minimum over the non-empty sets at indices 1..; INT_MIN
    // when there is none.
    static int find_max_lower_bound(const std::vector<iset>& domains);
    // Cuts every set to values not above v, in index order; false at the
    // first set that is or becomes empty.
    static bool erase_values_above(std::vector<iset>& domains, int v);
    // out[i] = domains[i] ∩ domains[0] for every argument i; out[0] is empty.
    static void get_result_supports(const std::vector<iset>& domains, std::vector<iset>& out);
    // domains[0] ∩= (∪ arguments) ∩ [largest minimum of the arguments, INT_MAX];
    // true when it stays non-empty.
    static bool propagate_to_max_result(std::vector<iset>& domains);
};

class max_propagator : public min_max_propagator {
public:
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
};

class min_propagator : public min_max_propagator {
public:
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // Replaces the set by {MIN_DOMAIN + MAX_DOMAIN - v : v in it}, range by
    // range: the cost follows the set's ranges, not its values.
    static void mirror(iset& s);
};

} // namespace qarn
