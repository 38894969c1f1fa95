// The proof collector that records nothing.
#include "impl/learning/proof_collector.h"

#include "impl/support/errors.h"

namespace qarn {

bool proof_collector_dummy::want_proof() const {
    return false;
}

void proof_collector_dummy::name_conflict_clause(unsigned) {}

// The rule is destroyed on return.
void proof_collector_dummy::record_conflict(unsigned, const std::vector<iset>&,
                                            std::unique_ptr<explanation_rule>) {}

void proof_collector_dummy::record_resolution(unsigned, const std::vector<iset>&, int,
                                              std::unique_ptr<explanation_rule>) {}

void proof_collector_dummy::pop_resolution_entry() {}

void proof_collector_dummy::save_clause(unsigned, const clause_data&) {}

void proof_collector_dummy::prepare_to_print() {}

void proof_collector_dummy::print_proof(std::ostream&) const {
    throw_runtime_error("solver::generate_proofs() was not called, no proof available");
}

void proof_collector_dummy::traverse_proof(proof_visitor&) const {}

} // namespace qarn
