// The solver object of an OPB instance: the engine plus the OPB model it is
// built from, which prints solutions and evaluates the objective.
#pragma once

#include <istream>
#include <string>

#include "driver/flags.h"
#include "frontends/opb/opb_model.h"
#include "impl/engine/solver.h"
#include "impl/propagators/table_propagator.h"

class opb_solver : public qarn::solver {
public:
    // Applies the options, reads the whole instance and posts the model.
    // Throws std::runtime_error "<name>: Parsing failed" after a syntax
    // error and qarn::unsupported for what the solver cannot express.
    opb_solver(std::istream& input, const std::string& name, const qarn::qarn_flags& options,
               qarn::table_propagator_base::memory_manager& tables);

    void print_solution(std::ostream& os) const override;
    int evaluate_objective() const override;

    const qarn::opb::context& model() const { return m_context; }

private:
    qarn::opb::context m_context;
};
