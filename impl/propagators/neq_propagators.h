// Disequalities over (x, y), acting once one side is fixed:
//   neq                        x != y
//   difference_neq_constant    x - y != k
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class neq_propagator : public constraint_propagator {
public:
    // Proof rule: the clause "x != value or y != value".
    class neq_rule : public explanation_rule {
    public:
        explicit neq_rule(int value) : m_value(value) {}
        std::unique_ptr<explanation_rule> clone() const override;
        void get_explanation(std::vector<iset>& sets) const override;
        void print(std::ostream& os, const variable_print_strategy& strategy,
                   const std::vector<unsigned>& variables) const override;
        int value() const { return m_value; }

    private:
        int m_value;
    };

    unsigned count_params() const override { return 2; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<explanation_rule> rule(const std::vector<iset>& explanation) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // Over two 0/1 variables: the parity constraint x + y odd.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;
};

class difference_neq_constant_propagator : public constraint_propagator {
public:
    explicit difference_neq_constant_propagator(int k) : m_k(k) {}

    unsigned count_params() const override { return 2; }
    bool init(constraint_runtime_info& ri) override;
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    int k() const { return m_k; }

private:
    int m_k;
};

} // namespace qarn
