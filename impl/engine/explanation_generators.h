// Generic explanations: one set per parameter, read as the clause "some
// parameter i lies in out[i]". The plain one is the complement of every
// domain plus the new domain; the refining ones re-run a propagator (a clone
// the caller may spoil) on probe domains, widening one parameter at a time as
// far as the propagation, or the conflict, still follows.
#pragma once

#include <list>
#include <vector>

#include "impl/engine/constraint_propagator.h"
#include "impl/engine/constraint_runtime_info.h"
#include "impl/sets/model.h"

namespace qarn::explanation_generators {

void explain_propagation(unsigned param, const iset& values, const iset& new_domain,
                         const constraint_runtime_info& ri, std::vector<iset>& out);

void explain_propagation_tightly(constraint_propagator& p, unsigned param, const iset& values,
                                 const iset& new_domain, const constraint_runtime_info& ri,
                                 std::vector<iset>& out);

void refined_explanation(constraint_propagator& p, unsigned param, const iset& values,
                         const iset& new_domain, const unsigned* order_begin,
                         const unsigned* order_end, const constraint_runtime_info& ri,
                         std::vector<iset>& out);

void possibly_crippling_values(constraint_propagator& p, unsigned param, const iset& values,
                               const constraint_runtime_info& ri, std::vector<iset>& out);

// The probe view: domains copied from another view, one of them replaced,
// kept twice: the base (accepted) domains and the current ones a propagator
// reads and narrows. set_domain marks a parameter dirty; reread_dirty_domains
// restores the current domains of the dirty parameters from their base.
class conflicting_info : public dummy_watch_info {
public:
    conflicting_info(const constraint_runtime_info& ri, unsigned param, const iset& values);

    bool reduced_between_activations(unsigned param) const override;
    queue_type originating_queue() const override;
    void put_in_queue(queue_type queue) override;
    const iset& domain(unsigned param) const override;
    void set_domain(unsigned param, iset domain) override;
    unsigned arity() const override;
    unsigned effort() const override;

    void reread_dirty_domains();
    const iset& base_domain(unsigned param) const { return m_accepted.at(param); }
    iset& base_domain(unsigned param) { return m_accepted.at(param); }

private:
    std::vector<iset> m_current;
    std::vector<iset> m_accepted;
    std::vector<unsigned char> m_dirty;
    std::vector<unsigned> m_dirty_list;
    unsigned m_effort;
};

} // namespace qarn::explanation_generators
