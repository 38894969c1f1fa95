// The modelling state that the FlatZinc and C-like grammars fill while they
// run: the symbol table (parameters, variables and arrays with their types,
// positions and annotations), the registry of constraint kinds, the model
// builder, the constraints postponed until the variables they use are
// defined, and the objective.
//
// A variable that a constraint defines (annotated `defines_var`, declared
// `is_defined_var` and `var_is_introduced`) is replaced by its defining
// expression wherever a later constraint or the objective uses it; in the end
// every defined variable is also tied to its definition, so that printing,
// the objective and the declared domain see its true value.
//
// Operations report bad input on the stream they are given and return
// false; they do not throw for it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/model/ast_builder.h"
#include "impl/model/expression_tree.h"
#include "impl/propagators/table_propagator.h"
#include "impl/sets/model.h"
#include "impl/support/no_copy.h"

namespace qarn {

class parser_context : public no_copy {
public:
    // A variable, or a constant when var is NO_VARIABLE.
    struct var_or_value {
        unsigned var = NO_VARIABLE;
        int value = 0;

        static var_or_value variable(unsigned v) { return {v, 0}; }
        static var_or_value constant(int c) { return {NO_VARIABLE, c}; }
        bool is_constant() const { return var == NO_VARIABLE; }
        // The variable, or the shared constant variable of the value.
        unsigned to_id(parser_context& ctx) const;
    };

    // A variable, or a constant (NO_VARIABLE) with its value or, for a set
    // constant, the whole set.
    struct var_or_set {
        unsigned var;
        iset set;

        var_or_set(unsigned v, iset s) : var(v), set(std::move(s)) {}
        explicit var_or_set(const var_or_value& v) : var(v.var), set(v.value) {}
    };

    // A bit set: INT_ELEMENT or BOOL_ELEMENT, with SET_ELEMENT for sets of
    // them (5 set of int, 6 set of bool).
    typedef unsigned element_type;
    static constexpr element_type INT_ELEMENT = 1;
    static constexpr element_type BOOL_ELEMENT = 2;
    static constexpr element_type SET_ELEMENT = 4;

    struct typed_iset {
        iset set;
        element_type type;
        // The plain int type: any 32-bit value is legal for a parameter,
        // also one that the domain set cannot hold.
        bool any_int = false;
    };

    // A place in the input; written as file:line:column.
    struct position_point {
        const std::string* file = nullptr;
        unsigned line = 0;
        unsigned column = 0;
    };

    class argument_type {
    public:
        virtual ~argument_type() = default;
        virtual std::unique_ptr<argument_type> clone() const = 0;
    };
    typedef std::vector<std::unique_ptr<argument_type>> argument_list;
    static argument_list clone_arguments(const argument_list& args);

    // A name and, unless it was written without one, an argument list.
    struct annotation_type {
        std::string name;
        std::unique_ptr<argument_list> arguments;

        annotation_type() = default;
        explicit annotation_type(std::string n) : name(std::move(n)) {}
        annotation_type(const annotation_type& other);
        annotation_type& operator=(const annotation_type& other);
        annotation_type(annotation_type&&) = default;
        annotation_type& operator=(annotation_type&&) = default;
    };
    typedef std::vector<annotation_type> annotation_list;

    struct var_argument : argument_type {
        var_or_value value;
        explicit var_argument(var_or_value v) : value(v) {}
        std::unique_ptr<argument_type> clone() const override;
    };
    struct array_argument : argument_type {
        std::vector<var_or_value> values;
        explicit array_argument(std::vector<var_or_value> v) : values(std::move(v)) {}
        std::unique_ptr<argument_type> clone() const override;
    };
    struct ast_argument : argument_type {
        std::unique_ptr<xcsp::AST> expr;
        explicit ast_argument(std::unique_ptr<xcsp::AST> e);
        ~ast_argument() override;
        std::unique_ptr<argument_type> clone() const override;
    };
    struct ast_array_argument : argument_type {
        std::vector<std::unique_ptr<xcsp::AST>> exprs;
        ast_array_argument();
        ~ast_array_argument() override;
        std::unique_ptr<argument_type> clone() const override;
    };
    struct annotation_argument : argument_type {
        annotation_type annotation;
        explicit annotation_argument(annotation_type a) : annotation(std::move(a)) {}
        std::unique_ptr<argument_type> clone() const override;
    };
    struct array_dimension_argument : argument_type {
        std::vector<std::pair<int, int>> ranges;
        explicit array_dimension_argument(std::vector<std::pair<int, int>> r)
            : ranges(std::move(r)) {}
        std::unique_ptr<argument_type> clone() const override;
    };

    struct symbol_info;

    // A FlatZinc constraint kind. Given a defined symbol, a kind may hand
    // back the defined variable's expression in `definition` instead of
    // posting the constraint. False after a message on `os`.
    class constraint_type {
    public:
        virtual ~constraint_type() = default;
        virtual bool connect_constraint(std::ostream& os, const position_point& where,
                                        parser_context& ctx, const argument_list& args,
                                        symbol_info* defined,
                                        std::unique_ptr<xcsp::AST>& definition) const = 0;

        // The function node F over a, and b and c when given.
        template <class F>
        static std::unique_ptr<xcsp::AST> make(std::unique_ptr<xcsp::AST> a,
                                               std::unique_ptr<xcsp::AST> b = nullptr,
                                               std::unique_ptr<xcsp::AST> c = nullptr) {
            auto node = std::make_unique<F>();
            node->setArg(0, std::move(a));
            if (b)
                node->setArg(1, std::move(b));
            if (c)
                node->setArg(2, std::move(c));
            return node;
        }
    };
    typedef std::map<std::string, std::unique_ptr<constraint_type>> constraint_registry;

    // A constraint kept for later: it uses (or defines) a defined variable.
    struct postponed_constraint {
        position_point position;
        const constraint_type* type = nullptr;
        argument_list arguments;
        unsigned uses = 0; // instantiations begun
    };

    struct symbol_info {
        std::vector<var_or_set> values; // one for a scalar, one per array element
        annotation_list annotations;
        position_point position;
        element_type type = INT_ELEMENT;
        std::shared_ptr<postponed_constraint> defining_constraint;
        std::shared_ptr<xcsp::AST> definition; // set when first instantiated
        bool is_array = false;
        bool is_intermediate = false; // is_defined_var and var_is_introduced

        // The name, and for an array "[1..", the element count and "]".
        void print(std::ostream& os, const std::string& name) const;
    };
    typedef std::map<std::string, symbol_info> symbol_table;

    enum direction { MAXIMIZE = 1, MINIMIZE = 2 };

    // Starts and stops the reader's scanner on a context.
    class scanner_methods : public no_copy {
    public:
        virtual void start_scanner(parser_context& ctx) const = 0;
        virtual void destroy_scanner(parser_context& ctx) const = 0;

    protected:
        scanner_methods() = default;
        ~scanner_methods() = default;
    };

    typedef std::pair<std::string, position_point> named_position;
    typedef std::vector<named_position> name_list;

    // Starts the scanner on `input` (whose white-space skipping is turned
    // off); all-different detection starts on.
    parser_context(solver& s, const scanner_methods& scanner,
                   table_propagator_base::memory_manager& tables, std::istream* input,
                   std::string file_name);
    virtual ~parser_context();

    // ---- declarations
    bool define_variables(std::ostream& os, const iset& domain, const name_list& names,
                          const var_or_value* initial, const annotation_list* annotations,
                          element_type type);
    bool define_variable(std::ostream& os, iset domain, const named_position& name,
                         const var_or_value* initial, const annotation_list* annotations,
                         element_type type);
    bool define_arrays(std::ostream& os, const iset& domain, unsigned size, const name_list& names,
                       const std::vector<var_or_value>* initial,
                       const annotation_list* annotations, element_type type);
    bool define_array(std::ostream& os, const iset& domain, unsigned size,
                      const named_position& name, const std::vector<var_or_value>* initial,
                      const annotation_list* annotations, element_type type);
    bool define_scalar_constant(std::ostream& os, const named_position& name, int value);
    bool define_array_constant(std::ostream& os, const named_position& name,
                               const std::vector<int>& values);
    bool define_array_set_constant(std::ostream& os, const named_position& name,
                                   const std::vector<iset>& values);

    // ---- objective and constraints
    // With a null expression, the variable var is the objective.
    bool set_objective(std::ostream& os, std::unique_ptr<xcsp::AST> expr, direction d,
                       unsigned var);
    bool connect_constraint(std::ostream& os, const position_point& where,
                            const std::string& name, const argument_list& args,
                            const annotation_list* annotations);
    // Posts p over vars; a variable repeated among them is replaced by an
    // alias after its first occurrence.
    void connect_constraint(const std::vector<unsigned>& vars,
                            std::unique_ptr<constraint_propagator> p);
    void connect_table_propagator(const std::vector<unsigned>& vars,
                                  const std::vector<std::vector<int>>& tuples);
    // result = array[index - first]; the array's constants become shared
    // constant variables.
    bool instantiate_element_constraint(std::ostream& os, const position_point& where,
                                        unsigned index, int first,
                                        const std::vector<var_or_value>& array, unsigned result);
    // After the parse: the postponed constraints, the definitions of defined
    // variables, all-different detection and the shared operators.
    bool create_constraints(std::ostream& os);

    // ---- symbol queries
    unsigned var_id(const std::string& name) const;
    bool get_constant(const std::string& name, int& value) const;
    unsigned array_element_id(const std::string& name, std::size_t i) const;
    bool get_const_array_element(const std::string& name, std::size_t i, int& value) const;

    // ---- variables and expressions
    // The shared constant variable of c, or (fresh) a new one named
    // "V<count>_constant_<c>" ("minus_" for a negative c).
    unsigned singleton_var(int c, bool fresh);
    std::unique_ptr<xcsp::AST> to_ast(const var_or_value& v) const;
    std::unique_ptr<xcsp::AST> ast_var(unsigned v) const;
    std::string var_name(unsigned v) const;
    var_or_value from_ast(const xcsp::AST& expr);
    argument_list from_ast(const argument_list& args);
    void connect_expr(unsigned var, const xcsp::AST& expr, AST_builder::usage_type usage);
    unsigned expression_to_variable(const xcsp::AST& expr, unsigned var,
                                    AST_builder::usage_type usage);
    bool is_intermediate_var(unsigned v) const;
    bool has_defined_var(const argument_list& args) const;
    // A constant variable seen earlier in the list is replaced by a fresh one.
    void make_unique_vars(std::vector<unsigned>& vars);
    // A new variable kept equal to v.
    unsigned make_aliased_var(unsigned v);
    void update_variable_identity_function();
    // A copy of the current domain; the value itself for a constant.
    iset domain(const var_or_value& v) const;
    void set_domain(unsigned v, iset d);

    // ---- output
    // The output_var and output_array symbols in name order.
    void print_solution(std::ostream& os) const;
    // The variables print_solution shows, each once, in the order printed.
    std::vector<unsigned> shown_vars() const;
    void print_var_solution(std::ostream& os, const symbol_table::value_type& entry) const;
    void print_array_solution(std::ostream& os, const symbol_table::value_type& entry,
                              const annotation_type& annotation) const;
    void print_values(std::ostream& os, element_type type, const iset& set) const;
    int evaluate_objective() const;

    // ---- members
    void* scanner() const { return m_scanner; }
    void set_scanner(void* scanner) { m_scanner = scanner; }
    std::istream* input() const { return m_input; }
    const std::string& file_name() const { return m_file_name; }
    solver& owner() const { return m_solver; }
    AST_builder& builder() { return m_builder; }
    const symbol_table& symbols() const { return m_symbols; }
    constraint_registry& constraint_types() { return m_constraint_types; }
    const xcsp::AST* objective() const { return m_objective.get(); }
    unsigned objective_var() const { return m_objective_var; }
    table_propagator_base::memory_manager& tables() const { return m_tables; }

private:
    bool redefined(std::ostream& os, const named_position& name, const unsigned* size) const;
    void intersect_annotations(symbol_info& a, symbol_info& b);
    const symbol_info* symbol_of_var(unsigned v) const;
    symbol_info* symbol_of_var(unsigned v);
    void record_var_name(unsigned v, const std::string& name);
    bool instantiate_var_define(std::ostream& os, unsigned v,
                                std::unique_ptr<xcsp::AST>& definition);
    bool instantiate_postponed(std::ostream& os, postponed_constraint& c, symbol_info* defined,
                               std::unique_ptr<xcsp::AST>& definition);
    std::unique_ptr<xcsp::AST> instantiated_var(std::ostream& os, unsigned v, bool& ok);
    bool connect_defined_variables(std::ostream& os);
    void connect_maximization();
    void connect_minimization();

    void* m_scanner = nullptr;
    std::istream* m_input;
    std::string m_file_name;
    direction m_direction = MINIMIZE;
    std::unique_ptr<xcsp::AST> m_objective;
    unsigned m_objective_var = NO_VARIABLE;
    symbol_table m_symbols;
    std::vector<std::string> m_var_names;
    constraint_registry m_constraint_types;
    std::vector<unsigned> m_identity;
    AST_builder m_builder;
    std::vector<std::shared_ptr<postponed_constraint>> m_postponed;
    unsigned m_definition_depth = 0; // nesting of on-demand instantiations
    solver& m_solver;
    const scanner_methods& m_scanner_methods;
    table_propagator_base::memory_manager& m_tables;
};

std::ostream& operator<<(std::ostream& os, const parser_context::position_point& p);

} // namespace qarn
