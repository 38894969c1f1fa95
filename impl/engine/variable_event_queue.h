// The priority queue of pending variable events that the propagation loop
// serves. A Fibonacci heap holds the events; it sits behind a pointer so that
// its large header is compiled only in variable_event_queue.cpp and not in
// every file that includes the solver.
#pragma once

#include <memory>

#include "impl/support/no_copy.h"

namespace qarn {

class assignment_stack;

// One pending event per changed variable: the size before the first change
// that queued it and that change's trail entry.
struct variable_event {
    unsigned variable;
    unsigned size;
    unsigned entry;
};

// Events are ranked against the current assignment: more removed values
// relative to the domain size and a smaller age are served first. Ranks
// change as the assignment changes; the heap is never told, so the order
// served is the heap's own given its push and pop sequence.
class variable_event_queue : public no_copy {
public:
    explicit variable_event_queue(const assignment_stack& assignment);
    ~variable_event_queue();

    void push(const variable_event& event);
    // The event served next; the queue must not be empty.
    const variable_event& top() const;
    void pop();
    void clear();

private:
    struct heap;
    std::unique_ptr<heap> m_heap;
};

} // namespace qarn
