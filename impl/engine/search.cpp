// The search driver: propagation alternates with decisions; every conflict
// becomes a learned constraint and a back-jump. Restarts (on a growing
// interval), the erasure of learned constraints nobody uses and the
// backtrack limit are applied on every backtrack.
#include <algorithm>
#include <iostream>
#include <new>
#include <stdexcept>

#include "impl/engine/solver.h"
#include "impl/learning/learned_type.h"
#include "impl/learning/literal_data.h"
#include "impl/support/random.h"

namespace qarn {

solver::result_type solver::solve(std::ostream* out) {
    m_backtracks_solve = 0;
    m_restarts = 0;
    m_decisions = 0;
    m_resolutions = 0;
    m_combinations = 0;
    m_non_fallback_analyses = 0;
    m_fallback = false;
    m_optimum_proven = false;
    m_out = out ? out : &std::cout;
    m_proof_model_pending = true;
    if (has_empty_domains()) {
        // The reader emptied the domain while building the model; no step of
        // the search shows why.
        report_no_proof("a domain was emptied while the model was built");
        return UNSAT;
    }
    if (m_objective_var >= 0)
        return optimize();
    const result_type r = solve_current_constraints(false);
    if (r == UNSAT) {
        manage_unsat();
        return UNSAT;
    }
    if (r != SAT || !m_all_solutions)
        return r;
    return enumerate_solutions();
}

solver::result_type solver::solve_current_constraints(bool prefer_saved) {
    validate_flags_consistency();
    if (has_empty_domains())
        return UNSAT;
    m_activation_counter = 2;
    if (m_report_level >= 1) {
        m_assignment.print_singleton_variables(std::cout);
        std::cout << '\n';
    }
    result_type r;
    try {
        r = solve_impl(prefer_saved);
    } catch (const timeout_exception&) {
        r = TIMEOUT;
    } catch (const std::bad_alloc&) {
        r = MEMOUT;
    }
    if (r != SAT)
        m_proof_collector->prepare_to_print();
    return r;
}

solver::result_type solver::solve_impl(bool prefer_saved) {
    // Watches live for one search; the solving flag is restored on any exit.
    struct search_scope {
        solver& s;
        bool previous;
        explicit search_scope(solver& owner) : s(owner), previous(owner.m_solving) {
            s.m_solving = true;
        }
        ~search_scope() {
            s.forget_all_watches();
            s.m_solving = previous;
        }
    } scope(*this);

    separate_repeated_parameters();
    keep_proof_model();
    prepare_for_solve();
    if (!first_time_propagate_constraints()) {
        if (m_proof_collector->want_proof()) {
            int learned = -1;
            analyze_conflict(learned);
        }
        return UNSAT;
    }
    for (;;) {
        if (propagate_constraints()) {
            const int v = choose_free_variable();
            if (v < 0)
                return SAT;
            restrict_variable(static_cast<unsigned>(v), prefer_saved);
            if (m_report_level >= 1)
                std::cout << "choice depth = " << m_assignment.level_count() << "\n";
            continue;
        }
        int learned = -1;
        const int level = analyze_conflict(learned);
        if (level < 0)
            return UNSAT;
        const result_type r = backtrack(static_cast<unsigned>(level), learned);
        if (r != SAT)
            return r;
        if (learned >= 0)
            m_dirty_learned.push_back({NO_LEVEL, static_cast<unsigned>(learned)});
    }
}

void solver::restrict_variable(unsigned var, bool prefer_saved) {
    ++m_decisions;
    const iset& domain = m_assignment.domain(var);
    const int lo = domain.min(), hi = domain.max();
    const std::pair<bool, int>& saved = m_assignment.saved_value(var);
    const bool objective = static_cast<int>(var) == m_objective_var;

    // Far below or above the domain's middle third the nearer bound; inside
    // it a coin decides.
    auto saved_rule = [&]() {
        const int s = saved.second;
        if (domain.contains(s))
            return s;
        const auto lower_third = static_cast<int>((2 * static_cast<long long>(lo) + hi) / 3);
        const auto upper_third = static_cast<int>((static_cast<long long>(lo) + 2LL * hi) / 3);
        if (s <= lower_third)
            return lo;
        if (s > upper_third)
            return hi;
        return random::gen(2) == 0 ? hi : lo;
    };
    int value;
    if (!prefer_saved) {
        if (objective)
            value = m_minimize ? lo : hi;
        else
            value = saved.first ? saved_rule() : lo;
    } else {
        if (saved.first)
            value = saved_rule();
        else
            value = objective && !m_minimize ? hi : lo;
    }

    if (m_report_level >= 1) {
        std::cout << m_activation_counter << " restrict:: ";
        m_assignment.print_var_name(std::cout, var);
        std::cout << " := " << value << "\n";
    }
    if (m_assignment.level_count() == 0 &&
        m_assignment.level0_domains().size() < m_assignment.var_count())
        m_assignment.construct_level0_domains();
    m_assignment.open_level(var);
    set_var_domain(var, iset(value, value), -1);
    m_backtrack_marks.push_back(m_backtracks_since_restart);
    notify_modification(var, -1);
}

solver::result_type solver::backtrack(unsigned level, int learned) {
    m_events.clear();
    std::fill(m_event_queued.begin(), m_event_queued.end(), false);
    m_pending_events = 0;
    m_constraint_queue.clear();

    ++m_backtracks_solve;
    ++m_backtracks_search;
    ++m_backtracks_since_restart;
    if (m_backtracks_search > m_backtrack_limit)
        return BACKTRACK_LIMIT;

    m_assignment.lower_var_costs();
    remove_unused_conflict_constraints_maybe();
    if (compute_restart(level)) {
        restart();
        return SAT;
    }

    const unsigned var = m_assignment.decision_variable(level + 1);
    const int value = m_assignment.decision_value(level + 1);
    m_assignment.undo_level(level + 1);
    if (m_backtrack_marks.size() > level + 1)
        m_backtrack_marks.resize(level + 1);
    if (m_report_level >= 1) {
        std::cout << m_activation_counter << " backtrack " << m_backtracks_solve
                  << " undo choice ";
        m_assignment.print_var_name(std::cout, var);
        std::cout << " = " << value << "\n";
    }
    if (learned < 0)
        complement_decision(var, iset(value, value));
    if (m_report_level >= 2)
        show_self();
    if (m_report_level >= 1)
        std::cout << "choice depth = " << level << "\n";
    return SAT;
}

void solver::complement_decision(unsigned var, const iset& values) {
    if (m_report_level >= 1) {
        std::cout << m_activation_counter << " Remove bad values :: ";
        m_assignment.print_var_name(std::cout, var);
        std::cout << " in {" << values << "}\n";
    }
    iset rest(m_assignment.domain(var));
    rest.erase_all_of(values);
    set_var_domain(var, std::move(rest), -1);
    notify_modification(var, -1);
    if (m_activation_counter == UINT64_MAX)
        throw_timeout_exception();
    ++m_activation_counter;
    const iset& now = m_assignment.domain(var);
    if (!now.empty() && !assignment_stack::is_singleton(now))
        restrict_variable(var, false);
}

bool solver::compute_restart(unsigned level) {
    if (level == 0 || m_restart_interval == 0)
        return false;
    if (m_backtracks_since_restart - m_backtrack_marks.at(level) < m_restart_interval)
        return false;
    m_restart_interval = (3 * m_restart_interval + 1) >> 1;
    if (m_report_level >= 1)
        std::cout << "Next restart after " << m_restart_interval << " backtracks\n";
    return true;
}

void solver::restart() {
    for (unsigned level = 1; level <= m_assignment.level_count(); ++level)
        m_latest_conflict_vars.push_back(m_assignment.decision_variable(level));
    m_last_chosen_var = -1;
    if (m_assignment.level_count() > 0)
        m_assignment.undo_level(1);
    m_assignment.forget_previously_assigned_var_values();
    m_backtracks_since_restart = 0;
    ++m_restarts;
    if (m_report_level >= 1)
        std::cout << m_activation_counter << " restart " << m_restarts << "\n";
    if (m_report_level >= 2)
        show_self();
    if (m_report_level >= 1)
        std::cout << "choice depth = 0\n";
    m_backtrack_marks.assign(1, 0);
}

void solver::remove_unused_conflict_constraints_maybe() {
    const unsigned t = m_backtracks_search;
    // A zero period never erases.
    if (m_erase_period == 0 || t % m_erase_period != 0 || t < m_keep_window)
        return;
    std::vector<unsigned> keep = m_assignment.get_busy_constraints(m_first_learned);
    const std::vector<unsigned> active = m_dependencies->active_constraints(t - m_keep_window);
    keep.insert(keep.end(), active.begin(), active.end());
    for (const constraint_run_level& dirty : m_dirty_learned)
        keep.push_back(dirty.constraint);
    // A constraint learned at an opportunistic jump is kept until it is used:
    // it asserted nothing where the search went, and erased unused it would
    // let the search come back to its conflict and learn it again, for ever.
    std::size_t unused = 0;
    for (const unasserted_learned& u : m_unasserted_learned) {
        if (m_dependencies->last_use(u.constraint) != u.learned_at)
            continue;
        keep.push_back(u.constraint);
        m_unasserted_learned[unused++] = u;
    }
    m_unasserted_learned.resize(unused);
    const std::vector<unsigned> erased = m_dependencies->other_constraints(keep);
    if (erased.empty())
        return;
    save_erased_prerequisites_for_proof(erased);

    // The watch lists of every variable of an erased constraint are swept
    // once all of them are gone: a watch of a null slot is dropped.
    std::vector<unsigned> touched;
    for (unsigned c : erased) {
        const std::vector<unsigned>& vars = m_records.at(c).variables();
        touched.insert(touched.end(), vars.begin(), vars.end());
        forget_conflict_constraint(c);
    }
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    auto removed = [this](unsigned c) { return c >= m_propagators.size() || !m_propagators[c]; };
    for (unsigned v : touched) {
        if (v < m_var_watchers.size())
            m_var_watchers[v].deallocate_watches(removed);
        if (v < m_value_watchers.size())
            m_value_watchers[v].deallocate_watches(removed);
    }
}

void solver::forget_conflict_constraint(unsigned c) {
    if (m_report_level >= 2)
        std::cout << "removing rare conflict constraint[" << c << "]\n";
    std::unique_ptr<constraint_propagator> gone = std::move(m_propagators.at(c));
    std::vector<unsigned>().swap(m_records.at(c).variables());
    gone.reset();
    m_dependencies->erase_constraint(c);
}

void solver::save_erased_prerequisites_for_proof(const std::vector<unsigned>& erased) {
    if (!m_proof_collector->want_proof())
        return;
    // A proof may still need the clauses of erased constraints and of the
    // live constraints they were derived from.
    std::vector<unsigned> saved = m_dependencies->prerequisite_closure(erased);
    saved.insert(saved.end(), erased.begin(), erased.end());
    for (unsigned c : saved) {
        if (!m_propagators.at(c) || !is_clause(c))
            continue;
        clause_data clause;
        const std::vector<iset>& literals = clause_literals(c);
        for (unsigned i = 0; i < literals.size(); ++i)
            clause.push_back(literal_data(m_records.at(c).variable(i), literals[i]));
        m_proof_collector->save_clause(c, clause);
    }
}

int solver::find_backtrack_level(const learned_type& learned, int asserting) const {
    if (learned.nodes().empty())
        return -1;
    if (learned.nodes().size() <= m_max_conflict_clause && asserting >= 0 &&
        static_cast<unsigned>(asserting) >= m_opportunistic_threshold) {
        const int o = static_cast<int>(learned.opportunistic_level());
        if (static_cast<long long>(asserting) - o >= m_opportunistic_threshold)
            return o;
    }
    return asserting;
}

void solver::manage_unsat() {
    if (m_produce_proof)
        m_proof_collector->print_proof(*m_out);
    if (m_validate_unsat && !is_correctly_unsat())
        throw std::runtime_error("Bad UNSAT result");
}

bool solver::is_correctly_unsat() const {
    if (!m_proof_collector->want_proof())
        throw std::runtime_error(
            "solver::is_correctly_unsat() works only when proof mechanism is activated");
    const qarn::proof_collector& collector =
        static_cast<const qarn::proof_collector&>(*m_proof_collector);
    proof_checker_visitor checker(collector, m_out);
    collector.traverse_proof(checker);
    // A record whose final clause is empty from the start shows nothing: it
    // is a clause of an earlier search.
    if (!checker.refuted()) {
        if (m_out)
            *m_out << "No step of the proof derives the empty clause\n";
        return false;
    }
    return checker.ok();
}

void solver::report_no_proof(const char* reason) const {
    if (!m_produce_proof && !m_validate_unsat)
        return;
    *m_out << m_comment_prefix << " no proof: " << reason;
    if (m_validate_unsat)
        *m_out << "; nothing was validated";
    *m_out << '\n';
}

void solver::keep_proof_model() {
    if (!m_proof_model_pending || !m_proof_collector->want_proof())
        return;
    // Later searches of the same solve (the optimisation loop's) start from
    // tightened domains and keep the constraints learned before.
    m_proof_model_pending = false;
    m_proof_model_constraints = constraint_count();
    m_proof_model_domains.clear();
    m_proof_model_domains.reserve(var_count());
    for (unsigned v = 0; v < var_count(); ++v)
        m_proof_model_domains.push_back(m_assignment.var_domain_after_modification(v, NO_ENTRY));
}

unsigned solver::model_constraint_count() const {
    return m_proof_model_pending ? constraint_count() : m_proof_model_constraints;
}

const iset* solver::declared_domain(unsigned var) const {
    if (m_proof_model_pending)
        return var < var_count() ? &m_assignment.var_domain_after_modification(var, NO_ENTRY)
                                 : nullptr;
    return var < m_proof_model_domains.size() ? &m_proof_model_domains[var] : nullptr;
}

} // namespace qarn
