// The twelve operator definitions. Constant arithmetic is done in 64 bits;
// a value outside the 32-bit range is one the truncating propagators never
// support, so folding it marks the model contradictory.
#include "impl/model/operator_definitions.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "impl/engine/solver.h"
#include "impl/model/expression_tree.h"
#include "impl/model/operator_registry.h"
#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/division_modulo_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/multiplication_propagators.h"
#include "impl/propagators/literal_propagators.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/power_propagator.h"
#include "impl/propagators/sum_propagators.h"
#include "impl/support/errors.h"

namespace qarn {

namespace {

std::optional<int> in_range(std::int64_t v) {
    if (v < INT_MIN || v > INT_MAX)
        return std::nullopt;
    return static_cast<int>(v);
}

// The value of a constant argument (a variable holding exactly one value).
bool constant_value(const operator_connectivity& c, unsigned var, int& value) {
    const iset& d = c.var_domain(var);
    if (d.empty() || d.size() != 1)
        return false;
    value = d.min();
    return true;
}

bool is_constant(const operator_connectivity& c, unsigned var, int value) {
    int v;
    return constant_value(c, var, v) && v == value;
}

// Within {0, 1}.
bool is_boolean(const iset& d) { return !d.empty() && d.min() >= 0 && d.max() <= 1; }

const iset& boolean_domain() {
    static const iset d(0, 1);
    return d;
}

const operator_definition& registered(unsigned node_type) {
    return *operator_definition_registry::find(node_type);
}

const operator_definition& difference_ge() {
    return *operator_definition_registry::find_predicate("difference_ge");
}


unsigned record(operator_connectivity& c, const operator_definition& def, eval_type t,
                std::initializer_list<unsigned> args, unsigned result,
                const iset& domain = operator_connectivity::everything()) {
    return c.record_operator(&def, t, args.begin(), args.end(), result, domain, 0);
}

// Records sum, sub or mul of a and b. A set that holds every 32-bit value
// starts a new result variable full, and propagation narrows it. With a
// set over fewer values (the one-word set's 0..31) the range the operation
// takes over its arguments' value bounds must fit in the set, and is kept
// as the result's value bounds for the operations built on it.
unsigned record_arithmetic(operator_connectivity& c, const operator_definition& def, eval_type t,
                           unsigned a, unsigned b, unsigned result, char op) {
    const unsigned known = c.owner().var_count();
    const unsigned r = record(c, def, t, {a, b}, result);
    if constexpr (MIN_DOMAIN != INT_MIN || MAX_DOMAIN != INT_MAX) {
        // Only a result variable made just now, or one the caller made
        // without bounds: a shared application's result, or another one the
        // caller gave, has its values already.
        const bool fresh = result == NO_VARIABLE ? r >= known
                                                 : r == result && result == c.unbounded_result();
        if (!fresh)
            return r;
        const auto ba = c.value_bounds(a), bb = c.value_bounds(b);
        if (!(ba && bb)) {
            c.fit_value_range(r, 1, 0); // an argument without values
            return r;
        }
        const auto [a0, a1] = *ba;
        const auto [b0, b1] = *bb;
        std::int64_t lo, hi;
        if (op == '+') {
            lo = a0 + b0;
            hi = a1 + b1;
        } else if (op == '-') {
            lo = a0 - b1;
            hi = a1 - b0;
        } else {
            const std::int64_t corners[] = {a0 * b0, a0 * b1, a1 * b0, a1 * b1};
            lo = *std::min_element(corners, corners + 4);
            hi = *std::max_element(corners, corners + 4);
        }
        c.fit_value_range(r, lo, hi);
    }
    return r;
}

// A constant folded from constant arguments: its shared variable, or, for a
// value outside the 32-bit range, the model marked contradictory and the
// application recorded (its propagators find no support either).
unsigned folded(operator_connectivity& c, std::optional<int> value,
                const operator_definition& def, eval_type t, const unsigned* first,
                const unsigned* last, unsigned result) {
    if (value)
        return c.owner().singleton_var(*value);
    c.mark_unsat();
    return c.record_operator(&def, t, first, last, result, operator_connectivity::everything(),
                             0);
}

template <class P, class... Data>
constraint_connectivity_info& post(solver& s, Data&&... data) {
    return s.add_constraint(std::make_unique<P>(std::forward<Data>(data)...));
}

// div and mod are recorded exact whatever the caller asks.
unsigned record_exact(operator_connectivity& c, const operator_definition& def,
                      const unsigned* first, const unsigned* last, unsigned result) {
    return c.record_operator(&def, EVAL_EXACT, first, last, result,
                             operator_connectivity::everything(), 0);
}

void sort_two(unsigned* first, unsigned* last) {
    if (last - first == 2 && first[1] < first[0])
        std::swap(first[0], first[1]);
}

} // namespace

// ---- defaults

std::optional<int> operator_definition::reverse_eval(const iset&, unsigned) const {
    return std::nullopt;
}

eval_type operator_definition::arg_eval_type(operator_connectivity&, eval_type, unsigned,
                                             const unsigned*, const unsigned*, unsigned) const {
    return EVAL_EXACT;
}

void operator_definition::canonize_order(operator_connectivity&, unsigned*, unsigned*) const {}

// ---- sum

std::optional<int> sum_definition::eval(const int* first, const int*) const {
    return in_range(std::int64_t(first[0]) + first[1]);
}

unsigned sum_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                       const unsigned* first, const unsigned* last,
                                       unsigned result) const {
    const unsigned a = first[0], b = first[1];
    if (is_constant(c, a, 0))
        return b;
    if (is_constant(c, b, 0))
        return a;
    int ca, cb;
    if (constant_value(c, a, ca) && constant_value(c, b, cb)) {
        const int values[] = {ca, cb};
        return folded(c, eval(values, values + 2), *this, t, first, last, result);
    }
    if (a == b)
        return record_arithmetic(c, registered(xcsp::F_MUL), t, a, c.owner().singleton_var(2),
                                 result, '*');
    const unsigned r = record_arithmetic(c, *this, t, a, b, result, '+');
    // r - a is b and r - b is a.
    const operator_definition& sub = registered(xcsp::F_SUB);
    record(c, sub, t, {r, a}, b);
    record(c, sub, t, {r, b}, a);
    return r;
}

eval_type sum_definition::arg_eval_type(operator_connectivity&, eval_type t, unsigned,
                                        const unsigned*, const unsigned*, unsigned) const {
    return t;
}

void sum_definition::canonize_order(operator_connectivity&, unsigned* first,
                                    unsigned* last) const {
    sort_two(first, last);
}

void sum_definition::create_constraints(solver& s, eval_type t, unsigned, unsigned r,
                                        const unsigned* first, const unsigned*) const {
    const unsigned a = first[0], b = first[1];
    if (a == b) { // r = 2 * a
        post<mul_truncate_propagator>(s) << r << s.singleton_var(2) << a;
        return;
    }
    const iset& da = s.domain(a);
    const iset& db = s.domain(b);
    unsigned x = NO_VARIABLE;
    int k = 0;
    if (!da.empty() && da.size() == 1) {
        x = b;
        k = da.min();
    } else if (!db.empty() && db.size() == 1) {
        x = a;
        k = db.min();
    }
    if (x != NO_VARIABLE) { // r = x + k
        if (k == 0) {
            post<equal_propagator>(s) << r << x;
        } else if (t == EVAL_EXACT) {
            post<sum_truncate_propagator>(s) << r << x << s.singleton_var(k);
        } else {
            if (t & EVAL_AT_MOST) { // x - r >= -k
                if (k == INT_MIN)
                    post<less_equal_sum_propagator>(s) << r << x << s.singleton_var(k);
                else
                    post<difference_ge_propagator>(s, -k) << x << r;
            }
            if (t & EVAL_AT_LEAST) // r - x >= k
                post<difference_ge_propagator>(s, k) << r << x;
        }
        return;
    }
    if (t == EVAL_EXACT) {
        post<sum_truncate_propagator>(s) << r << a << b;
        return;
    }
    if (t & EVAL_AT_MOST) // -r + a + b >= 0
        post<linear_combination_ge_propagator>(s, 0, std::vector<int>{-1, 1, 1}) << r << a << b;
    if (t & EVAL_AT_LEAST) // r - a - b >= 0
        post<linear_combination_ge_propagator>(s, 0, std::vector<int>{1, -1, -1}) << r << a << b;
}

// ---- sub

std::optional<int> sub_definition::eval(const int* first, const int*) const {
    return in_range(std::int64_t(first[0]) - first[1]);
}

unsigned sub_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned a = first[0], b = first[1];
    if (is_constant(c, b, 0))
        return a;
    if (a == b)
        return c.owner().singleton_var(0);
    const unsigned r = record_arithmetic(c, *this, t, a, b, result, '-');
    // a - r is b, and r + b is a: that sum posts the relation.
    record(c, *this, t, {a, r}, b);
    record(c, registered(xcsp::F_ADD), flip(t), {r, b}, a);
    return r;
}

eval_type sub_definition::arg_eval_type(operator_connectivity&, eval_type t, unsigned i,
                                        const unsigned*, const unsigned*, unsigned) const {
    return i == 0 ? t : flip(t);
}

void sub_definition::create_constraints(solver&, eval_type, unsigned, unsigned,
                                        const unsigned*, const unsigned*) const {}

// ---- mul

std::optional<int> mul_definition::eval(const int* first, const int*) const {
    return in_range(std::int64_t(first[0]) * first[1]);
}

unsigned mul_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned a = first[0], b = first[1];
    if (is_constant(c, a, 0))
        return a;
    if (is_constant(c, b, 0))
        return b;
    if (is_constant(c, a, 1))
        return b;
    if (is_constant(c, b, 1))
        return a;
    return record_arithmetic(c, *this, t, a, b, result, '*');
}

eval_type mul_definition::arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                                        const unsigned* first, const unsigned* last,
                                        unsigned) const {
    if (!first || last - first < 2 || first[1 - i] == NO_VARIABLE)
        return EVAL_EXACT;
    const iset& other = c.var_domain(first[1 - i]);
    if (other.empty())
        return EVAL_EXACT;
    if (other.min() >= 0)
        return t;
    if (other.max() > 0)
        return EVAL_EXACT;
    return flip(t);
}

void mul_definition::canonize_order(operator_connectivity&, unsigned* first,
                                    unsigned* last) const {
    sort_two(first, last);
}

void mul_definition::create_constraints(solver& s, eval_type t, unsigned, unsigned r,
                                        const unsigned* first, const unsigned*) const {
    const unsigned a = first[0], b = first[1];
    if (a == b) {
        post<pow_propagator>(s) << r << a << s.singleton_var(2);
        return;
    }
    if (t == EVAL_EXACT) {
        post<mul_truncate_propagator>(s) << r << a << b;
        return;
    }
    if (t & EVAL_AT_MOST)
        post<less_equal_mul_propagator>(s) << r << a << b;
    if (t & EVAL_AT_LEAST)
        post<greater_equal_mul_propagator>(s) << r << a << b;
}

// ---- div and mod

template <class P>
void direct_operator_definition<P>::create_constraints(solver& s, eval_type, unsigned,
                                                       unsigned r, const unsigned* first,
                                                       const unsigned* last) const {
    constraint_connectivity_info& record = post<P>(s);
    record << r;
    for (const unsigned* a = first; a != last; ++a)
        record << *a;
}

template class direct_operator_definition<div_propagator>;
template class direct_operator_definition<mod_propagator>;

std::optional<int> div_definition::eval(const int* first, const int*) const {
    if (first[1] == 0)
        return 0;
    return in_range(std::int64_t(first[0]) / first[1]); // INT_MIN / -1 has no value
}

unsigned div_definition::symbolic_eval(operator_connectivity& c, eval_type,
                                       const unsigned* first, const unsigned* last,
                                       unsigned result) const {
    return record_exact(c, *this, first, last, result);
}


std::optional<int> mod_definition::eval(const int* first, const int*) const {
    if (first[1] == 0)
        return 0;
    return static_cast<int>(std::int64_t(first[0]) % first[1]); // INT_MIN % -1 is 0
}

unsigned mod_definition::symbolic_eval(operator_connectivity& c, eval_type,
                                       const unsigned* first, const unsigned* last,
                                       unsigned result) const {
    return record_exact(c, *this, first, last, result);
}


// ---- abs

std::optional<int> abs_definition::eval(const int* first, const int*) const {
    const std::int64_t a = first[0];
    return in_range(a < 0 ? -a : a); // |INT_MIN| has no value
}

unsigned abs_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned a = first[0];
    const iset& d = c.var_domain(a);
    if (d.empty() || d.min() >= 0)
        return a;
    static const iset non_negative(0, MAX_DOMAIN);
    return record(c, *this, t, {a}, result, non_negative);
}

eval_type abs_definition::arg_eval_type(operator_connectivity&, eval_type t, unsigned,
                                        const unsigned*, const unsigned*, unsigned) const {
    return t == EVAL_AT_LEAST ? EVAL_BOTH : EVAL_EXACT;
}

void abs_definition::create_constraints(solver& s, eval_type t, unsigned, unsigned r,
                                        const unsigned* first, const unsigned*) const {
    const unsigned a = first[0];
    if (a == r) {
        iset d = s.domain(r);
        d.intersect(iset::range_type(0, MAX_DOMAIN));
        s.set_var_domain(r, std::move(d), -1);
        return;
    }
    if (t == EVAL_EXACT) {
        post<abs_propagator>(s) << r << a;
        return;
    }
    if (t & EVAL_AT_MOST)
        post<less_equal_abs_propagator>(s) << r << a;
    if (t & EVAL_AT_LEAST)
        post<greater_equal_abs_propagator>(s) << r << a;
}

// ---- not
// The result is 1 exactly when the argument is 0, whatever values the
// argument may take. The shortcuts that read not as a swap of 0 and 1
// (not(not(a)) is a, a result of 0 means an argument of 1, posting a != r)
// are taken only while the argument lies within {0, 1}.

std::optional<int> not_definition::eval(const int* first, const int*) const {
    return first[0] == 0 ? 1 : 0;
}

unsigned not_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned a = first[0];
    const iset& d = c.var_domain(a);
    if (!d.contains(0))
        return c.owner().singleton_var(0);
    if (d.size() == 1)
        return c.owner().singleton_var(1);
    const bool boolean_argument = is_boolean(d);
    const unsigned r = record(c, *this, t, {a}, result, boolean_domain());
    // Over {0, 1}, r <= not(a) is a <= not(r) and r >= not(a) is a >= not(r):
    // the reverse application keeps the evaluation type.
    if (boolean_argument)
        record(c, *this, t, {r}, a);
    return r;
}

std::optional<int> not_definition::reverse_eval(const iset& result, unsigned) const {
    // A result of 0 says only that the argument is not 0.
    if (!result.empty() && result.size() == 1 && result.min() == 1)
        return 0;
    return std::nullopt;
}

eval_type not_definition::arg_eval_type(operator_connectivity& c, eval_type t, unsigned,
                                        const unsigned* first, const unsigned*,
                                        unsigned) const {
    // not is decreasing only over {0, 1}; an argument that is not yet built
    // may take other values.
    if (first[0] != NO_VARIABLE && is_boolean(c.var_domain(first[0])))
        return flip(t);
    return EVAL_EXACT;
}

void not_definition::create_constraints(solver& s, eval_type t, unsigned, unsigned r,
                                        const unsigned* first, const unsigned*) const {
    const unsigned a = first[0];
    // r <= not(a): r is 0 or a is 0; r >= not(a): r is 1 or a is not 0.
    if (t == EVAL_AT_MOST) {
        post<clause_propagator>(s, std::initializer_list<iset>{iset(0), iset(0)}) << r << a;
        return;
    }
    if (t == EVAL_AT_LEAST) {
        iset non_zero(operator_connectivity::everything());
        non_zero.erase(iset::range_type(0, 0));
        post<clause_propagator>(s, std::initializer_list<iset>{iset(1), non_zero}) << r << a;
        return;
    }
    if (!is_boolean(s.domain(a)) || !is_boolean(s.domain(r)))
        post<is_equal_propagator>(s) << r << a << s.singleton_var(0);
    else
        post<neq_propagator>(s) << r << a;
}

// ---- difference_ge: a - b >= k

std::optional<int> difference_ge_definition::eval(const int* first, const int*) const {
    return std::int64_t(first[0]) - first[1] >= first[2] ? 1 : 0;
}

unsigned difference_ge_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                                 const unsigned* first, const unsigned*,
                                                 unsigned result) const {
    const unsigned a = first[0], b = first[1], kv = first[2];
    const iset& dk = c.var_domain(kv);
    if (dk.empty())
        return c.owner().singleton_var(1);
    const std::int64_t k = dk.min();
    if (a == b)
        return c.owner().singleton_var(k <= 0 ? 1 : 0);
    const iset& da = c.var_domain(a);
    const iset& db = c.var_domain(b);
    if (da.empty() || db.empty())
        return c.owner().singleton_var(1);
    if (std::int64_t(da.min()) - db.max() >= k)
        return c.owner().singleton_var(1);
    if (std::int64_t(da.max()) - db.min() < k)
        return c.owner().singleton_var(0);
    return record(c, *this, t, {a, b, kv}, result, boolean_domain());
}

eval_type difference_ge_definition::arg_eval_type(operator_connectivity& c, eval_type t,
                                                  unsigned i, const unsigned*, const unsigned*,
                                                  unsigned result) const {
    if (i > 1)
        return EVAL_EXACT; // the constant
    if (t == EVAL_AT_MOST || t == EVAL_AT_LEAST)
        return i == 0 ? t : flip(t);
    if (result == NO_VARIABLE)
        return EVAL_BOTH;
    const iset& d = c.var_domain(result);
    if (!d.contains(1)) // always false: a stays low, b high
        return i == 0 ? EVAL_AT_LEAST : EVAL_AT_MOST;
    if (d.contains(0))
        return EVAL_BOTH;
    return i == 0 ? EVAL_AT_MOST : EVAL_AT_LEAST; // always true
}

void difference_ge_definition::create_constraints(solver& s, eval_type t, unsigned, unsigned r,
                                                  const unsigned* first, const unsigned*) const {
    const unsigned a = first[0], b = first[1];
    const iset& da = s.domain(a);
    const iset& db = s.domain(b);
    const iset& dk = s.domain(first[2]);
    if (da.empty() || db.empty() || dk.empty())
        return;
    const int k = dk.min();
    auto narrow_result = [&](int value) {
        iset d = s.domain(r);
        d.intersect(iset::range_type(value, value));
        s.set_var_domain(r, std::move(d), -1);
    };
    // b - a >= 1 - k, that is a - b < k; 1 - INT_MIN has no 32-bit value.
    auto negated_k = [&] {
        if (k == INT_MIN)
            throw_runtime_error("Unsupported: x-y < k when k is INT_MIN");
        return 1 - k;
    };
    if (std::int64_t(da.min()) - db.max() >= k) {
        if (t != EVAL_AT_MOST)
            narrow_result(1);
    } else if ((k > 0 && a == b) || std::int64_t(da.max()) - db.min() < k) {
        if (t != EVAL_AT_LEAST)
            narrow_result(0);
    } else if (!s.domain(r).contains(1)) {
        if (t != EVAL_AT_MOST)
            post<difference_ge_propagator>(s, negated_k()) << b << a;
    } else if (!s.domain(r).contains(0)) {
        if (t != EVAL_AT_LEAST)
            post<difference_ge_propagator>(s, k) << a << b;
    } else {
        if (t & EVAL_AT_MOST) // r is 0 or a - b >= k
            post<literal_or_difference_ge_propagator>(s, iset(0), k) << r << a << b;
        if (t & EVAL_AT_LEAST) // r is 1 or b - a >= 1 - k
            post<literal_or_difference_ge_propagator>(s, iset(1), negated_k()) << r << b << a;
    }
}

// ---- lt and ge: recorded as difference_ge

std::optional<int> lt_definition::eval(const int* first, const int*) const {
    return first[0] < first[1] ? 1 : 0;
}

unsigned lt_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                      const unsigned* first, const unsigned*,
                                      unsigned result) const {
    const unsigned args[] = {first[1], first[0], c.owner().singleton_var(1)};
    return difference_ge().symbolic_eval(c, t, args, args + 3, result);
}

eval_type lt_definition::arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned args[] = {first[1], first[0], c.owner().singleton_var(1)};
    return difference_ge().arg_eval_type(c, t, 1 - i, args, args + 3, result);
}

void lt_definition::create_constraints(solver&, eval_type, unsigned, unsigned, const unsigned*,
                                       const unsigned*) const {
    throw_runtime_error(
        "lt_definition::create_constraints should not be called, used difference_ge_definition "
        "instead");
}

std::optional<int> ge_definition::eval(const int* first, const int*) const {
    return first[0] >= first[1] ? 1 : 0;
}

unsigned ge_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                      const unsigned* first, const unsigned*,
                                      unsigned result) const {
    const unsigned args[] = {first[0], first[1], c.owner().singleton_var(0)};
    return difference_ge().symbolic_eval(c, t, args, args + 3, result);
}

eval_type ge_definition::arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                                       const unsigned* first, const unsigned*,
                                       unsigned result) const {
    const unsigned args[] = {first[0], first[1], c.owner().singleton_var(0)};
    return difference_ge().arg_eval_type(c, t, i, args, args + 3, result);
}

void ge_definition::create_constraints(solver&, eval_type, unsigned, unsigned, const unsigned*,
                                       const unsigned*) const {
    throw_runtime_error(
        "ge_definition::create_constraints should not be called, use difference_ge instead");
}

double ge_definition::tightness() const { return difference_ge().tightness(); }

// ---- reversed operators: le(a, b) is ge(b, a), gt(a, b) is lt(b, a)

std::optional<int> reversed_definition::eval(const int* first, const int*) const {
    const int swapped[] = {first[1], first[0]};
    return reversed_op().eval(swapped, swapped + 2);
}

unsigned reversed_definition::symbolic_eval(operator_connectivity& c, eval_type t,
                                            const unsigned* first, const unsigned*,
                                            unsigned result) const {
    const unsigned swapped[] = {first[1], first[0]};
    return reversed_op().symbolic_eval(c, t, swapped, swapped + 2, result);
}

std::optional<int> reversed_definition::reverse_eval(const iset& result, unsigned i) const {
    return reversed_op().reverse_eval(result, 1 - i);
}

eval_type reversed_definition::arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                                             const unsigned* first, const unsigned*,
                                             unsigned result) const {
    const unsigned swapped[] = {first[1], first[0]};
    return reversed_op().arg_eval_type(c, t, 1 - i, swapped, swapped + 2, result);
}

void reversed_definition::canonize_order(operator_connectivity& c, unsigned* first,
                                         unsigned* last) const {
    std::swap(first[0], first[1]);
    reversed_op().canonize_order(c, first, last);
    std::swap(first[0], first[1]);
}

void reversed_definition::create_constraints(solver&, eval_type, unsigned, unsigned,
                                             const unsigned*, const unsigned*) const {
    throw std::runtime_error(
        std::string(name()) +
        "_definition::create_constraints should not be called, use the reversed operator "
        "instead ");
}

double reversed_definition::tightness() const { return reversed_op().tightness(); }

const operator_definition& le_definition::reversed_op() const { return registered(xcsp::F_GE); }

const operator_definition& gt_definition::reversed_op() const { return registered(xcsp::F_LT); }

} // namespace qarn
