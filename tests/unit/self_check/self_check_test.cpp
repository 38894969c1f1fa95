// The self-check support: the random domain generators, the explicit-domain
// view with its checked watch bookkeeping and engine-like activations, and
// the explanation tester with the message of each check it makes.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/sets/model.h"
#include "impl/support/random.h"
#include "test-impl/explanation_tester.h"
#include "test-impl/random_domains.h"
#include "test-impl/trivial_runtime_info.h"
#include "tests/unit/table_reference_propagator.h"
#include "tests/unit/test_helpers.h"

namespace self_check_test {

using qarn::iset;
using qarn::trivial_runtime_info;
using qarn_test::error_of;
using qarn_test::S;
using qarn_test::text;
using qarn_test::same;
using qarn_test::table_reference_propagator;

typedef qarn::propagation_types::result_type result_type;
typedef qarn::watch_types wt;

std::string check_message(const char* source, unsigned line, const char* expression,
                          const char* signature) {
    return std::string(source) + ":" + std::to_string(line) + ": test_check(" + expression +
           ") failed.\nAt " + signature;
}

#if QARN_SMALL_DOMAINS
#define ISET_NAME "qarn::small_model::iset"
#else
#define ISET_NAME "qarn::big_model::iset"
#endif

const char* const VIEW = "test-impl/trivial_runtime_info.cpp";
const char* const TESTER = "test-impl/explanation_tester.cpp";

// ---------------------------------------------------------------------------
// Random domain generators

struct window {
    int lo, hi;
};

std::vector<window> generator_windows() {
#if QARN_SMALL_DOMAINS
    return {{0, 31}, {0, 2}, {29, 31}, {10, 17}, {4, 4}};
#else
    return {{-3, 3},          {0, 1000},       {INT_MIN, INT_MIN + 10},
            {INT_MAX - 10, INT_MAX}, {INT_MIN, INT_MAX}, {4, 4}};
#endif
}

// Every value lies in low..high, the set is non-empty, and a two-value
// window gives a range.
TEST(RandomDomains, NonemptyVarStaysWithinItsWindow) {
    qarn::random::set_seed(11);
    for (const window& w : generator_windows()) {
        for (bool narrow : {false, true}) {
            for (int k = 0; k < 2000; ++k) {
                const iset s = qarn::random_nonempty_var(narrow, w.lo, w.hi);
                ASSERT_FALSE(s.empty()) << w.lo << ".." << w.hi;
                ASSERT_GE(s.min(), w.lo) << text(s);
                ASSERT_LE(s.max(), w.hi) << text(s);
            }
        }
    }
    for (int k = 0; k < 200; ++k) {
        EXPECT_TRUE(same(qarn::random_nonempty_var(k % 2 == 0, 5, 5), iset(5)));
        const iset pair = qarn::random_nonempty_var(k % 2 == 0, 5, 6);
        EXPECT_TRUE(same(pair, iset(pair.min(), pair.max()))) << text(pair);
        EXPECT_TRUE(iset(5, 6).contains_all_of(pair)) << text(pair);
    }
}

// The generator produces every shape it is meant to: single values, the two
// ends of a range, ranges with holes, whole ranges and progressions.
TEST(RandomDomains, NonemptyVarCoversItsShapes) {
    qarn::random::set_seed(12);
    const int high = qarn::MIN_DOMAIN + 30;
    bool single = false, two_ends = false, holes = false, range = false, progression = false;
    for (int k = 0; k < 3000; ++k) {
        const iset s = qarn::random_nonempty_var(true, qarn::MIN_DOMAIN, high);
        const unsigned runs = qarn::count_ranges(s);
        single |= s.size() == 1;
        two_ends |= s.size() == 2 && runs == 2;
        holes |= runs >= 2 && runs < s.size();
        range |= s.size() >= 3 && runs == 1;
        if (s.size() >= 3 && runs == s.size()) {
            std::vector<int> v;
            for (int x : s)
                v.push_back(x);
            bool even = true;
            for (std::size_t i = 2; i < v.size(); ++i)
                even &= v[i] - v[i - 1] == v[1] - v[0];
            progression |= even;
        }
    }
    EXPECT_TRUE(single && two_ends && holes && range && progression)
        << single << two_ends << holes << range << progression;
}

TEST(RandomDomains, BoundsAndValues) {
    qarn::random::set_seed(13);
    bool saw_low = false, saw_high = false, saw_wide = false, saw_empty = false;
    for (int k = 0; k < 2000; ++k) {
        for (const window& w : generator_windows()) {
            const int v = qarn::random_var_in_bounds(w.lo, w.hi);
            ASSERT_TRUE(v >= w.lo && v <= w.hi);
            const auto narrow = qarn::random_var_bounds(true, w.lo, w.hi);
            ASSERT_TRUE(w.lo <= narrow.first && narrow.first <= narrow.second &&
                        narrow.second <= w.hi);
            ASSERT_LT(static_cast<unsigned>(narrow.second) - static_cast<unsigned>(narrow.first),
                      100u);
            const auto five = qarn::random_var_bounds(5u, w.lo, w.hi);
            ASSERT_LT(static_cast<unsigned>(five.second) - static_cast<unsigned>(five.first), 5u);
            const auto wide = qarn::random_var_bounds(false, w.lo, w.hi);
            ASSERT_TRUE(w.lo <= wide.first && wide.first <= wide.second && wide.second <= w.hi);
            saw_wide |=
                static_cast<unsigned>(wide.second) - static_cast<unsigned>(wide.first) >= 100;
            const iset r = qarn::random_var(true, w.lo, w.hi);
            saw_empty |= r.empty();
            ASSERT_TRUE(r.empty() || (r.min() >= w.lo && r.max() <= w.hi));
        }
        const int v = qarn::random_var_in_bounds(-3, 3);
        saw_low |= v == -3;
        saw_high |= v == 3;
    }
    EXPECT_TRUE(saw_low && saw_high && saw_empty);
    EXPECT_EQ(saw_wide, !QARN_SMALL_DOMAINS);
}

TEST(RandomDomains, CountRanges) {
    iset all;
    all.complement();
    const struct {
        iset set;
        unsigned runs;
    } cases[] = {
        {iset(), 0}, {S("5"), 1}, {S("1:3,5,7:9"), 3}, {S("0:2:10"), 6}, {S("4,6,7"), 2},
        {all, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qarn::count_ranges(c.set), c.runs) << text(c.set);
}

TEST(RandomDomains, OutOfBoundValues) {
    qarn::random::set_seed(14);
#if QARN_SMALL_DOMAINS
    EXPECT_FALSE(qarn::are_all_values_legal_for_var());
    bool saw_value = false, saw_outside = false, saw_inside = false;
    for (int k = 0; k < 500; ++k) {
        const int v = qarn::random_var_out_of_bounds();
        ASSERT_TRUE(v < 0 || v > 31) << v;
        const int m = qarn::random_var_maybe_out_of_bound(7);
        saw_value |= m == 7;
        saw_outside |= m < 0 || m > 31;
        saw_inside |= m >= 0 && m <= 31 && m != 7;
    }
    EXPECT_TRUE(saw_value && saw_outside && saw_inside);
#else
    EXPECT_TRUE(qarn::are_all_values_legal_for_var());
    EXPECT_EQ(error_of([] { qarn::random_var_out_of_bounds(); }),
              "random_var_out_of_bounds no out of bounds");
    EXPECT_THROW(qarn::random_var_out_of_bounds(), std::domain_error);
    for (int k = 0; k < 200; ++k)
        qarn::random_var_maybe_out_of_bound(7);
#endif
}

// ---------------------------------------------------------------------------
// Explicit-domain view

// Records each activation's reduced marks and runs a scripted action.
class spy_propagator : public qarn::constraint_propagator {
public:
    std::function<result_type(qarn::constraint_runtime_info&)> action;
    std::vector<std::vector<bool>> reduced;

    result_type propagate(qarn::constraint_runtime_info& ri) override {
        std::vector<bool> marks;
        for (unsigned p = 0; p < ri.arity(); ++p)
            marks.push_back(ri.reduced_between_activations(p));
        reduced.push_back(marks);
        return action ? action(ri) : CONSISTENT;
    }
    bool conflicts(const qarn::constraint_runtime_info&) const override { return false; }
    bool constraint_check(const qarn::constraint_runtime_info&) const override { return true; }
    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<spy_propagator>(*this);
    }
};

TEST(TrivialRuntimeInfo, FreshViewAndPlainOperations) {
    trivial_runtime_info view({S("1:3"), S("5")});
    EXPECT_EQ(view.arity(), 2u);
    EXPECT_TRUE(view.reduced_between_activations(0) && view.reduced_between_activations(1));
    EXPECT_EQ(view.originating_queue(), qarn::constraint_runtime_info::CONSTRAINT_QUEUE);
    EXPECT_FALSE(view.querying_domain());
    EXPECT_TRUE(same(view.domain(0), S("1:3")));
    EXPECT_EQ(error_of([&] { view.put_in_queue(qarn::constraint_runtime_info::VARIABLE_QUEUE); }),
              "trivial_runtime_info does not support put_in_queue");
    EXPECT_THROW(view.domain(2), std::out_of_range);
    EXPECT_THROW(view.reduced_between_activations(2), std::out_of_range);
    EXPECT_THROW(view.set_domain(2, iset(1)), std::out_of_range);

    const trivial_runtime_info querying(view, true);
    EXPECT_TRUE(querying.querying_domain());
    EXPECT_TRUE(same(querying.domain(1), S("5")));
    EXPECT_TRUE(querying.same_next_state(view));

    // An equal set marks nothing; another one does, even when larger.
    const trivial_runtime_info fresh(view);
    view.set_domain(0, S("1:3"));
    EXPECT_TRUE(view.same_next_state(fresh));
    view.set_domain(0, S("0:4"));
    EXPECT_FALSE(view.same_next_state(fresh));
    EXPECT_TRUE(same(view.domain(0), S("0:4")));
}

TEST(TrivialRuntimeInfo, Print) {
    trivial_runtime_info view({S("1:3"), S("5"), S("7,9")});
    view.allocate_watch(0, wt::MODIFICATION_WATCH);
    view.allocate_value_watch(0, 2);
    view.allocate_watch(2, wt::UPPER_BOUND_WATCH);
    view.advance_modified(false);
    view.set_domain(1, S("5:6"));
    view.advance_modified(false);
    std::ostringstream os;
    view.print(os);
    EXPECT_EQ(os.str(),
              "V0 [watch MODIFICATION_WATCH, 2]: 1:3\n"
              "V1(m): 5,6\n"
              "V2 [watch UPPER_BOUND_WATCH]: 7,9\n");
    std::ostringstream names;
    for (int r : {0, 1, 2, 3, 7})
        names << static_cast<trivial_runtime_info::result_type>(r) << ';';
    EXPECT_EQ(names.str(), "UNSAT;VALID;CONSISTENT;NOT_WATCHED;;");
}

TEST(TrivialRuntimeInfo, WatchTriggers) {
    const struct {
        const char* previous;
        const char* current;
        bool is_value;
        int value_or_type;
        bool fires;
    } cases[] = {
        {"1:5", "1:2", true, 3, true},   {"1:5", "3:5", true, 3, false},
        {"1:5", "1:2", true, 9, false},  {"1:5", "1:5", false, wt::MODIFICATION_WATCH, true},
        {"1:5", "4", false, wt::FINALIZATION_WATCH, true},
        {"1:5", "1:2", false, wt::FINALIZATION_WATCH, false},
        {"1:5", "2:5", false, wt::LOWER_BOUND_WATCH, true},
        {"1:5", "1:4", false, wt::LOWER_BOUND_WATCH, false},
        {"1:5", "1:4", false, wt::UPPER_BOUND_WATCH, true},
        {"1:5", "2:5", false, wt::UPPER_BOUND_WATCH, false},
    };
    for (const auto& c : cases) {
        trivial_runtime_info view({S(c.previous)});
        view.backtrack_to(view); // the previous domains become the current ones
        view.set_domain(0, S(c.current));
        const trivial_runtime_info::watch w{qarn::watch_handle_t(), c.is_value, c.value_or_type};
        EXPECT_EQ(view.is_watch_triggered(0, w), c.fires)
            << c.previous << " -> " << c.current << " " << c.value_or_type;
    }
    trivial_runtime_info view({S("1:5")});
    const trivial_runtime_info::watch unknown{qarn::watch_handle_t(), false, 7};
    EXPECT_EQ(error_of([&] { view.is_watch_triggered(0, unknown); }), "unknown type of watch");
}

TEST(TrivialRuntimeInfo, WatchBookkeeping) {
    trivial_runtime_info view({S("1:9"), S("1:9")});
    const qarn::watch_handle_t modification = view.allocate_watch(0, wt::MODIFICATION_WATCH);
    const qarn::watch_handle_t lower = view.allocate_watch(0, wt::LOWER_BOUND_WATCH);
    const qarn::watch_handle_t value = view.allocate_value_watch(0, 4);
    EXPECT_TRUE(view.watched(0, wt::LOWER_BOUND_WATCH, false));
    EXPECT_TRUE(view.watched(0, 4, true));
    EXPECT_FALSE(view.watched(0, 4, false));
    EXPECT_FALSE(view.watched(1, 4, true));
    EXPECT_FALSE(view.watched(5, 4, true));
    view.deallocate_watch(0, wt::MODIFICATION_WATCH, modification);
    view.deallocate_value_watch(0, 4, value);
    EXPECT_FALSE(view.watched(0, wt::MODIFICATION_WATCH, false));
    EXPECT_FALSE(view.watched(0, 4, true));
    EXPECT_TRUE(view.watched(0, wt::LOWER_BOUND_WATCH, false));
    // A copy keeps the watches; released ones may be taken again.
    const trivial_runtime_info copy(view);
    EXPECT_TRUE(copy.watched(0, wt::LOWER_BOUND_WATCH, false));
    view.allocate_value_watch(0, 4);
    view.deallocate_watch(0, wt::LOWER_BOUND_WATCH, lower);
    EXPECT_TRUE(copy.watched(0, wt::LOWER_BOUND_WATCH, false));
    EXPECT_FALSE(view.watched(0, wt::LOWER_BOUND_WATCH, false));
}

TEST(TrivialRuntimeInfo, WatchCheckMessages) {
    const char* const dealloc =
        "virtual void qarn::trivial_runtime_info::deallocate_watch(unsigned int, "
        "qarn::watch_types::watch_type, qarn::watch_handle_t)";
    const char* const alloc =
        "virtual qarn::watch_handle_t qarn::trivial_runtime_info::allocate_watch(unsigned int, "
        "qarn::watch_types::watch_type)";
    const char* const dealloc_value =
        "virtual void qarn::trivial_runtime_info::deallocate_value_watch(unsigned int, int, "
        "qarn::watch_handle_t)";
    const char* const alloc_value =
        "virtual qarn::watch_handle_t qarn::trivial_runtime_info::allocate_value_watch(unsigned "
        "int, int)";
    const struct {
        std::function<void(trivial_runtime_info&)> misuse;
        unsigned line;
        const char* expression;
        const char* signature;
    } cases[] = {
        {[](trivial_runtime_info& v) {
             v.deallocate_watch(2, wt::MODIFICATION_WATCH, qarn::watch_handle_t());
         },
         85, "param_index < m_watches.size()", dealloc},
        {[](trivial_runtime_info& v) {
             v.deallocate_watch(0, wt::MODIFICATION_WATCH, v.allocate_value_watch(0, 3));
         },
         92, "!watches[i].m_is_value_watch", dealloc},
        {[](trivial_runtime_info& v) {
             v.deallocate_watch(0, wt::LOWER_BOUND_WATCH,
                                v.allocate_watch(0, wt::UPPER_BOUND_WATCH));
         },
         93, "watches[i].m_value_or_type == type", dealloc},
        {[](trivial_runtime_info& v) {
             v.allocate_watch(1, wt::MODIFICATION_WATCH);
             v.deallocate_watch(0, wt::MODIFICATION_WATCH, v.gen_new_watch_handle());
         },
         100, "watch_found", dealloc},
        {[](trivial_runtime_info& v) {
             v.allocate_watch(0, wt::FINALIZATION_WATCH);
             v.allocate_watch(0, wt::FINALIZATION_WATCH);
         },
         106, "!watched(param_index, value, false)", alloc},
        {[](trivial_runtime_info& v) { v.allocate_watch(2, wt::MODIFICATION_WATCH); }, 117,
         "watched(param_index, value, false)", alloc},
        {[](trivial_runtime_info& v) {
             v.allocate_value_watch(0, 3);
             v.allocate_value_watch(0, 3);
         },
         124, "!watched(param_index, value, true)", alloc_value},
        {[](trivial_runtime_info& v) { v.allocate_value_watch(7, 3); }, 135,
         "watched(param_index, value, true)", alloc_value},
        {[](trivial_runtime_info& v) {
             v.deallocate_value_watch(0, 3, v.allocate_watch(0, wt::MODIFICATION_WATCH));
         },
         157, "param_watches[i].m_is_value_watch", dealloc_value},
        {[](trivial_runtime_info& v) {
             v.deallocate_value_watch(0, 4, v.allocate_value_watch(0, 3));
         },
         158, "param_watches[i].m_value_or_type == value", dealloc_value},
        {[](trivial_runtime_info& v) { v.deallocate_value_watch(0, 3, v.gen_new_watch_handle()); },
         164, "watch_found", dealloc_value},
        {[](trivial_runtime_info& v) {
             v.deallocate_value_watch(5, 3, v.allocate_value_watch(0, 3));
         },
         164, "watch_found", dealloc_value},
    };
    for (const auto& c : cases) {
        trivial_runtime_info view({S("1:9"), S("1:9")});
        EXPECT_EQ(error_of([&] { c.misuse(view); }),
                  check_message(VIEW, c.line, c.expression, c.signature));
    }
    // A failed check before a change leaves the view as it was.
    trivial_runtime_info view({S("1:9"), S("1:9")});
    view.allocate_value_watch(0, 3);
    const trivial_runtime_info before(view);
    EXPECT_THROW(view.allocate_value_watch(0, 3), std::runtime_error);
    EXPECT_THROW(view.allocate_value_watch(4, 3), std::runtime_error);
    std::ostringstream a, b;
    view.print(a);
    before.print(b);
    EXPECT_EQ(a.str(), b.str());
}

TEST(TrivialRuntimeInfo, ActivationsFollowTheWatches) {
    trivial_runtime_info view({S("1:5"), S("1:5"), S("1:5")});
    spy_propagator spy;
    view.allocate_value_watch(0, 3);
    view.allocate_watch(1, wt::LOWER_BOUND_WATCH);
    // The first activation runs regardless, with every parameter reduced.
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::CONSISTENT);
    ASSERT_EQ(spy.reduced.size(), 1u);
    EXPECT_EQ(spy.reduced[0], std::vector<bool>({true, true, true}));
    // Changes no watch sees.
    view.set_domain(2, S("1:2"));
    view.set_domain(0, S("2:5"));
    view.set_domain(1, S("1:4"));
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::NOT_WATCHED);
    EXPECT_EQ(spy.reduced.size(), 1u);
    // The watched value goes: every parameter changed since the last
    // activation counts as reduced. The propagator's own narrowing of V2
    // is reported after the activation.
    view.set_domain(0, S("2,4:5"));
    spy.action = [](qarn::constraint_runtime_info& ri) {
        ri.set_domain(2, S("1"));
        return qarn::propagation_types::CONSISTENT;
    };
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::CONSISTENT);
    ASSERT_EQ(spy.reduced.size(), 2u);
    EXPECT_EQ(spy.reduced[1], std::vector<bool>({true, true, true}));
    EXPECT_FALSE(view.reduced_between_activations(0));
    EXPECT_TRUE(view.reduced_between_activations(2));
    // A bound watch fires; VALID then holds until a back-jump.
    view.set_domain(1, S("2:4"));
    spy.action = [](qarn::constraint_runtime_info&) { return qarn::propagation_types::VALID; };
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::VALID);
    EXPECT_EQ(spy.reduced[2], std::vector<bool>({false, true, true}));
    view.set_domain(0, S("2"));
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::VALID);
    EXPECT_EQ(spy.reduced.size(), 3u);
    const trivial_runtime_info valid(view);
    EXPECT_EQ(trivial_runtime_info(valid).maybe_propagate(spy), trivial_runtime_info::VALID);
    EXPECT_EQ(spy.reduced.size(), 3u);
    // Assignment does not carry the VALID mark.
    trivial_runtime_info assigned({S("1")});
    assigned = valid;
    EXPECT_EQ(assigned.maybe_propagate(spy), trivial_runtime_info::NOT_WATCHED);
    // A back-jump restarts with a first activation on the other's domains.
    const trivial_runtime_info start({S("1:5"), S("1:5"), S("1:5")});
    view.backtrack_to(start);
    EXPECT_TRUE(same(view.domain(0), S("1:5")));
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::VALID);
    EXPECT_EQ(spy.reduced.size(), 4u);
    EXPECT_EQ(spy.reduced[3], std::vector<bool>({true, true, true}));
}

TEST(TrivialRuntimeInfo, QueryingAndModificationTransfer) {
    const trivial_runtime_info plain({S("1:5"), S("1:5")});
    trivial_runtime_info querying(plain, true);
    spy_propagator spy;
    spy.action = [](qarn::constraint_runtime_info& ri) {
        ri.set_domain(1, S("2"));
        return qarn::propagation_types::CONSISTENT;
    };
    EXPECT_EQ(querying.maybe_propagate(spy), trivial_runtime_info::CONSISTENT);
    EXPECT_TRUE(querying.same_next_state(plain));

    trivial_runtime_info source(plain), target(plain);
    source.set_domain(1, S("3:4"));
    target.assign_modifications(source);
    EXPECT_TRUE(target.same_next_state(source));
    target.undo_modifications(); // back to the start of the last activation: the whole range
    iset all;
    all.complement();
    EXPECT_TRUE(same(target.domain(1), all));
}

TEST(TrivialRuntimeInfo, ModificationWithoutChangeFailsTheCheck) {
    trivial_runtime_info view({S("1:5"), S("1:5")});
    spy_propagator spy;
    EXPECT_EQ(view.maybe_propagate(spy), trivial_runtime_info::CONSISTENT);
    view.allocate_watch(0, wt::MODIFICATION_WATCH);
    view.set_domain(0, S("1:4"));
    spy.action = [](qarn::constraint_runtime_info& ri) {
        ri.set_domain(1, S("2:5"));
        ri.set_domain(1, S("1:5"));
        return qarn::propagation_types::CONSISTENT;
    };
    EXPECT_EQ(error_of([&] { view.maybe_propagate(spy); }),
              check_message(VIEW, 260,
                            "m_first_activation || m_variables_prev.size() <= i || "
                            "m_variables_prev[i] != m_variables[i]",
                            "void qarn::trivial_runtime_info::advance_modified(bool)"));
}

// random_reduce never widens a domain, never empties one and keeps every
// assigned value that was in its domain.
TEST(TrivialRuntimeInfo, RandomReduceKeepsTheAssignment) {
    const int low = qarn::MIN_DOMAIN == 0 ? 0 : -40;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        qarn::random::set_seed(seed);
        std::vector<iset> domains;
        std::vector<int> assignment;
        for (int p = 0; p < 4; ++p) {
            domains.push_back(qarn::random_nonempty_var(p % 2 == 0, low, low + 31));
            assignment.push_back(seed % 3 == 0 ? low + 31 - p : domains.back().rand());
        }
        bool free = false;
        for (const iset& d : domains)
            free |= d.size() != 1;
        trivial_runtime_info view(domains);
        if (!free) {
            EXPECT_THROW(view.random_reduce(assignment), std::invalid_argument);
            continue;
        }
        view.random_reduce(assignment);
        for (unsigned p = 0; p < domains.size(); ++p) {
            ASSERT_FALSE(view.domain(p).empty());
            EXPECT_TRUE(domains[p].contains_all_of(view.domain(p))) << "seed " << seed;
            if (domains[p].contains(assignment[p])) {
                EXPECT_TRUE(view.domain(p).contains(assignment[p])) << "seed " << seed;
            }
        }
    }
    trivial_runtime_info ground({S("1"), S("2")});
    EXPECT_EQ(error_of([&] { ground.random_reduce(); }), "random::range: wrong parameter order");
}

// ---------------------------------------------------------------------------
// Explanation tester

typedef table_reference_propagator::fault fault;
typedef std::set<std::vector<int>> tuples;

std::unique_ptr<qarn::explanation_tester> tester_of(const tuples& allowed, fault f) {
    return std::make_unique<qarn::explanation_tester>(
        std::make_unique<table_reference_propagator>(allowed, 2, f));
}

// A conflict: no allowed tuple lies within the domains.
const tuples CONFLICT_TABLE = {{0, 0}};
const std::vector<iset> CONFLICT_DOMAINS = {iset(1, 2), iset(0, 1)};
// A narrowing: V0 loses 1, which has no support.
const tuples NARROWING_TABLE = {{0, 0}, {1, 1}};
const std::vector<iset> NARROWING_DOMAINS = {iset(0, 1), iset(0)};

TEST(ExplanationTester, PassesAnExactPropagator) {
    auto tester = tester_of(NARROWING_TABLE, table_reference_propagator::NONE);
    const auto& tested = static_cast<const table_reference_propagator&>(tester->tested());
    trivial_runtime_info view(NARROWING_DOMAINS);
    ASSERT_TRUE(tester->init(view));
    EXPECT_EQ(view.maybe_propagate(*tester), trivial_runtime_info::VALID);
    EXPECT_TRUE(same(view.domain(0), iset(0)));
    EXPECT_EQ(tested.explanations(), 1u);

    // Nothing narrowed: no explanation is asked for.
    auto quiet = tester_of({{0, 0}, {1, 0}, {1, 1}}, table_reference_propagator::NONE);
    trivial_runtime_info wide({iset(0, 1), iset(0, 1)});
    ASSERT_TRUE(quiet->init(wide));
    EXPECT_EQ(wide.maybe_propagate(*quiet), trivial_runtime_info::CONSISTENT);
    EXPECT_EQ(static_cast<const table_reference_propagator&>(quiet->tested()).explanations(), 0u);

    trivial_runtime_info conflict(CONFLICT_DOMAINS);
    auto conflicting = tester_of(CONFLICT_TABLE, table_reference_propagator::NONE);
    ASSERT_TRUE(conflicting->init(conflict));
    EXPECT_EQ(conflict.maybe_propagate(*conflicting), trivial_runtime_info::UNSAT);

    // A clone is a tester of its own.
    const std::unique_ptr<qarn::constraint_propagator> copy = tester->clone();
    ASSERT_NE(dynamic_cast<qarn::explanation_tester*>(copy.get()), nullptr);
    trivial_runtime_info again(NARROWING_DOMAINS);
    ASSERT_TRUE(copy->init(again));
    EXPECT_EQ(again.maybe_propagate(*copy), trivial_runtime_info::VALID);
}

TEST(ExplanationTester, CheckMessages) {
    const char* const propagate =
        "virtual qarn::propagation_types::result_type "
        "qarn::explanation_tester::propagate(qarn::constraint_runtime_info&)";
    const char* const rule =
        "void qarn::explanation_tester::assert_consistent_rule(const qarn::constraint_propagator&, "
        "const std::vector<" ISET_NAME ">&) const";
    const char* const unsat =
        "void qarn::explanation_tester::assert_unsat_explanation("
        "const qarn::trivial_runtime_info&) const";
    const char* const change =
        "void qarn::explanation_tester::assert_change_explanation(const "
        "qarn::constraint_runtime_info&, const qarn::trivial_runtime_info&, unsigned int) const";
    const char* const lost =
        "void qarn::explanation_tester::assert_explanation_no_solution_lost(const "
        "qarn::constraint_runtime_info&, const qarn::trivial_runtime_info&, unsigned int, const "
        "std::vector<" ISET_NAME ">&) const";
    const struct {
        fault f;
        bool conflict;
        unsigned line;
        const char* expression;
        const char* signature;
    } cases[] = {
        {table_reference_propagator::NEVER_CONFLICTS, true, 36,
         "known_to_conflict == (result == UNSAT)", propagate},
        {table_reference_propagator::WRONG_RULE, true, 70, "explanation == rule_explanation",
         rule},
        {table_reference_propagator::WRONG_RULE, false, 70, "explanation == rule_explanation",
         rule},
        {table_reference_propagator::SHORT_EXPLANATION, true, 80,
         "state.arity() == explanation.size()", unsat},
        {table_reference_propagator::CONFLICT_HITS_DOMAIN, true, 85,
         "!explanation[i].contains_any_of(state.domain(i))", unsat},
        {table_reference_propagator::EMPTY_EXPLANATION, true, 92, "!has_solution(infeasible)",
         unsat},
        {table_reference_propagator::SHORT_EXPLANATION, false, 112,
         "old_state.arity() == explanation.size()", change},
        {table_reference_propagator::PARAM_HITS_DOMAIN, false, 119,
         "!explanation[i].contains_any_of( removed_values_to_explain)", change},
        {table_reference_propagator::OTHERS_HIT_DOMAIN, false, 121,
         "!explanation[i].contains_any_of(old_state.domain(i))", change},
        {table_reference_propagator::EMPTY_EXPLANATION, false, 147, "!has_solution(complement)",
         lost},
    };
    for (const auto& c : cases) {
        qarn::random::set_seed(c.line);
        auto tester = tester_of(c.conflict ? CONFLICT_TABLE : NARROWING_TABLE, c.f);
        trivial_runtime_info view(c.conflict ? CONFLICT_DOMAINS : NARROWING_DOMAINS);
        ASSERT_TRUE(tester->init(view));
        EXPECT_EQ(error_of([&] { view.maybe_propagate(*tester); }),
                  check_message(TESTER, c.line, c.expression, c.signature))
            << "fault " << c.f;
    }
    // The engine's route to an explanation checks the rule too.
    auto tester = tester_of(NARROWING_TABLE, table_reference_propagator::WRONG_RULE);
    const trivial_runtime_info view(NARROWING_DOMAINS);
    std::vector<iset> explanation;
    EXPECT_EQ(error_of([&] {
                  tester->explain_propagation(0, iset(1), iset(0), view, explanation);
              }),
              check_message(TESTER, 70, "explanation == rule_explanation", rule));
}

TEST(ExplanationTester, HasSolution) {
    // init failing: no solution, and no propagation tried.
    auto refusing = tester_of({{0, 0}}, table_reference_propagator::INIT_FAILS);
    EXPECT_FALSE(refusing->has_solution(trivial_runtime_info({iset(0, 1), iset(0, 1)})));
    EXPECT_EQ(static_cast<const table_reference_propagator&>(refusing->tested()).propagations(),
              0u);

    const tuples everything = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const struct {
        fault f;
        tuples allowed;
        std::vector<iset> domains;
        bool expected;
    } cases[] = {
        {table_reference_propagator::NONE, NARROWING_TABLE, {iset(0, 1), iset(0, 1)}, true},
        {table_reference_propagator::NONE, NARROWING_TABLE, {iset(0), iset(1)}, false},
        {table_reference_propagator::NONE, {}, {iset(0, 1), iset(0, 1)}, false},
        // A propagator that never says VALID: a walk ending on single values
        // that satisfy the constraint has found a solution ...
        {table_reference_propagator::LAZY, everything, {iset(0, 1), iset(0, 1)}, true},
        // ... unless they violate it.
        {table_reference_propagator::LAZY, {}, {iset(0, 1), iset(0, 1)}, false},
    };
    for (unsigned seed = 1; seed <= 20; ++seed) {
        qarn::random::set_seed(seed);
        for (const auto& c : cases) {
            auto tester = tester_of(c.allowed, c.f);
            EXPECT_EQ(tester->has_solution(trivial_runtime_info(c.domains)), c.expected)
                << "fault " << c.f << ", seed " << seed;
            EXPECT_EQ(tester->tested().count_watches(), 0u);
        }
    }
}

}  // namespace self_check_test
