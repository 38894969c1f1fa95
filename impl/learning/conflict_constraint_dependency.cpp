// Use and derivation records of learned constraints.
#include "impl/learning/conflict_constraint_dependency.h"

#include <algorithm>

namespace qarn {

void conflict_constraint_dependency::mark_used(unsigned c, unsigned time) {
    if (c < m_first_learned)
        return;
    const unsigned pos = c - m_first_learned;
    if (pos >= m_last_use.size()) {
        const std::size_t old_size = m_last_use.size();
        m_last_use.resize(std::size_t(pos) + 1, 0);
        grow_live(old_size);
        // Dependencies may already have grown the lists further; never drop them.
        if (m_prerequisites.size() < m_last_use.size())
            m_prerequisites.resize(m_last_use.size());
    }
    const unsigned before = m_last_use[pos];
    m_last_use[pos] = time;
    if (before != ERASED && time == ERASED)
        note_erased();
    else if (before == ERASED && time != ERASED)
        note_revived(pos);
}

void conflict_constraint_dependency::grow_live(std::size_t old_size) {
    for (std::size_t pos = old_size; pos < m_last_use.size(); ++pos)
        m_listed.push_back(static_cast<unsigned>(pos));
}

void conflict_constraint_dependency::note_erased() {
    ++m_erased_listed;
    if (2 * m_erased_listed <= m_listed.size())
        return;
    std::erase_if(m_listed, [this](unsigned pos) { return m_last_use[pos] == ERASED; });
    m_erased_listed = 0;
}

// Rare: a constraint marked used after its erasure is live again.
void conflict_constraint_dependency::note_revived(unsigned pos) {
    const auto at = std::lower_bound(m_listed.begin(), m_listed.end(), pos);
    if (at != m_listed.end() && *at == pos)
        --m_erased_listed;
    else
        m_listed.insert(at, pos);
}

void conflict_constraint_dependency::mark_dependency(unsigned c, unsigned derived) {
    if (derived < m_first_learned)
        return;
    const unsigned pos = derived - m_first_learned;
    if (pos >= m_prerequisites.size())
        m_prerequisites.resize(std::size_t(pos) + 1);
    m_prerequisites[pos].push_back(c);
}

std::vector<unsigned> conflict_constraint_dependency::active_constraints(unsigned since) const {
    std::vector<unsigned> out;
    for (unsigned pos : m_listed) {
        const unsigned t = m_last_use[pos];
        if (t >= since && t != ERASED)
            out.push_back(m_first_learned + pos);
    }
    return out;
}

std::vector<unsigned> conflict_constraint_dependency::other_constraints(
    const std::vector<unsigned>& keep) const {
    std::vector<unsigned> sorted_keep(keep);
    std::sort(sorted_keep.begin(), sorted_keep.end());
    std::vector<unsigned> out;
    for (unsigned pos : m_listed) {
        if (m_last_use[pos] == ERASED)
            continue;
        const unsigned c = m_first_learned + pos;
        if (!std::binary_search(sorted_keep.begin(), sorted_keep.end(), c))
            out.push_back(c);
    }
    return out;
}

void conflict_constraint_dependency::erase_constraint(unsigned c) {
    if (c < m_first_learned)
        return;
    const unsigned pos = c - m_first_learned;
    if (pos < m_prerequisites.size())
        std::vector<unsigned>().swap(m_prerequisites[pos]);
    mark_used(c, ERASED);
}

void conflict_constraint_dependency::compact_prerequisites(unsigned c) {
    if (c < m_first_learned)
        return;
    const unsigned pos = c - m_first_learned;
    if (pos >= m_prerequisites.size())
        return;
    std::vector<unsigned>& list = m_prerequisites[pos];
    if (list.capacity() > list.size())
        std::vector<unsigned>(list).swap(list);
}

std::vector<unsigned> conflict_constraint_dependency::prerequisite_closure(
    const std::vector<unsigned>& roots) const {
    std::vector<unsigned> out;
    seen_set seen;
    for (unsigned root : roots)
        add_prerequisites(out, seen, root);
    return out;
}

// Depth-first walk with an explicit stack (chains of learned constraints can
// be long), visiting in the order a recursive walk would.
void conflict_constraint_dependency::add_prerequisites(std::vector<unsigned>& out,
                                                       seen_set& seen, unsigned c) const {
    if (erased(c))
        return;
    struct frame {
        const std::vector<unsigned>* list;
        std::size_t next;
    };
    std::vector<frame> stack{{&prerequisites(c), 0}};
    while (!stack.empty()) {
        frame& top = stack.back();
        if (top.next == top.list->size()) {
            stack.pop_back();
            continue;
        }
        const unsigned d = (*top.list)[top.next++];
        if (!seen.insert(d).second || erased(d))
            continue;
        out.push_back(d);
        stack.push_back({&prerequisites(d), 0});
    }
}

unsigned conflict_constraint_dependency::last_use(unsigned c) const {
    if (c < m_first_learned || c - m_first_learned >= m_last_use.size())
        return 0;
    return m_last_use[c - m_first_learned];
}

const std::vector<unsigned>& conflict_constraint_dependency::prerequisites(unsigned c) const {
    static const std::vector<unsigned> none;
    if (c < m_first_learned || c - m_first_learned >= m_prerequisites.size())
        return none;
    return m_prerequisites[c - m_first_learned];
}

} // namespace qarn
