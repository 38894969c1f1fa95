// Element and if-then-else.
#include "impl/propagators/element_propagators.h"

#include <algorithm>
#include <utility>

#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"

namespace qarn {

namespace {

iset complement_of(iset s) {
    s.complement();
    return s;
}

// a ∩ b.
iset common(const iset& a, const iset& b) {
    iset out(a);
    out.intersect(b);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// r = a[index - offset]

iset element_propagator::index_window(unsigned arity) const {
    iset window;
    if (arity < 3)
        return window;
    const long long lo = std::max<long long>(m_offset, MIN_DOMAIN);
    const long long hi =
        std::min<long long>(static_cast<long long>(m_offset) + arity - 3, MAX_DOMAIN);
    if (lo <= hi)
        window.insert(iset::range_type(static_cast<int>(lo), static_cast<int>(hi)));
    return window;
}

bool element_propagator::feasible(const constraint_runtime_info& ri, unsigned j) const {
    const long long v = static_cast<long long>(m_offset) + j;
    if (v < MIN_DOMAIN || v > MAX_DOMAIN || !ri.domain(0).contains(static_cast<int>(v)))
        return false;
    return ri.domain(j + 1).contains_any_of(ri.domain(ri.arity() - 1));
}

constraint_propagator::result_type element_propagator::propagate(constraint_runtime_info& ri) {
    const unsigned n = ri.arity();
    if (n < 3)
        return UNSAT;
    // The index values whose element shares a value with the result, and
    // the union of those elements.
    iset index, supported;
    for (unsigned j = 0; j + 2 < n; ++j) {
        if (!feasible(ri, j))
            continue;
        const int v = static_cast<int>(static_cast<long long>(m_offset) + j);
        index.insert(iset::range_type(v, v));
        supported.insert_all_of(ri.domain(j + 1));
    }
    if (index.empty())
        return UNSAT;
    const bool inside_result = ri.domain(n - 1).contains_all_of(supported);
    const bool fixed = index.size() == 1;
    const unsigned chosen = fixed ? position_of(index.min()) : 0;
    ri.set_domain(0, std::move(index));
    if (!supported.contains_all_of(ri.domain(n - 1)))
        ri.set_domain(n - 1, common(supported, ri.domain(n - 1)));
    if (fixed && !inside_result)
        ri.set_domain(chosen, common(ri.domain(n - 1), ri.domain(chosen)));
    return CONSISTENT;
}

bool element_propagator::conflicts(const constraint_runtime_info& ri) const {
    for (unsigned j = 0; j + 2 < ri.arity(); ++j)
        if (feasible(ri, j))
            return false;
    return true;
}

bool element_propagator::constraint_check(const constraint_runtime_info& ri) const {
    const unsigned n = ri.arity();
    const long long t = static_cast<long long>(ri.domain(0).min()) - m_offset;
    if (n < 3 || t < 0 || t >= n - 2)
        return false;
    return ri.domain(static_cast<unsigned>(t) + 1).min() == ri.domain(n - 1).min();
}

void element_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "element", "({"))
        return;
    const unsigned n = ri->arity();
    for (unsigned p = 1; p + 1 < n; ++p) {
        if (p > 1)
            os << ", ";
        ri->print_param(os, p);
    }
    os << "}[";
    if (n > 0)
        ri->print_param(os, 0);
    if (m_offset > 0)
        os << '-' << m_offset;
    else if (m_offset < 0)
        os << '+' << -static_cast<long long>(m_offset);
    os << "] == ";
    if (n > 1)
        ri->print_param(os, n - 1);
    os << ')';
}

std::unique_ptr<constraint_propagator> element_propagator::clone() const {
    return std::make_unique<element_propagator>(*this);
}

void element_propagator::explain_propagation(unsigned param, const iset& values,
                                             const iset& new_domain,
                                             const constraint_runtime_info& ri,
                                             std::vector<iset>& explanation) const {
    explanation.clear();
    const unsigned n = ri.arity();
    if (n < 3) {
        // Nothing can be chosen: the constraint never holds.
        explanation.assign(n, iset());
    } else if (new_domain.empty()) {
        explain_conflict(ri, explanation);
    } else if (param == 0) {
        explain_index_propagation(values, new_domain, ri, explanation);
    } else if (param == n - 1) {
        explain_result_propagation(values, new_domain, ri, explanation);
    } else {
        explain_equality_propagation(param, values, new_domain, ri, explanation);
    }
}

// The index leaves its domain (within the window), or r leaves its domain, or
// an element the index can choose takes a value of r's domain.
void element_propagator::explain_conflict(const constraint_runtime_info& ri,
                                          std::vector<iset>& out) const {
    const unsigned n = ri.arity();
    out.assign(n, iset());
    if (n < 3)
        return;
    const iset window = index_window(n);
    const iset& r = ri.domain(n - 1);
    for (int v : common(ri.domain(0), window))
        out[position_of(v)] = r;
    out[n - 1] = complement_of(r);
    out[0] = window;
    out[0].erase_all_of(ri.domain(0));
}

// The removed index values X (those asked for) inside the window: the index
// takes another value of the window, or r leaves its domain, or an element of
// X takes a value of r's domain. Removed values outside the window need only
// the window.
void element_propagator::explain_index_propagation(const iset& values, const iset& new_domain,
                                                   const constraint_runtime_info& ri,
                                                   std::vector<iset>& out) const {
    const unsigned n = ri.arity();
    out.assign(n, iset());
    const iset window = index_window(n);
    iset removed(ri.domain(0));
    removed.erase_all_of(new_domain);
    iset asked = common(removed, values);
    if (!asked.empty())
        removed = std::move(asked);
    removed.intersect(window);
    if (removed.empty()) {
        out[0] = window;
        return;
    }
    const iset& r = ri.domain(n - 1);
    for (int v : removed)
        out[position_of(v)] = r;
    out[n - 1] = complement_of(r);
    out[0] = window;
    out[0].erase_all_of(removed);
}

// The removed result values E (those asked for, else the least removed one):
// the index leaves its domain, or r avoids E, or a choosable element takes a
// value of E.
void element_propagator::explain_result_propagation(const iset& values, const iset& new_domain,
                                                    const constraint_runtime_info& ri,
                                                    std::vector<iset>& out) const {
    const unsigned n = ri.arity();
    out.assign(n, iset());
    iset removed(ri.domain(n - 1));
    removed.erase_all_of(new_domain);
    iset e = common(removed, values);
    if (e.empty() && !removed.empty())
        e = iset(removed.min());
    const iset window = index_window(n);
    for (int v : common(ri.domain(0), window))
        out[position_of(v)] = e;
    out[n - 1] = complement_of(e);
    out[0] = window;
    out[0].erase_all_of(ri.domain(0));
}

// An element narrowed to r's domain by a fixed index. E holds its removed
// values (those asked for, else all of them) and the domains of the other
// elements the index could choose before: the index leaves the choosable
// values, or r takes a value of E, or every choosable element avoids E.
// (The clause holds for any E; this E keeps every set off the domains.)
void element_propagator::explain_equality_propagation(unsigned param, const iset& values,
                                                      const iset& new_domain,
                                                      const constraint_runtime_info& ri,
                                                      std::vector<iset>& out) const {
    const unsigned n = ri.arity();
    out.assign(n, iset());
    const iset window = index_window(n);
    const iset choosable = common(ri.domain(0), window);
    const long long own = static_cast<long long>(m_offset) + param - 1;
    out[0] = window;
    out[0].erase_all_of(ri.domain(0));
    if (own >= MIN_DOMAIN && own <= MAX_DOMAIN)
        out[0].erase(iset::range_type(static_cast<int>(own), static_cast<int>(own)));
    iset removed(ri.domain(param));
    removed.erase_all_of(new_domain);
    iset e = common(removed, values);
    if (e.empty())
        e = std::move(removed); // no asked value was removed: explain every removed one
    for (int v : choosable)
        if (v != own)
            e.insert_all_of(ri.domain(position_of(v)));
    if (e.empty()) {
        out[n - 1] = complement_of(new_domain);
        out[param] = new_domain;
    } else {
        out[param] = complement_of(e);
        out[n - 1] = std::move(e);
    }
    for (int v : choosable)
        if (v != own)
            out[position_of(v)] = out[param];
}

std::unique_ptr<constraint_propagator> element_propagator::intersect_with(
    const constraint_runtime_info& ri, std::vector<unsigned>& params) const {
    const unsigned n = ri.arity();
    params.clear();
    if (n < 3)
        return std::make_unique<clause_propagator>();
    const unsigned m = n - 2;
    unsigned lo = 0;
    while (lo < m && !feasible(ri, lo))
        ++lo;
    // No element can be chosen: always false.
    if (lo == m)
        return std::make_unique<clause_propagator>();
    unsigned hi = m;
    while (hi > lo + 1 && !feasible(ri, hi - 1))
        --hi;
    if (lo == 0 && hi == m)
        return nullptr;
    if (hi == lo + 1 && ri.domain(0).size() == 1) {
        params.push_back(lo + 1);
        params.push_back(n - 1);
        return std::make_unique<equal_propagator>();
    }
    params.push_back(0);
    for (unsigned j = lo; j < hi; ++j)
        params.push_back(j + 1);
    params.push_back(n - 1);
    // Element lo is feasible, so its index value lies in the 32-bit range.
    return std::make_unique<element_propagator>(
        static_cast<int>(static_cast<long long>(m_offset) + lo));
}

// ---------------------------------------------------------------------------
// r = (c ? t : e)

namespace {

// r and the branch both become their intersection.
propagation_types::result_type propagate_branch(constraint_runtime_info& ri, unsigned branch) {
    iset x = common(ri.domain(branch), ri.domain(0));
    if (x.empty())
        return propagation_types::UNSAT;
    const bool one_value = x.size() == 1;
    ri.set_domain(branch, x);
    ri.set_domain(0, std::move(x));
    return one_value ? propagation_types::VALID : propagation_types::CONSISTENT;
}

} // namespace

constraint_propagator::result_type if_then_else_propagator::propagate_then(
    constraint_runtime_info& ri) {
    return propagate_branch(ri, 2);
}

constraint_propagator::result_type if_then_else_propagator::propagate_else(
    constraint_runtime_info& ri) {
    return propagate_branch(ri, 3);
}

constraint_propagator::result_type if_then_else_propagator::propagate(
    constraint_runtime_info& ri) {
    iset c = common(ri.domain(1), iset(0, 1));
    if (c.size() != 1) {
        if (!ri.domain(2).contains_any_of(ri.domain(0)))
            c.intersect(iset::range_type(0, 0));
        if (!ri.domain(3).contains_any_of(ri.domain(0)))
            c.intersect(iset::range_type(1, 1));
    }
    if (c.empty())
        return UNSAT;
    const bool fixed = c.size() == 1;
    const int chosen = c.min();
    ri.set_domain(1, std::move(c));
    if (fixed)
        return chosen == 1 ? propagate_then(ri) : propagate_else(ri);
    // Both branches stay possible: r takes a value of one of them.
    iset r = common(ri.domain(2), ri.domain(0));
    r.insert_all_of(common(ri.domain(3), ri.domain(0)));
    if (r.empty())
        return UNSAT;
    ri.set_domain(0, std::move(r));
    return CONSISTENT;
}

bool if_then_else_propagator::conflicts(const constraint_runtime_info& ri) const {
    const iset& c = ri.domain(1);
    if (c.contains(1) && ri.domain(2).contains_any_of(ri.domain(0)))
        return false;
    if (!c.contains(0))
        return true;
    return !ri.domain(3).contains_any_of(ri.domain(0));
}

bool if_then_else_propagator::constraint_check(const constraint_runtime_info& ri) const {
    const unsigned c = static_cast<unsigned>(ri.domain(1).min());
    if (c > 1)
        return false;
    return ri.domain(0).min() == ri.domain(c == 1 ? 2 : 3).min();
}

void if_then_else_propagator::print(std::ostream& os, const constraint_runtime_info* ri) const {
    if (!print_opening(os, ri, "if_then_else", ""))
        return;
    ri->print_param(os, 0);
    os << "=(";
    ri->print_param(os, 1);
    os << " ? ";
    ri->print_param(os, 2);
    os << " : ";
    ri->print_param(os, 3);
    os << ')';
}

std::unique_ptr<constraint_propagator> if_then_else_propagator::clone() const {
    return std::make_unique<if_then_else_propagator>(*this);
}

} // namespace qarn
