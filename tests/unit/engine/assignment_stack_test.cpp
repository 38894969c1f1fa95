// Assignment stack: names and constants, a scripted run of levels, changes and
// undos against a model of the expected domains, the history queries, and the
// galloping relax against the plain walk it must equal.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>

#include "impl/engine/assignment_stack.h"
#include "tests/unit/test_helpers.h"

namespace assignment_stack_test {

using qarn_test::same;
using qarn_test::error_of;

using qarn::NO_ENTRY;
using qarn::assignment_stack;
using qarn::iset;
using range = std::pair<int, int>;

std::string name_of(const assignment_stack& s, unsigned var) {
    std::ostringstream os;
    s.print_var_name(os, var);
    return os.str();
}

TEST(AssignmentStack, NamesAndSharedConstants) {
    assignment_stack s;
    unsigned a = s.add_var(iset(range(0, 9)), nullptr, false);
    unsigned x = s.add_var(iset(7), "x", false);
    EXPECT_EQ(name_of(s, a), "V0");
    EXPECT_EQ(name_of(s, x), "x");
    EXPECT_TRUE(s.saved_value(x).first);
    EXPECT_EQ(s.saved_value(x).second, 7);
    EXPECT_FALSE(s.saved_value(a).first);

    // A singleton added without registering is not the shared constant.
    unsigned seven = s.singleton_var(7);
    EXPECT_NE(seven, x);
    EXPECT_EQ(name_of(s, seven), "the_constant_7");
    EXPECT_EQ(s.singleton_var(7), seven);
    unsigned five = s.singleton_var(5);
    EXPECT_EQ(s.singleton_var(5), five);
    unsigned c3 = s.add_var(iset(3), "three", true);
    EXPECT_EQ(s.singleton_var(3), c3);
    // An existing key keeps its variable.
    s.add_var(iset(3), "other_three", true);
    EXPECT_EQ(s.singleton_var(3), c3);

    std::ostringstream os;
    s.print_singleton_variables(os);
    EXPECT_EQ(os.str(), "Singletons: three=3, the_constant_5=5, the_constant_7=7");
    std::ostringstream empty;
    assignment_stack().print_singleton_variables(empty);
    EXPECT_EQ(empty.str(), "");
    EXPECT_TRUE(s.validate());
}

TEST(AssignmentStack, RangeErrorsAndFixedAnswers) {
    assignment_stack s;
    unsigned v = s.add_var(iset(range(0, 9)), nullptr, false);
    EXPECT_EQ(s.var_modification_time(v), 1u);
    EXPECT_EQ(s.decision_modification(0), NO_ENTRY);
    EXPECT_EQ(error_of([&] { s.decision_modification(1); }),
              "Out of range while calling decision_modification(level)");
    EXPECT_EQ(error_of([&] { s.decision_variable(1); }),
              "Out of range while calling decision_variable(level)");
    EXPECT_EQ(error_of([&] { s.undo_level(0); }),
              "Out of range while calling undo_level(level_to_forget)");
    EXPECT_EQ(error_of([&] { s.var_domain_end_level(v, 1); }),
              "Out of range while calling var_domain_end_level(variable, level)");
    EXPECT_EQ(error_of([&] { s.asserting_level_of_nth(0, {}, {}); }),
              "Out of range while calling Can't pass an empty vector to asserting_level(variables)");
    EXPECT_EQ(error_of([&] { assignment_stack::throw_out_of_range(nullptr); }), "Out of range");
    EXPECT_EQ(s.asserting_level_of_nth(0, {{NO_ENTRY, 0}}, {iset(1)}), 0u);
    EXPECT_THROW(s.domain(5), std::out_of_range);
    EXPECT_EQ(s.before_propagation(0), NO_ENTRY);
}

TEST(AssignmentStack, ValidateReportsUnrecordedSingleton) {
    assignment_stack s;
    s.add_var(iset(range(0, 3)), "x", false);
    s.set_var_domain(0, iset(2), 5, -1);
    EXPECT_TRUE(s.saved_value(0).first == false);
    EXPECT_EQ(error_of([&] { s.validate(); }),
              "(var_index=0) x, 2 is singleton, but its assignment was not recorded");
    s.forget_previously_assigned_var_values();
    EXPECT_TRUE(s.validate());
}

// A scripted run against a model: the domains at the opening of every level,
// and the current ones.
TEST(AssignmentStack, LevelsChangesAndUndosFollowTheModel) {
    std::mt19937 gen(77);
    for (int run = 0; run < 40; ++run) {
        assignment_stack s;
        const unsigned n = 5;
        for (unsigned v = 0; v < n; ++v)
            s.add_var(iset(range(0, 20)), nullptr, false);
        s.construct_level0_domains();
        std::vector<iset> current;
        for (unsigned v = 0; v < n; ++v)
            current.push_back(s.domain(v));
        std::vector<std::vector<iset>> at_open; // domains when each level opened
        std::uint64_t time = 2;

        for (int step = 0; step < 60; ++step) {
            int op = static_cast<int>(gen() % 6);
            if (op == 0 && at_open.size() < 8) {
                at_open.push_back(current);
                s.open_level(static_cast<unsigned>(gen() % n));
            } else if (op == 1 && !at_open.empty()) {
                unsigned level = 1 + static_cast<unsigned>(gen() % at_open.size());
                // A variable that is a singleton through a change made at this level
                // or above keeps that value as its saved value.
                std::vector<int> expect_saved(n, -1);
                for (unsigned v = 0; v < n; ++v)
                    if (current[v].size() == 1 && s.latest_modification(v) != NO_ENTRY &&
                        s.latest_modification(v) >= s.decision_modification(level))
                        expect_saved[v] = current[v].min();
                s.undo_level(level);
                current = at_open[level - 1];
                at_open.resize(level - 1);
                for (unsigned v = 0; v < n; ++v)
                    if (expect_saved[v] >= 0) {
                        ASSERT_TRUE(s.saved_value(v).first);
                        ASSERT_EQ(s.saved_value(v).second, expect_saved[v]);
                    }
            } else {
                unsigned v = static_cast<unsigned>(gen() % n);
                if (current[v].size() <= 1)
                    continue;
                iset d = current[v];
                if (gen() % 3 == 0) {
                    int keep = d.min() + static_cast<int>(gen() % 3);
                    d.intersect(range(keep, keep));
                    if (d.empty())
                        continue;
                } else {
                    d.erase(range(d.min(), d.min()));
                }
                int cause = gen() % 2 ? -1 : static_cast<int>(gen() % 4);
                s.set_var_domain(v, d, ++time, cause);
                if (d.size() == 1) {
                    EXPECT_EQ(s.var_state(v).m_stamp, time);
                }
                EXPECT_EQ(s.var_modification_time(v), time);
                current[v] = d;
            }
            ASSERT_EQ(s.level_count(), at_open.size());
            for (unsigned v = 0; v < n; ++v) {
                ASSERT_TRUE(same(s.domain(v), current[v])) << "run " << run << " step " << step;
                // The domain at the end of each level is the one the next level opened with.
                for (unsigned level = 0; level + 1 <= at_open.size(); ++level)
                    ASSERT_TRUE(same(s.var_domain_end_level(v, static_cast<int>(level)),
                                     at_open[level][v]));
                ASSERT_TRUE(same(s.var_domain_end_level(v, -1), iset(range(0, 20))));
                ASSERT_TRUE(same(s.var_domain_end_level(v, static_cast<int>(at_open.size())),
                                 current[v]));
            }
            // Every trail entry lies at the level that was open when it was made.
            for (unsigned e = 0; e < s.trail_size(); ++e) {
                unsigned expect = 0;
                for (unsigned level = 1; level <= s.level_count(); ++level)
                    if (s.decision_modification(level) <= e)
                        expect = level;
                ASSERT_EQ(s.decision_level_of(e), expect);
                const auto& entry = s.entry(e);
                ASSERT_EQ(s.var_modification_entry_before(entry.m_variable, e + 1), e);
                ASSERT_TRUE(same(s.var_domain_after_modification(entry.m_variable, e - 1),
                                 entry.m_domain));
            }
        }
        // clear() takes every domain back to the model's.
        s.clear();
        EXPECT_EQ(s.trail_size(), 0u);
        EXPECT_EQ(s.level_count(), 0u);
        for (unsigned v = 0; v < n; ++v)
            EXPECT_TRUE(same(s.domain(v), iset(range(0, 20))));
        EXPECT_TRUE(s.level0_domains().empty());
    }
}

TEST(AssignmentStack, LevelZeroCopiesFollowChangesBeforeTheFirstLevel) {
    assignment_stack s;
    s.add_var(iset(range(0, 9)), nullptr, false);
    s.construct_level0_domains();
    s.set_var_domain(0, iset(range(2, 9)), 3, 0);
    EXPECT_TRUE(same(s.level0_domains()[0], iset(range(2, 9))));
    s.open_level(0);
    s.set_var_domain(0, iset(range(4, 9)), 4, -1);
    EXPECT_TRUE(same(s.level0_domains()[0], iset(range(2, 9))));
    EXPECT_TRUE(same(s.var_domain_end_level(0, 0), iset(range(2, 9))));
    EXPECT_EQ(s.decision_value(1), 9);
}

TEST(AssignmentStack, TrailQueries) {
    assignment_stack s;
    for (int v = 0; v < 3; ++v)
        s.add_var(iset(range(0, 9)), nullptr, false);
    s.set_var_domain(0, iset(range(0, 8)), 3, 4);  // 0
    s.set_var_domain(1, iset(range(0, 8)), 3, 4);  // 1
    s.open_level(2);
    s.set_var_domain(2, iset(range(0, 5)), 4, -1); // 2: decision
    s.set_var_domain(0, iset(range(0, 7)), 5, 6);  // 3
    s.set_var_domain(1, iset(range(0, 7)), 5, 6);  // 4
    s.set_var_domain(0, iset(range(0, 6)), 6, 6);  // 5
    s.set_var_domain(1, iset(range(0, 6)), 6, 7);  // 6

    EXPECT_EQ(s.before_propagation(6), 5u);
    EXPECT_EQ(s.before_propagation(5), 2u);
    EXPECT_EQ(s.before_propagation(2), 1u);
    EXPECT_EQ(s.before_propagation(1), NO_ENTRY);
    EXPECT_EQ(s.before_propagation(99), 6u);
    EXPECT_EQ(s.go_back_to(5, NO_ENTRY, 1), 3u);
    EXPECT_EQ(s.go_back_to(5, NO_ENTRY, 9), 0u);
    EXPECT_EQ(s.go_back_to(5, 2, 9), 3u);
    EXPECT_EQ(s.get_busy_constraints(5), (std::vector<unsigned>{6, 6, 6, 7}));
    EXPECT_TRUE(assignment_stack::is_earlier_modification(NO_ENTRY, 0));
    EXPECT_FALSE(assignment_stack::is_earlier_modification(0, NO_ENTRY));
    EXPECT_FALSE(assignment_stack::is_earlier_modification(3, 3));

    // Popping the trailing changes of constraint 7, then of 6.
    s.erase_conflicting_modifications(6);
    EXPECT_EQ(s.trail_size(), 7u);
    s.erase_conflicting_modifications(7);
    EXPECT_EQ(s.trail_size(), 6u);
    EXPECT_TRUE(same(s.domain(1), iset(range(0, 7))));
    EXPECT_EQ(s.latest_modification(1), 4u);
    s.erase_conflicting_modifications(6);
    EXPECT_EQ(s.trail_size(), 3u);
    EXPECT_TRUE(same(s.domain(0), iset(range(0, 8))));
}

TEST(AssignmentStack, AssertingLevelIsTheLevelWhereTheOtherLiteralsBecameFalse) {
    assignment_stack s;
    for (int v = 0; v < 3; ++v)
        s.add_var(iset(range(0, 9)), nullptr, false);
    s.open_level(0);
    s.set_var_domain(0, iset(0), 3, -1); // 0: x = 0 (x in 1..9 false)
    s.open_level(2);
    s.set_var_domain(2, iset(5), 4, -1); // 1
    s.open_level(1);
    s.set_var_domain(1, iset(1), 5, -1); // 2: y = 1 (y in {0} false)
    std::vector<iset> literals{iset(range(1, 9)), iset(0)};
    std::vector<assignment_stack::implication_node> nodes{{0, 0}, {2, 1}};
    EXPECT_EQ(s.nth_modification(1, nodes), 2u);
    EXPECT_EQ(s.nth_modification(0, nodes), 0u);
    EXPECT_EQ(s.asserting_level_of_nth(1, nodes, literals), 1u);
    EXPECT_EQ(s.asserting_level_of_nth(0, nodes, literals), 0u);
}

// relax gallops along a variable's chain; it must give what the plain walk gives.
TEST(AssignmentStack, RelaxEqualsThePlainWalk) {
    std::mt19937 gen(5);
    for (int run = 0; run < 30; ++run) {
        assignment_stack s;
        s.add_var(iset(range(0, 31)), nullptr, false);
        s.add_var(iset(range(0, 31)), nullptr, false);
        iset d(range(0, 31)), other(range(0, 31));
        std::vector<int> removed;
        std::uint64_t time = 2;
        while (d.size() > 1) {
            int v;
            do
                v = static_cast<int>(gen() % 32);
            while (!d.contains(v));
            d.erase(range(v, v));
            removed.push_back(v);
            s.set_var_domain(0, d, ++time, 1);
            if (gen() % 2 && other.size() > 1) {
                other.erase(range(other.min(), other.min()));
                s.set_var_domain(1, other, ++time, 2);
            }
        }
        auto plain = [&](unsigned entry, const iset& lit) {
            unsigned cur = entry;
            while (!s.entry(cur).m_domain.contains_any_of(lit) && s.entry(cur).m_previous != NO_ENTRY)
                cur = s.entry(cur).m_previous;
            return cur;
        };
        for (unsigned e = s.latest_modification(0); e != NO_ENTRY; e = s.entry(e).m_previous) {
            // Literals made false by now: subsets of the values removed so far.
            iset after = s.var_domain_after_modification(0, e);
            for (int k = 0; k < 8; ++k) {
                iset lit;
                for (int v : removed)
                    if (!after.contains(v) && gen() % 3 == 0)
                        lit.insert(range(v, v));
                if (lit.empty())
                    continue;
                ASSERT_EQ(s.relax(e, lit), plain(e, lit));
                // relax_before answers the first entry below limit when the literal
                // stays false back past limit, else the entry itself.
                for (unsigned limit : {NO_ENTRY, 0u, e / 2, e}) {
                    unsigned expect = e;
                    for (unsigned cur = e; limit != NO_ENTRY;) {
                        if (s.entry(cur).m_domain.contains_any_of(lit))
                            break;
                        unsigned next = s.entry(cur).m_previous;
                        if (next == NO_ENTRY || next < limit) {
                            expect = next;
                            break;
                        }
                        cur = next;
                    }
                    ASSERT_EQ(s.relax_before(e, lit, limit), expect) << "limit " << limit;
                }
            }
        }
    }
}

TEST(AssignmentStack, LongTrailAcrossStorageBlocksKeepsEveryAnswer) {
    // 100 variables, 10 changes each per level: 1000 entries a level, so the
    // trail crosses its storage blocks; undoing, popping and refilling reuse them.
    assignment_stack s;
    const unsigned n = 100, per_var = 10, per_level = n * per_var;
    for (unsigned v = 0; v < n; ++v)
        s.add_var(iset(range(0, 31)), nullptr, false);
    std::uint64_t time = 1;
    auto fill_level = [&](int cause) {
        s.open_level(0);
        for (unsigned v = 0; v < n; ++v)
            for (unsigned k = 0; k < per_var; ++k)
                s.set_var_domain(v, iset(range(s.domain(v).min() + 1, 31)), ++time, cause);
    };
    for (int level = 0; level < 3; ++level)
        fill_level(-1);
    ASSERT_EQ(s.trail_size(), 3 * per_level);
    for (unsigned e = 0; e < s.trail_size(); ++e) {
        const auto& entry = s.entry(e);
        const unsigned v = (e % per_level) / per_var;
        const int before = static_cast<int>(e / per_level * per_var + e % per_var);
        ASSERT_EQ(entry.m_variable, v) << e;
        ASSERT_TRUE(same(entry.m_domain, iset(range(before, 31)))) << e;
        ASSERT_TRUE(same(s.var_domain_after_modification(v, e), iset(range(before + 1, 31))));
        ASSERT_EQ(s.decision_level_of(e), e / per_level + 1);
    }
    EXPECT_THROW(s.entry(s.trail_size()), std::out_of_range);

    s.undo_level(3);
    ASSERT_EQ(s.trail_size(), 2 * per_level);
    // Entries of one constraint on top, popped back across a block boundary.
    for (unsigned v = 0; v < n; ++v)
        s.set_var_domain(v, iset(range(21, 31)), ++time, 7);
    s.erase_conflicting_modifications(7);
    ASSERT_EQ(s.trail_size(), 2 * per_level);
    for (unsigned v = 0; v < n; ++v)
        ASSERT_TRUE(same(s.domain(v), iset(range(20, 31))));

    s.undo_level(2);
    fill_level(3);
    ASSERT_EQ(s.trail_size(), 2 * per_level);
    for (unsigned v = 0; v < n; ++v) {
        ASSERT_TRUE(same(s.domain(v), iset(range(20, 31))));
        ASSERT_TRUE(same(s.var_domain_end_level(v, 1), iset(range(10, 31))));
        ASSERT_TRUE(same(s.var_domain_end_level(v, -1), iset(range(0, 31))));
    }
    s.clear();
    EXPECT_EQ(s.trail_size(), 0u);
    for (unsigned v = 0; v < n; ++v)
        EXPECT_TRUE(same(s.domain(v), iset(range(0, 31))));
}

}  // namespace assignment_stack_test
