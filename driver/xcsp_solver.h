// The solver object of an XCSP 2.1 instance: the engine, filled by the XCSP
// reader; solutions are printed and the objective evaluated by the engine.
#pragma once

#include <istream>
#include <string>

#include "driver/flags.h"
#include "impl/engine/solver.h"
#include "impl/propagators/table_propagator.h"

namespace qarn {

class xcsp_solver : public solver {
public:
    // Reads the whole instance and builds the model, then applies the
    // options ("c Seed is N"). Throws std::runtime_error for malformed
    // instances (after "Exception at line N") and qarn::unsupported for what
    // the solver cannot express.
    xcsp_solver(std::istream& input, const std::string& name, const qarn_flags& options,
                table_propagator_base::memory_manager& tables);
};

} // namespace qarn
