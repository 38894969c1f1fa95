// Command-line options: scanning, the consistency check and what apply()
// copies into a solver.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <unistd.h>

#include "driver/flags.h"
#include "impl/engine/solver.h"
#include "tests/unit/test_helpers.h"

namespace flags_test {

// Scans the arguments (after a program name) into fresh options.
bool scan(per_format_flags& options, std::initializer_list<const char*> args) {
    std::vector<std::string> text{"qarn"};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& t : text)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    optind = 0; // restart getopt's scan
    // The usage and the diagnostics are not checked here.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    struct release {
        ~release() {
            testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStderr();
        }
    } captured;
    return options.parse(static_cast<int>(text.size()), argv.data());
}

qarn::solver& applied(qarn::solver& s, const per_format_flags& options) {
    testing::internal::CaptureStdout();
    options.apply(s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "c Seed is " + std::to_string(options.m_seed) + "\n");
    return s;
}

TEST(Flags, TogglesAndFormats) {
    per_format_flags o;
    ASSERT_TRUE(scan(o, {"-a", "-G", "-d", "-D", "-d", "-F", "FZN", "-F", "Opb"}));
    EXPECT_EQ(o.m_all_different, 1);
    EXPECT_EQ(o.m_intersect_with_ground, 0);
    EXPECT_FALSE(o.m_all_solutions);
    EXPECT_TRUE(o.m_quiet);
    EXPECT_EQ(o.m_format, per_format_flags::OPB);

    per_format_flags twice;
    ASSERT_TRUE(scan(twice, {"-a", "-a", "-G", "-G", "-F", "c", "file"}));
    EXPECT_EQ(twice.m_all_different, 0);
    EXPECT_EQ(twice.m_intersect_with_ground, 1);
    EXPECT_EQ(twice.m_format, per_format_flags::C_LIKE);
}

TEST(Flags, Refused) {
    for (auto args : {std::initializer_list<const char*>{"-L", "5"}, {"-F", "cpp"}, {"-y"}, {"-s"}}) {
        per_format_flags o;
        EXPECT_FALSE(scan(o, args)) << *args.begin();
    }
    const std::string proofs =
        "Can't work with proofs when intersect_with_ground is in effect, try the -G flag.\n"
        "Note: it will make a different runs.";
    for (auto args : {std::initializer_list<const char*>{"-p"}, {"-V", "-G", "-G"}}) {
        per_format_flags o;
        EXPECT_EQ(qarn_test::error_of([&] { scan(o, args); }), proofs);
    }
    per_format_flags help;
    EXPECT_TRUE(scan(help, {"-p", "-h"})); // the check is skipped after -h
    EXPECT_TRUE(help.m_help);
    per_format_flags ground;
    EXPECT_TRUE(scan(ground, {"-p", "-G"}));
}

TEST(Flags, ApplyKeepsSolverDefaultsForOptionsNotGiven) {
    per_format_flags o;
    ASSERT_TRUE(scan(o, {"-s", "5", "-o", "0", "-C", "0", "-E", "0", "-b", "3000000000"}));
    qarn::solver defaults;
    qarn::solver s;
    applied(s, o);
    EXPECT_EQ(s.m_opportunistic_threshold, defaults.m_opportunistic_threshold);
    EXPECT_EQ(s.m_keep_window, defaults.m_keep_window);
    EXPECT_EQ(s.m_erase_period, defaults.m_erase_period);
    EXPECT_EQ(s.m_backtrack_limit, 1000000000u);
    EXPECT_EQ(s.m_initial_restart_interval, 16u);
    EXPECT_EQ(s.m_max_conflict_clause, 100u);
    EXPECT_EQ(s.m_literal_relaxation, 2);
    EXPECT_TRUE(s.m_intersect_with_ground);
    EXPECT_DOUBLE_EQ(s.assignment().cost_growth(), defaults.assignment().cost_growth());
}

TEST(Flags, ApplyCopiesGivenOptions) {
    per_format_flags o;
    ASSERT_TRUE(scan(o, {"-l", "3", "-s", "0x10", "-o", "7", "-c", "9", "-f", "5", "-i", "1.5",
                         "-k", "4", "-b", "0", "-r", "0", "-e", "2", "-C", "3", "-E", "11", "-G",
                         "-j", "-1", "-J", "-m", "-g", "-A", "-d", "-D"}));
    qarn::solver s;
    applied(s, o);
    EXPECT_EQ(s.m_report_level, 3);
    EXPECT_EQ(o.m_seed, 16u);
    EXPECT_EQ(s.m_opportunistic_threshold, 7u);
    EXPECT_EQ(s.m_max_conflict_clause, 9u);
    EXPECT_DOUBLE_EQ(s.assignment().cost_growth(), 1.0 / 4.0 + 1.0);
    EXPECT_DOUBLE_EQ(s.m_analysis_cost_factor, 1.5);
    EXPECT_DOUBLE_EQ(s.m_conflict_cost_factor, 4.0);
    EXPECT_EQ(s.m_backtrack_limit, 0u);
    EXPECT_EQ(s.m_initial_restart_interval, 0u);
    EXPECT_EQ(s.m_effort_boost_after, 2u);
    EXPECT_EQ(s.m_keep_window, 3u);
    EXPECT_EQ(s.m_erase_period, 11u);
    EXPECT_FALSE(s.m_intersect_with_ground);
    EXPECT_EQ(s.m_literal_relaxation, 2); // -1 reads as a huge unsigned value
    EXPECT_TRUE(s.m_relax_cause);
    EXPECT_FALSE(s.m_combine_general);
    EXPECT_FALSE(s.m_check_domain_ages);
    EXPECT_FALSE(s.m_augment_explanations);
    EXPECT_TRUE(s.m_all_solutions);
    EXPECT_TRUE(s.m_quiet);

    per_format_flags relax;
    ASSERT_TRUE(scan(relax, {"-j", "1", "-s", "2"}));
    qarn::solver r;
    EXPECT_EQ(applied(r, relax).m_literal_relaxation, 1);
}

TEST(Flags, CostLoweringFactorOneIsRefused) {
    per_format_flags o;
    EXPECT_EQ(qarn_test::error_of([&] { scan(o, {"-f", "1"}); }),
              "The cost lowering factor (-f) must be 0 (the default) or at least 2.");
}

}  // namespace flags_test
