// The sum, absolute-value, negation and disequality propagators against
// brute force (see propagator_harness.h). Besides the standard windows the
// large model adds one of four values spread over the whole range, where
// sums wrap around and truncating sums run out of range.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "impl/propagators/abs_propagators.h"
#include "impl/propagators/neq_propagators.h"
#include "impl/propagators/sum_propagators.h"
#include "impl/support/random.h"
#include "tests/unit/propagator_harness.h"

namespace arithmetic_property_test {

using namespace qarn_test;

typedef std::vector<int> tuple;

long long sum_from(const tuple& t, std::size_t first) {
    long long s = 0;
    for (std::size_t i = first; i < t.size(); ++i)
        s += t[i];
    return s;
}

int wrap32(long long v) {
    return static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(v)));
}

long long abs64(int v) {
    return v < 0 ? -static_cast<long long>(v) : v;
}

std::vector<value_window> arithmetic_windows(int width = 5) {
    std::vector<value_window> windows = standard_windows(width);
#if !QARN_SMALL_DOMAINS
    windows.push_back({INT_MIN, 1 << 30, 1u << 30});
#endif
    return windows;
}

// A row whose propagator needs no random data.
template <class P, class... Args>
propagator_row fixed_row(const std::string& name, unsigned arity, std::vector<value_window> windows,
                         reference_predicate holds, Args... args) {
    return {name, arity, std::move(windows), [holds, args...](const value_window&) {
                return propagator_case{std::make_unique<P>(args...), holds};
            }};
}

propagator_row sum_mod_row(const std::string& name, unsigned arity, int mod, int result) {
    std::vector<value_window> windows = {{0, mod}};
    for (const value_window& w : standard_windows(4))
        windows.push_back(w);
    auto holds = [mod, result](const tuple& t) {
        for (int v : t)
            if (v < 0 || v >= mod)
                return false;
        return sum_from(t, 0) % mod == result;
    };
    return fixed_row<qarn::sum_mod_propagator>(name, arity, windows, holds, mod, result);
}

propagator_row difference_neq_row() {
    return {"difference_neq_constant", 2, arithmetic_windows(6), [](const value_window& w) {
                // k near the differences the window produces, sometimes far off.
                const int span = static_cast<int>(
                    std::min<long long>(static_cast<long long>(w.hi) - w.lo, 4));
                int k = static_cast<int>(qarn::random::gen(2 * span + 3)) - span - 1;
                if (qarn::random::gen(8) == 0)
                    k = qarn::random::gen(2) ? INT_MAX : INT_MIN;
                auto holds = [k](const tuple& t) {
                    return static_cast<long long>(t[0]) - t[1] != k;
                };
                return propagator_case{
                    std::make_unique<qarn::difference_neq_constant_propagator>(k), holds};
            }};
}

const std::vector<propagator_row>& rows() {
    auto sum_wrap_holds = [](const tuple& t) { return t[0] == wrap32(sum_from(t, 1)); };
    auto le_holds = [](const tuple& t) { return t[0] <= sum_from(t, 1); };
    auto ge_holds = [](const tuple& t) { return t[0] >= sum_from(t, 1); };
    static const std::vector<propagator_row> table = {
        fixed_row<qarn::sum_truncate_propagator>(
            "sum_truncate", 3, arithmetic_windows(),
            [](const tuple& t) { return t[0] == static_cast<long long>(t[1]) + t[2]; }),
        fixed_row<qarn::sum_wrap_propagator>("sum_wrap1", 1, arithmetic_windows(), sum_wrap_holds),
        fixed_row<qarn::sum_wrap_propagator>("sum_wrap2", 2, arithmetic_windows(), sum_wrap_holds),
        fixed_row<qarn::sum_wrap_propagator>("sum_wrap3", 3, arithmetic_windows(), sum_wrap_holds),
        fixed_row<qarn::sum_wrap_propagator>("sum_wrap4", 4, arithmetic_windows(4),
                                             sum_wrap_holds),
        sum_mod_row("parity2", 2, 2, 1),
        sum_mod_row("parity3", 3, 2, 0),
        sum_mod_row("sum_mod3_2", 2, 3, 2),
        sum_mod_row("sum_mod3_3", 3, 3, 1),
        fixed_row<qarn::less_equal_sum_propagator>("le_sum1", 1, arithmetic_windows(), le_holds),
        fixed_row<qarn::less_equal_sum_propagator>("le_sum3", 3, arithmetic_windows(), le_holds),
        fixed_row<qarn::greater_equal_sum_propagator>("ge_sum1", 1, arithmetic_windows(),
                                                      ge_holds),
        fixed_row<qarn::greater_equal_sum_propagator>("ge_sum3", 3, arithmetic_windows(),
                                                      ge_holds),
        fixed_row<qarn::abs_propagator>("abs", 2, arithmetic_windows(7), [](const tuple& t) {
            return t[1] != INT_MIN && t[0] == abs64(t[1]);
        }),
        fixed_row<qarn::less_equal_abs_propagator>(
            "less_equal_abs", 2, arithmetic_windows(7),
            [](const tuple& t) { return t[0] <= abs64(t[1]); }),
        fixed_row<qarn::greater_equal_abs_propagator>(
            "greater_equal_abs", 2, arithmetic_windows(7),
            [](const tuple& t) { return t[0] >= abs64(t[1]); }),
        fixed_row<qarn::neg_propagator>("neg", 2, arithmetic_windows(7), [](const tuple& t) {
            return t[0] == wrap32(-static_cast<long long>(t[1]));
        }),
        fixed_row<qarn::neq_propagator>("neq", 2, arithmetic_windows(7),
                                        [](const tuple& t) { return t[0] != t[1]; }),
        difference_neq_row(),
    };
    return table;
}

class ArithmeticProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(ArithmeticProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ArithmeticProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

}  // namespace arithmetic_property_test
