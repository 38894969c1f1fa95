// The in-memory model of one OPB instance (linear pseudo-Boolean constraints
// over products of literals, with an optional objective) as the OPB grammar
// builds it, and its translation into solver variables, propagators and
// clauses (opb_linearization.cpp).
//
// Products are hash-consed in the context, so every term over the same
// product shares one product object and, once linearised, one solver
// variable and one set of clauses. Constraints are normalised when they are
// added: every coefficient positive, each product at most once, negated
// atoms standing for the coefficient times the falsity of their product.
// Coefficients and right-hand sides are kept in 64 bits so that the
// normalisation cannot wrap; what is finally posted is checked against the
// 32-bit range of the solver's values.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/solver_types.h"
#include "impl/support/no_copy.h"

namespace qarn {

class solver;

namespace opb {

class context;

// One OPB variable: its name and, once associated, its 0/1 solver variable.
class variable : public no_copy {
public:
    // Adopts a name allocated with malloc.
    explicit variable(char* name) : m_name(name) {}
    ~variable();

    const char* name() const { return m_name; }
    unsigned index() const { return m_index; }
    std::uint64_t hash() const;
    // Adds the 0/1 solver variable named like this variable.
    void associate(solver& s);

private:
    char* m_name;
    unsigned m_index = NO_VARIABLE;
};

// A literal: polarity 1 for the variable, -1 for its negation.
struct literal_type {
    int polarity;
    variable* var;
};

// The values of an atom variable: when the product is false, when it is true.
typedef std::pair<int, int> atom_values_t;

// One atom variable built on a product, and which of its two links to the
// product's variable are posted: a false product forces the atom's false
// value (false_link), a true product forces its true value (true_link).
struct atom_connectivity_t {
    unsigned variable = NO_VARIABLE;
    bool false_link = false;
    bool true_link = false;
};

// Link bits asked of an atom variable: 1 a false product forces the atom's
// value for a false product, 2 a true product forces its value for a true
// product. A lower bound of a sum needs the first, an exact sum both.
constexpr unsigned FALSE_LINK = 1;
constexpr unsigned TRUE_LINK = 2;

// A product of literals, true when every literal is true.
class conjunction : public no_copy {
public:
    conjunction(int polarity, variable* v) { m_literals.push_back({polarity, v}); }

    void append_literal(int polarity, variable* v) { m_literals.push_back({polarity, v}); }
    // Sorted literals, duplicates dropped; a variable with its negation
    // makes the product contradictory (always false, no literals).
    void normalize();
    std::uint64_t hash() const;
    bool contradictory() const { return m_contradictory; }
    const std::vector<literal_type>& literals() const { return m_literals; }
    bool same_literals(const conjunction& other) const;
    // The product order: contradictory first, then literal by literal (name,
    // then polarity); a proper prefix comes first.
    bool operator<(const conjunction& other) const;

    // The product's truth under the solver's current assignment.
    bool evaluate(const context& ctx) const;
    // The recorded product of the opposite literal for a one-literal
    // product, otherwise null.
    conjunction* get_not(context& ctx) const;

    // ---- Linearisation
    unsigned get_atom_variable(context& ctx, std::int64_t coefficient, bool negated, unsigned eval,
                               const char* name);
    unsigned variable_for_coefficient(context& ctx, atom_values_t values,
                                      const atom_connectivity_t& wanted, const char* name);
    void strengthen_variable(context& ctx, atom_values_t values, const atom_connectivity_t& wanted,
                             atom_connectivity_t& entry) const;
    void strengthen_conjunction_result(context& ctx, const atom_connectivity_t& wanted);
    void a_false_literal_implies_zero_atom(solver& s, unsigned product_var) const;
    void true_literals_imply_conjunction(solver& s, unsigned product_var) const;

private:
    std::vector<literal_type> m_literals;
    int m_false_value = 0; // the product variable's value for a false product
    int m_true_value = 0;  // ... for a true one; equal values: no variable yet
    unsigned m_variable = NO_VARIABLE;
    bool m_false_link_posted = false; // a false literal forces the false value
    bool m_true_link_posted = false;  // all literals true force the true value
    std::map<atom_values_t, atom_connectivity_t> m_atoms;
    bool m_contradictory = false;
};

std::ostream& operator<<(std::ostream& os, const conjunction& c);

// A weighted sum of products. A negated atom is its coefficient times the
// negation of its product.
class expression {
public:
    struct atom_type {
        std::int64_t coefficient;
        bool negated;
        conjunction* product; // owned by the context
    };
    enum constraint_type { EXACT_SUM = 0, LOWER_BOUND = 1 };

    expression(std::int64_t coefficient, conjunction* product) {
        m_atoms.push_back({coefficient, false, product});
    }

    void append_atom(std::int64_t coefficient, conjunction* product) {
        m_atoms.push_back({coefficient, false, product});
    }
    const std::vector<atom_type>& atoms() const { return m_atoms; }
    void negate_coefficients();
    bool all_coefficients_positive() const;
    // Brings the sum into normal form; k, the right-hand side, follows.
    void normalize(context& ctx, std::int64_t& k);
    void merge_similar_conjunctions();
    // Adds the coefficient of every later atom over a product to its first
    // atom and drops the later ones; the atoms keep their order.
    void merge_repeated_products();
    void make_atoms_positive(std::int64_t& k);
    // The sum under the solver's current assignment, clamped to 32 bits.
    int evaluate(const context& ctx) const;

    // ---- Linearisation
    // A variable that equals the sum (EXACT_SUM) or is at most it
    // (LOWER_BOUND); NO_VARIABLE for an empty sum. Throws qarn::unsupported
    // when a partial sum can leave the 32-bit range.
    unsigned get_evaluating_variable(context& ctx, constraint_type type, const char* name) const;
    // One clause: some atom holds.
    void add_or_between_conjunctions(context& ctx) const;

private:
    std::vector<atom_type> m_atoms;
};

std::ostream& operator<<(std::ostream& os, const expression& e);

class constraint {
public:
    enum direction { AT_LEAST = 0, EQUAL = 1 };

    constraint(std::unique_ptr<expression> e, std::int64_t k, direction d)
        : m_expression(std::move(e)), m_k(k), m_direction(d) {}

    const expression& sum() const { return *m_expression; }
    std::int64_t k() const { return m_k; }
    direction relation() const { return m_direction; }
    bool trivially_true() const { return m_trivially_true; }
    bool trivially_false() const { return m_trivially_false; }

    void normalize(context& ctx);
    // Posts the constraint; false when it cannot be satisfied.
    bool apply(context& ctx) const;

private:
    std::unique_ptr<expression> m_expression;
    std::int64_t m_k;
    direction m_direction;
    bool m_trivially_true = false;
    bool m_trivially_false = false;
};

std::ostream& operator<<(std::ostream& os, constraint::direction d);
std::ostream& operator<<(std::ostream& os, const constraint& c);

// The model of one instance, bound to the solver it is built into.
class context : public no_copy {
public:
    enum direction { NO_OBJECTIVE = 0, MAXIMIZE = 1, MINIMIZE = 2 };

    // Clears the stream's skip-white-space flag and starts the scanner.
    context(solver& s, std::istream* input, std::string name);
    virtual ~context();

    solver& owner() const { return m_solver; }
    std::istream* input() const { return m_input; }
    const std::string& name() const { return m_name; }
    void* scanner() const { return m_scanner; }
    std::size_t variable_count() const { return m_variables.size(); }
    const std::vector<std::unique_ptr<constraint>>& constraints() const { return m_constraints; }
    const expression* objective() const { return m_objective.get(); }
    direction objective_direction() const { return m_direction; }
    unsigned objective_variable() const { return m_objective_variable; }

    // Takes a name allocated with malloc; returns the variable of that name.
    variable* get_variable(char* name);
    // Normalises a new product and returns the one recorded product equal
    // to it (the new one when it is the first).
    conjunction* record_unique_conjunction(std::unique_ptr<conjunction> product);
    void add_constraint(std::unique_ptr<constraint> c);
    void set_objective(std::unique_ptr<expression> e, direction d);
    int evaluate_objective() const;
    // "v " and every variable in name order, "-" before those at 0.
    void print_solution(std::ostream& os) const;

    bool trace_parsing() const;
    bool trace_construction() const;
    bool trace_failure() const;

    // Posts the model into the solver; false when it cannot be satisfied.
    bool build_solver();
    bool connect_maximization();
    bool connect_minimization();

    // Defined with the scanner.
    void init_scanner();
    void destroy_scanner();

private:
    struct name_less {
        using is_transparent = void;
        bool operator()(const std::unique_ptr<variable>& a, const std::unique_ptr<variable>& b) const;
        bool operator()(const std::unique_ptr<variable>& a, const char* b) const;
        bool operator()(const char* a, const std::unique_ptr<variable>& b) const;
    };
    struct conjunction_hash_entry {
        std::uint64_t hash;
        std::unique_ptr<conjunction> product;
        bool operator<(const conjunction_hash_entry& other) const;
    };

    solver& m_solver;
    void* m_scanner = nullptr;
    std::istream* m_input;
    std::string m_name;
    std::set<std::unique_ptr<variable>, name_less> m_variables;
    std::set<conjunction_hash_entry> m_products;
    std::vector<std::unique_ptr<constraint>> m_constraints;
    direction m_direction = NO_OBJECTIVE;
    std::unique_ptr<expression> m_objective;
    unsigned m_objective_variable = NO_VARIABLE;
};

// One line "constraint[i]: ..." per constraint.
std::ostream& operator<<(std::ostream& os, const context& ctx);

} // namespace opb
} // namespace qarn
