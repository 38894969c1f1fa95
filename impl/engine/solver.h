// The engine object of one problem instance. Front-ends build a model through
// it (variables with set domains, constraints as owned propagators), the
// driver sets its options, and the search runs inside it.
//
// Members, by group (and the file that implements them):
//   model building    add_var, singleton_var, set_var_domain, add_constraint  solver.cpp
//   output            print_solution, evaluate_objective, show_self           solver.cpp
//   variable choice   choose_free_variable                                    variable_choice.cpp
//   propagation       prepare_for_solve, first_time_propagate_constraints,
//                     propagate_constraints, the two queues, watches          propagation.cpp
//   search            solve, decisions, back-jumps, restarts, erasure         search.cpp
//   conflicts         analyze_conflict, explanations, resolution steps        conflict_analysis.cpp
//   optimisation      optimize, the all-solutions loop                        optimization.cpp
//   state             the assignment stack with domains, trail and costs
// Settings are public fields (the driver's options write them); their
// defaults are those of a new solver.
#pragma once

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "impl/engine/assignment_stack.h"
#include "impl/engine/constraint_connectivity_info.h"
#include "impl/engine/constraint_propagator.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/solver_types.h"
#include "impl/engine/variable_event_queue.h"
#include "impl/engine/watch_types.h"
#include "impl/engine/watches.h"
#include "impl/learning/conflict_constraint_dependency.h"
#include "impl/learning/proof_collector.h"
#include "impl/sets/model.h"
#include "impl/support/no_copy.h"
#include "impl/support/unique_queue.h"

namespace qarn {

class clause_propagator;
class formula;
class learned_type;
class timer;

class solver : public solver_types, public no_copy, public watch_types {
public:
    enum result_type {
        SAT = 0,
        UNSAT = 1,
        BACKTRACK_LIMIT = 2,
        TIMEOUT = 3,
        MEMOUT = 4,
        SAT_DONE = 5, // all solutions printed
        OPTIMAL = 6,
    };

    class timeout_exception : public std::exception {
    public:
        const char* what() const noexcept override { return "timeout exception"; }
    };

    // A learned constraint waiting for its first propagation at a level.
    struct constraint_run_level {
        unsigned level; // NO_LEVEL: never propagated
        unsigned constraint;
    };

    // The answer to an explanation request: one set per parameter (a
    // clause's own literals, or a scratch vector valid until the next
    // request) and the propagator's rule when proofs are recorded.
    struct explanation_views {
        const std::vector<iset>* explanation = nullptr;
        std::unique_ptr<explanation_rule> rule;
    };

    solver();
    ~solver(); // not virtual: objects are destroyed through their own class

    // Writes the current assignment.
    virtual void print_solution(std::ostream& os) const;
    // The variables whose values print_solution shows, in order: the
    // all-solutions loop blocks each solution on them alone. By default the
    // first m_vars_to_print variables (all when it is -1).
    virtual std::vector<unsigned> shown_vars() const;
    // The objective value of the current assignment.
    virtual int evaluate_objective() const;

    // ---- Running
    // One solve: a search, or the optimisation or all-solutions loop. out
    // receives the all-solutions output; null stands for std::cout.
    result_type solve(std::ostream* out);
    // Whether the last optimisation loop proved its best value optimal.
    bool optimum_proven() const { return m_optimum_proven; }
    // Throws std::runtime_error unless proofs are recorded.
    bool is_correctly_unsat() const;
    // The model a proof may rest on: the constraints below this count and
    // the declared domains, as the first search of the last solve with
    // proofs on found them (the current ones until such a search starts).
    unsigned model_constraint_count() const;
    // Null for a variable the model did not have.
    const iset* declared_domain(unsigned var) const;
    // The interpolant of the last refutation between the constraints
    // labelled 1 and the others; throws std::runtime_error unless proofs
    // are recorded.
    formula get_interpolant() const;

    // ---- Model building
    unsigned add_var(iset domain, const char* name, bool register_constant);
    unsigned singleton_var(int c);
    // Before a search: replaces the domain with no trail entry. During a
    // search: a trail entry at the current time with the given cause.
    void set_var_domain(unsigned var, iset domain, int cause);
    // Takes ownership; the caller streams the parameter variables into the
    // returned record in parameter order.
    constraint_connectivity_info& add_constraint(std::unique_ptr<constraint_propagator> propagator);
    void produce_proof(bool on);
    label_type constraint_labels(unsigned c) const { return m_records.at(c).labels(); }
    void constraint_labels(unsigned c, label_type labels) { m_records.at(c).labels(labels); }
    label_type variable_labels(unsigned v) const { return m_assignment.variable_labels(v); }
    void variable_labels(unsigned v, label_type labels) { m_assignment.variable_labels(v, labels); }
    std::vector<label_type> variables_touched_by_labels() const;

    // ---- Queries
    bool has_empty_domains() const;
    iset removed_values(unsigned var, unsigned entry) const;
    void get_constraint_variables(unsigned c, std::vector<unsigned>& vars) const;
    void print_constraint(std::ostream& os, unsigned c) const;
    bool is_clause(unsigned c) const;
    const std::vector<iset>& clause_literals(unsigned c) const;
    void show_self() const;
    void validate_flags_consistency() const;
    void print_recent_proof(std::ostream& os) const;
    void reset();
    void forget_learned_constraints();

    unsigned var_count() const { return m_assignment.var_count(); }
    unsigned constraint_count() const { return static_cast<unsigned>(m_propagators.size()); }
    const iset& domain(unsigned var) const { return m_assignment.domain(var); }
    constraint_propagator* propagator(unsigned c) const { return m_propagators.at(c).get(); }
    constraint_connectivity_info& record(unsigned c) { return m_records.at(c); }
    const constraint_connectivity_info& record(unsigned c) const { return m_records.at(c); }
    const std::vector<std::unique_ptr<constraint_propagator>>& constraints() const {
        return m_propagators;
    }
    assignment_stack& assignment() { return m_assignment; }
    const assignment_stack& assignment() const { return m_assignment; }
    const proof_collector_interface& proof_collector() const { return *m_proof_collector; }
    proof_collector_interface& proof_collector() { return *m_proof_collector; }
    conflict_constraint_dependency& dependencies() { return *m_dependencies; }

    // ---- Variable choice
    // The variable to branch on next, or -1 when every variable is a singleton.
    int choose_free_variable();

    // ---- Propagation
    // Gives every parameter of every constraint a variable of its own.
    void separate_repeated_parameters();
    void merge_repeated_literals(clause_propagator& clause, std::vector<unsigned>& vars);
    void copy_repeated_parameters(unsigned c);
    void prepare_for_solve();
    bool first_time_propagate_constraints();
    bool propagate_constraints();
    bool propagate_dirty_learned_constraint(constraint_run_level& entry);
    void init_one_constraint(unsigned c, unsigned entry, bool watchless_if_big);
    bool propagate_one_constraint(unsigned c, bool force_report);
    bool propagate_constraints_in_variable_queue();
    bool propagate_constraints_touching_var(unsigned var, unsigned entry);
    bool propagate_constraint_in_constraint_queue();
    void forget_all_watches();
    [[noreturn]] void throw_timeout_exception();
    void report_last_propagation(propagation_types::result_type result, bool force) const;
    void mark_used(unsigned c);
    void mark_dependency(unsigned c, unsigned prerequisite);

    // ---- Search (search.cpp)
    result_type solve_current_constraints(bool prefer_saved);
    result_type solve_impl(bool prefer_saved);
    void restrict_variable(unsigned var, bool prefer_saved);
    // SAT (0) or BACKTRACK_LIMIT.
    result_type backtrack(unsigned level, int learned);
    bool compute_restart(unsigned level);
    void restart();
    void remove_unused_conflict_constraints_maybe();
    void forget_conflict_constraint(unsigned c);
    void save_erased_prerequisites_for_proof(const std::vector<unsigned>& erased);
    void complement_decision(unsigned var, const iset& values);
    int find_backtrack_level(const learned_type& learned, int asserting) const;
    void manage_unsat();
    // With -p or -V, where no proof is recorded: one comment line on the
    // stored stream saying why.
    void report_no_proof(const char* reason) const;
    // Keeps the model for the proof checker when the first search of a solve
    // with proofs on starts.
    void keep_proof_model();

    // ---- Optimisation and all solutions (optimization.cpp)
    result_type optimize();
    bool improve_solution(timer& t, result_type& r);
    void save_solution_as_best();
    void restore_best_solution();
    void advance_iteration_time(timer& t);
    result_type enumerate_solutions();

    // ---- Conflict analysis (conflict_analysis.cpp)
    // The back-jump level, -1 for UNSAT; learned := the new constraint or -1.
    int analyze_conflict(int& learned);
    bool generate_conflict_constraint(learned_type& learned);
    unsigned conflicting_modification_entry() const;
    // Why constraint c made trail entry `entry` (param NO_PARAM: why it
    // conflicts), for the values of its parameter param.
    explanation_views get_constraint_explanation(unsigned c, unsigned param, const iset& values,
                                                 unsigned entry) const;
    void collect_conflict_nodes(learned_type& learned, explanation_views& views, unsigned c,
                                unsigned entry);
    void record_explanation_variables(const constraint_connectivity_info& record,
                                      const std::vector<iset>& explanation);
    bool resolve_conflicting_implications(learned_type& learned);
    void resolve(learned_type& learned, unsigned variable, unsigned cause);
    bool prepare_to_resolve(learned_type& learned, unsigned variable, unsigned cause,
                            unsigned& param, const std::vector<iset>*& explanation);
    void resolve_clause(learned_type& learned, const constraint_connectivity_info& record,
                        const std::vector<iset>& explanation, unsigned param,
                        unsigned entry) const;
    void relax(learned_type& learned, unsigned node) const;
    int insert_constraint(const learned_type& learned);
    // Bumps the cost of c's parameter variables whose set (c's clause
    // literals, or `sets`) can still matter at level 0.
    void add_constraint_cost_to_variables(unsigned c, double increment,
                                          const std::vector<iset>* sets);
    void report_resolution_start(std::ostream& os, const learned_type& learned, unsigned cause,
                                 unsigned entry) const;
    void report_explanation(std::ostream& os, const constraint_runtime_info& ri,
                            const std::vector<iset>& explanation) const;

    // ---- Watches and queues, used through the runtime views
    // Sizes the per-variable watch lists to the variable count.
    void size_watch_lists();
    watch_handle_t allocate_watch(unsigned var, watch_type type, unsigned constraint);
    void deallocate_watch(unsigned var, watch_type type, watch_handle_t handle);
    watch_handle_t allocate_value_watch(unsigned var, int value, unsigned constraint);
    void deallocate_value_watch(unsigned var, int value, watch_handle_t handle);
    const var_event_watchers& event_watchers(unsigned var) const { return m_var_watchers.at(var); }
    const var_value_watchers& value_watchers(unsigned var) const {
        return m_value_watchers.at(var);
    }
    constraint_runtime_info::queue_type current_queue() const { return m_current_queue; }
    void put_in_queue(unsigned constraint, constraint_runtime_info::queue_type queue);
    void notify_modification(unsigned var, int constraint);
    unsigned pending_events() const { return m_pending_events; }
    const unique_queue<void>& constraint_queue() const { return m_constraint_queue; }
    unsigned last_activated_constraint() const { return m_last_activated; }
    unsigned first_learned() const { return m_first_learned; }
    std::vector<constraint_run_level>& dirty_learned() { return m_dirty_learned; }

    // ---- Engine clock and state
    std::uint64_t m_activation_counter = 2; // the engine's clock
    bool m_variable_event_mode = true;
    int m_first_propagation = 0;            // 1 while the first propagation runs
    bool m_solving = false;                 // true while a search runs

    // ---- Settings (options)
    int m_report_level = 0;                        // -l
    unsigned m_backtrack_limit = 1000000000u;      // -b
    unsigned m_initial_restart_interval = 16;      // -r (0: no restarts)
    bool m_check_domain_ages = true;               // -g
    bool m_intersect_with_ground = true;           // -G
    int m_literal_relaxation = 2;                  // -j: 0 none, 1 within a level, 2 complete
    bool m_relax_cause = false;                    // -J
    bool m_combine_general = true;                 // -m
    bool m_augment_explanations = true;            // -A
    bool m_quiet = false;                          // -D
    bool m_all_solutions = false;                  // -d
    bool m_produce_proof = false;                  // -p
    bool m_validate_unsat = false;                 // -V
    double m_analysis_cost_factor = 2.0;           // -i: initial cost increment
    double m_conflict_cost_factor = 8.0;           // -k
    unsigned m_opportunistic_threshold = 1000;     // -o
    unsigned m_effort_boost_after = 4;             // -e: conflicts before effort is raised
    unsigned m_max_conflict_clause = 100;          // -c
    unsigned m_erase_period = 256;                 // -E
    unsigned m_keep_window = 512;                  // -C

    // ---- Statistics, reset by every solve
    unsigned m_backtracks_solve = 0;
    unsigned m_backtracks_search = 0;
    unsigned m_backtracks_since_restart = 0;
    unsigned m_restart_interval = 16;
    unsigned m_restarts = 0;
    std::uint64_t m_decisions = 0;
    std::uint64_t m_resolutions = 0;      // resolution steps that went ahead
    std::uint64_t m_combinations = 0;     // steps done by combining general constraints
    unsigned m_non_fallback_analyses = 0; // analyses with no step falling back to clauses
    bool m_fallback = false;              // the current analysis fell back to clauses
    std::vector<unsigned> m_backtrack_marks;

    // ---- Variable choice state
    int m_last_chosen_var = -1;
    int m_vars_to_print = -1; // -1: all
    std::vector<unsigned> m_latest_conflict_vars;

    // ---- Objective and output
    int m_objective_var = -1; // -1: none
    bool m_minimize = true;
    std::vector<int> m_best_solution;
    int m_best_value = 0;
    std::ostream* m_out;
    std::string m_comment_prefix = "c";
    std::string m_status_prefix = "s";
    std::string m_objective_prefix = "o";

private:
    bool m_optimum_proven = false;
    void record_event(unsigned var);

    std::unique_ptr<proof_collector_interface> m_proof_collector;
    bool m_proof_model_pending = true; // no search with proofs on since solve() began
    unsigned m_proof_model_constraints = 0;
    std::vector<iset> m_proof_model_domains;
    std::vector<constraint_connectivity_info> m_records;
    unsigned m_first_learned = 0;
    unsigned m_separated_constraints = 0;    // constraints checked for repeated variables
    std::vector<unsigned> m_parameter_marks; // by variable: a parameter, or NO_PARAM
    std::vector<std::unique_ptr<constraint_propagator>> m_propagators;
    unique_queue<void> m_constraint_queue;
    std::vector<constraint_run_level> m_dirty_learned;
    // A constraint learned where an opportunistic back-jump went below the
    // level at which it asserts, with the backtrack count it was learned at.
    struct unasserted_learned {
        unsigned constraint;
        unsigned learned_at;
    };
    std::vector<unasserted_learned> m_unasserted_learned;
    std::unique_ptr<conflict_constraint_dependency> m_dependencies;
    assignment_stack m_assignment;
    std::vector<var_event_watchers> m_var_watchers;
    std::vector<var_value_watchers> m_value_watchers;
    variable_event_queue m_events;
    std::vector<bool> m_event_queued;
    unsigned m_pending_events = 0;
    unsigned m_last_activated = 0;
    constraint_runtime_info::queue_type m_current_queue = constraint_runtime_info::VARIABLE_QUEUE;
    // get_constraint_explanation's answer, valid until its next call.
    mutable std::vector<iset> m_constraint_explanation;
};

// Writes the result's name; values above OPTIMAL write nothing.
std::ostream& operator<<(std::ostream& os, solver::result_type result);

} // namespace qarn
