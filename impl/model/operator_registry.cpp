// The process-wide operator registry and the per-builder connectivity that
// shares identical operator applications and posts them in tightness order.
#include "impl/model/operator_registry.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "impl/engine/solver.h"
#include "impl/model/expression_tree.h"

namespace qarn {

// ---- registry

operator_definition_registry::operator_definition_registry() {
    // By node type of the expression tree, ascending.
    m_types.emplace_back(xcsp::F_ABS, std::make_unique<abs_definition>());
    m_types.emplace_back(xcsp::F_ADD, std::make_unique<sum_definition>());
    m_types.emplace_back(xcsp::F_SUB, std::make_unique<sub_definition>());
    m_types.emplace_back(xcsp::F_MUL, std::make_unique<mul_definition>());
    m_types.emplace_back(xcsp::F_DIV, std::make_unique<div_definition>());
    m_types.emplace_back(xcsp::F_MOD, std::make_unique<mod_definition>());
    m_types.emplace_back(xcsp::F_GE, std::make_unique<ge_definition>());
    m_types.emplace_back(xcsp::F_GT, std::make_unique<gt_definition>());
    m_types.emplace_back(xcsp::F_LE, std::make_unique<le_definition>());
    m_types.emplace_back(xcsp::F_LT, std::make_unique<lt_definition>());
    m_types.emplace_back(xcsp::F_NOT, std::make_unique<not_definition>());
    m_predicates.emplace_back("difference_ge", std::make_unique<difference_ge_definition>());
}

operator_definition_registry& operator_definition_registry::get() {
    static operator_definition_registry registry;
    return registry;
}

const operator_definition* operator_definition_registry::find(unsigned node_type) {
    const auto& table = get().m_types;
    auto it = std::lower_bound(table.begin(), table.end(), node_type,
                               [](const auto& entry, unsigned t) { return entry.first < t; });
    return it != table.end() && it->first == node_type ? it->second.get() : nullptr;
}

const operator_definition* operator_definition_registry::find_predicate(const std::string& name) {
    const auto& table = get().m_predicates;
    auto it = std::lower_bound(
        table.begin(), table.end(), name,
        [](const auto& entry, const std::string& n) { return entry.first < n; });
    return it != table.end() && it->first == name ? it->second.get() : nullptr;
}

// ---- connectivity

bool operator<(const operator_connectivity::operator_entry_key& a,
               const operator_connectivity::operator_entry_key& b) {
    const double ta = a.definition->tightness(), tb = b.definition->tightness();
    if (ta != tb)
        return ta > tb;
    if (a.args != b.args)
        return a.args < b.args;
    return std::strcmp(a.definition->name(), b.definition->name()) < 0;
}

operator_connectivity::operator_connectivity(solver& s)
    : m_solver(s),
      m_classes(std::make_unique<equivalence_classes>()),
      m_entries(std::make_unique<std::map<operator_entry_key, operator_entry_data>>()) {}

operator_connectivity::~operator_connectivity() = default;

const iset& operator_connectivity::var_domain(unsigned var) const {
    return m_solver.domain(var);
}

unsigned operator_connectivity::record_operator(const operator_definition* def, eval_type t,
                                                const unsigned* first, const unsigned* last,
                                                unsigned result, const iset& domain,
                                                unsigned flags) {
    operator_entry_key key{def, std::vector<unsigned>(first, last)};
    def->canonize_order(*this, key.args.data(), key.args.data() + key.args.size());
    auto it = m_entries->find(key);
    if (it != m_entries->end()) {
        it->second.type = it->second.type | t;
        it->second.flags |= flags;
        return it->second.result;
    }
    if (result == NO_VARIABLE) {
        const std::string name = def->name() + std::to_string(m_entries->size());
        result = m_solver.add_var(domain, name.c_str(), false);
    }
    m_entries->emplace(std::move(key), operator_entry_data{result, t, flags});
    return result;
}

void operator_connectivity::create_all_constraints() {
    for (const auto& [key, data] : *m_entries)
        key.definition->create_constraints(m_solver, data.type, data.flags, data.result,
                                           key.args.data(), key.args.data() + key.args.size());
}

void operator_connectivity::mark_unsat() {
    // A model without variables gets an empty one to carry the mark.
    if (m_solver.var_count() == 0)
        m_solver.add_var(iset(), nullptr, false);
    else
        m_solver.set_var_domain(0, iset(), -1);
}

std::optional<std::pair<std::int64_t, std::int64_t>>
operator_connectivity::value_bounds(unsigned var) const {
    const iset& d = m_solver.domain(var);
    if (d.empty())
        return std::nullopt;
    std::pair<std::int64_t, std::int64_t> bounds(d.min(), d.max());
    const auto it = m_value_ranges.find(var);
    if (it != m_value_ranges.end()) {
        bounds.first = std::max(bounds.first, it->second.first);
        bounds.second = std::min(bounds.second, it->second.second);
    }
    if (bounds.first > bounds.second)
        return std::nullopt;
    return bounds;
}

void operator_connectivity::fit_value_range(unsigned var, std::int64_t lo, std::int64_t hi) {
    auto to_int = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
    };
    if (lo <= hi) { // else an argument has no value: the model is contradictory
        const iset fits(to_int(lo), to_int(hi));
    }
    m_value_ranges[var] = {lo, hi};
}

const iset& operator_connectivity::everything() {
    static const iset all = [] {
        iset s;
        s.complement();
        return s;
    }();
    return all;
}

} // namespace qarn
