// The model builder: turns expression trees into solver variables and
// propagators. Operator applications go through the operator connectivity,
// which shares identical applications and posts them once the model is read;
// everything else is posted at once. The builder keeps classes of variables
// known to be equal (union-find, the largest index represents a class) and,
// per class representative, the classes recorded as different from it, from
// which all-different cliques are detected.
//
// A Boolean expression is tied to its 0/1 result by a usage: both ways, the
// result implies the expression, or the expression implies the result.
// Contradictions found while building empty variable 0 (mark_unsat), so the
// search answers unsatisfiable at once.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frontends/common/unsupported.h"
#include "impl/engine/solver.h"
#include "impl/model/operator_registry.h"
#include "impl/sets/model.h"

namespace xcsp {
class AST;
}

namespace qarn {

class AST_builder {
public:
    // A construct the builder cannot express.
    typedef qarn::unsupported unsupported;

    enum usage_type : unsigned {
        BOTH_WAYS = 0,       // the result equals the expression's truth
        RESULT_IMPLIES = 1,  // result 1 implies the expression
        IMPLIES_RESULT = 2,  // the expression implies result 1
    };

    // Maps the expression's variable nodes (index k) to solver variables.
    typedef std::vector<unsigned> var_args;

    explicit AST_builder(solver& s);
    ~AST_builder();
    AST_builder(const AST_builder&) = delete;
    AST_builder& operator=(const AST_builder&) = delete;

    solver& owner() const { return m_solver; }
    operator_connectivity& connectivity() { return m_connectivity; }
    equivalence_classes& classes() { return m_connectivity.classes(); }
    bool detect_all_different() const { return m_detect_all_diff; }
    void detect_all_different(bool on) { m_detect_all_diff = on; }

    // ---- entry points
    // Ties variable `result` to the value of expr (to its truth as `usage`
    // says for a Boolean expression).
    void connect_expr(const var_args& args, unsigned result, const xcsp::AST& expr,
                      usage_type usage);
    // As connect_expr, for a `result` made with no bounds of its own (every
    // value): with a set over fewer values than the 32-bit range, the range
    // expr takes must fit in the set, as for a result the builder makes (a
    // value the set cannot hold ends the run with its out-of-range error).
    void connect_unbounded_result(const var_args& args, unsigned result, const xcsp::AST& expr,
                                  usage_type usage);
    // A variable equal to expr; `result` (or NO_VARIABLE) is the variable
    // wanted, used as the target of non-leaf nodes.
    unsigned expression_to_variable(const var_args& args, const xcsp::AST& expr, unsigned result,
                                    usage_type usage);

    // ---- variable bookkeeping
    void equate_variables(unsigned a, unsigned b);
    void differentiate_variables(unsigned a, unsigned b);
    void mark_unequal_variables(unsigned a, unsigned b);
    bool are_eq(unsigned a, unsigned b);
    bool are_ne(unsigned a, unsigned b);
    void replace_var_in_diff_set(unsigned from, unsigned to);
    // v's domain narrowed to `set`; an empty result marks the model
    // unsatisfiable. Returns v's domain.
    const iset& intersect_variable(const iset& set, unsigned v);
    const std::vector<std::set<unsigned>>& diff_sets() const { return m_diff_sets; }

    // The clause vars[0] in sets[0] or ... or vars[n-1] in sets[n-1].
    void insert_clause(const unsigned* vars, const iset* sets, std::size_t n);
    void insert_clause(unsigned v0, const iset& s0, unsigned v1, const iset& s1);
    void insert_clause(unsigned v0, const iset& s0, unsigned v1, const iset& s1, unsigned v2,
                       const iset& s2);

    unsigned add_auxiliary_var(const char* prefix, unsigned number, const iset& domain);
    unsigned add_auxiliary_var(const std::string& name, const iset& domain);

    // Posts P built from `data`, with room for n parameters; the caller
    // appends them.
    template <class P, class... Data>
    constraint_connectivity_info& add_constraint(unsigned n, Data&&... data) {
        constraint_connectivity_info& record =
            m_solver.add_constraint(std::make_unique<P>(std::forward<Data>(data)...));
        record.variables().reserve(n);
        return record;
    }

    void mark_unsat();
    bool is_marked_unsat() const;

    // The value of expr under the variables' current least values, with the
    // propagators' conventions (x / 0 = 0, x % 0 = 0, 0 ** 0 = 0) and 32-bit
    // wrapping where a value has no 32-bit form; never throws for an
    // arithmetic or Boolean tree.
    int evaluate(const xcsp::AST& expr) const;

    // ---- operator nodes and arithmetic
    unsigned operator_to_variable(const operator_definition& def, const var_args& args,
                                  const xcsp::AST& expr, unsigned result, usage_type usage);
    unsigned known_var_of_arg(const operator_definition& def, const var_args& args,
                              unsigned result, const xcsp::AST& arg, unsigned index,
                              usage_type usage);
    unsigned evaluate_if_singletons(const operator_definition& def, const unsigned* first,
                                    const unsigned* last);
    unsigned var_not_var(unsigned v, usage_type usage);
    template <class P> void connect(const var_args& args, unsigned result, const xcsp::AST& expr);
    void connect_if(const var_args& args, unsigned result, const xcsp::AST& expr);

    // ---- predicates and global constraints
    void connect_predicate(const var_args& args, unsigned result, const xcsp::AST& expr);
    void connect_overlap(unsigned result, const std::vector<unsigned>& vars);
    void connect_sub_interval(unsigned result, const std::vector<unsigned>& vars);
    void connect_all_diff(const std::vector<unsigned>& vars, bool first);
    void instantiate_all_different(const std::vector<unsigned>& vars);
    void detect_all_diff();
    bool is_diff_with_all(unsigned v, const std::vector<unsigned>& list) const;
    // The sum of coefficients[i] * vars[i] at least (ge) or at most limit;
    // over no variables the sum is 0, and only a failing relation is kept
    // (as the model's unsatisfiability).
    void instantiate_weighted_sum(const std::vector<int>& coefficients,
                                  const std::vector<unsigned>& vars, bool ge, long long limit);
    void connect_parity(const std::vector<unsigned>& vars, bool parity);

    // ---- equality, reification and Boolean connectives
    void connect_eq(const var_args& args, unsigned result, bool is_eq, const xcsp::AST& expr,
                    usage_type usage);
    void connect_eq_by_vars(unsigned result, bool is_eq, bool must_equal, bool must_differ,
                            unsigned a, unsigned b, usage_type usage);
    bool connect_if_simple_eq(const var_args& args, const xcsp::AST& x, const xcsp::AST& y);
    bool connect_if_simple_ne(const var_args& args, const xcsp::AST& x, const xcsp::AST& y);
    unsigned ne_to_var(const var_args& args, const xcsp::AST& expr, unsigned result,
                       usage_type usage);
    void connect_and(const var_args& args, unsigned result, const xcsp::AST& expr,
                     usage_type usage);
    void connect_or(const var_args& args, unsigned result, const xcsp::AST& expr,
                    usage_type usage);
    void collect_and_vars(std::vector<unsigned>& vars, const xcsp::AST& expr,
                          const var_args& args, usage_type usage);
    void collect_or_vars(std::vector<unsigned>& vars, const xcsp::AST& expr,
                         const var_args& args, usage_type usage);
    static void insert_descendants(const xcsp::AST& expr, unsigned kind,
                                   std::vector<const xcsp::AST*>& list);
    // A variable within {0, 1} for expr: its value when that lies within
    // {0, 1}, else whether it differs from 0.
    unsigned expression_to_bool_var(const var_args& args, const xcsp::AST& expr,
                                    usage_type usage);

    // Every function node of the tree (lists included) must have all its
    // arguments: one read from a formula with too few is refused with
    // std::runtime_error "incorrect argument number", naming the function,
    // the number it takes and the number given. connect_expr and
    // expression_to_variable check the whole tree they are given before
    // building any of it (not again for the sub-trees they build).
    static void check_arguments(const xcsp::AST& expr);

private:
    class tree_entry;
    // The 0/1 operands of a flattened disjunction or conjunction, as class
    // representatives, sorted and unique: an operand that decides the
    // connective leaves its constant alone, one that says nothing is dropped.
    void collect_operands(std::vector<unsigned>& vars, const xcsp::AST& expr,
                          const var_args& args, usage_type usage, bool disjunction);
    // result tied to v as usage says: equal, at most v, at least v.
    void connect_to(unsigned result, unsigned v, usage_type usage);
    // A 0/1 variable that is 1 exactly when v differs from 0.
    unsigned truth_of(unsigned v);
    // True when a fixed result leaves nothing to enforce under `usage`.
    bool vacuous(unsigned result, usage_type usage) const;
    unsigned full_aux_var(const char* prefix);
    const std::string& var_name(unsigned v) const;
    unsigned arg_var(const var_args& args, const xcsp::AST& var_node) const;

    solver& m_solver;
    operator_connectivity m_connectivity;
    // The sub-expression variable that expression_to_variable has just
    // made, whose values the connect step checks.
    unsigned m_new_subexpression = NO_VARIABLE;
    std::map<std::pair<unsigned, unsigned>, std::pair<usage_type, unsigned>> m_reification_cache;
    std::vector<std::set<unsigned>> m_diff_sets;
    bool m_detect_all_diff = true;
    // Nesting of connect_expr and expression_to_variable calls.
    unsigned m_tree_depth = 0;
};

// An owning copy of a tree (lists and dictionaries element by element).
std::unique_ptr<xcsp::AST> deep_copy(const xcsp::AST& expr);

} // namespace qarn
