// Use and derivation records of learned constraints, consulted when learned
// constraints are erased.
//
// A learned constraint c (an index at or above the first learned index) is
// kept at position c - first. For each one the record holds the backtrack
// count of its last use (0 when never marked, ERASED once erased) and the
// learned constraints it was derived from, in marking order with
// repetitions. The two vectors may differ in length: marking a dependency
// grows only the prerequisite lists. Constraints below the first learned
// index are the model's own and are never recorded; asked about, they count
// as live and without prerequisites.
#pragma once

#include <functional>
#include <set>
#include <vector>

#include "impl/support/pool_alloc.h"

namespace qarn {

class conflict_constraint_dependency {
public:
    static constexpr unsigned ERASED = 0xFFFFFFFFu;

    typedef std::set<unsigned, std::less<unsigned>, pool_alloc<unsigned>> seen_set;

    explicit conflict_constraint_dependency(unsigned first_learned)
        : m_first_learned(first_learned) {}

    void mark_used(unsigned c, unsigned time);
    // Records that `derived` was derived from c.
    void mark_dependency(unsigned c, unsigned derived);

    // Learned constraints, increasing, last used at `since` or later and not erased.
    std::vector<unsigned> active_constraints(unsigned since) const;
    // Learned constraints, increasing, neither erased nor in keep.
    std::vector<unsigned> other_constraints(const std::vector<unsigned>& keep) const;

    // Releases c's prerequisite list and marks c erased.
    void erase_constraint(unsigned c);
    // Trims the spare capacity of c's prerequisite list.
    void compact_prerequisites(unsigned c);

    // Every live prerequisite reachable from the roots, once each, in
    // depth-first discovery order; roots appear only when reached from another.
    std::vector<unsigned> prerequisite_closure(const std::vector<unsigned>& roots) const;
    // The depth-first step of prerequisite_closure from c: appends to out the
    // live prerequisites of c not in seen, and what they lead to. An erased c
    // and erased prerequisites stop the walk (they enter seen but not out).
    void add_prerequisites(std::vector<unsigned>& out, seen_set& seen, unsigned c) const;

    unsigned first_learned() const { return m_first_learned; }
    // 0 for constraints never marked or not learned.
    unsigned last_use(unsigned c) const;
    bool erased(unsigned c) const { return last_use(c) == ERASED; }
    // Empty for constraints without recorded prerequisites.
    const std::vector<unsigned>& prerequisites(unsigned c) const;

private:
    // Adds the positions from m_last_use's old size on to the live list.
    void grow_live(std::size_t old_size);
    void note_erased();
    void note_revived(unsigned pos);

    unsigned m_first_learned;
    std::vector<std::vector<unsigned>> m_prerequisites;
    std::vector<unsigned> m_last_use;
    // Recorded positions, increasing: every live one, and m_erased_listed
    // erased ones not dropped yet.
    std::vector<unsigned> m_listed;
    std::size_t m_erased_listed = 0;
};

} // namespace qarn
