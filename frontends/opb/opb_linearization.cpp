// Turns the OPB model into solver variables, propagators and clauses: one
// 0/1 variable per OPB variable, one variable per product of several
// literals (or negated literal) and per distinct pair of atom values on it,
// a chain of partial sums per constraint, clauses tying products to their
// literals, and the objective variable.
//
// An at-least constraint is posted as a lower bound: every atom variable is
// at most its atom's value and every partial sum at most the sum of its two
// parts, so the last partial sum is a variable the search may push up to the
// real sum; the constraint keeps only its values from k up. An equation is
// posted as an exact sum fixed to k.
#include <algorithm>
#include <iostream>
#include <limits>
#include <string>

#include "frontends/common/unsupported.h"
#include "frontends/opb/opb_model.h"
#include "impl/engine/solver.h"
#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/sum_propagators.h"

namespace qarn::opb {

namespace {

const iset& bool_domain() {
    static const iset domain(0, 1);
    return domain;
}

// A partial sum may hold any value in -MAX_SUM..MAX_SUM, so that the
// objective can be negated too.
constexpr std::int64_t MAX_SUM = std::numeric_limits<int>::max();

void add_range(std::int64_t coefficient, std::int64_t& lo, std::int64_t& hi) {
    lo += std::min<std::int64_t>(coefficient, 0);
    hi += std::max<std::int64_t>(coefficient, 0);
    if (lo < -MAX_SUM || hi > MAX_SUM)
        throw unsupported("its terms can sum beyond the 32-bit range");
}

void post_clause(solver& s, const std::vector<unsigned>& vars, std::vector<iset> literals) {
    auto clause = std::make_unique<clause_propagator>();
    clause->update_literals() = std::move(literals);
    constraint_connectivity_info& record = s.add_constraint(std::move(clause));
    record.variables().reserve(vars.size());
    for (unsigned v : vars)
        record << v;
}

// The clause (p in ps) or (q in qs).
void insert_clause(solver& s, unsigned p, iset ps, unsigned q, iset qs) {
    std::vector<iset> literals;
    literals.reserve(2);
    literals.push_back(std::move(ps));
    literals.push_back(std::move(qs));
    post_clause(s, {p, q}, std::move(literals));
}

iset all_but(int value) {
    iset s(value);
    s.complement();
    return s;
}

} // namespace

void variable::associate(solver& s) {
    m_index = s.add_var(bool_domain(), m_name, false);
}

// ---------------------------------------------------------------------------
// Products

unsigned conjunction::get_atom_variable(context& ctx, std::int64_t coefficient, bool negated,
                                        unsigned eval, const char* name) {
    if (m_contradictory || coefficient == 0)
        return ctx.owner().singleton_var(0);
    if (m_literals.size() == 1 && m_literals[0].polarity > 0 && m_variable == NO_VARIABLE) {
        // A plain variable is its own product variable, tied both ways.
        m_variable = m_literals[0].var->index();
        m_false_value = 0;
        m_true_value = 1;
        m_false_link_posted = m_true_link_posted = true;
        m_atoms[atom_values_t(0, 1)] = {m_variable, true, true};
    }
    atom_connectivity_t wanted;
    wanted.false_link = (eval & FALSE_LINK) != 0;
    wanted.true_link = (eval & TRUE_LINK) != 0;
    if (coefficient < 0)
        std::swap(wanted.false_link, wanted.true_link);
    if (negated)
        std::swap(wanted.false_link, wanted.true_link);
    const int c = static_cast<int>(coefficient);
    const atom_values_t values = negated ? atom_values_t(c, 0) : atom_values_t(0, c);
    const unsigned v = variable_for_coefficient(ctx, values, wanted, name);
    if ((wanted.false_link && !m_false_link_posted) || (wanted.true_link && !m_true_link_posted))
        strengthen_conjunction_result(ctx, wanted);
    return v;
}

unsigned conjunction::variable_for_coefficient(context& ctx, atom_values_t values,
                                               const atom_connectivity_t& wanted,
                                               const char* name) {
    auto [entry, inserted] = m_atoms.try_emplace(values);
    if (inserted) {
        iset domain(values.first);
        domain.insert({values.second, values.second});
        entry->second.variable = ctx.owner().add_var(std::move(domain), name, false);
        if (m_variable == NO_VARIABLE) {
            m_variable = entry->second.variable;
            m_false_value = values.first;
            m_true_value = values.second;
            return m_variable;
        }
    }
    strengthen_variable(ctx, values, wanted, entry->second);
    return entry->second.variable;
}

void conjunction::strengthen_variable(context& ctx, atom_values_t values,
                                      const atom_connectivity_t& wanted,
                                      atom_connectivity_t& entry) const {
    if (entry.variable == m_variable)
        return;
    solver& s = ctx.owner();
    if (wanted.true_link && !entry.true_link) {
        insert_clause(s, m_variable, all_but(m_true_value), entry.variable, iset(values.second));
        entry.true_link = true;
    }
    if (wanted.false_link && !entry.false_link) {
        insert_clause(s, m_variable, all_but(m_false_value), entry.variable, iset(values.first));
        entry.false_link = true;
    }
}

void conjunction::strengthen_conjunction_result(context& ctx, const atom_connectivity_t& wanted) {
    if (wanted.false_link && !m_false_link_posted) {
        a_false_literal_implies_zero_atom(ctx.owner(), m_variable);
        m_false_link_posted = true;
    }
    if (wanted.true_link && !m_true_link_posted) {
        true_literals_imply_conjunction(ctx.owner(), m_variable);
        m_true_link_posted = true;
    }
}

void conjunction::a_false_literal_implies_zero_atom(solver& s, unsigned product_var) const {
    for (const literal_type& l : m_literals)
        insert_clause(s, l.var->index(), iset(l.polarity > 0 ? 1 : 0), product_var,
                      iset(m_false_value));
}

void conjunction::true_literals_imply_conjunction(solver& s, unsigned product_var) const {
    std::vector<unsigned> vars;
    std::vector<iset> literals;
    vars.reserve(m_literals.size() + 1);
    literals.reserve(m_literals.size() + 1);
    for (const literal_type& l : m_literals) {
        vars.push_back(l.var->index());
        literals.emplace_back(l.polarity > 0 ? 0 : 1);
    }
    vars.push_back(product_var);
    literals.emplace_back(m_true_value);
    post_clause(s, vars, std::move(literals));
}

// ---------------------------------------------------------------------------
// Sums

unsigned expression::get_evaluating_variable(context& ctx, constraint_type type,
                                             const char* name) const {
    if (m_atoms.empty())
        return NO_VARIABLE;
    // Every partial sum lies within the range of the whole sum.
    std::int64_t lo = 0, hi = 0;
    for (const atom_type& a : m_atoms)
        add_range(a.coefficient, lo, hi);

    const unsigned eval = type == LOWER_BOUND ? FALSE_LINK : FALSE_LINK | TRUE_LINK;
    const char* atom_name = m_atoms.size() == 1 ? name : nullptr;
    std::vector<unsigned> atom_vars;
    atom_vars.reserve(m_atoms.size());
    for (const atom_type& a : m_atoms)
        atom_vars.push_back(
            a.product->get_atom_variable(ctx, a.coefficient, a.negated, eval, atom_name));

    solver& s = ctx.owner();
    unsigned running = atom_vars[0];
    lo = hi = 0;
    add_range(m_atoms[0].coefficient, lo, hi);
    for (std::size_t i = 1; i < m_atoms.size(); ++i) {
        add_range(m_atoms[i].coefficient, lo, hi);
        const char* sum_name = i + 1 == m_atoms.size() ? name : nullptr;
        const unsigned sum = s.add_var(iset(static_cast<int>(lo), static_cast<int>(hi)), sum_name, false);
        std::unique_ptr<constraint_propagator> p;
        if (type == EXACT_SUM)
            p = std::make_unique<sum_wrap_propagator>();
        else
            p = std::make_unique<less_equal_sum_propagator>();
        s.add_constraint(std::move(p)) << sum << running << atom_vars[i];
        running = sum;
    }
    return running;
}

void expression::add_or_between_conjunctions(context& ctx) const {
    if (ctx.trace_construction())
        std::cout << '[' << *this << "].add_or_between_conjunctions()\n";
    std::vector<unsigned> vars;
    vars.reserve(m_atoms.size());
    for (const atom_type& a : m_atoms)
        vars.push_back(a.product->get_atom_variable(ctx, 1, a.negated, FALSE_LINK, nullptr));
    post_clause(ctx.owner(), vars, std::vector<iset>(vars.size(), iset(1)));
}

// ---------------------------------------------------------------------------
// Constraints and the whole model

bool constraint::apply(context& ctx) const {
    if (ctx.trace_construction())
        std::cout << '[' << *this << "].apply()\n";
    if (m_trivially_true)
        return true;
    if (m_trivially_false) {
        if (ctx.trace_failure())
            std::cout << "constraint is trivially false: " << *this << "\n";
        return false;
    }
    if (m_direction == AT_LEAST && m_k == 1 && m_expression->all_coefficients_positive()) {
        m_expression->add_or_between_conjunctions(ctx);
        return true;
    }
    const unsigned v = m_expression->get_evaluating_variable(
        ctx, m_direction == EQUAL ? expression::EXACT_SUM : expression::LOWER_BOUND, nullptr);
    solver& s = ctx.owner();
    iset domain(s.domain(v));
    // The sum's values lie within 32 bits; k may not.
    if (m_direction == AT_LEAST && m_k <= domain.max()) {
        if (m_k > domain.min())
            domain.erase({domain.min(), static_cast<int>(m_k) - 1});
        s.set_var_domain(v, std::move(domain), -1);
        return true;
    }
    if (m_direction == EQUAL && m_k >= domain.min() && m_k <= domain.max() &&
        domain.contains(static_cast<int>(m_k))) {
        s.set_var_domain(v, iset(static_cast<int>(m_k)), -1);
        return true;
    }
    if (ctx.trace_failure())
        std::cout << "can't satisfy constraint: " << *this << "\n";
    return false;
}

bool context::build_solver() {
    for (const std::unique_ptr<variable>& v : m_variables)
        v->associate(m_solver);
    for (std::size_t i = 0; i < m_constraints.size(); ++i) {
        bool satisfiable;
        try {
            satisfiable = m_constraints[i]->apply(*this);
        } catch (const unsupported& e) {
            throw unsupported(m_name + ": constraint " + std::to_string(i + 1) + ": " + e.what());
        }
        if (!satisfiable)
            return false;
    }
    if (m_direction == NO_OBJECTIVE)
        return true;
    try {
        return m_direction == MINIMIZE ? connect_minimization() : connect_maximization();
    } catch (const unsupported& e) {
        throw unsupported(m_name + ": objective: " + e.what());
    }
}

bool context::connect_maximization() {
    const unsigned v =
        m_objective->get_evaluating_variable(*this, expression::LOWER_BOUND, "max::objective");
    m_objective_variable = v;
    m_solver.m_objective_var = static_cast<int>(v);
    m_solver.m_minimize = false;
    return true;
}

bool context::connect_minimization() {
    // s is at most minus the objective, so m = -s is at least the objective.
    m_objective->negate_coefficients();
    unsigned s;
    try {
        s = m_objective->get_evaluating_variable(*this, expression::LOWER_BOUND,
                                                 "max::neg::objective");
    } catch (...) {
        m_objective->negate_coefficients();
        throw;
    }
    m_objective->negate_coefficients();
    const iset& range = m_solver.domain(s);
    const int lo = range.min(), hi = range.max();
    const unsigned m = m_solver.add_var(iset(-hi, -lo), "min::objective", false);
    m_solver.add_constraint(std::make_unique<neg_propagator>()) << s << m;
    m_objective_variable = m;
    m_solver.m_objective_var = static_cast<int>(m);
    m_solver.m_minimize = true;
    return true;
}

} // namespace qarn::opb
