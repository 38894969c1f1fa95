// Sum propagators: bounds and set arithmetic for the two arithmetic sums,
// parity-style sums modulo a constant, and the two one-sided sums.
#include "impl/propagators/sum_propagators.h"

#include <climits>
#include <stdexcept>

#include "impl/engine/domain_access.h"
#include "impl/engine/runtime_views.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/linear_combination.h"
#include "impl/sets/bounded_interval.h"

namespace qarn {

namespace {

using bounded::is_singleton;

// s ∩= [lo, hi] for bounds known to lie within 32 bits; a crossing interval empties s.
void intersect_bounds(iset& s, long long lo, long long hi) {
    if (lo > hi)
        s = iset();
    else
        s.intersect(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
}

// "x1<sep>x2<sep>...", or `none` without addends.
void print_addends(std::ostream& os, const constraint_runtime_info& ri, const char* separator,
                   const char* none, unsigned first) {
    if (ri.arity() <= first) {
        os << none;
        return;
    }
    for (unsigned p = first; p < ri.arity(); ++p) {
        if (p > first)
            os << separator;
        ri.print_param(os, p);
    }
}

// "x0<relation>x1 + x2 + ..." (0 without addends) after the view's prefix,
// or `name` without a view.
void print_sum_relation(std::ostream& os, const constraint_runtime_info* ri, const char* name,
                        const char* relation) {
    if (!print_opening(os, ri, name))
        return;
    ri->print_param(os, 0);
    os << relation;
    print_addends(os, *ri, " + ", "0", 1);
    os << ')';
}

} // namespace

// ---------------------------------------------------------------------------
// x0 = x1 + x2, truncating

void sum_truncate_propagator::propagate_bounds(iset& x0, iset& x1, iset& x2) const {
    auto empty_all = [&] {
        x0 = iset();
        x1 = iset();
        x2 = iset();
    };
    const long long lo0 = std::max<long long>(static_cast<long long>(x1.min()) + x2.min(), x0.min());
    const long long hi0 = std::min<long long>(static_cast<long long>(x1.max()) + x2.max(), x0.max());
    if (lo0 > hi0) {
        empty_all();
        return;
    }
    intersect_bounds(x0, lo0, hi0);
    if (x0.empty()) {
        empty_all();
        return;
    }
    const long long lo2 = std::max<long long>(static_cast<long long>(x0.min()) - x1.max(), x2.min());
    const long long hi2 = std::min<long long>(static_cast<long long>(x0.max()) - x1.min(), x2.max());
    intersect_bounds(x2, lo2, hi2);
    if (x2.empty())
        return;
    const long long lo1 = std::max<long long>(static_cast<long long>(x0.min()) - x2.max(), x1.min());
    const long long hi1 = std::min<long long>(static_cast<long long>(x0.max()) - x2.min(), x1.max());
    intersect_bounds(x1, lo1, hi1);
}

void sum_truncate_propagator::propagate(iset& x0, iset& x1, iset& x2) const {
    for (;;) {
        if (x0.empty() || x1.empty() || x2.empty())
            return;
        const unsigned s0 = x0.size(), s1 = x1.size(), s2 = x2.size();
        propagate_bounds(x0, x1, x2);
        propagation::plus(x1, x2, x0, m_lists);
        propagation::minus(x0, x1, x2, m_lists);
        propagation::minus(x0, x2, x1, m_lists);
        if (s0 == x0.size() && s1 == x1.size() && s2 == x2.size())
            return;
    }
}

constraint_propagator::result_type sum_truncate_propagator::propagate(constraint_runtime_info& ri) {
    iset x0(ri.domain(0)), x1(ri.domain(1)), x2(ri.domain(2));
    propagate(x0, x1, x2);
    if (x0.empty() || x1.empty() || x2.empty())
        return UNSAT;
    ri.set_domain(0, std::move(x0));
    ri.set_domain(1, std::move(x1));
    ri.set_domain(2, std::move(x2));
    return CONSISTENT;
}

bool sum_truncate_propagator::conflicts(const constraint_runtime_info& ri) const {
    iset x0(ri.domain(0)), x1(ri.domain(1)), x2(ri.domain(2));
    propagate(x0, x1, x2);
    return x0.empty() || x1.empty() || x2.empty();
}

bool sum_truncate_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return ri.domain(0).min() == static_cast<long long>(ri.domain(1).min()) + ri.domain(2).min();
}

void sum_truncate_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "sum_truncate"))
        return;
    ri->print_param(os, 1);
    os << "+<trunc> ";
    ri->print_param(os, 2);
    os << "==";
    ri->print_param(os, 0);
    os << ')';
}

std::unique_ptr<constraint_propagator> sum_truncate_propagator::clone() const {
    return std::make_unique<sum_truncate_propagator>(*this);
}

// ---------------------------------------------------------------------------
// x0 = x1 + ... + xn modulo 2^32

namespace {

const iset& unlimited() {
    static const iset all = [] {
        iset s;
        s.complement();
        return s;
    }();
    return all;
}

} // namespace

constraint_propagator::result_type sum_wrap_propagator::propagate(constraint_runtime_info& ri) {
    const unsigned n = ri.arity();
    bool reduced = false;
    for (unsigned p = n; p-- > 0;) {
        if (ri.reduced_between_activations(p)) {
            reduced = true;
            break;
        }
    }
    if (!reduced || n == 0)
        return CONSISTENT;
    if (any_empty(ri))
        return UNSAT;
    if (n == 1)
        return propagate_zero(ri);
    if (n == 2)
        return propagate_equality(ri);
    iset x(ri.domain(0));
    if (!propagate(ri, x, n - 1) || x.empty())
        return UNSAT;
    ri.set_domain(0, std::move(x));
    return CONSISTENT;
}

constraint_propagator::result_type sum_wrap_propagator::propagate_zero(
    constraint_runtime_info& ri) const {
    if (!ri.domain(0).contains(0))
        return UNSAT;
    ri.set_domain(0, iset(0));
    return VALID;
}

constraint_propagator::result_type sum_wrap_propagator::propagate_equality(
    constraint_runtime_info& ri) const {
    iset common(ri.domain(0));
    common.intersect(ri.domain(1));
    if (common.empty())
        return UNSAT;
    bool differs = false;
    for (unsigned p : {1u, 0u}) {
        differs = differs || ri.domain(p).size() != common.size();
        if (differs)
            ri.set_domain(p, common);
    }
    return CONSISTENT;
}

bool sum_wrap_propagator::propagate(constraint_runtime_info& ri, iset& x, unsigned k) const {
    if (k == 2) {
        iset a(ri.domain(1)), b(ri.domain(2));
        propagation::plus(a, b, x, m_lists);
        if (x.empty())
            return false;
        propagation::minus(x, a, b, m_lists);
        propagation::minus(x, b, a, m_lists);
        if (a.empty() || b.empty())
            return false;
        ri.set_domain(1, std::move(a));
        ri.set_domain(2, std::move(b));
        return true;
    }
    // t: the values of x1 + ... + x(k-1).
    iset t(unlimited());
    propagation::minus(x, ri.domain(k), t, m_lists);
    if (t.empty() || !propagate(ri, t, k - 1))
        return false;
    if (!narrow_domain(ri, k, [&](iset& d) { propagation::minus(x, t, d, m_lists); }))
        return false;
    propagation::plus(ri.domain(k), t, x, m_lists);
    return !x.empty();
}

bool sum_wrap_propagator::conflicts(const constraint_runtime_info& ri) const {
    const unsigned n = ri.arity();
    if (n == 0)
        return false;
    if (n == 1)
        return !ri.domain(0).contains(0);
    if (n == 2)
        return !ri.domain(0).contains_any_of(ri.domain(1));
    if (any_empty(ri))
        return true;
    sliced_runtime_info view(ri, 0, n);
    view.set_querying_domain(true);
    iset x(ri.domain(0));
    return !propagate(view, x, n - 1);
}

bool sum_wrap_propagator::constraint_check(const constraint_runtime_info& ri) const {
    long long sum = 0;
    for (unsigned p = 1; p < ri.arity(); ++p)
        sum += ri.domain(p).min();
    return wrap(sum) == ri.domain(0).min();
}

void sum_wrap_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_sum_relation(os, ri, "sum_wrap", "== ");
}

std::unique_ptr<constraint_propagator> sum_wrap_propagator::clone() const {
    return std::make_unique<sum_wrap_propagator>(*this);
}

// ---------------------------------------------------------------------------
// (x0 + ... + xn-1) mod m = r

sum_mod_propagator::sum_mod_propagator(int mod, int result) : m_mod(mod), m_result(result) {
    if (mod <= 0)
        throw std::out_of_range("sum_mod_propagator(mod, result): mod should be positive");
}

bool sum_mod_propagator::restrict_to_mod(constraint_runtime_info& ri) const {
    for (unsigned p = 0; p < ri.arity(); ++p) {
        const iset& d = ri.domain(p);
        if (d.empty())
            return false;
        if (d.min() >= 0 && d.max() < m_mod)
            continue;
        const iset::range_type residues(0, m_mod - 1);
        if (!narrow_domain(ri, p, [&](iset& cut) { cut.intersect(residues); }))
            return false;
    }
    return true;
}

constraint_propagator::result_type sum_mod_propagator::propagate(constraint_runtime_info& ri) {
    if (!restrict_to_mod(ri))
        return UNSAT;
    long long acc = m_result;
    unsigned open = NO_PARAM;
    for (unsigned p = 0; p < ri.arity(); ++p) {
        const iset& d = ri.domain(p);
        if (is_singleton(d)) {
            acc += m_mod - d.min();
        } else {
            if (open != NO_PARAM)
                return CONSISTENT;
            open = p;
        }
    }
    const long long t = acc % m_mod;
    if (open == NO_PARAM)
        return t == 0 ? VALID : UNSAT;
    const iset& d = ri.domain(open);
    if (t < 0 || !d.contains(static_cast<int>(t)))
        return UNSAT;
    if (!is_singleton(d))
        ri.set_domain(open, iset(static_cast<int>(t)));
    return VALID;
}

bool sum_mod_propagator::conflicts(const constraint_runtime_info& ri) const {
    long long acc = m_result;
    unsigned open = NO_PARAM, count = 0;
    for (unsigned p = 0; p < ri.arity(); ++p) {
        const iset& d = ri.domain(p);
        iset::iterator it = d.lower_bound(0);
        if (it == d.end() || *it >= m_mod)
            return true;
        const int value = *it;
        ++it;
        if (it != d.end() && *it < m_mod) {
            ++count;
            open = p;
        } else {
            acc += m_mod - value;
        }
    }
    if (count > 1)
        return false;
    const long long t = acc % m_mod;
    if (count == 0)
        return t != 0;
    return t < 0 || !ri.domain(open).contains(static_cast<int>(t));
}

bool sum_mod_propagator::constraint_check(const constraint_runtime_info& ri) const {
    long long sum = 0;
    for (unsigned p = 0; p < ri.arity(); ++p) {
        const int v = ri.domain(p).min();
        if (v < 0 || v >= m_mod)
            return false;
        sum += v;
    }
    return sum % m_mod == m_result;
}

void sum_mod_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    const auto name = [this](std::ostream& o) {
        if (m_mod == 2)
            o << "((xor vars) " << " == " << m_result << ")";
        else
            o << "((sum vars) mod " << m_mod << " == " << m_result << ")";
    };
    if (!print_opening(os, ri, name, ""))
        return;
    if (m_mod == 2) {
        os << "((xor(";
        print_addends(os, *ri, ", ", "", 0);
        os << ") " << " == " << m_result << ") && (";
    } else {
        os << "((";
        print_addends(os, *ri, "+", "", 0);
        os << ") mod " << m_mod << " == " << m_result << ") && (";
    }
    print_addends(os, *ri, ", ", "", 0);
    os << " in [0.." << m_mod - 1 << "]))";
}

std::unique_ptr<constraint_propagator> sum_mod_propagator::clone() const {
    return std::make_unique<sum_mod_propagator>(*this);
}

std::unique_ptr<constraint_propagator> sum_mod_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    params.clear();
    long long acc = m_result;
    bool folded = false;
    for (unsigned p = 0; p < ri.arity(); ++p) {
        const iset& d = ri.domain(p);
        if (!is_singleton(d)) {
            params.push_back(p);
            continue;
        }
        // A ground value outside [0, mod - 1] already violates the
        // constraint: folding it would hide that.
        if (d.min() < 0 || d.min() >= m_mod) {
            params.clear();
            return nullptr;
        }
        acc += m_mod - d.min(); // as propagation folds it: the result minus the value
        folded = true;
    }
    if (!folded) {
        params.clear();
        return nullptr;
    }
    const int result = static_cast<int>(((acc % m_mod) + m_mod) % m_mod);
    return std::make_unique<sum_mod_propagator>(m_mod, result);
}

bool sum_mod_propagator::may_combine(const constraint_propagator& other) const {
    if (const sum_mod_propagator* sum = dynamic_cast<const sum_mod_propagator*>(&other))
        return sum->m_mod == m_mod;
    // With mod = result + 1, two parameters sum to exactly result, which the
    // linear combination substitutes.
    if (dynamic_cast<const linear_combination_ge_propagator*>(&other))
        return static_cast<long long>(m_mod) == static_cast<long long>(m_result) + 1;
    return dynamic_cast<const equal_propagator*>(&other) != nullptr;
}

std::unique_ptr<constraint_propagator> sum_mod_propagator::combine(
    const constraint_runtime_info& this_ri, const constraint_propagator& other,
    const constraint_runtime_info& other_ri, const std::vector<unsigned>& other_to_this,
    unsigned param, std::vector<unsigned>& out_params) const {
    if (const sum_mod_propagator* sum = dynamic_cast<const sum_mod_propagator*>(&other))
        return combine(this_ri, *sum, other_to_this, out_params);
    if (dynamic_cast<const equal_propagator*>(&other))
        return combine_with_eq(this_ri, other_to_this, out_params);
    if (dynamic_cast<const linear_combination_ge_propagator*>(&other))
        return combine_other_first(this_ri, other, other_ri, other_to_this, param, out_params);
    return nullptr;
}

std::unique_ptr<constraint_propagator> sum_mod_propagator::combine(
    const constraint_runtime_info& ri, const sum_mod_propagator& other,
    const std::vector<unsigned>& other_params, std::vector<unsigned>& params) const {
    if (other.m_mod != m_mod)
        return nullptr;
    const unsigned n = ri.arity();
    std::vector<bool> dropped(n, false);
    params.clear();
    for (unsigned p = 0; p < n; ++p)
        params.push_back(p);
    bool cancels = false;
    for (unsigned p : other_params) {
        if (p < n) {
            dropped[p] = true;
            cancels = true;
        } else {
            params.push_back(p);
        }
    }
    // A shared variable cancels out of the sum only modulo 2.
    if (cancels && m_mod != 2) {
        params.clear();
        return nullptr;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < params.size(); ++i)
        if (params[i] >= n || !dropped[params[i]])
            params[kept++] = params[i];
    params.resize(kept);
    const int result = static_cast<int>((static_cast<long long>(m_result) + other.m_result) % m_mod);
    if (params.empty() && result != 0)
        return std::make_unique<clause_propagator>();
    return std::make_unique<sum_mod_propagator>(m_mod, result);
}

std::unique_ptr<constraint_propagator> sum_mod_propagator::combine_with_eq(
    const constraint_runtime_info& ri, const std::vector<unsigned>& eq_params,
    std::vector<unsigned>& params) const {
    const unsigned n = ri.arity();
    const unsigned e0 = eq_params.at(0), e1 = eq_params.at(1);
    params.clear();
    if (e0 < n && e1 < n) {
        // x + x is even: both cancel, and only modulo 2.
        if (m_mod != 2)
            return nullptr;
        for (unsigned p = 0; p < n; ++p)
            if (p != e0 && p != e1)
                params.push_back(p);
    } else {
        // Each side of the equality stands for the other.
        for (unsigned p = 0; p < n; ++p)
            params.push_back(p == e0 ? n + 1 : (p == e1 ? n : p));
    }
    return std::make_unique<sum_mod_propagator>(m_mod, m_result);
}

// ---------------------------------------------------------------------------
// x0 <= x1 + ... + xn and x0 >= x1 + ... + xn

bool less_equal_sum_propagator::init(constraint_runtime_info& ri) {
    ri.allocate_watch(0, LOWER_BOUND_WATCH);
    for (unsigned p = 1; p < ri.arity(); ++p)
        ri.allocate_watch(p, UPPER_BOUND_WATCH);
    return true;
}

bool greater_equal_sum_propagator::init(constraint_runtime_info& ri) {
    ri.allocate_watch(0, UPPER_BOUND_WATCH);
    for (unsigned p = 1; p < ri.arity(); ++p)
        ri.allocate_watch(p, LOWER_BOUND_WATCH);
    return true;
}

namespace {

// Long sums run after the cheaper propagators.
bool postpone_long_sum(constraint_runtime_info& ri) {
    if (ri.arity() > 10 && ri.originating_queue() == constraint_runtime_info::VARIABLE_QUEUE) {
        ri.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE);
        return true;
    }
    return false;
}

template <class D>
long long sum_of_max(const D& domains) {
    long long s = 0;
    for (unsigned p = 1, n = domains.arity(); p < n; ++p)
        s += domains(p).max();
    return s;
}

template <class D>
long long sum_of_min(const D& domains) {
    long long s = 0;
    for (unsigned p = 1, n = domains.arity(); p < n; ++p)
        s += domains(p).min();
    return s;
}

long long sum_of_max(const constraint_runtime_info& ri) { return sum_of_max(view_domains{ri}); }
long long sum_of_min(const constraint_runtime_info& ri) { return sum_of_min(view_domains{ri}); }

template <class D>
propagation_types::result_type propagate_less_equal_sum(constraint_runtime_info& ri,
                                                        const D& domains) {
    if (any_empty_domain(domains))
        return propagation_types::UNSAT;
    const long long s = sum_of_max(domains);
    if (s < domains(0).max()) {
        if (domains(0).min() > s)
            return propagation_types::UNSAT;
        const iset::range_type at_most(INT_MIN, static_cast<int>(s));
        if (!narrow_domain(ri, 0, [&](iset& d) { d.intersect(at_most); }))
            return propagation_types::UNSAT;
    }
    const long long m0 = domains(0).min();
    for (unsigned p = 1, n = domains.arity(); p < n; ++p) {
        const iset& x = domains(p);
        const long long need = m0 - (s - x.max());
        if (need <= x.min())
            continue;
        if (need > x.max())
            return propagation_types::UNSAT;
        const iset::range_type enough(static_cast<int>(need), INT_MAX);
        if (!narrow_domain(ri, p, [&](iset& d) { d.intersect(enough); }))
            return propagation_types::UNSAT;
    }
    return propagation_types::CONSISTENT;
}

template <class D>
propagation_types::result_type propagate_greater_equal_sum(constraint_runtime_info& ri,
                                                           const D& domains) {
    if (any_empty_domain(domains))
        return propagation_types::UNSAT;
    const long long s = sum_of_min(domains);
    if (s > domains(0).min()) {
        if (domains(0).max() < s)
            return propagation_types::UNSAT;
        const iset::range_type at_least(static_cast<int>(s), INT_MAX);
        if (!narrow_domain(ri, 0, [&](iset& d) { d.intersect(at_least); }))
            return propagation_types::UNSAT;
    }
    const long long m0 = domains(0).max();
    for (unsigned p = 1, n = domains.arity(); p < n; ++p) {
        const iset& x = domains(p);
        const long long limit = m0 - (s - x.min());
        if (limit >= x.max())
            continue;
        if (limit < x.min())
            return propagation_types::UNSAT;
        const iset::range_type at_most(INT_MIN, static_cast<int>(limit));
        if (!narrow_domain(ri, p, [&](iset& d) { d.intersect(at_most); }))
            return propagation_types::UNSAT;
    }
    return propagation_types::CONSISTENT;
}

} // namespace

constraint_propagator::result_type less_equal_sum_propagator::propagate(
    constraint_runtime_info& ri) {
    if (postpone_long_sum(ri))
        return POSTPONE;
    return with_domains(ri, [&](const auto& d) { return propagate_less_equal_sum(ri, d); });
}

constraint_propagator::result_type greater_equal_sum_propagator::propagate(
    constraint_runtime_info& ri) {
    if (postpone_long_sum(ri))
        return POSTPONE;
    return with_domains(ri, [&](const auto& d) { return propagate_greater_equal_sum(ri, d); });
}

bool less_equal_sum_propagator::conflicts(const constraint_runtime_info& ri) const {
    return any_empty(ri) || sum_of_max(ri) < ri.domain(0).min();
}

bool greater_equal_sum_propagator::conflicts(const constraint_runtime_info& ri) const {
    if (any_empty(ri))
        return true;
    const long long s = sum_of_min(ri);
    if (ri.domain(0).min() >= s)
        return false;
    if (ri.domain(0).max() < s)
        return true;
    iset d(ri.domain(0));
    d.intersect(iset::range_type(static_cast<int>(s), INT_MAX));
    return d.empty();
}

bool less_equal_sum_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return sum_of_min(ri) >= ri.domain(0).min();
}

bool greater_equal_sum_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return sum_of_min(ri) <= ri.domain(0).min();
}

void less_equal_sum_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    print_sum_relation(os, ri, "le_sum", "<= ");
}

void greater_equal_sum_propagator::print(std::ostream& os,
                                         const constraint_runtime_info* ri) const {
    print_sum_relation(os, ri, "ge_sum", ">= ");
}

std::unique_ptr<constraint_propagator> less_equal_sum_propagator::clone() const {
    return std::make_unique<less_equal_sum_propagator>(*this);
}

std::unique_ptr<constraint_propagator> greater_equal_sum_propagator::clone() const {
    return std::make_unique<greater_equal_sum_propagator>(*this);
}

namespace {

// The inequality sum as x0 * sign0 + (x1 + ... + xn) * -sign0 >= 0,
// restricted to the ground values; null when no parameter is ground.
std::unique_ptr<constraint_propagator> ground_restriction(const constraint_runtime_info& ri,
                                                          std::vector<unsigned>& params,
                                                          int sign0) {
    bool ground = false;
    for (unsigned p = 0; p < ri.arity() && !ground; ++p)
        ground = is_singleton(ri.domain(p));
    if (!ground || ri.arity() == 0)
        return nullptr;
    std::vector<int> coefficients(ri.arity(), -sign0);
    coefficients[0] = sign0;
    return linear_combination_ge_propagator(0, std::move(coefficients)).intersect_with(ri, params);
}

} // namespace

std::unique_ptr<constraint_propagator> less_equal_sum_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    return ground_restriction(ri, params, -1);
}

std::unique_ptr<constraint_propagator> greater_equal_sum_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    return ground_restriction(ri, params, 1);
}

} // namespace qarn
