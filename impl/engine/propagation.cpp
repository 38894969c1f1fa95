// The propagation loop: runs the propagators to a fixed point. Two queues feed
// it: a priority queue of variable events (one per changed variable) whose
// service fires the variable's watches, and a FIFO of constraints that asked
// to run later. Learned constraints just added run first. Every finished
// activation advances the activation counter that stamps domain changes;
// running it out is the only source of a time-out.
#include <iostream>

#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"

namespace qarn {

// ---------------------------------------------------------------------------
// Watches and queues

void solver::size_watch_lists() {
    m_var_watchers.resize(m_assignment.var_count());
    m_value_watchers.resize(m_assignment.var_count());
}

watch_handle_t solver::allocate_watch(unsigned var, watch_type type, unsigned constraint) {
    return m_var_watchers.at(var).allocate_watch(type, constraint);
}

void solver::deallocate_watch(unsigned var, watch_type type, watch_handle_t handle) {
    m_var_watchers.at(var).deallocate_watch(type, handle);
}

watch_handle_t solver::allocate_value_watch(unsigned var, int value, unsigned constraint) {
    return m_value_watchers.at(var).allocate_watch(value, constraint);
}

void solver::deallocate_value_watch(unsigned var, int value, watch_handle_t handle) {
    m_value_watchers.at(var).deallocate_watch(value, handle);
}

void solver::put_in_queue(unsigned constraint, constraint_runtime_info::queue_type queue) {
    if (queue != constraint_runtime_info::CONSTRAINT_QUEUE)
        throw std::runtime_error("solver::put_in_queue() works only for CONSTRAINT_QUEUE");
    if (m_constraint_queue.max_elements() < constraint_count())
        m_constraint_queue.set_max_elements(constraint_count());
    m_constraint_queue.insert(constraint);
}

void solver::record_event(unsigned var) {
    if (m_event_queued.size() <= var)
        m_event_queued.resize(m_assignment.var_count(), false);
    if (m_event_queued[var])
        return;
    const assignment_stack::variable_state& state = m_assignment.var_state(var);
    m_events.push(variable_event{var, state.m_size_at_last_modification,
                                 state.m_latest_modification});
    m_event_queued[var] = true;
    ++m_pending_events;
}

void solver::notify_modification(unsigned var, int) {
    record_event(var);
}

void solver::mark_used(unsigned c) {
    if (c >= m_first_learned)
        m_dependencies->mark_used(c, m_backtracks_search);
}

void solver::mark_dependency(unsigned c, unsigned prerequisite) {
    if (c >= m_first_learned)
        m_dependencies->mark_dependency(c, prerequisite);
}

void solver::throw_timeout_exception() {
    throw timeout_exception();
}

// ---------------------------------------------------------------------------
// Starting a search

// Propagators, explanations and learned constraints all take a parameter to
// be a variable of its own: a variable named twice would get two nodes in a
// learned constraint and two stale views in one activation. A clause merges
// its literals on one variable (their union); any other constraint gets a
// fresh copy of the variable for each later occurrence, tied to it by an
// equality. Constraints checked once stay clean, so a later search only
// scans the constraints added since.
void solver::separate_repeated_parameters() {
    const unsigned original_vars = m_assignment.var_count();
    std::vector<unsigned>& seen = m_parameter_marks;
    for (unsigned c = m_separated_constraints; c < constraint_count(); ++c) {
        if (!m_propagators[c])
            continue;
        std::vector<unsigned>& vars = m_records[c].variables();
        seen.resize(m_assignment.var_count(), NO_PARAM);
        bool repeated = false;
        for (unsigned p = 0; p < vars.size() && !repeated; ++p) {
            repeated = seen[vars[p]] != NO_PARAM;
            seen[vars[p]] = p;
        }
        for (unsigned v : vars)
            seen[v] = NO_PARAM;
        if (!repeated)
            continue;
        if (auto* clause = dynamic_cast<clause_propagator*>(m_propagators[c].get()))
            merge_repeated_literals(*clause, vars);
        else
            copy_repeated_parameters(c);
    }
    m_separated_constraints = constraint_count();
    // The copies are internal: a solution shows the variables it had before.
    if (m_vars_to_print < 0 && m_assignment.var_count() != original_vars)
        m_vars_to_print = static_cast<int>(original_vars);
}

void solver::merge_repeated_literals(clause_propagator& clause, std::vector<unsigned>& vars) {
    std::vector<iset>& literals = clause.update_literals();
    std::vector<unsigned>& first = m_parameter_marks;
    unsigned kept = 0;
    for (unsigned p = 0; p < vars.size(); ++p) {
        const unsigned v = vars[p];
        if (first[v] != NO_PARAM) {
            literals[first[v]].insert_all_of(literals[p]);
            continue;
        }
        first[v] = kept;
        vars[kept] = v;
        if (kept != p)
            literals[kept] = std::move(literals[p]);
        ++kept;
    }
    vars.resize(kept);
    literals.resize(kept);
    for (unsigned v : vars)
        first[v] = NO_PARAM;
}

void solver::copy_repeated_parameters(unsigned c) {
    // Adding constraints moves the records: index them, never hold one.
    std::vector<unsigned>& seen = m_parameter_marks;
    const unsigned arity = m_records[c].arity();
    for (unsigned p = 0; p < arity; ++p) {
        const unsigned v = m_records[c].variable(p);
        if (seen[v] == NO_PARAM) {
            seen[v] = p;
            continue;
        }
        const unsigned copy = add_var(iset(m_assignment.domain(v)), nullptr, false);
        seen.resize(m_assignment.var_count(), NO_PARAM);
        m_records[c].variables()[p] = copy;
        add_constraint(std::make_unique<equal_propagator>()) << v << copy;
    }
    for (unsigned v : m_records[c].variables())
        seen[v] = NO_PARAM;
}

void solver::prepare_for_solve() {
    m_last_chosen_var = -1;
    m_latest_conflict_vars.clear();
    m_backtrack_marks.assign(1, 0);
    m_constraint_queue.set_max_elements(constraint_count());
    m_events.clear();
    m_event_queued.assign(m_assignment.var_count(), false);
    m_pending_events = 0;
    m_constraint_queue.clear();
    m_last_activated = 0;
    m_first_propagation = 0;
    m_backtracks_search = 0;
    m_backtracks_since_restart = 0;
    m_restart_interval = m_initial_restart_interval;
}

namespace {

// Rebuilds a record's parameter list from the kept parameter numbers.
void keep_parameters(constraint_connectivity_info& record, const std::vector<unsigned>& kept) {
    std::vector<unsigned> old = record.variables();
    std::vector<unsigned>& vars = record.variables();
    vars.clear();
    for (unsigned p : kept)
        vars.push_back(old.at(p));
}

bool is_identity(const std::vector<unsigned>& params, unsigned arity) {
    if (params.size() != arity)
        return false;
    for (unsigned i = 0; i < params.size(); ++i)
        if (params[i] != i)
            return false;
    return true;
}

} // namespace

bool solver::first_time_propagate_constraints() {
    struct first_propagation_flag {
        int& flag;
        explicit first_propagation_flag(int& f) : flag(f) { flag = 1; }
        ~first_propagation_flag() { flag = 0; }
    } running(m_first_propagation);

    size_watch_lists();
    m_dependencies = std::make_unique<conflict_constraint_dependency>(constraint_count());
    m_unasserted_learned.clear();
    produce_proof(m_proof_collector->want_proof());
    m_assignment.reset_var_costs(m_analysis_cost_factor);
    m_assignment.disable_var_costs_heap();
    m_current_queue = constraint_runtime_info::CONSTRAINT_QUEUE;
    m_first_learned = constraint_count();

    if (m_intersect_with_ground) {
        for (unsigned c = 0; c < constraint_count(); ++c) {
            if (!m_propagators[c])
                continue;
            std::vector<unsigned> params;
            std::unique_ptr<constraint_propagator> simpler =
                m_propagators[c]->intersect_with(m_records[c], params);
            if (!simpler)
                continue;
            if (m_report_level >= 2) {
                std::cout << "Simplifying ";
                print_constraint(std::cout, c);
                std::cout << " using initial domains\n";
                m_records[c].print_params(std::cout, ", ");
            }
            m_propagators[c] = std::move(simpler);
            if (!is_identity(params, m_records[c].arity()))
                keep_parameters(m_records[c], params);
        }
    }

    // Every constraint is initialised and propagated once, in index order.
    // Constraints queued meanwhile with a higher index are dropped (their own
    // first activation is still to come); the others are kept, in order.
    unique_queue<void> kept;
    kept.set_max_elements(m_constraint_queue.max_elements());
    for (unsigned c = 0; c < constraint_count(); ++c) {
        if (!m_propagators[c])
            continue;
        constraint_connectivity_info& record = m_records[c];
        record.reset_activation();
        constraint_aged_info view(record, m_assignment, m_assignment.trail_size(),
                                  constraint_aged_info::USE_UNDERLYING_EFFORT);
        if (!m_propagators[c]->init(view)) {
            m_last_activated = c;
            if (m_report_level >= 1) {
                std::cout << m_activation_counter << " UNSAT ";
                print_constraint(std::cout, c);
                std::cout << '\n';
            }
            return false;
        }
        if (!propagate_one_constraint(c, false))
            return false;
        while (!m_constraint_queue.empty()) {
            unsigned queued = m_constraint_queue.pop();
            if (queued <= c)
                kept.insert(queued);
        }
    }
    m_constraint_queue = std::move(kept);

    if (!propagate_constraints())
        return false;

    // Initial costs: the number of constraint occurrences that can still matter.
    for (unsigned c = 0; c < constraint_count(); ++c)
        if (m_propagators[c])
            add_constraint_cost_to_variables(c, 1.0, nullptr);
    m_assignment.enable_var_costs_heap();
    return true;
}

// ---------------------------------------------------------------------------
// The fixed point

bool solver::propagate_constraints() {
    bool conflict = false;
    std::size_t processed = m_dirty_learned.size();
    unsigned level = m_assignment.level_count();
    while (processed > 0 && m_dirty_learned[processed - 1].level > level) {
        --processed;
        if (!propagate_dirty_learned_constraint(m_dirty_learned[processed])) {
            conflict = true;
            break;
        }
    }
    if (level == 0) {
        m_dirty_learned.clear();
    } else {
        // Keep, among the entries processed now, the constraints that are
        // worth running again after a back-jump.
        std::size_t out = processed;
        for (std::size_t i = processed; i < m_dirty_learned.size(); ++i) {
            unsigned c = m_dirty_learned[i].constraint;
            if (m_propagators[c] && !is_clause(c) && m_records[c].arity() <= m_max_conflict_clause)
                m_dirty_learned[out++] = m_dirty_learned[i];
        }
        m_dirty_learned.resize(out);
    }
    if (conflict)
        return false;
    while (m_pending_events > 0 || !m_constraint_queue.empty()) {
        if (!propagate_constraints_in_variable_queue())
            return false;
        if (!propagate_constraint_in_constraint_queue())
            return false;
    }
    return true;
}

bool solver::propagate_dirty_learned_constraint(constraint_run_level& entry) {
    m_current_queue = constraint_runtime_info::CONSTRAINT_QUEUE;
    unsigned c = entry.constraint;
    unsigned level = m_assignment.level_count();
    if (entry.level == NO_LEVEL) {
        unsigned last = level ? m_assignment.decision_modification(level) - 1
                              : m_assignment.trail_size() - 1;
        m_records[c].reset_activation();
        init_one_constraint(c, last, true);
    }
    entry.level = level;
    return propagate_one_constraint(c, false);
}

void solver::init_one_constraint(unsigned c, unsigned entry, bool watchless_if_big) {
    constraint_connectivity_info& record = m_records.at(c);
    if (watchless_if_big && record.arity() > m_max_conflict_clause) {
        constraint_watchless_info view(record);
        m_propagators[c]->init(view);
        m_propagators[c]->forget_watches();
        return;
    }
    constraint_aged_info view(record, m_assignment, entry + 1,
                              constraint_aged_info::USE_UNDERLYING_EFFORT);
    m_propagators[c]->init(view);
}

bool solver::propagate_constraints_in_variable_queue() {
    m_current_queue = constraint_runtime_info::VARIABLE_QUEUE;
    while (m_pending_events > 0) {
        variable_event event = m_events.top();
        m_events.pop();
        --m_pending_events;
        m_event_queued[event.variable] = false;
        if (!propagate_constraints_touching_var(event.variable, event.entry))
            return false;
    }
    return true;
}

bool solver::propagate_constraints_touching_var(unsigned var, unsigned entry) {
    auto activate = [this](unsigned c) { return propagate_one_constraint(c, false); };
    // Domains are read through the trail index on every test: activations may
    // grow the trail and move its entries.
    auto before = [this, entry]() -> const iset& { return m_assignment.entry(entry).m_domain; };
    auto left = [&](int value) {
        return before().contains(value) && !m_assignment.domain(var).contains(value);
    };
    if (!m_value_watchers[var].for_each_watch(left, activate))
        return false;

    const iset& now = m_assignment.domain(var);
    const var_event_watchers& events = m_var_watchers[var];
    unsigned mask = 1u << MODIFICATION_WATCH;
    if (now.size() == 1)
        mask |= 1u << FINALIZATION_WATCH;
    if (events.watches(LOWER_BOUND_WATCH) &&
        (now.empty() || before().empty() || now.min() != before().min()))
        mask |= 1u << LOWER_BOUND_WATCH;
    if (events.watches(UPPER_BOUND_WATCH) &&
        (now.empty() || before().empty() || now.max() != before().max()))
        mask |= 1u << UPPER_BOUND_WATCH;
    auto fired = [mask](int key) {
        return key >= 0 && key <= 31 && (mask & (1u << key)) != 0;
    };
    return m_var_watchers[var].for_each_watch(fired, activate);
}

bool solver::propagate_one_constraint(unsigned c, bool force_report) {
    constraint_connectivity_info* record = &m_records[c];
    record->reset_changed();
    // A fixed clock value at which a trace line marks long runs.
    if (static_cast<std::uint32_t>(m_activation_counter) == 0xFFFFFFFFu && m_report_level >= 1)
        std::cout << m_activation_counter << " reached target time\n";
    propagation_types::result_type result = m_propagators[c]->propagate(*record);
    record = &m_records[c]; // the propagator may have added constraints
    if (result == propagation_types::VALID && c < m_constraint_queue.max_elements())
        m_constraint_queue.mark(c);
    if (result == propagation_types::POSTPONE) {
        m_last_activated = c;
        if (m_report_level >= 1 || force_report)
            report_last_propagation(result, force_report);
    } else {
        record->finalize_prev_activation(m_activation_counter);
        m_last_activated = c;
        if (m_report_level >= 1 || force_report)
            report_last_propagation(result, force_report);
        if (m_activation_counter == UINT64_MAX)
            throw_timeout_exception();
        ++m_activation_counter;
    }
    if (record->changed_a_domain() && c >= m_first_learned)
        m_dependencies->mark_used(c, m_backtracks_search);
    return result != propagation_types::UNSAT;
}

bool solver::propagate_constraint_in_constraint_queue() {
    m_current_queue = constraint_runtime_info::CONSTRAINT_QUEUE;
    while (!m_constraint_queue.empty()) {
        unsigned c = m_constraint_queue.pop();
        if (!m_propagators[c])
            continue;
        if (!propagate_one_constraint(c, false))
            return false;
        if (m_pending_events > 0)
            return true;
    }
    return true;
}

void solver::forget_all_watches() {
    for (auto& p : m_propagators)
        if (p)
            p->forget_watches();
    for (auto& w : m_var_watchers)
        w.clear();
    for (auto& w : m_value_watchers)
        w.clear();
}

void solver::report_last_propagation(propagation_types::result_type result, bool force) const {
    unsigned c = m_last_activated;
    (void)force; // the caller decides whether to report at all
    if (m_report_level >= 3 || result == propagation_types::UNSAT) {
        std::cout << m_activation_counter << ' ' << result << ' ';
        print_constraint(std::cout, c);
        std::cout << '\n';
    }
    const constraint_connectivity_info& record = m_records[c];
    for (unsigned p = 0; p < record.arity(); ++p) {
        unsigned var = record.variable(p);
        if (m_assignment.var_modification_time(var) != m_activation_counter)
            continue;
        std::cout << m_activation_counter << " constraint[" << c << "] changed param[" << p
                  << "] ";
        m_assignment.print_var_name(std::cout, var);
        std::cout << " := {" << m_assignment.domain(var) << '}';
        unsigned latest = m_assignment.latest_modification(var);
        if (latest != NO_ENTRY)
            std::cout << " removed {" << removed_values(var, latest) << '}';
        std::cout << '\n';
    }
}

} // namespace qarn
