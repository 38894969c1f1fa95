// Table propagators over a shared relation: building and sharing, the
// ground check, and generalised arc consistency from the per-column roots.
#include "impl/propagators/table_propagator.h"

#include <stdexcept>
#include <utility>

#include "impl/propagators/decision_diagram.h"

namespace qarn {

namespace {

// Rejects tuples whose length differs from the first one's before anything
// is built.
const std::vector<std::vector<int>>& checked(const std::vector<std::vector<int>>& tuple_list) {
    for (const std::vector<int>& t : tuple_list)
        if (t.size() != tuple_list.front().size())
            throw std::invalid_argument(
                "table_propagator_base: a tuple's length differs from the table's arity");
    return tuple_list;
}

} // namespace

table_propagator_base::table_propagator_base(memory_manager& manager,
                                             const std::vector<std::vector<int>>& tuple_list)
    : m_tuples(new tuples(*manager.m_impl, checked(tuple_list))) {}

table_propagator_base::table_propagator_base(const table_propagator_base& other)
    : constraint_propagator(other), m_tuples(other.m_tuples) {
    m_tuples->add_reference();
}

table_propagator_base& table_propagator_base::operator=(const table_propagator_base& other) {
    if (m_tuples != other.m_tuples) {
        other.m_tuples->add_reference();
        m_tuples->remove_reference();
        m_tuples = other.m_tuples;
    }
    return *this;
}

table_propagator_base::~table_propagator_base() {
    m_tuples->remove_reference();
}

unsigned table_propagator_base::count_params() const {
    const unsigned n = m_tuples->column_count();
    return n == 0 ? ANY_PARAM_COUNT : n;
}

bool table_propagator_base::find_tuple(const constraint_runtime_info& ri) const {
    const unsigned n = m_tuples->column_count();
    if (n == 0 || ri.arity() != n)
        return false;
    const decision_node* node = m_tuples->root(0);
    for (unsigned p = 0; p < n; ++p) {
        const iset& d = ri.domain(p);
        if (!node || d.empty())
            return false;
        const decision_node::edge* e = node->find_edge(d.min());
        if (!e)
            return false;
        node = e->child;
    }
    return true;
}

void table_propagator_base::show_self() const {
    m_tuples->show_self();
}

// ---------------------------------------------------------------------------
// Support propagation

constraint_propagator::result_type support_table_propagator::propagate(
    constraint_runtime_info& ri) {
    const tuples& table = relation();
    const unsigned n = table.column_count();
    // Tuples of n values never match another number of parameters.
    if (n != 0 && ri.arity() != n)
        return UNSAT;
    bool reduced = false;
    for (unsigned p = 0; p < ri.arity() && !reduced; ++p)
        reduced = ri.reduced_between_activations(p);
    if (!reduced)
        return CONSISTENT;
    if (n == 0)
        return UNSAT;
    for (unsigned p = 0; p < n; ++p) {
        const iset& d = ri.domain(p);
        if (d.empty())
            return UNSAT;
        const iset& listed = table.column_values(p);
        if (!listed.contains_all_of(d)) {
            iset kept(d);
            kept.intersect(listed);
            if (kept.empty())
                return UNSAT;
            ri.set_domain(p, std::move(kept));
        }
    }
    // Each root's walk reads the domains narrowed by the earlier ones; the
    // values it records for those columns are already in them.
    std::vector<iset> supports(n);
    for (unsigned c = 0; c < n; ++c) {
        table.root(c)->collect_supports_iterating_children_and_values(c, ri, supports);
        if (supports[c].empty())
            return UNSAT;
        ri.set_domain(c, std::move(supports[c]));
        supports[c] = iset();
    }
    return CONSISTENT;
}

bool support_table_propagator::conflicts(const constraint_runtime_info& ri) const {
    const tuples& table = relation();
    const unsigned n = table.column_count();
    if (n == 0)
        return ri.arity() != 0;
    if (ri.arity() != n)
        return true;
    for (unsigned p = 0; p < n; ++p)
        if (!ri.domain(p).contains_any_of(table.column_values(p)))
            return true;
    return !table.root(0)->has_support(0, 0, ri, table.store().new_visit());
}

bool support_table_propagator::constraint_check(const constraint_runtime_info& ri) const {
    return find_tuple(ri);
}

std::unique_ptr<constraint_propagator> support_table_propagator::clone() const {
    return std::make_unique<support_table_propagator>(*this);
}

} // namespace qarn
