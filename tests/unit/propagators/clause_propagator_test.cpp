// Clause propagators on an explicit view that records value watches, so the
// tests see where the watches stand and wake the clause as the engine does:
// only when a watched value leaves its domain. Covers watch moves, unit
// propagation with set literals, a randomized comparison with brute force,
// initialisation, editing, simplification, printing and the watch-less clause.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "tests/unit/test_helpers.h"

namespace clause_propagator_test {

using qarn_test::same;
using qarn_test::error_of;
using qarn_test::S;
using qarn_test::text;

using namespace qarn;
using range = std::pair<int, int>;
typedef propagation_types::result_type result_type;

// An explicit view that records the value watches it hands out, checks that
// every release names the parameter and value of its allocation, and can be
// put in querying mode.
class watch_view : public constraint_explicit_info {
public:
    struct value_watch {
        unsigned param;
        int value;
        watch_handle_t handle;
    };

    explicit watch_view(const std::vector<iset>& domains, bool querying = false)
        : constraint_explicit_info(static_cast<unsigned>(domains.size())), m_querying(querying) {
        for (unsigned p = 0; p < domains.size(); ++p)
            assign(p, domains[p]);
    }

    watch_handle_t allocate_value_watch(unsigned param, int value) override {
        watch_handle_t handle = constraint_explicit_info::allocate_value_watch(param, value);
        watches.push_back({param, value, handle});
        ++allocations;
        return handle;
    }

    void deallocate_value_watch(unsigned param, int value, watch_handle_t handle) override {
        auto it = std::find_if(watches.begin(), watches.end(),
                               [&](const value_watch& w) { return w.handle == handle; });
        if (it == watches.end()) {
            ADD_FAILURE() << "release of an unknown watch on P" << param;
            return;
        }
        EXPECT_EQ(it->param, param);
        EXPECT_EQ(it->value, value);
        watches.erase(it);
        constraint_explicit_info::deallocate_value_watch(param, value, handle);
    }

    bool querying_domain() const override { return m_querying; }

    // Sets a domain directly (a narrowing, or a back-jump widening it).
    void assign(unsigned param, const iset& domain) {
        set_domain(param, domain);
        EXPECT_TRUE(same(this->domain(param), domain)) << "P" << param;
    }

    // Narrows the domain; true when a watched value left it, so the engine
    // would wake the clause.
    bool narrow(unsigned param, const iset& domain) {
        EXPECT_TRUE(this->domain(param).contains_all_of(domain));
        bool woken = false;
        for (const value_watch& w : watches)
            if (w.param == param && this->domain(param).contains(w.value) &&
                !domain.contains(w.value))
                woken = true;
        assign(param, domain);
        return woken;
    }

    std::vector<value_watch> watches;
    unsigned allocations = 0;

private:
    bool m_querying;
};

// The watch records: "-" no watch, "p" a watched parameter without value
// watch, "p@v" a value watch on v.
std::string watches_of(const clause_propagator& c) {
    std::ostringstream os;
    for (unsigned w = 0; w < 2; ++w) {
        const clause_propagation_algo::watch_record& r = c.algo().watch(w);
        if (w)
            os << ' ';
        if (r.index < 0)
            os << '-';
        else if (r.handle.is_null())
            os << r.index;
        else
            os << r.index << '@' << r.value;
    }
    return os.str();
}

// The view holds exactly the value watches the clause records.
void expect_registered(const watch_view& view, const clause_propagator& c) {
    std::vector<std::pair<unsigned, int>> held, recorded;
    for (const watch_view::value_watch& w : view.watches)
        held.emplace_back(w.param, w.value);
    for (unsigned w = 0; w < 2; ++w) {
        const clause_propagation_algo::watch_record& r = c.algo().watch(w);
        if (!r.handle.is_null())
            recorded.emplace_back(static_cast<unsigned>(r.index), r.value);
    }
    std::sort(held.begin(), held.end());
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(held, recorded);
    EXPECT_EQ(c.count_watches(), recorded.size());
    EXPECT_EQ(view.count_watches(), view.watches.size());
}

clause_propagator clause_of(const std::vector<iset>& literals) {
    clause_propagator c;
    c.update_literals() = literals;
    return c;
}

std::string printed(const constraint_propagator& c, const constraint_runtime_info* ri) {
    std::ostringstream os;
    c.print(os, ri);
    return os.str();
}

using qarn_test::CONSISTENT;
using qarn_test::UNSAT;
using qarn_test::VALID;

// ---------------------------------------------------------------------------
// Watch moves

struct watch_step {
    std::vector<std::pair<unsigned, const char*>> domains; // set in this order
    bool restore;         // a back-jump: domains widen, the clause is not run
    bool woken;           // a watched value left a domain
    result_type result;   // of the propagation when woken
    const char* watches;  // afterwards
};

struct watch_case {
    const char* what;
    std::vector<const char*> literals;
    std::vector<const char*> domains;
    bool querying;
    const char* after_init;
    std::vector<watch_step> steps;
};

TEST(ClauseWatches, MoveAsValuesLeave) {
    const watch_case cases[] = {
        {"next common value, then wrap-around to the smallest",
         {"1,3,7", "0"},
         {"0:9", "0:9"},
         false,
         "0@1 1@0",
         {
             {{{0, "3:9"}}, false, true, CONSISTENT, "0@3 1@0"},
             {{{0, "4:9"}}, false, true, CONSISTENT, "0@7 1@0"},
             {{{0, "0:9"}}, true, false, CONSISTENT, "0@7 1@0"},
             {{{0, "0:6"}}, false, true, CONSISTENT, "0@1 1@0"},
         }},
        {"skips set values missing from the domain and domain values missing from the set",
         {"1,3,5,7", "0"},
         {"0:9", "0:9"},
         false,
         "0@1 1@0",
         {
             {{{0, "0:4,6:9"}}, false, false, CONSISTENT, "0@1 1@0"},
             {{{0, "0,2,4,6:9"}}, false, true, CONSISTENT, "0@7 1@0"},
         }},
        {"a gap in the domain: the next common value above, not the least",
         {"1,3,5,7", "0"},
         {"0:9", "0:9"},
         false,
         "0@1 1@0",
         {
             {{{0, "2:9"}}, false, true, CONSISTENT, "0@3 1@0"},
             {{{0, "0:9"}}, true, false, CONSISTENT, "0@3 1@0"},
             {{{0, "0:2,4,6:9"}}, false, true, CONSISTENT, "0@7 1@0"},
         }},
        {"a fresh literal is watched from the old value on, wrapping round",
         {"1", "5", "1:2,8"},
         {"0:1", "0:9", "0:9"},
         false,
         "0@1 1@5",
         {
             {{{1, "6:9"}}, false, true, CONSISTENT, "0@1 2@8"},
             {{{2, "0:7"}}, false, true, CONSISTENT, "0@1 2@1"},
         }},
        {"round robin skips the other watch and wraps to the front",
         {"1", "1", "1", "1"},
         {"0:1", "0:1", "0:1", "0:1"},
         false,
         "0@1 1@1",
         {
             {{{0, "0"}}, false, true, CONSISTENT, "2@1 1@1"},
             {{{0, "0:1"}}, true, false, CONSISTENT, "2@1 1@1"},
             {{{3, "0"}}, false, false, CONSISTENT, "2@1 1@1"},
             {{{2, "0"}}, false, true, CONSISTENT, "0@1 1@1"},
             // Only watch 0's literal is left: unit propagation.
             {{{1, "0"}}, false, true, VALID, "0@1 1@1"},
         }},
        {"a true replacement entails the clause and nothing moves",
         {"1", "1", "0:5"},
         {"0:1", "0:1", "0:9"},
         false,
         "0@1 1@1",
         {
             {{{2, "0:5"}}, false, false, CONSISTENT, "0@1 1@1"},
             {{{0, "0"}}, false, true, VALID, "0@1 1@1"},
         }},
        {"a true watched literal entails the clause",
         {"1:2", "5"},
         {"0:9", "0:9"},
         false,
         "0@1 1@5",
         {
             {{{0, "1:2"}}, false, false, CONSISTENT, "0@1 1@5"},
             {{{1, "0:4,6:9"}}, false, true, VALID, "0@1 1@5"},
         }},
        {"both watched values leave at once",
         {"1:2", "1:2", "1"},
         {"0:3", "0:3", "0:3"},
         false,
         "0@1 1@1",
         {
             {{{0, "2:3"}, {1, "2:3"}}, false, true, CONSISTENT, "0@2 1@2"},
             // Watch 0 moves to the last literal, which watch 1 then finds unit.
             {{{0, "3"}, {1, "3"}}, false, true, VALID, "2@1 1@2"},
         }},
        {"conflict when both watched literals become false",
         {"1", "1", "2"},
         {"0:1", "0:1", "0:1"},
         false,
         "0@1 1@1",
         {
             {{{0, "0"}, {1, "0"}}, false, true, UNSAT, "0@1 1@1"},
         }},
        // Querying views keep the watches on values the domains hold.
        {"querying: the other watch follows its unit-propagated literal",
         {"1", "2:3"},
         {"0:1", "0:9"},
         true,
         "0@1 1@2",
         {
             {{{0, "0"}, {1, "3:9"}}, false, true, VALID, "0@1 1@3"},
         }},
        {"not querying: the other watch stays after unit propagation",
         {"1", "2:3"},
         {"0:1", "0:9"},
         false,
         "0@1 1@2",
         {
             {{{0, "0"}, {1, "3:9"}}, false, true, VALID, "0@1 1@2"},
         }},
    };
    for (const watch_case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<iset> literals, domains;
        for (const char* l : k.literals)
            literals.push_back(S(l));
        for (const char* d : k.domains)
            domains.push_back(S(d));
        watch_view view(domains, k.querying);
        clause_propagator c = clause_of(literals);
        ASSERT_TRUE(c.init(view));
        EXPECT_EQ(watches_of(c), k.after_init);
        expect_registered(view, c);
        unsigned n = 0;
        for (const watch_step& s : k.steps) {
            SCOPED_TRACE("step " + std::to_string(n++));
            bool woken = false;
            for (const auto& [param, domain] : s.domains) {
                if (s.restore)
                    view.assign(param, S(domain));
                else
                    woken = view.narrow(param, S(domain)) || woken;
            }
            EXPECT_EQ(woken, s.woken);
            if (woken) {
                EXPECT_EQ(c.propagate(view), s.result);
            }
            EXPECT_EQ(watches_of(c), s.watches);
            expect_registered(view, c);
        }
    }
}

TEST(ClauseWatches, PresentValuesCostNoWatchCalls) {
    watch_view view({S("0:9"), S("0:9")});
    clause_propagator c{S("1:3"), S("4:6")};
    ASSERT_TRUE(c.init(view));
    EXPECT_EQ(view.allocations, 2u);
    view.narrow(0, S("1:2,5"));
    view.narrow(1, S("0:5"));
    EXPECT_EQ(c.propagate(view), CONSISTENT);
    EXPECT_EQ(view.allocations, 2u);
    EXPECT_EQ(watches_of(c), "0@1 1@4");
}

TEST(ClauseWatches, UnitLiteralNarrowedAtTheEnd) {
    // The round robin case above ends in unit propagation of parameter 0.
    watch_view view({S("0:1"), S("0:1"), S("0")});
    clause_propagator c = clause_of({S("1"), S("1"), S("1")});
    ASSERT_TRUE(c.init(view));
    EXPECT_EQ(watches_of(c), "0@1 1@1");
    EXPECT_TRUE(view.narrow(1, S("0")));
    EXPECT_EQ(c.propagate(view), VALID);
    EXPECT_TRUE(same(view.domain(0), S("1")));
}

// ---------------------------------------------------------------------------
// Unit propagation with set literals: x in {1,5,9} or y not in 3:7

TEST(ClauseUnitPropagation, SetLiteralsOverWideDomains) {
    iset y_literal;
    y_literal.complement();
    y_literal.erase(range(3, 7));
    const struct {
        const char* x;
        const char* y;
        result_type result;
        const char* x_after;
        const char* y_after;
    } cases[] = {
        {"0:10", "0:10", CONSISTENT, "0:10", "0:10"},
        {"0,2:4,6:8,10", "0:10", VALID, "0,2:4,6:8,10", "0:2,8:10"},
        {"0:10", "3:7", VALID, "1,5,9", "3:7"},
        {"2:6", "4:6", VALID, "5", "4:6"},
        {"1,5", "0:10", VALID, "1,5", "0:10"},
        {"0:10", "8:10", VALID, "0:10", "8:10"},
        {"2:4", "3:7", UNSAT, nullptr, nullptr},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string("x=") + k.x + " y=" + k.y);
        watch_view view({S("0:10"), S("0:10")});
        clause_propagator c{S("1,5,9"), y_literal};
        ASSERT_TRUE(c.init(view));
        EXPECT_EQ(watches_of(c), "0@1 1@0");
        view.narrow(0, S(k.x));
        view.narrow(1, S(k.y));
        EXPECT_EQ(c.propagate(view), k.result);
        if (k.result == UNSAT)
            continue;
        EXPECT_EQ(text(view.domain(0)), text(S(k.x_after)));
        EXPECT_EQ(text(view.domain(1)), text(S(k.y_after)));
    }
}

// ---------------------------------------------------------------------------
// Randomized comparison with brute force

constexpr int VALUES = 16; // literal sets and domains within 0..15

std::vector<int> values_of(const iset& s) {
    std::vector<int> out;
    for (iset::iterator it = s.begin(); it != s.end(); ++it)
        out.push_back(*it);
    return out;
}

// The values of each domain that take part in some solution of the clause,
// found by enumerating every combination.
std::vector<iset> supported_values(const std::vector<iset>& literals,
                                   const std::vector<iset>& domains) {
    const std::size_t n = domains.size();
    std::vector<iset> supported(n);
    std::vector<std::vector<int>> values(n);
    std::vector<std::array<bool, VALUES>> in_literal(n), seen(n);
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = values_of(domains[i]);
        if (values[i].empty())
            return supported;
        seen[i].fill(false);
        for (int v = 0; v < VALUES; ++v)
            in_literal[i][v] = literals[i].contains(v);
    }
    std::vector<std::size_t> at(n, 0);
    for (;;) {
        bool holds = false;
        for (std::size_t i = 0; i < n && !holds; ++i)
            holds = in_literal[i][values[i][at[i]]];
        if (holds)
            for (std::size_t i = 0; i < n; ++i)
                seen[i][values[i][at[i]]] = true;
        std::size_t i = 0;
        while (i < n && ++at[i] == values[i].size())
            at[i++] = 0;
        if (i == n)
            break;
    }
    for (std::size_t i = 0; i < n; ++i)
        for (int v = 0; v < VALUES; ++v)
            if (seen[i][v])
                supported[i].insert(range(v, v));
    return supported;
}

std::vector<iset> domains_of(const constraint_runtime_info& ri) {
    std::vector<iset> out;
    for (unsigned p = 0; p < ri.arity(); ++p)
        out.push_back(ri.domain(p));
    return out;
}

iset random_subset(std::mt19937& rng, unsigned percent) {
    iset s;
    for (int v = 0; v < VALUES; ++v)
        if (rng() % 100 < percent)
            s.insert(range(v, v));
    return s;
}

// While the clause is neither entailed nor conflicting, its two watches stand
// on different parameters, on values of both the literal set and the domain.
void expect_watch_invariant(const watch_view& view, const clause_propagator& c) {
    const auto& w0 = c.algo().watch(0);
    const auto& w1 = c.algo().watch(1);
    ASSERT_GE(w0.index, 0);
    ASSERT_GE(w1.index, 0);
    EXPECT_NE(w0.index, w1.index);
    for (const auto* w : {&w0, &w1}) {
        EXPECT_FALSE(w->handle.is_null());
        const unsigned p = static_cast<unsigned>(w->index);
        EXPECT_TRUE(c.literals()[p].contains(w->value)) << "P" << p << "@" << w->value;
        EXPECT_TRUE(view.domain(p).contains(w->value)) << "P" << p << "@" << w->value;
    }
    expect_registered(view, c);
}

// One propagation judged against brute force on the domains before it.
void expect_sound_and_complete(const std::vector<iset>& literals,
                               const std::vector<iset>& before, const watch_view& view,
                               const clause_propagator& c, result_type result) {
    const std::vector<iset> after = domains_of(view);
    const std::vector<iset> supported = supported_values(literals, before);
    const bool solvable = !supported.empty() && !supported[0].empty();
    EXPECT_EQ(result == UNSAT, !solvable) << "result " << result;
    if (result == UNSAT)
        return;
    unsigned holders = 0, holder = 0;
    for (unsigned i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(before[i].contains_all_of(after[i])) << "P" << i << " grew";
        EXPECT_TRUE(after[i].contains_all_of(supported[i]))
            << "P" << i << " lost a solution: " << text(after[i]) << " vs "
            << text(supported[i]);
        if (literals[i].contains_any_of(before[i])) {
            ++holders;
            holder = i;
        }
    }
    if (holders == 1) {
        EXPECT_EQ(result, VALID);
        iset expected(before[holder]);
        expected.intersect(literals[holder]);
        EXPECT_TRUE(same(after[holder], expected)) << "P" << holder;
    }
    if (result == VALID) {
        bool entailed = false;
        for (unsigned i = 0; i < after.size(); ++i)
            entailed = entailed || literals[i].contains_all_of(after[i]);
        EXPECT_TRUE(entailed) << "VALID but not entailed";
    }
    if (result == CONSISTENT)
        expect_watch_invariant(view, c);
    expect_registered(view, c);
}

void random_clause_runs(bool querying) {
    std::mt19937 rng(querying ? 20240611u : 1234567u);
    unsigned propagations = 0;
    for (unsigned trial = 0; trial < 600; ++trial) {
        const unsigned n = 2 + rng() % 3;
        std::vector<iset> literals, domains;
        for (unsigned i = 0; i < n; ++i) {
            literals.push_back(rng() % 8 == 0 ? iset() : random_subset(rng, 10 + rng() % 40));
            iset d;
            while (d.empty())
                d = random_subset(rng, 30 + rng() % 50);
            domains.push_back(d);
        }
        watch_view view(domains, querying);
        clause_propagator c = clause_of(literals);
        std::ostringstream trace;
        c.print(trace, nullptr);
        trace << " on ";
        view.print(trace);
        SCOPED_TRACE(trace.str());

        bool can_hold = false;
        for (unsigned i = 0; i < n; ++i)
            can_hold = can_hold || literals[i].contains_any_of(domains[i]);
        const bool ok = c.init(view);
        EXPECT_EQ(ok, can_hold);
        if (!ok)
            continue;
        expect_registered(view, c);

        // The engine propagates a new constraint once, then whenever a watched
        // value leaves a domain, until the clause is entailed or conflicts.
        std::vector<iset> before = domains_of(view);
        result_type result = c.propagate(view);
        ++propagations;
        expect_sound_and_complete(literals, before, view, c, result);
        for (unsigned step = 0; step < 40 && result == CONSISTENT; ++step) {
            std::vector<unsigned> reducible;
            for (unsigned p = 0; p < n; ++p)
                if (view.domain(p).size() > 1)
                    reducible.push_back(p);
            if (reducible.empty())
                break;
            const unsigned p = reducible[rng() % reducible.size()];
            std::vector<int> values = values_of(view.domain(p));
            std::shuffle(values.begin(), values.end(), rng);
            const std::size_t drop = 1 + rng() % std::min<std::size_t>(3, values.size() - 1);
            iset narrowed(view.domain(p));
            for (std::size_t k = 0; k < drop; ++k)
                narrowed.erase(range(values[k], values[k]));
            if (!view.narrow(p, narrowed)) {
                // Not woken: both watched literals can still hold.
                expect_watch_invariant(view, c);
                continue;
            }
            before = domains_of(view);
            result = c.propagate(view);
            ++propagations;
            expect_sound_and_complete(literals, before, view, c, result);
            if (::testing::Test::HasFailure())
                return;
        }
    }
    EXPECT_GT(propagations, 1000u);
}

TEST(ClauseRandomized, AgreesWithBruteForce) {
    random_clause_runs(false);
}

TEST(ClauseRandomized, AgreesWithBruteForceWhenQuerying) {
    random_clause_runs(true);
}

// ---------------------------------------------------------------------------
// Initialisation

TEST(ClauseInit, Cases) {
    const struct {
        const char* what;
        std::vector<const char*> literals;
        std::vector<const char*> domains;
        bool querying;
        bool result;
        const char* watches;
    } cases[] = {
        {"a true literal is watched without a value watch", {"1", "0:9"}, {"0:1", "2:5"}, false,
         true, "1 -"},
        {"querying ignores true literals", {"1", "0:9"}, {"0:1", "2:5"}, true, true, "0@1 1@2"},
        {"a single literal that can hold waits for propagation", {"1", "2:3", "4"},
         {"0", "0:5", "0:3"}, false, true, "1 -"},
        {"querying: the single literal and the first other non-empty set", {"", "2:3", "4", "7"},
         {"0", "0:5", "0:3", "0:6"}, true, true, "1@2 2@4"},
        {"querying: the only non-empty set", {"", "2:3"}, {"0", "0:5"}, true, true, "1@2 -"},
        {"the first two literals that can hold", {"1", "3", "4:5", "2"},
         {"0", "0:9", "0:9", "0:9"}, false, true, "1@3 2@4"},
        {"every literal false", {"1", "2", ""}, {"0", "0", "0:9"}, false, false, "- -"},
        {"every literal false, querying", {"1", "2"}, {"0", "0"}, true, false, "- -"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<iset> literals, domains;
        for (const char* l : k.literals)
            literals.push_back(S(l));
        for (const char* d : k.domains)
            domains.push_back(S(d));
        watch_view view(domains, k.querying);
        clause_propagator c = clause_of(literals);
        EXPECT_EQ(c.init(view), k.result);
        EXPECT_EQ(watches_of(c), k.watches);
        expect_registered(view, c);
    }
}

TEST(ClauseInit, SettledByTheFirstPropagation) {
    {
        // A true literal: entailed, nothing narrowed.
        watch_view view({S("0:1"), S("2:5")});
        clause_propagator c{S("1"), S("0:9")};
        ASSERT_TRUE(c.init(view));
        EXPECT_EQ(c.count_watches(), 0u);
        EXPECT_EQ(c.propagate(view), VALID);
        EXPECT_EQ(text(view.domain(0)), "0,1");
        EXPECT_EQ(text(view.domain(1)), "2:5");
    }
    for (bool querying : {false, true}) {
        // A single literal that can hold is narrowed to its set.
        SCOPED_TRACE(querying ? "querying" : "not querying");
        watch_view view({S("0"), S("0:5"), S("0:3")}, querying);
        clause_propagator c{S("1"), S("2:3"), S("4")};
        ASSERT_TRUE(c.init(view));
        EXPECT_EQ(c.propagate(view), VALID);
        EXPECT_EQ(text(view.domain(1)), "2,3");
        expect_registered(view, c);
    }
    {
        // Querying with one watch only: the watch is refreshed, the literal narrowed.
        watch_view view({S("0:3"), S("0:3")}, true);
        clause_propagator c{S("1:2"), iset()};
        ASSERT_TRUE(c.init(view));
        EXPECT_EQ(watches_of(c), "0@1 -");
        view.narrow(0, S("2:3"));
        EXPECT_EQ(c.propagate(view), VALID);
        EXPECT_EQ(watches_of(c), "0@2 -");
        EXPECT_EQ(text(view.domain(0)), "2");
        expect_registered(view, c);
    }
}

TEST(ClauseInit, EmptyClauseAndArityMismatch) {
    clause_propagator empty;
    constraint_explicit_info none(0);
    EXPECT_FALSE(empty.init(none));
    EXPECT_TRUE(empty.conflicts(none));
    EXPECT_FALSE(empty.constraint_check(none));
    EXPECT_EQ(empty.propagate(none), UNSAT);
    EXPECT_EQ(empty.count_params(), 0u);

    clause_propagator two{S("1"), S("2")};
    EXPECT_EQ(two.count_params(), 2u);
    constraint_explicit_info three(3);
    EXPECT_EQ(error_of([&] { two.init(three); }), "Number of variables and literals differ");
    EXPECT_THROW(two.init(three), std::runtime_error);
}

// ---------------------------------------------------------------------------
// Editing, cloning and the other slots

TEST(ClauseEditing, RefusedWhileWatched) {
    watch_view view({S("0:1"), S("0:1")});
    clause_propagator c{S("1"), S("1")};
    c.update_literals()[1] = S("0");
    ASSERT_TRUE(c.init(view));
    EXPECT_EQ(c.count_watches(), 2u);
    EXPECT_EQ(error_of([&] { c.update_literals(); }), "Modifying the clause at runtime");
    EXPECT_EQ(text(c.literals()[1]), "0");

    // After the engine drops the watches the clause can be edited; the
    // watched parameters are kept.
    c.forget_watches();
    EXPECT_EQ(c.count_watches(), 0u);
    EXPECT_EQ(c.watched_param_index(0), 0u);
    EXPECT_EQ(c.watched_param_index(1), 1u);
    EXPECT_NO_THROW(c.update_literals().push_back(S("2")));
    EXPECT_EQ(c.count_params(), 3u);

    // A clause whose watch holds no value watch stays editable.
    watch_view entailed({S("1")});
    clause_propagator unit{S("1")};
    ASSERT_TRUE(unit.init(entailed));
    EXPECT_EQ(unit.watched_param_index(0), 0u);
    EXPECT_NO_THROW(unit.update_literals());

    clause_propagator fresh{S("1")};
    EXPECT_EQ(fresh.watched_param_index(0), NO_PARAM);
    EXPECT_EQ(fresh.watched_param_index(1), NO_PARAM);
}

TEST(ClauseEditing, CloneCopiesLiteralsAndWatches) {
    watch_view view({S("0:1"), S("0:3"), S("0:1")});
    clause_propagator c{S("1"), S("2:3"), S("0")};
    ASSERT_TRUE(c.init(view));
    std::unique_ptr<constraint_propagator> copy = c.clone();
    auto* clause = dynamic_cast<clause_propagator*>(copy.get());
    ASSERT_NE(clause, nullptr);
    EXPECT_EQ(watches_of(*clause), watches_of(c));
    ASSERT_EQ(clause->literals().size(), 3u);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_TRUE(same(clause->literals()[i], c.literals()[i]));
    clause->forget_watches();
    EXPECT_EQ(c.count_watches(), 2u);
}

TEST(ClauseQueries, FalseTrueAndUndecidedLiterals) {
    // Literals: P0 false, P1 true, P2 undecided, P3 empty set.
    constraint_explicit_info ri(4);
    ri.set_domain(0, S("0:1"));
    ri.set_domain(1, S("3:4"));
    ri.set_domain(2, S("5:9"));
    ri.set_domain(3, S("0:9"));
    clause_propagator c{S("2"), S("3:5"), S("7"), iset()};
    EXPECT_FALSE(c.potentially_falsifying(ri, 0));
    EXPECT_FALSE(c.potentially_falsifying(ri, 1));
    EXPECT_TRUE(c.potentially_falsifying(ri, 2));
    EXPECT_FALSE(c.potentially_falsifying(ri, 3));
    EXPECT_FALSE(c.conflicts(ri));

    std::vector<iset> explanation{S("9")};
    c.explain_propagation(2, S("5"), S("7"), ri, explanation);
    ASSERT_EQ(explanation.size(), 4u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_TRUE(same(explanation[i], c.literals()[i]));

    const struct {
        std::vector<const char*> domains;
        bool conflicts;
    } cases[] = {
        {{"0:1", "0:2", "8:9", "0:9"}, true},
        {{"0:1", "0:2", "7:9", "0:9"}, false},
        {{"2", "0", "0", "0"}, false},
    };
    for (const auto& k : cases) {
        constraint_explicit_info view(4);
        for (unsigned i = 0; i < 4; ++i)
            view.set_domain(i, S(k.domains[i]));
        EXPECT_EQ(c.conflicts(view), k.conflicts);
        EXPECT_EQ(c.constraint_check(view), !k.conflicts);
    }
}

TEST(ClauseQueries, ConflictsAfterNarrowing) {
    watch_view view({S("0:1"), S("0:1"), S("0:1")});
    clause_propagator c{S("1"), S("1"), S("1")};
    ASSERT_TRUE(c.init(view));
    view.narrow(0, S("0"));
    view.narrow(2, S("0"));
    EXPECT_FALSE(c.conflicts(view)); // watch 1's literal can hold
    view.narrow(1, S("0"));
    EXPECT_TRUE(c.conflicts(view));
}

TEST(ClauseSimplification, IntersectWithDomains) {
    constraint_explicit_info ri(3);
    ri.set_domain(0, S("0:20"));
    ri.set_domain(1, S("2:10"));
    ri.set_domain(2, S("0:5"));
    {
        clause_propagator c{S("1,5,9"), S("2:3"), S("0")};
        std::vector<unsigned> params{7, 7};
        EXPECT_EQ(c.intersect_with(ri, params), nullptr);
        EXPECT_EQ(params, (std::vector<unsigned>{7, 7}));
        clause_propagator empty;
        constraint_explicit_info none(0);
        EXPECT_EQ(empty.intersect_with(none, params), nullptr);
    }
    {
        watch_view view({S("0:20"), S("0:20"), S("0:20")});
        clause_propagator c{S("1,5,9"), S("0:3"), S("7")};
        ASSERT_TRUE(c.init(view));
        std::vector<unsigned> params{7};
        std::unique_ptr<constraint_propagator> r = c.intersect_with(ri, params);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(params, (std::vector<unsigned>{0, 1}));
        auto* clause = dynamic_cast<clause_propagator*>(r.get());
        ASSERT_NE(clause, nullptr);
        ASSERT_EQ(clause->literals().size(), 2u);
        EXPECT_EQ(text(clause->literals()[0]), "1,5,9");
        EXPECT_EQ(text(clause->literals()[1]), "2,3");
        EXPECT_EQ(clause->count_watches(), 0u);
        EXPECT_EQ(c.count_watches(), 2u);
        EXPECT_EQ(text(c.literals()[2]), "7");
    }
    {
        // Dropping a literal before a kept one renumbers the kept ones.
        clause_propagator c{S("30"), S("4:6"), S("1")};
        std::vector<unsigned> params;
        std::unique_ptr<constraint_propagator> r = c.intersect_with(ri, params);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(params, (std::vector<unsigned>{1, 2}));
        EXPECT_EQ(r->count_params(), 2u);
    }
}

// A constraint that takes the lead when combined and records how it was called.
struct leading_constraint : constraint_propagator {
    mutable const constraint_propagator* combined_with = nullptr;
    mutable std::vector<unsigned> map;
    mutable unsigned pivot = 0;

    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<leading_constraint>(*this);
    }
    bool may_combine(const constraint_propagator&) const override { return true; }
    std::unique_ptr<constraint_propagator> combine(const constraint_runtime_info&,
                                                   const constraint_propagator& other,
                                                   const constraint_runtime_info&,
                                                   const std::vector<unsigned>& other_to_this,
                                                   unsigned param,
                                                   std::vector<unsigned>& out) const override {
        combined_with = &other;
        map = other_to_this;
        pivot = param;
        out = {0, 2};
        return clone();
    }
};

TEST(ClauseCombination, TheOtherConstraintLeads) {
    clause_propagator c{S("1"), S("2")};
    clause_propagator d{S("1")};
    stateless_clause_propagator s({S("1")});
    leading_constraint lead;
    EXPECT_FALSE(c.may_combine(d));
    EXPECT_TRUE(c.may_combine(equal_propagator()));
    EXPECT_FALSE(c.may_combine(s)); // the watch-less clause refuses clauses
    EXPECT_TRUE(c.may_combine(lead));

    // The leader's parameter 0 is the clause's parameter 1; its parameter 1
    // is not shared. The pivot is the leader's parameter 0, handed to it as
    // the clause's parameter 1.
    constraint_explicit_info this_ri(2), other_ri(2);
    std::vector<unsigned> out;
    std::unique_ptr<constraint_propagator> r =
        c.combine(this_ri, lead, other_ri, {1, 2}, 0, out);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(lead.combined_with, &c);
    EXPECT_EQ(lead.map, (std::vector<unsigned>{2, 0}));
    EXPECT_EQ(lead.pivot, 1u);
    EXPECT_EQ(out, (std::vector<unsigned>{1, 0}));
}

// ---------------------------------------------------------------------------
// Printing

TEST(ClausePrinting, WatchesAndLiterals) {
    clause_propagator c{S("1"), S("1,5,9"), S("7:9")};
    EXPECT_EQ(printed(c, nullptr), "[P0=1, P1:{1,5,9}, P2:{7:9}]");
    watch_view view({S("0:1"), S("0:9"), S("0:9")});
    ASSERT_TRUE(c.init(view));
    EXPECT_EQ(printed(c, &view), "constraint [*1?P0=1, *1?P1:{1,5,9}, P2:{7:9}]");
    EXPECT_EQ(printed(c, nullptr), "[*1?P0=1, *1?P1:{1,5,9}, P2:{7:9}]");
    c.forget_watches();
    EXPECT_EQ(printed(c, nullptr), "[*P0=1, *P1:{1,5,9}, P2:{7:9}]");

    clause_propagator bounds{iset(range(MIN_DOMAIN, 4)), iset(range(6, MAX_DOMAIN))};
    EXPECT_EQ(printed(bounds, nullptr), "[P0<=4, P1>=6]");
}

// ---------------------------------------------------------------------------
// The watch-less clause

TEST(StatelessClause, PropagatesByScanning) {
    const struct {
        std::vector<const char*> domains;
        result_type result;
        std::vector<const char*> after;
    } cases[] = {
        {{"0:1", "0:9", "0:9"}, CONSISTENT, {"0:1", "0:9", "0:9"}},
        {{"0", "0:9", "0:1"}, VALID, {"0", "2:3", "0:1"}},
        {{"1", "0:9", "0:9"}, VALID, {"1", "0:9", "0:9"}},
        {{"0", "4:9", "0:9"}, VALID, {"0", "4:9", "7"}},
        {{"0", "4:9", "0:6"}, UNSAT, {}},
    };
    const std::vector<iset> literals{S("1"), S("2:3"), S("7")};
    for (const auto& k : cases) {
        stateless_clause_propagator prototype(literals);
        std::unique_ptr<constraint_propagator> p = prototype.clone();
        auto* s = dynamic_cast<stateless_clause_propagator*>(p.get());
        ASSERT_NE(s, nullptr);
        EXPECT_FALSE(s->propagated());
        constraint_explicit_info ri(3);
        for (unsigned i = 0; i < 3; ++i)
            ri.set_domain(i, S(k.domains[i]));
        EXPECT_EQ(s->conflicts(ri), k.result == UNSAT);
        EXPECT_EQ(s->propagate(ri), k.result);
        EXPECT_TRUE(s->propagated());
        for (unsigned i = 0; i < k.after.size(); ++i)
            EXPECT_EQ(text(ri.domain(i)), text(S(k.after[i]))) << "P" << i;
        std::unique_ptr<constraint_propagator> again = s->clone();
        EXPECT_FALSE(static_cast<stateless_clause_propagator&>(*again).propagated());
    }
}

TEST(StatelessClause, CheckNeedsATrueLiteral) {
    stateless_clause_propagator s({S("1"), S("2:3")});
    const struct {
        const char* x;
        const char* y;
        bool holds;
    } cases[] = {{"0", "3", true}, {"1", "4", true}, {"0", "4", false}};
    for (const auto& k : cases) {
        constraint_explicit_info ri(2);
        ri.set_domain(0, S(k.x));
        ri.set_domain(1, S(k.y));
        EXPECT_EQ(s.constraint_check(ri), k.holds) << k.x << " " << k.y;
    }
    EXPECT_EQ(error_of([] { stateless_clause_propagator::throw_modifying_clause_at_runtime(); }),
              "Modifying the clause at runtime");
}

TEST(StatelessClause, Printing) {
    stateless_clause_propagator s({S("1"), S("2:3"), iset()});
    constraint_explicit_info ri(3);
    EXPECT_EQ(printed(s, &ri), "stateless_clause[P0:{1}, P1:{2,3}, P2:{}]\n");
    EXPECT_EQ(printed(s, nullptr), "stateless_clause[{1}, {2,3}, {}]\n");
}

}  // namespace clause_propagator_test
