// Trace switch: on when the environment variable ACTIVATE_QARN_TRACE is set
// (to anything). The environment is read on the first call only.
#pragma once

namespace qarn {

bool trace_active();

}  // namespace qarn
