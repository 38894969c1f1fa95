// Tests of the use and derivation records of learned constraints: which
// constraints the erasure step is offered, erasure itself, and the closure of
// live prerequisites that a proof must keep.
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "impl/learning/conflict_constraint_dependency.h"

namespace conflict_constraint_dependency_test {

using qarn::conflict_constraint_dependency;
typedef std::vector<unsigned> list;

constexpr unsigned FIRST = 100;
constexpr unsigned ERASED = conflict_constraint_dependency::ERASED;

// Records each constraint's prerequisites, given as {derived, {prerequisites in order}}.
void derive(conflict_constraint_dependency& d,
            const std::vector<std::pair<unsigned, list>>& derivations) {
    for (const auto& [derived, prerequisites] : derivations)
        for (unsigned c : prerequisites)
            d.mark_dependency(c, derived);
}

TEST(ConflictConstraintDependency, NothingRecordedListsNothing) {
    conflict_constraint_dependency d(FIRST);
    EXPECT_EQ(d.active_constraints(0), list{});
    EXPECT_EQ(d.other_constraints({}), list{});
    EXPECT_EQ(d.prerequisite_closure({FIRST, FIRST + 1}), list{});
    EXPECT_FALSE(d.erased(FIRST));
}

TEST(ConflictConstraintDependency, ActiveConstraintsBySince) {
    conflict_constraint_dependency d(FIRST);
    // 100 and 102 are never used but lie inside the recorded range.
    d.mark_used(FIRST + 1, 5);
    d.mark_used(FIRST + 3, 9);
    d.mark_used(FIRST + 4, 0xFFFFFFFEu);
    d.mark_used(FIRST + 5, 7);
    d.erase_constraint(FIRST + 5);
    // The last mark counts, even when earlier.
    d.mark_used(FIRST + 6, 20);
    d.mark_used(FIRST + 6, 3);

    const struct {
        unsigned since;
        list expected;
    } cases[] = {
        {0, {100, 101, 102, 103, 104, 106}},
        {1, {101, 103, 104, 106}},
        {5, {101, 103, 104}},
        {6, {103, 104}},
        {10, {104}},
        {0xFFFFFFFEu, {104}},
        {ERASED, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d.active_constraints(c.since), c.expected) << "since " << c.since;
}

TEST(ConflictConstraintDependency, OtherConstraintsWithKeepList) {
    conflict_constraint_dependency d(FIRST);
    for (unsigned c = FIRST; c <= FIRST + 5; ++c)
        d.mark_used(c, c);
    d.erase_constraint(FIRST + 2);

    const struct {
        list keep;
        list expected;
    } cases[] = {
        {{}, {100, 101, 103, 104, 105}},
        // Unsorted, with repetitions, erased and unrecorded indices.
        {{105, 3, 101, 105, 102, 999}, {100, 103, 104}},
        {{100, 101, 103, 104, 105}, {}},
        // The model's own constraints are never offered.
        {{0, 1, 99}, {100, 101, 103, 104, 105}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d.other_constraints(c.keep), c.expected);
}

TEST(ConflictConstraintDependency, DependenciesAloneDoNotListAConstraint) {
    conflict_constraint_dependency d(FIRST);
    d.mark_used(FIRST, 1);
    d.mark_dependency(FIRST, FIRST + 3);
    EXPECT_EQ(d.active_constraints(0), list{FIRST});
    EXPECT_EQ(d.other_constraints({}), list{FIRST});
    // Marking an earlier constraint used keeps the later one's prerequisites.
    d.mark_used(FIRST + 1, 2);
    EXPECT_EQ(d.prerequisites(FIRST + 3), list{FIRST});
    d.mark_used(FIRST + 3, 4);
    EXPECT_EQ(d.active_constraints(0), (list{100, 101, 102, 103}));
    EXPECT_EQ(d.prerequisites(FIRST + 3), list{FIRST});
}

TEST(ConflictConstraintDependency, ModelConstraintsAreNotRecorded) {
    conflict_constraint_dependency d(FIRST);
    d.mark_used(FIRST - 1, 4);
    d.mark_dependency(FIRST + 1, FIRST - 1);
    d.erase_constraint(FIRST - 1);
    EXPECT_EQ(d.active_constraints(0), list{});
    EXPECT_EQ(d.prerequisites(FIRST - 1), list{});
    EXPECT_FALSE(d.erased(FIRST - 1));
}

TEST(ConflictConstraintDependency, PrerequisitesKeepMarkingOrderAndRepetitions) {
    conflict_constraint_dependency d(FIRST);
    derive(d, {{FIRST + 3, {102, 100, 102, 101}}});
    EXPECT_EQ(d.prerequisites(FIRST + 3), (list{102, 100, 102, 101}));
    EXPECT_EQ(d.prerequisites(FIRST + 2), list{});
}

TEST(ConflictConstraintDependency, ErasingTwiceLeavesErasedAndEmpty) {
    conflict_constraint_dependency d(FIRST);
    derive(d, {{FIRST + 2, {100, 101}}});
    d.mark_used(FIRST + 2, 6);
    for (int round = 0; round < 2; ++round) {
        d.erase_constraint(FIRST + 2);
        EXPECT_TRUE(d.erased(FIRST + 2));
        EXPECT_EQ(d.last_use(FIRST + 2), ERASED);
        EXPECT_TRUE(d.prerequisites(FIRST + 2).empty());
        EXPECT_EQ(d.prerequisites(FIRST + 2).capacity(), 0u);
    }
    EXPECT_EQ(d.active_constraints(0), (list{100, 101}));
}

TEST(ConflictConstraintDependency, ErasingAnUnrecordedConstraint) {
    conflict_constraint_dependency d(FIRST);
    d.erase_constraint(FIRST + 2);
    EXPECT_TRUE(d.erased(FIRST + 2));
    EXPECT_EQ(d.active_constraints(0), (list{100, 101}));
}

TEST(ConflictConstraintDependency, CompactingTrimsCapacityAndKeepsContents) {
    conflict_constraint_dependency d(FIRST);
    derive(d, {{FIRST + 3, {100, 101, 102}}});
    ASSERT_GT(d.prerequisites(FIRST + 3).capacity(), 3u);
    d.compact_prerequisites(FIRST + 3);
    EXPECT_EQ(d.prerequisites(FIRST + 3), (list{100, 101, 102}));
    EXPECT_EQ(d.prerequisites(FIRST + 3).capacity(), 3u);
    // Nothing recorded: nothing to do.
    d.compact_prerequisites(FIRST + 9);
    d.compact_prerequisites(FIRST - 1);
    EXPECT_TRUE(d.prerequisites(FIRST + 9).empty());
}

TEST(ConflictConstraintDependency, ClosureIsDepthFirstWithoutRootsOrRepeats) {
    conflict_constraint_dependency d(FIRST);
    // 104 <- 103, 101, 103;  103 <- 102, 101;  102 <- 100;  101 <- 100.
    derive(d, {{104, {103, 101, 103}}, {103, {102, 101}}, {102, {100}}, {101, {100}}});
    for (unsigned c = FIRST; c <= FIRST + 4; ++c)
        d.mark_used(c, 1);

    const struct {
        list roots;
        list expected;
    } cases[] = {
        {{104}, {103, 102, 100, 101}},
        {{101}, {100}},
        {{100}, {}},
        // A root reached from a later root is listed then.
        {{102, 104}, {100, 103, 102, 101}},
        {{104, 103}, {103, 102, 100, 101}},
        // Model constraints and unrecorded ones have no prerequisites.
        {{5, 200}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d.prerequisite_closure(c.roots), c.expected);
}

TEST(ConflictConstraintDependency, ErasedPrerequisiteStopsTheWalk) {
    conflict_constraint_dependency d(FIRST);
    // 104 <- 102, 103;  103 <- 101;  102 <- 100 (the only way to 100).
    derive(d, {{104, {102, 103}}, {103, {101}}, {102, {100}}});
    for (unsigned c = FIRST; c <= FIRST + 4; ++c)
        d.mark_used(c, 1);
    ASSERT_EQ(d.prerequisite_closure({104}), (list{102, 100, 103, 101}));

    d.erase_constraint(FIRST + 2);
    EXPECT_EQ(d.prerequisite_closure({104}), (list{103, 101}));
    // The erased constraint is remembered as seen, but not listed.
    conflict_constraint_dependency::seen_set seen;
    list out;
    d.add_prerequisites(out, seen, FIRST + 4);
    EXPECT_EQ(out, (list{103, 101}));
    EXPECT_EQ(seen, (conflict_constraint_dependency::seen_set{101, 102, 103}));
    // Nothing is walked from an erased root.
    EXPECT_EQ(d.prerequisite_closure({102}), list{});
}

TEST(ConflictConstraintDependency, SeenSetCarriesAcrossCalls) {
    conflict_constraint_dependency d(FIRST);
    derive(d, {{103, {101}}, {102, {101, 100}}, {101, {100}}});
    conflict_constraint_dependency::seen_set seen{100};
    list out{7};
    d.add_prerequisites(out, seen, FIRST + 3);
    d.add_prerequisites(out, seen, FIRST + 2);
    EXPECT_EQ(out, (list{7, 101}));
}

TEST(ConflictConstraintDependency, LongChainIsWalkedCompletely) {
    conflict_constraint_dependency d(0);
    const unsigned n = 200000;
    for (unsigned c = 1; c < n; ++c)
        d.mark_dependency(c - 1, c);
    const list closure = d.prerequisite_closure({n - 1});
    ASSERT_EQ(closure.size(), n - 1);
    EXPECT_EQ(closure.front(), n - 2);
    EXPECT_EQ(closure.back(), 0u);
}

// Long runs of marking, erasing and reviving, as erasure passes do them: the
// walks list exactly what a plain scan of every recorded constraint would,
// in increasing order, however many erased ones the list has dropped.
TEST(ConflictConstraintDependency, WalksAgreeWithAPlainScanUnderChurn) {
    const unsigned first = 5;
    conflict_constraint_dependency d(first);
    std::vector<unsigned> use; // reference last use per position
    std::mt19937 gen(11);
    for (unsigned step = 1; step <= 20000; ++step) {
        const unsigned op = gen() % 10;
        if (op < 4) { // a new learned constraint
            d.mark_used(first + static_cast<unsigned>(use.size()), step);
            use.push_back(step);
        } else if (!use.empty()) {
            const unsigned pos = static_cast<unsigned>(gen() % use.size());
            if (op < 8) {
                d.erase_constraint(first + pos);
                use[pos] = conflict_constraint_dependency::ERASED;
            } else {
                d.mark_used(first + pos, step); // revives an erased one
                use[pos] = step;
            }
        }
        if (step % 97 != 0)
            continue;
        const unsigned since = step > 50 ? step - 50 : 0;
        std::vector<unsigned> active, others, keep;
        for (unsigned pos = 0; pos < use.size(); ++pos) {
            if (use[pos] == conflict_constraint_dependency::ERASED)
                continue;
            if (use[pos] >= since)
                active.push_back(first + pos);
            if (pos % 3 == 0)
                keep.push_back(first + pos);
            else
                others.push_back(first + pos);
        }
        ASSERT_EQ(d.active_constraints(since), active) << "step " << step;
        ASSERT_EQ(d.other_constraints(keep), others) << "step " << step;
    }
}

}  // namespace conflict_constraint_dependency_test
