// Runtime views on a small hand-built model: the solver's record, the aged
// view's answers at past trail positions, the watch-less, explicit and sliced
// views, the environment thresholds, and the propagator base class.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "impl/engine/constraint_connectivity_info.h"
#include "impl/engine/constraint_propagator.h"
#include "impl/engine/runtime_views.h"
#include "impl/engine/solver.h"
#include "impl/propagators/equal_propagator.h"
#include "tests/unit/test_helpers.h"

namespace runtime_views_test {

using qarn_test::same;
using qarn_test::error_of;

using namespace qarn;
using range = std::pair<int, int>;

template <class T>
std::string printed(const T& view) {
    std::ostringstream os;
    view.print(os);
    return os.str();
}

// x, y, z over 0..9 with names x and y; one constraint record over them.
struct three_vars {
    solver s;
    constraint_connectivity_info record{&s, 0};
    three_vars() {
        s.add_var(iset(range(0, 9)), "x", false);
        s.add_var(iset(range(0, 9)), "y", false);
        s.add_var(iset(range(0, 9)), nullptr, false);
        s.size_watch_lists();
        record << 0 << 1 << 2;
    }
};

TEST(ConnectivityRecord, ReadsNarrowsAndPrints) {
    three_vars m;
    EXPECT_EQ(m.record.arity(), 3u);
    EXPECT_EQ(printed(m.record), "constraint[0] (x,y,V2)");
    EXPECT_THROW(m.record.domain(3), std::out_of_range);

    // Before a search a narrowing replaces the model's domain.
    m.record.set_domain(0, iset(range(2, 9)));
    EXPECT_TRUE(same(m.s.assignment().domain(0), iset(range(2, 9))));
    EXPECT_EQ(m.s.assignment().trail_size(), 0u);

    // During a search it is a trail entry caused by this constraint.
    m.s.m_solving = true;
    m.s.m_activation_counter = 7;
    m.record.reset_activation();
    m.record.set_domain(1, iset(range(0, 9))); // the same set: nothing
    EXPECT_FALSE(m.record.changed_a_domain());
    EXPECT_EQ(m.s.assignment().trail_size(), 0u);
    m.record.set_domain(1, iset(range(0, 4)));
    EXPECT_TRUE(m.record.changed_a_domain());
    ASSERT_EQ(m.s.assignment().trail_size(), 1u);
    EXPECT_EQ(m.s.assignment().entry(0).m_cause, 0);
    EXPECT_TRUE(m.record.reduced_between_activations(1));

    // Watches land in the variables' lists of the solver.
    watch_handle_t h = m.record.allocate_watch(2, watch_types::LOWER_BOUND_WATCH);
    EXPECT_FALSE(h.is_null());
    m.record.deallocate_watch(2, watch_types::LOWER_BOUND_WATCH, h);
    EXPECT_THROW(m.record.deallocate_watch(2, watch_types::LOWER_BOUND_WATCH, h),
                 std::out_of_range);
    watch_handle_t v = m.record.allocate_value_watch(0, 5);
    m.record.deallocate_value_watch(0, 5, v);
}

TEST(AgedView, ShowsTheDomainsBeforeThePropagation) {
    three_vars m;
    assignment_stack& a = m.s.assignment();
    a.set_var_domain(0, iset(range(0, 8)), 3, 4);  // entry 0, constraint 4
    a.set_var_domain(1, iset(range(0, 7)), 3, 4);  // entry 1
    a.open_level(2);
    a.set_var_domain(2, iset(range(0, 5)), 4, -1); // entry 2, a decision
    a.set_var_domain(0, iset(range(1, 8)), 5, 6);  // entry 3, constraint 6
    a.set_var_domain(1, iset(range(1, 7)), 5, 6);  // entry 4

    // Entry 4 came from the propagation that also made entry 3: the view shows
    // the domains after entry 2.
    const constraint_connectivity_info& record = m.record;
    constraint_aged_info aged(record, a, 4, 9);
    EXPECT_EQ(aged.time(), 2u);
    EXPECT_TRUE(same(aged.domain(0), iset(range(0, 8))));
    EXPECT_TRUE(same(aged.domain(1), iset(range(0, 7))));
    EXPECT_TRUE(same(aged.domain(2), iset(range(0, 5))));
    EXPECT_EQ(aged.effort(), 9u);
    EXPECT_EQ(aged.latest_modified_param(NO_PARAM), 2u);
    EXPECT_EQ(aged.latest_modified_param(2), 1u);
    aged.set_latest_tracking(false);
    EXPECT_EQ(aged.latest_modified_param(NO_PARAM), NO_PARAM);
    EXPECT_FALSE(aged.reduced_between_activations(0));
    EXPECT_EQ(printed(aged), "x={0:8}, y={0:7}, V2={0:5}");

    EXPECT_EQ(error_of([&] { aged.set_domain(0, iset(1)); }),
              "Domain can't be updated for a constraint_aged_info");
    EXPECT_EQ(error_of([&] { aged.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE); }),
              "Can't put_in_queue for constraint_aged_info");
    EXPECT_EQ(error_of([&] { aged.allocate_watch(0, watch_types::MODIFICATION_WATCH); }),
              "Can't allocate watches on const info objects");
    EXPECT_EQ(error_of([&] {
                  aged.deallocate_value_watch(0, 1, watch_handle_t());
              }),
              "Can't deallocate watches on const info objects");

    // Over a mutable record watches pass through; the effort can come from it.
    constraint_aged_info live(m.record, a, 99, constraint_aged_info::USE_UNDERLYING_EFFORT);
    EXPECT_EQ(live.time(), 4u); // past the end: the last entry
    EXPECT_TRUE(same(live.domain(0), iset(range(1, 8))));
    EXPECT_EQ(live.effort(), 0u);
    watch_handle_t h = live.allocate_watch(1, watch_types::MODIFICATION_WATCH);
    live.deallocate_watch(1, watch_types::MODIFICATION_WATCH, h);
}

TEST(WatchlessView, PassesDomainsAndKeepsWatches) {
    constraint_explicit_info under(2);
    constraint_watchless_info view(under);
    watch_handle_t a = view.allocate_watch(0, watch_types::MODIFICATION_WATCH);
    view.allocate_value_watch(1, 3);
    EXPECT_EQ(view.count_watches(), 2u);
    EXPECT_EQ(under.count_watches(), 0u);
    view.deallocate_watch(0, watch_types::MODIFICATION_WATCH, a);
    EXPECT_EQ(view.count_watches(), 1u);
    view.set_domain(1, iset(range(1, 5)));
    EXPECT_TRUE(same(under.domain(1), iset(range(1, 5))));
    view.set_fixed_queue(constraint_runtime_info::VARIABLE_QUEUE);
    EXPECT_EQ(view.originating_queue(), constraint_runtime_info::VARIABLE_QUEUE);
    view.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE);
    EXPECT_EQ(view.originating_queue(), constraint_runtime_info::CONSTRAINT_QUEUE);
}

TEST(ExplicitView, HoldsDomainsAndPrintsThemCompactly) {
    constraint_explicit_info view(6);
    iset all;
    all.complement();
    EXPECT_TRUE(same(view.domain(3), all));
    view.set_domain(0, iset(5));
    view.set_domain(1, iset());
    view.set_domain(3, iset(range(MIN_DOMAIN, 7)));
    view.set_domain(4, iset(range(3, MAX_DOMAIN)));
    view.set_domain(5, iset("1,3"));
    assignment_stack names;
    names.add_var(iset(1), "a", false);
    view.set_var_printer(5, variable_printer{&names.print_strategy(), 0});
    EXPECT_EQ(printed(view), "constraint (P0=5, P1={}, P2={*}, P3<=7, P4>=3, a={1,3})");
    EXPECT_TRUE(view.reduced_between_activations(0));
    EXPECT_EQ(view.originating_queue(), constraint_runtime_info::CONSTRAINT_QUEUE);

    constraint_explicit_info copy(view);
    EXPECT_TRUE(same(copy.domain(5), iset("1,3")));
    std::ostringstream none;
    none << variable_printer{nullptr, 3};
    EXPECT_EQ(none.str(), "NULL_var_printer");
}

// An explicit view that reports a fixed latest-modified parameter.
struct tracked_view : constraint_explicit_info {
    explicit tracked_view(unsigned n) : constraint_explicit_info(n) {}
    std::function<unsigned(unsigned)> latest;
    unsigned latest_modified_param(unsigned p) const override { return latest(p); }
};

TEST(SlicedView, QueryingRecordsUntilCommit) {
    constraint_explicit_info under(4);
    sliced_runtime_info slice(under, 1, 3);
    EXPECT_EQ(slice.arity(), 2u);
    EXPECT_TRUE(slice.querying_domain());
    slice.set_domain(0, iset(range(0, 9)));
    slice.set_domain(0, iset(range(2, 4)));
    EXPECT_TRUE(slice.pending_commit());
    EXPECT_TRUE(same(slice.domain(0), iset(range(2, 4))));
    EXPECT_TRUE(under.domain(1).full());
    slice.commit();
    EXPECT_FALSE(slice.pending_commit());
    EXPECT_TRUE(same(under.domain(1), iset(range(2, 4))));

    // Out of querying mode narrowings pass through at once.
    slice.set_querying_domain(false);
    slice.set_domain(1, iset(7));
    EXPECT_TRUE(same(under.domain(2), iset(7)));

    // A slice of a read-only view cannot pass anything on.
    const constraint_explicit_info& ro = under;
    sliced_runtime_info ro_slice(ro, 0, 2);
    EXPECT_THROW(ro_slice.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE),
                 std::domain_error);
    EXPECT_THROW(ro_slice.allocate_watch(0, watch_types::MODIFICATION_WATCH), std::domain_error);
    ro_slice.set_domain(0, iset(range(1, 3))); // recorded only
    EXPECT_THROW(ro_slice.commit(), std::domain_error);
}

TEST(SlicedView, LatestModifiedParameterIsMappedIntoTheSlice) {
    tracked_view under(5);
    sliced_runtime_info slice(under, 1, 3); // underlying 1, 2 are slice 0, 1
    struct row {
        std::function<unsigned(unsigned)> latest;
        unsigned asked;
        unsigned expected;
    } rows[] = {
        {[](unsigned) { return 2u; }, 0, 1},                        // inside
        {[](unsigned) { return NO_PARAM; }, 0, NO_PARAM},           // none
        {[](unsigned p) { return p == 4 ? 1u : 4u; }, 1, 0},        // outside, then inside
        {[](unsigned p) { return p == 4 ? 2u : 4u; }, 1, NO_PARAM}, // back to the asked one
    };
    for (const row& r : rows) {
        under.latest = r.latest;
        EXPECT_EQ(slice.latest_modified_param(r.asked), r.expected);
    }
}

TEST(EnvironmentThresholds, ReadOncePerProcess) {
    ::setenv("ACCURATE_SIZE_BOUND", "0x20", 1);
    ::unsetenv("ACCURATE_SIZE_PAIR_BOUND");
    ::setenv("MAX_ACCURATE_RANGES", "010", 1);
    constraint_explicit_info view(1);
    EXPECT_EQ(view.accurate_size_bound(), 32u);
    EXPECT_EQ(view.accurate_size_pair_bound(), 50u);
    EXPECT_EQ(view.max_accurate_ranges(), 8u);
    ::setenv("ACCURATE_SIZE_BOUND", "5", 1);
    EXPECT_EQ(view.accurate_size_bound(), 32u);
    EXPECT_EQ(read_environment_threshold("QARN_TEST_SURELY_UNSET", 17), 17u);
}

// x <= y, for checking the base class's behaviour.
struct less_equal : constraint_propagator {
    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info& ri) const override {
        return ri.domain(0).min() <= ri.domain(1).min();
    }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<less_equal>(*this);
    }
};

// Records how it was asked to combine and answers with parameters in its own numbering.
struct recording_equal : equal_propagator {
    mutable std::vector<unsigned> seen_map;
    mutable unsigned seen_param = 0;
    std::vector<unsigned> answer;
    std::unique_ptr<constraint_propagator> combine(const constraint_runtime_info&,
                                                   const constraint_propagator&,
                                                   const constraint_runtime_info&,
                                                   const std::vector<unsigned>& other_to_this,
                                                   unsigned param,
                                                   std::vector<unsigned>& out) const override {
        seen_map = other_to_this;
        seen_param = param;
        out = answer;
        return std::make_unique<equal_propagator>();
    }
};

TEST(PropagatorBase, DefaultsAndResultNames) {
    less_equal p;
    constraint_explicit_info singletons(2);
    singletons.set_domain(0, iset(1));
    singletons.set_domain(1, iset(2));
    EXPECT_TRUE(p.init(singletons));
    EXPECT_EQ(singletons.count_watches(), 0u);
    constraint_explicit_info open(2);
    EXPECT_TRUE(p.init(open));
    EXPECT_EQ(open.count_watches(), 2u);
    EXPECT_TRUE(p.init(*std::make_unique<constraint_explicit_info>(0)));

    std::ostringstream os;
    p.print(os, nullptr);
    EXPECT_EQ(os.str(), "");
    EXPECT_EQ(p.count_params(), ANY_PARAM_COUNT);
    EXPECT_EQ(error_of([&] { p.watched_param_index(0); }),
              "impl/constraint_propagator:41: constraint_propagator::watched_param_index\n"
              "     has no dynamic watches to work on");
    std::vector<unsigned> params;
    EXPECT_EQ(p.intersect_with(open, params), nullptr);
    EXPECT_FALSE(p.may_combine(less_equal()));
    EXPECT_TRUE(p.may_combine(equal_propagator()));
    EXPECT_EQ(p.combine(open, less_equal(), open, {0, 1}, 0, params), nullptr);

    std::ostringstream names;
    names << propagation_types::UNSAT << ' ' << propagation_types::VALID << ' '
          << propagation_types::CONSISTENT << ' ' << propagation_types::POSTPONE << ' '
          << static_cast<propagation_types::result_type>(7);
    EXPECT_EQ(names.str(), "UNSAT VALID CONSISTENT POSTPONE unknown result_type(7");
}

TEST(PropagatorBase, CombiningWithAnEqualityRenumbersBothWays) {
    // This constraint has 3 parameters; the equality has 2, its parameter 0
    // being our 2 and its parameter 1 not ours (numbered 3 = n).
    less_equal p;
    constraint_explicit_info this_ri(3), other_ri(2);
    recording_equal eq;
    // In the equality's numbering: 0, 1 are its own, 2 + i is our parameter i.
    eq.answer = {2, 0, 1, 3};
    std::vector<unsigned> out;
    // The pivot is the equality's parameter 0, our parameter 2.
    auto result = p.combine(this_ri, eq, other_ri, {2, 3}, 0, out);
    ASSERT_NE(result, nullptr);
    // Our parameters 0, 1 are not shared (2 + 0, 2 + 1); parameter 2 is its 0.
    EXPECT_EQ(eq.seen_map, (std::vector<unsigned>{2, 3, 0}));
    EXPECT_EQ(eq.seen_param, 2u);
    EXPECT_EQ(out, (std::vector<unsigned>{0, 2, 3, 1}));
}

TEST(EqualPropagator, NarrowsBothToTheIntersection) {
    equal_propagator eq;
    constraint_explicit_info ri(2);
    ri.set_domain(0, iset(range(1, 5)));
    ri.set_domain(1, iset(range(3, 9)));
    EXPECT_EQ(eq.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), iset(range(3, 5))));
    EXPECT_TRUE(same(ri.domain(1), iset(range(3, 5))));
    ri.set_domain(1, iset(range(3, 4)));
    EXPECT_EQ(eq.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(0), iset(range(3, 4))));
    ri.set_domain(0, iset(3));
    ri.set_domain(1, iset(4));
    EXPECT_TRUE(eq.conflicts(ri));
    EXPECT_EQ(eq.propagate(ri), propagation_types::UNSAT);
}

}  // namespace runtime_views_test
