// Relation analysis: the binary forms recognised, and what a constraint
// over a relation posts.
#include "frontends/xcsp/xcsp_callbacks.h"

#include <gtest/gtest.h>

#include <vector>

namespace relation_analysis_test {

typedef xcsp_callbacks::relation_info_type relation;

qarn::table_propagator_base::memory_manager& tables() {
    static qarn::table_propagator_base::memory_manager manager;
    return manager;
}

relation make(bool conflicts, std::vector<std::vector<int>> tuples) {
    relation r;
    r.m_name = "R";
    r.m_arity = static_cast<std::uint32_t>(tuples.empty() ? 2 : tuples[0].size());
    r.m_conflicts = conflicts;
    r.m_tuples = std::move(tuples);
    r.build(tables());
    return r;
}

TEST(RelationAnalysis, BinaryFormsAreRecognised) {
    const struct {
        bool conflicts;
        std::vector<std::vector<int>> tuples;
        unsigned kind;
    } rows[] = {
        {true, {{1, 1}, {2, 2}, {3, 3}}, relation::DIFFERENT},
        {false, {{1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}}, relation::DIFFERENT},
        {false, {{1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}}, relation::IMPLIES_DIFFERENT},
        {true, {{1, 2}, {2, 1}}, relation::EQUAL},
        {false, {{1, 1}, {2, 2}}, relation::EQUAL},
        {false, {{1, 2}, {1, 3}, {2, 3}}, relation::IMPLIES_DIFFERENT},
        {true, {{1, 1}, {1, 2}, {2, 2}}, relation::IMPLIES_DIFFERENT},
        {true, {{1, 2}, {2, 2}}, relation::GENERAL},
        {false, {{1, 2}, {1, 2}, {2, 1}}, relation::DIFFERENT},
        {false, {{1, 1, 2}, {2, 2, 1}}, relation::GENERAL},
        {false, {}, relation::GENERAL},
    };
    for (const auto& row : rows)
        EXPECT_EQ(make(row.conflicts, row.tuples).m_kind, row.kind)
            << row.conflicts << " " << row.tuples.size();
}

TEST(RelationAnalysis, RepeatedTuplesCountOnce) {
    const relation r = make(true, {{3, 4}, {1, 2}, {3, 4}, {1, 2}});
    EXPECT_EQ(r.m_tuples, (std::vector<std::vector<int>>{{1, 2}, {3, 4}}));
}

class posting : public testing::Test {
protected:
    qarn::solver s;
    xcsp_callbacks callbacks{s, tables(), true};

    unsigned var(int lo, int hi) { return s.add_var(qarn::iset(lo, hi), nullptr, false); }
};

TEST_F(posting, ConflictDifferenceNeedsItsPrecondition) {
    const relation r = make(true, {{1, 1}, {2, 2}, {3, 3}});
    const unsigned x = var(1, 3), y = var(1, 3), z = var(1, 4);
    r.instantiate(callbacks, {x, y});
    const std::size_t difference = s.constraints().size();
    EXPECT_LE(difference, 1u);
    EXPECT_TRUE(callbacks.builder().are_ne(x, y));
    r.instantiate(callbacks, {y, z});
    EXPECT_EQ(s.constraints().size(), difference + 3); // one clause per forbidden pair
    EXPECT_FALSE(callbacks.builder().are_ne(y, z));
}

TEST_F(posting, SupportDifferenceKeepsTheColumnValues) {
    const relation r = make(false, {{1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}});
    const unsigned x = var(0, 9), y = var(2, 5);
    r.instantiate(callbacks, {x, y});
    EXPECT_TRUE(callbacks.builder().are_ne(x, y));
    EXPECT_EQ(s.domain(x).min(), 1);
    EXPECT_EQ(s.domain(x).max(), 3);
    EXPECT_EQ(s.domain(y).min(), 2);
    EXPECT_EQ(s.domain(y).max(), 3);
}

TEST_F(posting, SupportTablesAreClonedPerConstraint) {
    const relation r = make(false, {{1, 2, 3}, {2, 3, 1}});
    const unsigned a = var(0, 3), b = var(0, 3), c = var(0, 3);
    r.instantiate(callbacks, {a, b, c});
    r.instantiate(callbacks, {c, b, a});
    EXPECT_EQ(s.constraints().size(), 2u);
    EXPECT_TRUE(r.m_tuples.empty());
}

}  // namespace relation_analysis_test
