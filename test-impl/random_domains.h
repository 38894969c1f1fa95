// Random values, bounds and domains for brute-force checks of propagators.
// The domains exercise the shapes propagators care about: single values,
// pairs, ranges with one or many holes, holes clustered together, a hole near
// each end, and strided sets. Every draw comes from qarn::random, so a seed
// reproduces a sequence; the values lie within the build's domain limits
// (all 32-bit values, or 0..31 in the small model).
#pragma once

#include <utility>

#include "impl/sets/model.h"

namespace qarn {

// Whether every 32-bit value can be in a domain of this build.
bool are_all_values_legal_for_var();

// low or high one time in six each, otherwise uniform in low..high.
int random_var_in_bounds(int low, int high);

// Two draws of random_var_in_bounds, ordered; when max_width is not 0 the
// pair spans at most max_width values.
std::pair<int, int> random_var_bounds(unsigned max_width, int low, int high);
// At most 100 values when narrow, otherwise unlimited.
std::pair<int, int> random_var_bounds(bool narrow, int low, int high);

// A value no domain can hold; throws std::domain_error when there is none.
int random_var_out_of_bounds();

// value one time in five, otherwise any value, out of bounds half the time
// when the build has such values.
int random_var_maybe_out_of_bound(int value);

// The number of maximal runs of consecutive values.
unsigned count_ranges(const iset& set);

// The empty set one time in ten, otherwise random_nonempty_var.
iset random_var(bool narrow, int low, int high);

// A non-empty subset of low..high; narrow keeps its bounds within 100 values
// of each other in most shapes.
iset random_nonempty_var(bool narrow, int low, int high);

} // namespace qarn
