// Boolean formulas: construction with simplification, evaluation, printing,
// posting into a solver and reification.
#include "impl/learning/formula.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/pool_alloc.h"

namespace qarn {

namespace {

const iset& all_values() {
    static const iset all(MIN_DOMAIN, MAX_DOMAIN);
    return all;
}

iset complement_of(const iset& values) {
    iset result(all_values());
    result.erase_all_of(values);
    return result;
}

bool same_set(const iset& a, const iset& b) {
    return a.size() == b.size() && iset::same_elements(a, b);
}

// A node from T's pool; any other size is refused.
template <class T>
void* pool_new(std::size_t size) {
    if (size != sizeof(T))
        throw std::bad_alloc();
    return pool_alloc<T>().allocate(1);
}

template <class T>
void pool_delete(void* p) {
    pool_alloc<T>().deallocate(static_cast<T*>(p), 1);
}

// The constants live in static storage that is never destroyed: nothing
// frees them, and nothing unlinks them after their destruction at exit.
template <class T>
formula_impl* constant_instance() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static formula_impl* instance = [] {
        formula_impl* node = new (storage) T();
        node->link();
        return node;
    }();
    return instance;
}

} // namespace

// ---------------------------------------------------------------------------
// Handles

formula::formula(bool value)
    : formula(value ? true_formula_impl::instance() : false_formula_impl::instance()) {}

formula::formula(const clause_data& clause) {
    if (clause.empty())
        *this = formula(false);
    else
        *this = formula(new clause_formula_impl(clause));
}

formula::formula(unsigned variable, const iset& values) {
    construct(literal_data(variable, values));
}

void formula::construct(const literal_data& literal) {
    if (literal.values.empty())
        *this = formula(false);
    else if (literal.values.contains_all_of(all_values()))
        *this = formula(true);
    else
        *this = formula(new clause_formula_impl(clause_data{literal}));
}

formula::formula(formula_impl* node) : m_node(node) {
    if (m_node)
        m_node->link();
}

formula::formula(const formula& other) : formula(other.m_node) {}

formula::formula(formula&& other) noexcept : m_node(other.m_node) {
    other.m_node = nullptr;
}

formula& formula::operator=(const formula& other) {
    if (other.m_node)
        other.m_node->link();
    if (m_node)
        m_node->unlink();
    m_node = other.m_node;
    return *this;
}

formula& formula::operator=(formula&& other) noexcept {
    if (this != &other) {
        if (m_node)
            m_node->unlink();
        m_node = other.m_node;
        other.m_node = nullptr;
    }
    return *this;
}

formula::~formula() {
    if (m_node)
        m_node->unlink();
}

formula formula::operator!() const {
    return m_node->make_not();
}

formula operator&&(const formula& a, const formula& b) {
    return a.m_node->and_with(b, true);
}

formula operator||(const formula& a, const formula& b) {
    return a.m_node->or_with(b, true);
}

void formula::constrain_solver(solver& s) const {
    m_node->constrain_solver(s);
}

unsigned formula::reify(solver& s) const {
    return m_node->reify(s);
}

bool formula::evaluate(const solver& s) const {
    return m_node->evaluate(s);
}

void formula::print(std::ostream& os, const variable_print_strategy& strategy) const {
    if (!m_node)
        os << "NULL";
    else
        m_node->print(os, strategy, 0);
}

// ---------------------------------------------------------------------------
// Node base

void formula_impl::unlink() const {
    if (--m_count == 0)
        delete this;
}

formula formula_impl::and_with_clause(const clause_formula_impl& c) const {
    return c.and_with(self(), false);
}

formula formula_impl::or_with_clause(const clause_formula_impl& c) const {
    return c.or_with(self(), false);
}

bool formula_impl::is_true_var(const solver& s, unsigned v) {
    const iset& d = s.assignment().domain(v);
    return d.size() == 1 && d.min() == 1;
}

bool formula_impl::is_false_var(const solver& s, unsigned v) {
    const iset& d = s.assignment().domain(v);
    return d.size() == 1 && d.min() == 0;
}

void formula_impl::add_bool_clause(solver& s, const int* literals, unsigned count) {
    auto clause = std::make_unique<clause_propagator>();
    std::vector<iset>& sets = clause->update_literals();
    for (unsigned i = 0; i < count; ++i)
        sets.push_back(iset(literals[i] >= 0 ? 1 : 0));
    constraint_connectivity_info& record = s.add_constraint(std::move(clause));
    for (unsigned i = 0; i < count; ++i)
        record << static_cast<unsigned>(literals[i] >= 0 ? literals[i] : ~literals[i]);
}

void formula_impl::add_bool_clause(solver& s, int a) {
    add_bool_clause(s, &a, 1);
}

void formula_impl::add_bool_clause(solver& s, int a, int b) {
    const int literals[] = {a, b};
    add_bool_clause(s, literals, 2);
}

void formula_impl::add_bool_clause(solver& s, int a, int b, int c) {
    const int literals[] = {a, b, c};
    add_bool_clause(s, literals, 3);
}

namespace {

int as_literal(unsigned v) {
    return static_cast<int>(v);
}

unsigned new_bool_var(solver& s) {
    return s.add_var(iset(0, 1), nullptr, false);
}

} // namespace

// ---------------------------------------------------------------------------
// Constants

formula_impl* true_formula_impl::instance() {
    return constant_instance<true_formula_impl>();
}

void true_formula_impl::constrain_solver(solver&) const {}

unsigned true_formula_impl::reify(solver& s) const {
    return s.singleton_var(1);
}

bool true_formula_impl::evaluate(const solver&) const {
    return true;
}

formula true_formula_impl::make_not() const {
    return formula(false);
}

formula true_formula_impl::and_with(const formula& x, bool) const {
    return x;
}

formula true_formula_impl::or_with(const formula&, bool) const {
    return self();
}

void true_formula_impl::print(std::ostream& os, const variable_print_strategy&, int) const {
    os << "true";
}

formula_impl* false_formula_impl::instance() {
    return constant_instance<false_formula_impl>();
}

void false_formula_impl::constrain_solver(solver& s) const {
    // "The constant 0 is 1": the model becomes unsatisfiable.
    add_bool_clause(s, as_literal(s.singleton_var(0)));
}

unsigned false_formula_impl::reify(solver& s) const {
    return s.singleton_var(0);
}

bool false_formula_impl::evaluate(const solver&) const {
    return false;
}

formula false_formula_impl::make_not() const {
    return formula(true);
}

formula false_formula_impl::and_with(const formula&, bool) const {
    return self();
}

formula false_formula_impl::or_with(const formula& x, bool) const {
    return x;
}

void false_formula_impl::print(std::ostream& os, const variable_print_strategy&, int) const {
    os << "false";
}

// ---------------------------------------------------------------------------
// Negation

void* not_formula_impl::operator new(std::size_t size) {
    return pool_new<not_formula_impl>(size);
}

void not_formula_impl::operator delete(void* p) {
    pool_delete<not_formula_impl>(p);
}

void not_formula_impl::constrain_solver(solver& s) const {
    const unsigned a = m_operand.reify(s);
    const iset& d = s.assignment().domain(a);
    if (!d.contains(0))
        add_bool_clause(s, ~as_literal(a));
    else if (d.size() > 1)
        s.set_var_domain(a, iset(0), -1);
}

unsigned not_formula_impl::reify(solver& s) const {
    const unsigned a = m_operand.reify(s);
    if (is_true_var(s, a))
        return s.singleton_var(0);
    if (is_false_var(s, a))
        return s.singleton_var(1);
    const unsigned r = new_bool_var(s);
    add_bool_clause(s, as_literal(r), as_literal(a));
    add_bool_clause(s, ~as_literal(r), ~as_literal(a));
    return r;
}

bool not_formula_impl::evaluate(const solver& s) const {
    return !m_operand.evaluate(s);
}

formula not_formula_impl::make_not() const {
    return m_operand;
}

formula not_formula_impl::and_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (x.node() == m_operand.node())
        return formula(false);
    if (first)
        return x.node()->and_with(self(), false);
    return formula(new binary_and_formula_impl(self(), x));
}

formula not_formula_impl::or_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (x.node() == m_operand.node())
        return formula(true);
    if (first)
        return x.node()->or_with(self(), false);
    return formula(new binary_or_formula_impl(self(), x));
}

void not_formula_impl::print(std::ostream& os, const variable_print_strategy& strategy,
                             int) const {
    os << "not(";
    m_operand.node()->print(os, strategy, 0);
    os << ')';
}

// ---------------------------------------------------------------------------
// Conjunction and disjunction

void* binary_operator_formula_impl::operator new(std::size_t size) {
    return pool_new<binary_operator_formula_impl>(size);
}

void binary_operator_formula_impl::operator delete(void* p) {
    pool_delete<binary_operator_formula_impl>(p);
}

formula binary_operator_formula_impl::make_not() const {
    return formula(new not_formula_impl(self()));
}

void binary_and_formula_impl::constrain_solver(solver& s) const {
    m_left.constrain_solver(s);
    m_right.constrain_solver(s);
}

unsigned binary_and_formula_impl::reify(solver& s) const {
    const unsigned a = m_left.reify(s);
    if (is_false_var(s, a))
        return s.singleton_var(0);
    const unsigned b = m_right.reify(s);
    if (is_false_var(s, b))
        return s.singleton_var(0);
    if (is_true_var(s, a))
        return b;
    if (is_true_var(s, b))
        return a;
    const unsigned r = new_bool_var(s);
    add_bool_clause(s, ~as_literal(r), as_literal(a));
    add_bool_clause(s, ~as_literal(r), as_literal(b));
    add_bool_clause(s, as_literal(r), ~as_literal(a), ~as_literal(b));
    return r;
}

bool binary_and_formula_impl::evaluate(const solver& s) const {
    return m_left.evaluate(s) && m_right.evaluate(s);
}

formula binary_and_formula_impl::and_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->and_with(self(), false);
    return formula(new binary_and_formula_impl(self(), x));
}

formula binary_and_formula_impl::or_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->or_with(self(), false);
    return formula(new binary_or_formula_impl(self(), x));
}

void binary_and_formula_impl::print(std::ostream& os, const variable_print_strategy& strategy,
                                    int priority) const {
    if (priority > 2)
        os << '(';
    m_left.node()->print(os, strategy, 2);
    os << "&&";
    m_right.node()->print(os, strategy, 2);
    if (priority > 2)
        os << ')';
}

void binary_or_formula_impl::constrain_solver(solver& s) const {
    const unsigned a = m_left.reify(s);
    if (is_true_var(s, a))
        return;
    if (is_false_var(s, a)) {
        m_right.constrain_solver(s);
        return;
    }
    const unsigned b = m_right.reify(s);
    if (!is_true_var(s, b))
        add_bool_clause(s, as_literal(a), as_literal(b));
}

unsigned binary_or_formula_impl::reify(solver& s) const {
    const unsigned a = m_left.reify(s);
    if (is_true_var(s, a))
        return a;
    const unsigned b = m_right.reify(s);
    if (is_false_var(s, a))
        return b;
    if (is_true_var(s, b))
        return b;
    if (is_false_var(s, b))
        return a;
    const unsigned r = new_bool_var(s);
    add_bool_clause(s, ~as_literal(r), as_literal(a), as_literal(b));
    add_bool_clause(s, as_literal(r), ~as_literal(a));
    add_bool_clause(s, as_literal(r), ~as_literal(b));
    return r;
}

bool binary_or_formula_impl::evaluate(const solver& s) const {
    return m_left.evaluate(s) || m_right.evaluate(s);
}

formula binary_or_formula_impl::and_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->and_with(self(), false);
    return formula(new binary_and_formula_impl(self(), x));
}

formula binary_or_formula_impl::or_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->or_with(self(), false);
    return formula(new binary_or_formula_impl(self(), x));
}

void binary_or_formula_impl::print(std::ostream& os, const variable_print_strategy& strategy,
                                   int priority) const {
    if (priority > 1)
        os << '(';
    m_left.node()->print(os, strategy, 1);
    os << "||";
    m_right.node()->print(os, strategy, 1);
    if (priority > 1)
        os << ')';
}

// ---------------------------------------------------------------------------
// Clauses

void* clause_formula_impl::operator new(std::size_t size) {
    return pool_new<clause_formula_impl>(size);
}

void clause_formula_impl::operator delete(void* p) {
    pool_delete<clause_formula_impl>(p);
}

void clause_formula_impl::constrain_solver(solver& s) const {
    if (m_clause.empty())
        throw std::runtime_error(
            "clause_formula_impl::constrain_solver emptyclauses should be handled upstream");
    auto clause = std::make_unique<clause_propagator>();
    std::vector<iset>& sets = clause->update_literals();
    for (const literal_data& literal : m_clause)
        sets.push_back(literal.values);
    constraint_connectivity_info& record = s.add_constraint(std::move(clause));
    for (const literal_data& literal : m_clause)
        record << literal.variable;
}

unsigned clause_formula_impl::reify(solver& s) const {
    const unsigned r = new_bool_var(s);
    // r implies the clause.
    {
        auto clause = std::make_unique<clause_propagator>();
        std::vector<iset>& sets = clause->update_literals();
        sets.push_back(iset(0));
        for (const literal_data& literal : m_clause)
            sets.push_back(literal.values);
        constraint_connectivity_info& record = s.add_constraint(std::move(clause));
        record << r;
        for (const literal_data& literal : m_clause)
            record << literal.variable;
    }
    // Each literal implies r.
    for (const literal_data& literal : m_clause) {
        auto clause = std::make_unique<clause_propagator>();
        clause->update_literals() = {complement_of(literal.values), iset(1)};
        s.add_constraint(std::move(clause)) << literal.variable << r;
    }
    return r;
}

bool clause_formula_impl::evaluate(const solver& s) const {
    return std::any_of(m_clause.begin(), m_clause.end(), [&](const literal_data& literal) {
        return literal.values.contains_all_of(s.assignment().domain(literal.variable));
    });
}

formula clause_formula_impl::make_not() const {
    if (m_clause.empty())
        throw std::runtime_error(
            "clause_formula_impl::make_not empty clauses should be handled upstream");
    formula result(m_clause.front().variable, complement_of(m_clause.front().values));
    for (std::size_t i = 1; i < m_clause.size(); ++i)
        result = result && formula(m_clause[i].variable, complement_of(m_clause[i].values));
    return result;
}

formula clause_formula_impl::and_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->and_with_clause(*this);
    return x.node()->and_with(self(), false);
}

formula clause_formula_impl::or_with(const formula& x, bool first) const {
    if (x.node() == this)
        return self();
    if (first)
        return x.node()->or_with_clause(*this);
    return x.node()->or_with(self(), false);
}

formula clause_formula_impl::and_with_clause(const clause_formula_impl& c) const {
    const clause_data& mine = m_clause;
    const clause_data& theirs = c.m_clause;
    if (mine.size() == 1 && theirs.size() == 1 && mine[0].variable == theirs[0].variable) {
        iset both(mine[0].values);
        both.intersect(theirs[0].values);
        if (both.empty())
            return formula(false);
        if (same_set(both, mine[0].values))
            return self();
        if (same_set(both, theirs[0].values))
            return c.self();
        return formula(new clause_formula_impl(clause_data{literal_data(mine[0].variable, both)}));
    }
    return formula(new binary_and_formula_impl(c.self(), self()));
}

formula clause_formula_impl::or_with_clause(const clause_formula_impl& c) const {
    if (c.m_clause.size() > m_clause.size())
        return c.or_with_clause(*this);
    // c's literals, sorted by variable, are the base; this clause's literals
    // are merged into them or appended after them.
    clause_data merged;
    merged.reserve(c.m_clause.size() + m_clause.size());
    merged.assign(c.m_clause.begin(), c.m_clause.end());
    merged.sort();
    const std::size_t base = merged.size();
    for (const literal_data& literal : m_clause) {
        auto end = merged.begin() + static_cast<std::ptrdiff_t>(base);
        auto it = std::lower_bound(merged.begin(), end, literal.variable,
                                   [](const literal_data& l, unsigned v) { return l.variable < v; });
        if (it != end && it->variable == literal.variable) {
            it->values.insert_all_of(literal.values);
            if (it->values.contains_all_of(all_values()))
                return formula(true);
        } else {
            merged.push_back(literal);
        }
    }
    if (merged.equivalent(m_clause))
        return self();
    if (merged.equivalent(c.m_clause))
        return c.self();
    return formula(new clause_formula_impl(std::move(merged)));
}

void clause_formula_impl::print(std::ostream& os, const variable_print_strategy& strategy,
                                int) const {
    m_clause.print(os, strategy);
}

} // namespace qarn
