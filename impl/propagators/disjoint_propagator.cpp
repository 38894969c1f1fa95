// The parts of the disjoint propagators that do not depend on A and B.
#include "impl/propagators/disjoint_propagator.h"

#include <string>

#include "impl/support/errors.h"

namespace qarn {

namespace {

std::string without_trailing_break(std::string text) {
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

void disjoint_propagation_algo_base::print_buffer::flush_to(std::ostream& os) const {
    os << '(' << without_trailing_break(stream_a.str()) << " || "
       << without_trailing_break(stream_b.str()) << ")\n";
}

unsigned disjoint_propagation_algo_base::leftover_count(unsigned arity, unsigned literal_count) {
    if (!known_count(literal_count))
        throw_runtime_error("Can't operate on disjoined propagation algorithms without knowing "
                            "their parameter counts");
    const unsigned a = arity - literal_count;
    if (!known_count(a))
        throw_runtime_error(
            "The second propagation algorithm reports more arguments than the total");
    return a;
}

} // namespace qarn
