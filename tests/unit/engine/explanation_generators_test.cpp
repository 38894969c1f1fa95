// Explanation generators: the probe view, the plain explanation, the refined
// ones under every refining order, and possibly crippling values. Two small
// exact propagators (x <= y, and "at least two of three are 1") run on an
// explicit-domain view; every explanation is checked against brute force over
// a window of values wider than the domains, including the extreme values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/engine/explanation_generators.h"
#include "impl/sets/model.h"
#include "tests/unit/test_helpers.h"

namespace explanation_generators_test {

using qarn_test::same;

using qarn::NO_PARAM;
using qarn::iset;
namespace eg = qarn::explanation_generators;

typedef qarn::propagation_types::result_type result_type;
using qarn_test::CONSISTENT;
using qarn_test::UNSAT;
using qarn_test::VALID;

iset full() {
    return iset(qarn::MIN_DOMAIN, qarn::MAX_DOMAIN);
}
iset complement(iset s) {
    s.complement();
    return s;
}
iset minus(iset a, const iset& b) {
    a.erase_all_of(b);
    return a;
}
iset unite(iset a, const iset& b) {
    a.insert_all_of(b);
    return a;
}
std::string braced(const iset& s) {
    std::ostringstream os;
    os << "{" << s << "}";
    return os.str();
}
std::string braced(const std::vector<iset>& sets) {
    std::string t;
    for (const iset& s : sets)
        t += braced(s);
    return t;
}
::testing::AssertionResult same_sets(const std::vector<iset>& got,
                                     const std::vector<iset>& expected) {
    bool equal = got.size() == expected.size();
    for (std::size_t i = 0; equal && i < got.size(); ++i)
        equal = same(got[i], expected[i]);
    if (equal)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << braced(got) << ", expected "
                                         << braced(expected);
}

// Domains held in the view; latest_modified_param answers from a table.
class explicit_view : public qarn::dummy_watch_info {
public:
    explicit explicit_view(std::vector<iset> domains) : m_domains(std::move(domains)) {}

    bool reduced_between_activations(unsigned) const override { return true; }
    queue_type originating_queue() const override { return CONSTRAINT_QUEUE; }
    void put_in_queue(queue_type) override {}
    const iset& domain(unsigned param) const override { return m_domains.at(param); }
    void set_domain(unsigned param, iset domain) override {
        if (!m_domains.at(param).contains_all_of(domain))
            throw std::logic_error("set_domain widens a domain");
        m_domains.at(param) = std::move(domain);
    }
    unsigned arity() const override { return static_cast<unsigned>(m_domains.size()); }
    unsigned latest_modified_param(unsigned param) const override {
        auto it = latest.find(param);
        return it == latest.end() ? NO_PARAM : it->second;
    }
    unsigned effort() const override { return effort_value; }

    std::map<unsigned, unsigned> latest;
    unsigned effort_value = 0;

private:
    std::vector<iset> m_domains;
};

// Narrows `param` to `s` (a subset of its domain) when that changes it.
void narrow(qarn::constraint_runtime_info& ri, unsigned param, const iset& s) {
    if (!same(ri.domain(param), s))
        ri.set_domain(param, s);
}

// x <= y over (x, y); arc consistent.
template <class Base>
class less_equal : public Base {
public:
    result_type propagate(qarn::constraint_runtime_info& ri) override {
        const iset& x = ri.domain(0);
        const iset& y = ri.domain(1);
        if (x.empty() || y.empty())
            return UNSAT;
        iset nx = x, ny = y;
        nx.intersect(iset::range_type(qarn::MIN_DOMAIN, y.max()));
        ny.intersect(iset::range_type(x.min(), qarn::MAX_DOMAIN));
        if (nx.empty() || ny.empty())
            return UNSAT;
        const bool valid = nx.max() <= ny.min();
        narrow(ri, 0, nx);
        narrow(ri, 1, ny);
        return valid ? VALID : CONSISTENT;
    }
    bool conflicts(const qarn::constraint_runtime_info& ri) const override {
        const iset& x = ri.domain(0);
        const iset& y = ri.domain(1);
        return x.empty() || y.empty() || x.min() > y.max();
    }
    bool constraint_check(const qarn::constraint_runtime_info& ri) const override {
        return ri.domain(0).min() <= ri.domain(1).min();
    }
    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<less_equal>(*this);
    }
};

// x <= y that reports a violation from the start.
class less_equal_refusing_init final : public less_equal<qarn::constraint_propagator> {
public:
    bool init(qarn::constraint_runtime_info&) override { return false; }
    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<less_equal_refusing_init>(*this);
    }
};

// At least two of (x0, x1, x2) equal 1; arc consistent.
template <class Base>
class at_least_two_ones final : public Base {
public:
    result_type propagate(qarn::constraint_runtime_info& ri) override {
        unsigned possible = 0, certain = 0;
        for (unsigned i = 0; i < 3; ++i) {
            const iset& d = ri.domain(i);
            if (d.empty())
                return UNSAT;
            possible += d.contains(1);
            certain += d.contains(1) && d.size() == 1;
        }
        if (possible < 2)
            return UNSAT;
        if (possible == 2) {
            for (unsigned i = 0; i < 3; ++i)
                if (ri.domain(i).contains(1))
                    narrow(ri, i, iset(1));
            return VALID;
        }
        return certain >= 2 ? VALID : CONSISTENT;
    }
    bool conflicts(const qarn::constraint_runtime_info& ri) const override {
        unsigned possible = 0;
        for (unsigned i = 0; i < 3; ++i) {
            if (ri.domain(i).empty())
                return true;
            possible += ri.domain(i).contains(1);
        }
        return possible < 2;
    }
    bool constraint_check(const qarn::constraint_runtime_info& ri) const override {
        unsigned ones = 0;
        for (unsigned i = 0; i < 3; ++i)
            ones += ri.domain(i).min() == 1;
        return ones >= 2;
    }
    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<at_least_two_ones>(*this);
    }
};

typedef std::function<bool(const std::vector<int>&)> predicate;

// Window values plus the extremes, without repeats.
std::vector<int> window(int lo, int hi) {
    std::vector<int> w{qarn::MIN_DOMAIN, qarn::MAX_DOMAIN};
    for (int v = lo; v <= hi; ++v)
        w.push_back(v);
    std::sort(w.begin(), w.end());
    w.erase(std::unique(w.begin(), w.end()), w.end());
    return w;
}

// Calls f on every tuple with t[i] among the candidates and within allowed[i].
void for_each_tuple(const std::vector<int>& candidates, const std::vector<iset>& allowed,
                    const std::function<void(const std::vector<int>&)>& f) {
    std::vector<int> t(allowed.size());
    std::function<void(std::size_t)> fill = [&](std::size_t i) {
        if (i == t.size()) {
            f(t);
            return;
        }
        for (int v : candidates)
            if (allowed[i].contains(v)) {
                t[i] = v;
                fill(i + 1);
            }
    };
    fill(0);
}

std::string tuple_text(const std::vector<int>& t) {
    std::string s = "(";
    for (std::size_t i = 0; i < t.size(); ++i)
        s += (i ? "," : "") + std::to_string(t[i]);
    return s + ")";
}

// The clause holds for every solution among the candidates.
::testing::AssertionResult implied(const std::vector<iset>& clause, unsigned arity,
                                   const std::vector<int>& candidates, const predicate& holds) {
    if (clause.size() != arity)
        return ::testing::AssertionFailure() << "explanation of " << clause.size() << " sets";
    std::string counterexample;
    for_each_tuple(candidates, std::vector<iset>(arity, full()), [&](const std::vector<int>& t) {
        if (!counterexample.empty() || !holds(t))
            return;
        for (unsigned i = 0; i < arity; ++i)
            if (clause[i].contains(t[i]))
                return;
        counterexample = tuple_text(t);
    });
    if (counterexample.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "solution " << counterexample << " falsifies " << braced(clause);
}

// Some solution among the candidates has t[i] in domains[i] for every i but q.
bool solvable_with_free(unsigned q, std::vector<iset> domains, const std::vector<int>& candidates,
                        const predicate& holds) {
    domains[q] = full();
    bool found = false;
    for_each_tuple(candidates, domains,
                   [&](const std::vector<int>& t) { found = found || holds(t); });
    return found;
}

// A propagation step to explain: the domains before it, the parameter and
// its new domain (empty for a conflict), the values asked about.
struct step {
    std::vector<iset> before;
    unsigned param;
    iset values;
    iset new_domain;

    bool conflict() const { return new_domain.empty(); }
    iset removed() const { return conflict() ? iset() : minus(before[param], new_domain); }
    // The removed values that must be excluded from param.
    iset asked() const {
        iset a = removed();
        a.intersect(values);
        return a.empty() ? removed() : a;
    }
};

// Sound, and excluding the step: every other parameter's set misses its
// domain before the step, and param's set misses the asked values.
void check_explains(const step& s, const std::vector<iset>& out, const std::vector<int>& candidates,
                    const predicate& holds, const std::string& label) {
    SCOPED_TRACE(label + " param " + std::to_string(s.param) + " before " + braced(s.before) +
                 " new " + braced(s.new_domain) + " values " + braced(s.values) + " out " +
                 braced(out));
    const unsigned n = static_cast<unsigned>(s.before.size());
    ASSERT_EQ(out.size(), n);
    EXPECT_TRUE(implied(out, n, candidates, holds));
    for (unsigned i = 0; i < n; ++i) {
        if (s.conflict() || i != s.param) {
            EXPECT_FALSE(out[i].contains_any_of(s.before[i])) << "parameter " << i;
        }
    }
    if (!s.conflict()) {
        EXPECT_FALSE(out[s.param].contains_any_of(s.asked()));
    }
}

// Runs p on the domains and returns the steps to explain: one per narrowed
// parameter, or the conflict.
std::vector<step> steps_of(qarn::constraint_propagator& p, const std::vector<iset>& domains,
                           std::mt19937& rng) {
    explicit_view after(domains);
    std::vector<step> steps;
    if (p.propagate(after) == UNSAT) {
        steps.push_back({domains, NO_PARAM, full(), iset()});
        return steps;
    }
    for (unsigned i = 0; i < domains.size(); ++i) {
        if (same(domains[i], after.domain(i)))
            continue;
        iset removed = minus(domains[i], after.domain(i));
        iset values = full();
        switch (rng() % 3) {
        case 0: // a part of the removed values
            values = iset();
            for (int v : removed)
                if (rng() % 2)
                    values.insert(iset::range_type(v, v));
            break;
        case 1: // none of them: all need explaining
            values = complement(removed);
            break;
        default:
            break;
        }
        steps.push_back({domains, i, values, after.domain(i)});
    }
    return steps;
}

iset random_domain(std::mt19937& rng, int lo, int hi) {
    iset d;
    switch (rng() % 8) {
    case 0:
        return iset();
    case 1:
    case 2: {
        int a = lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
        int b = lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
        return iset(std::min(a, b), std::max(a, b));
    }
    case 3:
        return iset(lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)));
    default:
        for (int v = lo; v <= hi; ++v)
            if (rng() % 2)
                d.insert(iset::range_type(v, v));
        return d;
    }
}

// Random latest-modified answers: another parameter or none.
void randomise_latest(explicit_view& view, std::mt19937& rng) {
    const unsigned n = view.arity();
    for (unsigned key = 0; key <= n; ++key) {
        unsigned asked = key == n ? NO_PARAM : key;
        if (rng() % 3 == 0)
            continue;
        unsigned q = static_cast<unsigned>(rng() % n);
        if (q != asked)
            view.latest[asked] = q;
    }
}

// A constraint under test: its three propagator kinds and its brute force.
struct subject {
    std::unique_ptr<qarn::constraint_propagator> plain, tight, tight1;
    unsigned arity;
    int lo, hi; // domain values are drawn from lo..hi
    std::vector<int> window;
    predicate holds;
};

template <template <class> class P>
subject make_subject(unsigned arity, int lo, int hi, int window_lo, int window_hi,
                     predicate holds) {
    return subject{std::make_unique<P<qarn::constraint_propagator>>(),
                   std::make_unique<P<qarn::tight_constraint_propagator>>(),
                   std::make_unique<P<qarn::tight1_constraint_propagator>>(),
                   arity,
                   lo,
                   hi,
                   window(window_lo, window_hi),
                   std::move(holds)};
}

void check_random_explanations(const subject& c, unsigned trials, unsigned seed) {
    std::mt19937 rng(seed);
    unsigned narrowings = 0, conflicts = 0;
    for (unsigned trial = 0; trial < trials; ++trial) {
        std::vector<iset> domains;
        for (unsigned i = 0; i < c.arity; ++i)
            domains.push_back(random_domain(rng, c.lo, c.hi));
        std::unique_ptr<qarn::constraint_propagator> work = c.plain->clone();
        for (const step& s : steps_of(*work, domains, rng)) {
            (s.conflict() ? conflicts : narrowings)++;
            explicit_view before(s.before);
            randomise_latest(before, rng);

            std::vector<iset> plain;
            c.plain->explain_propagation(s.param, s.values, s.new_domain, before, plain);
            check_explains(s, plain, c.window, c.holds, "plain");
            std::vector<iset> expected;
            for (unsigned i = 0; i < c.arity; ++i)
                expected.push_back(complement(s.before[i]));
            if (!s.conflict())
                expected[s.param] = unite(expected[s.param], s.new_domain);
            EXPECT_TRUE(same_sets(plain, expected));

            // Refining never weakens the clause, except on param when only
            // part of the removed values is asked about.
            const bool all_asked = same(s.asked(), s.removed());
            for (const auto* p : {c.tight.get(), c.tight1.get()}) {
                std::vector<iset> refined;
                p->explain_propagation(s.param, s.values, s.new_domain, before, refined);
                check_explains(s, refined, c.window, c.holds,
                               p == c.tight.get() ? "tight" : "tight1");
                for (unsigned i = 0; i < refined.size() && i < plain.size(); ++i) {
                    if (all_asked || i != s.param) {
                        EXPECT_TRUE(plain[i].contains_all_of(refined[i]))
                            << "parameter " << i << ": " << braced(refined[i]) << " not within "
                            << braced(plain[i]);
                    }
                }
            }

            // Any order gives a sound explanation; the first parameter of the
            // order gets the empty set when the step still follows with that
            // parameter unrestricted (unless its domain was empty: an empty
            // domain has nothing to widen, and its set stays the full one).
            std::vector<unsigned> order(c.arity);
            for (unsigned i = 0; i < c.arity; ++i)
                order[i] = i;
            std::shuffle(order.begin(), order.end(), rng);
            order.resize(1 + rng() % c.arity);
            std::vector<iset> refined;
            std::unique_ptr<qarn::constraint_propagator> probe = c.plain->clone();
            eg::refined_explanation(*probe, s.param, s.values, s.new_domain, order.data(),
                                    order.data() + order.size(), before, refined);
            check_explains(s, refined, c.window, c.holds,
                           "order " + tuple_text(std::vector<int>(order.begin(), order.end())));
            std::vector<iset> probed = s.before;
            if (!s.conflict())
                probed[s.param] = s.asked();
            if (!probed[order[0]].empty() &&
                !solvable_with_free(order[0], probed, c.window, c.holds)) {
                EXPECT_TRUE(refined[order[0]].empty())
                    << "first of the order: " << order[0] << " in " << braced(refined);
            }
        }
    }
    // The draws must exercise both kinds of step.
    EXPECT_GT(narrowings, trials / 4);
    EXPECT_GT(conflicts, trials / 10);
}

TEST(ConflictingInfo, CopiesTheDomainsAndReplacesTheProbedOne) {
    explicit_view ri({iset(0, 5), iset(3, 9), iset()});
    ri.effort_value = 17;
    struct {
        unsigned param;
        std::vector<iset> expected;
    } cases[] = {
        {1, {iset(0, 5), iset(4), iset()}},
        {2, {iset(0, 5), iset(3, 9), iset(4)}},
        {3, {iset(0, 5), iset(3, 9), iset()}},
        {NO_PARAM, {iset(0, 5), iset(3, 9), iset()}},
    };
    for (const auto& c : cases) {
        eg::conflicting_info probe(ri, c.param, iset(4));
        SCOPED_TRACE(c.param);
        ASSERT_EQ(probe.arity(), 3u);
        EXPECT_EQ(probe.effort(), 17u);
        for (unsigned i = 0; i < 3; ++i) {
            EXPECT_TRUE(same(probe.domain(i), c.expected[i])) << i;
            EXPECT_TRUE(same(probe.base_domain(i), c.expected[i])) << i;
        }
    }
}

TEST(ConflictingInfo, RereadRestoresTheDirtyDomainsFromTheirBase) {
    explicit_view ri({iset(0, 5), iset(3, 9), iset(1, 2)});
    eg::conflicting_info probe(ri, NO_PARAM, iset());
    probe.set_domain(0, iset(1, 2));
    probe.set_domain(1, full()); // probing widens
    probe.set_domain(0, iset(2));
    EXPECT_TRUE(same(probe.domain(0), iset(2)));
    EXPECT_TRUE(same(probe.domain(1), full()));
    EXPECT_TRUE(same(probe.base_domain(0), iset(0, 5)));
    EXPECT_TRUE(same(probe.base_domain(1), iset(3, 9)));

    // An equal set changes nothing, so parameter 2 is not dirty and keeps its
    // current domain even though its base moves.
    probe.set_domain(2, iset(1, 2));
    probe.base_domain(2) = iset(1);
    probe.base_domain(1) = iset(3, 4);
    probe.reread_dirty_domains();
    EXPECT_TRUE(same(probe.domain(0), iset(0, 5)));
    EXPECT_TRUE(same(probe.domain(1), iset(3, 4)));
    EXPECT_TRUE(same(probe.domain(2), iset(1, 2)));

    // Flags are cleared: a second reread restores nothing.
    probe.base_domain(0) = iset(0);
    probe.reread_dirty_domains();
    EXPECT_TRUE(same(probe.domain(0), iset(0, 5)));
}

TEST(ConflictingInfo, ServesOnlyTheConstraintQueue) {
    explicit_view ri({iset(0, 5)});
    eg::conflicting_info probe(ri, 0, iset(1, 3));
    EXPECT_EQ(probe.originating_queue(), qarn::constraint_runtime_info::CONSTRAINT_QUEUE);
    EXPECT_TRUE(probe.reduced_between_activations(0));
    EXPECT_EQ(probe.latest_modified_param(0), NO_PARAM);
    for (auto queue : {qarn::constraint_runtime_info::CONSTRAINT_QUEUE,
                       qarn::constraint_runtime_info::VARIABLE_QUEUE}) {
        try {
            probe.put_in_queue(queue);
            ADD_FAILURE() << "put_in_queue did not throw";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "impl/explanation_generators:62: In constraint_queue, "
                                   "other queues are unsupported");
        }
    }
    // Watches are dummies the propagator can take and give back.
    qarn::watch_handle_t a = probe.allocate_watch(0, qarn::watch_types::MODIFICATION_WATCH);
    qarn::watch_handle_t b = probe.allocate_value_watch(0, 2);
    EXPECT_FALSE(a.is_null());
    EXPECT_NE(a, b);
    probe.deallocate_value_watch(0, 2, b);
    probe.deallocate_watch(0, qarn::watch_types::MODIFICATION_WATCH, a);
}

TEST(PlainExplanation, ComplementsTheDomainsAndAddsTheNewDomain) {
    explicit_view ri({iset(5, 10), iset(0, 7)});
    struct {
        unsigned param;
        iset new_domain;
        std::vector<iset> expected;
    } cases[] = {
        {0, iset(5, 7), {unite(complement(iset(5, 10)), iset(5, 7)), complement(iset(0, 7))}},
        {1, iset(3, 4), {complement(iset(5, 10)), unite(complement(iset(0, 7)), iset(3, 4))}},
        // A conflict, asked with or without a parameter.
        {NO_PARAM, iset(), {complement(iset(5, 10)), complement(iset(0, 7))}},
        {1, iset(), {complement(iset(5, 10)), complement(iset(0, 7))}},
    };
    for (const auto& c : cases) {
        std::vector<iset> out(5, iset(3)); // resized and overwritten
        eg::explain_propagation(c.param, iset(8), c.new_domain, ri, out);
        EXPECT_TRUE(same_sets(out, c.expected)) << c.param;
    }
}

TEST(RefinedExplanation, RandomLessEqualAgainstBruteForce) {
    subject c = make_subject<less_equal>(2, 2, 20, 0, 23,
                                         [](const std::vector<int>& t) { return t[0] <= t[1]; });
    check_random_explanations(c, 400, 12345);
}

TEST(RefinedExplanation, RandomAtLeastTwoOnesAgainstBruteForce) {
    subject c = make_subject<at_least_two_ones>(3, 0, 3, 0, 4, [](const std::vector<int>& t) {
        return (t[0] == 1) + (t[1] == 1) + (t[2] == 1) >= 2;
    });
    check_random_explanations(c, 400, 777);
}

TEST(RefinedExplanation, NarrowingOfLessEqualKeepsOnlyTheBoundsThatMatter) {
    // y <= 7 narrows x in 5..10 to 5..7. Refining both: x <= 7 or y >= 8;
    // asked about 9 only: x <= 8 or y >= 9. tight1 refines y only when it
    // was modified last, else y keeps the complement of its domain.
    const int MIN = qarn::MIN_DOMAIN, MAX = qarn::MAX_DOMAIN;
    less_equal<qarn::tight_constraint_propagator> tight;
    less_equal<qarn::tight1_constraint_propagator> tight1;
    const iset not_y = complement(iset(0, 7));
    struct {
        const qarn::constraint_propagator* p;
        std::map<unsigned, unsigned> latest;
        iset values;
        std::vector<iset> expected;
    } cases[] = {
        {&tight, {}, full(), {iset(MIN, 7), iset(8, MAX)}},
        {&tight, {}, iset(9), {iset(MIN, 8), iset(9, MAX)}},
        {&tight, {{0, 1}}, iset(9), {iset(MIN, 8), iset(9, MAX)}},
        {&tight1, {}, full(), {iset(MIN, 7), not_y}},
        {&tight1, {}, iset(9), {iset(MIN, 7), not_y}},
        {&tight1, {{0, 1}}, full(), {iset(MIN, 7), iset(8, MAX)}},
        {&tight1, {{0, 1}}, iset(9), {iset(MIN, 8), iset(9, MAX)}},
    };
    for (const auto& c : cases) {
        explicit_view ri({iset(5, 10), iset(0, 7)});
        ri.latest = c.latest;
        std::vector<iset> out;
        c.p->explain_propagation(0, c.values, iset(5, 7), ri, out);
        EXPECT_TRUE(same_sets(out, c.expected)) << "case " << &c - cases;
    }
}

TEST(RefinedExplanation, ParameterThatStillFailsWhenRelaxedGetsTheEmptySet) {
    struct {
        const char* name;
        std::unique_ptr<qarn::constraint_propagator> p;
        std::vector<iset> domains;
        std::vector<unsigned> order;
        std::vector<iset> expected;
    } cases[] = {
        // y has no value: x plays no part.
        {"x<=y, y empty",
         std::make_unique<less_equal<qarn::constraint_propagator>>(),
         {iset(5), iset()},
         {0, 1},
         {iset(), full()}},
        // All three are 0: any two of them make the conflict, the first
        // refined is left out.
        {"two ones, order 0 1 2",
         std::make_unique<at_least_two_ones<qarn::constraint_propagator>>(),
         {iset(0), iset(0), iset(0)},
         {0, 1, 2},
         {iset(), iset(1), iset(1)}},
        {"two ones, order 2 1 0",
         std::make_unique<at_least_two_ones<qarn::constraint_propagator>>(),
         {iset(0), iset(0), iset(0)},
         {2, 1, 0},
         {iset(1), iset(1), iset()}},
        // Only x1 refined: x0 still fails relaxed, x2 keeps its plain set.
        {"two ones, order 1",
         std::make_unique<at_least_two_ones<qarn::constraint_propagator>>(),
         {iset(0), iset(0), iset(0)},
         {1},
         {complement(iset(0)), iset(), complement(iset(0))}},
    };
    for (auto& c : cases) {
        explicit_view ri(c.domains);
        std::vector<iset> out;
        eg::refined_explanation(*c.p, NO_PARAM, full(), iset(), c.order.data(),
                                c.order.data() + c.order.size(), ri, out);
        EXPECT_TRUE(same_sets(out, c.expected)) << c.name;
    }
}

TEST(RefiningOrder, ConflictRefinesTheLatestModifiedParametersFirst) {
    // All three 0 conflicts for "at least two ones"; the first parameter
    // refined gets the empty set, the others {1}, the unrefined ones the
    // complement of {0}.
    const iset E, ONE = iset(1), NOT0 = complement(iset(0));
    struct {
        std::map<unsigned, unsigned> latest;
        std::vector<iset> tightly; // every parameter, latest modified first
        std::vector<iset> tight1;  // at most the two latest modified
    } cases[] = {
        // Nothing tracked: increasing order; tight1 refines parameter 0 alone.
        {{}, {E, ONE, ONE}, {E, NOT0, NOT0}},
        {{{NO_PARAM, 2}}, {ONE, ONE, E}, {NOT0, NOT0, E}},
        {{{NO_PARAM, 2}, {2, 1}}, {ONE, E, ONE}, {NOT0, E, ONE}},
        {{{NO_PARAM, 0}, {0, 2}}, {ONE, ONE, E}, {ONE, NOT0, E}},
        {{{NO_PARAM, 1}, {1, 0}}, {E, ONE, ONE}, {E, ONE, NOT0}},
    };
    at_least_two_ones<qarn::tight_constraint_propagator> tight;
    at_least_two_ones<qarn::tight1_constraint_propagator> tight1;
    for (const auto& c : cases) {
        explicit_view ri({iset(0), iset(0), iset(0)});
        ri.latest = c.latest;
        std::vector<iset> out;
        tight.explain_propagation(NO_PARAM, full(), iset(), ri, out);
        EXPECT_TRUE(same_sets(out, c.tightly)) << "tightly, case " << &c - cases;
        tight1.explain_propagation(NO_PARAM, full(), iset(), ri, out);
        EXPECT_TRUE(same_sets(out, c.tight1)) << "tight1, case " << &c - cases;
    }
}

TEST(RefiningOrder, NarrowingRefinesTheLatestModifiedParameterFirst) {
    // x0 = 1 and x2 = 0 force x1 = 1. The tight procedure refines every
    // parameter, x1 last, and always finds x1 = 1 or x2 = 1; tight1 refines
    // only the latest modified parameter and x1, leaving the others plain.
    const iset E, ONE = iset(1), NOT0 = complement(iset(0)), NOT1 = complement(iset(1));
    struct {
        std::map<unsigned, unsigned> latest;
        std::vector<iset> tightly;
        std::vector<iset> tight1;
    } cases[] = {
        {{}, {E, ONE, ONE}, {NOT1, ONE, NOT0}},
        {{{1, 2}}, {E, ONE, ONE}, {NOT1, ONE, ONE}},
        {{{1, 0}}, {E, ONE, ONE}, {E, ONE, NOT0}},
    };
    at_least_two_ones<qarn::tight_constraint_propagator> tight;
    at_least_two_ones<qarn::tight1_constraint_propagator> tight1;
    for (const auto& c : cases) {
        explicit_view ri({iset(1), iset(0, 1), iset(0)});
        ri.latest = c.latest;
        std::vector<iset> out;
        tight.explain_propagation(1, full(), iset(1), ri, out);
        EXPECT_TRUE(same_sets(out, c.tightly)) << "tightly, case " << &c - cases;
        tight1.explain_propagation(1, full(), iset(1), ri, out);
        EXPECT_TRUE(same_sets(out, c.tight1)) << "tight1, case " << &c - cases;
    }
}

TEST(PossiblyCripplingValues, LessEqual) {
    less_equal<qarn::constraint_propagator> p;
    const int MIN = qarn::MIN_DOMAIN, MAX = qarn::MAX_DOMAIN;
    struct {
        const char* name;
        std::vector<iset> domains;
        unsigned param;
        iset values;
        std::vector<iset> expected;
    } cases[] = {
        {"both restricted",
         {iset(5, 10), iset(0, 20)},
         1,
         iset(12, 20),
         {iset(MIN, 11), unite(iset(5, 11), iset(21, MAX))}},
        // y unrestricted when relaxed: out ends before it.
        {"short", {iset(MIN, 3), iset(2, 9)}, 0, iset(3), {unite(iset(MIN, 2), iset(4, 9))}},
        // x unrestricted when relaxed: its position holds the full set.
        {"padded", {iset(2, 10), iset(5, MAX)}, 1, iset(), {full(), iset(2, MAX)}},
        // Removing all of y's values: relaxing x fails, so x is unrestricted.
        {"failing", {iset(10, 12), iset(0, 20)}, 1, iset(0, 20), {full(), iset(21, MAX)}},
        // Nothing restricted at all.
        {"empty", {full(), full()}, 0, iset(), {}},
    };
    for (const auto& c : cases) {
        explicit_view ri(c.domains);
        std::vector<iset> out(4, iset(7)); // cleared first
        p.possibly_crippling_values(c.param, c.values, ri, out);
        EXPECT_TRUE(same_sets(out, c.expected)) << c.name;
    }
    // A propagator that cannot start restricts nothing.
    explicit_view ri({iset(5, 10), iset(0, 20)});
    std::vector<iset> out;
    less_equal_refusing_init().possibly_crippling_values(1, iset(12, 20), ri, out);
    EXPECT_TRUE(out.empty());
}

}  // namespace explanation_generators_test
