#include "driver/c_like_solver.h"

#include <iostream>
#include <stdexcept>

#include "c_like_parser.hh"
#include "frontends/c_like/c_like_scanner.h"

namespace qarn {

c_like_solver::c_like_solver(std::istream& input, const std::string& name,
                             const qarn_flags& options,
                             table_propagator_base::memory_manager& tables)
    : m_context(*this, c_like_scanner_methods::get(), tables, &input, name) {
    m_context.builder().detect_all_different(options.m_all_different != 0);
    yy::c_like_parser parser(m_context);
    options.apply(*this);
    if (parser.parse() != 0 || !m_context.create_constraints(std::cout))
        throw std::runtime_error(name + ": Parsing failed");
}

int c_like_solver::evaluate_objective() const {
    return m_context.evaluate_objective();
}

} // namespace qarn
