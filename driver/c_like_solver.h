// The solver object of a model in the C-like modelling language: the engine
// plus the parser context that the model was read into, which keeps the
// objective expression for evaluating solutions.
#pragma once

#include <istream>
#include <string>

#include "driver/flags.h"
#include "frontends/common/parser_context.h"
#include "impl/engine/solver.h"
#include "impl/propagators/table_propagator.h"

namespace qarn {

class c_like_solver : public solver {
public:
    // Applies the options, reads the whole model and posts it. Throws
    // std::runtime_error "<name>: Parsing failed" after a syntax error or a
    // refused declaration, and qarn::unsupported for what the solver cannot
    // express.
    c_like_solver(std::istream& input, const std::string& name, const qarn_flags& options,
                  table_propagator_base::memory_manager& tables);

    // The objective expression's value on the current assignment.
    int evaluate_objective() const override;

    const parser_context& context() const { return m_context; }

private:
    parser_context m_context;
};

} // namespace qarn
