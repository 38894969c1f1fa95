// The state of every variable of one instance and the history that led to it:
// current domains, a trail of modification entries (each holding the domain
// it replaced, the time and the causing constraint), one record per decision
// level, saved values for value choice, names, labels, the shared constant
// variables, and the per-variable costs with the heap that orders them.
//
// Invariants: one saved value per variable; a variable's chain of entries
// (latest entry, then previous entries) lists its entries in decreasing trail
// order; the level of a trail entry is the highest level whose first entry is
// not after it. During a search every change narrows a domain, so along a
// chain the stored domains grow towards the past.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/solver_types.h"
#include "impl/engine/variable_printer.h"
#include "impl/sets/model.h"
#include "impl/support/no_copy.h"

namespace qarn {

class assignment_stack : public no_copy {
public:
    // Entries are numbered below both AFTER_LAST_ENTRY and NO_ENTRY.
    static constexpr unsigned MAX_TRAIL_ENTRIES = AFTER_LAST_ENTRY;

    struct variable_state {
        iset m_domain;
        unsigned m_latest_modification = NO_ENTRY;
        double m_cost = 0;
        std::uint64_t m_stamp = 0;             // time the variable last became a singleton
        unsigned m_size_at_last_modification = 0; // domain size just before the latest change
    };

    struct variable_modification_entry {
        unsigned m_previous;   // the variable's entry before this one, NO_ENTRY for its first
        iset m_domain;         // the domain the variable had BEFORE this modification
        std::uint64_t m_time;
        unsigned m_variable;
        int m_cause;           // constraint index; -1 for decisions and outside changes

        variable_modification_entry(unsigned previous, iset&& domain, std::uint64_t time,
                                    unsigned variable, int cause)
            : m_previous(previous), m_domain(std::move(domain)), m_time(time),
              m_variable(variable), m_cause(cause) {}
        variable_modification_entry(variable_modification_entry&&) noexcept = default;
        variable_modification_entry& operator=(variable_modification_entry&&) noexcept = default;
    };

    struct single_decision_data {
        unsigned m_variable;
        unsigned m_first_modification; // the trail size when the level was opened
    };

    // A node of a constraint being learned: the trail entry after which its
    // variable's domain is taken (NO_ENTRY: before any change), and the variable.
    struct implication_node {
        unsigned m_modification;
        unsigned m_variable;
    };

    assignment_stack();

    // ---- Model building
    unsigned add_var(iset domain, const char* name, bool register_constant);
    unsigned singleton_var(int c);
    void set_var_initial_domain(unsigned var, iset domain);
    void complete_var_update(unsigned var);
    void construct_level0_domains();

    // ---- Changes during the search
    void set_var_domain(unsigned var, iset domain, std::uint64_t time, int cause);
    void open_level(unsigned decision_variable);
    void undo_level(unsigned level);
    void erase_conflicting_modifications(unsigned constraint);
    void clear();

    // ---- Reading the state
    unsigned var_count() const { return static_cast<unsigned>(m_variables.size()); }
    const iset& domain(unsigned var) const { return m_variables.at(var).m_domain; }
    const variable_state& var_state(unsigned var) const { return m_variables.at(var); }
    unsigned latest_modification(unsigned var) const {
        return m_variables.at(var).m_latest_modification;
    }
    unsigned trail_size() const { return static_cast<unsigned>(m_trail.size()); }
    const variable_modification_entry& entry(unsigned i) const { return m_trail.at(i); }
    unsigned level_count() const { return static_cast<unsigned>(m_levels.size()); }
    const std::vector<iset>& level0_domains() const { return m_level0_domains; }
    const std::pair<bool, int>& saved_value(unsigned var) const {
        return m_saved_values.at(var);
    }
    const std::string& var_name(unsigned var) const { return m_names.at(var); }
    const variable_print_strategy& print_strategy() const { return m_print_strategy; }
    static bool is_singleton(const iset& s) { return s.size() == 1; }

    // ---- Levels and history
    unsigned decision_level_of(unsigned entry) const;
    unsigned decision_modification(unsigned level) const {
        if (level == 0)
            return NO_ENTRY;
        if (level > m_levels.size())
            throw_out_of_range("decision_modification(level)");
        return m_levels[level - 1].m_first_modification;
    }
    unsigned decision_variable(unsigned level) const;
    int decision_value(unsigned level) const;
    void assert_level(unsigned level, const char* context) const;
    std::uint64_t var_modification_time(unsigned var) const;
    const iset& var_domain_after_modification(unsigned var, unsigned entry) const;
    const iset& var_domain_end_level(unsigned var, int level) const;
    unsigned var_modification_entry_before(unsigned var, unsigned entry) const;
    unsigned before_propagation(unsigned entry) const;
    unsigned go_back_to(unsigned entry, unsigned limit, unsigned steps) const;
    static bool is_earlier_modification(unsigned a, unsigned b) {
        return b != NO_ENTRY && (a == NO_ENTRY || b > a);
    }
    unsigned relax(unsigned entry, const iset& literal) const;
    unsigned relax_before(unsigned entry, const iset& literal, unsigned limit) const;
    unsigned asserting_level_of_nth(unsigned n, const std::vector<implication_node>& nodes,
                                    const std::vector<iset>& literals) const;
    unsigned nth_modification(unsigned n, const std::vector<implication_node>& nodes) const;
    std::vector<unsigned> get_busy_constraints(unsigned first) const;

    // ---- Saved values, labels, names
    void forget_previously_assigned_var_values();
    solver_types::label_type variable_labels(unsigned var) const { return m_labels.at(var); }
    void variable_labels(unsigned var, solver_types::label_type labels) {
        m_labels.at(var) = labels;
    }
    void print_var_name(std::ostream& os, unsigned var) const;
    void print_singleton_variables(std::ostream& os) const;
    bool validate() const;
    void validate_var_state(unsigned var) const;
    [[noreturn]] static void throw_out_of_range(const char* context);

    // ---- Costs and the variable heap
    bool is_better_variable(int a, int b, int f) const;
    void reset_var_costs(double increment);
    void add_var_cost(unsigned var, double amount);
    void lower_var_costs();
    void enable_var_costs_heap();
    void disable_var_costs_heap();
    void raise_var_heap_cost(unsigned var);
    void lower_var_heap_cost(unsigned var);
    // The free variable of best cost; NO_VARIABLE when every variable is a singleton.
    unsigned find_best_free_variable() const;
    bool heap_enabled() const { return !m_heap_positions.empty(); }
    double cost_increment() const { return m_cost_increment; }
    double cost_growth() const { return m_cost_growth; }
    void cost_growth(double growth) { m_cost_growth = growth; }
    double var_cost(unsigned var) const { return m_variables.at(var).m_cost; }

private:
    class assignment_variables_print_strategy : public variable_print_strategy {
    public:
        explicit assignment_variables_print_strategy(const assignment_stack* stack)
            : m_stack(stack) {}
        void print(std::ostream& os, unsigned var) const override {
            m_stack->print_var_name(os, var);
        }

    private:
        const assignment_stack* m_stack;
    };

    // The trail's entries in blocks of a fixed size. Appending never moves an
    // entry (a vector moves them all when it grows and holds both copies
    // meanwhile); blocks left empty by undoing stay for reuse.
    class trail_store : public no_copy {
    public:
        typedef variable_modification_entry entry_type;
        static constexpr std::size_t BLOCK = 1024;

        trail_store() = default;
        ~trail_store() { truncate(0); }

        std::size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        entry_type& operator[](std::size_t i) { return *slot(i); }
        const entry_type& operator[](std::size_t i) const { return *slot(i); }
        const entry_type& at(std::size_t i) const {
            if (i >= m_size)
                throw std::out_of_range("trail entry out of range");
            return *slot(i);
        }
        entry_type& back() { return *slot(m_size - 1); }

        template <class... Args>
        void emplace_back(Args&&... args) {
            if (m_size == m_blocks.size() * BLOCK)
                m_blocks.emplace_back(new block);
            new (slot(m_size)) entry_type(std::forward<Args>(args)...);
            ++m_size;
        }
        void pop_back() { slot(--m_size)->~entry_type(); }
        // Drops the entries from n on.
        void truncate(std::size_t n) {
            while (m_size > n)
                pop_back();
        }

    private:
        struct block {
            alignas(entry_type) unsigned char bytes[BLOCK * sizeof(entry_type)];
        };
        entry_type* slot(std::size_t i) const {
            return std::launder(
                reinterpret_cast<entry_type*>(m_blocks[i / BLOCK]->bytes) + i % BLOCK);
        }

        std::vector<std::unique_ptr<block>> m_blocks;
        std::size_t m_size = 0;
    };

    bool heap_holds(unsigned var) const { return var < m_heap_positions.size(); }
    void heap_move_up(unsigned var);
    void heap_move_down(unsigned var);
    void heap_place(unsigned pos, unsigned var) {
        m_heap[pos] = var;
        m_heap_positions[var] = pos;
    }
    // Restores a variable's domain from a trail entry being removed and
    // repairs the heap: leaving a singleton moves it up, anything else down.
    void restore_from_entry(variable_modification_entry& e);

    std::vector<variable_state> m_variables;
    std::vector<iset> m_level0_domains;
    std::vector<unsigned> m_heap;           // variable indices; 0 is the top
    std::vector<unsigned> m_heap_positions; // position of each variable in m_heap
    double m_cost_increment;
    double m_cost_growth;
    std::vector<std::pair<bool, int>> m_saved_values;
    std::vector<single_decision_data> m_levels;
    trail_store m_trail;
    std::vector<solver_types::label_type> m_labels;
    assignment_variables_print_strategy m_print_strategy;
    std::vector<std::string> m_names;
    std::map<int, unsigned> m_constants;
};

} // namespace qarn
