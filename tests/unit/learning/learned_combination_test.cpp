// Combination of a learned constraint with a reason: the numbering of the
// clause way, refusal, and the fallback that keeps the learned constraint
// when a combination turns out imprecise.
#include <gtest/gtest.h>

#include <functional>

#include "impl/engine/solver.h"
#include "impl/learning/learned_type.h"
#include "impl/propagators/clause_propagator.h"

namespace learned_combination_test {

using namespace qarn;
using range = std::pair<int, int>;

// A reason that combines with clauses as the test scripts it.
struct scripted_reason : constraint_propagator {
    bool accept = true;
    std::vector<unsigned> answer;       // out parameters, in the reason's numbering
    mutable std::vector<unsigned> seen_map;
    mutable unsigned seen_pivot = 0;
    std::function<bool(const constraint_runtime_info&)> combined_conflicts;

    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<scripted_reason>(*this);
    }
    bool may_combine(const constraint_propagator&) const override { return accept; }
    std::unique_ptr<constraint_propagator> combine(const constraint_runtime_info&,
                                                   const constraint_propagator&,
                                                   const constraint_runtime_info&,
                                                   const std::vector<unsigned>& map, unsigned pivot,
                                                   std::vector<unsigned>& out) const override;
};

// What the scripted combination returns: conflicts as the test says.
struct scripted_result : constraint_propagator {
    std::function<bool(const constraint_runtime_info&)> answer;
    result_type propagate(constraint_runtime_info&) override { return CONSISTENT; }
    bool conflicts(const constraint_runtime_info& ri) const override { return answer(ri); }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<scripted_result>(*this);
    }
};

std::unique_ptr<constraint_propagator> scripted_reason::combine(
    const constraint_runtime_info&, const constraint_propagator&, const constraint_runtime_info&,
    const std::vector<unsigned>& map, unsigned pivot, std::vector<unsigned>& out) const {
    seen_map = map;
    seen_pivot = pivot;
    out = answer;
    auto result = std::make_unique<scripted_result>();
    result->answer = combined_conflicts;
    return result;
}

// Seven variables over 0..3; a level with changes on all of them.
struct trail {
    solver s;
    trail() {
        for (int v = 0; v < 7; ++v)
            s.add_var(iset(range(0, 3)), nullptr, false);
        s.m_solving = true;
        s.assignment().open_level(0);
        for (unsigned v = 0; v < 7; ++v)
            s.set_var_domain(v, iset(range(0, 2)), -1);
    }
};

TEST(LearnedCombination, ClauseWayRenumbersOutParameters) {
    trail t;
    // The learned clause has nodes on variables 0, 1, 2 (L = 3).
    learned_type learned(t.s.assignment(), t.s);
    for (unsigned v = 0; v < 3; ++v)
        learned.insert_literal(iset(3), v, v);
    // The reason has parameters on variables 5, 2, 6, 0 (R = 4); the pivot is
    // its parameter 1, variable 2.
    constraint_connectivity_info record(&t.s, 0);
    record << 5 << 2 << 6 << 0;
    scripted_reason reason;
    reason.answer = {5, 0, 3};
    reason.combined_conflicts = [](const constraint_runtime_info&) { return true; };
    std::vector<unsigned> out;
    auto combined = learned.combine_as_clause(reason, record, 1, 6, out);
    ASSERT_NE(combined, nullptr);
    EXPECT_EQ(out, (std::vector<unsigned>{1, 3, 6}));
    // Node 0 (variable 0) is the reason's 3, node 2 (variable 2) its 1.
    EXPECT_EQ(reason.seen_map, (std::vector<unsigned>{3, 5, 1}));
    EXPECT_EQ(reason.seen_pivot, 2u);
    // The literals came back untouched.
    ASSERT_EQ(learned.literals().size(), 3u);
    EXPECT_TRUE(iset::same_elements(learned.literals()[1], iset(3)));
}

TEST(LearnedCombination, RefusalsFallBackWithoutChanges) {
    trail t;
    learned_type learned(t.s.assignment(), t.s);
    learned.insert_literal(iset(3), 0, 0);
    learned.insert_literal(iset(3), 1, 1);
    constraint_connectivity_info record(&t.s, 0);
    record << 0 << 1;
    scripted_reason reason;
    reason.accept = false;
    EXPECT_FALSE(learned.combine(reason, record, 0, 6));
    EXPECT_TRUE(learned.is_clause());
    // A combination that does not conflict where the reason propagated is dropped.
    reason.accept = true;
    reason.answer = {0, 1};
    reason.combined_conflicts = [](const constraint_runtime_info&) { return false; };
    EXPECT_FALSE(learned.combine(reason, record, 0, 6));
    EXPECT_TRUE(learned.is_clause());
    EXPECT_EQ(learned.nodes().size(), 2u);

    std::vector<unsigned> map;
    constraint_connectivity_info empty(&t.s, 1);
    EXPECT_EQ(learned.get_this_on_right_common_param(empty, 0, map), NO_NODE);
    EXPECT_EQ(map, (std::vector<unsigned>{0, 1}));
}

TEST(LearnedCombination, ImpreciseCombinationKeepsTheLearnedConstraint) {
    trail t;
    learned_type learned(t.s.assignment(), t.s);
    learned.insert_literal(iset(3), 0, 0);
    learned.insert_literal(iset(3), 1, 1);
    learned.insert_literal(iset(3), 2, 2);
    const auto nodes_before = learned.nodes();
    constraint_connectivity_info record(&t.s, 0);
    record << 0 << 1;
    scripted_reason reason;
    reason.answer = {0, 1};
    // Conflicts on the reason's domains (an explicit view), not on the nodes.
    reason.combined_conflicts = [](const constraint_runtime_info& ri) {
        return dynamic_cast<const learned_type::info_type*>(&ri) == nullptr;
    };
    EXPECT_FALSE(learned.combine(reason, record, 0, 6));
    EXPECT_TRUE(learned.is_clause());
    ASSERT_EQ(learned.nodes().size(), nodes_before.size());
    for (unsigned k = 0; k < nodes_before.size(); ++k) {
        EXPECT_EQ(learned.nodes()[k].m_variable, nodes_before[k].m_variable);
        EXPECT_EQ(learned.nodes()[k].m_modification, nodes_before[k].m_modification);
        EXPECT_EQ(learned.node_of(nodes_before[k].m_variable), k);
    }
    ASSERT_EQ(learned.literals().size(), 3u);
    EXPECT_NO_THROW(learned.validate());

    // A precise one replaces it.
    reason.combined_conflicts = [](const constraint_runtime_info&) { return true; };
    EXPECT_TRUE(learned.combine(reason, record, 0, 6));
    EXPECT_FALSE(learned.is_clause());
    EXPECT_EQ(learned.nodes().size(), 2u);
}

}  // namespace learned_combination_test
