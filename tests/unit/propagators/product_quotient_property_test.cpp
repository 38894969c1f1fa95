// Multiplication, division, modulo and power against brute force (see
// propagator_harness.h). Every propagator of the accurate / bounds scheme
// runs twice: as it is, over windows wide enough that pairs of domains often
// exceed the value-by-value threshold, and with the thresholds lowered to one
// pair, so that every domain pair but the ground one takes the bounds rules.
// The large model adds windows over the whole range: products and powers
// out of range, and INT_MIN against -1 (quotient 2^31, remainder 0).
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/division_modulo_propagators.h"
#include "impl/propagators/multiplication_propagators.h"
#include "impl/propagators/power_propagator.h"
#include "tests/unit/propagator_harness.h"
#include "tests/unit/propagators/product_quotient_references.h"

namespace product_quotient_property_test {

using namespace qarn_test;

typedef std::vector<int> tuple;

// The value-by-value thresholds at their lowest: only single pairs are
// evaluated one by one, and domains of more than one range go back as bounds.
class lowered_thresholds : public qarn::forwarding_runtime_info {
public:
    using forwarding_runtime_info::forwarding_runtime_info;
    unsigned accurate_size_bound() const override { return 1; }
    unsigned accurate_size_pair_bound() const override { return 1; }
    unsigned max_accurate_ranges() const override { return 1; }
};

template <class P>
class bounds_mode : public P {
public:
    qarn::propagation_types::result_type propagate(qarn::constraint_runtime_info& ri) override {
        lowered_thresholds view(ri);
        return P::propagate(view);
    }
    bool conflicts(const qarn::constraint_runtime_info& ri) const override {
        const lowered_thresholds view(ri);
        return P::conflicts(view);
    }
    std::unique_ptr<qarn::constraint_propagator> clone() const override {
        return std::make_unique<bounds_mode<P>>();
    }
};

// Near zero (wide enough for the bounds mode), the standard windows, and in
// the large model values spread over the range and INT_MIN with -1.
std::vector<value_window> product_windows(int width) {
#if QARN_SMALL_DOMAINS
    std::vector<value_window> windows = {{0, width - 1}};
#else
    std::vector<value_window> windows = {{-width / 2, width - 1 - width / 2}};
#endif
    for (const value_window& w : standard_windows(5))
        windows.push_back(w);
#if !QARN_SMALL_DOMAINS
    windows.push_back({INT_MIN, 1 << 30, 1u << 30});
    windows.push_back({INT_MIN, INT_MAX - 1, (1u << 31) - 1}); // INT_MIN, -1, INT_MAX - 1
    windows.push_back({-(1 << 16) - 2, -(1 << 16) + 3});
    windows.push_back({(1 << 15) - 3, (1 << 15) + 3});
#endif
    return windows;
}

template <class P>
propagator_row row(const std::string& name, int width, reference_predicate holds) {
    return {name, 3, product_windows(width), [holds](const value_window&) {
                return propagator_case{std::make_unique<P>(), holds};
            }};
}

// The row as it is and with the bounds mode forced.
template <class P>
void add_both_modes(std::vector<propagator_row>& rows, const std::string& name, int width,
                    reference_predicate holds) {
    rows.push_back(row<P>(name, width, holds));
    rows.push_back(row<bounds_mode<P>>(name + "_bounds", 7, holds));
}

const std::vector<propagator_row>& rows() {
    static const std::vector<propagator_row> table = [] {
        std::vector<propagator_row> t;
        add_both_modes<qarn::mul_truncate_propagator>(t, "mul_truncate", 12, is_product);
        add_both_modes<qarn::mul_wrap_propagator>(t, "mul_wrap", 12, is_wrapped_product);
        add_both_modes<qarn::div_propagator>(t, "div", 12, is_quotient);
        add_both_modes<qarn::mod_propagator>(t, "mod", 12, is_remainder);
        add_both_modes<qarn::pow_propagator>(t, "pow", 10, is_power);
        t.push_back(row<qarn::less_equal_mul_propagator>(
            "less_equal_mul", 9, [](const tuple& x) { return x[0] <= product(x); }));
        t.push_back(row<qarn::greater_equal_mul_propagator>(
            "greater_equal_mul", 9, [](const tuple& x) { return x[0] >= product(x); }));
        return t;
    }();
    return table;
}

class ProductQuotientProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(ProductQuotientProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ProductQuotientProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

}  // namespace product_quotient_property_test
