// Keyed watch lists: for one variable, the constraints to activate per key
// (a watch type for event watches, a value for value watches).
//
// Invariants:
//  - at most one entry per key; outside a walk every entry's list is
//    non-empty (an emptied entry is removed by moving the last entry into
//    its place, so entry order is not kept);
//  - during a walk (while a for_each_cleaner is alive) entries are never
//    removed, so entry indices stay valid; a key first used during the walk
//    is appended after the existing entries. The outermost cleaner removes
//    the entries left empty when it ends;
//  - the total count equals the number of nodes over all lists;
//  - a handle is the node's position in its key's list and stays valid until
//    that watch is released (nodes move with their list when the entry
//    vector grows or an entry is moved, they are never copied).
//
// Event lists insert new nodes at the front of a key's list, value lists
// append them, and a walk visits every list from the last node to the first:
// the oldest event watch of a key fires first, the newest value watch first.
#pragma once

#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "impl/engine/watch_types.h"
#include "impl/sets/model.h"
#include "impl/sets/small_iset.h"

namespace qarn {

class var_watchers_base {
public:
    typedef qarn::watcher_info_type watcher_info_type;
    typedef qarn::watcher_list watcher_list;

    // A watch released during a walk: its node stays linked, with this mark,
    // until the walk ends, so the walker never steps onto a freed node.
    static constexpr watcher_info_type RELEASED = 0xFFFFFFFFu;

    // The watches of one key. Moving hands the nodes over (the target's own
    // nodes go back to the pool) and leaves the source empty; copying is
    // refused, as handles name nodes and a copy would name none.
    struct key_watchers {
        int key;
        watcher_list constraints;

        explicit key_watchers(int k) : key(k) {}
        key_watchers(key_watchers&& other) noexcept
            : key(other.key), constraints(std::move(other.constraints)) {}
        key_watchers& operator=(key_watchers&& other) noexcept {
            if (this != &other) {
                key = other.key;
                constraints = std::move(other.constraints);
            }
            return *this;
        }
        key_watchers(const key_watchers&) = delete;
        key_watchers& operator=(const key_watchers&) = delete;
    };
};

// S is the set type that describes the keys; it is not stored.
template <class S>
class var_watchers_impl : public var_watchers_base {
public:
    typedef S key_set_type;

    explicit var_watchers_impl(bool append) : m_append(append) {}

    bool empty() const { return m_count == 0; }
    unsigned count_all_watches() const { return m_count; }
    bool watches(int key) const { return find_key_watchers(key) != nullptr; }

    key_watchers* find_key_watchers(int key) {
        for (key_watchers& e : m_entries)
            if (e.key == key)
                return &e;
        return nullptr;
    }
    const key_watchers* find_key_watchers(int key) const {
        for (const key_watchers& e : m_entries)
            if (e.key == key)
                return &e;
        return nullptr;
    }

    watch_handle_t allocate_watch(int key, unsigned constraint) {
        key_watchers* e = find_key_watchers(key);
        if (!e)
            e = &m_entries.emplace_back(key);
        watcher_list& list = e->constraints;
        watcher_list::iterator node;
        if (m_append) {
            list.push_back(constraint);
            node = std::prev(list.end());
        } else {
            list.push_front(constraint);
            node = list.begin();
        }
        ++m_count;
        return watch_handle_t(node);
    }

    // The handle must name a node of this key's list. During a walk the node
    // is only marked and unhooked when the walk ends.
    void deallocate_watch(int key, watch_handle_t handle) {
        key_watchers* e = find_key_watchers(key);
        if (!e || handle.is_null())
            throw std::out_of_range("Can't deallocate nonexistent watch");
        --m_count;
        const std::size_t index = static_cast<std::size_t>(e - m_entries.data());
        if (m_iterating) {
            *handle.node() = RELEASED;
            m_released.emplace_back(index, handle.node());
            return;
        }
        e->constraints.erase(handle.node());
        if (e->constraints.empty())
            remove_entry(index);
    }

    bool is_key_watched_by_constraint(int key, unsigned constraint) const {
        const key_watchers* e = find_key_watchers(key);
        if (!e)
            return false;
        for (watcher_info_type c : e->constraints)
            if (c == constraint)
                return true;
        return false;
    }

    // Releases every watch whose constraint is_removed(constraint) reports
    // removed, visiting the entries and each list from the last to the
    // first. Entries emptied here are removed unless a walk is in progress.
    template <class F>
    void deallocate_watches(F is_removed) {
        for (std::size_t i = m_entries.size(); i-- > 0;) {
            watcher_list& list = m_entries[i].constraints;
            for (auto it = list.end(); it != list.begin();) {
                --it;
                if (is_removed(*it)) {
                    it = list.erase(it);
                    --m_count;
                }
            }
            // Only entries already visited can move into slot i.
            if (list.empty() && !m_iterating)
                remove_entry(i);
        }
    }

    // Drops every watch; not to be called during a walk.
    void clear() {
        m_entries.clear();
        m_count = 0;
    }

    // Walk access by index. A walker must index afresh after every
    // activation: a new key may be appended (reallocating the vector), but
    // no entry moves while a for_each_cleaner is alive.
    std::size_t entry_count() const { return m_entries.size(); }
    const key_watchers& entry(std::size_t i) const { return m_entries[i]; }
    bool iterating() const { return m_iterating; }

    // Scope guard for a walk: while any cleaner on the container lives,
    // released watches leave their (possibly empty) entry in place; the
    // outermost cleaner removes the empty entries when it ends, scanning
    // from the last entry to the first.
    class for_each_cleaner {
    public:
        explicit for_each_cleaner(var_watchers_impl& container)
            : m_container(container.m_iterating ? nullptr : &container) {
            container.m_iterating = true;
        }
        ~for_each_cleaner() {
            if (!m_container)
                return;
            m_container->m_iterating = false;
            for (const auto& [index, node] : m_container->m_released)
                m_container->m_entries[index].constraints.erase(node);
            m_container->m_released.clear();
            for (std::size_t i = m_container->m_entries.size(); i-- > 0;)
                if (m_container->m_entries[i].constraints.empty())
                    m_container->remove_entry(i);
        }
        for_each_cleaner(const for_each_cleaner&) = delete;
        for_each_cleaner& operator=(const for_each_cleaner&) = delete;

    private:
        var_watchers_impl* m_container; // null for a nested cleaner
    };

    struct cond_always_true {
        bool operator()(int /*key*/) const { return true; }
    };

    // The engine's walk: for each entry from the last to the first whose key
    // accept_key(key) approves, calls activate(constraint) for every node of
    // its list from the last to the first; stops and answers false at the
    // first activation that answers false. Runs under a for_each_cleaner.
    //
    // The previous node is taken before each activation, and released nodes
    // stay linked (marked, skipped) until the walk ends, so an activated
    // constraint may release any watch, the visited one included, and may
    // allocate new watches (a new key is not visited; a new node of a value
    // list lies behind the walk; a new node at the front of an event list is
    // visited when the walk has not yet passed the list's first node).
    template <class KeyCond, class Activate>
    bool for_each_watch(KeyCond accept_key, Activate activate) {
        for_each_cleaner cleaner(*this);
        for (std::size_t i = m_entries.size(); i-- > 0;) {
            if (!accept_key(m_entries[i].key) || m_entries[i].constraints.empty())
                continue;
            watcher_list::iterator node = std::prev(m_entries[i].constraints.end());
            for (;;) {
                const bool more = node != m_entries[i].constraints.begin();
                const watcher_list::iterator prev = more ? std::prev(node) : node;
                // The next node is fetched while this one's constraint runs.
                __builtin_prefetch(&*prev);
                const watcher_info_type constraint = *node;
                if (constraint != RELEASED && !activate(constraint))
                    return false;
                if (!more)
                    break;
                node = prev;
            }
        }
        return true;
    }

private:
    // Moves the last entry into slot i and shortens the vector.
    void remove_entry(std::size_t i) {
        if (i + 1 != m_entries.size())
            m_entries[i] = std::move(m_entries.back());
        m_entries.pop_back();
    }

    std::vector<key_watchers> m_entries; // in order of first use, holes filled from the back
    // Watches released during the walk: (entry index, node), unhooked at its end.
    std::vector<std::pair<std::size_t, watcher_list::iterator>> m_released;
    unsigned m_count = 0;                // watches over all entries
    bool m_iterating = false;            // a for_each_cleaner is alive
    bool m_append;                       // new nodes at the end (else at the front)
};

extern template class var_watchers_impl<small_iset>;
extern template class var_watchers_impl<iset>;

// The event watches of one variable; keys are watch types.
class var_event_watchers : public var_watchers_impl<small_iset> {
public:
    var_event_watchers() : var_watchers_impl<small_iset>(false) {}
};

// The value watches of one variable; keys are values.
class var_value_watchers : public var_watchers_impl<iset> {
public:
    var_value_watchers() : var_watchers_impl<iset>(true) {}
};

} // namespace qarn
