// The trace switch; its answer is fixed by the first call.
#include "impl/support/trace.h"

#include <cstdlib>

namespace qarn {

bool trace_active() {
    static const bool active = std::getenv("ACTIVATE_QARN_TRACE") != nullptr;
    return active;
}

}  // namespace qarn
