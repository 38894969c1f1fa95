// The model builder's core: dispatch by node kind, classes of equal
// variables and recorded differences, clauses, auxiliary variables,
// evaluation on a solution and tree copying; operator nodes and the
// arithmetic nodes the registry does not know (neg, pow, min, max, if).
#include "impl/model/ast_builder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

#include "impl/model/expression_tree.h"
#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/element_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/minmax_propagators.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/power_propagator.h"

namespace qarn {

namespace {

// A solver's current least values as a valuation of the tree's variables.
class solver_var_values : public xcsp::VariableValuation {
public:
    explicit solver_var_values(const solver& s) : m_solver(s) {}
    int getVarValue(unsigned index) const override {
        if (index >= m_solver.var_count())
            throw std::out_of_range("solver_var_values: no such variable");
        return m_solver.domain(index).min();
    }

private:
    const solver& m_solver;
};

eval_type eval_type_of_usage(AST_builder::usage_type usage) {
    switch (usage) {
    case AST_builder::BOTH_WAYS:
        return EVAL_EXACT;
    case AST_builder::RESULT_IMPLIES:
        return EVAL_AT_MOST;
    case AST_builder::IMPLIES_RESULT:
        return EVAL_AT_LEAST;
    }
    return EVAL_NONE;
}

AST_builder::usage_type usage_of_eval_type(eval_type t) {
    return t == EVAL_AT_MOST    ? AST_builder::RESULT_IMPLIES
           : t == EVAL_AT_LEAST ? AST_builder::IMPLIES_RESULT
                                : AST_builder::BOTH_WAYS;
}

bool one_value(const iset& d) { return !d.empty() && d.size() == 1; }

int wrap32(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

// Evaluation under the propagators' conventions; wraps where no 32-bit
// value exists (such a node was not constrained by the search).
int evaluate_tree(const xcsp::AST& e, const xcsp::VariableValuation& values) {
    auto arg = [&](int i) -> std::int64_t { return evaluate_tree(*e.getArg(i), values); };
    switch (e.getType()) {
    case xcsp::F_NEG:
        return wrap32(-arg(0));
    case xcsp::F_ABS: {
        const std::int64_t a = arg(0);
        return wrap32(a < 0 ? -a : a);
    }
    case xcsp::F_ADD:
        return wrap32(arg(0) + arg(1));
    case xcsp::F_SUB:
        return wrap32(arg(0) - arg(1));
    case xcsp::F_MUL:
        return wrap32(arg(0) * arg(1));
    case xcsp::F_DIV: {
        const std::int64_t a = arg(0), b = arg(1);
        return b == 0 ? 0 : wrap32(a / b);
    }
    case xcsp::F_MOD: {
        const std::int64_t a = arg(0), b = arg(1);
        return b == 0 ? 0 : wrap32(a % b);
    }
    case xcsp::F_POW: {
        const long long p = pow_propagator::evaluate(static_cast<int>(arg(0)),
                                                     static_cast<int>(arg(1)));
        return wrap32(p);
    }
    case xcsp::F_IF:
        return arg(0) != 0 ? static_cast<int>(arg(1)) : static_cast<int>(arg(2));
    case xcsp::F_MIN:
        return static_cast<int>(std::min(arg(0), arg(1)));
    case xcsp::F_MAX:
        return static_cast<int>(std::max(arg(0), arg(1)));
    case xcsp::F_EQ:
    case xcsp::F_IFF: // built as an equality, like eq
        return arg(0) == arg(1);
    case xcsp::F_NE:
    case xcsp::F_XOR: // built as a difference, like ne
        return arg(0) != arg(1);
    case xcsp::F_GE:
        return arg(0) >= arg(1);
    case xcsp::F_GT:
        return arg(0) > arg(1);
    case xcsp::F_LE:
        return arg(0) <= arg(1);
    case xcsp::F_LT:
        return arg(0) < arg(1);
    case xcsp::F_NOT:
        return arg(0) == 0;
    case xcsp::F_AND:
        return arg(0) != 0 && arg(1) != 0;
    case xcsp::F_OR:
        return arg(0) != 0 || arg(1) != 0;
    default:
        return e.value(values); // leaves
    }
}

} // namespace

void AST_builder::check_arguments(const xcsp::AST& expr) {
    std::vector<const xcsp::AST*> pending{&expr};
    while (!pending.empty()) {
        const xcsp::AST& e = *pending.back();
        pending.pop_back();
        const unsigned type = e.getType();
        const bool function = type >= xcsp::F_NEG && type <= xcsp::F_IFF;
        if (!function && type != xcsp::LIST)
            continue;
        int given = 0;
        for (int i = 0; i < e.nbArg(); ++i)
            if (const xcsp::AST* a = e.getArg(i)) {
                ++given;
                pending.push_back(a);
            }
        if (function && given < e.nbArg())
            throw std::runtime_error("incorrect argument number: " +
                                     static_cast<const xcsp::ASTAbstractFunction&>(e).arityText() +
                                     ", " + std::to_string(given) + " given");
    }
}

// Counts the nesting of the builder's entry points; the outermost one
// checks the whole tree before anything of it is built.
class AST_builder::tree_entry {
public:
    tree_entry(AST_builder& b, const xcsp::AST& expr) : m_builder(b) {
        if (m_builder.m_tree_depth == 0)
            check_arguments(expr);
        ++m_builder.m_tree_depth;
    }
    ~tree_entry() { --m_builder.m_tree_depth; }
    tree_entry(const tree_entry&) = delete;
    tree_entry& operator=(const tree_entry&) = delete;

private:
    AST_builder& m_builder;
};

AST_builder::AST_builder(solver& s) : m_solver(s), m_connectivity(s) {}

AST_builder::~AST_builder() = default;

// ---- entry points

void AST_builder::connect_expr(const var_args& args, unsigned result, const xcsp::AST& expr,
                               usage_type usage) {
    const tree_entry entry(*this, expr);
    if (m_solver.domain(result).empty()) {
        mark_unsat();
        return;
    }
    const unsigned type = expr.getType();
    if (const operator_definition* def = operator_definition_registry::find(type)) {
        const unsigned v = operator_to_variable(*def, args, expr, result, usage);
        connect_to(result, v, usage);
        return;
    }
    switch (type) {
    case xcsp::VAR:
        connect_to(result, arg_var(args, expr), usage);
        return;
    case xcsp::BOOLEAN:
        connect_to(result, m_solver.singleton_var(static_cast<const xcsp::ASTBoolean&>(expr).getValue()),
                   usage);
        return;
    case xcsp::INTEGER:
        connect_to(result, m_solver.singleton_var(static_cast<const xcsp::ASTInteger&>(expr).getValue()),
                   usage);
        return;
    case xcsp::LIST:
        connect_predicate(args, result, expr);
        return;
    case xcsp::F_NEG:
        connect<neg_propagator>(args, result, expr);
        return;
    case xcsp::F_POW:
        connect<pow_propagator>(args, result, expr);
        return;
    case xcsp::F_IF:
        connect_if(args, result, expr);
        return;
    case xcsp::F_MIN:
        connect<min_propagator>(args, result, expr);
        return;
    case xcsp::F_MAX:
        connect<max_propagator>(args, result, expr);
        return;
    case xcsp::F_EQ:
    case xcsp::F_IFF:
        connect_eq(args, result, true, expr, usage);
        return;
    case xcsp::F_NE:
    case xcsp::F_XOR:
        connect_eq(args, result, false, expr, usage);
        return;
    case xcsp::F_AND:
        connect_and(args, result, expr, usage);
        return;
    case xcsp::F_OR:
        connect_or(args, result, expr, usage);
        return;
    default:
        throw unsupported("Unsupported expression type");
    }
}

void AST_builder::connect_unbounded_result(const var_args& args, unsigned result,
                                           const xcsp::AST& expr, usage_type usage) {
    m_connectivity.set_unbounded_result(result);
    try {
        connect_expr(args, result, expr, usage);
    } catch (...) {
        m_connectivity.set_unbounded_result(NO_VARIABLE);
        throw;
    }
    m_connectivity.set_unbounded_result(NO_VARIABLE);
}

unsigned AST_builder::expression_to_variable(const var_args& args, const xcsp::AST& expr,
                                             unsigned result, usage_type usage) {
    const tree_entry entry(*this, expr);
    const unsigned type = expr.getType();
    if (const operator_definition* def = operator_definition_registry::find(type))
        return operator_to_variable(*def, args, expr, result, usage);
    switch (type) {
    case xcsp::BOOLEAN:
        return m_solver.singleton_var(static_cast<const xcsp::ASTBoolean&>(expr).getValue());
    case xcsp::INTEGER:
        return m_solver.singleton_var(static_cast<const xcsp::ASTInteger&>(expr).getValue());
    case xcsp::VAR:
        return classes().find(arg_var(args, expr));
    case xcsp::F_NE:
        return ne_to_var(args, expr, result, usage);
    default:
        break;
    }
    if (result == NO_VARIABLE) {
        result = full_aux_var("_internal_subexpression_");
        m_new_subexpression = result;
    }
    connect_expr(args, result, expr, usage);
    return result;
}

unsigned AST_builder::arg_var(const var_args& args, const xcsp::AST& var_node) const {
    return args.at(static_cast<unsigned>(static_cast<const xcsp::ASTVar&>(var_node).index()));
}

void AST_builder::connect_to(unsigned result, unsigned v, usage_type usage) {
    if (result == v)
        return;
    if (usage == BOTH_WAYS) {
        equate_variables(result, v);
        return;
    }
    // One direction only: result <= v (the result implies the expression)
    // or result >= v.
    const iset& dv = m_solver.domain(v);
    const iset& dr = m_solver.domain(result);
    if (dv.empty() || dr.empty()) {
        mark_unsat();
        return;
    }
    if (one_value(dv)) {
        const int c = dv.min();
        intersect_variable(usage == RESULT_IMPLIES ? iset(MIN_DOMAIN, c) : iset(c, MAX_DOMAIN),
                           result);
        return;
    }
    if (usage == RESULT_IMPLIES)
        add_constraint<difference_ge_propagator>(2, 0) << v << result;
    else
        add_constraint<difference_ge_propagator>(2, 0) << result << v;
}

// ---- variables, classes and differences

const iset& AST_builder::intersect_variable(const iset& set, unsigned v) {
    const iset& d = m_solver.domain(v);
    if (set.contains_all_of(d))
        return d;
    iset narrowed(d);
    narrowed.intersect(set);
    if (narrowed.empty())
        mark_unsat();
    m_solver.set_var_domain(v, std::move(narrowed), -1);
    return m_solver.domain(v);
}

void AST_builder::equate_variables(unsigned a, unsigned b) {
    const unsigned ra = classes().find(a), rb = classes().find(b);
    if (ra == rb)
        return;
    if (are_ne(ra, rb)) {
        mark_unsat();
        return;
    }
    intersect_variable(m_solver.domain(a), b);
    m_solver.set_var_domain(a, iset(m_solver.domain(b)), -1);
    classes().unite(ra, rb);
    add_constraint<equal_propagator>(2) << a << b;
    if (classes().find(a) != ra)
        replace_var_in_diff_set(ra, classes().find(a));
    else
        replace_var_in_diff_set(rb, ra);
}

bool AST_builder::are_eq(unsigned a, unsigned b) {
    if (classes().find(a) == classes().find(b))
        return true;
    const iset& da = m_solver.domain(a);
    const iset& db = m_solver.domain(b);
    return one_value(da) && one_value(db) && da.min() == db.min();
}

bool AST_builder::are_ne(unsigned a, unsigned b) {
    const unsigned ra = classes().find(a), rb = classes().find(b);
    if (!m_solver.domain(ra).contains_any_of(m_solver.domain(rb)))
        return true;
    return ra < m_diff_sets.size() && m_diff_sets[ra].count(rb) != 0;
}

void AST_builder::differentiate_variables(unsigned a, unsigned b) {
    add_constraint<neq_propagator>(2) << a << b;
    mark_unequal_variables(a, b);
}

void AST_builder::mark_unequal_variables(unsigned a, unsigned b) {
    const unsigned ra = classes().find(a), rb = classes().find(b);
    const unsigned m = std::max(ra, rb);
    if (m >= m_diff_sets.size()) {
        if (m_diff_sets.capacity() < std::size_t(m) + 1)
            m_diff_sets.reserve(2 * (std::size_t(m) + 1));
        m_diff_sets.resize(std::size_t(m) + 1);
    }
    m_diff_sets[ra].insert(rb);
    m_diff_sets[rb].insert(ra);
    if (ra == rb)
        mark_unsat();
}

void AST_builder::replace_var_in_diff_set(unsigned from, unsigned to) {
    if (from >= m_diff_sets.size() || m_diff_sets[from].empty())
        return;
    if (to >= m_diff_sets.size())
        m_diff_sets.resize(std::size_t(to) + 1);
    std::set<unsigned> members;
    members.swap(m_diff_sets[from]); // iterated apart from the sets it changes
    for (unsigned m : members) {
        if (m == from)
            continue; // a class different from itself is already contradictory
        m_diff_sets[m].erase(from);
        m_diff_sets[m].insert(to);
        m_diff_sets[to].insert(m);
    }
}

// ---- clauses, auxiliary variables, unsatisfiability

void AST_builder::insert_clause(const unsigned* vars, const iset* sets, std::size_t n) {
    if (n == 0) {
        mark_unsat();
        return;
    }
    std::size_t possible = 0, last = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const iset& d = m_solver.domain(vars[j]);
        if (sets[j].contains_all_of(d))
            return; // always true
        if (sets[j].contains_any_of(d)) {
            ++possible;
            last = j;
        }
    }
    if (possible == 0) {
        mark_unsat();
        return;
    }
    if (possible == 1) {
        intersect_variable(sets[last], vars[last]);
        return;
    }
    auto clause = std::make_unique<clause_propagator>();
    std::vector<iset>& literals = clause->update_literals();
    literals.reserve(possible);
    std::vector<unsigned> params;
    params.reserve(possible);
    for (std::size_t j = 0; j < n; ++j)
        if (sets[j].contains_any_of(m_solver.domain(vars[j]))) {
            literals.push_back(sets[j]);
            params.push_back(vars[j]);
        }
    constraint_connectivity_info& record = m_solver.add_constraint(std::move(clause));
    record.variables().reserve(possible);
    for (unsigned v : params)
        record << v;
}

void AST_builder::insert_clause(unsigned v0, const iset& s0, unsigned v1, const iset& s1) {
    const unsigned vars[] = {v0, v1};
    const iset sets[] = {s0, s1};
    insert_clause(vars, sets, 2);
}

void AST_builder::insert_clause(unsigned v0, const iset& s0, unsigned v1, const iset& s1,
                                unsigned v2, const iset& s2) {
    const unsigned vars[] = {v0, v1, v2};
    const iset sets[] = {s0, s1, s2};
    insert_clause(vars, sets, 3);
}

unsigned AST_builder::add_auxiliary_var(const char* prefix, unsigned number,
                                        const iset& domain) {
    return add_auxiliary_var(std::string(prefix) + std::to_string(number), domain);
}

unsigned AST_builder::add_auxiliary_var(const std::string& name, const iset& domain) {
    return m_solver.add_var(domain, name.c_str(), false);
}

unsigned AST_builder::full_aux_var(const char* prefix) {
    return add_auxiliary_var(prefix, m_solver.var_count(), operator_connectivity::everything());
}

const std::string& AST_builder::var_name(unsigned v) const {
    return m_solver.assignment().var_name(v);
}

void AST_builder::mark_unsat() { m_connectivity.mark_unsat(); }

bool AST_builder::is_marked_unsat() const {
    return m_solver.var_count() > 0 && m_solver.domain(0).empty();
}

int AST_builder::evaluate(const xcsp::AST& expr) const {
    return evaluate_tree(expr, solver_var_values(m_solver));
}

// ---- operator nodes

unsigned AST_builder::known_var_of_arg(const operator_definition& def, const var_args& args,
                                       unsigned result, const xcsp::AST& arg, unsigned index,
                                       usage_type usage) {
    switch (arg.getType()) {
    case xcsp::INTEGER:
        return m_solver.singleton_var(static_cast<const xcsp::ASTInteger&>(arg).getValue());
    case xcsp::VAR:
        return arg_var(args, arg);
    default:
        break;
    }
    // The argument value a fixed result requires; only where the result
    // implies the expression.
    if (result != NO_VARIABLE && usage != IMPLIES_RESULT)
        if (std::optional<int> v = def.reverse_eval(m_solver.domain(result), index))
            return m_solver.singleton_var(*v);
    return NO_VARIABLE;
}

unsigned AST_builder::evaluate_if_singletons(const operator_definition& def,
                                             const unsigned* first, const unsigned* last) {
    std::vector<int> values;
    for (const unsigned* a = first; a != last; ++a) {
        if (*a == NO_VARIABLE || !one_value(m_solver.domain(*a)))
            return NO_VARIABLE;
        values.push_back(m_solver.domain(*a).min());
    }
    const std::optional<int> v = def.eval(values.data(), values.data() + values.size());
    if (!v) { // no 32-bit value: no assignment supports it
        mark_unsat();
        return NO_VARIABLE;
    }
    return m_solver.singleton_var(*v);
}

unsigned AST_builder::operator_to_variable(const operator_definition& def, const var_args& args,
                                           const xcsp::AST& expr, unsigned result,
                                           usage_type usage) {
    // A comparison or negation has a 0/1 value: a wanted result that may
    // take other values is tied to it afterwards, not used as its result.
    const unsigned type = expr.getType();
    const bool boolean_op = type == xcsp::F_NOT || (type >= xcsp::F_GE && type <= xcsp::F_LT);
    if (boolean_op && result != NO_VARIABLE) {
        const iset& d = m_solver.domain(result);
        if (d.empty() || d.min() < 0 || d.max() > 1)
            result = NO_VARIABLE;
    }
    const unsigned n = static_cast<unsigned>(expr.nbArg());
    std::vector<unsigned> vars(n);
    for (unsigned i = 0; i < n; ++i)
        vars[i] = known_var_of_arg(def, args, result, *expr.getArg(static_cast<int>(i)), i, usage);
    const eval_type t = eval_type_of_usage(usage);
    for (unsigned i = 0; i < n; ++i) {
        // not reads a one-sided bound on its argument as a truth value,
        // which only a 0/1 argument is.
        const xcsp::AST& arg = *expr.getArg(static_cast<int>(i));
        const bool integer_under_not =
            type == xcsp::F_NOT && arg.getType() != xcsp::BOOLEAN &&
            !(arg.getType() >= xcsp::F_EQ && arg.getType() <= xcsp::F_IFF);
        const usage_type u = integer_under_not
                                 ? BOTH_WAYS
                                 : usage_of_eval_type(def.arg_eval_type(
                                       m_connectivity, t, i, vars.data(), vars.data() + n, result));
        vars[i] = expression_to_variable(args, *expr.getArg(static_cast<int>(i)), vars[i], u);
    }
    const unsigned folded = evaluate_if_singletons(def, vars.data(), vars.data() + n);
    if (folded != NO_VARIABLE)
        return folded;
    return def.symbolic_eval(m_connectivity, t, vars.data(), vars.data() + n, result);
}

unsigned AST_builder::var_not_var(unsigned v, usage_type usage) {
    const operator_definition& def = *operator_definition_registry::find(xcsp::F_NOT);
    return def.symbolic_eval(m_connectivity, eval_type_of_usage(usage), &v, &v + 1, NO_VARIABLE);
}

unsigned AST_builder::truth_of(unsigned v) {
    const iset& d = m_solver.domain(v);
    if (!d.empty() && d.min() >= 0 && d.max() <= 1)
        return v;
    // not(not(v)): 1 exactly when v is not 0.
    return var_not_var(var_not_var(v, BOTH_WAYS), BOTH_WAYS);
}

template <class P>
void AST_builder::connect(const var_args& args, unsigned result, const xcsp::AST& expr) {
    const bool new_result =
        result == m_new_subexpression || result == m_connectivity.unbounded_result();
    std::set<unsigned> used{result};
    const int n = expr.nbArg();
    std::vector<unsigned> params{result};
    for (int i = 0; i < n; ++i) {
        unsigned v = expression_to_variable(args, *expr.getArg(i), NO_VARIABLE, BOTH_WAYS);
        const iset& d = m_solver.domain(v);
        if (used.count(v) && !d.empty() && d.size() > 1) {
            const std::string name = "_equivalent_" + std::to_string(m_solver.var_count()) +
                                     "_of_" + var_name(v);
            const unsigned copy = add_auxiliary_var(name, iset(d));
            equate_variables(copy, v);
            v = copy;
        }
        used.insert(v);
        params.push_back(v);
    }
    if constexpr (MIN_DOMAIN != INT_MIN || MAX_DOMAIN != INT_MAX) {
        // The bounds of min, max, neg and pow (a base and an exponent of
        // such a set are never negative) over the arguments' bounds.
        std::vector<std::pair<std::int64_t, std::int64_t>> bounds;
        for (std::size_t i = 1; i < params.size(); ++i)
            if (const auto b = m_connectivity.value_bounds(params[i]))
                bounds.push_back(*b);
        if (new_result && (bounds.empty() || bounds.size() + 1 < params.size()))
            m_connectivity.fit_value_range(result, 1, 0); // an argument without values
        else if (new_result) {
            std::int64_t lo = bounds[0].first, hi = bounds[0].second;
            if constexpr (std::is_same_v<P, neg_propagator>) {
                lo = -bounds[0].second;
                hi = -bounds[0].first;
            } else if constexpr (std::is_same_v<P, pow_propagator>) {
                lo = 0;
                hi = 1;
                for (std::int64_t e = 0; e < bounds[1].second && hi <= MAX_DOMAIN; ++e)
                    hi *= bounds[0].second;
                hi = std::max<std::int64_t>(hi, 1); // 0 to the 0th is 1
            } else {
                for (const auto& [l, h] : bounds) {
                    const bool least = std::is_same_v<P, min_propagator>;
                    lo = least ? std::min(lo, l) : std::max(lo, l);
                    hi = least ? std::min(hi, h) : std::max(hi, h);
                }
            }
            m_connectivity.fit_value_range(result, lo, hi);
        }
    }
    constraint_connectivity_info& record = add_constraint<P>(static_cast<unsigned>(params.size()));
    for (unsigned v : params)
        record << v;
}

template void AST_builder::connect<neg_propagator>(const var_args&, unsigned, const xcsp::AST&);
template void AST_builder::connect<pow_propagator>(const var_args&, unsigned, const xcsp::AST&);
template void AST_builder::connect<min_propagator>(const var_args&, unsigned, const xcsp::AST&);
template void AST_builder::connect<max_propagator>(const var_args&, unsigned, const xcsp::AST&);

void AST_builder::connect_if(const var_args& args, unsigned result, const xcsp::AST& expr) {
    const bool new_result =
        result == m_new_subexpression || result == m_connectivity.unbounded_result();
    const unsigned v = expression_to_variable(args, *expr.getArg(0), NO_VARIABLE, BOTH_WAYS);
    if (m_solver.domain(v).empty()) {
        mark_unsat();
        return;
    }
    const unsigned c = truth_of(v);
    const iset& dc = m_solver.domain(c);
    if (dc.empty()) {
        mark_unsat();
        return;
    }
    if (dc.min() == 1) {
        connect_expr(args, result, *expr.getArg(1), BOTH_WAYS);
        return;
    }
    if (dc.max() == 0) {
        connect_expr(args, result, *expr.getArg(2), BOTH_WAYS);
        return;
    }
    const unsigned tv = expression_to_variable(args, *expr.getArg(1), NO_VARIABLE, BOTH_WAYS);
    const unsigned ev = expression_to_variable(args, *expr.getArg(2), NO_VARIABLE, BOTH_WAYS);
    if constexpr (MIN_DOMAIN != INT_MIN || MAX_DOMAIN != INT_MAX) {
        const auto bt = m_connectivity.value_bounds(tv), be = m_connectivity.value_bounds(ev);
        if (new_result && !(bt && be))
            m_connectivity.fit_value_range(result, 1, 0); // a branch without values
        else if (new_result)
            m_connectivity.fit_value_range(result, std::min(bt->first, be->first),
                                           std::max(bt->second, be->second));
    }
    add_constraint<if_then_else_propagator>(4) << result << c << tv << ev;
}

// ---- copies

std::unique_ptr<xcsp::AST> deep_copy(const xcsp::AST& expr) {
    switch (expr.getType()) {
    case xcsp::VAR: {
        const auto& v = static_cast<const xcsp::ASTVar&>(expr);
        return std::make_unique<xcsp::ASTVar>(v.name(), v.index());
    }
    case xcsp::BOOLEAN:
        return std::make_unique<xcsp::ASTBoolean>(
            static_cast<const xcsp::ASTBoolean&>(expr).getValue());
    case xcsp::INTEGER:
        return std::make_unique<xcsp::ASTInteger>(
            static_cast<const xcsp::ASTInteger&>(expr).getValue());
    case xcsp::DICT_KEY:
        return std::make_unique<xcsp::ASTDictKey>(
            static_cast<const xcsp::ASTDictKey&>(expr).key());
    case xcsp::LIST: {
        auto copy = std::make_unique<xcsp::ASTList>();
        for (int i = 0; i < expr.nbArg(); ++i)
            copy->appendArg(deep_copy(*expr.getArg(i)));
        return copy;
    }
    case xcsp::DICT: {
        const auto& d = static_cast<const xcsp::ASTDict&>(expr);
        auto copy = std::make_unique<xcsp::ASTDict>();
        for (const auto& [key, value] : d.entryMap())
            copy->setArg(key, deep_copy(*value));
        return copy;
    }
    default:
        break;
    }
    if (expr.getType() >= xcsp::SYMB_NIL && expr.getType() <= xcsp::SYMB_LT)
        return std::make_unique<xcsp::ASTSymb>(expr.getType());
    const auto& f = static_cast<const xcsp::ASTAbstractFunction&>(expr);
    std::unique_ptr<xcsp::ASTAbstractFunction> copy = f.makeNode();
    for (int i = 0; i < f.nbArg(); ++i)
        if (const xcsp::AST* a = f.getArg(i))
            copy->setArg(i, deep_copy(*a));
    return copy;
}

} // namespace qarn
