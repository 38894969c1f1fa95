// The FlatZinc constraint kinds and their registry. Scalar kinds build an
// expression over their arguments; linear kinds post weighted sums; array
// kinds narrow domains first and mark the model unsatisfiable when that
// leaves nothing. Arguments come as variables and arrays when a constraint
// is read, as expressions when it is instantiated later as a definition.
// Long chains (conjunctions, clauses, sums over arrays) are built as
// balanced trees: the builder flattens them all the same, and their depth
// stays logarithmic in the array's length.
#include "frontends/flatzinc/fzn_constraints.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iostream>
#include <utility>
#include <vector>

#include "impl/model/expression_tree.h"
#include "impl/propagators/interval_propagators.h"

namespace qarn::fzn_constraint {

typedef parser_context::argument_list argument_list;
typedef parser_context::var_or_value var_or_value;
typedef parser_context::position_point position_point;
typedef parser_context::symbol_info symbol_info;
typedef std::unique_ptr<xcsp::AST> expr_ptr;
using var_argument = parser_context::var_argument;
using array_argument = parser_context::array_argument;
using ast_argument = parser_context::ast_argument;
using ast_array_argument = parser_context::ast_array_argument;

template <class F> expr_ptr make(expr_ptr a, expr_ptr b = nullptr) {
    return parser_context::constraint_type::make<F>(std::move(a), std::move(b));
}

// ---- helpers shared by the kinds

void post_true(parser_context& ctx, const xcsp::AST& e) {
    ctx.connect_expr(ctx.singleton_var(1, false), e, AST_builder::BOTH_WAYS);
}

// Whether r is the variable that the constraint defines.
bool is_defined_result(const symbol_info* defined, const xcsp::AST& r) {
    return defined && !defined->is_array && !defined->values.empty() && r.getType() == xcsp::VAR &&
           static_cast<unsigned>(static_cast<const xcsp::ASTVar&>(r).index()) ==
               defined->values[0].var;
}

// r = e: hands e back as the definition of r when r is the defined
// variable, else posts EQ(e, r) as true.
void define_or_post(parser_context& ctx, expr_ptr e, expr_ptr r, const symbol_info* defined,
                    expr_ptr& definition) {
    if (is_defined_result(defined, *r)) {
        definition = std::move(e);
        return;
    }
    post_true(ctx, *make<xcsp::FunctionEQ>(std::move(e), std::move(r)));
}

// A variable or constant argument, or an expression argument, as an
// expression; null for any other argument.
expr_ptr scalar_ast(parser_context& ctx, const parser_context::argument_type* a) {
    if (const auto* v = dynamic_cast<const var_argument*>(a))
        return ctx.to_ast(v->value);
    if (const auto* e = dynamic_cast<const ast_argument*>(a))
        return deep_copy(*e->expr);
    return nullptr;
}

// The elements of an array or expression array argument as expressions;
// false for any other argument.
bool array_asts(parser_context& ctx, const parser_context::argument_type* a,
                std::vector<expr_ptr>& out) {
    if (const auto* l = dynamic_cast<const array_argument*>(a)) {
        for (const var_or_value& v : l->values)
            out.push_back(ctx.to_ast(v));
        return true;
    }
    if (const auto* l = dynamic_cast<const ast_array_argument*>(a)) {
        for (const auto& e : l->exprs)
            out.push_back(deep_copy(*e));
        return true;
    }
    return false;
}

// F over items[first, last) as a balanced tree (non-empty range).
template <class F>
expr_ptr balanced(std::vector<expr_ptr>& items, std::size_t first, std::size_t last) {
    if (last - first == 1)
        return std::move(items[first]);
    const std::size_t middle = first + (last - first) / 2;
    return make<F>(balanced<F>(items, first, middle), balanced<F>(items, middle, last));
}

// F over all items, or the integer node `empty` when there are none.
template <class F> expr_ptr joined(std::vector<expr_ptr>& items, int empty) {
    if (items.empty())
        return std::make_unique<xcsp::ASTInteger>(empty);
    return balanced<F>(items, 0, items.size());
}

const var_argument* as_var(const argument_list& args, std::size_t i) {
    return dynamic_cast<const var_argument*>(args[i].get());
}

const array_argument* as_array(const argument_list& args, std::size_t i) {
    return dynamic_cast<const array_argument*>(args[i].get());
}

bool wrong_count(std::ostream& os, const position_point& where, const argument_list& args,
                 std::size_t expected, const char* what = "") {
    if (args.size() == expected)
        return false;
    os << where << " got " << args.size() << " arguments when expecting " << expected << what
       << "\n";
    return true;
}

// ---- two and three scalar arguments

class binary_constraint_type : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& args, symbol_info* defined,
                            expr_ptr& definition) const override {
        if (wrong_count(os, where, args, 2))
            return false;
        expr_ptr a = scalar_ast(ctx, args[0].get()), b = scalar_ast(ctx, args[1].get());
        if (!a || !b) {
            os << where << " expecting variable/constant argument\n";
            return false;
        }
        connect2(ctx, std::move(a), std::move(b), defined, definition);
        return true;
    }
    virtual void connect2(parser_context& ctx, expr_ptr a, expr_ptr b, symbol_info* defined,
                          expr_ptr& definition) const = 0;
};

template <class F> class int_OP : public binary_constraint_type {
public:
    void connect2(parser_context& ctx, expr_ptr a, expr_ptr b, symbol_info*,
                  expr_ptr&) const override {
        post_true(ctx, *make<F>(std::move(a), std::move(b)));
    }
};

class bool_le : public binary_constraint_type {
public:
    void connect2(parser_context& ctx, expr_ptr a, expr_ptr b, symbol_info*,
                  expr_ptr&) const override {
        post_true(ctx, *make<xcsp::FunctionOr>(make<xcsp::FunctionNot>(std::move(a)), std::move(b)));
    }
};

class bool_lt : public binary_constraint_type {
public:
    void connect2(parser_context& ctx, expr_ptr a, expr_ptr b, symbol_info*,
                  expr_ptr&) const override {
        post_true(ctx,
                  *make<xcsp::FunctionAnd>(make<xcsp::FunctionNot>(std::move(a)), std::move(b)));
    }
};

class abs_constraint_type : public binary_constraint_type {
public:
    void connect2(parser_context& ctx, expr_ptr a, expr_ptr r, symbol_info* defined,
                  expr_ptr& definition) const override {
        define_or_post(ctx, make<xcsp::FunctionAbs>(std::move(a)), std::move(r), defined,
                       definition);
    }
};

class binary_function_constraint_type : public parser_context::constraint_type {
public:
    // Each argument may be a variable or constant, or an expression: a
    // constraint instantiated as a definition keeps its constants as they
    // are while its variables become expressions.
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& args, symbol_info* defined,
                            expr_ptr& definition) const override {
        if (wrong_count(os, where, args, 3))
            return false;
        expr_ptr a = scalar_ast(ctx, args[0].get()), b = scalar_ast(ctx, args[1].get()),
                 c = scalar_ast(ctx, args[2].get());
        if (!a || !b || !c) {
            os << where << " expecting variable/constant argument\n";
            return false;
        }
        connect3(ctx, std::move(a), std::move(b), std::move(c), defined, definition);
        return true;
    }
    virtual void connect3(parser_context& ctx, expr_ptr a, expr_ptr b, expr_ptr c,
                          symbol_info* defined, expr_ptr& definition) const = 0;
};

template <class F> class int_FUNC : public binary_function_constraint_type {
public:
    void connect3(parser_context& ctx, expr_ptr a, expr_ptr b, expr_ptr r, symbol_info* defined,
                  expr_ptr& definition) const override {
        define_or_post(ctx, make<F>(std::move(a), std::move(b)), std::move(r), defined, definition);
    }
};

class bool_le_reif : public binary_function_constraint_type {
public:
    void connect3(parser_context& ctx, expr_ptr a, expr_ptr b, expr_ptr r, symbol_info* defined,
                  expr_ptr& definition) const override {
        define_or_post(ctx,
                       make<xcsp::FunctionOr>(make<xcsp::FunctionNot>(std::move(a)), std::move(b)),
                       std::move(r), defined, definition);
    }
};

class bool_lt_reif : public binary_function_constraint_type {
public:
    void connect3(parser_context& ctx, expr_ptr a, expr_ptr b, expr_ptr r, symbol_info* defined,
                  expr_ptr& definition) const override {
        define_or_post(ctx,
                       make<xcsp::FunctionAnd>(make<xcsp::FunctionNot>(std::move(a)), std::move(b)),
                       std::move(r), defined, definition);
    }
};

class plus_constraint_type : public binary_function_constraint_type {
public:
    // a + b = c, handed back as the definition of whichever is defined.
    void connect3(parser_context& ctx, expr_ptr a, expr_ptr b, expr_ptr c, symbol_info* defined,
                  expr_ptr& definition) const override {
        if (is_defined_result(defined, *c)) {
            definition = make<xcsp::FunctionAdd>(std::move(a), std::move(b));
        } else if (is_defined_result(defined, *a)) {
            definition = make<xcsp::FunctionSub>(std::move(c), std::move(b));
        } else if (is_defined_result(defined, *b)) {
            definition = make<xcsp::FunctionSub>(std::move(c), std::move(a));
        } else {
            post_true(ctx, *make<xcsp::FunctionEQ>(
                               make<xcsp::FunctionAdd>(std::move(a), std::move(b)), std::move(c)));
        }
    }
};

// ---- linear constraints

// Merges the terms of a repeated variable, drops zero coefficients and
// splits a coefficient beyond ±2147483647 into one within it and the excess
// on an alias of the variable. The lists change only when the number of
// terms did.
void make_unique_vars(parser_context& ctx, std::vector<int>& coefficients,
                      std::vector<unsigned>& vars) {
    std::vector<std::pair<unsigned, std::int64_t>> terms;
    terms.reserve(vars.size());
    for (std::size_t i = 0; i < vars.size(); ++i)
        terms.emplace_back(vars[i], coefficients[i]);
    std::sort(terms.begin(), terms.end());
    for (std::size_t i = 1; i < terms.size(); ++i)
        if (terms[i].first == terms[i - 1].first) {
            terms[i].second += terms[i - 1].second;
            terms[i - 1].second = 0;
        }
    terms.erase(std::remove_if(terms.begin(), terms.end(), [](const auto& t) { return t.second == 0; }),
                terms.end());
    // The negative bound is -INT_MAX too: sums are negated when posted.
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const std::int64_t c = terms[i].second;
        if (c > INT_MAX || c < -INT_MAX) {
            const std::int64_t kept = c > 0 ? INT_MAX : -INT_MAX;
            terms[i].second = kept;
            const unsigned alias = ctx.make_aliased_var(terms[i].first);
            terms.emplace_back(alias, c - kept);
        }
    }
    if (terms.size() == vars.size())
        return;
    coefficients.clear();
    vars.clear();
    for (const auto& [v, c] : terms) {
        vars.push_back(v);
        coefficients.push_back(static_cast<int>(c));
    }
}

enum relation_type : unsigned { EQ_RELATION = 0, LE_RELATION = 1, NE_RELATION = 2 };

class lin_constraint_type : public parser_context::constraint_type {
public:
    explicit lin_constraint_type(unsigned relation) : m_relation(relation) {}

    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        const std::size_t expected = is_reif() ? 4 : 3;
        if (given.size() != expected) {
            os << where << " got " << given.size() << " arguments when expecting " << expected
               << std::endl;
            return false;
        }
        argument_list args;
        if (!from_ast(os, where, ctx, given, args))
            return false;
        const array_argument* as = as_array(args, 0);
        const array_argument* bs = as_array(args, 1);
        if (!as || !bs) {
            os << where << ": The first two arguments should be arrays\n";
            return false;
        }
        const var_argument* c = as_var(args, 2);
        if (!c) {
            os << where << ": The third arguments should be a scalar\n";
            return false;
        }
        const var_argument* r = is_reif() ? as_var(args, 3) : nullptr;
        if (is_reif() && !r) {
            os << where << ": The last arguments should be a scalar\n";
            return false;
        }
        return connect_values(os, where, ctx, as->values, bs->values, c->value,
                              r ? &r->value : nullptr);
    }

    virtual bool is_reif() const { return false; }

private:
    // Converts expression arguments back to variables and arrays. A sum at
    // most a limit over expressions gives each expression a variable bound
    // one way only: above it for a positive coefficient, below otherwise.
    bool from_ast(std::ostream& os, const position_point& where, parser_context& ctx,
                  const argument_list& args, argument_list& out) const {
        const auto* exprs = dynamic_cast<const ast_array_argument*>(args[1].get());
        if (is_reif() || m_relation != LE_RELATION || !exprs) {
            out = ctx.from_ast(args);
            return true;
        }
        std::vector<var_or_value> coefficients;
        if (const array_argument* a = as_array(args, 0)) {
            coefficients = a->values;
        } else if (const auto* e = dynamic_cast<const ast_array_argument*>(args[0].get())) {
            for (const auto& x : e->exprs)
                coefficients.push_back(ctx.from_ast(*x));
        } else {
            os << where << ": The first two arguments should be arrays\n";
            return false;
        }
        if (exprs->exprs.size() != coefficients.size()) {
            os << where << ": The first two arguments should be arrays of same size\n";
            return false;
        }
        std::vector<var_or_value> vars;
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            const xcsp::AST& e = *exprs->exprs[i];
            const unsigned type = e.getType();
            if (type == xcsp::VAR || type == xcsp::INTEGER || type == xcsp::BOOLEAN) {
                vars.push_back(ctx.from_ast(e));
                continue;
            }
            const var_or_value& k = coefficients[i];
            const AST_builder::usage_type usage =
                !k.is_constant() ? AST_builder::BOTH_WAYS
                : k.value > 0    ? AST_builder::IMPLIES_RESULT
                                 : AST_builder::RESULT_IMPLIES;
            vars.push_back(var_or_value::variable(ctx.expression_to_variable(e, NO_VARIABLE, usage)));
        }
        var_or_value limit;
        if (const var_argument* c = as_var(args, 2))
            limit = c->value;
        else if (const auto* e = dynamic_cast<const ast_argument*>(args[2].get()))
            limit = ctx.from_ast(*e->expr);
        else {
            os << where << ": The third arguments should be a scalar\n";
            return false;
        }
        out.push_back(std::make_unique<array_argument>(std::move(coefficients)));
        out.push_back(std::make_unique<array_argument>(std::move(vars)));
        out.push_back(std::make_unique<var_argument>(limit));
        return true;
    }

    bool connect_values(std::ostream& os, const position_point& where, parser_context& ctx,
                        const std::vector<var_or_value>& as, const std::vector<var_or_value>& bs,
                        const var_or_value& c, const var_or_value* r) const {
        if (as.size() != bs.size()) {
            os << where << ": The first two arguments should be arrays of same size\n";
            return false;
        }
        if (!r && (m_relation == EQ_RELATION || m_relation == LE_RELATION))
            return instantiate_weighted_sum(os, where, ctx, as, bs, c);
        std::vector<expr_ptr> terms;
        terms.reserve(as.size());
        for (std::size_t i = 0; i < as.size(); ++i)
            terms.push_back(make<xcsp::FunctionMul>(ctx.to_ast(as[i]), ctx.to_ast(bs[i])));
        expr_ptr s = joined<xcsp::FunctionAdd>(terms, 0);
        expr_ptr e;
        switch (m_relation) {
        case EQ_RELATION:
            e = make<xcsp::FunctionEQ>(std::move(s), ctx.to_ast(c));
            break;
        case LE_RELATION:
            e = make<xcsp::FunctionLE>(std::move(s), ctx.to_ast(c));
            break;
        case NE_RELATION:
            e = make<xcsp::FunctionNE>(std::move(s), ctx.to_ast(c));
            break;
        default:
            os << where << ": unsupported direction\n";
            return false;
        }
        if (r)
            e = make<xcsp::FunctionEQ>(std::move(e), ctx.to_ast(*r));
        post_true(ctx, *e);
        return true;
    }

    // The sum at most c, and for an equality at least c too.
    bool instantiate_weighted_sum(std::ostream& os, const position_point& where,
                                  parser_context& ctx, const std::vector<var_or_value>& as,
                                  const std::vector<var_or_value>& bs,
                                  const var_or_value& c) const {
        std::vector<int> coefficients;
        coefficients.reserve(as.size());
        for (const var_or_value& a : as) {
            if (!a.is_constant()) {
                os << where << ": first argument should be a list of int but got "
                   << ctx.var_name(a.var) << std::endl;
                return false;
            }
            coefficients.push_back(a.value);
        }
        std::vector<unsigned> vars;
        vars.reserve(bs.size());
        for (const var_or_value& b : bs)
            vars.push_back(b.to_id(ctx));
        if (!c.is_constant()) {
            os << where << ": last argument should be an int but got " << ctx.var_name(c.var)
               << std::endl;
            return false;
        }
        make_unique_vars(ctx, coefficients, vars);
        ctx.builder().instantiate_weighted_sum(coefficients, vars, false, c.value);
        if (m_relation == EQ_RELATION)
            ctx.builder().instantiate_weighted_sum(coefficients, vars, true, c.value);
        return true;
    }

    unsigned m_relation;
};

class lin_reif_constraint_type : public lin_constraint_type {
public:
    using lin_constraint_type::lin_constraint_type;
    bool is_reif() const override { return true; }
};

// ---- arrays, tables and global constraints

class array_element : public parser_context::constraint_type {
public:
    // c = as[b], as indexed from 1.
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 3))
            return false;
        const argument_list args = ctx.from_ast(given);
        const var_argument* b = as_var(args, 0);
        const var_argument* c = as_var(args, 2);
        if (!b || !c) {
            os << where << " the first and last arguments should be variable/constant\n";
            return false;
        }
        const array_argument* as = as_array(args, 1);
        if (!as) {
            os << where << " the second argument should be an array\n";
            return false;
        }
        const unsigned result = c->value.to_id(ctx);
        const unsigned index = b->value.to_id(ctx);
        iset r(ctx.owner().domain(result));
        iset indices;
        if (!as->values.empty()) {
            iset candidates(ctx.owner().domain(index));
            candidates.intersect(iset::range_type(1, static_cast<int>(std::min<std::size_t>(
                                                         as->values.size(), INT_MAX))));
            iset u;
            for (int i : candidates) {
                iset d = ctx.domain(as->values[static_cast<std::size_t>(i) - 1]);
                if (!d.contains_any_of(r))
                    continue;
                d.intersect(r);
                u.insert_all_of(d);
                indices.insert(iset::range_type(i, i));
            }
            r = std::move(u);
        }
        ctx.set_domain(result, std::move(r));
        if (indices.empty()) {
            os << "% " << where << ": the constraint is initially falsified\n";
            ctx.builder().mark_unsat();
            return true;
        }
        ctx.set_domain(index, std::move(indices));
        return ctx.instantiate_element_constraint(os, where, index, 1, as->values, result);
    }
};

class array_constraint_base : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& args, symbol_info* defined,
                            expr_ptr& definition) const override {
        if (wrong_count(os, where, args, 2))
            return false;
        std::vector<expr_ptr> items;
        if (!array_asts(ctx, args[0].get(), items)) {
            os << where << " argument 1 should be an array\n";
            return false;
        }
        expr_ptr r = scalar_ast(ctx, args[1].get());
        if (!r) {
            os << where << " argument 2 should be either a variable or a value\n";
            return false;
        }
        define_or_post(ctx, connect_FUNC(items), std::move(r), defined, definition);
        return true;
    }
    // F over the items, or the initial value when there are none.
    virtual expr_ptr connect_FUNC(std::vector<expr_ptr>& items) const = 0;
    virtual int initial() const = 0;
};

template <class F, int Initial> class array_FUNC : public array_constraint_base {
public:
    expr_ptr connect_FUNC(std::vector<expr_ptr>& items) const override {
        return joined<F>(items, initial());
    }
    int initial() const override { return Initial; }
};

class array_xor : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 1))
            return false;
        const argument_list args = ctx.from_ast(given);
        const array_argument* as = as_array(args, 0);
        if (!as) {
            os << where << " argument 1 should be an array\n";
            return false;
        }
        bool parity = true;
        std::vector<unsigned> vars;
        for (const var_or_value& v : as->values) {
            if (v.is_constant())
                parity = parity != (v.value != 0);
            else
                vars.push_back(v.var);
        }
        ctx.builder().connect_parity(vars, parity);
        return true;
    }
};

class bool_clause : public parser_context::constraint_type {
public:
    // Some a is true or some b is false.
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 2))
            return false;
        const argument_list args = ctx.from_ast(given);
        const array_argument* as = as_array(args, 0);
        const array_argument* bs = as_array(args, 1);
        if (!as || !bs) {
            os << where << ": The first two arguments should be arrays\n";
            return false;
        }
        std::vector<expr_ptr> literals;
        literals.reserve(as->values.size() + bs->values.size());
        for (const var_or_value& a : as->values)
            literals.push_back(ctx.to_ast(a));
        for (const var_or_value& b : bs->values)
            literals.push_back(make<xcsp::FunctionNot>(ctx.to_ast(b)));
        post_true(ctx, *joined<xcsp::FunctionOr>(literals, 0));
        return true;
    }
};

class all_different_type : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 1, " array argument"))
            return false;
        const argument_list args = ctx.from_ast(given);
        const array_argument* as = as_array(args, 0);
        if (!as) {
            os << where << " expecting array argument\n";
            return false;
        }
        std::vector<unsigned> vars;
        iset constants;
        for (const var_or_value& v : as->values) {
            if (!v.is_constant()) {
                vars.push_back(v.var);
            } else if (constants.contains(v.value)) {
                os << "% " << where << ": all_different is trivially UNSAT since value " << v.value
                   << " repeats\n";
                ctx.builder().mark_unsat();
                return true;
            } else {
                constants.insert(iset::range_type(v.value, v.value));
            }
        }
        if (!constants.empty()) {
            for (unsigned v : vars) {
                iset d(ctx.owner().domain(v));
                d.erase_all_of(constants);
                if (d.empty()) {
                    os << "% " << where << ": all_different is trivially UNSAT since value "
                       << ctx.var_name(v) << " conflicts values {" << constants << "}\n";
                    ctx.builder().mark_unsat();
                    return true;
                }
                ctx.set_domain(v, std::move(d));
            }
        }
        ctx.builder().instantiate_all_different(vars);
        return true;
    }
};

class table_constraint : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 2))
            return false;
        const argument_list args = ctx.from_ast(given);
        const array_argument* xs = as_array(args, 0);
        const array_argument* ts = as_array(args, 1);
        if (!xs || !ts) {
            os << where << " expecting two array arguments\n";
            return false;
        }
        const std::size_t k = xs->values.size();
        if (k == 0) {
            os << where << " expecting non-empty array of variables\n";
            return false;
        }
        if (ts->values.size() % k != 0) {
            os << where << " table-spec array must be dividable by arity (" << k << ")\n";
            return false;
        }
        std::vector<std::vector<int>> tuples(ts->values.size() / k);
        for (std::size_t i = 0; i < ts->values.size(); ++i) {
            if (!ts->values[i].is_constant()) {
                os << where << " second array must contain constants\n";
                return false;
            }
            tuples[i / k].push_back(ts->values[i].value);
        }
        std::vector<unsigned> vars;
        for (const var_or_value& x : xs->values)
            vars.push_back(x.to_id(ctx));
        ctx.connect_table_propagator(vars, tuples);
        return true;
    }
};

// Every argument a variable or a constant; false after the message.
bool all_scalars(std::ostream& os, const position_point& where, const argument_list& args) {
    for (std::size_t i = 0; i < args.size(); ++i)
        if (!as_var(args, i)) {
            os << where << " expecting only variables/constants\n";
            return false;
        }
    return true;
}

class no_overlap_constraint : public parser_context::constraint_type {
public:
    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, 4))
            return false;
        const argument_list args = ctx.from_ast(given);
        if (!all_scalars(os, where, args))
            return false;
        const var_or_value &x = as_var(args, 0)->value, &lx = as_var(args, 1)->value,
                           &y = as_var(args, 2)->value, &ly = as_var(args, 3)->value;
        if (!lx.is_constant() || !ly.is_constant()) {
            os << where << " expecting second and forth const arguments\n";
            return false;
        }
        ctx.connect_constraint({x.to_id(ctx), y.to_id(ctx)},
                               std::make_unique<no_overlap_propagator>(lx.value, ly.value));
        return true;
    }
};

class sub_interval_constraint : public parser_context::constraint_type {
public:
    sub_interval_constraint(bool positive, unsigned count) : m_positive(positive), m_count(count) {}

    bool connect_constraint(std::ostream& os, const position_point& where, parser_context& ctx,
                            const argument_list& given, symbol_info*, expr_ptr&) const override {
        if (wrong_count(os, where, given, m_count))
            return false;
        const argument_list args = ctx.from_ast(given);
        if (!all_scalars(os, where, args))
            return false;
        for (std::size_t i = 2; i < args.size(); ++i)
            if (!as_var(args, i)->value.is_constant()) {
                os << where << " expecting argument " << i << " to be a constraint\n";
                return false;
            }
        const int a = as_var(args, 2)->value.value, b = as_var(args, 3)->value.value;
        const int k = m_count > 4 ? as_var(args, 4)->value.value : 0;
        std::unique_ptr<constraint_propagator> p;
        if (m_positive)
            p = std::make_unique<sub_interval_propagator>(a, b);
        else
            p = std::make_unique<no_sub_interval_propagator>(a, b, k);
        ctx.connect_constraint({as_var(args, 0)->value.to_id(ctx), as_var(args, 1)->value.to_id(ctx)},
                               std::move(p));
        return true;
    }

private:
    bool m_positive;
    unsigned m_count;
};

// ---- the registry

void register_all(parser_context::constraint_registry& registry) {
    auto add = [&registry](const char* name, std::unique_ptr<parser_context::constraint_type> kind) {
        registry.emplace(name, std::move(kind));
    };
    using namespace xcsp;
    add("all_different_int", std::make_unique<all_different_type>());
    add("array_bool_and", std::make_unique<array_FUNC<FunctionAnd, 1>>());
    add("array_bool_element", std::make_unique<array_element>());
    add("array_bool_or", std::make_unique<array_FUNC<FunctionOr, 0>>());
    add("array_bool_xor", std::make_unique<array_xor>());
    add("array_int_element", std::make_unique<array_element>());
    add("array_var_bool_element", std::make_unique<array_element>());
    add("array_var_int_element", std::make_unique<array_element>());
    add("bool2int", std::make_unique<int_OP<FunctionEQ>>());
    add("bool_and", std::make_unique<int_FUNC<FunctionAnd>>());
    add("bool_clause", std::make_unique<bool_clause>());
    add("bool_eq", std::make_unique<int_OP<FunctionEQ>>());
    add("bool_eq_reif", std::make_unique<int_FUNC<FunctionEQ>>());
    add("bool_le", std::make_unique<bool_le>());
    add("bool_le_reif", std::make_unique<bool_le_reif>());
    add("bool_lin_eq", std::make_unique<lin_constraint_type>(EQ_RELATION));
    add("bool_lin_le", std::make_unique<lin_constraint_type>(LE_RELATION));
    add("bool_lt", std::make_unique<bool_lt>());
    add("bool_lt_reif", std::make_unique<bool_lt_reif>());
    add("bool_not", std::make_unique<int_OP<FunctionNE>>());
    add("bool_or", std::make_unique<int_FUNC<FunctionOr>>());
    add("bool_xor", std::make_unique<int_FUNC<FunctionXor>>());
    add("qarn_no_overlap", std::make_unique<no_overlap_constraint>());
    add("qarn_sub_interval", std::make_unique<sub_interval_constraint>(true, 4));
    add("qarn_no_sub_interval", std::make_unique<sub_interval_constraint>(false, 4));
    add("qarn_no_sub_interval_k", std::make_unique<sub_interval_constraint>(false, 5));
    add("qarn_table_bool", std::make_unique<table_constraint>());
    add("qarn_table_int", std::make_unique<table_constraint>());
    add("int_abs", std::make_unique<abs_constraint_type>());
    add("int_div", std::make_unique<int_FUNC<FunctionDiv>>());
    add("int_eq", std::make_unique<int_OP<FunctionEQ>>());
    add("int_eq_reif", std::make_unique<int_FUNC<FunctionEQ>>());
    add("int_le", std::make_unique<int_OP<FunctionLE>>());
    add("int_le_reif", std::make_unique<int_FUNC<FunctionLE>>());
    add("int_lin_eq", std::make_unique<lin_constraint_type>(EQ_RELATION));
    add("int_lin_eq_reif", std::make_unique<lin_reif_constraint_type>(EQ_RELATION));
    add("int_lin_le", std::make_unique<lin_constraint_type>(LE_RELATION));
    add("int_lin_le_reif", std::make_unique<lin_reif_constraint_type>(LE_RELATION));
    add("int_lin_ne", std::make_unique<lin_constraint_type>(NE_RELATION));
    add("int_lin_ne_reif", std::make_unique<lin_reif_constraint_type>(NE_RELATION));
    add("int_lt", std::make_unique<int_OP<FunctionLT>>());
    add("int_lt_reif", std::make_unique<int_FUNC<FunctionLT>>());
    add("int_max", std::make_unique<int_FUNC<FunctionMax>>());
    add("int_min", std::make_unique<int_FUNC<FunctionMin>>());
    add("int_mod", std::make_unique<int_FUNC<FunctionMod>>());
    add("int_ne", std::make_unique<int_OP<FunctionNE>>());
    add("int_ne_reif", std::make_unique<int_FUNC<FunctionNE>>());
    add("int_plus", std::make_unique<plus_constraint_type>());
    add("int_times", std::make_unique<int_FUNC<FunctionMul>>());
}

} // namespace qarn::fzn_constraint
