// Table (extensional) constraints: the parameters take one of the listed
// tuples. Every relation of a run is stored in one hash-consed decision
// diagram kept by a memory_manager, so identical sub-diagrams, within a table
// or across tables, exist once. A relation keeps one root per column: root c
// branches on column c first and then on the other columns in ascending
// order, so each column's supported values are found from its own first
// level. support_table_propagator enforces generalised arc consistency:
// every value left in a domain has a listed tuple within the domains.
//
// Copies and clones share the relation (its `tuples`, reference counted);
// the manager must outlive every table built on it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class table_propagator_base : public constraint_propagator {
public:
    // The run-wide node store of all tables, with the registry of the roots
    // that living relations use. Released roots trigger collections of the
    // nodes no registered root reaches.
    class memory_manager {
    public:
        class impl;

        memory_manager();
        // Turns collection off and frees every node.
        ~memory_manager();
        memory_manager(const memory_manager&) = delete;
        memory_manager& operator=(const memory_manager&) = delete;

        // Frees the nodes no registered root reaches (when collection is on).
        void garbage_collect();
        void disable_garbage_collection();

        // Nodes in the store and registered roots (a shared root once per user).
        std::size_t node_count() const;
        std::size_t root_count() const;

    private:
        friend class table_propagator_base;
        std::unique_ptr<impl> m_impl;
    };

    // One relation: its roots and per-column values, shared by the
    // propagators built on it.
    class tuples;

    // The arity is the length of the first tuple; every tuple must have it,
    // otherwise std::invalid_argument. An empty list gives a table without
    // columns, which nothing satisfies.
    table_propagator_base(memory_manager& manager, const std::vector<std::vector<int>>& tuple_list);
    table_propagator_base(const table_propagator_base& other);
    table_propagator_base& operator=(const table_propagator_base& other);
    ~table_propagator_base() override;

    // The number of columns; ANY_PARAM_COUNT when there is none.
    unsigned count_params() const override;
    bool constraint_check(const constraint_runtime_info& ri) const override = 0;
    std::unique_ptr<constraint_propagator> clone() const override = 0;

    // Walks root 0 taking the least value of each parameter's domain: for
    // single values, whether they form a listed tuple. False without columns,
    // without parameters, with a parameter count other than the column count
    // or with an empty domain.
    bool find_tuple(const constraint_runtime_info& ri) const;

    const tuples& relation() const { return *m_tuples; }

    // Every tuple, one per line, on standard output.
    void show_self() const;

private:
    tuples* m_tuples;
};

class support_table_propagator : public table_propagator_base {
public:
    using table_propagator_base::table_propagator_base;

    // Narrows every domain to the values supported by a tuple within the
    // domains; UNSAT when a column has none. A parameter count other than
    // the column count is a conflict.
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
};

} // namespace qarn
