// Brute-force properties of the propagators, one row per propagator (see
// propagator_harness.h), and the harness's own test: it accepts an exact
// brute-force propagator and catches each kind of mistake it is meant to.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "tests/unit/propagator_harness.h"
#include "tests/unit/table_reference_propagator.h"

namespace propagator_property_test {

using namespace qarn_test;

// A literal set over the window's box: mostly a random subset of it, now and
// then a set of the generators' shapes, and now and then the complement of
// either (reaching to the ends of the range).
qarn::iset random_literal(const value_window& w) {
    const std::vector<int> box = widened_box(w);
    qarn::iset s;
    if (qarn::random::gen(4) == 0) {
        s = qarn::random_var(true, box.front(), box.back());
    } else {
        const unsigned density = qarn::random::range(1u, 4u);
        for (int v : box)
            if (qarn::random::gen(8) < density)
                s.insert(qarn::iset::range_type(v, v));
    }
    if (qarn::random::gen(5) == 0)
        s.complement();
    return s;
}

// Some parameter lies in its literal.
reference_predicate clause_reference(const std::vector<qarn::iset>& literals) {
    return [literals](const std::vector<int>& t) {
        for (std::size_t i = 0; i < literals.size(); ++i)
            if (literals[i].contains(t[i]))
                return true;
        return false;
    };
}

typedef std::function<std::unique_ptr<qarn::constraint_propagator>(
    const std::vector<qarn::iset>& literals)>
    clause_factory;

propagator_row clause_row(const std::string& name, unsigned arity,
                          std::vector<value_window> windows, clause_factory make_clause) {
    return {name, arity, std::move(windows), [arity, make_clause](const value_window& w) {
                std::vector<qarn::iset> literals;
                for (unsigned i = 0; i < arity; ++i)
                    literals.push_back(random_literal(w));
                return propagator_case{make_clause(literals), clause_reference(literals)};
            }};
}

std::unique_ptr<qarn::constraint_propagator> watched_clause(
    const std::vector<qarn::iset>& literals) {
    auto clause = std::make_unique<qarn::clause_propagator>();
    clause->update_literals() = literals;
    return clause;
}

std::unique_ptr<qarn::constraint_propagator> stateless_clause(
    const std::vector<qarn::iset>& literals) {
    return std::make_unique<qarn::stateless_clause_propagator>(literals);
}

// x = y, or the clause over the parameters after them.
propagator_row equal_or_clause_row(const std::string& name, unsigned literals,
                                   std::vector<value_window> windows) {
    typedef qarn::disjoint_propagator<qarn::equal_propagator, qarn::clause_propagation_algo>
        equal_or_clause;
    return {name, 2 + literals, std::move(windows), [literals](const value_window& w) {
                std::vector<qarn::iset> sets;
                for (unsigned i = 0; i < literals; ++i)
                    sets.push_back(random_literal(w));
                const reference_predicate clause = clause_reference(sets);
                auto p = std::make_unique<equal_or_clause>(qarn::equal_propagator(),
                                                           qarn::clause_propagation_algo(sets));
                reference_predicate holds = [clause](const std::vector<int>& t) {
                    return t[0] == t[1] || clause(std::vector<int>(t.begin() + 2, t.end()));
                };
                return propagator_case{std::move(p), holds};
            }};
}

// Tuples of the window's box, each allowed with probability 1/3.
propagator_row table_row(const std::string& name, unsigned arity,
                         table_reference_propagator::fault fault) {
    return {name, arity, standard_windows(5), [arity, fault](const value_window& w) {
                const std::vector<int> box = widened_box(w);
                std::set<std::vector<int>> allowed;
                harness_detail::for_each_tuple(
                    std::vector<std::vector<int>>(arity, box), [&](const std::vector<int>& t) {
                        if (qarn::random::gen(3) == 0)
                            allowed.insert(t);
                    });
                auto table = std::make_unique<table_reference_propagator>(allowed, arity, fault);
                reference_predicate holds = [allowed](const std::vector<int>& t) {
                    return allowed.count(t) != 0;
                };
                return propagator_case{std::move(table), holds};
            }};
}

const std::vector<propagator_row>& rows() {
    static const std::vector<propagator_row> table = {
        clause_row("clause1", 1, standard_windows(), watched_clause),
        clause_row("clause2", 2, standard_windows(), watched_clause),
        clause_row("clause3", 3, standard_windows(), watched_clause),
        clause_row("clause4", 4, standard_windows(4), watched_clause),
        clause_row("stateless_clause1", 1, standard_windows(), stateless_clause),
        clause_row("stateless_clause2", 2, standard_windows(), stateless_clause),
        clause_row("stateless_clause3", 3, standard_windows(), stateless_clause),
        {"equal", 2, standard_windows(),
         [](const value_window&) {
             return propagator_case{std::make_unique<qarn::equal_propagator>(),
                                    [](const std::vector<int>& t) { return t[0] == t[1]; }};
         }},
        equal_or_clause_row("equal_or_clause1", 1, standard_windows()),
        equal_or_clause_row("equal_or_clause2", 2, standard_windows(4)),
    };
    return table;
}

class PropagatorProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(PropagatorProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, PropagatorProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

TEST(PropagatorHarness, AcceptsAnExactPropagator) {
    harness_options options;
    options.seeds = 100;
    for (unsigned arity : {1u, 2u, 3u})
        EXPECT_EQ(check_propagator(table_row("table" + std::to_string(arity), arity,
                                             table_reference_propagator::NONE),
                                   options),
                  "");
}

// Each mistake is caught, by the harness's own checks (without the tester)
// or by the tester's, with the failure naming the row and the seed.
TEST(PropagatorHarness, CatchesFaults) {
    typedef table_reference_propagator t;
    const struct {
        t::fault fault;
        bool use_tester;
        const char* expected;
    } cases[] = {
        {t::DROPS_SUPPORT, false, ": removed solution ("},
        {t::EARLY_VALID, false, ": VALID although ("},
        {t::IGNORES_GROUND_CONFLICT, false, ": no UNSAT although it violates"},
        {t::NO_WATCHES, false, ", which violates it, without UNSAT"},
        {t::EMPTY_EXPLANATION, false, ": excludes solution ("},
        {t::CONFLICT_HITS_DOMAIN, false, "conflict explanation ["},
        {t::PARAM_HITS_DOMAIN, false, " keeps a removed value"},
        {t::OTHERS_HIT_DOMAIN, false, " names a value of the domain"},
        {t::SHORT_EXPLANATION, false, ": wrong number of sets"},
        {t::NEVER_CONFLICTS, true, "test_check(known_to_conflict == (result == UNSAT))"},
        {t::TOUCH_AND_RESTORE, true, "test_check(m_first_activation ||"},
        {t::WRONG_RULE, true, "test_check(explanation == rule_explanation)"},
    };
    for (const auto& c : cases) {
        harness_options options;
        options.use_tester = c.use_tester;
        const std::string failure = check_propagator(table_row("faulty", 2, c.fault), options);
        EXPECT_EQ(failure.rfind("faulty, seed ", 0), 0u) << failure;
        EXPECT_NE(failure.find(c.expected), std::string::npos)
            << "fault " << c.fault << ": " << failure;
    }
}

}  // namespace propagator_property_test
