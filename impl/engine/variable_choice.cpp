// Variable costs and the heap that keeps the variable with the best ratio of
// conflict cost to domain size on top. Costs grow by an increment that itself
// grows geometrically at every backtrack; when it passes 2^30 everything is
// rescaled by 2^-30, which keeps the doubles finite and the order unchanged.
//
// The heap moves are part of the search's behaviour: add_var_cost only ever
// moves a variable down (never compares it with its parent), so a variable
// whose cost rose may stay below a worse parent until a domain change moves it.
#include "impl/engine/assignment_stack.h"
#include "impl/engine/solver.h"

namespace qarn {

namespace {

// Number of values of a domain as a double; the full 32-bit range has
// size() 0 in the large model and counts 2^32.
double domain_size(const iset& s) {
    if (s.size() == 0 && !s.empty())
        return 4294967296.0;
    return static_cast<double>(s.size());
}

} // namespace

bool assignment_stack::is_better_variable(int a, int b, int f) const {
    if (a < 0)
        return false;
    if (b < 0)
        return true;
    const variable_state& va = m_variables[static_cast<unsigned>(a)];
    const variable_state& vb = m_variables[static_cast<unsigned>(b)];
    if (is_singleton(va.m_domain))
        return false;
    if (is_singleton(vb.m_domain))
        return true;
    double sa = domain_size(va.m_domain), sb = domain_size(vb.m_domain);
    double left = sb * va.m_cost;
    double right = f * sa * vb.m_cost;
    if (left != right)
        return left > right;
    if (va.m_stamp != vb.m_stamp)
        return va.m_stamp > vb.m_stamp;
    return a < b;
}

void assignment_stack::reset_var_costs(double increment) {
    m_cost_increment = increment;
    for (variable_state& state : m_variables) {
        state.m_cost = 0;
        state.m_stamp = 0;
    }
}

void assignment_stack::add_var_cost(unsigned var, double amount) {
    m_variables.at(var).m_cost += amount;
    if (heap_holds(var))
        heap_move_down(var);
}

void assignment_stack::lower_var_costs() {
    m_cost_increment *= m_cost_growth;
    if (m_cost_increment > 1073741824.0) {
        const double scale = 9.313225746154785e-10; // 2^-30
        m_cost_increment *= scale;
        for (variable_state& state : m_variables)
            state.m_cost *= scale;
    }
}

void assignment_stack::enable_var_costs_heap() {
    if (heap_enabled())
        return;
    unsigned n = var_count();
    m_heap.resize(n);
    m_heap_positions.resize(n);
    for (unsigned v = 0; v < n; ++v)
        heap_place(v, v);
    for (unsigned p = n / 2; p-- > 0;)
        heap_move_down(m_heap[p]);
}

void assignment_stack::disable_var_costs_heap() {
    m_heap.clear();
    m_heap_positions.clear();
}

void assignment_stack::raise_var_heap_cost(unsigned var) {
    if (heap_holds(var))
        heap_move_down(var);
}

void assignment_stack::lower_var_heap_cost(unsigned var) {
    if (heap_holds(var))
        heap_move_up(var);
}

unsigned assignment_stack::find_best_free_variable() const {
    if (m_heap.empty() || is_singleton(m_variables[m_heap[0]].m_domain))
        return NO_VARIABLE;
    return m_heap[0];
}

void assignment_stack::heap_move_up(unsigned var) {
    unsigned pos = m_heap_positions[var];
    while (pos > 0) {
        unsigned parent = (pos - 1) / 2;
        unsigned above = m_heap[parent];
        if (!is_better_variable(static_cast<int>(var), static_cast<int>(above), 1))
            break;
        heap_place(pos, above);
        pos = parent;
    }
    heap_place(pos, var);
}

void assignment_stack::heap_move_down(unsigned var) {
    unsigned pos = m_heap_positions[var];
    const unsigned n = static_cast<unsigned>(m_heap.size());
    for (;;) {
        unsigned left = 2 * pos + 1;
        if (left >= n)
            break;
        unsigned right = left + 1;
        int a = static_cast<int>(m_heap[left]);
        int b = right < n ? static_cast<int>(m_heap[right]) : -1; // -1 is never better
        bool a_better = is_better_variable(a, static_cast<int>(var), 1);
        bool b_better = is_better_variable(b, static_cast<int>(var), 1);
        if (!a_better && !b_better)
            break;
        unsigned child = a_better && b_better ? (is_better_variable(b, a, 1) ? right : left)
                                              : (a_better ? left : right);
        heap_place(pos, m_heap[child]);
        pos = child;
    }
    heap_place(pos, var);
}

} // namespace qarn

// ---------------------------------------------------------------------------
// The solver's choice: the previous choice or a variable of the latest
// conflicts stays chosen unless the heap's best beats it by the conflict cost
// factor.

namespace qarn {

int solver::choose_free_variable() {
    if (m_assignment.find_best_free_variable() == NO_VARIABLE)
        return -1;
    int candidate = m_last_chosen_var;
    std::size_t kept = 0;
    for (unsigned v : m_latest_conflict_vars) {
        if (assignment_stack::is_singleton(m_assignment.domain(v)))
            continue;
        m_latest_conflict_vars[kept++] = v;
        if (m_assignment.is_better_variable(static_cast<int>(v), candidate, 1))
            candidate = static_cast<int>(v);
    }
    m_latest_conflict_vars.resize(kept);
    int best = static_cast<int>(m_assignment.find_best_free_variable());
    int factor = static_cast<int>(m_conflict_cost_factor);
    int result = m_assignment.is_better_variable(best, candidate, factor) ? best : candidate;
    m_last_chosen_var = result;
    return result;
}

} // namespace qarn
