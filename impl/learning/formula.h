// Reference-counted Boolean formulas over set literals ("variable lies in a
// set"): the constants, negation, binary conjunction and disjunction, and
// clauses as leaves. Formulas simplify as they are built (constants, double
// negation, clauses on one variable merged), evaluate on a solver's current
// domains, print, and can be posted into a solver or reified into a 0/1
// variable. Nodes are immutable and shared; the two constants live for the
// whole process.
#pragma once

#include <cstddef>
#include <ostream>

#include "impl/engine/variable_printer.h"
#include "impl/learning/literal_data.h"
#include "impl/sets/model.h"

namespace qarn {

class solver;
class formula_impl;
class clause_formula_impl;

class formula {
public:
    formula() = default; // null: prints "NULL"
    explicit formula(bool value);
    // False for an empty clause.
    explicit formula(const clause_data& clause);
    // False for an empty set, true for the set of every value.
    formula(unsigned variable, const iset& values);
    // Takes a new link to the node.
    explicit formula(formula_impl* node);
    formula(const formula& other);
    formula(formula&& other) noexcept;
    formula& operator=(const formula& other);
    formula& operator=(formula&& other) noexcept;
    ~formula();

    formula operator!() const;
    friend formula operator&&(const formula& a, const formula& b);
    friend formula operator||(const formula& a, const formula& b);

    void constrain_solver(solver& s) const;
    unsigned reify(solver& s) const;
    bool evaluate(const solver& s) const;
    void print(std::ostream& os, const variable_print_strategy& strategy) const;

    const formula_impl* node() const { return m_node; }
    bool is_null() const { return !m_node; }

private:
    void construct(const literal_data& literal);

    formula_impl* m_node = nullptr;
};

class formula_impl {
public:
    virtual void constrain_solver(solver& s) const = 0;
    // A 0/1 variable equal to the formula.
    virtual unsigned reify(solver& s) const = 0;
    virtual bool evaluate(const solver& s) const = 0;
    virtual formula make_not() const = 0;
    // `first` is true on the outer call: the callee lets x try first.
    virtual formula and_with(const formula& x, bool first) const = 0;
    virtual formula or_with(const formula& x, bool first) const = 0;
    // The combination started by clause c on the left.
    virtual formula and_with_clause(const clause_formula_impl& c) const;
    virtual formula or_with_clause(const clause_formula_impl& c) const;
    virtual void print(std::ostream& os, const variable_print_strategy& strategy,
                       int priority) const = 0;
    virtual ~formula_impl() = default;

    void link() const { ++m_count; }
    // Destroys the node when the last link goes.
    void unlink() const;
    unsigned count() const { return m_count; }

    // The variable's domain is {1} / {0}; throws std::out_of_range beyond
    // the solver's variables.
    static bool is_true_var(const solver& s, unsigned v);
    static bool is_false_var(const solver& s, unsigned v);
    // Posts a clause over 0/1 variables: l >= 0 is "l = 1", l < 0 "~l = 0".
    static void add_bool_clause(solver& s, const int* literals, unsigned count);
    static void add_bool_clause(solver& s, int a);
    static void add_bool_clause(solver& s, int a, int b);
    static void add_bool_clause(solver& s, int a, int b, int c);

protected:
    // A formula holding a new link to this node.
    formula self() const { return formula(const_cast<formula_impl*>(this)); }

private:
    mutable unsigned m_count = 0;
};

class true_formula_impl : public formula_impl {
public:
    // The process-wide instance.
    static formula_impl* instance();
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula make_not() const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
};

class false_formula_impl : public formula_impl {
public:
    static formula_impl* instance();
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula make_not() const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
};

class not_formula_impl : public formula_impl {
public:
    explicit not_formula_impl(formula operand) : m_operand(std::move(operand)) {}
    static void* operator new(std::size_t size);
    static void operator delete(void* p);
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula make_not() const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
    const formula& operand() const { return m_operand; }

private:
    formula m_operand;
};

class binary_operator_formula_impl : public formula_impl {
public:
    binary_operator_formula_impl(formula left, formula right)
        : m_left(std::move(left)), m_right(std::move(right)) {}
    // Serves only nodes of this class's size (the conjunction and the
    // disjunction add no field).
    static void* operator new(std::size_t size);
    static void operator delete(void* p);
    formula make_not() const override;
    const formula& left() const { return m_left; }
    const formula& right() const { return m_right; }

protected:
    formula m_left, m_right;
};

class binary_and_formula_impl : public binary_operator_formula_impl {
public:
    using binary_operator_formula_impl::binary_operator_formula_impl;
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
};

class binary_or_formula_impl : public binary_operator_formula_impl {
public:
    using binary_operator_formula_impl::binary_operator_formula_impl;
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
};

class clause_formula_impl : public formula_impl {
public:
    explicit clause_formula_impl(clause_data clause) : m_clause(std::move(clause)) {}
    static void* operator new(std::size_t size);
    static void operator delete(void* p);
    void constrain_solver(solver& s) const override;
    unsigned reify(solver& s) const override;
    bool evaluate(const solver& s) const override;
    formula make_not() const override;
    formula and_with(const formula& x, bool first) const override;
    formula or_with(const formula& x, bool first) const override;
    formula and_with_clause(const clause_formula_impl& c) const override;
    formula or_with_clause(const clause_formula_impl& c) const override;
    void print(std::ostream& os, const variable_print_strategy& strategy,
               int priority) const override;
    const clause_data& clause() const { return m_clause; }

private:
    clause_data m_clause;
};

} // namespace qarn
