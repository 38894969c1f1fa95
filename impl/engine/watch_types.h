// Watch types and watch handles. A watch asks the engine to activate a
// constraint when a variable's domain changes in a given way; a handle names
// one registered watch: the position of its node in the list it lives in.
// The null handle is the end of a process-wide list that stays empty.
#pragma once

#include <iterator>
#include <list>
#include <ostream>
#include <stdexcept>

#include "impl/support/pool_alloc.h"

namespace qarn {

struct watch_types {
    enum watch_type {
        MODIFICATION_WATCH = 0, // the domain changes in any way
        FINALIZATION_WATCH = 1, // the domain becomes a singleton
        LOWER_BOUND_WATCH = 2,  // the minimum changes
        UPPER_BOUND_WATCH = 3,  // the maximum changes
    };
};

// Writes the enumerator's name; other values write nothing.
std::ostream& operator<<(std::ostream& os, watch_types::watch_type type);

// One node per watch: the index of the watching constraint. Nodes come from
// the process-wide pool.
typedef unsigned watcher_info_type;
typedef std::list<watcher_info_type, pool_alloc<watcher_info_type>> watcher_list;

class watch_handle_t {
public:
    watch_handle_t() : m_node(null_watch_list.end()) {}
    explicit watch_handle_t(watcher_list::iterator node) : m_node(node) {}

    bool is_null() const { return m_node == null_watch_list.end(); }
    watcher_list::iterator node() const { return m_node; }
    // Handles compare by the identity of the node they name.
    bool operator==(const watch_handle_t& other) const { return m_node == other.m_node; }
    bool operator!=(const watch_handle_t& other) const { return m_node != other.m_node; }

    inline static watcher_list null_watch_list;

private:
    watcher_list::iterator m_node;
};

// A list of watch nodes kept by a view that has no real watch lists, so a
// propagator can run its watch logic anywhere: allocate pushes a node holding
// 0 and returns it as the handle; deallocate unhooks it.
class dummy_watches {
public:
    watch_handle_t allocate() {
        m_nodes.push_back(0);
        ++m_count;
        return watch_handle_t(std::prev(m_nodes.end()));
    }
    void deallocate(watch_handle_t handle) {
        if (handle.is_null())
            throw std::out_of_range("Can't deallocate nonexistent watch");
        m_nodes.erase(handle.node());
        --m_count;
    }
    unsigned count() const { return m_count; }

private:
    watcher_list m_nodes;
    unsigned m_count = 0;
};

} // namespace qarn
