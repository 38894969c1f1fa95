// Table constraints: arc consistency on random relations against brute
// force, the brute-force property harness, sharing of the decision diagram
// between relations and its collection, malformed tuple lists, and models
// with tables solved by the engine against enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/propagators/decision_diagram.h"
#include "impl/propagators/table_propagator.h"
#include "tests/unit/propagator_harness.h"
#include "tests/unit/test_helpers.h"

namespace table_propagator_test {

using namespace qarn;
using qarn_test::printed_solution_set;
using qarn_test::same;
using qarn_test::text;
using qarn_test::values;
using qarn_test::view_of;

typedef table_propagator_base::memory_manager memory_manager;
typedef std::vector<int> tuple;
typedef std::vector<tuple> tuple_list;

// A run-wide manager, as the driver has: made once, never destroyed.
memory_manager& run_manager() {
    static memory_manager* manager = new memory_manager;
    return *manager;
}

iset full_set() {
    iset s;
    s.complement();
    return s;
}

iset set_of(const std::vector<int>& vs) {
    iset s;
    for (int v : vs)
        s.insert(iset::range_type(v, v));
    return s;
}

// The values of each parameter that some tuple within the domains uses;
// empty sets when there is no such tuple.
std::vector<iset> brute_supports(const tuple_list& tuples, const std::vector<iset>& domains) {
    std::vector<iset> supported(domains.size());
    for (const tuple& t : tuples) {
        bool inside = t.size() == domains.size();
        for (std::size_t p = 0; p < t.size() && inside; ++p)
            inside = domains[p].contains(t[p]);
        if (inside)
            for (std::size_t p = 0; p < t.size(); ++p)
                supported[p].insert(iset::range_type(t[p], t[p]));
    }
    return supported;
}

bool any_support(const std::vector<iset>& supported) {
    return !supported.empty() && !supported[0].empty();
}

std::vector<iset> domains_of(const constraint_runtime_info& ri) {
    std::vector<iset> ds;
    for (unsigned p = 0; p < ri.arity(); ++p)
        ds.push_back(ri.domain(p));
    return ds;
}

template <class Rng>
tuple_list random_tuples(Rng& rng, unsigned arity, const std::vector<int>& pool, unsigned count) {
    tuple_list tuples;
    for (unsigned k = 0; k < count; ++k) {
        tuple t;
        for (unsigned p = 0; p < arity; ++p)
            t.push_back(pool[rng() % pool.size()]);
        tuples.push_back(t);
        if (rng() % 8 == 0)
            tuples.push_back(t); // repeated tuples change nothing
    }
    return tuples;
}

// A random non-empty part of the pool, at times with a value outside it, at
// times every value there is.
template <class Rng>
iset random_domain(Rng& rng, const std::vector<int>& pool, int outside) {
    if (rng() % 10 == 0)
        return full_set();
    iset d;
    for (int v : pool)
        if (rng() % 3 != 0)
            d.insert(iset::range_type(v, v));
    if (rng() % 4 == 0)
        d.insert(iset::range_type(outside, outside));
    if (d.empty())
        d.insert(iset::range_type(pool[0], pool[0]));
    return d;
}

// Value pools of the relations, with a value of the model's range that is
// in none of the pool's tuples.
struct pool_case {
    const char* name;
    std::vector<int> pool;
    int outside;
};

const std::vector<pool_case>& pools() {
    static const std::vector<pool_case> cases = {
#if QARN_SMALL_DOMAINS
        {"low", {0, 1, 2, 3, 4, 5}, 6},
        {"high", {27, 28, 29, 30, 31}, 0},
        {"spread", {0, 7, 14, 21, 28}, 3},
#else
        {"around zero", {-3, -2, -1, 0, 1, 2}, 3},
        {"extremes", {INT_MIN, INT_MIN + 1, -1, 0, INT_MAX - 1, INT_MAX}, 5},
        {"spread", {-10, -5, 0, 5, 10}, 3},
#endif
    };
    return cases;
}

// Propagates and compares with brute force: UNSAT exactly without a tuple
// within the domains, and otherwise every domain is exactly its supported
// values; conflicts() agrees.
void expect_arc_consistent(support_table_propagator& table, const tuple_list& tuples,
                           constraint_explicit_info& view, bool& unsat) {
    const std::vector<iset> before = domains_of(view);
    const std::vector<iset> expected = brute_supports(tuples, before);
    const bool has_support = any_support(expected);
    EXPECT_EQ(table.conflicts(view), !has_support) << text(before);
    const constraint_propagator::result_type r = table.propagate(view);
    unsat = r == constraint_propagator::UNSAT;
    ASSERT_EQ(unsat, !has_support) << text(before);
    EXPECT_TRUE(r == constraint_propagator::UNSAT || r == constraint_propagator::CONSISTENT) << r;
    if (unsat)
        return;
    for (unsigned p = 0; p < view.arity(); ++p)
        EXPECT_TRUE(same(view.domain(p), expected[p]))
            << "V" << p << " became {" << view.domain(p) << "}, expected {" << expected[p]
            << "} from " << text(before);
}

// ---------------------------------------------------------------------------
// Arc consistency

// Random relations and domains, then random removals until a conflict or
// single values, the propagator checked against brute force at every step.
TEST(TablePropagator, ArcConsistencyMatchesBruteForce) {
    struct shape {
        unsigned arity, tuples;
    };
    const shape shapes[] = {{1, 3}, {2, 6}, {2, 20}, {3, 15}, {3, 60}, {4, 40}, {5, 80}};
    std::mt19937 rng(1031);
    for (const pool_case& pool : pools()) {
        for (const shape& sh : shapes) {
            for (unsigned seed = 0; seed < 40; ++seed) {
                SCOPED_TRACE(std::string(pool.name) + " arity " + std::to_string(sh.arity) +
                             " tuples " + std::to_string(sh.tuples) + " seed " +
                             std::to_string(seed));
                const tuple_list tuples = random_tuples(rng, sh.arity, pool.pool, sh.tuples);
                support_table_propagator prototype(run_manager(), tuples);
                std::unique_ptr<constraint_propagator> copy = prototype.clone();
                support_table_propagator& table =
                    seed % 2 ? prototype : static_cast<support_table_propagator&>(*copy);
                std::vector<iset> domains;
                for (unsigned p = 0; p < sh.arity; ++p)
                    domains.push_back(random_domain(rng, pool.pool, pool.outside));
                constraint_explicit_info view = view_of(domains);
                bool unsat = false;
                for (;;) {
                    expect_arc_consistent(table, tuples, view, unsat);
                    if (unsat || ::testing::Test::HasFailure())
                        break;
                    std::vector<unsigned> open;
                    for (unsigned p = 0; p < sh.arity; ++p)
                        if (view.domain(p).size() > 1)
                            open.push_back(p);
                    if (open.empty()) {
                        // Single values: they form a listed tuple.
                        tuple t;
                        for (unsigned p = 0; p < sh.arity; ++p)
                            t.push_back(view.domain(p).min());
                        EXPECT_TRUE(table.constraint_check(view));
                        EXPECT_NE(std::find(tuples.begin(), tuples.end(), t), tuples.end());
                        break;
                    }
                    const unsigned p = open[rng() % open.size()];
                    iset d = view.domain(p);
                    const int v = d.rand();
                    d.erase(iset::range_type(v, v));
                    view.set_domain(p, d);
                }
            }
        }
    }
}

// The ground check on every assignment of the pool's values.
TEST(TablePropagator, ConstraintCheckIsMembership) {
    std::mt19937 rng(77);
    for (const pool_case& pool : pools()) {
        for (unsigned arity : {1u, 2u, 3u}) {
            const tuple_list tuples = random_tuples(rng, arity, pool.pool, 4 * arity);
            const std::set<tuple> listed(tuples.begin(), tuples.end());
            support_table_propagator table(run_manager(), tuples);
            std::vector<std::vector<int>> choices(arity, pool.pool);
            for (std::vector<int>& c : choices)
                c.push_back(pool.outside);
            qarn_test::harness_detail::for_each_tuple(choices, [&](const tuple& t) {
                std::vector<iset> ds;
                for (int v : t)
                    ds.push_back(iset(v));
                constraint_explicit_info view = view_of(ds);
                EXPECT_EQ(table.constraint_check(view), listed.count(t) != 0)
                    << pool.name << " " << qarn_test::harness_detail::text(t);
            });
        }
    }
}

// Small cases with known answers.
TEST(TablePropagator, KnownCases) {
    struct known {
        const char* name;
        tuple_list tuples;
        std::vector<iset> domains;
        bool unsat;
        std::vector<iset> expected;
    };
    const known cases[] = {
        // Value 1 of the second column is recorded by root 0's walk, value 2
        // is found from root 1.
        {"first column narrowed", {{1, 1}, {1, 2}}, {values({1, 2}), values({1, 2})}, false,
         {values({1}), values({1, 2})}},
        {"one column", {{4}, {1}, {9}}, {iset(0, 20)}, false, {values({1, 4, 9})}},
        {"one column, nothing left", {{4}, {1}}, {values({2, 3})}, true, {}},
        {"whole ranges become the column values", {{1, 5}, {3, 7}}, {full_set(), full_set()},
         false, {values({1, 3}), values({5, 7})}},
        {"value whose tuples use removed values goes", {{0, 0, 0}, {1, 2, 0}, {1, 0, 2}, {2, 1, 1}},
         {values({0, 1, 2}), values({0, 1}), values({0, 1})}, false,
         {values({0, 2}), values({0, 1}), values({0, 1})}},
        {"value with one surviving tuple stays", {{1, 0}, {1, 1}, {1, 2}, {2, 2}},
         {values({1, 2}), values({0})}, false, {values({1}), values({0})}},
        {"domain outside every tuple", {{1, 2}, {2, 1}}, {values({3}), values({1, 2})}, true, {}},
        {"empty domain", {{1, 2}}, {iset(), values({2})}, true, {}},
        {"no tuple list", {}, {values({1})}, true, {}},
        {"more parameters than columns", {{1, 2}}, {values({1}), values({2}), values({3})}, true,
         {}},
        {"fewer parameters than columns", {{1, 2, 3}}, {values({1}), values({2})}, true, {}},
    };
    for (const known& k : cases) {
        SCOPED_TRACE(k.name);
        support_table_propagator table(run_manager(), k.tuples);
        constraint_explicit_info view = view_of(k.domains);
        EXPECT_EQ(table.conflicts(view), k.unsat);
        EXPECT_EQ(table.propagate(view) == constraint_propagator::UNSAT, k.unsat);
        for (unsigned p = 0; p < k.expected.size(); ++p)
            EXPECT_TRUE(same(view.domain(p), k.expected[p]))
                << "V" << p << " = {" << view.domain(p) << "}";
    }
}

TEST(TablePropagator, ParameterCountAndGroundCheckWithoutColumns) {
    support_table_propagator none(run_manager(), {});
    support_table_propagator pairs(run_manager(), {{1, 2}, {3, 4}});
    EXPECT_EQ(none.count_params(), 0xFFFFFFFFu);
    EXPECT_EQ(pairs.count_params(), 2u);
    EXPECT_EQ(pairs.clone()->count_params(), 2u);
    constraint_explicit_info one = view_of({values({1})});
    constraint_explicit_info two = view_of({values({1}), values({2})});
    constraint_explicit_info three = view_of({values({1}), values({2}), values({3})});
    EXPECT_FALSE(none.find_tuple(one));
    EXPECT_TRUE(pairs.find_tuple(two));
    EXPECT_FALSE(pairs.find_tuple(one));
    EXPECT_FALSE(pairs.find_tuple(three));
    EXPECT_FALSE(pairs.find_tuple(view_of({iset(), values({2})})));
    // Nothing to satisfy without parameters: no conflict.
    EXPECT_FALSE(none.conflicts(view_of({})));
    EXPECT_TRUE(none.conflicts(one));
}

// ---------------------------------------------------------------------------
// The property harness: soundness, explanations (through the explanation
// tester's self-check) and ground completeness.

qarn_test::propagator_row support_table_row(const std::string& name, unsigned arity,
                                            int width) {
    return {name, arity, qarn_test::standard_windows(width),
            [arity](const qarn_test::value_window& w) {
                const std::vector<int> box = qarn_test::widened_box(w);
                tuple_list tuples;
                qarn_test::harness_detail::for_each_tuple(
                    std::vector<std::vector<int>>(arity, box), [&](const tuple& t) {
                        if (qarn::random::gen(3) == 0)
                            tuples.push_back(t);
                    });
                const std::set<tuple> allowed(tuples.begin(), tuples.end());
                return qarn_test::propagator_case{
                    std::make_unique<support_table_propagator>(run_manager(), tuples),
                    [allowed](const tuple& t) { return allowed.count(t) != 0; }};
            }};
}

class TablePropertyTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(TablePropertyTest, AgreesWithBruteForce) {
    const unsigned arity = GetParam();
    EXPECT_EQ(qarn_test::check_propagator(
                  support_table_row("table" + std::to_string(arity), arity, arity >= 4 ? 3 : 5)),
              "");
}

INSTANTIATE_TEST_SUITE_P(Arities, TablePropertyTest, ::testing::Values(1u, 2u, 3u, 4u));

// ---------------------------------------------------------------------------
// The shared diagram

// Tables checked against brute force on random domains over the pool.
void expect_still_correct(support_table_propagator& table, const tuple_list& tuples,
                          const std::vector<int>& pool, std::mt19937& rng) {
    const unsigned arity = static_cast<unsigned>(tuples.front().size());
    for (unsigned k = 0; k < 20; ++k) {
        std::vector<iset> domains;
        for (unsigned p = 0; p < arity; ++p)
            domains.push_back(random_domain(rng, pool, pool.back() + 1));
        constraint_explicit_info view = view_of(domains);
        bool unsat = false;
        expect_arc_consistent(table, tuples, view, unsat);
    }
}

TEST(TableSharing, EqualRelationsShareTheirRoots) {
    memory_manager manager;
    const tuple_list tuples = {{3, 1, 2}, {1, 1, 1}, {2, 3, 1}, {1, 2, 3}};
    tuple_list shuffled = {{1, 2, 3}, {2, 3, 1}, {1, 1, 1}, {3, 1, 2}, {1, 2, 3}};
    support_table_propagator a(manager, tuples);
    const std::size_t nodes = manager.node_count();
    support_table_propagator b(manager, shuffled);
    EXPECT_EQ(manager.node_count(), nodes);
    EXPECT_EQ(a.relation().roots(), b.relation().roots());
    EXPECT_EQ(manager.root_count(), 6u);
    std::ostringstream printed_a, printed_b;
    a.relation().print_tuples(printed_a);
    b.relation().print_tuples(printed_b);
    EXPECT_EQ(printed_a.str(), "1 1 1\n1 2 3\n2 3 1\n3 1 2\n");
    EXPECT_EQ(printed_b.str(), printed_a.str());

    // Clones and copies share the relation object itself.
    std::unique_ptr<constraint_propagator> c = a.clone();
    support_table_propagator d(a);
    EXPECT_EQ(&static_cast<support_table_propagator&>(*c).relation(), &a.relation());
    EXPECT_EQ(a.relation().reference_count(), 3u);
    d = b;
    EXPECT_EQ(a.relation().reference_count(), 2u);
    EXPECT_EQ(b.relation().reference_count(), 2u);
    EXPECT_EQ(manager.root_count(), 6u);
}

// Relations whose roots coincide, within a table (a symmetric relation has
// the same root for both columns) and across tables: releasing one keeps
// the nodes of the others, even through collections.
TEST(TableSharing, ReleasingOneTableKeepsTheOthersIntact) {
    const std::vector<int> pool = {0, 1, 2, 3};
    const tuple_list symmetric = {{0, 1}, {1, 0}, {2, 3}, {3, 2}, {1, 1}};
    const tuple_list other = {{0, 0}, {0, 2}, {3, 1}};
    std::mt19937 rng(9);
    memory_manager manager;
    std::size_t alone;
    {
        support_table_propagator only(manager, symmetric);
        EXPECT_EQ(only.relation().root(0), only.relation().root(1));
        alone = manager.node_count();
    }
    EXPECT_EQ(manager.node_count(), 0u);

    auto first = std::make_unique<support_table_propagator>(manager, symmetric);
    auto second = std::make_unique<support_table_propagator>(manager, other);
    auto third = std::make_unique<support_table_propagator>(manager, symmetric);
    EXPECT_EQ(manager.root_count(), 6u);
    first.reset(); // releases two of the four registrations of the shared root
    manager.garbage_collect();
    EXPECT_EQ(manager.root_count(), 4u);
    expect_still_correct(*third, symmetric, pool, rng);
    expect_still_correct(*second, other, pool, rng);
    second.reset();
    manager.garbage_collect();
    EXPECT_EQ(manager.node_count(), alone);
    expect_still_correct(*third, symmetric, pool, rng);
    third.reset();
    EXPECT_EQ(manager.node_count(), 0u);
    EXPECT_EQ(manager.root_count(), 0u);
}

// Many relations, some equal, some sharing suffixes, with clones, released
// in random order: the survivors stay correct after every collection, and
// the store is empty once all are gone, without an explicit collection.
TEST(TableSharing, NodeCountsReturnToZero) {
    std::mt19937 rng(4242);
    const std::vector<int> pool = {0, 1, 2};
    memory_manager manager;
    struct table {
        tuple_list tuples;
        std::unique_ptr<constraint_propagator> propagator;
    };
    std::vector<table> tables;
    std::vector<tuple_list> relations;
    for (unsigned k = 0; k < 12; ++k)
        relations.push_back(random_tuples(rng, 2 + k % 3, pool, 3 + k));
    for (unsigned k = 0; k < 30; ++k) {
        const tuple_list& r = relations[rng() % relations.size()];
        if (!tables.empty() && rng() % 3 == 0) {
            const table& t = tables[rng() % tables.size()];
            tables.push_back({t.tuples, t.propagator->clone()});
        } else {
            tables.push_back({r, std::make_unique<support_table_propagator>(manager, r)});
        }
    }
    std::shuffle(tables.begin(), tables.end(), rng);
    while (!tables.empty()) {
        tables.pop_back();
        if (rng() % 2)
            manager.garbage_collect();
        for (table& t : tables)
            expect_still_correct(static_cast<support_table_propagator&>(*t.propagator), t.tuples,
                                 pool, rng);
        if (::testing::Test::HasFailure())
            return;
    }
    EXPECT_EQ(manager.node_count(), 0u);
    EXPECT_EQ(manager.root_count(), 0u);
}

TEST(TableSharing, MalformedTupleListsAreRejectedWithoutLeftovers) {
    memory_manager manager;
    const tuple_list ragged[] = {
        {{1, 2}, {3}},
        {{1}, {2, 3}},
        {{}, {1}},
        {{1, 2, 3}, {1, 2, 3}, {4, 5}},
    };
    const auto build = [&manager](const tuple_list& tuples) {
        support_table_propagator table(manager, tuples);
    };
    for (const tuple_list& tuples : ragged)
        EXPECT_THROW(build(tuples), std::invalid_argument) << tuples.size() << " tuples";
    EXPECT_EQ(manager.root_count(), 0u);
    EXPECT_EQ(manager.node_count(), 0u);
#if QARN_SMALL_DOMAINS
    // A value outside 0..31 fails after the roots were made: they are released.
    EXPECT_THROW(build(tuple_list{{1, 2}, {40, 3}}), std::out_of_range);
    EXPECT_EQ(manager.root_count(), 0u);
    manager.garbage_collect();
    EXPECT_EQ(manager.node_count(), 0u);
#endif
}

// ---------------------------------------------------------------------------
// Models with tables, solved by the engine

struct table_model {
    std::vector<std::vector<int>> domains;
    struct constraint {
        unsigned relation;
        std::vector<unsigned> scope;
    };
    std::vector<tuple_list> relations;
    std::vector<constraint> constraints;
};

bool satisfies(const table_model& m, const std::vector<int>& a) {
    for (unsigned v = 0; v < a.size(); ++v)
        if (std::find(m.domains[v].begin(), m.domains[v].end(), a[v]) == m.domains[v].end())
            return false;
    for (const table_model::constraint& c : m.constraints) {
        tuple t;
        for (unsigned v : c.scope)
            t.push_back(a[v]);
        const tuple_list& r = m.relations[c.relation];
        if (std::find(r.begin(), r.end(), t) == r.end())
            return false;
    }
    return true;
}

std::set<std::vector<int>> all_solutions(const table_model& m) {
    std::set<std::vector<int>> found;
    qarn_test::harness_detail::for_each_tuple(m.domains, [&](const std::vector<int>& a) {
        if (satisfies(m, a))
            found.insert(a);
    });
    return found;
}

table_model random_table_model(std::mt19937& rng) {
    table_model m;
    const unsigned n = 4 + rng() % 3;
    for (unsigned v = 0; v < n; ++v) {
        std::vector<int> d;
        for (int x = 0; x < 5; ++x)
            if (rng() % 4 != 0)
                d.push_back(x);
        if (d.empty())
            d.push_back(static_cast<int>(rng() % 5));
        m.domains.push_back(d);
    }
    const std::vector<int> pool = {0, 1, 2, 3, 4};
    const unsigned count = 2 + rng() % 4;
    for (unsigned k = 0; k < count; ++k) {
        const unsigned arity = 2 + rng() % 2;
        // Now and then a relation of the same arity is used again.
        unsigned relation = static_cast<unsigned>(m.relations.size());
        for (unsigned r = 0; r < m.relations.size(); ++r)
            if (m.relations[r].front().size() == arity && rng() % 2)
                relation = r;
        if (relation == m.relations.size())
            m.relations.push_back(random_tuples(rng, arity, pool, arity == 2 ? 10 : 45));
        std::vector<unsigned> vars(n);
        for (unsigned v = 0; v < n; ++v)
            vars[v] = v;
        std::shuffle(vars.begin(), vars.end(), rng);
        vars.resize(arity);
        m.constraints.push_back({relation, vars});
    }
    return m;
}

// One prototype per relation, cloned for every constraint that uses it, as
// the readers do.
void build(solver& s, memory_manager& manager, const table_model& m,
           std::vector<std::unique_ptr<support_table_propagator>>& prototypes) {
    for (unsigned v = 0; v < m.domains.size(); ++v)
        s.add_var(set_of(m.domains[v]), ("x" + std::to_string(v)).c_str(), false);
    for (const tuple_list& r : m.relations)
        prototypes.push_back(std::make_unique<support_table_propagator>(manager, r));
    for (const table_model::constraint& c : m.constraints) {
        constraint_connectivity_info& record = s.add_constraint(prototypes[c.relation]->clone());
        for (unsigned v : c.scope)
            record << v;
    }
}

std::vector<int> assignment_of(const solver& s) {
    std::vector<int> a;
    for (unsigned v = 0; v < s.var_count(); ++v) {
        const iset& d = s.domain(v);
        EXPECT_EQ(d.size(), 1u) << "x" << v << " = {" << d << "}";
        a.push_back(d.empty() ? -1 : d.min());
    }
    return a;
}

TEST(TableModels, SolverAgreesWithEnumeration) {
    std::mt19937 rng(2718);
    memory_manager manager;
    unsigned sat = 0, unsat = 0;
    for (unsigned i = 0; i < 150; ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        const table_model m = random_table_model(rng);
        const std::set<std::vector<int>> expected = all_solutions(m);
        ++(expected.empty() ? unsat : sat);
        {
            std::vector<std::unique_ptr<support_table_propagator>> prototypes;
            solver s;
            build(s, manager, m, prototypes);
            prototypes.clear(); // the clones keep the relations alive
            const solver::result_type r = s.solve(nullptr);
            EXPECT_EQ(r, expected.empty() ? solver::UNSAT : solver::SAT);
            if (r == solver::SAT) {
                EXPECT_TRUE(satisfies(m, assignment_of(s)));
            }
        }
        if (i % 3 == 0) {
            std::vector<std::unique_ptr<support_table_propagator>> prototypes;
            solver s;
            build(s, manager, m, prototypes);
            s.m_all_solutions = true;
            std::ostringstream out;
            const solver::result_type r = s.solve(&out);
            EXPECT_EQ(r, expected.empty() ? solver::UNSAT : solver::SAT_DONE);
            EXPECT_EQ(printed_solution_set(out.str()), expected);
        }
    }
    EXPECT_GT(sat, 20u);
    EXPECT_GT(unsat, 20u);
    EXPECT_EQ(manager.root_count(), 0u);
    EXPECT_EQ(manager.node_count(), 0u);
}

}  // namespace table_propagator_test
