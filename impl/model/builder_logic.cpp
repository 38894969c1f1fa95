// Equality, difference, reification and the Boolean connectives of the
// model builder. A fixed result is enforced unless the usage makes it say
// nothing (a result of 0 that only implies the expression, a result of 1
// that the expression only implies).
#include <algorithm>

#include "impl/model/ast_builder.h"
#include "impl/model/expression_tree.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/literal_propagators.h"

namespace qarn {

namespace {

bool single_value(const iset& d) { return !d.empty() && d.size() == 1; }

bool boolean_valued(unsigned kind) {
    switch (kind) {
    case xcsp::BOOLEAN:
    case xcsp::F_EQ:
    case xcsp::F_NE:
    case xcsp::F_GE:
    case xcsp::F_GT:
    case xcsp::F_LE:
    case xcsp::F_LT:
    case xcsp::F_NOT:
    case xcsp::F_AND:
    case xcsp::F_OR:
    case xcsp::F_XOR:
    case xcsp::F_IFF:
        return true;
    default:
        return false;
    }
}

const iset& zero_one() {
    static const iset d(0, 1);
    return d;
}

} // namespace

bool AST_builder::vacuous(unsigned result, usage_type usage) const {
    const iset& d = m_solver.domain(result);
    if (!single_value(d))
        return false;
    return (usage == RESULT_IMPLIES && d.min() == 0) || (usage == IMPLIES_RESULT && d.min() == 1);
}

bool AST_builder::connect_if_simple_eq(const var_args& args, const xcsp::AST& x,
                                       const xcsp::AST& y) {
    unsigned v;
    switch (x.getType()) {
    case xcsp::INTEGER:
        v = m_solver.singleton_var(static_cast<const xcsp::ASTInteger&>(x).getValue());
        break;
    case xcsp::BOOLEAN:
        v = m_solver.singleton_var(static_cast<const xcsp::ASTBoolean&>(x).getValue());
        break;
    case xcsp::VAR:
        v = arg_var(args, x);
        break;
    default:
        return false;
    }
    connect_expr(args, classes().find(v), y, BOTH_WAYS);
    return true;
}

bool AST_builder::connect_if_simple_ne(const var_args& args, const xcsp::AST& x,
                                       const xcsp::AST& y) {
    int c;
    switch (x.getType()) {
    case xcsp::INTEGER:
        c = static_cast<const xcsp::ASTInteger&>(x).getValue();
        break;
    case xcsp::BOOLEAN:
        c = static_cast<const xcsp::ASTBoolean&>(x).getValue();
        break;
    case xcsp::VAR: {
        const iset& d = m_solver.domain(classes().find(arg_var(args, x)));
        if (!single_value(d))
            return false;
        c = d.min();
        break;
    }
    default:
        return false;
    }
    if (boolean_valued(y.getType())) {
        if (static_cast<unsigned>(c) <= 1) // else y, 0 or 1, differs from c anyway
            connect_expr(args, classes().find(m_solver.singleton_var(1 - c)), y, BOTH_WAYS);
        return true;
    }
    if (y.getType() == xcsp::VAR) {
        const unsigned v = classes().find(arg_var(args, y));
        iset d(m_solver.domain(v));
        d.erase(iset::range_type(c, c));
        if (d.empty())
            mark_unsat();
        m_solver.set_var_domain(v, std::move(d), -1);
        return true;
    }
    return false;
}

void AST_builder::connect_eq(const var_args& args, unsigned result, bool is_eq,
                             const xcsp::AST& expr, usage_type usage) {
    intersect_variable(zero_one(), result);
    const iset& d = m_solver.domain(result);
    if (d.empty() || vacuous(result, usage))
        return;
    const xcsp::AST& left = *expr.getArg(0);
    const xcsp::AST& right = *expr.getArg(1);
    bool must_equal = false, must_differ = false;
    if (single_value(d)) {
        if ((d.min() == 1) == is_eq) {
            if (connect_if_simple_eq(args, left, right) || connect_if_simple_eq(args, right, left))
                return;
            must_equal = true;
        } else {
            if (connect_if_simple_ne(args, left, right) || connect_if_simple_ne(args, right, left))
                return;
            must_differ = true;
        }
    }
    const unsigned a = expression_to_variable(args, left, NO_VARIABLE, BOTH_WAYS);
    const unsigned b = expression_to_variable(args, right, must_equal ? a : NO_VARIABLE, BOTH_WAYS);
    connect_eq_by_vars(result, is_eq, must_equal, must_differ, a, b, usage);
}

void AST_builder::connect_eq_by_vars(unsigned result, bool is_eq, bool must_equal,
                                     bool must_differ, unsigned a, unsigned b, usage_type usage) {
    a = classes().find(a);
    b = classes().find(b);
    const iset& da = m_solver.domain(a);
    const iset& db = m_solver.domain(b);
    if (a == b || (single_value(da) && single_value(db) && da.min() == db.min())) {
        connect_to(result, m_solver.singleton_var(is_eq ? 1 : 0), usage);
    } else if (are_ne(a, b)) {
        connect_to(result, m_solver.singleton_var(is_eq ? 0 : 1), usage);
    } else if (must_equal) {
        equate_variables(a, b);
    } else if (must_differ) {
        differentiate_variables(a, b);
    } else if (usage == BOTH_WAYS) {
        if (zero_one().contains_all_of(da) && zero_one().contains_all_of(db)) {
            connect_parity({a, b, result}, is_eq);
        } else {
            const unsigned r = is_eq ? result : var_not_var(result, BOTH_WAYS);
            add_constraint<is_equal_propagator>(3) << r << a << b;
        }
    } else {
        const iset s(usage == IMPLIES_RESULT ? 1 : 0);
        if (is_eq == (usage == RESULT_IMPLIES))
            add_constraint<literal_or_equal_propagator>(3, s) << result << a << b;
        else
            add_constraint<literal_or_neq_propagator>(3, s) << result << a << b;
    }
}

unsigned AST_builder::ne_to_var(const var_args& args, const xcsp::AST& expr, unsigned result,
                                usage_type usage) {
    const xcsp::AST& left = *expr.getArg(0);
    const xcsp::AST& right = *expr.getArg(1);
    if (left.getType() != xcsp::VAR || right.getType() != xcsp::VAR) {
        const unsigned v = full_aux_var("_internal_subexpression_");
        connect_expr(args, v, expr, usage);
        return v;
    }
    unsigned lo = arg_var(args, left), hi = arg_var(args, right);
    if (hi < lo)
        std::swap(lo, hi);
    auto& entry = m_reification_cache.try_emplace({lo, hi}, BOTH_WAYS, 0u).first->second;
    unsigned old = NO_VARIABLE;
    if (entry.second != 0) {
        if (entry.first == BOTH_WAYS || entry.first == usage)
            return entry.second;
        entry.first = BOTH_WAYS;
        if (result != NO_VARIABLE) {
            const unsigned v = entry.second;
            entry.second = result;
            connect_expr(args, result, expr, BOTH_WAYS);
            equate_variables(v, result);
            return result;
        }
        old = entry.second;
    } else {
        entry.first = usage;
        if (result != NO_VARIABLE) {
            entry.second = result;
            connect_expr(args, result, expr, usage);
            return result;
        }
    }
    const usage_type u = entry.first;
    const unsigned v = add_auxiliary_var("_internal_" + var_name(lo) + "_ne_" + var_name(hi),
                                         operator_connectivity::everything());
    // connect_expr may grow the cache: look the entry up again.
    m_reification_cache[{lo, hi}].second = v;
    connect_expr(args, v, expr, u);
    if (old != NO_VARIABLE)
        equate_variables(old, v);
    return v;
}

unsigned AST_builder::expression_to_bool_var(const var_args& args, const xcsp::AST& expr,
                                             usage_type usage) {
    // A one-sided bound on an integer value says nothing of its truth: such
    // an operand is built exactly.
    const unsigned v = expression_to_variable(args, expr, NO_VARIABLE,
                                              boolean_valued(expr.getType()) ? usage : BOTH_WAYS);
    if (m_solver.domain(v).empty()) {
        mark_unsat();
        return m_solver.singleton_var(0);
    }
    return truth_of(v);
}

void AST_builder::insert_descendants(const xcsp::AST& expr, unsigned kind,
                                     std::vector<const xcsp::AST*>& list) {
    for (int i = 0; i < expr.nbArg(); ++i) {
        const xcsp::AST* a = expr.getArg(i);
        if (static_cast<unsigned>(a->getType()) == kind)
            insert_descendants(*a, kind, list);
        else
            list.push_back(a);
    }
}

void AST_builder::collect_operands(std::vector<unsigned>& vars, const xcsp::AST& expr,
                                   const var_args& args, usage_type usage, bool disjunction) {
    std::vector<const xcsp::AST*> operands;
    insert_descendants(expr, expr.getType(), operands);
    for (const xcsp::AST* op : operands)
        vars.push_back(expression_to_bool_var(args, *op, usage));
    for (std::size_t i = 0; i < vars.size();) {
        vars[i] = classes().find(vars[i]);
        const iset& d = m_solver.domain(vars[i]);
        const bool always_true = !d.contains(0);
        const bool always_false = !always_true && single_value(d);
        if (disjunction ? always_true : always_false) { // decides the connective
            vars.assign(1, m_solver.singleton_var(disjunction ? 1 : 0));
            break;
        }
        if (always_true || always_false) { // says nothing
            vars[i] = vars.back();
            vars.pop_back();
            continue;
        }
        ++i;
    }
    std::sort(vars.begin(), vars.end());
    vars.erase(std::unique(vars.begin(), vars.end()), vars.end());
}

void AST_builder::collect_or_vars(std::vector<unsigned>& vars, const xcsp::AST& expr,
                                  const var_args& args, usage_type usage) {
    collect_operands(vars, expr, args, usage, true);
}

void AST_builder::collect_and_vars(std::vector<unsigned>& vars, const xcsp::AST& expr,
                                   const var_args& args, usage_type usage) {
    collect_operands(vars, expr, args, usage, false);
}

void AST_builder::connect_or(const var_args& args, unsigned result, const xcsp::AST& expr,
                             usage_type usage) {
    const iset& d = intersect_variable(zero_one(), result);
    if (d.empty() || vacuous(result, usage))
        return;
    const bool fixed = single_value(d);
    if (fixed && d.min() == 0) { // every disjunct false
        const unsigned zero = m_solver.singleton_var(0);
        for (int i = 0; i < expr.nbArg(); ++i)
            connect_expr(args, zero, *expr.getArg(i), BOTH_WAYS);
        return;
    }
    const bool is_true = fixed && d.min() == 1;
    std::vector<unsigned> vars;
    collect_or_vars(vars, expr, args, is_true ? RESULT_IMPLIES : usage);
    if (usage != IMPLIES_RESULT) { // d1 or ... or dn or not result
        std::vector<unsigned> clause_vars(vars);
        std::vector<iset> sets(vars.size(), iset(1));
        clause_vars.push_back(result);
        sets.emplace_back(0);
        insert_clause(clause_vars.data(), sets.data(), clause_vars.size());
    }
    if (!is_true && usage != RESULT_IMPLIES)
        for (unsigned v : vars)
            insert_clause(result, iset(1), v, iset(0));
}

void AST_builder::connect_and(const var_args& args, unsigned result, const xcsp::AST& expr,
                              usage_type usage) {
    const iset& d = intersect_variable(zero_one(), result);
    if (d.empty() || vacuous(result, usage))
        return;
    const bool fixed = single_value(d);
    if (fixed && d.min() == 1) { // every conjunct true
        // A Boolean node is tied to 1 directly; any other is true when not 0.
        const unsigned one = m_solver.singleton_var(1);
        for (int i = 0; i < expr.nbArg(); ++i) {
            const xcsp::AST& a = *expr.getArg(i);
            if (boolean_valued(a.getType()))
                connect_expr(args, one, a, BOTH_WAYS);
            else
                intersect_variable(iset(1), expression_to_bool_var(args, a, BOTH_WAYS));
        }
        return;
    }
    const bool is_false = fixed && d.min() == 0;
    std::vector<unsigned> vars;
    collect_and_vars(vars, expr, args, is_false ? IMPLIES_RESULT : usage);
    if (usage != RESULT_IMPLIES) { // not c1 or ... or not cn or result
        std::vector<unsigned> clause_vars(vars);
        std::vector<iset> sets(vars.size(), iset(0));
        clause_vars.push_back(result);
        sets.emplace_back(1);
        insert_clause(clause_vars.data(), sets.data(), clause_vars.size());
    }
    if (!is_false && usage != IMPLIES_RESULT)
        for (unsigned v : vars)
            insert_clause(result, iset(0), v, iset(1));
}

} // namespace qarn
