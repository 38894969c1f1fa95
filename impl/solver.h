// The engine object of one problem instance. Front-ends build a model through
// it (variables with set domains; constraints come with the propagation
// framework), the driver sets its options, and the search runs inside it.
//
// Members, by group:
//   model building   add_var, singleton_var, set_var_domain
//   variable choice  choose_free_variable (variable_choice.cpp)
//   state            the assignment stack with domains, trail and costs
#pragma once

#include <cstdint>
#include <vector>

#include "assignment_stack.h"
#include "model.h"
#include "no_copy.h"
#include "solver_types.h"

namespace qarn {

class solver : public solver_types, public no_copy {
public:
    solver();

    // ---- Model building
    unsigned add_var(iset domain, const char* name, bool register_constant);
    unsigned singleton_var(int c);
    // Before a search: replaces the domain with no trail entry. During a
    // search: a trail entry at the current time with the given cause.
    void set_var_domain(unsigned var, iset domain, int cause);

    // ---- Variable choice
    // The variable to branch on next, or -1 when every variable is a singleton.
    int choose_free_variable();

    assignment_stack& assignment() { return m_assignment; }
    const assignment_stack& assignment() const { return m_assignment; }

    // ---- Search state and settings (grown by the search engine)
    std::uint64_t m_activation_counter = 2; // the engine's clock
    bool m_solving = false;                 // true while a search runs
    double m_analysis_cost_factor = 2.0;    // initial cost increment
    double m_conflict_cost_factor = 8.0;    // how much better the heap's best must be
    int m_last_chosen_var = -1;
    int m_vars_to_print = -1;
    std::vector<unsigned> m_latest_conflict_vars;

private:
    assignment_stack m_assignment;
};

} // namespace qarn
