// The model builder's predicates and global constraints: interval
// predicates, all-different (given, and detected among recorded
// differences), weighted sums and parity.
#include <climits>
#include <iostream>

#include "impl/model/ast_builder.h"
#include "impl/model/expression_tree.h"
#include "impl/propagators/all_different_propagator.h"
#include "impl/propagators/interval_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/sum_propagators.h"

namespace qarn {

namespace {

bool holds_one_value(const iset& d) { return !d.empty() && d.size() == 1; }

} // namespace

void AST_builder::connect_predicate(const var_args& args, unsigned result,
                                    const xcsp::AST& expr) {
    std::vector<unsigned> vars;
    for (int i = 1; i < expr.nbArg(); ++i)
        vars.push_back(expression_to_variable(args, *expr.getArg(i), NO_VARIABLE, BOTH_WAYS));
    const xcsp::AST* head = expr.nbArg() > 0 ? expr.getArg(0) : nullptr;
    const std::string name =
        head && head->getType() == xcsp::VAR ? static_cast<const xcsp::ASTVar*>(head)->name() : "";
    if (name == "overlap")
        connect_overlap(result, vars);
    else if (name == "sub_interval")
        connect_sub_interval(result, vars);
    else if (name == "all_diff")
        connect_all_diff(vars, true);
    else
        throw unsupported(name + ": unsupported predicate");
}

void AST_builder::connect_overlap(unsigned result, const std::vector<unsigned>& vars) {
    if (result == NO_VARIABLE || !holds_one_value(m_solver.domain(result)) ||
        m_solver.domain(result).min() != 0)
        throw unsupported("Only an unconditional !overlap(...) is supported");
    if (vars.size() != 4)
        throw unsupported("Expecting exactly 4 arguments for overlap(start1,len1,start2,len2)");
    const iset& l1 = m_solver.domain(vars[1]);
    const iset& l2 = m_solver.domain(vars[3]);
    if (!holds_one_value(l1) || !holds_one_value(l2))
        throw unsupported(
            "Expecting singletons for the length in overlap(start1,len1,start2,len2)");
    add_constraint<no_overlap_propagator>(2, l1.min(), l2.min()) << vars[0] << vars[2];
}

void AST_builder::connect_sub_interval(unsigned result, const std::vector<unsigned>& vars) {
    if (result == NO_VARIABLE || !holds_one_value(m_solver.domain(result)))
        throw unsupported("Only an unconditional sub_interval(...) is supported");
    const bool positive = m_solver.domain(result).min() != 0;
    if (vars.size() < 4 || (!positive && vars.size() > 5))
        throw unsupported(
            "Expecting 4 or 5 arguments for sub_interval(from1,to1,from2,to2[,k]), which means "
            "[from1, to1-k] subseteq[from2,to2]");
    const iset k_domain = vars.size() > 4 ? m_solver.domain(vars[4]) : iset();
    const iset& from2 = m_solver.domain(vars[2]);
    const iset& to2 = m_solver.domain(vars[3]);
    if (!holds_one_value(from2) || !holds_one_value(to2) || k_domain.size() > 1)
        throw unsupported(
            "Need constant arguments const_from2,const_to2,k for "
            "sub_interval(from1,to1,const_from2,const_to2[,k])");
    const int k = k_domain.empty() ? 0 : k_domain.min();
    if (positive)
        add_constraint<sub_interval_propagator>(2, from2.min(), to2.min()) << vars[0] << vars[1];
    else
        add_constraint<no_sub_interval_propagator>(2, from2.min(), to2.min(), k)
            << vars[0] << vars[1];
}

void AST_builder::connect_all_diff(const std::vector<unsigned>& vars, bool first) {
    constraint_connectivity_info& record =
        add_constraint<all_different_propagator>(static_cast<unsigned>(vars.size()));
    for (unsigned v : vars)
        record << v;
    const std::string& prefix = m_solver.m_comment_prefix;
    if (first)
        std::cout << "\n" << prefix;
    std::cout << "deduced all_different(";
    for (std::size_t i = 0; i < vars.size(); ++i) {
        if (i)
            std::cout << ",";
        m_solver.assignment().print_var_name(std::cout, vars[i]);
    }
    std::cout << ")\n" << prefix;
}

void AST_builder::instantiate_all_different(const std::vector<unsigned>& vars) {
    const std::size_t n = vars.size();
    if (n <= 31)
        for (std::size_t i = 1; i < n; ++i)
            for (std::size_t j = 0; j < i; ++j)
                add_constraint<neq_propagator>(2) << vars[i] << vars[j];
    if (n >= 4) {
        constraint_connectivity_info& record =
            add_constraint<all_different_propagator>(static_cast<unsigned>(n));
        for (unsigned v : vars)
            record << v;
    }
}

bool AST_builder::is_diff_with_all(unsigned v, const std::vector<unsigned>& list) const {
    const std::set<unsigned>& diff = m_diff_sets.at(v);
    if (list.size() > diff.size())
        return false;
    for (unsigned w : list)
        if (!diff.count(w))
            return false;
    return true;
}

void AST_builder::detect_all_diff() {
    std::vector<bool> used(m_diff_sets.size(), false);
    unsigned cliques = 0;
    for (unsigned i = 0; i < m_diff_sets.size(); ++i) {
        if (used[i] || m_diff_sets[i].size() < 2)
            continue;
        std::vector<unsigned> candidates;
        for (unsigned c : m_diff_sets[i])
            if (c < m_diff_sets.size() && m_diff_sets[c].size() >= 2)
                candidates.push_back(c);
        if (candidates.size() < 2)
            continue;
        std::vector<unsigned> clique;
        for (unsigned c : candidates)
            if (is_diff_with_all(c, clique))
                clique.push_back(c);
        clique.push_back(i);
        if (clique.size() >= 3) {
            connect_all_diff(clique, cliques == 0);
            for (unsigned v : clique)
                used[v] = true;
            ++cliques;
        }
    }
}

void AST_builder::instantiate_weighted_sum(const std::vector<int>& coefficients,
                                           const std::vector<unsigned>& vars, bool ge,
                                           long long limit) {
    if (vars.empty()) {
        // A sum over no variables is 0: nothing to post when the relation
        // holds, no solution when it fails.
        if (ge ? limit > 0 : limit < 0)
            mark_unsat();
        return;
    }
    std::vector<int> c(coefficients);
    if (!ge) {
        for (int& x : c) {
            if (x == INT_MIN)
                throw unsupported("coefficients of weightedsum are overflowing");
            x = -x;
        }
        limit = -limit;
    }
    if (limit < INT_MIN || limit > INT_MAX)
        throw unsupported("Limit of weightedsum is overflowing");
    constraint_connectivity_info& record = add_constraint<linear_combination_ge_propagator>(
        static_cast<unsigned>(vars.size()), static_cast<int>(limit), std::move(c));
    for (unsigned v : vars)
        record << v;
}

void AST_builder::connect_parity(const std::vector<unsigned>& vars, bool parity) {
    bool p = parity;
    std::vector<unsigned> free;
    for (unsigned v : vars) {
        const iset& d = m_solver.domain(v);
        if (holds_one_value(d))
            p = (d.min() != 0) != p; // a 1 flips the parity still to make
        else
            free.push_back(v);
    }
    if (free.empty()) {
        if (p) {
            mark_unsat();
            std::cout << m_solver.m_comment_prefix << " UNSAT because XOR of ";
            for (unsigned v : vars) {
                m_solver.assignment().print_var_name(std::cout, v);
                std::cout << ", ";
            }
            std::cout << "does not give " << (parity ? 1 : 0) << "\n";
        }
        return;
    }
    if (free.size() == 1) {
        intersect_variable(iset(p ? 1 : 0), free[0]);
        return;
    }
    if (free.size() == 2 && !p) {
        equate_variables(free[0], free[1]);
        return;
    }
    constraint_connectivity_info& record =
        add_constraint<sum_mod_propagator>(static_cast<unsigned>(free.size()), 2, p ? 1 : 0);
    for (unsigned v : free)
        record << v;
}

} // namespace qarn
