// Disjunction descriptions and their resolution on a pivot variable, and the
// disjoint propagator (A or clause), checked against brute force over small
// domains. Stub base constraints record what the resolution hands them, so
// the plumbing of literals, parameter maps and base ownership is visible.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/learning/disjunction_description.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/disjoint_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "tests/unit/test_helpers.h"

namespace disjunction_description_test {

using qarn_test::same;
using qarn_test::error_of;
using qarn_test::S;
using qarn_test::text;

using namespace qarn;
typedef propagation_types::result_type result_type;

using qarn_test::CONSISTENT;
using qarn_test::UNSAT;
using qarn_test::VALID;

struct literal {
    unsigned variable;
    const char* set;
};

// The literals of a resolvent clause as "variable:set" in order.
std::string literals_of(const constraint_propagator& p, const std::vector<unsigned>& vars) {
    const auto* clause = dynamic_cast<const clause_propagator*>(&p);
    if (!clause)
        return "<not a clause>";
    if (clause->literals().size() != vars.size())
        return "<parameter count differs>";
    std::ostringstream os;
    for (unsigned i = 0; i < vars.size(); ++i)
        os << (i ? " " : "") << vars[i] << ':' << text(clause->literals()[i]);
    return os.str();
}

std::string literals_of(const std::vector<literal>& literals) {
    std::ostringstream os;
    for (unsigned i = 0; i < literals.size(); ++i)
        os << (i ? " " : "") << literals[i].variable << ':' << text(S(literals[i].set));
    return os.str();
}

// A clause over the given variables, with its parameter map.
struct described_clause {
    explicit described_clause(const std::vector<literal>& literals)
        : view(static_cast<unsigned>(literals.size())) {
        for (const literal& l : literals) {
            clause.update_literals().push_back(S(l.set));
            map.push_back(l.variable);
        }
    }
    clause_propagator clause;
    std::vector<unsigned> map;
    constraint_explicit_info view;
};

// What a stub base constraint was handed when asked to build the result.
struct built_record {
    std::string literals;              // "variable:set" in order
    std::vector<unsigned> base_vars;   // mapped base parameters
    const constraint_propagator* base = nullptr;
    unsigned calls = 0;
};

// Counts live stubs and clones, so that ownership faults show.
struct stub_counters {
    int live = 0;
    int clones = 0;
};

// A base constraint over `arity` parameters that takes part in disjunctions:
// it describes itself as literals stored in it (positions 0..) followed by
// itself as base; its resolution answers are fixed by the test.
class stub_base : public constraint_propagator {
public:
    stub_base(stub_counters& counters, unsigned base_arity, std::vector<iset> literals = {})
        : m_counters(&counters), m_base_arity(base_arity), m_literals(std::move(literals)) {
        ++m_counters->live;
    }
    stub_base(const stub_base& other)
        : constraint_propagator(other),
          disjoin(other.disjoin),
          combine_bases(other.combine_bases),
          record(other.record),
          m_counters(other.m_counters),
          m_base_arity(other.m_base_arity),
          m_literals(other.m_literals) {
        ++m_counters->live;
    }
    ~stub_base() override { --m_counters->live; }

    unsigned count_params() const override {
        return m_base_arity + static_cast<unsigned>(m_literals.size());
    }
    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        ++m_counters->clones;
        return std::make_unique<stub_base>(*this);
    }
    bool get_disjunction_specification(disjunction_specification& description) const override {
        description.set_literals(0, m_literals.data(), static_cast<unsigned>(m_literals.size()));
        description.set_borrowed_base(this, static_cast<unsigned>(m_literals.size()));
        return true;
    }
    // Answers with `disjoin`: one literal on variable 99 and an owned base.
    bool disjoin_constraint(const disjunction_specification&, const disjunction_specification&,
                            disjunction_specification& out) const override {
        if (!disjoin)
            return false;
        fill_result(out);
        return true;
    }
    bool combine_base_constraints(disjunction_specification&, disjunction_specification&,
                                  unsigned, disjunction_specification& out) const override {
        if (!combine_bases)
            return false;
        fill_result(out);
        return true;
    }
    std::unique_ptr<constraint_propagator> new_propagator(
        disjunction_specification& description, std::vector<unsigned>& params) const override {
        std::ostringstream os;
        params.clear();
        for (unsigned i = 0; i < description.literal_count(); ++i) {
            os << (i ? " " : "") << description.literal_variable(i) << ':' << text(description.literal_set(i));
            params.push_back(description.literal_variable(i));
        }
        record->literals = os.str();
        record->base_vars.clear();
        for (unsigned k = 0; k < description.base_count(); ++k) {
            record->base_vars.push_back(description.base_variable(k));
            params.push_back(description.base_variable(k));
        }
        record->base = description.base();
        ++record->calls;
        return clone();
    }

    bool disjoin = false;
    bool combine_bases = false;
    built_record* record = nullptr;
    // Set by fill_result: the base the resolution should end up with.
    mutable const constraint_propagator* handed_base = nullptr;

private:
    // The description (99 in {7}) or base(40, 41), with an owned base.
    void fill_result(disjunction_specification& out) const {
        static const iset literal_set = iset(7);
        auto base = std::make_unique<stub_base>(*m_counters, 2);
        base->record = record;
        handed_base = base.get();
        out.update_param_map() = {99, 40, 41};
        out.set_literals(0, &literal_set, 1);
        out.set_owned_base(std::move(base), 1);
        out.set_base_count(2);
    }

    stub_counters* m_counters;
    unsigned m_base_arity;
    std::vector<iset> m_literals;
};

// ---------------------------------------------------------------------------
// Descriptions of clauses

TEST(DisjunctionDescription, ClauseIsPureBorrowedLiterals) {
    described_clause c({{10, "1:2"}, {11, "5"}, {12, "0"}});
    disjunction_specification description(c.view, c.clause, c.map);
    EXPECT_EQ(description.runtime_info(), &c.view);
    EXPECT_EQ(description.literal_count(), 3u);
    EXPECT_EQ(description.first_literal_position(), 0u);
    EXPECT_EQ(&description.literal_set(0), c.clause.literals().data()); // borrowed
    EXPECT_TRUE(description.owned_sets().empty());
    EXPECT_EQ(description.base(), nullptr);
    EXPECT_EQ(description.base_count(), 0u);
    EXPECT_EQ(description.first_base_position(), 0u);
    EXPECT_EQ(description.literal_variable(1), 11u);
}

TEST(DisjunctionDescription, ClauseDestroysAPreviouslyOwnedBase) {
    stub_counters counters;
    {
        disjunction_specification description;
        description.set_owned_base(std::make_unique<stub_base>(counters, 2), 0);
        description.set_base_count(2);
        clause_propagator clause{iset(1)};
        EXPECT_TRUE(clause.get_disjunction_specification(description));
        EXPECT_EQ(counters.live, 0);
        EXPECT_FALSE(description.owns_base());
        EXPECT_EQ(description.base(), nullptr);
        EXPECT_EQ(description.base_count(), 0u);
    }
    EXPECT_EQ(counters.live, 0);
}

TEST(DisjunctionDescription, PositionsBeyondTheMapStandForThemselves) {
    std::vector<unsigned> map = {10};
    clause_propagator clause{iset(1), iset(2), iset(3)};
    constraint_explicit_info view(3);
    disjunction_specification description(view, clause, map);
    EXPECT_EQ(description.literal_variable(0), 10u);
    EXPECT_EQ(description.literal_variable(1), 1u);
    EXPECT_EQ(description.literal_variable(2), 2u);
}

// ---------------------------------------------------------------------------
// Resolution of two clauses on a literal pivot

struct clause_resolution_case {
    const char* what;
    std::vector<literal> a;
    std::vector<literal> b;
    unsigned pivot;
    bool refused;
    std::vector<literal> expected;
};

TEST(DisjunctionCombine, TwoClausesOnALiteralPivot) {
    const clause_resolution_case cases[] = {
        {"pivot literals disjoint: they vanish",
         {{10, "1:2"}, {11, "0"}}, {{10, "3"}, {12, "5"}}, 10, false,
         {{11, "0"}, {12, "5"}}},
        {"pivot literals overlap: intersected; shared variable united",
         {{10, "1:2"}, {11, "0"}}, {{11, "4"}, {10, "2:3"}}, 10, false,
         {{10, "2"}, {11, "0,4"}}},
        {"pivot vanishes: every empty literal goes, order kept",
         {{13, "1"}, {10, "1"}, {14, ""}, {15, "6"}}, {{10, "2"}, {16, ""}, {17, "3"}}, 10, false,
         {{13, "1"}, {15, "6"}, {17, "3"}}},
        {"pivot kept: an empty literal stays",
         {{10, "1:2"}, {14, ""}}, {{10, "2"}}, 10, false,
         {{10, "2"}, {14, ""}}},
        {"nothing left: the empty clause",
         {{10, "1"}}, {{10, "2"}}, 10, false, {}},
        {"pivot on one side only", {{10, "1"}, {11, "0"}}, {{11, "4"}}, 10, true, {}},
        {"pivot on neither side and no base", {{10, "1"}}, {{11, "4"}}, 12, true, {}},
    };
    for (const clause_resolution_case& c : cases) {
        SCOPED_TRACE(c.what);
        described_clause a(c.a), b(c.b);
        disjunction_specification da(a.view, a.clause, a.map);
        disjunction_specification db(b.view, b.clause, b.map);
        std::vector<unsigned> out = {77};
        std::unique_ptr<constraint_propagator> result = da.combine(db, c.pivot, out);
        if (c.refused) {
            EXPECT_EQ(result, nullptr);
            EXPECT_TRUE(out.empty());
            continue;
        }
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(literals_of(*result, out), literals_of(c.expected));
        // The inputs are left as they were.
        EXPECT_EQ(a.clause.literals().size(), c.a.size());
        EXPECT_EQ(&da.literal_set(0), a.clause.literals().data());
    }
}

TEST(DisjunctionCombine, ResolventIsImpliedByBothClauses) {
    // Over variables 0..2 with values 0..3: every assignment satisfying both
    // clauses satisfies the resolvent. A clause has one literal per variable.
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        auto random_clause = [&](std::vector<literal>& lits, std::vector<std::string>& texts) {
            const unsigned n = 1 + rng() % 3;
            unsigned vars[3] = {0, 1, 2};
            std::shuffle(vars + 1, vars + 3, rng);
            for (unsigned i = 0; i < n; ++i) {
                std::string t;
                for (int v = 0; v < 4; ++v)
                    if (rng() % 2)
                        t += (t.empty() ? "" : ",") + std::to_string(v);
                texts.push_back(t);
                lits.push_back({vars[i], nullptr});
            }
        };
        std::vector<literal> la, lb;
        std::vector<std::string> ta, tb;
        ta.reserve(3);
        tb.reserve(3);
        random_clause(la, ta);
        random_clause(lb, tb);
        for (unsigned i = 0; i < la.size(); ++i)
            la[i].set = ta[i].c_str();
        for (unsigned i = 0; i < lb.size(); ++i)
            lb[i].set = tb[i].c_str();
        described_clause a(la), b(lb);
        disjunction_specification da(a.view, a.clause, a.map);
        disjunction_specification db(b.view, b.clause, b.map);
        std::vector<unsigned> out;
        std::unique_ptr<constraint_propagator> r = da.combine(db, 0, out);
        ASSERT_NE(r, nullptr);
        const auto& rl = dynamic_cast<const clause_propagator&>(*r).literals();
        auto holds = [](const std::vector<unsigned>& vars, const std::vector<iset>& sets,
                        const int* x) {
            for (unsigned i = 0; i < vars.size(); ++i)
                if (sets[i].contains(x[vars[i]]))
                    return true;
            return false;
        };
        for (int t = 0; t < 64; ++t) {
            const int x[3] = {t & 3, (t >> 2) & 3, (t >> 4) & 3};
            if (holds(a.map, a.clause.literals(), x) && holds(b.map, b.clause.literals(), x)) {
                EXPECT_TRUE(holds(out, rl, x)) << "round " << round << " tuple " << t;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Combination with base constraints

TEST(DisjunctionCombine, BaseVariablesMayNotBeLiteralsOfTheOtherSide) {
    stub_counters counters;
    built_record record;
    stub_base base(counters, 2);
    base.record = &record;
    base.combine_bases = true;
    constraint_explicit_info base_view(2);
    const std::vector<unsigned> base_map = {20, 21};
    described_clause clause({{21, "1"}, {30, "0"}});
    for (int base_first = 0; base_first < 2; ++base_first) {
        SCOPED_TRACE(base_first ? "base first" : "clause first");
        disjunction_specification db(base_view, base, base_map);
        disjunction_specification dc(clause.view, clause.clause, clause.map);
        std::vector<unsigned> out;
        auto r = base_first ? db.combine(dc, 30, out) : dc.combine(db, 30, out);
        EXPECT_EQ(r, nullptr);
    }
    EXPECT_EQ(record.calls, 0u);
    EXPECT_EQ(counters.live, 1);
}

TEST(DisjunctionCombine, LiteralPivotWithOneBaseCarriesACloneOfIt) {
    stub_counters counters;
    built_record record;
    {
        // (20 in {1,2}) or base(21, 22), mapped from positions 0, 1, 2.
        stub_base base(counters, 2, {S("1:2")});
        base.record = &record;
        constraint_explicit_info view(3);
        const std::vector<unsigned> map = {20, 21, 22};
        described_clause clause({{23, "5"}, {20, "2:4"}});
        for (int base_first = 0; base_first < 2; ++base_first) {
            SCOPED_TRACE(base_first ? "base first" : "clause first");
            disjunction_specification db(view, base, map);
            disjunction_specification dc(clause.view, clause.clause, clause.map);
            ASSERT_EQ(db.base_count(), 2u);
            ASSERT_EQ(db.first_base_position(), 1u);
            std::vector<unsigned> out;
            const int clones = counters.clones;
            auto r = base_first ? db.combine(dc, 20, out) : dc.combine(db, 20, out);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(record.literals, base_first ? literals_of({{20, "2"}, {23, "5"}})
                                                  : literals_of({{23, "5"}, {20, "2"}}));
            EXPECT_EQ(record.base_vars, (std::vector<unsigned>{21, 22}));
            EXPECT_NE(record.base, &base); // a clone, owned by the result
            EXPECT_EQ(counters.clones, clones + 2); // the carried base and the result
            EXPECT_EQ(out.size(), 4u);
        }
    }
    EXPECT_EQ(counters.live, 0);
}

TEST(DisjunctionCombine, LiteralPivotWithTwoBasesNeedsTheirDisjunction) {
    stub_counters counters;
    built_record record;
    {
        stub_base a_base(counters, 2, {S("1:2")});
        stub_base b_base(counters, 2, {S("2:3")});
        a_base.record = &record;
        constraint_explicit_info view(3);
        const std::vector<unsigned> a_map = {20, 21, 22};
        const std::vector<unsigned> b_map = {20, 23, 24};
        std::vector<unsigned> out;
        {
            disjunction_specification da(view, a_base, a_map), db(view, b_base, b_map);
            EXPECT_EQ(da.combine(db, 20, out), nullptr);
        }
        a_base.disjoin = true;
        disjunction_specification da(view, a_base, a_map), db(view, b_base, b_map);
        const int clones = counters.clones;
        auto r = da.combine(db, 20, out);
        ASSERT_NE(r, nullptr);
        // The resolvent's literals, then the disjunction's, then its base
        // (taken over, not cloned).
        EXPECT_EQ(record.literals, literals_of({{20, "2"}, {99, "7"}}));
        EXPECT_EQ(record.base_vars, (std::vector<unsigned>{40, 41}));
        EXPECT_EQ(record.base, a_base.handed_base);
        EXPECT_EQ(counters.clones, clones + 1); // only the result itself
        EXPECT_EQ(out, (std::vector<unsigned>{20, 99, 40, 41}));
    }
    EXPECT_EQ(counters.live, 0);
}

TEST(DisjunctionCombine, ConstraintPivot) {
    struct pivot_case {
        const char* what;
        std::vector<unsigned> a_map; // a: literal on a_map[0], base on the rest
        std::vector<unsigned> b_map;
        unsigned pivot;
        bool combine_bases;
        bool refused;
        std::vector<literal> literals;
    };
    const pivot_case cases[] = {
        {"pivot not first in a's base: a's literals first", {10, 21, 20}, {11, 20, 22}, 20, true,
         false, {{10, "1"}, {11, "2"}, {99, "7"}}},
        {"pivot first in a's base: b's literals first", {10, 21, 20}, {11, 22, 21}, 21, true,
         false, {{11, "2"}, {10, "1"}, {99, "7"}}},
        {"shared literal variables are united", {10, 21, 20}, {10, 22, 21}, 21, true,
         false, {{10, "1:2"}, {99, "7"}}},
        {"the bases do not combine", {10, 21, 20}, {11, 22, 20}, 20, false, true, {}},
    };
    for (const pivot_case& c : cases) {
        SCOPED_TRACE(c.what);
        stub_counters counters;
        built_record record;
        {
            stub_base a_base(counters, 2, {iset(1)});
            stub_base b_base(counters, 2, {iset(2)});
            a_base.record = &record;
            a_base.combine_bases = c.combine_bases;
            constraint_explicit_info view(3);
            const std::vector<unsigned>& b_map = c.b_map;
            disjunction_specification da(view, a_base, c.a_map), db(view, b_base, b_map);
            std::vector<unsigned> out;
            auto r = da.combine(db, c.pivot, out);
            if (c.refused) {
                EXPECT_EQ(r, nullptr);
            } else {
                ASSERT_NE(r, nullptr);
                EXPECT_EQ(record.literals, literals_of(c.literals));
                EXPECT_EQ(record.base, a_base.handed_base);
                EXPECT_EQ(record.base_vars, (std::vector<unsigned>{40, 41}));
            }
        }
        EXPECT_EQ(counters.live, 0);
    }
}

TEST(DisjunctionCombine, ConstraintPivotNeedsBothBases) {
    stub_counters counters;
    stub_base base(counters, 2);
    base.combine_bases = true;
    constraint_explicit_info view(2);
    const std::vector<unsigned> map = {20, 21};
    described_clause clause({{30, "0"}});
    disjunction_specification db(view, base, map);
    disjunction_specification dc(clause.view, clause.clause, clause.map);
    std::vector<unsigned> out;
    EXPECT_EQ(db.combine(dc, 20, out), nullptr);
    EXPECT_EQ(dc.combine(db, 20, out), nullptr);
}

// ---------------------------------------------------------------------------
// Building blocks

TEST(DisjunctionParts, AppendAndStealBaseOwnership) {
    stub_counters counters;
    {
        constraint_explicit_info view(3);
        stub_base borrowed(counters, 2, {iset(4)});
        const std::vector<unsigned> map = {5, 6, 7};
        disjunction_specification from_borrowed(view, borrowed, map);

        disjunction_specification appended;
        appended.append_literals(from_borrowed);
        appended.append_constraint(from_borrowed);
        EXPECT_TRUE(appended.owns_base());
        EXPECT_NE(appended.base(), &borrowed);
        EXPECT_EQ(appended.first_base_position(), 1u);
        EXPECT_EQ(appended.base_variable(0), 6u);
        EXPECT_EQ(appended.base_variable(1), 7u);
        EXPECT_EQ(appended.literal_variable(0), 5u);
        EXPECT_EQ(counters.live, 2);

        // A borrowed base is cloned; an owned one is taken over.
        disjunction_specification stolen_copy;
        stolen_copy.steal_constraint(from_borrowed);
        EXPECT_TRUE(stolen_copy.owns_base());
        EXPECT_NE(stolen_copy.base(), &borrowed);
        EXPECT_EQ(counters.live, 3);

        const constraint_propagator* owned = appended.base();
        disjunction_specification taker;
        taker.steal_constraint(appended);
        EXPECT_EQ(taker.base(), owned);
        EXPECT_FALSE(appended.owns_base());
        EXPECT_EQ(taker.first_base_position(), 0u);
        EXPECT_EQ(taker.base_count(), 2u);
        EXPECT_EQ(counters.live, 3);

        // Replacing an owned base destroys the old one.
        taker.append_constraint(stolen_copy);
        EXPECT_EQ(counters.live, 3);
        taker.clear();
        EXPECT_EQ(counters.live, 2);
        EXPECT_EQ(taker.base(), nullptr);
        EXPECT_EQ(taker.runtime_info(), nullptr);
        EXPECT_EQ(taker.literal_count(), 0u);
        EXPECT_EQ(taker.base_count(), 0u);
        EXPECT_TRUE(taker.param_map().empty());
    }
    EXPECT_EQ(counters.live, 0);
}

TEST(DisjunctionParts, NewClauseMapsItsParameters) {
    clause_propagator clause{S("1:3"), iset(0), S("2,5")};
    constraint_explicit_info view(3);
    disjunction_specification description(view, clause, {40, 41});
    std::vector<unsigned> out = {9, 9, 9, 9, 9};
    auto made = description.new_clause(out);
    EXPECT_EQ(out, (std::vector<unsigned>{40, 41, 2}));
    const std::string expected = literals_of({{40, "1:3"}, {41, "0"}, {2, "2,5"}});
    EXPECT_EQ(literals_of(*made, out), expected);
    std::vector<unsigned> out2;
    auto via_make = description.make_constraint(out2);
    EXPECT_EQ(out2, out);
    EXPECT_EQ(literals_of(*via_make, out2), expected);
}

// ---------------------------------------------------------------------------
// The disjoint propagator (x = y) or clause

typedef disjoint_propagator<equal_propagator, clause_propagation_algo> equal_or_clause;

equal_or_clause make_equal_or(const std::vector<iset>& literals) {
    return equal_or_clause(equal_propagator(), clause_propagation_algo(literals));
}

constraint_explicit_info view_of(const std::vector<iset>& domains) {
    constraint_explicit_info view(static_cast<unsigned>(domains.size()));
    for (unsigned p = 0; p < domains.size(); ++p)
        view.set_domain(p, domains[p]);
    return view;
}

bool satisfies(const std::vector<iset>& literals, const std::vector<int>& t) {
    if (t[0] == t[1])
        return true;
    for (unsigned i = 0; i < literals.size(); ++i)
        if (literals[i].contains(t[2 + i]))
            return true;
    return false;
}

// Calls f on every tuple of the domains (all within 0..31).
void for_each_tuple(const constraint_runtime_info& ri,
                    const std::function<void(const std::vector<int>&)>& f) {
    std::vector<int> t(ri.arity());
    std::function<void(unsigned)> rec = [&](unsigned p) {
        if (p == ri.arity()) {
            f(t);
            return;
        }
        for (int v = 0; v < 32; ++v) {
            if (!ri.domain(p).contains(v))
                continue;
            t[p] = v;
            rec(p + 1);
        }
    };
    rec(0);
}

std::vector<iset> domains_of(const constraint_runtime_info& ri) {
    std::vector<iset> d;
    for (unsigned p = 0; p < ri.arity(); ++p)
        d.push_back(ri.domain(p));
    return d;
}

iset random_set(std::mt19937& rng, int universe, bool non_empty) {
    iset s;
    for (int v = 0; v < universe; ++v)
        if (rng() % 2)
            s.insert(iset::range_type(v, v));
    if (non_empty && s.empty())
        s = iset(static_cast<int>(rng() % universe));
    return s;
}

TEST(DisjointPropagator, NeverRemovesASolutionAgainstBruteForce) {
    std::mt19937 rng(2024);
    const int universe = 5;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const unsigned literal_count = 1 + rng() % 2;
        std::vector<iset> literals;
        for (unsigned i = 0; i < literal_count; ++i)
            literals.push_back(random_set(rng, universe, false));
        std::vector<iset> domains;
        for (unsigned p = 0; p < 2 + literal_count; ++p)
            domains.push_back(random_set(rng, universe, true));
        constraint_explicit_info view = view_of(domains);
        equal_or_clause prop = make_equal_or(literals);
        ASSERT_EQ(prop.count_params(), 2 + literal_count);
        ASSERT_TRUE(prop.init(view)); // the equality's init never fails

        auto solutions = [&](const constraint_runtime_info& ri) {
            std::vector<std::vector<int>> s;
            for_each_tuple(ri, [&](const std::vector<int>& t) {
                if (satisfies(literals, t))
                    s.push_back(t);
            });
            return s;
        };
        for (int step = 0; step < 30; ++step) {
            const std::vector<iset> before = domains_of(view);
            const auto expected = solutions(view);
            EXPECT_EQ(prop.conflicts(view), expected.empty());
            const result_type r = prop.propagate(view);
            for (const std::vector<int>& t : expected)
                for (unsigned p = 0; p < t.size(); ++p)
                    ASSERT_TRUE(view.domain(p).contains(t[p])) << "solution lost at P" << p;
            if (r == UNSAT) {
                EXPECT_TRUE(expected.empty());
                break;
            }
            // Every narrowing is explained by a clause implied by the
            // constraint that excludes the removed values under the old domains.
            for (unsigned q = 0; q < before.size(); ++q) {
                if (same(before[q], view.domain(q)))
                    continue;
                iset removed = before[q];
                removed.erase_all_of(view.domain(q));
                const constraint_explicit_info old_view = view_of(before);
                std::vector<iset> why;
                prop.explain_propagation(q, removed, view.domain(q), old_view, why);
                ASSERT_EQ(why.size(), before.size());
                for (unsigned i = 0; i < why.size(); ++i) {
                    iset overlap = why[i];
                    overlap.intersect(i == q ? removed : before[i]);
                    EXPECT_TRUE(overlap.empty()) << "explanation of P" << q << " at P" << i;
                }
                constraint_explicit_info all(static_cast<unsigned>(before.size()));
                for (unsigned p = 0; p < before.size(); ++p)
                    all.set_domain(p, iset(0, universe - 1));
                for_each_tuple(all, [&](const std::vector<int>& t) {
                    if (!satisfies(literals, t))
                        return;
                    bool covered = false;
                    for (unsigned i = 0; i < t.size(); ++i)
                        covered = covered || why[i].contains(t[i]);
                    EXPECT_TRUE(covered) << "explanation of P" << q << " not implied";
                });
            }
            bool ground = true;
            for (unsigned p = 0; p < view.arity(); ++p)
                ground = ground && view.domain(p).size() == 1;
            if (ground) {
                const bool ok = !solutions(view).empty();
                EXPECT_EQ(prop.constraint_check(view), ok);
                // A ground non-solution must be found: both parts conflict.
                EXPECT_EQ(prop.propagate(view) == UNSAT, !ok);
                break;
            }
            // Remove one value from a domain with several, as a decision would.
            unsigned p = rng() % view.arity();
            while (view.domain(p).size() < 2)
                p = (p + 1) % view.arity();
            iset narrowed = view.domain(p);
            const int v = narrowed.rand();
            narrowed.erase(iset::range_type(v, v));
            view.set_domain(p, narrowed);
        }
    }
}

TEST(DisjointPropagator, PartsApplyTheirNarrowingsOnlyWhenTheOtherIsFalse) {
    struct step_case {
        const char* what;
        std::vector<const char*> domains; // x, y, clause parameters
        std::vector<const char*> literals;
        result_type result;
        std::vector<const char*> after;
    };
    const step_case cases[] = {
        {"x = y would narrow, the clause can hold: nothing changes",
         {"1:3", "2:5", "0:1"}, {"1"}, CONSISTENT, {"1:3", "2:5", "0:1"}},
        {"the clause is false: the equality's narrowing applies",
         {"1:3", "2:5", "0"}, {"1"}, CONSISTENT, {"2:3", "2:3", "0"}},
        {"x = y cannot hold: the clause is unit-propagated",
         {"1", "2", "0:3", "4"}, {"2,3", "1"}, VALID, {"1", "2", "2:3", "4"}},
        {"both false: a conflict",
         {"1", "2", "0", "4"}, {"2,3", "1"}, UNSAT, {"1", "2", "0", "4"}},
        {"x = y entailed on singletons",
         {"3", "3", "0:3"}, {"1"}, CONSISTENT, {"3", "3", "0:3"}},
        {"the equality narrows and the clause is true",
         {"1:3", "2:5", "1"}, {"1"}, VALID, {"1:3", "2:5", "1"}},
    };
    for (const step_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<iset> domains, literals;
        for (const char* d : c.domains)
            domains.push_back(S(d));
        for (const char* l : c.literals)
            literals.push_back(S(l));
        constraint_explicit_info view = view_of(domains);
        equal_or_clause prop = make_equal_or(literals);
        prop.init(view);
        EXPECT_EQ(prop.propagate(view), c.result);
        for (unsigned p = 0; p < c.after.size(); ++p)
            EXPECT_EQ(text(view.domain(p)), text(S(c.after[p]))) << "P" << p;
    }
}

// An A part with fixed answers and a settable parameter count, recording
// the arity of the views it is given.
class fixed_part : public constraint_propagator {
public:
    fixed_part(unsigned count = 2, bool init_ok = true, bool conflicting = false)
        : m_count(count), m_init_ok(init_ok), m_conflicting(conflicting) {}
    unsigned count_params() const override { return m_count; }
    bool init(constraint_runtime_info& ri) override {
        seen_arity = ri.arity();
        return m_init_ok;
    }
    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info& ri) const override {
        seen_arity = ri.arity();
        return m_conflicting;
    }
    bool constraint_check(const constraint_runtime_info&) const override { return false; }
    void print(std::ostream& os, const constraint_runtime_info*) const override {
        os << "fixed\n";
    }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<fixed_part>(*this);
    }
    mutable unsigned seen_arity = 0;

private:
    unsigned m_count;
    bool m_init_ok;
    bool m_conflicting;
};

typedef disjoint_propagator<fixed_part, clause_propagation_algo> fixed_or_clause;

TEST(DisjointPropagator, InitAndConflictsNeedBothPartsToFail) {
    struct case_t {
        bool a_ok;          // A's init / A not conflicting
        const char* domain; // of the one clause parameter; literal is {1}
        bool init;
        bool conflicts;
    };
    const case_t cases[] = {
        {true, "1", true, false},
        {true, "0", true, false},
        {false, "1", true, false},
        {false, "0", false, true},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(std::string(c.a_ok ? "A holds" : "A fails") + ", clause domain " +
                     c.domain);
        constraint_explicit_info view = view_of({S("0:3"), S("0:3"), S(c.domain)});
        fixed_or_clause prop(fixed_part(2, c.a_ok, !c.a_ok),
                             clause_propagation_algo({iset(1)}));
        EXPECT_EQ(prop.init(view), c.init);
        EXPECT_EQ(prop.conflicts(view), c.conflicts);
    }
}

TEST(DisjointPropagator, ParameterSplitAndCounts) {
    // A with an unknown count takes what the clause leaves over.
    fixed_or_clause prop(fixed_part(ANY_PARAM_COUNT, true, true),
                         clause_propagation_algo({iset(1), iset(2)}));
    EXPECT_EQ(prop.count_params(), ANY_PARAM_COUNT);
    EXPECT_EQ(prop.algo().a_count(), 0u);
    constraint_explicit_info view = view_of({S("0:3"), S("0:3"), S("0:3"), S("0:3"), S("2")});
    EXPECT_TRUE(prop.init(view));
    EXPECT_EQ(prop.algo().a_count(), 3u);
    EXPECT_EQ(prop.algo().a_part().seen_arity, 3u);
    // The clause watches its two literals; their numbers are shifted by a.
    EXPECT_EQ(prop.count_watches(), 2u);
    EXPECT_EQ(prop.watched_param_index(0), 3u);
    EXPECT_EQ(prop.watched_param_index(1), 4u);
    // A clone keeps the stored count before its own init.
    auto copy = prop.clone();
    copy->forget_watches();
    EXPECT_EQ(copy->count_watches(), 0u);
    EXPECT_FALSE(copy->conflicts(view));
    // More literals than parameters, or no literal count, cannot be split.
    constraint_explicit_info small = view_of({S("0")});
    EXPECT_EQ(error_of([&] { prop.constraint_check(small); }),
              "The second propagation algorithm reports more arguments than the total");
    prop.forget_watches();

    struct unknown_clause : clause_propagation_algo {
        unsigned count_params() const { return ANY_PARAM_COUNT; }
    };
    disjoint_propagation_algo<fixed_part, unknown_clause> unknown{fixed_part(ANY_PARAM_COUNT),
                                                                  unknown_clause()};
    EXPECT_EQ(error_of([&] { unknown.a_count_params(view); }),
              "Can't operate on disjoined propagation algorithms without knowing their "
              "parameter counts");

    equal_or_clause known = make_equal_or({iset(1), iset(2), iset(3)});
    EXPECT_EQ(known.count_params(), 5u);
    EXPECT_EQ(known.algo().a_count(), 2u);
}

TEST(DisjointPropagator, PrintsBothPartsOnOneLine) {
    equal_or_clause prop = make_equal_or({iset(3), iset(4)});
    constraint_explicit_info view = view_of({S("0:5"), S("0:5"), S("0:5"), S("0:5")});
    std::ostringstream with_view, without;
    prop.print(with_view, &view);
    prop.print(without, nullptr);
    EXPECT_EQ(with_view.str(), "constraint((P0==P1) ||  [P2=3, P3=4])\n");
    EXPECT_EQ(without.str(), "(equal || [P0=3, P1=4])\n");

    // Trailing line breaks of the parts are dropped, one each.
    fixed_or_clause fixed(fixed_part(), clause_propagation_algo({iset(1)}));
    std::ostringstream os;
    fixed.print(os, nullptr);
    EXPECT_EQ(os.str(), "(fixed || [P0=1])\n");
}

TEST(DisjointPropagator, ExplainsAClauseNarrowingByTheEqualitysConflict) {
    equal_or_clause prop = make_equal_or({S("2,3"), iset(1)});
    const std::vector<iset> domains = {iset(1), S("2:3"), S("0:3"), iset(4)};
    constraint_explicit_info view = view_of(domains);
    std::vector<iset> why;
    // Whatever sets are passed for a clause parameter.
    prop.explain_propagation(2, iset(0), S("2:3"), view, why);
    ASSERT_EQ(why.size(), 4u);
    std::vector<iset> own;
    constraint_explicit_info a_view = view_of({iset(1), S("2:3")});
    equal_propagator().explain_propagation(0, iset(MIN_DOMAIN, MAX_DOMAIN), iset(), a_view, own);
    ASSERT_EQ(own.size(), 2u);
    EXPECT_TRUE(same(why[0], own[0]));
    EXPECT_TRUE(same(why[1], own[1]));
    EXPECT_EQ(text(why[2]), text(S("2,3")));
    EXPECT_EQ(text(why[3]), text(iset(1)));
}

}  // namespace disjunction_description_test
