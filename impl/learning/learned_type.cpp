// The learned constraint: node bookkeeping, literal operations, relaxation,
// conversions, and the view of its nodes.
#include "impl/learning/learned_type.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <stdexcept>

#include "impl/engine/constraint_connectivity_info.h"
#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/learning/literal_data.h"
#include "impl/propagators/clause_propagator.h"

namespace qarn {

namespace {

iset full_set() {
    return iset(MIN_DOMAIN, MAX_DOMAIN);
}


} // namespace

std::vector<iset> learned_type::m_literals_cache;
std::vector<learned_type::implication_node> learned_type::m_implication_nodes_cache;
std::vector<unsigned> learned_type::m_variable_to_literal_index_cache;
std::vector<std::pair<unsigned, unsigned>> learned_type::m_latest_heap_cache;

learned_type::learned_type(const assignment_stack& stack, const solver& owner)
    : m_stack(&stack),
      m_solver(&owner),
      m_nodes(std::move(m_implication_nodes_cache)),
      m_literals(std::move(m_literals_cache)),
      m_variable_to_node(std::move(m_variable_to_literal_index_cache)),
      m_current_level(stack.level_count()),
      m_latest_heap(std::move(m_latest_heap_cache)) {
    m_implication_nodes_cache.clear();
    m_latest_heap_cache.clear();
    m_latest_heap.clear();
    m_literals_cache.clear();
    m_variable_to_literal_index_cache.clear();
    m_nodes.clear();
    m_literals.clear();
    m_variable_to_node.assign(stack.var_count(), NO_NODE);
}

learned_type::~learned_type() {
    m_nodes.clear();
    m_literals.clear();
    m_implication_nodes_cache = std::move(m_nodes);
    m_literals_cache = std::move(m_literals);
    m_variable_to_literal_index_cache = std::move(m_variable_to_node);
    m_latest_heap.clear();
    m_latest_heap_cache = std::move(m_latest_heap);
}

// ---------------------------------------------------------------------------
// Bookkeeping

unsigned learned_type::node_of(unsigned variable) const {
    if (variable >= m_variable_to_node.size())
        return NO_NODE;
    unsigned k = m_variable_to_node[variable];
    if (k < m_nodes.size() && m_nodes[k].m_variable == variable)
        return k;
    return NO_NODE;
}

bool learned_type::at_current_level(unsigned entry) const {
    if (m_current_level == 0)
        return true;
    unsigned d = m_stack->decision_modification(m_current_level);
    return d == NO_ENTRY || (entry != NO_ENTRY && entry >= d);
}

bool learned_type::set_entry(unsigned k, unsigned entry) {
    implication_node& node = m_nodes.at(k);
    if (node.m_modification == entry)
        return false;
    if (at_current_level(node.m_modification))
        --m_level_count;
    node.m_modification = entry;
    note_entry(node.m_variable, entry);
    if (at_current_level(entry))
        ++m_level_count;
    m_explained = false;
    return true;
}

void learned_type::compute_level() {
    unsigned latest = NO_ENTRY;
    for (const implication_node& node : m_nodes)
        if (node.m_modification != NO_ENTRY && (latest == NO_ENTRY || node.m_modification > latest))
            latest = node.m_modification;
    m_current_level = m_stack->decision_level_of(latest);
    m_level_count = 0;
    for (const implication_node& node : m_nodes)
        if (at_current_level(node.m_modification))
            ++m_level_count;
}

void learned_type::clear() {
    for (const implication_node& node : m_nodes)
        m_variable_to_node.at(node.m_variable) = NO_NODE;
    m_owned.reset();
    m_general = nullptr;
    m_nodes.clear();
    m_latest_stale = true;
    m_literals.clear();
    m_explained = false;
    m_level_count = 0;
}

bool learned_type::general_is_clause() const {
    return dynamic_cast<const clause_propagator*>(m_general) != nullptr;
}

void learned_type::remove_empty_literals() {
    unsigned kept = 0;
    for (unsigned k = 0; k < m_nodes.size(); ++k) {
        if (k < m_literals.size() && m_literals[k].empty()) {
            if (m_variable_to_node.at(m_nodes[k].m_variable) == k)
                m_variable_to_node[m_nodes[k].m_variable] = NO_NODE;
            continue;
        }
        if (kept != k) {
            m_nodes[kept] = m_nodes[k];
            if (k < m_literals.size())
                m_literals[kept] = std::move(m_literals[k]);
        }
        m_variable_to_node.at(m_nodes[kept].m_variable) = kept;
        ++kept;
    }
    m_nodes.resize(kept);
    if (m_literals.size() > kept)
        m_literals.resize(kept);
}

// ---------------------------------------------------------------------------
// Construction and filling

void learned_type::construct_from(const constraint_connectivity_info& record,
                                  const constraint_propagator& propagator,
                                  const std::vector<iset>& explanation, unsigned entry) {
    const unsigned conflicts = record.conflict_count();
    const unsigned threshold = m_solver->m_effort_boost_after;
    m_effort = conflicts > threshold ? conflicts - threshold : 0;
    m_literals.clear();
    if (&propagator != m_owned.get())
        m_owned.reset();
    m_general = &propagator;
    m_explained = false;
    construct_nodes_and_explanation(record, explanation, entry);
}

void learned_type::construct_nodes_and_explanation(const constraint_connectivity_info& record,
                                                   const std::vector<iset>& explanation,
                                                   unsigned entry) {
    m_nodes.clear();
    for (unsigned variable : record.variables())
        m_nodes.push_back(implication_node{NO_ENTRY, variable});
    construct_from_variables(explanation, entry);
    if (m_solver->m_relax_cause)
        relax_cause();
    relax_if_required();
}

void learned_type::construct_from_variables(const std::vector<iset>& literals, unsigned entry) {
    m_latest_stale = true;
    m_literals = literals;
    for (unsigned k = 0; k < m_nodes.size(); ++k) {
        implication_node& node = m_nodes[k];
        m_variable_to_node.at(node.m_variable) = k;
        // Entry NO_ENTRY means "before everything": no change qualifies.
        const unsigned latest = m_stack->latest_modification(node.m_variable);
        unsigned e;
        if (entry != NO_ENTRY && (latest == NO_ENTRY || latest < entry))
            e = latest;
        else
            e = m_stack->var_modification_entry_before(node.m_variable, entry);
        if (node.m_modification != e) {
            node.m_modification = e;
            m_explained = false;
        }
    }
    if (literals.empty())
        update_explanation();
    for (unsigned k = 0; k < m_nodes.size() && k < m_literals.size(); ++k)
        if (m_literals[k].empty() && m_nodes[k].m_modification != NO_ENTRY) {
            m_nodes[k].m_modification = NO_ENTRY;
            m_explained = false;
        }
    compute_level();
}

void learned_type::update_explanation() {
    if (!m_general || (!m_literals.empty() && m_explained))
        return;
    update_explanation(view(AFTER_LAST_ENTRY, m_solver->m_check_domain_ages));
}

void learned_type::update_explanation(const info_type& view) {
    if (!m_general || (!m_literals.empty() && m_explained))
        return;
    // A clause's explanation is the clause itself, whatever the entries.
    if (general_is_clause() && !m_literals.empty())
        return;
    const bool report = m_solver->m_report_level >= 2;
    std::vector<iset> old;
    if (report)
        old.swap(m_literals);
    m_literals.clear();
    m_general->explain_propagation(0, full_set(), iset(), view, m_literals);
    m_explained = true;
    if (report && !same_set_lists(old, m_literals))
        m_solver->report_explanation(std::cout, view, m_literals);
}

// ---------------------------------------------------------------------------
// Literal operations

void learned_type::insert_literal(const iset& values, unsigned variable, unsigned entry) {
    unsigned k = node_of(variable);
    if (k == NO_NODE) {
        k = static_cast<unsigned>(m_nodes.size());
        m_nodes.push_back(implication_node{entry, variable});
        note_entry(variable, entry);
        m_literals.resize(k);
        m_literals.push_back(values);
        m_variable_to_node.at(variable) = k;
        m_explained = false;
        if (at_current_level(entry))
            ++m_level_count;
        return;
    }
    m_literals.at(k).insert_all_of(values);
    // NO_ENTRY is earlier than every real entry.
    if (assignment_stack::is_earlier_modification(m_nodes[k].m_modification, entry))
        set_entry(k, entry);
}

bool learned_type::intersect_literal(const iset& values, unsigned variable, unsigned entry) {
    const unsigned k = node_of(variable);
    if (k == NO_NODE)
        return false;
    iset& literal = m_literals.at(k);
    literal.intersect(values);
    if (literal.empty()) {
        erase_literal(k);
        return false;
    }
    set_entry(k, entry);
    return true;
}

void learned_type::erase_literal(unsigned k) {
    const implication_node node = m_nodes.at(k);
    if (at_current_level(node.m_modification))
        --m_level_count;
    const unsigned last = static_cast<unsigned>(m_nodes.size()) - 1;
    if (k != last) {
        m_nodes[k] = m_nodes[last];
        if (last < m_literals.size())
            m_literals[k] = std::move(m_literals[last]);
        m_variable_to_node.at(m_nodes[k].m_variable) = k;
    }
    m_variable_to_node.at(node.m_variable) = NO_NODE;
    m_nodes.pop_back();
    if (m_literals.size() > m_nodes.size())
        m_literals.resize(m_nodes.size());
}

// ---------------------------------------------------------------------------
// Queries

void learned_type::push_latest(unsigned entry, unsigned variable) const {
    m_latest_heap.emplace_back(entry, variable);
    std::push_heap(m_latest_heap.begin(), m_latest_heap.end());
}

// Real entries are distinct across nodes (each is a change of its own
// node's variable), so the heap's top among the current pairs is the scan's
// answer; without a real entry the scan answers the first node.
unsigned learned_type::latest_node_index(unsigned excluded) const {
    if (excluded != NO_NODE)
        return scan_latest_node_index(excluded);
    if (m_latest_stale) {
        m_latest_heap.clear();
        for (const implication_node& node : m_nodes)
            if (node.m_modification != NO_ENTRY)
                m_latest_heap.emplace_back(node.m_modification, node.m_variable);
        std::make_heap(m_latest_heap.begin(), m_latest_heap.end());
        m_latest_stale = false;
    }
    while (!m_latest_heap.empty()) {
        const std::pair<unsigned, unsigned> top = m_latest_heap.front();
        const unsigned k = node_of(top.second);
        if (k != NO_NODE && m_nodes[k].m_modification == top.first) {
            assert(k == scan_latest_node_index(NO_NODE));
            return k;
        }
        std::pop_heap(m_latest_heap.begin(), m_latest_heap.end());
        m_latest_heap.pop_back();
    }
    assert(scan_latest_node_index(NO_NODE) == (m_nodes.empty() ? NO_NODE : 0u));
    return m_nodes.empty() ? NO_NODE : 0;
}

unsigned learned_type::scan_latest_node_index(unsigned excluded) const {
    unsigned best = NO_NODE;
    unsigned best_entry = NO_ENTRY;
    for (unsigned k = 0; k < m_nodes.size(); ++k) {
        if (k == excluded)
            continue;
        unsigned e = m_nodes[k].m_modification;
        if (e == NO_ENTRY) {
            if (best == NO_NODE)
                best = k;
            continue;
        }
        if (best_entry == NO_ENTRY || e > best_entry) {
            best = k;
            best_entry = e;
        }
    }
    return best;
}

bool learned_type::conflict_analysis_complete() {
    if (m_current_level != 0)
        return m_level_count == 1;
    if (m_nodes.empty())
        return true;
    if (m_nodes[latest_node_index(NO_NODE)].m_modification != NO_ENTRY)
        return false;
    // Nothing depends on the trail: the constraint holds no information
    // beyond the ground domains and is dropped when those are used.
    if (m_solver->m_intersect_with_ground)
        clear();
    return true;
}

unsigned learned_type::asserting_level() const {
    if (m_nodes.empty())
        return NO_LEVEL;
    const unsigned last = static_cast<unsigned>(m_nodes.size()) - 1;
    if (!m_general)
        return m_stack->asserting_level_of_nth(last, m_nodes, m_literals);
    const unsigned a = m_stack->asserting_level_of_nth(last, m_nodes, possibly_crippling_values());
    if (static_cast<int>(a) <= 0)
        return a;
    // The level found from the sets may be too high for the constraint: try
    // it on the node domains as they stood before each level was opened.
    std::unique_ptr<constraint_propagator> clone = m_general->clone();
    for (unsigned b = a; b >= 1; --b) {
        info_type before(view(m_stack->decision_modification(b) - 1));
        const bool holds = clone->init(before) && clone->propagate(before) != propagation_types::UNSAT;
        clone->forget_watches();
        if (holds)
            return b;
    }
    return 0;
}

unsigned learned_type::opportunistic_level() const {
    if (m_nodes.empty())
        return NO_LEVEL;
    const unsigned n = static_cast<unsigned>(m_nodes.size()) - 2;
    if (!m_general)
        return m_stack->asserting_level_of_nth(n, m_nodes, m_literals);
    return m_stack->asserting_level_of_nth(n, m_nodes, possibly_crippling_values());
}

bool learned_type::literals_false(const info_type& v) const {
    for (unsigned k = 0; k < m_literals.size(); ++k)
        if (m_literals[k].contains_any_of(v.domain(k)))
            return false;
    return true;
}

bool learned_type::conflicts() const {
    info_type v(view());
    if (m_general)
        return m_general->conflicts(v);
    return literals_false(v);
}

bool learned_type::explanation_conflicts() const {
    return literals_false(view());
}

std::vector<iset> learned_type::possibly_crippling_values() const {
    if (!m_general)
        return m_literals;
    std::vector<iset> out;
    m_general->possibly_crippling_values(0, iset(), view(), out);
    // The generator leaves out the trailing parameters it does not restrict.
    // Here they are padded with empty sets, read as literals that never
    // hold: such a node counts as false since its variable's first change,
    // so it never raises the asserting level computed from these sets (the
    // trial in asserting_level then checks the level found).
    if (out.size() < m_nodes.size())
        out.resize(m_nodes.size());
    return out;
}

void learned_type::add_vars_potentially_falsifying(std::vector<unsigned>& vars) const {
    if (!m_general) {
        for (unsigned k = 0; k < m_nodes.size() && k < m_literals.size(); ++k) {
            const unsigned variable = m_nodes[k].m_variable;
            if (m_literals[k].contains_any_of(m_stack->var_domain_end_level(variable, 0)))
                vars.push_back(variable);
        }
        return;
    }
    info_type v(view());
    constraint_aged_info ground(v, *m_stack, m_stack->decision_modification(1),
                                constraint_aged_info::USE_UNDERLYING_EFFORT);
    for (unsigned k = 0; k < m_nodes.size(); ++k)
        if (m_general->potentially_falsifying(ground, k))
            vars.push_back(m_nodes[k].m_variable);
}

void learned_type::print(std::ostream& os) const {
    if (m_general) {
        info_type v(view());
        m_general->print(os, &v);
        return;
    }
    os << '[';
    for (unsigned k = 0; k < m_literals.size(); ++k) {
        if (k)
            os << ", ";
        unsigned variable = k < m_nodes.size() ? m_nodes[k].m_variable : NO_VARIABLE;
        literal_data::print(os, variable_printer{&m_stack->print_strategy(), variable},
                            m_literals[k]);
    }
    os << ']';
}

void learned_type::show_self() const {
    print(std::cout);
    std::cout << '\n' << std::flush;
}

void learned_type::validate() const {
    if (m_general) {
        const unsigned params = m_general->count_params();
        if (params != ANY_PARAM_COUNT && params != m_nodes.size())
            throw std::runtime_error(
                "validate(): num of constraint params and implication nodes mismatch");
    }
    if (!m_literals.empty() && m_literals.size() != m_nodes.size())
        throw std::runtime_error("validate(): literals,implication_nodes diff size");
    for (unsigned k = 0; k < m_nodes.size(); ++k)
        if (m_variable_to_node.at(m_nodes[k].m_variable) != k)
            throw std::runtime_error("validate(): inconsistent variable() and variable_to_pos()");
}

// ---------------------------------------------------------------------------
// Relaxation

bool learned_type::relax(unsigned k, const iset& literal) {
    const bool changed = set_entry(k, m_stack->relax(m_nodes.at(k).m_modification, literal));
    if (m_level_count == 0)
        compute_level();
    return changed;
}

bool learned_type::relax_level(unsigned k, const iset& literal) {
    if (m_current_level == 0 || !at_current_level(m_nodes.at(k).m_modification))
        return false;
    const unsigned d = m_stack->decision_modification(m_current_level);
    const bool changed = set_entry(k, m_stack->relax_before(m_nodes[k].m_modification, literal, d));
    if (m_level_count == 0)
        compute_level();
    return changed;
}

bool learned_type::relax_level_all() {
    if (m_level_count == 0)
        return false;
    update_explanation();
    bool changed = false;
    unsigned level;
    do {
        level = m_current_level;
        for (unsigned k = 0; k < m_nodes.size() && m_level_count != 0; ++k)
            changed = relax_level(k, m_literals.at(k)) || changed;
    } while (m_current_level != level);
    return changed;
}

bool learned_type::relax_all() {
    if (m_level_count == 0)
        return false;
    update_explanation();
    bool changed = false;
    for (;;) {
        bool pass_changed = false;
        for (unsigned k = 0; k < m_nodes.size(); ++k) {
            const unsigned e = m_stack->relax(m_nodes[k].m_modification, m_literals.at(k));
            pass_changed = set_entry(k, e) || pass_changed;
            if (m_level_count == 0) {
                compute_level();
                if (m_level_count == 0)
                    break;
            }
        }
        changed = changed || pass_changed;
        // Relaxing a clause cannot change its literals: one pass suffices.
        // A general constraint's explanation follows the entries, so it is
        // recomputed and the pass repeated until nothing moves.
        if (!m_general || !pass_changed)
            break;
        update_explanation();
        if (m_nodes.empty() || m_level_count == 0)
            break;
    }
    return changed;
}

bool learned_type::relax_cause_for_clause(const std::vector<iset>& literals) {
    bool result = false;
    unsigned previous = NO_NODE;
    unsigned k = latest_node_index(NO_NODE);
    while (k != previous) {
        if (!relax(k, literals.at(k)))
            return result;
        result = true;
        previous = k;
        k = latest_node_index(NO_NODE);
    }
    return result;
}

bool learned_type::relax_cause() {
    if (m_level_count == 0)
        return false;
    if (!m_general)
        return relax_cause_for_clause(m_literals);
    bool r = false;
    if (!m_literals.empty() && explanation_conflicts())
        r = relax_cause_for_clause(m_literals);
    if (m_current_level == 0)
        return r;
    std::unique_ptr<constraint_propagator> clone = m_general->clone();
    bool relaxed = false;
    {
        // t: the last entry before level 1; nodes after it are probed with
        // their ground domains.
        const unsigned t = m_stack->decision_modification(1) - 1;
        info_type current(view());
        info_type ground(view(t));
        std::vector<const iset*> domains(m_nodes.size(), nullptr);
        for (unsigned k = 0; k < m_nodes.size(); ++k) {
            const unsigned e = m_nodes[k].m_modification;
            if (e == NO_ENTRY || (t != NO_ENTRY && e <= t))
                continue;
            domains[k] = &ground.domain(k);
            current.set_domain(k, *domains[k]);
        }
        relaxed = clone->init(current) && relax_cause_for_constraint(*clone, current, domains);
        clone->forget_watches();
    }
    if (!relaxed)
        return r;
    if (!m_literals.empty() && !explanation_conflicts())
        m_literals.clear();
    return true;
}

bool learned_type::relax_cause_for_constraint(constraint_propagator& clone, info_type& view,
                                              const std::vector<const iset*>& domains) {
    bool result = false;
    unsigned previous = NO_NODE;
    while (m_current_level != 0) {
        const unsigned k = latest_node_index(NO_NODE);
        if (k == previous)
            return true;
        if (k == NO_NODE || k >= domains.size() || !domains[k])
            return result;
        // Only node k takes its ground domain; does the constraint still fail?
        view.drop_overrides();
        view.set_domain(k, *domains[k]);
        if (clone.propagate(view) == propagation_types::UNSAT) {
            // Node k does not matter for the conflict above level 0.
            const unsigned ground = m_stack->var_modification_entry_before(
                m_nodes[k].m_variable, m_stack->decision_modification(1));
            set_entry(k, ground);
            if (m_level_count == 0)
                compute_level();
            result = true;
            previous = k;
            continue;
        }
        const iset needed = view.domain(k);
        previous = k;
        if (!relax(k, needed))
            return result;
        result = true;
    }
    return result;
}

bool learned_type::relax_if_required() {
    const int mode = m_solver->m_literal_relaxation;
    if (m_current_level == 0) {
        if (mode == 1)
            return relax_level_all();
        if (mode == 2)
            return relax_all();
        return false;
    }
    bool r = false;
    if (m_level_count == 1 && m_general)
        r = relax_cause();
    // While the constraint already failed before its level was opened, move
    // every node there.
    while (m_current_level != 0 && m_level_count == 1 && m_general) {
        const unsigned e = m_stack->decision_modification(m_current_level) - 1;
        bool failed;
        {
            info_type v(view());
            constraint_aged_info before(v, *m_stack, e, 0);
            failed = m_general->conflicts(before);
        }
        if (!failed)
            break;
        construct_from_variables(std::vector<iset>(), e);
        if (m_solver->m_relax_cause || (m_current_level != 0 && m_level_count == 1))
            r = relax_cause() || r;
    }
    if (mode == 1)
        return relax_level_all() || r;
    if (mode == 2)
        return relax_all() || r;
    return r;
}

// ---------------------------------------------------------------------------
// Conversion and ground intersection

void learned_type::convert_to_clause() {
    if (!m_general)
        return;
    if (m_literals.empty())
        update_explanation();
    m_owned.reset();
    m_general = nullptr;
    remove_empty_literals();
    compute_level();
}

void learned_type::convert_to_constraint() {
    if (m_general)
        throw std::runtime_error("convert_to_constraint(): already a constraint");
    auto clause = std::make_unique<clause_propagator>();
    clause->update_literals() = m_literals;
    std::vector<iset> kept;
    kept.swap(m_literals);
    update_constraint(clause.release());
    m_literals.swap(kept);
}

void learned_type::update_constraint(constraint_propagator* p) {
    if (m_owned.get() != p)
        m_owned.reset(p);
    m_general = p;
    m_explained = false;
    m_literals.clear();
}

void learned_type::intersect_with_ground() {
    if (m_general) {
        intersect_general_constraint_with_ground();
        return;
    }
    for (unsigned k = 0; k < m_nodes.size() && k < m_literals.size(); ++k)
        m_literals[k].intersect(m_stack->var_domain_end_level(m_nodes[k].m_variable, 0));
    remove_empty_literals();
}

void learned_type::intersect_general_constraint_with_ground() {
    std::vector<unsigned> params;
    std::unique_ptr<constraint_propagator> simpler;
    {
        info_type v(view());
        constraint_aged_info ground(v, *m_stack, m_stack->decision_modification(1),
                                    constraint_aged_info::USE_UNDERLYING_EFFORT);
        simpler = m_general->intersect_with(ground, params);
    }
    if (!simpler)
        return;
    if (params.size() > m_nodes.size())
        throw std::runtime_error("constraint::intersect_with returns too many arguments");
    std::vector<implication_node> kept;
    kept.reserve(params.size());
    for (unsigned p : params)
        kept.push_back(m_nodes.at(p));
    m_owned = std::move(simpler);
    m_general = m_owned.get();
    m_explained = false;
    m_literals.clear();
    // An empty list is a constraint without parameters (every one was ground):
    // keeping the nodes would feed it variables it does not expect.
    for (const implication_node& node : m_nodes)
        m_variable_to_node.at(node.m_variable) = NO_NODE;
    m_nodes.assign(kept.begin(), kept.end());
    for (unsigned k = 0; k < m_nodes.size(); ++k)
        m_variable_to_node.at(m_nodes[k].m_variable) = k;
}

// ---------------------------------------------------------------------------
// The view of the nodes

bool learned_type::info_type::reduced_between_activations(unsigned param) const {
    if (!m_reduction_tracking)
        return true;
    return param < m_overridden.size() && m_overridden[param];
}

constraint_runtime_info::queue_type learned_type::info_type::originating_queue() const {
    return VARIABLE_QUEUE;
}

void learned_type::info_type::put_in_queue(queue_type) {}

unsigned learned_type::info_type::variable(unsigned param) const {
    return m_learned->m_nodes.at(param).m_variable;
}

const iset& learned_type::info_type::domain(unsigned param) const {
    if (param < m_overridden.size() && m_overridden[param])
        return m_overriding[param];
    const implication_node& node = m_learned->m_nodes.at(param);
    const assignment_stack& stack = *m_learned->m_stack;
    unsigned e = node.m_modification;
    if (e == NO_ENTRY)
        return stack.var_domain_after_modification(node.m_variable, NO_ENTRY);
    if (m_time != NO_ENTRY && m_time >= e)
        return stack.var_domain_after_modification(node.m_variable, e);
    return stack.var_domain_after_modification(node.m_variable, m_time);
}

void learned_type::info_type::set_domain(unsigned param, iset domain) {
    const iset& current = this->domain(param);
    if (same_subset(current, domain))
        return;
    if (m_overridden.size() < arity()) {
        m_overridden.resize(arity(), false);
        m_overriding.resize(arity());
    }
    m_overriding.at(param) = std::move(domain);
    m_overridden[param] = true;
}

unsigned learned_type::info_type::arity() const {
    return static_cast<unsigned>(m_learned->m_nodes.size());
}

unsigned learned_type::info_type::latest_modified_param(unsigned param) const {
    if (!m_latest_tracking)
        return NO_PARAM;
    return m_learned->latest_node_index(param);
}

unsigned learned_type::info_type::effort() const {
    return m_effort;
}

void learned_type::info_type::print(std::ostream& os) const {
    print_params(os, ", ");
}

void learned_type::info_type::print_param(std::ostream& os, unsigned param) const {
    m_learned->m_stack->print_var_name(os, variable(param));
}

} // namespace qarn
