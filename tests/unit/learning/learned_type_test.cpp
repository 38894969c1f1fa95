// The learned constraint on one hand-built trail: node and level bookkeeping
// through the literal operations, asserting levels of clauses and of general
// constraints, relaxation, ground intersection, conversions and validation.
//
// The trail (entries by index; values within 0..9):
//   level 0: 0 x := 0..8
//   level 1: 1 y := 0..4 (decision)   2 z := 0..6
//   level 2: 3 x := 0..3 (decision)   4 z := 0..2   5 w := 5..9
// v (variable 4) is never changed.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "impl/engine/constraint_connectivity_info.h"
#include "impl/engine/solver.h"
#include "impl/learning/learned_type.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/propagators/equal_propagator.h"
#include "tests/unit/test_helpers.h"

namespace learned_type_test {

using qarn_test::same;
using qarn_test::error_of;

using namespace qarn;

enum : unsigned { X, Y, Z, W, V };

// Parameter 1 must keep at least `needed` values, else propagation fails;
// slot 12 answers the scripted sets.
class scripted_propagator : public constraint_propagator {
public:
    scripted_propagator(std::vector<iset> crippling, unsigned needed)
        : m_crippling(std::move(crippling)), m_needed(needed) {}

    result_type propagate(constraint_runtime_info& ri) override {
        return ri.domain(1).size() < m_needed ? UNSAT : CONSISTENT;
    }
    bool conflicts(const constraint_runtime_info&) const override { return false; }
    bool constraint_check(const constraint_runtime_info&) const override { return true; }
    std::unique_ptr<constraint_propagator> clone() const override {
        return std::make_unique<scripted_propagator>(*this);
    }
    void possibly_crippling_values(unsigned, const iset&, const constraint_runtime_info&,
                                   std::vector<iset>& out) const override {
        out = m_crippling;
    }

private:
    std::vector<iset> m_crippling;
    unsigned m_needed;
};

struct trail : ::testing::Test {
    solver s;

    trail() {
        for (const char* name : {"x", "y", "z", "w", "v"})
            s.add_var(iset(0, 9), name, false);
        s.m_solving = true;
        s.set_var_domain(X, iset(0, 8), 7);
        s.assignment().open_level(Y);
        s.set_var_domain(Y, iset(0, 4), -1);
        s.set_var_domain(Z, iset(0, 6), 0);
        s.assignment().open_level(X);
        s.set_var_domain(X, iset(0, 3), -1);
        s.set_var_domain(Z, iset(0, 2), 0);
        s.set_var_domain(W, iset(5, 9), 1);
        // No relaxation unless a test asks for it.
        s.m_literal_relaxation = 0;
        s.m_relax_cause = false;
    }

    const assignment_stack& stack() const { return s.assignment(); }

    struct literal {
        unsigned variable;
        iset values;
        unsigned entry;
    };
    // A clause built by insert_literal on a fresh object.
    std::unique_ptr<learned_type> clause(const std::vector<literal>& literals) {
        auto l = std::make_unique<learned_type>(stack(), s);
        for (const literal& lit : literals)
            l->insert_literal(lit.values, lit.variable, lit.entry);
        return l;
    }

    static std::vector<unsigned> entries(const learned_type& l) {
        std::vector<unsigned> out;
        for (const auto& node : l.nodes())
            out.push_back(node.m_modification);
        return out;
    }
    static std::vector<unsigned> variables(const learned_type& l) {
        std::vector<unsigned> out;
        for (const auto& node : l.nodes())
            out.push_back(node.m_variable);
        return out;
    }
};

TEST_F(trail, EmptyObjectHasNoAssertingLevel) {
    learned_type l(stack(), s);
    EXPECT_EQ(l.current_level(), 2u);
    EXPECT_EQ(l.nodes_at_current_level(), 0u);
    EXPECT_EQ(l.asserting_level(), NO_LEVEL);
    EXPECT_EQ(l.opportunistic_level(), NO_LEVEL);
    EXPECT_TRUE(l.conflicts());
    EXPECT_TRUE(l.explanation_conflicts());
    EXPECT_NO_THROW(l.validate());
}

TEST_F(trail, InsertLiteralKeepsTheLaterEntryAndTheCount) {
    learned_type l(stack(), s);
    struct step {
        unsigned variable;
        iset values;
        unsigned entry;
        std::vector<unsigned> entries; // afterwards
        unsigned count;                // nodes at level 2 afterwards
    };
    const std::vector<step> steps = {
        {Z, iset(3, 9), 4, {4}, 1},
        {Y, iset(5, 9), 1, {4, 1}, 1},
        {Y, iset(0), NO_ENTRY, {4, 1}, 1}, // no entry never replaces a real one
        {Y, iset(1), 3, {4, 3}, 2},        // a later entry moves the node up
        {Z, iset(), 2, {4, 3}, 2},         // an earlier one does not
        {V, iset(2), NO_ENTRY, {4, 3, NO_ENTRY}, 2},
        {V, iset(3), 0, {4, 3, 0}, 2}, // any real entry is later than none
    };
    for (const step& st : steps) {
        l.insert_literal(st.values, st.variable, st.entry);
        EXPECT_EQ(entries(l), st.entries);
        EXPECT_EQ(l.nodes_at_current_level(), st.count);
    }
    EXPECT_EQ(variables(l), (std::vector<unsigned>{Z, Y, V}));
    EXPECT_TRUE(same(l.literals()[0], iset(3, 9)));
    iset y_values(5, 9);
    y_values.insert(iset::range_type(0, 1));
    EXPECT_TRUE(same(l.literals()[1], y_values));
    EXPECT_TRUE(same(l.literals()[2], iset(2, 3)));
    EXPECT_EQ(l.node_of(Y), 1u);
    EXPECT_EQ(l.node_of(X), NO_NODE);
    EXPECT_NO_THROW(l.validate());
}

TEST_F(trail, IntersectLiteral) {
    // Missing variable: nothing.
    auto l = clause({{Z, iset(3, 9), 4}, {Y, iset(5, 9), 1}, {W, iset(0, 4), 5}});
    EXPECT_FALSE(l->intersect_literal(iset(0, 9), X, 5));
    EXPECT_EQ(l->nodes().size(), 3u);

    // The given entry is taken even when it is earlier.
    EXPECT_EQ(l->nodes_at_current_level(), 2u);
    EXPECT_TRUE(l->intersect_literal(iset(3, 5), Z, 2));
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{2, 1, 5}));
    EXPECT_TRUE(same(l->literals()[0], iset(3, 5)));
    EXPECT_EQ(l->nodes_at_current_level(), 1u);

    // Emptying removes the node; the last takes its place.
    EXPECT_FALSE(l->intersect_literal(iset(7, 9), Z, 5));
    EXPECT_EQ(variables(*l), (std::vector<unsigned>{W, Y}));
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{5, 1}));
    EXPECT_TRUE(same(l->literals()[0], iset(0, 4)));
    EXPECT_EQ(l->node_of(Z), NO_NODE);
    EXPECT_EQ(l->node_of(W), 0u);
    EXPECT_EQ(l->nodes_at_current_level(), 1u);
    EXPECT_NO_THROW(l->validate());

    // Erasing the last node only drops it; the count follows.
    l->erase_literal(0);
    l->erase_literal(0);
    EXPECT_TRUE(l->nodes().empty());
    EXPECT_EQ(l->nodes_at_current_level(), 0u);
    EXPECT_EQ(l->node_of(Y), NO_NODE);
}

TEST_F(trail, LevelBookkeepingThroughAScript) {
    auto l = clause({{Y, iset(5, 9), 1}, {V, iset(1), NO_ENTRY}});
    // Inserted while the level was 2: nothing there.
    EXPECT_EQ(l->nodes_at_current_level(), 0u);
    struct step {
        std::function<void(learned_type&)> act;
        unsigned level;
        unsigned count;
    };
    const std::vector<step> steps = {
        {[](learned_type& x) { x.compute_level(); }, 1, 1},
        {[](learned_type& x) { x.insert_literal(iset(3, 9), Z, 2); }, 1, 2},
        {[](learned_type& x) { x.insert_literal(iset(0), X, 0); }, 1, 2},
        {[](learned_type& x) { x.insert_literal(iset(0, 4), W, 5); }, 1, 3},
        {[](learned_type& x) { x.compute_level(); }, 2, 1},
        {[](learned_type& x) { x.intersect_literal(iset(0, 4), W, 2); }, 2, 0},
        {[](learned_type& x) { x.compute_level(); }, 1, 3},
        {[](learned_type& x) { x.erase_literal(x.node_of(Y)); }, 1, 2},
        {[](learned_type& x) { x.intersect_literal(iset(1), V, NO_ENTRY); }, 1, 2},
        {[](learned_type& x) { x.intersect_literal(iset(9), Z, 2); }, 1, 2},
        {[](learned_type& x) { x.intersect_literal(iset(9), Z, NO_ENTRY); }, 1, 1},
        {[](learned_type& x) { x.intersect_literal(iset(0), W, 0); }, 1, 0},
        {[](learned_type& x) { x.compute_level(); }, 0, 4},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].act(*l);
        EXPECT_EQ(l->current_level(), steps[i].level) << "step " << i;
        EXPECT_EQ(l->nodes_at_current_level(), steps[i].count) << "step " << i;
        EXPECT_NO_THROW(l->validate());
    }
}

TEST_F(trail, LatestNodeFollowsEveryLiteralOperation) {
    // Queried after every step, so later steps meet pairs left behind by
    // moved and removed nodes.
    learned_type l(stack(), s);
    struct step {
        std::function<void(learned_type&)> act;
        unsigned latest;
        unsigned second; // latest_node_index(latest)
    };
    const std::vector<step> steps = {
        {[](learned_type& x) { x.insert_literal(iset(5, 9), Y, 1); }, 0, NO_NODE},
        {[](learned_type& x) { x.insert_literal(iset(3, 9), Z, 2); }, 1, 0},
        {[](learned_type& x) { x.insert_literal(iset(1), V, NO_ENTRY); }, 1, 0},
        {[](learned_type& x) { x.insert_literal(iset(0, 4), W, 5); }, 3, 1},
        {[](learned_type& x) { x.insert_literal(iset(0), Z, 4); }, 3, 1},
        {[](learned_type& x) { x.erase_literal(3); }, 1, 0},
        {[](learned_type& x) { x.intersect_literal(iset(9), Z, 2); }, 1, 0}, // back to earlier
        {[](learned_type& x) { x.insert_literal(iset(0), X, 3); }, 3, 1},
        {[](learned_type& x) { x.intersect_literal(iset(5), X, 3); }, 1, 0}, // emptied
        {[](learned_type& x) { x.erase_literal(x.node_of(Y)); }, 1, 0},     // V moves to 0
        {[](learned_type& x) { x.intersect_literal(iset(9), Z, NO_ENTRY); }, 0, 1},
        {[](learned_type& x) { x.insert_literal(iset(1), X, 0); }, 2, 0},
        {[](learned_type& x) { x.clear(); }, NO_NODE, NO_NODE},
        {[](learned_type& x) { x.insert_literal(iset(1), X, 3); }, 0, NO_NODE},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].act(l);
        const unsigned latest = l.latest_node_index(NO_NODE);
        EXPECT_EQ(latest, steps[i].latest) << "step " << i;
        if (latest != NO_NODE) {
            EXPECT_EQ(l.latest_node_index(latest), steps[i].second) << "step " << i;
        }
    }
}

TEST_F(trail, ClauseAssertingLevelIsTheStacks) {
    struct row {
        std::vector<literal> literals;
        unsigned expected;
    };
    const std::vector<row> rows = {
        // z was already false after entry 2: level 1.
        {{{Y, iset(5, 9), 1}, {Z, iset(7, 9), 4}, {W, iset(0, 4), 5}}, 1},
        // x became false only at entry 3: level 2.
        {{{X, iset(4, 9), 3}, {Y, iset(5, 9), 1}, {W, iset(0, 4), 5}}, 2},
        // x false since level 0.
        {{{X, iset(9), 3}, {W, iset(0, 4), 5}}, 0},
        {{{W, iset(0, 4), 5}}, 0},
    };
    for (const row& r : rows) {
        auto l = clause(r.literals);
        const unsigned n = static_cast<unsigned>(l->nodes().size());
        EXPECT_EQ(l->asserting_level(), r.expected);
        EXPECT_EQ(l->asserting_level(),
                  stack().asserting_level_of_nth(n - 1, l->nodes(), l->literals()));
        EXPECT_EQ(l->opportunistic_level(),
                  stack().asserting_level_of_nth(n - 2, l->nodes(), l->literals()));
    }
}

TEST_F(trail, GeneralAssertingLevelIsTriedDownwards) {
    // The sets give level 2 (x false at entry 3, y at entry 1, w latest).
    const std::vector<iset> sets = {iset(4, 9), iset(5, 9), iset(0, 4)};
    struct row {
        unsigned needed; // values y must keep for the propagation to succeed
        unsigned expected;
    };
    // y has 5 values before level 2 and 10 before level 1.
    const std::vector<row> rows = {{0, 2}, {6, 1}, {11, 0}};
    for (const row& r : rows) {
        auto l = clause({{X, sets[0], 3}, {Y, sets[1], 1}, {W, sets[2], 5}});
        ASSERT_EQ(stack().asserting_level_of_nth(2, l->nodes(), sets), 2u);
        l->update_constraint(new scripted_propagator(sets, r.needed));
        EXPECT_FALSE(l->is_clause());
        EXPECT_TRUE(l->literals().empty());
        EXPECT_EQ(l->asserting_level(), r.expected) << "needed " << r.needed;
    }
}

TEST_F(trail, PossiblyCripplingValuesArePaddedWithEmptySets) {
    auto l = clause({{X, iset(4, 9), 3}, {Y, iset(5, 9), 1}, {W, iset(0, 4), 5}});
    EXPECT_EQ(l->possibly_crippling_values().size(), 3u); // a clause: its literals
    l->update_constraint(new scripted_propagator({iset(1, 2)}, 0));
    const std::vector<iset> sets = l->possibly_crippling_values();
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_TRUE(same(sets[0], iset(1, 2)));
    EXPECT_TRUE(sets[1].empty());
    EXPECT_TRUE(sets[2].empty());
}

TEST_F(trail, CompletionAtLevelZero) {
    struct row {
        bool ground;
        unsigned x_entry;
        bool complete;
        std::size_t nodes_left;
    };
    const std::vector<row> rows = {
        {true, NO_ENTRY, true, 0},
        {false, NO_ENTRY, true, 2},
        {true, 0, false, 2},
        {false, 0, false, 2},
    };
    for (const row& r : rows) {
        s.m_intersect_with_ground = r.ground;
        auto l = clause({{V, iset(1), NO_ENTRY}, {X, iset(9), r.x_entry}});
        l->compute_level();
        ASSERT_EQ(l->current_level(), 0u);
        EXPECT_EQ(l->conflict_analysis_complete(), r.complete);
        EXPECT_EQ(l->nodes().size(), r.nodes_left);
        EXPECT_EQ(l->literals().size(), r.nodes_left);
    }
    // Above level 0: complete exactly with one node at the level.
    auto l = clause({{Y, iset(5, 9), 1}, {W, iset(0, 4), 5}});
    EXPECT_TRUE(l->conflict_analysis_complete());
    l->insert_literal(iset(4, 9), X, 3);
    EXPECT_FALSE(l->conflict_analysis_complete());
}

TEST_F(trail, IntersectWithGroundKeepsTheOrder) {
    // Level-0 domains: x 0..8, the others 0..9.
    auto l = clause({{Y, iset(5, 12), 1}, {X, iset(9), 3}, {Z, iset(7, 9), 4}, {W, iset(0, 20), 5}});
    l->intersect_with_ground();
    EXPECT_EQ(variables(*l), (std::vector<unsigned>{Y, Z, W}));
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{1, 4, 5}));
    EXPECT_TRUE(same(l->literals()[0], iset(5, 9)));
    EXPECT_TRUE(same(l->literals()[2], iset(0, 9)));
    EXPECT_EQ(l->node_of(X), NO_NODE);
    EXPECT_NO_THROW(l->validate());
}

TEST_F(trail, GroundIntersectionOfAGeneralConstraint) {
    auto l = clause({{Y, iset(5, 12), 1}, {X, iset(9), 3}, {Z, iset(7, 9), 4}});
    l->convert_to_constraint();
    l->intersect_with_ground();
    ASSERT_FALSE(l->is_clause());
    const auto* replaced = dynamic_cast<const clause_propagator*>(l->general_constraint());
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(l->owned_constraint(), l->general_constraint());
    EXPECT_EQ(replaced->literals().size(), 2u);
    EXPECT_EQ(variables(*l), (std::vector<unsigned>{Y, Z}));
    EXPECT_TRUE(l->literals().empty());
    EXPECT_FALSE(l->explained());
    EXPECT_NO_THROW(l->validate());
}

TEST_F(trail, GroundIntersectionToNoParameterDropsEveryNode) {
    // Every literal lies outside its level-0 domain: the empty clause, which
    // must not keep the old nodes as its parameters.
    auto l = clause({{Y, iset(20, 25), 1}, {X, iset(9), 3}});
    l->convert_to_constraint();
    l->intersect_with_ground();
    const auto* replaced = dynamic_cast<const clause_propagator*>(l->general_constraint());
    ASSERT_NE(replaced, nullptr);
    EXPECT_TRUE(replaced->literals().empty());
    EXPECT_TRUE(l->nodes().empty());
    EXPECT_EQ(l->node_of(X), NO_NODE);
    EXPECT_EQ(l->node_of(Y), NO_NODE);
}

TEST_F(trail, RelaxAllOnAClause) {
    // z relaxes to entry 2 (level 1); w and y stay.
    auto l = clause({{Z, iset(7, 9), 4}, {W, iset(0, 4), 5}, {Y, iset(5, 9), 1}});
    EXPECT_TRUE(l->relax_all());
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{2, 5, 1}));
    EXPECT_EQ(l->current_level(), 2u);
    EXPECT_EQ(l->nodes_at_current_level(), 1u);
    EXPECT_FALSE(l->relax_all());

    // Without w the level drops to 1, where both nodes lie.
    auto m = clause({{Z, iset(7, 9), 4}, {Y, iset(5, 9), 1}});
    EXPECT_TRUE(m->relax_all());
    EXPECT_EQ(entries(*m), (std::vector<unsigned>{2, 1}));
    EXPECT_EQ(m->current_level(), 1u);
    EXPECT_EQ(m->nodes_at_current_level(), 2u);

    // No node at the level: nothing.
    auto n = clause({{Y, iset(5, 9), 1}});
    EXPECT_FALSE(n->relax_all());
}

TEST_F(trail, RelaxLevelStopsBelowTheLevel) {
    auto l = clause({{Z, iset(7, 9), 4}, {W, iset(0, 4), 5}, {Y, iset(5, 9), 1}});
    EXPECT_FALSE(l->relax_level(2, l->literals()[2])); // not at the level
    EXPECT_FALSE(l->relax_level(1, l->literals()[1])); // true before entry 5
    EXPECT_TRUE(l->relax_level(0, l->literals()[0]));  // the entry before level 2
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{2, 5, 1}));
    EXPECT_EQ(l->nodes_at_current_level(), 1u);
}

TEST_F(trail, RelaxCauseOnAClause) {
    // z (entry 4) relaxes to 2, then x (entry 3) to 0; then z is latest again
    // and does not move.
    auto l = clause({{Z, iset(7, 9), 4}, {Y, iset(5, 9), 1}, {X, iset(9), 3}});
    EXPECT_TRUE(l->relax_cause());
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{2, 1, 0}));
    EXPECT_EQ(l->current_level(), 1u);
    EXPECT_EQ(l->nodes_at_current_level(), 2u);

    // The latest node cannot move: nothing changes.
    auto m = clause({{W, iset(0, 4), 5}, {Z, iset(7, 9), 4}});
    EXPECT_FALSE(m->relax_cause());
    EXPECT_EQ(entries(*m), (std::vector<unsigned>{5, 4}));
}

TEST_F(trail, ConstructFromAConflictingConstraint) {
    constraint_connectivity_info& record = s.add_constraint(std::make_unique<equal_propagator>());
    record << X << Z;
    for (int i = 0; i < 6; ++i)
        record.count_conflict();
    const constraint_propagator& eq = *s.propagator(0);

    learned_type l(stack(), s);
    l.construct_from(record, eq, {iset(4, 9), iset(3, 9)}, AFTER_LAST_ENTRY);
    EXPECT_EQ(l.effort(), 2u); // six conflicts, boost after four
    EXPECT_EQ(l.general_constraint(), &eq);
    EXPECT_EQ(l.owned_constraint(), nullptr);
    EXPECT_EQ(entries(l), (std::vector<unsigned>{3, 4}));
    EXPECT_EQ(l.current_level(), 2u);
    EXPECT_EQ(l.nodes_at_current_level(), 2u);
    EXPECT_FALSE(l.conflicts()); // x 0..3 and z 0..2 meet
    EXPECT_NO_THROW(l.validate());

    // Anchored before entry 4: x at 3, z at 2.
    l.construct_from(record, eq, {iset(4, 9), iset(3, 9)}, 4);
    EXPECT_EQ(entries(l), (std::vector<unsigned>{3, 2}));
    EXPECT_EQ(l.nodes_at_current_level(), 1u);

    // An empty literal detaches its node from the trail; converting to a
    // clause then drops it.
    l.construct_from(record, eq, {iset(), iset(3, 9)}, AFTER_LAST_ENTRY);
    EXPECT_EQ(entries(l), (std::vector<unsigned>{NO_ENTRY, 4}));
    EXPECT_EQ(l.nodes_at_current_level(), 1u);
    l.convert_to_clause();
    EXPECT_TRUE(l.is_clause());
    EXPECT_EQ(variables(l), (std::vector<unsigned>{Z}));
    EXPECT_EQ(l.node_of(X), NO_NODE);
    EXPECT_NO_THROW(l.validate());

    // Without an explanation the constraint gives one. Here x does not take
    // part (empty set), so its node is detached afterwards, which makes the
    // explanation out of date.
    l.construct_from(record, eq, {}, AFTER_LAST_ENTRY);
    ASSERT_EQ(l.literals().size(), 2u);
    EXPECT_TRUE(l.literals()[0].empty());
    EXPECT_FALSE(l.literals()[1].empty());
    EXPECT_EQ(entries(l), (std::vector<unsigned>{NO_ENTRY, 4}));
    EXPECT_FALSE(l.explained());
}

TEST_F(trail, ClauseEvaluationAndPrinting) {
    struct row {
        std::vector<literal> literals;
        bool conflicts;
        std::string printed;
    };
    const std::vector<row> rows = {
        {{}, true, "[]"},
        {{{Y, iset(7), 1}, {Z, iset(8), 4}}, true, "[y=7, z=8]"},
        {{{Y, iset(7), 1}, {Z, iset(2), 4}}, false, "[y=7, z=2]"},
        // Each literal is read on its node's domain: y after entry 0 is 0..9.
        {{{Y, iset(7), 0}}, false, "[y=7]"},
    };
    for (const row& r : rows) {
        auto l = clause(r.literals);
        EXPECT_EQ(l->conflicts(), r.conflicts) << r.printed;
        EXPECT_EQ(l->explanation_conflicts(), r.conflicts) << r.printed;
        std::ostringstream os;
        l->print(os);
        EXPECT_EQ(os.str(), r.printed);
    }
}

TEST_F(trail, PotentiallyFalsifyingVariablesOfAClause) {
    // Level-0 domains: x 0..8, the others 0..9.
    auto l = clause({{X, iset(9), 3}, {Y, iset(5, 9), 1}, {W, iset(0, 4), 5}});
    std::vector<unsigned> vars = {V};
    l->add_vars_potentially_falsifying(vars);
    EXPECT_EQ(vars, (std::vector<unsigned>{V, Y, W}));
}

TEST_F(trail, ConversionToAConstraint) {
    auto l = clause({{Y, iset(5, 9), 1}, {Z, iset(7, 9), 4}});
    l->convert_to_constraint();
    ASSERT_FALSE(l->is_clause());
    const auto* made = dynamic_cast<const clause_propagator*>(l->general_constraint());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(l->owned_constraint(), l->general_constraint());
    ASSERT_EQ(made->literals().size(), 2u);
    EXPECT_TRUE(same(made->literals()[1], iset(7, 9)));
    ASSERT_EQ(l->literals().size(), 2u); // the learned literals stay
    EXPECT_FALSE(l->explained());
    EXPECT_EQ(error_of([&] { l->convert_to_constraint(); }),
              "convert_to_constraint(): already a constraint");

    // Back to a clause: the literals are those of the clause.
    l->convert_to_clause();
    EXPECT_TRUE(l->is_clause());
    EXPECT_EQ(l->owned_constraint(), nullptr);
    EXPECT_EQ(variables(*l), (std::vector<unsigned>{Y, Z}));
    EXPECT_EQ(l->current_level(), 2u);
    EXPECT_EQ(l->nodes_at_current_level(), 1u);
}

TEST_F(trail, ValidateMessages) {
    // All nodes on never-changed variables, so the construction ends at
    // level 0 without relaxation.
    struct row {
        std::vector<unsigned> variables;
        std::vector<iset> explanation;
        std::string message;
    };
    const std::vector<row> rows = {
        {{V, V}, {iset(1), iset(2)}, "validate(): inconsistent variable() and variable_to_pos()"},
        {{V, 5, 6}, {iset(1), iset(2), iset(3)},
         "validate(): num of constraint params and implication nodes mismatch"},
        {{V, 5}, {iset(1)}, "validate(): literals,implication_nodes diff size"},
        {{V, 5}, {iset(1), iset(2)}, "<no error>"},
    };
    s.add_var(iset(0, 9), "u", false);
    s.add_var(iset(0, 9), "t", false);
    const std::unique_ptr<constraint_propagator> eq = std::make_unique<equal_propagator>();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        constraint_connectivity_info record(&s, 0);
        for (unsigned v : rows[i].variables)
            record << v;
        learned_type l(stack(), s);
        l.construct_from(record, *eq, rows[i].explanation, AFTER_LAST_ENTRY);
        EXPECT_EQ(l.current_level(), 0u);
        EXPECT_EQ(error_of([&] { l.validate(); }), rows[i].message) << "row " << i;
    }
}

// The three relaxation modes on one clause: x's literal became false at level
// 1 already before x's latest change; y's only at level 2.
TEST(LearnedRelaxationModes, NoneWithinTheLevelOrComplete) {
    const struct {
        int mode;
        unsigned x_entry; // node x's entry after relax_if_required
    } rows[] = {{0, 1}, {1, 1}, {2, 0}};
    for (const auto& row : rows) {
        solver s;
        s.add_var(iset(std::pair<int, int>(0, 3)), "x", false);
        s.add_var(iset(std::pair<int, int>(0, 3)), "y", false);
        s.m_solving = true;
        s.m_literal_relaxation = row.mode;
        s.assignment().open_level(0);
        s.set_var_domain(0, iset(std::pair<int, int>(0, 2)), -1); // entry 0
        s.set_var_domain(0, iset(std::pair<int, int>(0, 1)), 3);  // entry 1
        s.assignment().open_level(1);
        s.set_var_domain(1, iset(0), -1);                         // entry 2
        learned_type learned(s.assignment(), s);
        learned.insert_literal(iset(3), 0, 1);
        learned.insert_literal(iset(std::pair<int, int>(1, 3)), 1, 2);
        EXPECT_EQ(learned.current_level(), 2u);
        learned.relax_if_required();
        EXPECT_EQ(learned.nodes()[learned.node_of(0)].m_modification, row.x_entry)
            << "mode " << row.mode;
        EXPECT_EQ(learned.nodes()[learned.node_of(1)].m_modification, 2u);
        EXPECT_EQ(learned.asserting_level(), 1u); // x is false since level 1 either way
    }
}

// ---------------------------------------------------------------------------
// General constraints on small hand-built trails.

// x <= y over parameters (x, y). The conflict explanation splits at
// c = (min x + max y) / 2: "x <= c or y > c", which holds for any c and is
// false on the view whenever min x > max y. Because c follows both domains,
// relaxing the nodes changes the explanation. Without narrowing the
// propagator only detects conflicts.
class leq_propagator : public constraint_propagator {
public:
    struct log {
        int clones = 0;
        std::vector<iset> falsifying_domains; // as seen by potentially_falsifying
    };

    leq_propagator(bool narrows, std::shared_ptr<log> lg, std::vector<bool> falsifying = {})
        : m_narrows(narrows), m_log(std::move(lg)), m_falsifying(std::move(falsifying)) {}

    unsigned count_params() const override { return 2; }
    result_type propagate(constraint_runtime_info& ri) override {
        const iset& x = ri.domain(0);
        const iset& y = ri.domain(1);
        if (x.min() > y.max())
            return UNSAT;
        if (!m_narrows)
            return CONSISTENT;
        iset nx(x);
        nx.intersect(iset(MIN_DOMAIN, y.max()));
        iset ny(y);
        ny.intersect(iset(x.min(), MAX_DOMAIN));
        ri.set_domain(0, nx);
        ri.set_domain(1, ny);
        return CONSISTENT;
    }
    bool conflicts(const constraint_runtime_info& ri) const override {
        return ri.domain(0).min() > ri.domain(1).max();
    }
    bool constraint_check(const constraint_runtime_info& ri) const override {
        return ri.domain(0).min() <= ri.domain(1).min();
    }
    void explain_propagation(unsigned, const iset&, const iset&, const constraint_runtime_info& ri,
                             std::vector<iset>& out) const override {
        const int c = (ri.domain(0).min() + ri.domain(1).max()) / 2;
        out = {iset(MIN_DOMAIN, c), iset(c + 1, MAX_DOMAIN)};
    }
    std::unique_ptr<constraint_propagator> clone() const override {
        ++m_log->clones;
        return std::make_unique<leq_propagator>(*this);
    }
    bool potentially_falsifying(const constraint_runtime_info& ri, unsigned param) const override {
        m_log->falsifying_domains.push_back(ri.domain(param));
        return param < m_falsifying.size() && m_falsifying[param];
    }

private:
    bool m_narrows;
    std::shared_ptr<log> m_log;
    std::vector<bool> m_falsifying;
};

// A trail written as a list of changes; a change with cause -1 is a decision
// and opens a new level first. Entries are numbered in list order.
struct general_trail : ::testing::Test {
    enum : unsigned { X, Y, U, D, E };
    struct change {
        unsigned variable;
        int lo, hi;
        int cause;
    };
    struct node {
        unsigned variable;
        unsigned entry;
    };

    solver s;
    std::shared_ptr<leq_propagator::log> log = std::make_shared<leq_propagator::log>();

    general_trail() {
        for (const char* name : {"x", "y", "u", "d", "e"})
            s.add_var(iset(0, 9), name, false);
        s.m_solving = true;
        s.m_literal_relaxation = 0;
        s.m_relax_cause = false;
    }

    void build(const std::vector<change>& changes) {
        for (const change& c : changes) {
            if (c.cause < 0)
                s.assignment().open_level(c.variable);
            s.set_var_domain(c.variable, iset(c.lo, c.hi), c.cause);
        }
    }

    // Started from the conflicting constraint x <= y (explanation computed).
    std::unique_ptr<learned_type> conflicting(const constraint_propagator& leq) {
        constraint_connectivity_info record(&s, 0);
        record << X << Y;
        auto l = std::make_unique<learned_type>(s.assignment(), s);
        l->construct_from(record, leq, {}, AFTER_LAST_ENTRY);
        return l;
    }

    // Nodes placed by hand, then a fresh x <= y (no literals yet).
    std::unique_ptr<learned_type> placed(const std::vector<node>& nodes, bool narrows,
                                         std::vector<bool> falsifying = {}) {
        auto l = std::make_unique<learned_type>(s.assignment(), s);
        for (const node& n : nodes)
            l->insert_literal(iset(), n.variable, n.entry);
        l->update_constraint(new leq_propagator(narrows, log, std::move(falsifying)));
        l->compute_level();
        return l;
    }

    static std::vector<unsigned> entries(const learned_type& l) { return trail::entries(l); }
};

// x's lower bound over time 0, 4, 6, 9 and y's upper bound 9, 5, 1, 0.
TEST_F(general_trail, RelaxAllRepeatsPassesOnlyForAGeneralConstraint) {
    build({{X, 4, 9, -1},                 // 0, level 1
           {Y, 0, 5, 0},                  // 1
           {Y, 0, 1, -1},                 // 2, level 2
           {X, 6, 9, 0},                  // 3
           {D, 0, 0, -1},                 // 4, level 3
           {X, 9, 9, 0},                  // 5
           {Y, 0, 0, 0}});                // 6
    struct row {
        bool clause;
        std::vector<unsigned> entries;
        unsigned level, count;
        int split; // the explanation's c afterwards
    };
    // The first explanation (c = 4) moves x to 3 and y to 2; the general
    // constraint is then explained anew (c = 3), x moves on to 0, and a third
    // pass (c = 2) changes nothing. The clause keeps c = 4 and stops.
    const std::vector<row> rows = {{false, {0, 2}, 2, 1, 2}, {true, {3, 2}, 2, 2, 4}};
    leq_propagator leq(true, log);
    for (const row& r : rows) {
        auto l = conflicting(leq);
        ASSERT_EQ(entries(*l), (std::vector<unsigned>{5, 6}));
        ASSERT_EQ(l->nodes_at_current_level(), 2u);
        ASSERT_TRUE(same(l->literals()[0], iset(MIN_DOMAIN, 4)));
        if (r.clause)
            l->convert_to_clause();
        EXPECT_TRUE(l->relax_all()) << "clause " << r.clause;
        EXPECT_EQ(entries(*l), r.entries) << "clause " << r.clause;
        EXPECT_EQ(l->current_level(), r.level);
        EXPECT_EQ(l->nodes_at_current_level(), r.count);
        ASSERT_EQ(l->literals().size(), 2u);
        EXPECT_TRUE(same(l->literals()[0], iset(MIN_DOMAIN, r.split)));
        EXPECT_TRUE(same(l->literals()[1], iset(r.split + 1, MAX_DOMAIN)));
        EXPECT_FALSE(l->relax_all());
        EXPECT_NO_THROW(l->validate());
    }
}

TEST_F(general_trail, RelaxCauseAtLevelZeroUsesOnlyTheLiterals) {
    build({{X, 4, 9, 0}, {Y, 0, 5, 0}, {X, 6, 9, 0}, {Y, 0, 1, 0}, {X, 9, 9, 0}, {Y, 0, 0, 0}});
    leq_propagator leq(true, log);
    auto l = conflicting(leq);
    ASSERT_EQ(l->current_level(), 0u);
    ASSERT_EQ(entries(*l), (std::vector<unsigned>{4, 5}));
    // Literals x <= 4, y >= 5: y (latest) goes back to 3, then x to 2; y
    // cannot move again.
    log->clones = 0;
    EXPECT_TRUE(l->relax_cause());
    EXPECT_EQ(entries(*l), (std::vector<unsigned>{2, 3}));
    EXPECT_EQ(l->literals().size(), 2u);
    EXPECT_EQ(log->clones, 0);

    // Without literals nothing moves at level 0.
    auto m = placed({{X, 4}, {Y, 5}}, true);
    ASSERT_EQ(m->current_level(), 0u);
    ASSERT_EQ(m->nodes_at_current_level(), 2u);
    log->clones = 0;
    EXPECT_FALSE(m->relax_cause());
    EXPECT_EQ(entries(*m), (std::vector<unsigned>{4, 5}));
    EXPECT_EQ(log->clones, 0);
}

TEST_F(general_trail, RelaxCauseAboveLevelZeroProbesGroundDomains) {
    build({{X, 1, 9, 0},  // 0, level 0
           {U, 6, 9, 0},  // 1
           {D, 0, 0, -1}, // 2, level 1
           {X, 4, 9, 0},  // 3
           {Y, 0, 5, -1}, // 4, level 2
           {X, 7, 9, 0},  // 5
           {U, 8, 9, 0},  // 6
           {E, 0, 0, -1}, // 7, level 3
           {Y, 0, 2, 0}}); // 8
    struct row {
        std::vector<node> nodes; // (left, right) of left <= y
        bool narrows;
        bool result;
        std::vector<unsigned> entries;
        unsigned level, count;
    };
    const std::vector<row> rows = {
        // y on its ground domain is narrowed to 7..9 by x's 7..9; y was
        // disjoint from that since entry 4. Then x on its ground domain is
        // narrowed to 1..5 by y's 0..5, which x met before entry 5: stop.
        {{{X, 5}, {Y, 8}}, true, true, {5, 4}, 2, 2},
        // Without narrowing y keeps its ground domain, which it always met.
        {{{X, 5}, {Y, 8}}, false, false, {5, 8}, 3, 1},
        // y as above goes to 4 (narrowed to 8..9 by u's 8..9). u on its ground
        // domain 6..9 still conflicts with y's 0..5: u goes to its level-0
        // entry 1. y is latest again: narrowed to 6..9 by u, it cannot move.
        {{{U, 6}, {Y, 8}}, true, true, {1, 4}, 2, 1},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const row& r = rows[i];
        auto l = placed(r.nodes, r.narrows);
        ASSERT_EQ(l->current_level(), 3u);
        ASSERT_EQ(l->nodes_at_current_level(), 1u);
        log->clones = 0;
        EXPECT_EQ(l->relax_cause(), r.result) << "row " << i;
        EXPECT_EQ(entries(*l), r.entries) << "row " << i;
        EXPECT_EQ(l->current_level(), r.level) << "row " << i;
        EXPECT_EQ(l->nodes_at_current_level(), r.count) << "row " << i;
        EXPECT_EQ(log->clones, 1) << "row " << i;
        EXPECT_TRUE(l->literals().empty());
        EXPECT_NO_THROW(l->validate());
    }
}

TEST_F(general_trail, RelaxIfRequiredWithOneNodeAtTheLevel) {
    build({{X, 5, 9, 0},  // 0, level 0
           {D, 0, 0, -1}, // 1, level 1
           {X, 6, 9, 0},  // 2
           {X, 7, 9, 0},  // 3
           {Y, 0, 4, 0},  // 4
           {E, 0, 0, -1}, // 5, level 2
           {Y, 0, 3, 0}}); // 6
    struct row {
        bool narrows;
        int mode;
        bool result;
        std::vector<unsigned> entries;
        unsigned level, count;
    };
    // Narrowing: the cause relaxation moves y to 4 (on its ground domain y is
    // narrowed to 7..9). The explanation x <= 5 or y >= 6 then moves x within
    // level 1 to 2 under -j 2 only; -j 1 moves a node only out of its level.
    // Checking only: the cause relaxation moves nothing. Under -j 1 y leaves
    // level 2 (to 4) and x cannot leave level 1; under -j 2 x goes to 2 too.
    const std::vector<row> rows = {
        {true, 0, true, {3, 4}, 1, 2},   {true, 1, true, {3, 4}, 1, 2},
        {true, 2, true, {2, 4}, 1, 2},   {false, 0, false, {3, 6}, 2, 1},
        {false, 1, true, {3, 4}, 1, 2},  {false, 2, true, {2, 4}, 1, 2},
    };
    for (const row& r : rows) {
        s.m_literal_relaxation = r.mode;
        auto l = placed({{X, 3}, {Y, 6}}, r.narrows);
        ASSERT_EQ(l->current_level(), 2u);
        ASSERT_EQ(l->nodes_at_current_level(), 1u);
        EXPECT_EQ(l->relax_if_required(), r.result) << r.narrows << " -j " << r.mode;
        EXPECT_EQ(entries(*l), r.entries) << r.narrows << " -j " << r.mode;
        EXPECT_EQ(l->current_level(), r.level) << r.narrows << " -j " << r.mode;
        EXPECT_EQ(l->nodes_at_current_level(), r.count) << r.narrows << " -j " << r.mode;
    }
}

TEST_F(general_trail, RelaxIfRequiredReanchorsWhenTheConflictPrecedesTheLevel) {
    // Before the propagation of entry 3, x was 6..9 and y 0..5 already.
    build({{D, 0, 0, -1}, // 0, level 1
           {X, 6, 9, 0},  // 1
           {Y, 0, 5, 0},  // 2
           {X, 8, 9, 1},  // 3
           {E, 0, 0, -1}, // 4, level 2
           {Y, 0, 3, 0}}); // 5
    for (int mode : {0, 1, 2}) {
        s.m_literal_relaxation = mode;
        auto l = placed({{X, 1}, {Y, 5}}, false);
        ASSERT_EQ(l->nodes_at_current_level(), 1u);
        l->relax_if_required();
        // Both nodes re-anchored before entry 3, with a new explanation
        // (c = 5) that moves nothing further.
        EXPECT_EQ(entries(*l), (std::vector<unsigned>{1, 2})) << "-j " << mode;
        EXPECT_EQ(l->current_level(), 1u);
        EXPECT_EQ(l->nodes_at_current_level(), 2u);
        ASSERT_EQ(l->literals().size(), 2u);
        EXPECT_TRUE(same(l->literals()[0], iset(MIN_DOMAIN, 5)));
    }
}

// The level-0 domains (x 0..8, y 0..9) are shown, not the current ones.
TEST_F(trail, PotentiallyFalsifyingVariablesOfAGeneralConstraint) {
    struct row {
        std::vector<bool> falsifying;
        std::vector<unsigned> expected;
    };
    const std::vector<row> rows = {
        {{false, false}, {V}}, {{false, true}, {V, Y}}, {{true, true}, {V, X, Y}}};
    for (const row& r : rows) {
        auto lg = std::make_shared<leq_propagator::log>();
        auto l = clause({{X, iset(9), 3}, {Y, iset(5, 9), 1}});
        l->update_constraint(new leq_propagator(true, lg, r.falsifying));
        std::vector<unsigned> vars = {V};
        l->add_vars_potentially_falsifying(vars);
        EXPECT_EQ(vars, r.expected);
        ASSERT_EQ(lg->falsifying_domains.size(), 2u);
        EXPECT_TRUE(same(lg->falsifying_domains[0], iset(0, 8)));
        EXPECT_TRUE(same(lg->falsifying_domains[1], iset(0, 9)));
    }
}

}  // namespace learned_type_test
