// Variables, trail and decision levels: model building, domain changes and
// their undoing, and the queries conflict analysis makes on the history.
#include "impl/engine/assignment_stack.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace qarn {

assignment_stack::assignment_stack()
    : m_cost_increment(1.0), m_cost_growth(24.0 / 23.0), m_print_strategy(this) {}

// ---------------------------------------------------------------------------
// Model building

unsigned assignment_stack::add_var(iset domain, const char* name, bool register_constant) {
    unsigned index = var_count();
    bool singleton = is_singleton(domain);
    int value = singleton ? domain.min() : 0;
    m_variables.emplace_back();
    m_variables.back().m_domain = std::move(domain);
    m_labels.push_back(0);
    m_names.emplace_back(name ? name : "");
    m_saved_values.emplace_back(singleton, value);
    if (singleton && register_constant)
        m_constants.emplace(value, index);
    return index;
}

unsigned assignment_stack::singleton_var(int c) {
    auto it = m_constants.find(c);
    if (it != m_constants.end())
        return it->second;
    std::string name = "the_constant_" + std::to_string(c);
    return add_var(iset(c), name.c_str(), true);
}

void assignment_stack::set_var_initial_domain(unsigned var, iset domain) {
    m_variables.at(var).m_domain = std::move(domain);
    complete_var_update(var);
}

void assignment_stack::complete_var_update(unsigned var) {
    const iset& d = m_variables.at(var).m_domain;
    if (is_singleton(d))
        m_saved_values.at(var) = std::make_pair(true, d.min());
}

void assignment_stack::construct_level0_domains() {
    m_level0_domains.reserve(m_variables.size());
    for (std::size_t v = m_level0_domains.size(); v < m_variables.size(); ++v)
        m_level0_domains.push_back(m_variables[v].m_domain);
}

// ---------------------------------------------------------------------------
// Changes during the search

void assignment_stack::set_var_domain(unsigned var, iset domain, std::uint64_t time, int cause) {
    variable_state& state = m_variables.at(var);
    // Checked before anything changes, so a refused change leaves no trace.
    if (m_trail.size() >= MAX_TRAIL_ENTRIES)
        throw std::overflow_error("Too many modification entries");
    if (m_levels.empty() && var < m_level0_domains.size())
        m_level0_domains[var] = domain;
    state.m_size_at_last_modification = state.m_domain.size();
    bool singleton = is_singleton(domain);
    if (singleton)
        state.m_stamp = time;
    m_trail.emplace_back(state.m_latest_modification, std::move(state.m_domain), time, var, cause);
    state.m_latest_modification = static_cast<unsigned>(m_trail.size() - 1);
    state.m_domain = std::move(domain);
    if (heap_holds(var)) {
        if (singleton)
            heap_move_down(var);
        else
            heap_move_up(var);
    }
}

void assignment_stack::open_level(unsigned decision_variable) {
    m_levels.push_back(single_decision_data{decision_variable, trail_size()});
}

void assignment_stack::restore_from_entry(variable_modification_entry& e) {
    variable_state& state = m_variables[e.m_variable];
    bool was_singleton = is_singleton(state.m_domain);
    state.m_domain = std::move(e.m_domain);
    state.m_latest_modification = e.m_previous;
    if (heap_holds(e.m_variable)) {
        if (was_singleton)
            heap_move_up(e.m_variable);
        else
            heap_move_down(e.m_variable);
    }
}

void assignment_stack::undo_level(unsigned level) {
    assert_level(level, "undo_level(level_to_forget)");
    unsigned first = m_levels[level - 1].m_first_modification;
    for (unsigned i = first; i < m_trail.size(); ++i) {
        variable_modification_entry& e = m_trail[i];
        variable_state& state = m_variables[e.m_variable];
        // Already restored by an earlier entry of this stretch.
        if (state.m_latest_modification == NO_ENTRY || state.m_latest_modification < i)
            continue;
        if (is_singleton(state.m_domain))
            m_saved_values[e.m_variable] = std::make_pair(true, state.m_domain.min());
        restore_from_entry(e);
    }
    m_trail.truncate(first);
    m_levels.resize(level - 1);
}

void assignment_stack::erase_conflicting_modifications(unsigned constraint) {
    while (!m_trail.empty() && m_trail.back().m_cause >= 0 &&
           static_cast<unsigned>(m_trail.back().m_cause) == constraint) {
        restore_from_entry(m_trail.back());
        m_trail.pop_back();
    }
}

void assignment_stack::clear() {
    m_level0_domains.clear();
    for (auto& saved : m_saved_values)
        saved = std::make_pair(false, 0);
    for (variable_state& state : m_variables) {
        if (state.m_latest_modification == NO_ENTRY)
            continue;
        unsigned e = state.m_latest_modification;
        while (m_trail[e].m_previous != NO_ENTRY)
            e = m_trail[e].m_previous;
        state.m_domain = std::move(m_trail[e].m_domain);
        state.m_latest_modification = NO_ENTRY;
    }
    for (unsigned v = 0; v < var_count(); ++v)
        complete_var_update(v);
    m_trail.truncate(0);
    m_levels.clear();
}

// ---------------------------------------------------------------------------
// Levels and history

void assignment_stack::throw_out_of_range(const char* context) {
    if (!context)
        throw std::out_of_range("Out of range");
    throw std::out_of_range(std::string("Out of range while calling ") + context);
}

void assignment_stack::assert_level(unsigned level, const char* context) const {
    if (level < 1 || level > m_levels.size())
        throw_out_of_range(context);
}

unsigned assignment_stack::decision_level_of(unsigned entry) const {
    if (entry == NO_ENTRY)
        return 0;
    for (unsigned level = level_count(); level > 0; --level) {
        unsigned first = m_levels[level - 1].m_first_modification;
        if (first == NO_ENTRY || first <= entry)
            return level;
    }
    return 0;
}

unsigned assignment_stack::decision_variable(unsigned level) const {
    assert_level(level, "decision_variable(level)");
    return m_levels[level - 1].m_variable;
}

int assignment_stack::decision_value(unsigned level) const {
    assert_level(level, "decision_value()");
    unsigned var = m_levels[level - 1].m_variable;
    const iset& current = domain(var);
    if (!current.empty())
        return current.max();
    return var_domain_after_modification(var, m_levels[level - 1].m_first_modification).max();
}

std::uint64_t assignment_stack::var_modification_time(unsigned var) const {
    unsigned latest = m_variables.at(var).m_latest_modification;
    return latest == NO_ENTRY ? 1 : m_trail[latest].m_time;
}

const iset& assignment_stack::var_domain_after_modification(unsigned var, unsigned entry) const {
    const variable_state& state = m_variables.at(var);
    const iset* result = &state.m_domain;
    for (unsigned e = state.m_latest_modification; e != NO_ENTRY && is_earlier_modification(entry, e);
         e = m_trail[e].m_previous)
        result = &m_trail[e].m_domain;
    return *result;
}

const iset& assignment_stack::var_domain_end_level(unsigned var, int level) const {
    if (level >= 0 && static_cast<unsigned>(level) > level_count())
        throw_out_of_range("var_domain_end_level(variable, level)");
    if (level < 0)
        return var_domain_after_modification(var, NO_ENTRY);
    unsigned l = static_cast<unsigned>(level);
    if (l == level_count())
        return domain(var);
    if (l == 0 && var < m_level0_domains.size())
        return m_level0_domains[var];
    return var_domain_after_modification(var, decision_modification(l + 1) - 1);
}

unsigned assignment_stack::var_modification_entry_before(unsigned var, unsigned entry) const {
    if (entry == NO_ENTRY)
        return NO_ENTRY;
    unsigned e = m_variables.at(var).m_latest_modification;
    while (e != NO_ENTRY && e >= entry)
        e = m_trail[e].m_previous;
    return e;
}

unsigned assignment_stack::before_propagation(unsigned entry) const {
    if (entry == NO_ENTRY || m_trail.empty())
        return NO_ENTRY;
    if (entry >= m_trail.size())
        return trail_size() - 1;
    int cause = m_trail[entry].m_cause;
    if (cause < 0)
        return entry - 1;
    for (unsigned k = entry; k > 0; --k)
        if (m_trail[k - 1].m_cause != cause)
            return k - 1;
    return NO_ENTRY;
}

unsigned assignment_stack::go_back_to(unsigned entry, unsigned limit, unsigned steps) const {
    for (; steps > 0; --steps) {
        unsigned prev = m_trail.at(entry).m_previous;
        if (prev == NO_ENTRY || (limit != NO_ENTRY && prev < limit))
            break;
        entry = prev;
    }
    return entry;
}

unsigned assignment_stack::relax(unsigned entry, const iset& literal) const {
    if (entry == NO_ENTRY)
        return NO_ENTRY;
    // The literal is false after `entry`; walk back while it was already false
    // before each entry. Along a chain the stored domains only grow towards
    // the past, so the test is monotone and we may gallop: jump 1, 3, 7, ...
    // entries at a time, and start again from step 1 after overshooting.
    auto already_false = [&](unsigned e) { return !m_trail[e].m_domain.contains_any_of(literal); };
    unsigned cur = entry;
    if (!already_false(cur))
        return cur;
    unsigned step = 1;
    for (;;) {
        unsigned far = cur;
        unsigned taken = 0;
        while (taken < step && m_trail[far].m_previous != NO_ENTRY) {
            far = m_trail[far].m_previous;
            ++taken;
        }
        if (taken == 0)
            return cur; // the first entry of the chain
        if (already_false(far)) {
            cur = far;
            step = step < 0x3FFFFFFFu ? 2 * step + 1 : 0x7FFFFFFEu;
        } else if (step == 1) {
            return far;
        } else {
            step = 1;
        }
    }
}

unsigned assignment_stack::relax_before(unsigned entry, const iset& literal, unsigned limit) const {
    if (entry == NO_ENTRY)
        return NO_ENTRY;
    unsigned cur = entry;
    while (!m_trail[cur].m_domain.contains_any_of(literal)) {
        unsigned next = m_trail[cur].m_previous;
        if (limit != NO_ENTRY && (next == NO_ENTRY || next < limit))
            return next;
        if (next == NO_ENTRY)
            break;
        cur = next;
    }
    return entry;
}

unsigned assignment_stack::nth_modification(unsigned n,
                                            const std::vector<implication_node>& nodes) const {
    if (n + 1 == nodes.size()) {
        unsigned latest = nodes[0].m_modification;
        for (const implication_node& node : nodes)
            if (is_earlier_modification(latest, node.m_modification))
                latest = node.m_modification;
        return latest;
    }
    static std::vector<unsigned> entries;
    entries.clear();
    for (const implication_node& node : nodes)
        entries.push_back(node.m_modification);
    auto nth = entries.begin() + n;
    std::nth_element(entries.begin(), nth, entries.end(), is_earlier_modification);
    return *nth;
}

unsigned assignment_stack::asserting_level_of_nth(unsigned n,
                                                  const std::vector<implication_node>& nodes,
                                                  const std::vector<iset>& literals) const {
    if (nodes.empty())
        throw_out_of_range("Can't pass an empty vector to asserting_level(variables)");
    if (nodes.size() == 1)
        return 0;
    unsigned e = nth_modification(n, nodes);
    unsigned m = NO_ENTRY;
    if (e != NO_ENTRY) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            unsigned entry = nodes[i].m_modification;
            if (!is_earlier_modification(entry, e))
                continue;
            // relax never returns an entry later than its argument.
            if (!is_earlier_modification(m, entry))
                continue;
            unsigned r = relax(entry, literals.at(i));
            if (is_earlier_modification(m, r))
                m = r;
        }
    }
    return decision_level_of(m);
}

std::vector<unsigned> assignment_stack::get_busy_constraints(unsigned first) const {
    std::vector<unsigned> busy;
    for (std::size_t i = 0; i < m_trail.size(); ++i) {
        const int cause = m_trail[i].m_cause;
        if (cause >= 0 && static_cast<unsigned>(cause) >= first)
            busy.push_back(static_cast<unsigned>(cause));
    }
    return busy;
}

// ---------------------------------------------------------------------------
// Saved values, names, validation

void assignment_stack::forget_previously_assigned_var_values() {
    if (m_saved_values.empty())
        return;
    for (unsigned v = 0; v < var_count(); ++v) {
        const iset& d = m_variables[v].m_domain;
        m_saved_values[v] = is_singleton(d) ? std::make_pair(true, d.min())
                                            : std::make_pair(false, 0);
    }
}

void assignment_stack::print_var_name(std::ostream& os, unsigned var) const {
    const std::string& name = m_names.at(var);
    if (name.empty())
        os << 'V' << var;
    else
        os << name;
}

void assignment_stack::print_singleton_variables(std::ostream& os) const {
    if (m_constants.empty())
        return;
    os << "Singletons: ";
    const char* separator = "";
    for (const auto& [value, var] : m_constants) {
        os << separator;
        print_var_name(os, var);
        os << '=' << value;
        separator = ", ";
    }
}

bool assignment_stack::validate() const {
    if (m_saved_values.size() != m_variables.size())
        throw std::runtime_error("inconsistent m_previously_assigned_value.size()");
    for (unsigned v = 0; v < var_count(); ++v)
        validate_var_state(v);
    return true;
}

void assignment_stack::validate_var_state(unsigned var) const {
    const iset& d = m_variables.at(var).m_domain;
    if (!is_singleton(d) || m_saved_values.at(var).first)
        return;
    std::ostringstream text;
    text << "(var_index=" << var << ") ";
    print_var_name(text, var);
    text << ", " << d << " is singleton, but its assignment was not recorded";
    throw std::runtime_error(text.str());
}

} // namespace qarn
