// Selection of a value by a variable:
//   element       over (index, a0, ..., a(m-1), r): r = a[index - offset], the
//                 index taking one of the m values offset .. offset + m - 1
//   if_then_else  over (r, c, t, e): c is 0 or 1, r = t when c = 1 and
//                 r = e when c = 0
// Index values beyond the 32-bit range select nothing: the elements they
// would name can never be chosen.
#pragma once

#include <memory>
#include <vector>

#include "impl/engine/constraint_propagator.h"

namespace qarn {

class element_propagator : public constraint_propagator {
public:
    explicit element_propagator(int offset) : m_offset(offset) {}

    int offset() const { return m_offset; }

    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;
    // Dispatches on the parameter: a conflict (empty new_domain), the index,
    // the result, or an element.
    void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                             const constraint_runtime_info& ri,
                             std::vector<iset>& explanation) const override;
    // Under the view's domains: the empty clause when no element can be
    // chosen, an equality when the index is fixed, the element over the
    // span of choosable elements when that is shorter, else null.
    std::unique_ptr<constraint_propagator> intersect_with(
        const constraint_runtime_info& ri, std::vector<unsigned>& params) const override;

    // The index values that select an element of a constraint of this
    // arity, within the values a domain can hold (empty when none).
    iset index_window(unsigned arity) const;

    void explain_conflict(const constraint_runtime_info& ri, std::vector<iset>& out) const;
    void explain_index_propagation(const iset& values, const iset& new_domain,
                                   const constraint_runtime_info& ri,
                                   std::vector<iset>& out) const;
    void explain_result_propagation(const iset& values, const iset& new_domain,
                                    const constraint_runtime_info& ri,
                                    std::vector<iset>& out) const;
    void explain_equality_propagation(unsigned param, const iset& values, const iset& new_domain,
                                      const constraint_runtime_info& ri,
                                      std::vector<iset>& out) const;

private:
    // Whether element j can be chosen: its index value is in the index's
    // domain and it shares a value with the result.
    bool feasible(const constraint_runtime_info& ri, unsigned j) const;
    // The parameter of the element that index value v selects.
    unsigned position_of(int v) const {
        return static_cast<unsigned>(static_cast<long long>(v) - m_offset + 1);
    }

    int m_offset; // the index value of a0
};

class if_then_else_propagator : public tight_constraint_propagator {
public:
    unsigned count_params() const override { return 4; }
    result_type propagate(constraint_runtime_info& ri) override;
    bool conflicts(const constraint_runtime_info& ri) const override;
    bool constraint_check(const constraint_runtime_info& ri) const override;
    void print(std::ostream& os, const constraint_runtime_info* ri) const override;
    std::unique_ptr<constraint_propagator> clone() const override;

    // With c fixed to 1 (then) or 0 (else): r and the chosen branch both
    // become their intersection; VALID when that is one value.
    static result_type propagate_then(constraint_runtime_info& ri);
    static result_type propagate_else(constraint_runtime_info& ri);
};

} // namespace qarn
