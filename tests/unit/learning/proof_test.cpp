// Resolution proofs recorded by the search: every refutation of a table of
// unsatisfiable models (pigeonhole clauses, random linear models) is
// accepted under the settings that change the search; a corrupted record is
// rejected with the checker's message, and so is a record resting on more
// than the model; the printed form of small proofs; the refutation at level
// 0; no proof where the search records none (an empty domain before the
// search, the end of an optimisation); the collector's own errors and its
// resolvent.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/learning/literal_data.h"
#include "impl/learning/proof_collector.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/linear_combination.h"
#include "tests/unit/learning/random_linear_model.h"
#include "tests/unit/test_helpers.h"

namespace proof_test {

using namespace qarn;
using qarn_test::error_of;
using qarn_test::values;
using qarn_test::post_clause;

typedef std::function<void(solver&)> model_builder;

void add_vars(solver& s, unsigned count, const iset& domain) {
    for (unsigned v = 0; v < count; ++v)
        s.add_var(domain, ("x" + std::to_string(v)).c_str(), false);
}

// p[i][h] (variable i * holes + h) is 1 when pigeon i sits in hole h.
model_builder pigeonhole(unsigned pigeons, unsigned holes) {
    return [=](solver& s) {
        add_vars(s, pigeons * holes, iset(0, 1));
        for (unsigned i = 0; i < pigeons; ++i) {
            std::vector<unsigned> vars;
            for (unsigned h = 0; h < holes; ++h)
                vars.push_back(i * holes + h);
            post_clause(s, vars, std::vector<iset>(holes, iset(1)));
        }
        for (unsigned h = 0; h < holes; ++h)
            for (unsigned i = 0; i < pigeons; ++i)
                for (unsigned j = i + 1; j < pigeons; ++j)
                    post_clause(s, {i * holes + h, j * holes + h}, {iset(0), iset(0)});
    };
}

// One variable per pigeon holding its hole; two pigeons never share one.
model_builder pigeonhole_by_value(unsigned pigeons, unsigned holes) {
    return [=](solver& s) {
        add_vars(s, pigeons, iset(0, static_cast<int>(holes) - 1));
        for (unsigned h = 0; h < holes; ++h) {
            iset other(MIN_DOMAIN, MAX_DOMAIN);
            other.erase(iset::range_type(static_cast<int>(h), static_cast<int>(h)));
            for (unsigned i = 0; i < pigeons; ++i)
                for (unsigned j = i + 1; j < pigeons; ++j)
                    post_clause(s, {i, j}, {other, other});
        }
    };
}

struct unsat_model {
    std::string name;
    model_builder build;
};

// Random linear models that enumeration proves unsatisfiable.
std::vector<unsat_model> unsatisfiable_linear_models(unsigned count) {
    std::vector<unsat_model> models;
    std::mt19937 rng(77);
    for (unsigned instance = 0; models.size() < count; ++instance) {
        auto m = std::make_shared<qarn_test::linear_model>(
            qarn_test::random_linear_model(rng, false));
        bool feasible = false;
        m->enumerate([&](const std::vector<int>&) { feasible = true; });
        if (!feasible)
            models.push_back({"linear " + std::to_string(instance),
                              [m](solver& s) { m->build(s); }});
    }
    return models;
}

// The settings that change what the search learns and keeps.
struct setting {
    const char* name;
    bool combine;
    unsigned restart_interval;
    unsigned erase_period, keep_window;
    int relaxation;
    bool relax_cause;
};
const setting settings[] = {
    {"defaults", true, 16, 256, 512, 2, false},
    {"no combination", false, 16, 256, 512, 2, false},
    {"eager restarts and erasure", true, 2, 2, 1, 2, false},
    {"eager erasure, no combination", false, 4, 2, 1, 2, false},
    {"no restarts", true, 0, 256, 512, 2, false},
    {"relaxation within a level, relaxed cause", true, 16, 256, 512, 1, true},
    {"no relaxation", true, 16, 256, 512, 0, false},
};

void configure(solver& s, const setting& c) {
    s.m_intersect_with_ground = false;
    s.m_combine_general = c.combine;
    s.m_initial_restart_interval = c.restart_interval;
    s.m_erase_period = c.erase_period;
    s.m_keep_window = c.keep_window;
    s.m_literal_relaxation = c.relaxation;
    s.m_relax_cause = c.relax_cause;
    s.produce_proof(true);
}

// Solves a model with proofs on and the defaults otherwise.
solver::result_type solve_with_proof(solver& s, const model_builder& build, std::ostream& out) {
    build(s);
    configure(s, settings[0]);
    return s.solve(&out);
}

const proof_collector& collector_of(const solver& s) {
    return dynamic_cast<const proof_collector&>(s.proof_collector());
}

std::string printed_proof(const solver& s) {
    std::ostringstream os;
    s.print_recent_proof(os);
    return os.str();
}

// The learned constraints a walk of the proof resolves with.
class learned_operands : public proof_visitor {
public:
    explicit learned_operands(unsigned first) : m_first(first) {}
    void visit_explanation(int) override {}
    void visit_resolution(unsigned, int, const clause_data&, int id2, const clause_data&, int,
                          const clause_data&) override {
        if (id2 >= 0 && static_cast<unsigned>(id2) >= m_first)
            ids.push_back(static_cast<unsigned>(id2));
    }
    void visit_initial_resolution(unsigned, const iset&, int, const clause_data&, int,
                                  const clause_data&) override {}
    std::vector<unsigned> ids;

private:
    unsigned m_first;
};

TEST(ProofCheck, EveryRefutationIsAccepted) {
    std::vector<unsat_model> models = {{"pigeonhole 5 in 4", pigeonhole(5, 4)},
                                       {"pigeonhole 6 in 5", pigeonhole(6, 5)},
                                       {"pigeonhole by value 6 in 5", pigeonhole_by_value(6, 5)}};
    for (unsat_model& m : unsatisfiable_linear_models(40))
        models.push_back(std::move(m));
    unsigned erased_runs = 0;
    for (const setting& c : settings) {
        for (const unsat_model& m : models) {
            SCOPED_TRACE(m.name + ", " + c.name);
            solver s;
            m.build(s);
            configure(s, c);
            std::ostringstream out;
            ASSERT_EQ(s.solve(&out), solver::UNSAT);
            EXPECT_TRUE(s.is_correctly_unsat()) << out.str();
            // Every proof ends in the empty clause.
            const std::string proof = printed_proof(s);
            EXPECT_EQ(proof.substr(proof.size() - 6), "] []\n\n");
            for (unsigned k = s.first_learned(); k < s.constraint_count(); ++k)
                if (!s.propagator(k)) {
                    ++erased_runs;
                    break;
                }
        }
    }
    EXPECT_GT(erased_runs, 3u);
}

TEST(ProofCheck, CorruptedRecordsAreRejected) {
    // The last step withdrawn: the final clause keeps a literal that the
    // initial domains do not falsify.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s, pigeonhole(5, 4), out), solver::UNSAT);
        s.proof_collector().pop_resolution_entry();
        EXPECT_FALSE(s.is_correctly_unsat());
        EXPECT_NE(out.str().find(" does not empty the domain\n"), std::string::npos) << out.str();
    }
    // A literal of a learned clause the proof uses changed after the search.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s, pigeonhole(5, 4), out), solver::UNSAT);
        learned_operands used(s.first_learned());
        collector_of(s).traverse_proof(used);
        ASSERT_FALSE(used.ids.empty());
        const unsigned k = used.ids.front();
        auto& clause = dynamic_cast<clause_propagator&>(*s.propagator(k));
        clause.forget_watches();
        clause.update_literals()[0] = iset(0, 1);
        EXPECT_FALSE(s.is_correctly_unsat());
        EXPECT_NE(out.str().find("clause[" + std::to_string(k) +
                                 "] has different literals than previously\n"),
                  std::string::npos)
            << out.str();
    }
}

TEST(ProofCheck, CheckerMessages) {
    solver s;
    add_vars(s, 2, iset(0, 1));
    post_clause(s, {0, 1}, {iset(1), iset(1)});
    post_clause(s, {0}, {iset(0)});
    post_clause(s, {1}, {iset(0)});
    s.produce_proof(true);
    const proof_collector& collector = collector_of(s);
    const clause_data c0{{0, iset(1)}, {1, iset(1)}}, c1{{0, iset(0)}}, c2{{1, iset(0)}};
    const clause_data y1{{1, iset(1)}}, wrong{{1, iset(0, 1)}};
    const struct {
        const char* name;
        std::function<void(proof_checker_visitor&)> steps;
        const char* message; // empty: accepted
    } cases[] = {
        {"a correct step",
         [&](proof_checker_visitor& v) { v.visit_resolution(0, 0, c0, 1, c1, -1, y1); }, ""},
        {"a wrong resolvent",
         [&](proof_checker_visitor& v) { v.visit_resolution(0, 0, c0, 1, c1, -1, wrong); },
         "Resolution between clause[0] and clause[1] gave wrong clause[-1]\n"},
        {"an operand unlike the solver's clause",
         [&](proof_checker_visitor& v) { v.visit_resolution(0, 0, c1, 1, c1, -1, c1); },
         "clause[0] has different literals than passed by the proof algorithm\n"},
        {"an id met again with other literals",
         [&](proof_checker_visitor& v) {
             v.visit_resolution(0, 0, c0, 1, c1, 5, y1);
             v.visit_resolution(1, 5, wrong, 2, c2, -2, c2);
         },
         "clause[5] has different literals than previously\n"},
        {"an initial domain that keeps a value",
         [&](proof_checker_visitor& v) { v.visit_initial_resolution(1, iset(0, 1), 2, c2, -1, {}); },
         "Resolution of clause[2] with initial domain of x1 does not empty the domain\n"},
        {"an initial resolution leaving other literals",
         [&](proof_checker_visitor& v) { v.visit_initial_resolution(1, iset(1), 2, c2, -1, y1); },
         "Initial domain of x1 does not contain its declared domain\n"
         "Resolution of clause[2] with initial domain of x1 is different than passed "
         "clause[-1]\n"},
        {"an initial domain smaller than the declared one",
         [&](proof_checker_visitor& v) { v.visit_initial_resolution(1, iset(1), 2, c2, -1, {}); },
         "Initial domain of x1 does not contain its declared domain\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream os;
        proof_checker_visitor checker(collector, &os);
        c.steps(checker);
        EXPECT_EQ(checker.ok(), std::string(c.message).empty()) << c.name;
        EXPECT_EQ(os.str(), c.message) << c.name;
    }
}

TEST(ProofPrint, SmallRefutations) {
    // All four clauses over two 0/1 variables.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s,
                                   [](solver& t) {
                                       add_vars(t, 2, iset(0, 1));
                                       post_clause(t, {0, 1}, {iset(1), iset(1)});
                                       post_clause(t, {0, 1}, {iset(1), iset(0)});
                                       post_clause(t, {0, 1}, {iset(0), iset(1)});
                                       post_clause(t, {0, 1}, {iset(0), iset(0)});
                                   },
                                   out),
                  solver::UNSAT);
        EXPECT_EQ(printed_proof(s),
                  "resolve[x1] [0] [x0=1, x1=1] with [1] [x0=1, x1=0]\n"
                  "consequent: [4] [x0=1]\n\n"
                  "resolve[x1] [2] [x0=0, x1=1] with [3] [x0=0, x1=0]\n"
                  "consequent: [-1] [x0=0]\n\n"
                  "resolve[x0] [-1] [x0=0] with [4] [x0=1]\n"
                  "consequent: [5] []\n\n");
        EXPECT_TRUE(s.is_correctly_unsat());
    }
    // Contradictory units: refuted by the first propagation at level 0, the
    // explanation of a linear constraint included.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s,
                                   [](solver& t) {
                                       add_vars(t, 2, iset(0, 3));
                                       post_clause(t, {0}, {iset(0, 1)});
                                       constraint_connectivity_info& r = t.add_constraint(
                                           std::make_unique<linear_combination_ge_propagator>(
                                               5, std::vector<int>{1, 1}));
                                       r << 0 << 1;
                                       post_clause(t, {1}, {iset(0, 2)});
                                   },
                                   out),
                  solver::UNSAT);
        EXPECT_EQ(printed_proof(s),
                  std::string("constraint[1](x0+x1>=5)\nconsequent: [-1] [x0>=2, x1>=4]\n\n"
                              "resolve[x0] [-1] [x0>=2, x1>=4] with [0] ") +
                      (MIN_DOMAIN < 0 ? "[x0:{0,1}]" : "[x0<=1]") +
                      "\nconsequent: [3] [x1>=4]\n\n"
                      "resolve[x1] [3] [x1>=4] with initial domain (x1:{0:3})\n"
                      "consequent: [-2] []\n\n");
        EXPECT_TRUE(s.is_correctly_unsat());
    }
}

TEST(ProofCheck, RecordsRestingOnMoreThanTheModelAreRejected) {
    // A second search without a new solve, as the optimisation loop runs
    // them: its record may resolve with clauses learned by the first, whose
    // derivations it does not hold.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s, pigeonhole(5, 4), out), solver::UNSAT);
        ASSERT_TRUE(s.is_correctly_unsat());
        const unsigned model = s.model_constraint_count();
        ASSERT_LT(model, s.constraint_count());
        s.reset();
        ASSERT_EQ(s.solve_current_constraints(false), solver::UNSAT);
        // The second search fails at once on the empty clause the first
        // one learned: its record holds no step.
        EXPECT_EQ(printed_proof(s), "");
        EXPECT_FALSE(s.is_correctly_unsat());
        EXPECT_EQ(out.str(), "No step of the proof derives the empty clause\n");
    }
    // A domain narrowed after the search (as the optimisation loop narrows
    // the objective's): the proof would state it as an initial domain.
    {
        solver s;
        std::ostringstream out;
        ASSERT_EQ(solve_with_proof(s, pigeonhole_by_value(4, 3), out), solver::UNSAT);
        ASSERT_TRUE(s.is_correctly_unsat());
        s.reset();
        for (unsigned v = 0; v < s.var_count(); ++v)
            s.set_var_domain(v, iset(0, 1), -1);
        EXPECT_FALSE(s.is_correctly_unsat());
        EXPECT_NE(out.str().find(" does not contain its declared domain\n"), std::string::npos)
            << out.str();
    }
}

TEST(ProofCheck, NoProofForADomainEmptiedBeforeTheSearch) {
    const struct {
        bool print, validate;
        const char* line;
    } cases[] = {
        {true, false, "c no proof: a domain was emptied while the model was built\n"},
        {false, true,
         "c no proof: a domain was emptied while the model was built; nothing was validated\n"},
        {true, true,
         "c no proof: a domain was emptied while the model was built; nothing was validated\n"},
    };
    for (const auto& c : cases) {
        solver s;
        s.add_var(iset(0, 1), "x", false);
        s.add_var(iset(), "e", false);
        s.m_intersect_with_ground = false;
        s.produce_proof(true);
        s.m_produce_proof = c.print;
        s.m_validate_unsat = c.validate;
        std::ostringstream out;
        ASSERT_EQ(s.solve(&out), solver::UNSAT);
        EXPECT_EQ(out.str(), c.line);
        EXPECT_EQ(s.constraint_count(), 0u);
        EXPECT_EQ(error_of([&] { s.is_correctly_unsat(); }),
                  "No unsatisfiability record available");
    }
}

TEST(ProofCheck, OptimisationPrintsNoProofOfItsOptimum) {
    // Minimise x0 + x1 subject to x0 + x1 >= 3: the last search, below the
    // optimum, is refuted, but its record rests on the objective's bound.
    solver s;
    add_vars(s, 3, iset(0, 4));
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(0, std::vector<int>{1, 1, -1}))
        << 0 << 1 << 2;
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(0, std::vector<int>{-1, -1, 1}))
        << 0 << 1 << 2;
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(3, std::vector<int>{1, 1}))
        << 0 << 1;
    s.m_objective_var = 2;
    s.m_intersect_with_ground = false;
    s.produce_proof(true);
    s.m_produce_proof = true;
    s.m_validate_unsat = true;
    std::ostringstream out;
    testing::internal::CaptureStdout();
    const solver::result_type r = s.solve(&out);
    const std::string progress = testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, solver::OPTIMAL);
    EXPECT_EQ(s.m_best_value, 3);
    EXPECT_TRUE(s.optimum_proven());
    EXPECT_NE(progress.find("went past best value"), std::string::npos);
    EXPECT_EQ(out.str(), "c no proof: the optimisation loop records none; nothing was validated\n");
    // Checked all the same, the last round's record is refused.
    std::ostringstream messages;
    s.m_out = &messages;
    EXPECT_FALSE(s.is_correctly_unsat());
    EXPECT_NE(messages.str().find(" does not contain its declared domain\n"), std::string::npos)
        << messages.str();
    // The model is the one the first search started from.
    EXPECT_EQ(s.model_constraint_count(), 3u);
    ASSERT_NE(s.declared_domain(2), nullptr);
    EXPECT_TRUE(iset::same_elements(*s.declared_domain(2), iset(0, 4)));
}

TEST(ProofCheck, OptimisationOfAnUnsatisfiableModelPrintsItsProof) {
    solver s;
    add_vars(s, 3, iset(0, 4));
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(9, std::vector<int>{1, 1}))
        << 0 << 1;
    s.m_objective_var = 2;
    s.m_intersect_with_ground = false;
    s.produce_proof(true);
    s.m_produce_proof = true;
    s.m_validate_unsat = true;
    std::ostringstream out;
    testing::internal::CaptureStdout();
    const solver::result_type r = s.solve(&out);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, solver::UNSAT);
    EXPECT_TRUE(s.is_correctly_unsat());
    EXPECT_EQ(out.str(), printed_proof(s));
    EXPECT_EQ(out.str().substr(out.str().size() - 6), "] []\n\n");
}

TEST(ProofCollector, Errors) {
    solver s;
    add_vars(s, 2, iset(0, 3));
    post_clause(s, {0, 1}, {iset(1), iset(2)});
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(5, std::vector<int>{1, 1}))
        << 0 << 1;
    EXPECT_EQ(error_of([&] { s.is_correctly_unsat(); }),
              "solver::is_correctly_unsat() works only when proof mechanism is activated");
    s.produce_proof(true);
    const proof_collector& collector = collector_of(s);
    proof_checker_visitor checker(collector, nullptr);
    EXPECT_EQ(error_of([&] { collector.traverse_proof(checker); }),
              "No unsatisfiability record available");
    EXPECT_EQ(error_of([&] { s.is_correctly_unsat(); }), "No unsatisfiability record available");
    clause_data out;
    EXPECT_EQ(error_of([&] { collector.get_clause(1, out); }),
              "proof_collector::get_solver_clause(): not a clause");
    EXPECT_EQ(error_of([&] { collector.get_clause(-1, out); }),
              "proof_collector::get_clause(): non-explanation intermediate constraints are not "
              "supported");
    collector.get_clause(0, out);
    EXPECT_TRUE(out.equivalent(clause_data{{0, iset(1)}, {1, iset(2)}}));
}

TEST(ProofCollector, RecordsExplanationsAndWithdrawsSteps) {
    solver s;
    add_vars(s, 2, iset(0, 3));
    post_clause(s, {0, 1}, {iset(1), iset(2)});
    s.add_constraint(std::make_unique<linear_combination_ge_propagator>(5, std::vector<int>{1, 1}))
        << 0 << 1;
    proof_collector collector(s);
    collector.record_conflict(1, {iset(0, 1), iset()}, nullptr);
    collector.record_resolution(0, {iset(1), iset(2)}, 0, nullptr);
    collector.record_resolution(1, {iset(), iset(0, 2)}, 1, nullptr);
    ASSERT_EQ(collector.entries().size(), 3u);
    EXPECT_EQ(collector.entries()[0].id, -1);
    EXPECT_EQ(collector.entries()[1].id, 0);
    EXPECT_EQ(collector.entries()[2].id, -2);
    EXPECT_EQ(collector.explanation_count(), 2u);
    EXPECT_TRUE(collector.is_explanation_clause(-2));
    EXPECT_FALSE(collector.is_explanation_clause(-3));
    EXPECT_EQ(collector.get_constraint_explained_by(-1), 1u);
    // Empty sets leave no literal.
    clause_data clause;
    collector.get_clause(-1, clause);
    EXPECT_TRUE(clause.equivalent(clause_data{{0, iset(0, 1)}}));
    EXPECT_EQ(clause.size(), 1u);
    // Withdrawing the last step drops its explanation record too.
    collector.pop_resolution_entry();
    EXPECT_EQ(collector.entries().size(), 2u);
    EXPECT_EQ(collector.explanation_count(), 1u);
    collector.pop_resolution_entry();
    EXPECT_EQ(collector.explanation_count(), 1u);
}

TEST(ProofCollector, Resolvent) {
    const struct {
        const char* name;
        clause_data c1, c2;
        unsigned pivot;
        clause_data expected;
    } cases[] = {
        {"pivot sets meet", {{0, iset(1, 3)}, {1, iset(1)}}, {{0, iset(2, 5)}, {2, iset(0)}}, 0,
         {{1, iset(1)}, {2, iset(0)}, {0, iset(2, 3)}}},
        {"pivot sets apart", {{0, iset(1)}, {1, iset(1)}}, {{0, iset(0)}, {1, iset(3)}}, 0,
         {{1, values({1, 3})}}},
        {"pivot split over literals", {{0, iset(1)}, {0, iset(2)}}, {{0, iset(2, 3)}}, 0,
         {{0, iset(2)}}},
    };
    for (const auto& c : cases) {
        clause_data out;
        proof_collector::resolve(c.c1, c.c2, c.pivot, out);
        ASSERT_EQ(out.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].variable, c.expected[i].variable) << c.name;
            EXPECT_TRUE(iset::same_elements(out[i].values, c.expected[i].values)) << c.name;
        }
    }
}

}  // namespace proof_test
