// The linear combination: bounds propagation with exact rounding in 64 or
// 128 bits, its explanations, its restriction to ground values and its
// combinations during learning.
#include "impl/propagators/linear_combination.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <utility>

#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/sum_propagators.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

typedef std::int64_t wide;

bool fits_int32(long v) {
    return v >= INT_MIN && v <= INT_MAX;
}

// The value saturated to 64 bits: enough for bounds that are then clamped
// to the 32-bit range.
wide saturate(const int128& v) {
    if (v > int128(LONG_MAX))
        return LONG_MAX;
    if (v < int128(LONG_MIN))
        return LONG_MIN;
    return v.as_int64();
}
wide saturate(long v) {
    return v;
}

// n / d rounded toward +infinity (up) or -infinity (down); d != 0.
long divide(long n, int d, int128::rounding_mode mode) {
    return saturate(int128(n).divide(d, mode));
}
int128 divide(const int128& n, int d, int128::rounding_mode mode) {
    return n.divide(d, mode);
}

unsigned long magnitude(long c) {
    return c < 0 ? 0ul - static_cast<unsigned long>(c) : static_cast<unsigned long>(c);
}

} // namespace

// ---------------------------------------------------------------------------
// Propagation

bool linear_combination_ge_propagator::init(constraint_runtime_info& ri) {
    const int n = static_cast<int>(m_coefficients.size());
    m_small = true;
    if (n == 0)
        return true;
    for (unsigned i = 0; i < m_coefficients.size() && i < ri.arity(); ++i) {
        const int c = m_coefficients[i];
        if (c > 0)
            ri.allocate_watch(i, UPPER_BOUND_WATCH);
        else if (c < 0)
            ri.allocate_watch(i, LOWER_BOUND_WATCH);
        if (c < INT_MIN / n || c > INT_MAX / n)
            m_small = false;
    }
    return true;
}

template <class T>
T linear_combination_ge_propagator::slack(const constraint_runtime_info& ri) const {
    T s = -T(m_k);
    for (unsigned i = 0; i < m_coefficients.size(); ++i) {
        const int c = m_coefficients[i];
        if (c != 0)
            s += T(c) * T(c > 0 ? ri.domain(i).max() : ri.domain(i).min());
    }
    return s;
}

template <class T>
void linear_combination_ge_propagator::propagate_to_argument(constraint_runtime_info& ri,
                                                             unsigned i, const T& slack) const {
    const int c = m_coefficients[i];
    const iset& d = ri.domain(i);
    if (c == 0 || d.min() == d.max())
        return;
    // r: the slack without parameter i's part; c * xi + r >= 0 must hold.
    if (c > 0) {
        const T r = slack - T(c) * T(d.max());
        if (T(c) * T(d.min()) + r >= T(0))
            return;
        const wide lb = saturate(divide(-r, c, int128::ROUND_UP));
        iset narrowed(d);
        bounded::intersect(narrowed, lb, d.max());
        ri.set_domain(i, std::move(narrowed));
    } else {
        const T r = slack - T(c) * T(d.min());
        if (T(c) * T(d.max()) + r >= T(0))
            return;
        const wide ub = saturate(divide(-r, c, int128::ROUND_DOWN));
        iset narrowed(d);
        bounded::intersect(narrowed, d.min(), ub);
        ri.set_domain(i, std::move(narrowed));
    }
}

template <class T>
constraint_propagator::result_type linear_combination_ge_propagator::const_propagate(
    constraint_runtime_info& ri) const {
    const T s = slack<T>(ri);
    if (s < T(0))
        return UNSAT;
    // Raising a lower bound of a positive term (or lowering an upper bound of
    // a negative one) leaves the slack as it is.
    for (unsigned i = 0; i < m_coefficients.size(); ++i)
        propagate_to_argument<T>(ri, i, s);
    return CONSISTENT;
}

constraint_propagator::result_type linear_combination_ge_propagator::propagate(
    constraint_runtime_info& ri) {
    if (any_empty(ri))
        return UNSAT;
    if (!m_small)
        return const_propagate<int128>(ri);
    return const_propagate<long>(ri);
}

bool linear_combination_ge_propagator::conflicts(const constraint_runtime_info& ri) const {
    return any_empty(ri) || slack<int128>(ri) < int128(0);
}

bool linear_combination_ge_propagator::constraint_check(const constraint_runtime_info& ri) const {
    int128 sum = 0;
    for (unsigned i = 0; i < m_coefficients.size(); ++i)
        sum += int128(m_coefficients[i]) * int128(ri.domain(i).min());
    return sum >= int128(m_k);
}

void linear_combination_ge_propagator::explain_propagation(unsigned param, const iset&,
                                                           const iset&,
                                                           const constraint_runtime_info& ri,
                                                           std::vector<iset>& explanation) const {
    const unsigned n = static_cast<unsigned>(m_coefficients.size());
    explanation.assign(n, iset());
    if (n == 0)
        return;
    const unsigned p = param < n ? param : 0;
    for (unsigned i = 0; i < n; ++i) {
        if (i != p && ri.domain(i).empty()) {
            // Nothing satisfies a parameter without values.
            explanation[i] = bounded::all_values();
            return;
        }
    }
    int128 rest = m_k; // what parameter p must make up for
    for (unsigned i = 0; i < n; ++i) {
        const int c = m_coefficients[i];
        if (i == p || c == 0)
            continue;
        const iset& d = ri.domain(i);
        if (c > 0) {
            explanation[i] = bounded::interval(wide(d.max()) + 1, INT_MAX);
            rest -= int128(c) * int128(d.max());
        } else {
            explanation[i] = bounded::interval(INT_MIN, wide(d.min()) - 1);
            rest -= int128(c) * int128(d.min());
        }
    }
    const int cp = m_coefficients[p];
    if (cp > 0)
        explanation[p] = bounded::interval(saturate(rest.divide(cp, int128::ROUND_UP)), INT_MAX);
    else if (cp < 0)
        explanation[p] =
            bounded::interval(INT_MIN, saturate(rest.divide(cp, int128::ROUND_DOWN)));
}

void linear_combination_ge_propagator::print(std::ostream& os,
                                             const constraint_runtime_info* ri) const {
    if (ri)
        ri->print_prefix(os);
    os << '(';
    bool first = true;
    for (unsigned i = 0; i < m_coefficients.size(); ++i) {
        const int c = m_coefficients[i];
        if (c == 0)
            continue;
        if (c > 0 && !first)
            os << '+';
        if (c == -1)
            os << '-';
        else if (c != 1)
            os << c << '*';
        if (ri)
            ri->print_param(os, i);
        else
            os << 'P' << i;
        first = false;
    }
    os << ">=" << m_k << ')';
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::clone() const {
    return std::make_unique<linear_combination_ge_propagator>(*this);
}

// ---------------------------------------------------------------------------
// Restriction to ground values

unsigned linear_combination_ge_propagator::compact_coefficients(
    const constraint_runtime_info& ri, std::vector<int>& coefficients, long& k,
    std::vector<unsigned>& params) const {
    const unsigned n = static_cast<unsigned>(m_coefficients.size());
    coefficients.clear();
    params.clear();
    int128 bound = k;
    bool changed = false;
    // At the first change every earlier parameter is listed: none of them
    // was ground or had a zero coefficient.
    auto start_listing = [&](unsigned upto) {
        if (changed)
            return;
        changed = true;
        for (unsigned j = 0; j < upto; ++j) {
            coefficients.push_back(m_coefficients[j]);
            params.push_back(j);
        }
    };
    for (unsigned i = 0; i < n && i < ri.arity(); ++i) {
        const int c = m_coefficients[i];
        const iset& d = ri.domain(i);
        if (bounded::is_singleton(d)) {
            start_listing(i);
            bound -= int128(c) * int128(d.min());
        } else if (c == 0) {
            start_listing(i);
        } else if (changed) {
            coefficients.push_back(c);
            params.push_back(i);
        }
    }
    if (!bound.fits_int64()) {
        coefficients.clear();
        params.clear();
        changed = false;
    } else {
        k = bound.as_int64();
    }
    const unsigned count = changed ? static_cast<unsigned>(coefficients.size()) : n;
    if (!changed || count > 0) // with nothing left there is nothing to divide
        normalize_coefficients(count, coefficients, k, params);
    return count;
}

void linear_combination_ge_propagator::normalize_coefficients(unsigned n,
                                                              std::vector<int>& coefficients,
                                                              long& k,
                                                              std::vector<unsigned>& params) const {
    const std::vector<int>& source = coefficients.empty() ? m_coefficients : coefficients;
    unsigned long g = 0;
    for (int c : source) {
        g = std::gcd(g, magnitude(c));
        if (g == 1)
            break;
    }
    if (g <= 1)
        return; // nothing to divide (all coefficients 0 count as gcd 1)
    std::vector<int> divided;
    divided.reserve(source.size());
    for (int c : source)
        divided.push_back(static_cast<int>(static_cast<long>(c) / static_cast<long>(g)));
    coefficients = std::move(divided);
    const long lg = static_cast<long>(g);
    k = k > 0 ? (k - 1) / lg + 1 : k / lg;
    if (params.empty())
        for (unsigned i = 0; i < n; ++i)
            params.push_back(i);
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    long k = m_k;
    std::vector<int> coefficients;
    const unsigned count = compact_coefficients(ri, coefficients, k, params);
    if (coefficients.empty() && count > 0) {
        params.clear();
        return nullptr; // nothing folded, dropped or divided
    }
    switch (count) {
    case 0:
        return new_empty_sum(coefficients, k, params);
    case 1:
        return new_unary_sum(coefficients, k, params);
    case 2:
        return new_binary_sum(coefficients, k, params);
    default:
        return new_nary_sum(coefficients, k, params);
    }
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::new_empty_sum(
    const std::vector<int>&, long k, std::vector<unsigned>& params) const {
    // 0 >= k.
    if (k < 1) {
        params.assign(1, 0);
        return std::make_unique<clause_propagator>(
            std::initializer_list<iset>{bounded::all_values()});
    }
    params.clear();
    return std::make_unique<clause_propagator>();
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::new_unary_sum(
    const std::vector<int>& coefficients, long k, std::vector<unsigned>&) const {
    const int c = coefficients.at(0);
    iset literal;
    if (c > 0)
        literal = bounded::interval(saturate(int128(k).divide(c, int128::ROUND_UP)), INT_MAX);
    else if (c < 0)
        literal = bounded::interval(INT_MIN, saturate(int128(k).divide(c, int128::ROUND_DOWN)));
    else if (k < 1)
        literal = bounded::all_values();
    return std::make_unique<clause_propagator>(std::initializer_list<iset>{literal});
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::new_binary_sum(
    const std::vector<int>& coefficients, long k, std::vector<unsigned>& params) const {
    if (!fits_int32(k))
        return nullptr;
    if (coefficients.at(0) == 1 && coefficients.at(1) == -1)
        return std::make_unique<difference_ge_propagator>(static_cast<int>(k));
    if (coefficients.at(0) == -1 && coefficients.at(1) == 1) {
        if (params.empty())
            params = {1, 0};
        else
            std::swap(params.at(0), params.at(1));
        return std::make_unique<difference_ge_propagator>(static_cast<int>(k));
    }
    return new_nary_sum(coefficients, k, params);
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::new_nary_sum(
    const std::vector<int>& coefficients, long k, std::vector<unsigned>& params) const {
    if (params.empty() || !fits_int32(k))
        return nullptr;
    return std::make_unique<linear_combination_ge_propagator>(static_cast<int>(k), coefficients);
}

// ---------------------------------------------------------------------------
// Combination

bool linear_combination_ge_propagator::may_combine(const constraint_propagator& other) const {
    if (dynamic_cast<const linear_combination_ge_propagator*>(&other) ||
        dynamic_cast<const difference_ge_propagator*>(&other))
        return true;
    if (const auto* parity = dynamic_cast<const sum_mod_propagator*>(&other))
        return parity->may_combine(*this);
    return false;
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    if (const auto* parity = dynamic_cast<const sum_mod_propagator*>(&other))
        return combine_sum_mod(this_ri, *parity, other_ri, other_to_this, param, out_params);
    if (param >= other_to_this.size())
        return nullptr;
    disjunction_specification mine(this_ri, *this, std::vector<unsigned>());
    disjunction_specification theirs(other_ri, other, other_to_this);
    return mine.combine(theirs, other_to_this[param], out_params);
}

bool linear_combination_ge_propagator::get_disjunction_specification(
    disjunction_specification& description) const {
    description.set_borrowed_base(this, 0);
    return true;
}

long linear_combination_ge_propagator::find_var_coefficient(unsigned variable,
                                                            const disjunction_specification& d) {
    if (const auto* linear = dynamic_cast<const linear_combination_ge_propagator*>(d.base())) {
        long c = 0;
        for (unsigned i = 0; i < d.base_count() && i < linear->m_coefficients.size(); ++i)
            if (d.base_variable(i) == variable)
                c += linear->m_coefficients[i];
        return c;
    }
    if (dynamic_cast<const difference_ge_propagator*>(d.base()))
        return d.base_count() > 0 && d.base_variable(0) == variable ? 1 : -1;
    return 0;
}

bool linear_combination_ge_propagator::accumulate_coefficients(std::vector<long>& coefficients,
                                                               long& k,
                                                               const disjunction_specification& d,
                                                               unsigned factor) {
    bool overflow = false;
    auto add = [&](unsigned variable, long c) {
        if (coefficients.size() <= variable)
            coefficients.resize(variable + 1, 0);
        const int128 sum = int128(coefficients[variable]) + int128(c) * int128(factor);
        if (!sum.fits_int64())
            overflow = true;
        else
            coefficients[variable] = sum.as_int64();
    };
    int128 bound = int128(k);
    if (const auto* difference = dynamic_cast<const difference_ge_propagator*>(d.base())) {
        if (d.base_count() != 2)
            return false;
        add(d.base_variable(0), 1);
        add(d.base_variable(1), -1);
        bound += int128(difference->k()) * int128(factor);
    } else if (const auto* linear = dynamic_cast<const linear_combination_ge_propagator*>(d.base())) {
        if (d.base_count() != linear->m_coefficients.size())
            return false;
        for (unsigned i = 0; i < d.base_count(); ++i)
            add(d.base_variable(i), linear->m_coefficients[i]);
        bound += int128(linear->m_k) * int128(factor);
    } else {
        return false;
    }
    if (overflow || !bound.fits_int64())
        return false;
    k = bound.as_int64();
    return true;
}

bool linear_combination_ge_propagator::set_constraint_from_positional_coefficients(
    const std::vector<long>& coefficients, long k, disjunction_specification& d) {
    if (!fits_int32(k))
        return false;
    std::vector<int> kept;
    std::vector<unsigned> variables;
    for (unsigned v = 0; v < coefficients.size(); ++v) {
        if (coefficients[v] == 0)
            continue;
        if (!fits_int32(coefficients[v]))
            return false;
        kept.push_back(static_cast<int>(coefficients[v]));
        variables.push_back(v);
    }
    if (variables.empty()) {
        // 0 >= k: a contradiction when k > 0, else nothing worth learning.
        if (k <= 0)
            return false;
        d.update_param_map().resize(d.literal_count());
        d.set_owned_base(std::make_unique<clause_propagator>(), d.literal_count());
        d.set_base_count(0);
        return true;
    }
    std::vector<unsigned>& map = d.update_param_map();
    map.resize(d.literal_count());
    map.insert(map.end(), variables.begin(), variables.end());
    d.set_owned_base(
        std::make_unique<linear_combination_ge_propagator>(static_cast<int>(k), std::move(kept)),
        d.literal_count());
    d.set_base_count(static_cast<unsigned>(variables.size()));
    return true;
}

bool linear_combination_ge_propagator::combine_base_constraints(
    disjunction_specification& a, disjunction_specification& b, unsigned pivot,
    disjunction_specification& out) const {
    out.clear();
    const long c1 = find_var_coefficient(pivot, a);
    const long c2 = find_var_coefficient(pivot, b);
    if ((c1 < 0) == (c2 < 0))
        return false; // the pivot does not cancel
    const unsigned long g = std::gcd(magnitude(c1), magnitude(c2));
    const unsigned long f1 = magnitude(c2) / g, f2 = magnitude(c1) / g;
    if (f1 > UINT_MAX || f2 > UINT_MAX)
        return false;
    std::vector<long> coefficients;
    long k = 0;
    if (!accumulate_coefficients(coefficients, k, a, static_cast<unsigned>(f1)) ||
        !accumulate_coefficients(coefficients, k, b, static_cast<unsigned>(f2)))
        return false;
    return set_constraint_from_positional_coefficients(coefficients, k, out);
}

bool linear_combination_ge_propagator::disjoin_constraint(const disjunction_specification& self,
                                                          const disjunction_specification& other,
                                                          disjunction_specification& out) const {
    const auto* linear = dynamic_cast<const linear_combination_ge_propagator*>(other.base());
    if (!linear || linear->m_coefficients.size() != m_coefficients.size() ||
        self.base_count() != m_coefficients.size() ||
        other.base_count() != linear->m_coefficients.size())
        return false;
    // Both must have the same left side, variable by variable.
    std::vector<long> mine, theirs;
    auto tabulate = [](std::vector<long>& table, const disjunction_specification& d,
                       const std::vector<int>& coefficients) {
        for (unsigned i = 0; i < d.base_count(); ++i) {
            const unsigned v = d.base_variable(i);
            if (table.size() <= v)
                table.resize(v + 1, 0);
            table[v] += coefficients[i];
        }
    };
    tabulate(mine, self, m_coefficients);
    tabulate(theirs, other, linear->m_coefficients);
    mine.resize(std::max(mine.size(), theirs.size()), 0);
    theirs.resize(mine.size(), 0);
    if (mine != theirs)
        return false;
    auto weaker = std::make_unique<linear_combination_ge_propagator>(std::min(m_k, linear->m_k),
                                                                     m_coefficients);
    std::vector<unsigned>& map = out.update_param_map();
    map.resize(out.literal_count());
    for (unsigned i = 0; i < self.base_count(); ++i)
        map.push_back(self.base_variable(i));
    out.set_owned_base(std::move(weaker), out.literal_count());
    out.set_base_count(self.base_count());
    return true;
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::new_propagator(
    disjunction_specification& description, std::vector<unsigned>& params) const {
    return new_base_or_clause_propagator(
        description, params, description.base_count(),
        [this](std::vector<iset> sets) -> std::unique_ptr<constraint_propagator> {
            return std::make_unique<
                disjoint_propagator<linear_combination_ge_propagator, clause_propagation_algo>>(
                *this, clause_propagation_algo(std::move(sets)));
        });
}

unsigned linear_combination_ge_propagator::find_non_pivot(const constraint_runtime_info& ri,
                                                          const std::vector<unsigned>& params,
                                                          unsigned pivot) {
    if (!params.empty() && params[0] != pivot)
        return params[0];
    if (params.size() == 2)
        return params[1];
    return ri.arity() + 1;
}

std::unique_ptr<constraint_propagator> linear_combination_ge_propagator::combine_sum_mod(
    const constraint_runtime_info& ri, const sum_mod_propagator& s, const constraint_runtime_info&,
    const std::vector<unsigned>& other_params, unsigned pivot, std::vector<unsigned>& params) const {
    // xp + xq = r exactly, as both lie in [0, r] and their sum is r modulo r + 1.
    if (other_params.size() != 2 || pivot >= 2 || s.mod() != s.result() + 1)
        return nullptr;
    const unsigned n = static_cast<unsigned>(m_coefficients.size());
    const unsigned p = other_params[pivot];
    if (p >= n)
        return nullptr;
    const unsigned q = find_non_pivot(ri, other_params, p);
    if (q == p)
        return nullptr;
    const long cp = m_coefficients[p];
    const bool q_present = q < n;
    const long cq = (q_present ? m_coefficients[q] : 0) - cp;
    const long k = static_cast<long>(m_k) - static_cast<long>(s.result()) * cp;
    if (!fits_int32(cq) || !fits_int32(k))
        return nullptr;
    std::vector<int> coefficients = m_coefficients;
    params.clear();
    for (unsigned i = 0; i < n; ++i)
        params.push_back(i);
    params[p] = q;
    coefficients[p] = static_cast<int>(cq);
    if (q_present) {
        coefficients.erase(coefficients.begin() + q);
        params.erase(params.begin() + q);
    }
    return std::make_unique<linear_combination_ge_propagator>(static_cast<int>(k),
                                                              std::move(coefficients));
}

template long linear_combination_ge_propagator::slack<long>(const constraint_runtime_info&) const;
template int128 linear_combination_ge_propagator::slack<int128>(
    const constraint_runtime_info&) const;

} // namespace qarn
