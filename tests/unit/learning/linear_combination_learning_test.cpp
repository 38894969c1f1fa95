// Combination of constraints during learning. For pairs of constraints that
// share a pivot variable, every combined constraint must be implied by the
// pair: checked by enumerating every assignment of a small box, for each
// kind that combines (differences in their three forms, linear
// combinations with each other, with differences and with parity sums, and
// equalities substituting into other constraints). Then random linear models
// built through the solver are solved with combination on and off, and the
// answers and optima compared with brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/interval_propagators.h"
#include "impl/propagators/linear_combination.h"
#include "impl/propagators/literal_propagators.h"
#include "impl/propagators/sum_propagators.h"
#include "tests/unit/learning/random_linear_model.h"

namespace linear_combination_learning_test {

using namespace qarn;
using qarn_test::linear_model;
using qarn_test::random_linear_model;
using qarn_test::two_of;

// A constraint over variables of a joint numbering.
struct posted {
    std::shared_ptr<constraint_propagator> p;
    std::vector<unsigned> vars;
};

// Variables take the values 0 .. box - 1; domains are drawn in there too.
int box = 5;

bool holds(const constraint_propagator& p, const std::vector<unsigned>& vars,
           const std::vector<int>& assignment) {
    constraint_explicit_info ri(static_cast<unsigned>(vars.size()));
    for (unsigned i = 0; i < vars.size(); ++i)
        ri.set_domain(i, iset(assignment[vars[i]]));
    return p.constraint_check(ri);
}

constraint_explicit_info view_of(const std::vector<unsigned>& vars,
                                 const std::vector<iset>& domains) {
    constraint_explicit_info ri(static_cast<unsigned>(vars.size()));
    for (unsigned i = 0; i < vars.size(); ++i)
        ri.set_domain(i, domains[vars[i]]);
    return ri;
}

// self combined with other on the variable `pivot`, the parameters numbered
// as learning numbers them: self's own first, other's unshared parameter k as
// self's arity + k. Null when refused.
std::unique_ptr<constraint_propagator> combine(const posted& self, const posted& other,
                                               unsigned pivot, const std::vector<iset>& domains,
                                               std::vector<unsigned>& vars) {
    const unsigned n = static_cast<unsigned>(self.vars.size());
    std::vector<unsigned> map;
    unsigned param = 0;
    for (unsigned k = 0; k < other.vars.size(); ++k) {
        const auto at = std::find(self.vars.begin(), self.vars.end(), other.vars[k]);
        map.push_back(at != self.vars.end() ? static_cast<unsigned>(at - self.vars.begin())
                                            : n + k);
        if (other.vars[k] == pivot)
            param = k;
    }
    const auto self_ri = view_of(self.vars, domains);
    const auto other_ri = view_of(other.vars, domains);
    std::vector<unsigned> out;
    std::unique_ptr<constraint_propagator> r =
        self.p->combine(self_ri, *other.p, other_ri, map, param, out);
    vars.clear();
    if (r)
        for (unsigned e : out)
            vars.push_back(e < n ? self.vars[e] : other.vars.at(e - n));
    return r;
}

// Every assignment of `count` variables over 0 .. box - 1.
template <class F>
void for_each_assignment(unsigned count, F f) {
    std::vector<int> a(count, 0);
    for (;;) {
        f(a);
        unsigned i = 0;
        while (i < count && ++a[i] == box)
            a[i++] = 0;
        if (i == count)
            return;
    }
}

// A name for the kind of a combined constraint.
std::string kind_of(const constraint_propagator& p) {
    typedef disjoint_propagator<no_sub_interval_propagator, clause_propagation_algo>
        no_sub_interval_or_clause;
    if (const auto* clause = dynamic_cast<const clause_propagator*>(&p))
        return clause->literals().empty() ? "empty clause" : "clause";
    if (dynamic_cast<const difference_ge_propagator*>(&p))
        return "difference";
    if (dynamic_cast<const difference_ge_or_clause_propagator*>(&p))
        return "difference or clause";
    if (dynamic_cast<const literal_or_difference_ge_propagator*>(&p))
        return "literal or difference";
    if (dynamic_cast<const equal_propagator*>(&p))
        return "equal";
    if (dynamic_cast<const linear_combination_ge_propagator*>(&p))
        return "linear";
    if (dynamic_cast<const no_sub_interval_propagator*>(&p))
        return "no sub-interval";
    if (dynamic_cast<const no_sub_interval_or_clause*>(&p))
        return "no sub-interval or clause";
    return "other";
}

iset random_domain(std::mt19937& rng) {
    iset s;
    while (s.empty())
        for (int v = 0; v < box; ++v)
            if (rng() % 3 != 0)
                s.insert(iset::range_type(v, v));
    return s;
}

iset random_set(std::mt19937& rng) {
    iset s;
    for (int v = 0; v < box; ++v)
        if (rng() % 2)
            s.insert(iset::range_type(v, v));
    return s;
}

int small_constant(std::mt19937& rng) {
    return static_cast<int>(rng() % 9) - 4;
}

// A pair generator: self, other and the pivot among `vars` variables.
struct pair_case {
    posted self, other;
    unsigned pivot;
};
typedef std::function<pair_case(std::mt19937&)> pair_generator;

posted difference(std::mt19937& rng, unsigned x, unsigned y) {
    return {std::make_shared<difference_ge_propagator>(small_constant(rng)), {x, y}};
}

posted linear(std::mt19937& rng, std::vector<unsigned> vars) {
    std::vector<int> c;
    for (std::size_t i = 0; i < vars.size(); ++i) {
        int v = 0;
        while (v == 0)
            v = static_cast<int>(rng() % 7) - 3;
        c.push_back(v);
    }
    return {std::make_shared<linear_combination_ge_propagator>(
                static_cast<int>(rng() % 13) - 6, c),
            std::move(vars)};
}

// A difference in one of its three forms over (x, y), with literals on the
// variables in `literal_vars` (none: the plain difference).
posted difference_form(std::mt19937& rng, unsigned x, unsigned y,
                       const std::vector<unsigned>& literal_vars) {
    const int k = small_constant(rng);
    if (literal_vars.empty())
        return {std::make_shared<difference_ge_propagator>(k), {x, y}};
    if (literal_vars.size() == 1)
        return {std::make_shared<literal_or_difference_ge_propagator>(random_set(rng), k),
                {literal_vars[0], x, y}};
    std::vector<iset> sets;
    std::vector<unsigned> vars = {x, y};
    for (unsigned v : literal_vars) {
        sets.push_back(random_set(rng));
        vars.push_back(v);
    }
    return {std::make_shared<difference_ge_or_clause_propagator>(k, sets), vars};
}

struct combination_stats {
    unsigned tried = 0, combined = 0;
    std::map<std::string, unsigned> kinds;
};

// Runs `rounds` random pairs and checks every combination by enumeration.
combination_stats check_pairs(const pair_generator& generate, unsigned variables, unsigned rounds,
                              unsigned seed) {
    std::mt19937 rng(seed);
    combination_stats stats;
    for (unsigned round = 0; round < rounds; ++round) {
        const pair_case c = generate(rng);
        std::vector<iset> domains;
        for (unsigned v = 0; v < variables; ++v)
            domains.push_back(random_domain(rng));
        std::vector<unsigned> vars;
        ++stats.tried;
        std::unique_ptr<constraint_propagator> r = combine(c.self, c.other, c.pivot, domains, vars);
        if (!r)
            continue;
        ++stats.combined;
        ++stats.kinds[kind_of(*r)];
        std::ostringstream what;
        c.self.p->print(what, nullptr);
        what << " with ";
        c.other.p->print(what, nullptr);
        what << " on " << c.pivot << " gives ";
        r->print(what, nullptr);
        bool implied = true;
        for_each_assignment(variables, [&](const std::vector<int>& a) {
            if (implied && holds(*c.self.p, c.self.vars, a) &&
                holds(*c.other.p, c.other.vars, a) && !holds(*r, vars, a)) {
                implied = false;
                std::ostringstream t;
                for (int v : a)
                    t << v << ' ';
                ADD_FAILURE() << what.str() << ", which fails on " << t.str();
            }
        });
    }
    return stats;
}

TEST(CombinationImplied, DifferencesWithDifferences) {
    // Four variables; the pivot is shared, the other ends are random, so the
    // circular, middle and refused cases all come up.
    combination_stats stats = check_pairs(
        [](std::mt19937& rng) {
            const auto [a, b] = two_of(rng, 4);
            const unsigned pivot = rng() % 2 ? a : b;
            unsigned other_end = rng() % 4;
            while (other_end == pivot)
                other_end = rng() % 4;
            pair_case c{difference(rng, a, b), {}, pivot};
            c.other = rng() % 2 ? difference(rng, pivot, other_end) : difference(rng, other_end, pivot);
            return c;
        },
        4, 3000, 1);
    EXPECT_GT(stats.kinds["difference"], 100u);
    EXPECT_GT(stats.kinds["equal"], 0u);
    EXPECT_GT(stats.kinds["empty clause"], 0u);
    EXPECT_GT(stats.kinds["no sub-interval or clause"] + stats.kinds["no sub-interval"], 20u);
}

TEST(CombinationImplied, DifferencesWithLiterals) {
    // Differences over variables 0..3 in their literal forms, literals on 4
    // and 5, resolved on a literal variable (both bases survive: merged when
    // they are the same difference, else a conflicting one turns into
    // literals) or on a base variable.
    box = 4;
    combination_stats stats = check_pairs(
        [](std::mt19937& rng) {
            const unsigned lit = 4;
            const auto [a, b] = two_of(rng, 4);
            const auto [c, d] = two_of(rng, 4);
            const bool same_base = rng() % 3 == 0;
            std::vector<unsigned> extra = {lit};
            if (rng() % 2)
                extra.push_back(5);
            pair_case pc{difference_form(rng, a, b, extra),
                         difference_form(rng, same_base ? a : c, same_base ? b : d,
                                         rng() % 2 ? std::vector<unsigned>{lit}
                                                   : std::vector<unsigned>{lit, 5}),
                         lit};
            if (rng() % 3 == 0) { // a base pivot instead
                pc.other = difference_form(rng, b, c == b ? d : c, {lit});
                pc.pivot = b;
            }
            return pc;
        },
        6, 1200, 2);
    box = 5;
    EXPECT_GT(stats.combined, 200u);
    EXPECT_GT(stats.kinds["literal or difference"] + stats.kinds["difference or clause"], 20u);
}

TEST(CombinationImplied, LinearWithLinearAndDifferences) {
    combination_stats stats = check_pairs(
        [](std::mt19937& rng) {
            const unsigned pivot = rng() % 4;
            std::vector<unsigned> mine = {pivot}, theirs = {pivot};
            for (unsigned v = 0; v < 4; ++v) {
                if (v != pivot && rng() % 2)
                    mine.push_back(v);
                if (v != pivot && rng() % 2)
                    theirs.push_back(v);
            }
            std::shuffle(mine.begin(), mine.end(), rng);
            std::shuffle(theirs.begin(), theirs.end(), rng);
            pair_case c{linear(rng, mine), linear(rng, theirs), pivot};
            if (rng() % 3 == 0) {
                unsigned other_end = rng() % 4;
                while (other_end == pivot)
                    other_end = rng() % 4;
                c.other = rng() % 2 ? difference(rng, pivot, other_end)
                                    : difference(rng, other_end, pivot);
            }
            return c;
        },
        4, 3000, 3);
    EXPECT_GT(stats.combined, 500u);
}

TEST(CombinationImplied, LinearWithParity) {
    // x + y = 1 over {0, 1} (sum_mod(2, 1)) substituted into a combination,
    // asked from either side.
    combination_stats stats = check_pairs(
        [](std::mt19937& rng) {
            const auto [p, q] = two_of(rng, 4);
            std::vector<unsigned> mine = {p};
            for (unsigned v = 0; v < 4; ++v)
                if (v != p && rng() % 2)
                    mine.push_back(v);
            std::shuffle(mine.begin(), mine.end(), rng);
            posted parity{std::make_shared<sum_mod_propagator>(2, 1),
                          rng() % 2 ? std::vector<unsigned>{p, q} : std::vector<unsigned>{q, p}};
            pair_case c{linear(rng, mine), parity, p};
            if (rng() % 2)
                std::swap(c.self, c.other);
            return c;
        },
        4, 2000, 4);
    EXPECT_GT(stats.combined, 1500u);
}

TEST(CombinationImplied, EqualitySubstitutes) {
    // x = y substitutes y for x in the other constraint; kept only when the
    // substituted constraint conflicts with the domains.
    combination_stats stats = check_pairs(
        [](std::mt19937& rng) {
            const auto [x, y] = two_of(rng, 4);
            posted eq{std::make_shared<equal_propagator>(), {x, y}};
            unsigned z = rng() % 4;
            while (z == x || z == y)
                z = rng() % 4;
            posted other;
            switch (rng() % 4) {
            case 0:
                other = difference(rng, x, z);
                break;
            case 1:
                other = linear(rng, {z, x});
                break;
            case 2:
                other = {std::make_shared<clause_propagator>(
                             std::initializer_list<iset>{random_set(rng), random_set(rng)}),
                         {x, z}};
                break;
            default:
                other = {std::make_shared<no_overlap_propagator>(small_constant(rng),
                                                                 small_constant(rng)),
                         {z, x}};
            }
            pair_case c{eq, other, x};
            if (rng() % 2) // the other constraint asks, renumbering for the equality
                std::swap(c.self, c.other);
            return c;
        },
        4, 3000, 5);
    EXPECT_GT(stats.combined, 100u);
}

TEST(CombinationImplied, HandCases) {
    const std::vector<iset> domains(4, iset(0, 4));
    std::vector<unsigned> vars;
    auto print = [](const constraint_propagator& p) {
        std::ostringstream os;
        p.print(os, nullptr);
        return os.str();
    };
    // x - y >= 2 and 2y - z >= 1 on y: 2x - z >= 5.
    posted diff{std::make_shared<difference_ge_propagator>(2), {0, 1}};
    posted lin{std::make_shared<linear_combination_ge_propagator>(1, std::vector<int>{2, -1}),
               {1, 2}};
    auto r = combine(lin, diff, 1, domains, vars);
    ASSERT_TRUE(r);
    ASSERT_EQ(vars.size(), 2u);
    EXPECT_EQ(print(*r), vars[0] == 0 ? "(2*P0-P1>=5)" : "(-P0+2*P1>=5)");
    // Circular: x - y >= 0 and y - x >= 0 give x = y; with 1 and 0 nothing holds.
    posted forth{std::make_shared<difference_ge_propagator>(0), {0, 1}};
    posted back{std::make_shared<difference_ge_propagator>(0), {1, 0}};
    r = combine(forth, back, 0, domains, vars);
    ASSERT_TRUE(r);
    EXPECT_EQ(print(*r), "equal");
    posted strict{std::make_shared<difference_ge_propagator>(1), {0, 1}};
    r = combine(strict, back, 0, domains, vars);
    ASSERT_TRUE(r);
    const auto* empty = dynamic_cast<const clause_propagator*>(r.get());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->literals().empty());
    // The same difference twice on a literal pivot: the weaker bound.
    posted a{std::make_shared<literal_or_difference_ge_propagator>(iset(1), 3), {3, 0, 1}};
    posted b{std::make_shared<literal_or_difference_ge_propagator>(iset(2), 1), {3, 0, 1}};
    r = combine(a, b, 3, domains, vars);
    ASSERT_TRUE(r);
    EXPECT_EQ(print(*r), "diff_ge_1");
    // 2x + 3y >= 7 or ... merges with 2x + 3y >= 4; not with 5x + 7y >= 4.
    linear_combination_ge_propagator first(7, {2, 3});
    disjunction_specification out;
    auto ri = view_of({0, 1}, domains);
    disjunction_specification self(ri, first, {});
    linear_combination_ge_propagator same_side(4, {2, 3}), other_side(4, {5, 7});
    disjunction_specification weaker(ri, same_side, {}), different(ri, other_side, {});
    ASSERT_TRUE(first.disjoin_constraint(self, weaker, out));
    EXPECT_EQ(print(*out.base()), "(2*P0+3*P1>=4)");
    EXPECT_EQ(out.base_count(), 2u);
    disjunction_specification refused;
    EXPECT_FALSE(first.disjoin_constraint(self, different, refused));
}

// The middle pivot's sum x - z >= ka + kb is refused, not wrapped, when it
// leaves the 32-bit range in either direction.
TEST(CombinationImplied, MiddlePivotOutOfRangeIsRefused) {
    const std::vector<iset> domains(3, iset(0, 4));
    std::vector<unsigned> vars;
    for (const auto& [ka, kb] : {std::pair<int, int>{INT_MIN, -1}, {INT_MAX, 1}}) {
        posted left{std::make_shared<difference_ge_propagator>(ka), {0, 1}};
        posted right{std::make_shared<difference_ge_propagator>(kb), {1, 2}};
        EXPECT_FALSE(combine(left, right, 1, domains, vars)) << ka << " " << kb;
    }
    // Within range the sum is learned.
    posted left{std::make_shared<difference_ge_propagator>(INT_MAX - 1), {0, 1}};
    posted right{std::make_shared<difference_ge_propagator>(1), {1, 2}};
    auto r = combine(left, right, 1, domains, vars);
    ASSERT_TRUE(r);
    std::ostringstream os;
    r->print(os, nullptr);
    EXPECT_EQ(os.str(), "diff_ge_2147483647");
    EXPECT_EQ(vars, (std::vector<unsigned>{0, 2}));
}

// ---------------------------------------------------------------------------
// Search on random linear models

TEST(LinearModelSearch, CombinationOnAndOffAgreeWithBruteForce) {
    std::mt19937 rng(2024);
    unsigned sat = 0, unsat = 0, optimised = 0;
    std::uint64_t combinations = 0;
    unsigned non_fallback = 0;
    for (unsigned instance = 0; instance < 240; ++instance) {
        const bool with_objective = instance % 3 == 2;
        const linear_model m = random_linear_model(rng, with_objective);
        const bool minimize = rng() % 2;
        bool feasible = false;
        int best = 0;
        m.enumerate([&](const std::vector<int>& a) {
            if (m.objective >= 0) {
                const int v = a[m.objective];
                if (!feasible || (minimize ? v < best : v > best))
                    best = v;
            }
            feasible = true;
        });
        ++(feasible ? sat : unsat);
        for (bool combine : {true, false}) {
            SCOPED_TRACE("instance " + std::to_string(instance) +
                         (combine ? " with" : " without") + " combination");
            solver s;
            m.build(s);
            s.m_combine_general = combine;
            s.m_minimize = minimize;
            s.m_quiet = true;
            testing::internal::CaptureStdout();
            const solver::result_type r = s.solve(nullptr);
            testing::internal::GetCapturedStdout();
            if (combine) {
                combinations += s.m_combinations;
                non_fallback += s.m_non_fallback_analyses;
            } else {
                EXPECT_EQ(s.m_combinations, 0u);
            }
            if (!feasible) {
                EXPECT_EQ(r, solver::UNSAT);
                continue;
            }
            if (m.objective >= 0) {
                EXPECT_EQ(r, solver::OPTIMAL);
                EXPECT_EQ(s.m_best_value, best);
                EXPECT_TRUE(s.optimum_proven());
                optimised += combine;
            } else {
                EXPECT_EQ(r, solver::SAT);
            }
            std::vector<int> a;
            for (unsigned v = 0; v < m.his.size(); ++v) {
                const iset& d = s.domain(v);
                ASSERT_FALSE(d.empty());
                ASSERT_EQ(d.min(), d.max()) << "x" << v << " is not fixed";
                a.push_back(d.min());
            }
            EXPECT_TRUE(m.satisfied(a));
        }
    }
    EXPECT_GT(sat, 100u);
    EXPECT_GT(unsat, 30u);
    EXPECT_GT(optimised, 20u);
    EXPECT_GT(combinations, 0u);
    EXPECT_GT(non_fallback, 0u);
}

}  // namespace linear_combination_learning_test
