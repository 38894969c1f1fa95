// The run-wide store of the decision-diagram nodes behind table
// constraints. The driver makes one before the first instance and hands it
// to every solver object; no reader posts table constraints yet, so it
// holds nothing.
#pragma once

namespace qarn {

class table_propagator_base {
public:
    class memory_manager {};
};

} // namespace qarn
