// Tests of the proof collector that records nothing: it asks for no proof,
// accepts every report, destroys the rules handed to it, and refuses to
// print a proof.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/learning/proof_collector.h"
#include "impl/sets/model.h"

namespace proof_collector_test {

using qarn::explanation_rule;
using qarn::iset;
using qarn::proof_collector_dummy;
using qarn::proof_collector_interface;

// A rule that counts how many of its kind have been destroyed.
class counting_rule : public explanation_rule {
public:
    explicit counting_rule(unsigned& destroyed) : m_destroyed(&destroyed) {}
    ~counting_rule() override { ++*m_destroyed; }

    std::unique_ptr<explanation_rule> clone() const override {
        return std::make_unique<counting_rule>(*m_destroyed);
    }
    void get_explanation(std::vector<iset>&) const override {}
    void print(std::ostream&, const qarn::variable_print_strategy&,
               const std::vector<unsigned>&) const override {}

private:
    unsigned* m_destroyed;
};

TEST(ProofCollectorDummy, WantsNoProof) {
    std::unique_ptr<proof_collector_interface> collector =
        std::make_unique<proof_collector_dummy>();
    EXPECT_FALSE(collector->want_proof());
}

TEST(ProofCollectorDummy, RulesHandedOverAreDestroyed) {
    const std::vector<iset> sets{iset(1, 3), iset(0, 0)};
    typedef std::function<void(proof_collector_interface&, std::unique_ptr<explanation_rule>)>
        report;
    const struct {
        const char* name;
        report call;
    } cases[] = {
        {"record_conflict",
         [&](proof_collector_interface& c, std::unique_ptr<explanation_rule> rule) {
             c.record_conflict(4, sets, std::move(rule));
         }},
        {"record_resolution",
         [&](proof_collector_interface& c, std::unique_ptr<explanation_rule> rule) {
             c.record_resolution(4, sets, 1, std::move(rule));
         }},
    };
    for (const auto& c : cases) {
        proof_collector_dummy collector;
        unsigned destroyed = 0;
        c.call(collector, std::make_unique<counting_rule>(destroyed));
        EXPECT_EQ(destroyed, 1u) << c.name;
        // A null rule is accepted.
        c.call(collector, nullptr);
        EXPECT_EQ(destroyed, 1u) << c.name;
    }
}

TEST(ProofCollectorDummy, PrintingAProofIsRefused) {
    proof_collector_dummy collector;
    unsigned destroyed = 0;
    // Reports of a whole derivation leave nothing to print.
    collector.record_conflict(7, {iset(2, 5)}, std::make_unique<counting_rule>(destroyed));
    collector.record_resolution(3, {iset(0, 1), iset(4, 4)}, 0, nullptr);
    collector.pop_resolution_entry();
    collector.name_conflict_clause(9);
    collector.prepare_to_print();

    std::ostringstream os;
    const proof_collector_interface& view = collector;
    try {
        view.print_proof(os);
        FAIL() << "print_proof returned";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "solver::generate_proofs() was not called, no proof available");
    }
    EXPECT_EQ(os.str(), "");
    EXPECT_FALSE(collector.want_proof());
}

}  // namespace proof_collector_test
