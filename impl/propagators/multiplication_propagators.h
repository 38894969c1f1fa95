// Products over (x0, x1, x2):
//   mul_truncate_propagator      x0 = x1 * x2 exactly (a product outside the
//                                32-bit range has no support)
//   mul_wrap_propagator          x0 = x1 * x2 modulo 2^32
//   less_equal_mul_propagator    x0 <= x1 * x2 (64-bit product)
//   greater_equal_mul_propagator x0 >= x1 * x2 (64-bit product)
// The two equalities follow the accurate / bounds scheme; mul_truncate brings
// its own bounds engine (algo), run at most once per activation.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/propagators/approximated_arithmetic.h"

namespace qarn {

class mul_truncate_propagator : public approximated_arithmetic_propagator<mul_truncate_propagator> {
public:
    // The bounds engine over three domains the caller holds.
    class algo {
    public:
        explicit algo(iset* domains) : m_domains(domains), m_sizes{0, 0, 0} {}

        // Narrows the product and the factors to a fixed point of the passes
        // below; when a domain empties, all three are emptied.
        void propagate_bounds();
        // The product within the corner products, without the gap around zero.
        void propagate_out();
        // Factor i (1 or 2) within what the other factor carries into D0.
        void propagate_to_multiplicand(unsigned i);
        // The positive (negative) values of factor i that some value of the
        // other factor carries into D0, as at most two intervals from bounds.
        void insert_positive_supported_multiplicand_bounds(iset& support, unsigned i) const;
        void insert_negative_supported_multiplicand_bounds(iset& support, unsigned i) const;
        // 0 when D0 and Di both hold it.
        void insert_zero_supported_multiplicand(iset& support, unsigned i) const;
        // Records the sizes; true when one differs from the last record.
        bool update_sizes();

    private:
        iset* m_domains;
        unsigned m_sizes[3];
    };

    static long long evaluate(int a, int b) { return static_cast<long long>(a) * b; }

    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    // Never called: the bounds engine replaces it. Throws std::runtime_error.
    void propagate_unisigned_bounds(iset* domains,
                                    const constraint_runtime_info& ri) const override;
    const char* short_name() const override { return "*"; }
    const char* long_name() const override { return "mul"; }
};

class mul_wrap_propagator : public approximated_arithmetic_propagator<mul_wrap_propagator> {
public:
    static long long evaluate(int a, int b) { return wrap(static_cast<long long>(a) * b); }

    void propagate_unisigned_bounds(iset* domains,
                                    const constraint_runtime_info& ri) const override;
    const char* short_name() const override { return "*"; }
    const char* long_name() const override { return "mul"; }
};

class less_equal_mul_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 3; }
    // Bound watches chosen by the signs of the factors.
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // Once a factor c is fixed: c * xj >= x0 as a difference or a linear combination.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
};

class greater_equal_mul_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 3; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // Once a factor c (not INT_MIN) is fixed: x0 >= c * xj.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
};

} // namespace qarn
