// Tests of the keyed watch lists, watch handles, watch-type printing and the
// dummy watch list.
//
// Watch nodes come from the process-wide pool and are never given back to
// the heap, so a walker that read a released node would not be reported by
// the address sanitizer. The walk tests therefore release nodes and allocate
// new ones at once (the pool hands the released node straight back, which
// the tests check) and demand the exact activation sequence: a walker that
// followed a released node would go astray.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/watches.h"

namespace watches_test {

using qarn::var_event_watchers;
using qarn::var_value_watchers;
using qarn::watch_handle_t;
using qarn::watch_types;

template <class W>
std::vector<unsigned> contents(const W& w, int key) {
    const auto* e = w.find_key_watchers(key);
    if (!e)
        return {};
    return std::vector<unsigned>(e->constraints.begin(), e->constraints.end());
}

template <class W>
std::vector<int> keys(const W& w) {
    std::vector<int> out;
    for (std::size_t i = 0; i < w.entry_count(); ++i)
        out.push_back(w.entry(i).key);
    return out;
}

template <class W>
unsigned node_total(const W& w) {
    unsigned n = 0;
    for (std::size_t i = 0; i < w.entry_count(); ++i)
        n += static_cast<unsigned>(w.entry(i).constraints.size());
    return n;
}

// Walks every key, recording activations; on_activate may change the lists.
template <class W>
std::vector<unsigned> walk(W& w, std::function<bool(unsigned)> on_activate = nullptr) {
    std::vector<unsigned> order;
    w.for_each_watch(typename W::cond_always_true(), [&](unsigned c) {
        order.push_back(c);
        return on_activate ? on_activate(c) : true;
    });
    return order;
}

// ---- watch types -------------------------------------------------------

TEST(WatchType, PrintsEnumeratorNamesAndNothingElse) {
    const struct {
        int value;
        const char* text;
    } cases[] = {
        {0, "MODIFICATION_WATCH"}, {1, "FINALIZATION_WATCH"}, {2, "LOWER_BOUND_WATCH"},
        {3, "UPPER_BOUND_WATCH"},  {4, ""},                   {7, ""},
        {-1, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream os;
        os << static_cast<watch_types::watch_type>(c.value);
        EXPECT_EQ(os.str(), c.text) << "value " << c.value;
    }
}

// ---- handles ------------------------------------------------------------

TEST(WatchHandle, NullHandleIsTheEndOfTheSharedEmptyList) {
    watch_handle_t null;
    EXPECT_TRUE(null.is_null());
    EXPECT_EQ(null, watch_handle_t(watch_handle_t::null_watch_list.end()));
    EXPECT_TRUE(watch_handle_t::null_watch_list.empty());

    var_event_watchers w;
    watch_handle_t h = w.allocate_watch(0, 1);
    EXPECT_FALSE(h.is_null());
    EXPECT_NE(h, null);
}

TEST(WatchHandle, HandlesCompareByNodeIdentity) {
    var_value_watchers w;
    // Same key and constraint twice: two watches, two different handles.
    watch_handle_t a = w.allocate_watch(4, 9);
    watch_handle_t b = w.allocate_watch(4, 9);
    watch_handle_t a_copy = a;
    EXPECT_EQ(a, a_copy);
    EXPECT_FALSE(a != a_copy);
    EXPECT_NE(a, b);
    EXPECT_EQ(*a.node(), 9u);
    EXPECT_EQ(*b.node(), 9u);

    w.deallocate_watch(4, a);
    EXPECT_EQ(contents(w, 4), std::vector<unsigned>{9});
    EXPECT_EQ(w.count_all_watches(), 1u);
    w.deallocate_watch(4, b);
    EXPECT_TRUE(w.empty());
}

// ---- allocation and lookup ---------------------------------------------

TEST(VarWatchers, DefaultModes) {
    var_event_watchers ev;
    var_value_watchers val;
    const int lb = watch_types::LOWER_BOUND_WATCH;
    for (unsigned c : {1u, 2u, 3u}) {
        watch_handle_t he = ev.allocate_watch(lb, c);
        watch_handle_t hv = val.allocate_watch(-5, c);
        // The handle names the node just put in.
        EXPECT_EQ(he.node(), ev.find_key_watchers(lb)->constraints.begin());
        EXPECT_EQ(std::next(hv.node()), val.find_key_watchers(-5)->constraints.end());
    }
    EXPECT_EQ(contents(ev, lb), (std::vector<unsigned>{3, 2, 1}));
    EXPECT_EQ(contents(val, -5), (std::vector<unsigned>{1, 2, 3}));

    // The mode is the constructor argument of the template itself.
    qarn::var_watchers_impl<qarn::iset> front(false);
    front.allocate_watch(1, 1);
    front.allocate_watch(1, 2);
    EXPECT_EQ(contents(front, 1), (std::vector<unsigned>{2, 1}));
}

TEST(VarWatchers, EntriesInOrderOfFirstUseAndQueries) {
    var_value_watchers w;
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.count_all_watches(), 0u);
    EXPECT_EQ(w.entry_count(), 0u);
    EXPECT_FALSE(w.watches(0));
    EXPECT_EQ(w.find_key_watchers(0), nullptr);

    w.allocate_watch(30, 1);
    w.allocate_watch(-2, 2);
    w.allocate_watch(30, 3);
    w.allocate_watch(7, 1);
    EXPECT_EQ(keys(w), (std::vector<int>{30, -2, 7}));
    EXPECT_EQ(w.count_all_watches(), 4u);
    EXPECT_FALSE(w.empty());
    EXPECT_TRUE(w.watches(-2));
    EXPECT_FALSE(w.watches(8));

    const var_value_watchers& cw = w;
    ASSERT_NE(cw.find_key_watchers(30), nullptr);
    EXPECT_EQ(cw.find_key_watchers(30), w.find_key_watchers(30));
    EXPECT_EQ(cw.find_key_watchers(30)->key, 30);

    const struct {
        int key;
        unsigned constraint;
        bool expected;
    } cases[] = {
        {30, 1, true}, {30, 3, true}, {30, 2, false}, {-2, 2, true},
        {7, 1, true},  {7, 3, false}, {8, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(w.is_key_watched_by_constraint(c.key, c.constraint), c.expected)
            << "key " << c.key << " constraint " << c.constraint;
}

// ---- release outside a walk -------------------------------------------

TEST(VarWatchers, ReleasingBothWatchesOfAKeyRemovesItsEntry) {
    var_event_watchers w;
    watch_handle_t a = w.allocate_watch(watch_types::MODIFICATION_WATCH, 4);
    watch_handle_t b = w.allocate_watch(watch_types::MODIFICATION_WATCH, 5);
    w.deallocate_watch(watch_types::MODIFICATION_WATCH, a);
    EXPECT_TRUE(w.watches(watch_types::MODIFICATION_WATCH));
    EXPECT_EQ(contents(w, watch_types::MODIFICATION_WATCH), std::vector<unsigned>{5});
    w.deallocate_watch(watch_types::MODIFICATION_WATCH, b);
    EXPECT_FALSE(w.watches(watch_types::MODIFICATION_WATCH));
    EXPECT_EQ(w.entry_count(), 0u);
    EXPECT_TRUE(w.empty());
}

TEST(VarWatchers, RemovedEntryIsReplacedByTheLast) {
    var_value_watchers w;
    watch_handle_t ha = w.allocate_watch(10, 1);
    w.allocate_watch(20, 2);
    watch_handle_t hc = w.allocate_watch(30, 3);
    w.allocate_watch(40, 4);
    w.deallocate_watch(10, ha);
    EXPECT_EQ(keys(w), (std::vector<int>{40, 20, 30}));
    // Removing the last entry just shortens the vector.
    w.deallocate_watch(30, hc);
    EXPECT_EQ(keys(w), (std::vector<int>{40, 20}));
    EXPECT_EQ(contents(w, 40), std::vector<unsigned>{4});
    EXPECT_EQ(w.count_all_watches(), 2u);
}

TEST(VarWatchers, ReleasingAnUnregisteredWatchThrowsAndChangesNothing) {
    var_event_watchers w;
    watch_handle_t h0 = w.allocate_watch(0, 1);
    w.allocate_watch(0, 2);
    w.allocate_watch(3, 5);

    const struct {
        const char* what;
        int key;
        watch_handle_t handle;
    } cases[] = {
        {"unknown key, live handle", 2, h0},
        {"known key, null handle", 0, watch_handle_t()},
        {"unknown key, null handle", 1, watch_handle_t()},
    };
    for (const auto& c : cases) {
        try {
            w.deallocate_watch(c.key, c.handle);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Can't deallocate nonexistent watch") << c.what;
        }
        EXPECT_EQ(keys(w), (std::vector<int>{0, 3})) << c.what;
        EXPECT_EQ(contents(w, 0), (std::vector<unsigned>{2, 1})) << c.what;
        EXPECT_EQ(contents(w, 3), std::vector<unsigned>{5}) << c.what;
        EXPECT_EQ(w.count_all_watches(), 3u) << c.what;
    }
}

// ---- cleaners ------------------------------------------------------------

TEST(VarWatchers, EmptiedEntryStaysUntilTheOutermostCleanerEnds) {
    var_value_watchers w;
    watch_handle_t a = w.allocate_watch(1, 1);
    watch_handle_t b = w.allocate_watch(1, 2);
    w.allocate_watch(2, 3);
    {
        var_value_watchers::for_each_cleaner outer(w);
        EXPECT_TRUE(w.iterating());
        w.deallocate_watch(1, a);
        {
            var_value_watchers::for_each_cleaner inner(w);
            w.deallocate_watch(1, b);
        }
        // The inner cleaner leaves the mark and the empty entry alone.
        EXPECT_TRUE(w.iterating());
        EXPECT_TRUE(w.watches(1));
        // Released during the walk: still linked, marked, until it ends.
        for (unsigned c : w.find_key_watchers(1)->constraints)
            EXPECT_EQ(c, var_value_watchers::RELEASED);
        EXPECT_EQ(w.count_all_watches(), 1u);
        EXPECT_EQ(keys(w), (std::vector<int>{1, 2}));
    }
    EXPECT_FALSE(w.iterating());
    EXPECT_FALSE(w.watches(1));
    EXPECT_EQ(keys(w), std::vector<int>{2});
    EXPECT_EQ(w.count_all_watches(), 1u);
}

TEST(VarWatchers, CleanerCompactsFromTheLastEntry) {
    // Entries 10..60; the ones marked empty are emptied inside the cleaner.
    const struct {
        std::vector<int> emptied;
        std::vector<int> after;
    } cases[] = {
        {{}, {10, 20, 30, 40, 50, 60}},
        {{10, 30}, {50, 20, 60, 40}},
        {{60}, {10, 20, 30, 40, 50}},
        {{50, 60}, {10, 20, 30, 40}},
        {{10, 20, 30}, {40, 50, 60}},
        {{10, 20, 30, 40, 50, 60}, {}},
    };
    for (const auto& c : cases) {
        var_event_watchers w;
        std::vector<watch_handle_t> handles;
        for (int k = 10; k <= 60; k += 10)
            handles.push_back(w.allocate_watch(k, static_cast<unsigned>(k)));
        {
            var_event_watchers::for_each_cleaner cleaner(w);
            for (int k : c.emptied)
                w.deallocate_watch(k, handles[static_cast<std::size_t>(k / 10 - 1)]);
            EXPECT_EQ(w.entry_count(), 6u);
        }
        EXPECT_EQ(keys(w), c.after);
        EXPECT_EQ(w.count_all_watches(), c.after.size());
        EXPECT_EQ(node_total(w), w.count_all_watches());
    }
}

TEST(VarWatchers, KeyFirstUsedInsideACleanerIsAppended) {
    var_event_watchers w;
    watch_handle_t h = w.allocate_watch(0, 1);
    {
        var_event_watchers::for_each_cleaner cleaner(w);
        w.deallocate_watch(0, h);
        w.allocate_watch(3, 2);
        w.allocate_watch(0, 4); // reuses the still-present entry
        EXPECT_EQ(keys(w), (std::vector<int>{0, 3}));
    }
    EXPECT_EQ(keys(w), (std::vector<int>{0, 3}));
    EXPECT_EQ(contents(w, 0), std::vector<unsigned>{4});
}

// ---- deallocate_watches -------------------------------------------------

TEST(VarWatchers, DeallocateWatchesDropsReportedConstraints) {
    var_value_watchers w;
    w.allocate_watch(1, 0);
    w.allocate_watch(1, 5);
    w.allocate_watch(1, 2);
    w.allocate_watch(2, 6);
    w.allocate_watch(3, 7);
    w.allocate_watch(3, 1);

    std::vector<unsigned> asked;
    w.deallocate_watches([&](unsigned c) {
        asked.push_back(c);
        return c >= 5;
    });
    // Entries last to first, each list last to first.
    EXPECT_EQ(asked, (std::vector<unsigned>{1, 7, 6, 2, 5, 0}));
    EXPECT_EQ(contents(w, 1), (std::vector<unsigned>{0, 2}));
    EXPECT_FALSE(w.watches(2)); // emptied, removed: entry 3 moved into its place
    EXPECT_EQ(keys(w), (std::vector<int>{1, 3}));
    EXPECT_EQ(contents(w, 3), std::vector<unsigned>{1});
    EXPECT_EQ(w.count_all_watches(), 3u);

    w.deallocate_watches([](unsigned) { return true; });
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.entry_count(), 0u);
}

TEST(VarWatchers, DeallocateWatchesDuringAWalkKeepsEntries) {
    var_event_watchers w;
    w.allocate_watch(0, 8);
    w.allocate_watch(1, 3);
    {
        var_event_watchers::for_each_cleaner cleaner(w);
        w.deallocate_watches([](unsigned c) { return c == 8; });
        EXPECT_EQ(keys(w), (std::vector<int>{0, 1}));
        EXPECT_EQ(w.count_all_watches(), 1u);
    }
    EXPECT_EQ(keys(w), std::vector<int>{1});
}

TEST(VarWatchers, RemainingHandlesStayValid) {
    var_value_watchers w;
    watch_handle_t a = w.allocate_watch(1, 1);
    watch_handle_t b = w.allocate_watch(2, 2);
    watch_handle_t c = w.allocate_watch(3, 3);
    w.deallocate_watch(1, a); // entry 3 moves into slot 0, its node with it
    for (int k = 100; k < 140; ++k)
        w.allocate_watch(k, 9); // the entry vector grows
    EXPECT_EQ(*c.node(), 3u);
    w.deallocate_watch(3, c);
    w.deallocate_watch(2, b);
    EXPECT_EQ(w.count_all_watches(), 40u);
    EXPECT_FALSE(w.watches(2));
    EXPECT_FALSE(w.watches(3));
}

TEST(VarWatchers, PerVariableVectorGrowthKeepsHandles) {
    std::vector<var_event_watchers> ev(1);
    std::vector<var_value_watchers> val(1);
    watch_handle_t he = ev[0].allocate_watch(2, 7);
    watch_handle_t hv = val[0].allocate_watch(-9, 7);
    ev.resize(64);
    val.resize(64);
    ev[63].allocate_watch(0, 1);
    ev[63].allocate_watch(0, 2);
    val[63].allocate_watch(0, 1);
    val[63].allocate_watch(0, 2);
    EXPECT_EQ(contents(ev[63], 0), (std::vector<unsigned>{2, 1}));
    EXPECT_EQ(contents(val[63], 0), (std::vector<unsigned>{1, 2}));
    ev[0].deallocate_watch(2, he);
    val[0].deallocate_watch(-9, hv);
    EXPECT_TRUE(ev[0].empty());
    EXPECT_TRUE(val[0].empty());
}

TEST(VarWatchers, ClearDropsEverything) {
    var_event_watchers w;
    w.allocate_watch(0, 1);
    w.allocate_watch(2, 1);
    w.clear();
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.entry_count(), 0u);
    EXPECT_FALSE(w.watches(0));
}

TEST(KeyWatchers, MoveAssignmentHandsTheNodesOver) {
    using kw = qarn::var_watchers_base::key_watchers;
    kw source(5);
    kw target(9);
    source.constraints.push_back(1);
    source.constraints.push_back(2);
    target.constraints.push_back(3);
    watch_handle_t h(source.constraints.begin());
    target = std::move(source);
    EXPECT_EQ(target.key, 5);
    EXPECT_EQ(std::vector<unsigned>(target.constraints.begin(), target.constraints.end()),
              (std::vector<unsigned>{1, 2}));
    EXPECT_TRUE(source.constraints.empty());
    EXPECT_EQ(h.node(), target.constraints.begin());
}

// ---- walks ---------------------------------------------------------------

TEST(Walk, EventWatchesFireOldestFirstValueWatchesNewestFirst) {
    var_event_watchers ev;
    for (unsigned c : {10u, 11u, 12u})
        ev.allocate_watch(watch_types::MODIFICATION_WATCH, c);
    ev.allocate_watch(watch_types::UPPER_BOUND_WATCH, 20);
    EXPECT_EQ(walk(ev), (std::vector<unsigned>{20, 10, 11, 12}));

    var_value_watchers val;
    for (unsigned c : {1u, 2u, 3u})
        val.allocate_watch(5, c);
    val.allocate_watch(7, 4);
    EXPECT_EQ(walk(val), (std::vector<unsigned>{4, 3, 2, 1}));
    EXPECT_FALSE(val.iterating());
}

TEST(Walk, KeyConditionSelectsEntries) {
    var_event_watchers w;
    for (int k = 0; k < 4; ++k)
        w.allocate_watch(k, static_cast<unsigned>(k));
    w.allocate_watch(40, 40);
    const unsigned mask = 0b1001;
    std::vector<unsigned> order;
    w.for_each_watch(
        [&](int key) { return key <= 31 && (mask >> key & 1u); },
        [&](unsigned c) {
            order.push_back(c);
            return true;
        });
    EXPECT_EQ(order, (std::vector<unsigned>{3, 0}));
}

TEST(Walk, StopsAtTheFirstFailedActivationAndStillCompacts) {
    var_value_watchers w;
    w.allocate_watch(1, 1);
    w.allocate_watch(2, 2);
    watch_handle_t h3 = w.allocate_watch(3, 3);
    watch_handle_t h4 = w.allocate_watch(3, 4);
    std::vector<unsigned> order;
    const bool done = w.for_each_watch(var_value_watchers::cond_always_true(), [&](unsigned c) {
        order.push_back(c);
        w.deallocate_watch(3, c == 4 ? h4 : h3);
        return c != 3;
    });
    EXPECT_FALSE(done);
    EXPECT_EQ(order, (std::vector<unsigned>{4, 3}));
    EXPECT_EQ(keys(w), (std::vector<int>{1, 2}));
    EXPECT_FALSE(w.iterating());
}

// Every activation releases the watch being visited.
TEST(Walk, ReleasingTheVisitedWatch) {
    var_event_watchers ev;
    var_value_watchers val;
    std::vector<std::pair<int, watch_handle_t>> ev_handles, val_handles;
    for (unsigned c = 0; c < 6; ++c) {
        const int key = static_cast<int>(c % 2);
        ev_handles.emplace_back(key, ev.allocate_watch(key, c));
        val_handles.emplace_back(key, val.allocate_watch(key, c));
    }
    auto release_own = [](auto& w, auto& handles) {
        return [&w, &handles](unsigned c) {
            w.deallocate_watch(handles[c].first, handles[c].second);
            EXPECT_TRUE(w.watches(handles[c].first));
            return true;
        };
    };
    EXPECT_EQ(walk(ev, release_own(ev, ev_handles)), (std::vector<unsigned>{1, 3, 5, 0, 2, 4}));
    EXPECT_EQ(walk(val, release_own(val, val_handles)), (std::vector<unsigned>{5, 3, 1, 4, 2, 0}));
    EXPECT_TRUE(ev.empty());
    EXPECT_EQ(ev.entry_count(), 0u);
    EXPECT_TRUE(val.empty());
    EXPECT_EQ(val.entry_count(), 0u);
}

// Each original watch moves: it is released and a new watch (constraint +
// 100) taken on the same key. An event list puts the new node at the front,
// where the walk still reaches it; a value list puts it behind the walk.
TEST(Walk, MovingTheVisitedWatchToTheSameKey) {
    const struct {
        bool event;
        std::vector<unsigned> order;
    } cases[] = {
        {true, {1, 2, 3, 101, 102, 103}},
        {false, {3, 2, 1}},
    };
    for (const auto& tc : cases) {
        auto run = [&](auto& w) {
            std::vector<watch_handle_t> handles(4);
            for (unsigned c = 1; c <= 3; ++c)
                handles[c] = w.allocate_watch(0, c);
            const auto order = walk(w, [&](unsigned c) {
                if (c < 100) {
                    w.deallocate_watch(0, handles[c]);
                    w.allocate_watch(0, c + 100);
                }
                return true;
            });
            EXPECT_EQ(order, tc.order) << (tc.event ? "event" : "value");
            EXPECT_EQ(contents(w, 0), (std::vector<unsigned>{103, 102, 101}));
            EXPECT_EQ(w.count_all_watches(), 3u);
        };
        if (tc.event) {
            var_event_watchers w;
            run(w);
        } else {
            var_value_watchers w;
            run(w);
        }
    }
}

// A constraint may release any watch during the walk, also the one the walk
// visits next: released watches are skipped and unhooked when the walk ends.
TEST(Walk, ReleasingTheNextWatchOfTheKey) {
    var_value_watchers w;
    std::vector<watch_handle_t> handles;
    for (unsigned c = 0; c < 4; ++c)
        handles.push_back(w.allocate_watch(7, c));
    const auto order = walk(w, [&](unsigned c) {
        if (c == 3) // the first visited releases every other watch of the key
            for (unsigned d = 0; d < 3; ++d)
                w.deallocate_watch(7, handles[d]);
        return true;
    });
    EXPECT_EQ(order, (std::vector<unsigned>{3}));
    EXPECT_EQ(contents(w, 7), (std::vector<unsigned>{3}));
    EXPECT_EQ(w.count_all_watches(), 1u);
}

// Activations release their watch and take watches on many new keys, so the
// entry vector reallocates under the walk; new keys are not visited.
TEST(Walk, NewKeysDuringTheWalk) {
    var_value_watchers w;
    std::vector<watch_handle_t> handles;
    for (unsigned c = 0; c < 3; ++c)
        handles.push_back(w.allocate_watch(static_cast<int>(c), c));
    for (unsigned c = 3; c < 5; ++c)
        handles.push_back(w.allocate_watch(1, c));
    int next_key = 1000;
    const auto order = walk(w, [&](unsigned c) {
        const int key = c < 3 ? static_cast<int>(c) : 1;
        w.deallocate_watch(key, handles[c]);
        for (int i = 0; i < 20; ++i)
            w.allocate_watch(next_key++, 50 + c);
        return true;
    });
    EXPECT_EQ(order, (std::vector<unsigned>{2, 4, 3, 1, 0}));
    EXPECT_EQ(w.entry_count(), 100u);
    EXPECT_EQ(w.count_all_watches(), 100u);
    EXPECT_FALSE(w.watches(0));
    EXPECT_FALSE(w.watches(1));
}

// An activation that walks the same lists again: the inner walk sees the
// emptied entries of the outer one, and only the outer walk compacts.
TEST(Walk, NestedWalks) {
    var_event_watchers w;
    watch_handle_t a = w.allocate_watch(0, 1);
    w.allocate_watch(1, 2);
    std::vector<unsigned> inner;
    const auto outer = walk(w, [&](unsigned c) {
        if (c == 2) {
            w.deallocate_watch(0, a);
            inner = walk(w);
            EXPECT_TRUE(w.iterating());
            EXPECT_EQ(w.entry_count(), 2u);
        }
        return true;
    });
    EXPECT_EQ(outer, std::vector<unsigned>{2});
    EXPECT_EQ(inner, std::vector<unsigned>{2});
    EXPECT_EQ(keys(w), std::vector<int>{1});
}

// ---- dummy watches ---------------------------------------------------------

TEST(DummyWatches, AllocateAndRelease) {
    qarn::dummy_watches d;
    EXPECT_EQ(d.count(), 0u);
    watch_handle_t a = d.allocate();
    watch_handle_t b = d.allocate();
    EXPECT_FALSE(a.is_null());
    EXPECT_FALSE(b.is_null());
    EXPECT_NE(a, b);
    EXPECT_EQ(*a.node(), 0u);
    EXPECT_EQ(d.count(), 2u);
    d.deallocate(a);
    EXPECT_EQ(d.count(), 1u);
    EXPECT_EQ(*b.node(), 0u);
    d.deallocate(b);
    EXPECT_EQ(d.count(), 0u);
}

}  // namespace watches_test
