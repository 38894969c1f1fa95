// The variable-event queue's heap and its ranking.
#include "impl/engine/variable_event_queue.h"

#include <boost/heap/fibonacci_heap.hpp>

#include "impl/engine/assignment_stack.h"
#include "impl/support/pool_alloc.h"

namespace qarn {

// Named rather than file-local: the heap type that derives from it is a
// member of a class with external linkage.
namespace variable_event_queue_detail {

// a is below b (b is served first): more removed values relative to the
// domain size and a smaller age come first.
struct variable_event_order {
    const assignment_stack* stack;

    bool operator()(const variable_event& a, const variable_event& b) const {
        unsigned top_first =
            stack->level_count() ? stack->decision_modification(stack->level_count()) : 0;
        auto removed = [&](const variable_event& e) {
            return static_cast<double>(e.size - stack->domain(e.variable).size());
        };
        auto age = [&](const variable_event& e) {
            unsigned latest = stack->latest_modification(e.variable);
            return static_cast<double>(stack->level_count() ? latest - top_first : latest + 1);
        };
        return static_cast<double>(a.size) * removed(b) * age(a) >
               static_cast<double>(b.size) * removed(a) * age(b);
    }
};

} // namespace variable_event_queue_detail

using variable_event_queue_detail::variable_event_order;

// Heap nodes come from the node pool: a push and a pop per event would
// otherwise cost a malloc and a free.
struct variable_event_queue::heap
    : boost::heap::fibonacci_heap<variable_event, boost::heap::compare<variable_event_order>,
                                  boost::heap::allocator<pool_alloc<variable_event>>> {
    using fibonacci_heap::fibonacci_heap;
};

variable_event_queue::variable_event_queue(const assignment_stack& assignment)
    : m_heap(std::make_unique<heap>(variable_event_order{&assignment})) {}

variable_event_queue::~variable_event_queue() = default;

void variable_event_queue::push(const variable_event& event) {
    m_heap->push(event);
}

const variable_event& variable_event_queue::top() const {
    return m_heap->top();
}

void variable_event_queue::pop() {
    m_heap->pop();
}

void variable_event_queue::clear() {
    m_heap->clear();
}

} // namespace qarn
