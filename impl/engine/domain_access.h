// Reading a view's domains in hot loops: through the virtual interface for
// any view, inline for the solver's live view. A propagator writes its loop
// once as a template over the accessor and lets with_domains pick.
#pragma once

#include "impl/engine/constraint_connectivity_info.h"
#include "impl/engine/constraint_runtime_info.h"

namespace qarn {

struct view_domains {
    const constraint_runtime_info& ri;
    const iset& operator()(unsigned param) const { return ri.domain(param); }
    unsigned arity() const { return ri.arity(); }
};

struct live_domains {
    const constraint_connectivity_info& record;
    const iset& operator()(unsigned param) const { return record.live_domain(param); }
    unsigned arity() const { return static_cast<unsigned>(record.variables().size()); }
};

// f(accessor) with the accessor that suits the view.
template <class F>
decltype(auto) with_domains(const constraint_runtime_info& ri, F&& f) {
    if (ri.is_live_view())
        return f(live_domains{static_cast<const constraint_connectivity_info&>(ri)});
    return f(view_domains{ri});
}

// Some parameter's domain is empty.
template <class D>
bool any_empty_domain(const D& domains) {
    for (unsigned p = 0, n = domains.arity(); p < n; ++p)
        if (domains(p).empty())
            return true;
    return false;
}

} // namespace qarn
