// The proof collectors: one that records nothing, and one that records every
// derivation and walks it back from the final conflict for its visitors (the
// printer and the checker here, the interpolant builder elsewhere).
#include "impl/learning/proof_collector.h"

#include <algorithm>

#include "impl/engine/solver.h"
#include "impl/support/errors.h"

namespace qarn {

bool proof_collector_dummy::want_proof() const {
    return false;
}

void proof_collector_dummy::name_conflict_clause(unsigned) {}

// The rule is destroyed on return.
void proof_collector_dummy::record_conflict(unsigned, const std::vector<iset>&,
                                            std::unique_ptr<explanation_rule>) {}

void proof_collector_dummy::record_resolution(unsigned, const std::vector<iset>&, int,
                                              std::unique_ptr<explanation_rule>) {}

void proof_collector_dummy::pop_resolution_entry() {}

void proof_collector_dummy::save_clause(unsigned, const clause_data&) {}

void proof_collector_dummy::prepare_to_print() {}

void proof_collector_dummy::print_proof(std::ostream&) const {
    throw_runtime_error("solver::generate_proofs() was not called, no proof available");
}

void proof_collector_dummy::traverse_proof(proof_visitor&) const {}

} // namespace qarn

// ---------------------------------------------------------------------------
// The recording collector

namespace qarn {

proof_collector::proof_collector(const solver& owner) : m_solver(owner) {}

bool proof_collector::want_proof() const {
    return true;
}

void proof_collector::name_conflict_clause(unsigned constraint) {
    if (m_conflict_names.empty())
        m_first_name = constraint;
    m_conflict_names.push_back(m_conflict_start);
}

void proof_collector::append_entry(unsigned constraint, const std::vector<iset>& sets,
                                   unsigned variable, std::unique_ptr<explanation_rule> rule) {
    if (m_solver.is_clause(constraint)) {
        m_entries.push_back({static_cast<int>(constraint), variable});
        return;
    }
    explanation_record record{constraint, std::move(rule), {}};
    if (!record.rule)
        record.sets = sets;
    m_explanations.push_back(std::move(record));
    m_entries.push_back({~static_cast<int>(m_explanations.size() - 1), variable});
}

void proof_collector::record_conflict(unsigned constraint, const std::vector<iset>& sets,
                                      std::unique_ptr<explanation_rule> rule) {
    m_conflict_start = static_cast<unsigned>(m_entries.size());
    append_entry(constraint, sets, NO_VARIABLE, std::move(rule));
}

void proof_collector::record_resolution(unsigned constraint, const std::vector<iset>& sets,
                                        int variable, std::unique_ptr<explanation_rule> rule) {
    append_entry(constraint, sets, static_cast<unsigned>(variable), std::move(rule));
}

void proof_collector::pop_resolution_entry() {
    if (m_entries.empty())
        return;
    const int id = m_entries.back().id;
    m_entries.pop_back();
    if (id < 0 && static_cast<unsigned>(~id) + 1 == m_explanations.size())
        m_explanations.pop_back();
}

void proof_collector::save_clause(unsigned id, const clause_data& clause) {
    // A learned clause never changes: one copy per id serves every walk
    // (live prerequisites are offered again at every erasure).
    if (id >= m_saved_ids.size())
        m_saved_ids.resize(id + 1, false);
    if (m_saved_ids[id])
        return;
    m_saved_ids[id] = true;
    m_saved_clauses.push_back({id, clause});
}

void proof_collector::prepare_to_print() {
    // Clauses saved under one id are ordered by their variables; the sets
    // (which may hold billions of values) are not compared.
    auto variable_less = [](const literal_data& a, const literal_data& b) {
        return a.variable < b.variable;
    };
    std::stable_sort(m_saved_clauses.begin(), m_saved_clauses.end(),
                     [&](const saved_clause& a, const saved_clause& b) {
                         if (a.id != b.id)
                             return a.id < b.id;
                         return std::lexicographical_compare(a.clause.begin(), a.clause.end(),
                                                             b.clause.begin(), b.clause.end(),
                                                             variable_less);
                     });
}

const clause_data* proof_collector::find_saved_clause(unsigned id) const {
    auto it = std::lower_bound(m_saved_clauses.begin(), m_saved_clauses.end(), id,
                               [](const saved_clause& s, unsigned key) { return s.id < key; });
    return it != m_saved_clauses.end() && it->id == id ? &it->clause : nullptr;
}

bool proof_collector::is_explanation_clause(int id) const {
    return static_cast<unsigned>(~id) < m_explanations.size();
}

const proof_collector::explanation_record& proof_collector::get_explanation_data(int id) const {
    return m_explanations.at(static_cast<unsigned>(~id));
}

unsigned proof_collector::get_constraint_explained_by(int id) const {
    return get_explanation_data(id).constraint;
}

void proof_collector::get_solver_clause(unsigned c, clause_data& out) const {
    out.clear();
    if (!m_solver.propagator(c)) {
        // An erased learned clause: its copy was saved before the erasure.
        const clause_data* saved = find_saved_clause(c);
        if (!saved)
            throw_runtime_error("Can't find this constraint_it");
        out = *saved;
        return;
    }
    if (!m_solver.is_clause(c))
        throw_runtime_error("proof_collector::get_solver_clause(): not a clause");
    const std::vector<iset>& literals = m_solver.clause_literals(c);
    const constraint_connectivity_info& record = m_solver.record(c);
    out.reserve(literals.size());
    for (unsigned i = 0; i < literals.size(); ++i)
        out.emplace_back(record.variable(i), literals[i]);
}

void proof_collector::get_constraint_variables(unsigned c, clause_data& out) const {
    out.clear();
    if (m_solver.propagator(c)) {
        for (unsigned v : m_solver.record(c).variables())
            out.emplace_back(v, iset());
        return;
    }
    const clause_data* saved = find_saved_clause(c);
    if (!saved)
        throw_runtime_error("Can't find this constraint_it");
    for (const literal_data& literal : *saved)
        out.emplace_back(literal.variable, iset());
}

void proof_collector::get_clause(int id, clause_data& out) const {
    if (id >= 0) {
        get_solver_clause(static_cast<unsigned>(id), out);
        return;
    }
    if (!is_explanation_clause(id))
        throw_runtime_error(
            "proof_collector::get_clause(): non-explanation intermediate constraints are not "
            "supported");
    const explanation_record& record = get_explanation_data(id);
    get_constraint_variables(record.constraint, out);
    const std::vector<iset>* sets = &record.sets;
    std::vector<iset> derived;
    if (record.rule) {
        record.rule->get_explanation(derived);
        sets = &derived;
    }
    const std::size_t n = std::min(out.size(), sets->size());
    for (std::size_t i = 0; i < n; ++i)
        out[i].values = (*sets)[i];
    // Empty literals go; the last literal fills the gap.
    for (std::size_t i = out.size(); i-- > 0;) {
        if (!out[i].values.empty())
            continue;
        if (i + 1 != out.size())
            out[i] = std::move(out.back());
        out.pop_back();
    }
}

void proof_collector::resolve(const clause_data& c1, const clause_data& c2, unsigned v,
                              clause_data& out) {
    iset a, b;
    out.clear();
    out.reserve(c1.size() + c2.size());
    for (const literal_data& literal : c1) {
        if (literal.variable == v)
            a.insert_all_of(literal.values);
        else
            out.push_back(literal);
    }
    for (const literal_data& literal : c2) {
        if (literal.variable == v)
            b.insert_all_of(literal.values);
        else
            out.push_back(literal);
    }
    out.canonicalize();
    a.intersect(b);
    if (!a.empty())
        out.emplace_back(v, std::move(a));
}

void proof_collector::derivation_range(unsigned name, std::size_t& begin, std::size_t& end) const {
    begin = m_conflict_names.at(name - m_first_name);
    end = begin + 1;
    while (end < m_entries.size() && m_entries[end].variable != NO_VARIABLE)
        ++end;
}

int proof_collector::resolved_id(int id) const {
    // A learned clause whose derivation has no step is the clause of its
    // conflict: the walk names that clause in its place, so a checker
    // compares the two and an interpolant takes the conflict's side.
    const unsigned names = static_cast<unsigned>(m_conflict_names.size());
    while (id >= 0 && static_cast<unsigned>(id) >= m_first_name &&
           static_cast<unsigned>(id) - m_first_name < names) {
        std::size_t begin = 0, end = 0;
        derivation_range(static_cast<unsigned>(id), begin, end);
        if (end != begin + 1 || m_entries[begin].id == id)
            break;
        id = m_entries[begin].id;
    }
    return id;
}

void proof_collector::visit_derivation(unsigned name, bool root, int& fresh,
                                       proof_visitor& visitor) const {
    std::size_t begin = 0, end = 0;
    derivation_range(name, begin, end);
    int current_id = resolved_id(m_entries[begin].id);
    clause_data current, other, resolvent;
    if (is_explanation_clause(current_id))
        visitor.visit_explanation(current_id);
    get_clause(m_entries[begin].id, current);
    for (std::size_t i = begin + 1; i < end; ++i) {
        const resolution_entry& entry = m_entries[i];
        const int id = resolved_id(entry.id);
        const int new_id = i + 1 < end ? fresh-- : static_cast<int>(name);
        if (is_explanation_clause(id))
            visitor.visit_explanation(id);
        get_clause(entry.id, other);
        resolve(current, other, entry.variable, resolvent);
        visitor.visit_resolution(entry.variable, current_id, current, id, other, new_id,
                                 resolvent);
        current.swap(resolvent);
        current_id = new_id;
    }
    if (!root)
        return;
    // The final clause is false on the initial domains: resolving each of
    // its literals away with its variable's initial domain leaves [].
    const assignment_stack& stack = m_solver.assignment();
    while (!current.empty()) {
        const unsigned v = current.back().variable;
        const int new_id = fresh--;
        resolvent.assign(current.begin(), current.end() - 1);
        visitor.visit_initial_resolution(v, stack.var_domain_after_modification(v, NO_ENTRY),
                                         current_id, current, new_id, resolvent);
        current.swap(resolvent);
        current_id = new_id;
    }
}

void proof_collector::traverse_proof(proof_visitor& visitor) const {
    if (m_entries.empty() || m_conflict_names.empty())
        throw_runtime_error("No unsatisfiability record available");
    const unsigned names = static_cast<unsigned>(m_conflict_names.size());
    const unsigned root = m_first_name + names - 1;
    std::vector<bool> visited(names, false);
    // A learned constraint (by name) and the next entry of its derivation
    // to look at; learned clauses used by a derivation are walked before it.
    struct pending {
        unsigned name;
        std::size_t next;
        std::size_t end;
    };
    std::vector<pending> stack;
    auto push = [&](unsigned name) {
        visited[name - m_first_name] = true;
        std::size_t begin = 0, end = 0;
        derivation_range(name, begin, end);
        stack.push_back({name, begin, end});
    };
    int fresh = -static_cast<int>(explanation_count()) - 1;
    push(root);
    while (!stack.empty()) {
        pending& top = stack.back();
        bool descended = false;
        while (top.next < top.end) {
            const int id = m_entries[top.next++].id;
            if (id >= 0 && static_cast<unsigned>(id) >= m_first_name &&
                static_cast<unsigned>(id) - m_first_name < names &&
                !visited[static_cast<unsigned>(id) - m_first_name]) {
                push(static_cast<unsigned>(id));
                descended = true;
                break;
            }
        }
        if (descended)
            continue;
        const unsigned name = top.name;
        stack.pop_back();
        visit_derivation(name, name == root, fresh, visitor);
    }
}

void proof_collector::print_proof(std::ostream& os) const {
    proof_print_visitor printer(os, *this);
    traverse_proof(printer);
}

void proof_collector::print_explanation(std::ostream& os, int id) const {
    proof_print_visitor printer(os, *this);
    printer.visit_explanation(id);
}

// ---------------------------------------------------------------------------
// Printing

proof_print_visitor::proof_print_visitor(std::ostream& os, const proof_collector& collector)
    : m_os(os), m_collector(collector) {}

void proof_print_visitor::print_clause(int id, const clause_data& clause) {
    m_os << '[' << id << "] ";
    clause.print(m_os, m_collector.owner().assignment().print_strategy());
}

void proof_print_visitor::print_variable(unsigned variable) {
    m_os << variable_printer{&m_collector.owner().assignment().print_strategy(), variable};
}

void proof_print_visitor::visit_explanation(int id) {
    const solver& s = m_collector.owner();
    const proof_collector::explanation_record& record = m_collector.get_explanation_data(id);
    if (record.rule) {
        std::vector<unsigned> vars;
        s.get_constraint_variables(record.constraint, vars);
        m_os << "rule ";
        record.rule->print(m_os, s.assignment().print_strategy(), vars);
        m_os << ": ";
    }
    s.print_constraint(m_os, record.constraint);
    m_os << "\nconsequent: ";
    clause_data clause;
    m_collector.get_clause(id, clause);
    print_clause(id, clause);
    m_os << "\n\n";
}

void proof_print_visitor::visit_resolution(unsigned variable, int id1, const clause_data& clause1,
                                           int id2, const clause_data& clause2, int id3,
                                           const clause_data& resolvent) {
    m_os << "resolve[";
    print_variable(variable);
    m_os << "] ";
    print_clause(id1, clause1);
    m_os << " with ";
    print_clause(id2, clause2);
    m_os << "\nconsequent: ";
    print_clause(id3, resolvent);
    m_os << "\n\n";
}

void proof_print_visitor::visit_initial_resolution(unsigned variable, const iset& initial_domain,
                                                   int id1, const clause_data& clause1, int id2,
                                                   const clause_data& resolvent) {
    m_os << "resolve[";
    print_variable(variable);
    m_os << "] ";
    print_clause(id1, clause1);
    m_os << " with initial domain (";
    print_variable(variable);
    if (initial_domain.size() == 1)
        m_os << '=' << initial_domain;
    else
        m_os << ":{" << initial_domain << '}';
    m_os << ")\nconsequent: ";
    print_clause(id2, resolvent);
    m_os << "\n\n";
}

// ---------------------------------------------------------------------------
// Checking

proof_checker_visitor::proof_checker_visitor(const proof_collector& collector, std::ostream* os)
    : m_collector(collector), m_os(os) {}

std::ostream* proof_checker_visitor::fail() {
    m_ok = false;
    return m_os;
}

void proof_checker_visitor::remember_clause(int id, const clause_data& clause, bool operand) {
    auto it = m_clauses.find(id);
    if (it != m_clauses.end()) {
        if (!clause.equivalent(it->second))
            if (std::ostream* os = fail())
                *os << "clause[" << id << "] " << "has different literals than previously\n";
        return;
    }
    if (operand || m_collector.is_explanation_clause(id)) {
        clause_data actual;
        m_collector.get_clause(id, actual);
        if (!clause.equivalent(actual))
            if (std::ostream* os = fail())
                *os << "clause[" << id << "] " << "has different literals than passed by "
                    << "the proof algorithm\n";
    }
    m_clauses.emplace(id, clause);
}

void proof_checker_visitor::require_known(int id) {
    const unsigned model = m_collector.owner().model_constraint_count();
    if (m_collector.is_explanation_clause(id)) {
        const unsigned c = m_collector.get_constraint_explained_by(id);
        if (c >= model)
            if (std::ostream* os = fail())
                *os << "clause[" << id << "] explains constraint[" << c
                    << "], which is not a model constraint\n";
        return;
    }
    if ((id >= 0 && static_cast<unsigned>(id) < model) || m_derived.count(id) != 0)
        return;
    if (std::ostream* os = fail())
        *os << "clause[" << id << "] is neither a model constraint nor derived by an earlier "
            << "step\n";
}

void proof_checker_visitor::visit_explanation(int id) {
    clause_data clause;
    m_collector.get_clause(id, clause);
    m_clauses[id] = std::move(clause);
}

void proof_checker_visitor::visit_resolution(unsigned variable, int id1,
                                             const clause_data& clause1, int id2,
                                             const clause_data& clause2, int id3,
                                             const clause_data& resolvent) {
    require_known(id1);
    require_known(id2);
    remember_clause(id1, clause1, true);
    remember_clause(id2, clause2, true);
    remember_clause(id3, resolvent, false);
    m_derived.insert(id3);
    m_refuted = m_refuted || resolvent.empty();
    clause_data expected;
    proof_collector::resolve(clause1, clause2, variable, expected);
    if (!expected.equivalent(resolvent))
        if (std::ostream* os = fail())
            *os << "Resolution between clause[" << id1 << "] and clause[" << id2
                << "] gave wrong clause[" << id3 << "]\n";
    forget_used(id1);
    forget_used(id2);
}

void proof_checker_visitor::forget_used(int id) {
    // An intermediate resolvent and an explanation record each serve one
    // step of a walk; only learned clauses are met again.
    if (id < 0)
        m_clauses.erase(id);
}

void proof_checker_visitor::visit_initial_resolution(unsigned variable,
                                                     const iset& initial_domain, int id1,
                                                     const clause_data& clause1, int id2,
                                                     const clause_data& resolvent) {
    require_known(id1);
    remember_clause(id1, clause1, true);
    remember_clause(id2, resolvent, false);
    m_derived.insert(id2);
    m_refuted = m_refuted || resolvent.empty();
    iset met;
    clause_data rest;
    for (const literal_data& literal : clause1) {
        if (literal.variable != variable) {
            rest.push_back(literal);
            continue;
        }
        iset values(literal.values);
        values.intersect(initial_domain);
        met.insert_all_of(values);
    }
    const variable_printer name{&m_collector.owner().assignment().print_strategy(), variable};
    const iset* declared = m_collector.owner().declared_domain(variable);
    if (!declared || !initial_domain.contains_all_of(*declared))
        if (std::ostream* os = fail())
            *os << "Initial domain of " << name << " does not contain its declared domain\n";
    if (!met.empty())
        if (std::ostream* os = fail())
            *os << "Resolution of clause[" << id1 << "] with initial domain of " << name
                << " does not empty the domain\n";
    if (!rest.equivalent(resolvent))
        if (std::ostream* os = fail())
            *os << "Resolution of clause[" << id1 << "] with initial domain of " << name
                << " is different than passed clause[" << id2 << "]\n";
    forget_used(id1);
}

} // namespace qarn
